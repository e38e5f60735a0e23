// Generates a large styled stream and times a writer on it (RTF Ansi by
// default, or the one the command line names by its short name): words,
// style codes, accented and Symbol characters, tabs and alignment, one
// paragraph end in a hundred pieces, and tab stops set and cleared among
// eight columns, as a ruler of a real document has them.
// usage: verbatra_writer_bench MEGABYTES DIRECTORY [WRITER]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "pipeline/byte_file.h"
#include "pipeline/registry.h"

using namespace verbatra;

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s MEGABYTES DIRECTORY [WRITER]\n", argv[0]);
        return 2;
    }
    const int target = lookup_format(argc > 3 ? argv[3] : "rtf-ansi", target_formats);
    if (target < 0 || !target_formats[target].writer) {
        std::fprintf(stderr, "no such writer\n");
        return 2;
    }
    const long size = static_cast<long>(std::atof(argv[1]) * 1000 * 1000);
    const std::string dir = argv[2];
    const std::string stream_name = dir + "/styled.###", rtf_name = dir + "/styled.out";
    {
        ByteFile s = ByteFile::open(stream_name, "w+b");
        s.set_full_buffering(1 << 16);
        std::mt19937 rng(11);
        const char* words[] = {"the", "archive", "of", "old", "letters", "and", "reports", "from", "a", "disk"};
        const std::string codes[] = {"\\#", "\\$", "\\/", "\\0", "\\%", "\\&", std::string("\\ \x01\x29", 4),
                                     std::string("\\ \x08\x01", 4), "\t", "\\+", "\\,"};
        long written = 0;
        while (written < size) {
            const unsigned r = rng() % 100;
            std::string piece;
            if (r < 70) piece = std::string(words[rng() % 10]) + " ";
            else if (r < 95) piece = codes[rng() % 11];
            else if (r < 99) piece = "\r";
            else piece = std::string(rng() % 2 ? "\\\x80\x01" : "\\\x81\x01", 3) + static_cast<char>(8 * (1 + rng() % 8)) + "\\\x90\xF6\xF4";
            s.write(piece.data(), piece.size());
            written += static_cast<long>(piece.size());
        }
    }
    ByteFile in = ByteFile::open(stream_name, "rb");
    ByteFile out = ByteFile::open(rtf_name, "w+b");
    in.set_full_buffering();
    out.set_full_buffering();
    const long stream_bytes = in.size();
    const auto start = std::chrono::steady_clock::now();
    Conversion conversion;
    const Status result = target_formats[target].writer(conversion, in, out);
    const long written = out.size();
    out.close();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("stream %.1f MB -> %s (%.1f MB) in %.3f s: %.1f MB/s of stream%s\n", stream_bytes / 1e6,
                target_formats[target].display_name, written / 1e6, seconds, stream_bytes / 1e6 / seconds,
                result == 0 ? "" : " (not converted)");
    std::remove(stream_name.c_str());
    std::remove(rtf_name.c_str());
    return 0;
}
