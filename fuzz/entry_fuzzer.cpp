// One reader (source bytes in) or one writer (stream bytes in, well formed
// or not). The binary is built once for all readers and once for all
// writers (VERBATRA_FUZZ_READER 1 or 0); the format is named at run time by
// VERBATRA_FUZZ_FORMAT, a short name of the registry, so that every row of
// the registry is a target with no list of its own (scripts/fuzz.sh asks
// stream-of --formats for the rows).
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_support.h"

using namespace verbatra;

namespace {
constexpr bool kReader = VERBATRA_FUZZ_READER;
std::string format;
EntryPoint entry = nullptr;
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const char* name = std::getenv("VERBATRA_FUZZ_FORMAT");
    if (!name) {
        std::fprintf(stderr, "set VERBATRA_FUZZ_FORMAT to the short name of a %s\n", kReader ? "source" : "target");
        std::exit(2);
    }
    format = name;
    entry = kReader ? fuzz::reader_named(name) : fuzz::writer_named(name);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    int result = 0;
    const std::string output = fuzz::run(entry, input, &result);
    if (kReader) fuzz::check_reader_run(format.c_str(), input, output, result);
    else fuzz::check_writer_run(format.c_str(), input, output, result);
    return 0;
}
