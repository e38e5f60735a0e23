// Runs one writer (by its short name) on a stream file: how the target
// hashes of bench/target_hashes.sh cover the test streams, which no reader
// makes.
// usage: verbatra_write_stream WRITER STREAM TARGET
#include <cstdio>

#include "pipeline/byte_file.h"
#include "pipeline/registry.h"

using namespace verbatra;

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s WRITER STREAM TARGET\n", argv[0]);
        return 2;
    }
    const int target = lookup_format(argv[1], target_formats);
    if (target < 0 || !target_formats[target].writer) {
        std::fprintf(stderr, "no such writer: %s\n", argv[1]);
        return 2;
    }
    ByteFile in = ByteFile::open(argv[2], "rb");
    ByteFile out = ByteFile::open(argv[3], "w+b");
    if (!in.is_open() || !out.is_open()) {
        std::fprintf(stderr, "cannot open %s or %s\n", argv[2], argv[3]);
        return 1;
    }
    Conversion conversion;
    const Status result = target_formats[target].writer(conversion, in, out);
    out.close();
    return result == 0 ? 0 : 1;
}
