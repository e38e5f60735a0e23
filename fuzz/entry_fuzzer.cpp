// One reader (source bytes in) or one writer (stream bytes in, well formed
// or not), chosen when the target is built: VERBATRA_FUZZ_FORMAT is its
// short name in the registry, VERBATRA_FUZZ_READER 1 for a reader, 0 for a
// writer.
#include "fuzz/fuzz_support.h"

using namespace verbatra;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    constexpr bool kReader = VERBATRA_FUZZ_READER;
    static const EntryPoint entry =
        kReader ? fuzz::reader_named(VERBATRA_FUZZ_FORMAT) : fuzz::writer_named(VERBATRA_FUZZ_FORMAT);
    const std::string input(reinterpret_cast<const char*>(data), size);
    int result = 0;
    const std::string output = fuzz::run(entry, input, &result);
    if (kReader) fuzz::check_reader_run(VERBATRA_FUZZ_FORMAT, input, output, result);
    else fuzz::check_writer_run(VERBATRA_FUZZ_FORMAT, input, output, result);
    return 0;
}
