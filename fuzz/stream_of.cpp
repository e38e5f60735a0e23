// Writes the stream that a reader makes of a source, raw, for the seed
// corpora of the writer targets.
// usage: stream-of READER SOURCE OUTPUT   (READER: a short name, e.g. macwrite)
#include <cstdio>

#include "fuzz/fuzz_support.h"
#include "pipeline/byte_file.h"

using namespace verbatra;

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s READER SOURCE OUTPUT\n", argv[0]);
        return 2;
    }
    ByteFile in = ByteFile::open(argv[2], "rb");
    ByteFile out = ByteFile::open(argv[3], "w+b");
    if (!in.is_open() || !out.is_open()) return 2;
    const int result = fuzz::reader_named(argv[1])(in, out);
    out.close();
    if (result != kConverted) std::remove(argv[3]);
    return result == kConverted ? 0 : 1;
}
