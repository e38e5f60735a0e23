// Writes the stream that a reader makes of a source, raw, for the seed
// corpora of the writer targets; and lists the registry's built formats,
// which are the fuzz targets.
// usage: stream-of READER SOURCE OUTPUT   (READER: a short name, e.g. macwrite)
//        stream-of --formats             (lines "read NAME" and "write NAME")
#include <cstdio>
#include <cstring>

#include "fuzz/fuzz_support.h"
#include "pipeline/byte_file.h"

using namespace verbatra;

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--formats") == 0) {
        for (int i = 0; source_formats[i].display_name; ++i) {
            if (source_formats[i].reader) std::printf("read %s\n", source_formats[i].short_name);
        }
        for (int i = 0; target_formats[i].display_name; ++i) {
            if (target_formats[i].writer) std::printf("write %s\n", target_formats[i].short_name);
        }
        return 0;
    }
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s READER SOURCE OUTPUT | --formats\n", argv[0]);
        return 2;
    }
    ByteFile in = ByteFile::open(argv[2], "rb");
    ByteFile out = ByteFile::open(argv[3], "w+b");
    if (!in.is_open() || !out.is_open()) return 2;
    Conversion conversion;
    conversion.source_name = argv[2];
    const Status result = fuzz::reader_named(argv[1])(conversion, in, out);
    out.close();
    if (result != kConverted) std::remove(argv[3]);
    return result == kConverted ? 0 : 1;
}
