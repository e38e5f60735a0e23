// One writer on any stream bytes, well formed or not. The writer is chosen
// when the target is built: VERBATRA_FUZZ_FORMAT is its short name.
#include "fuzz/fuzz_support.h"

using namespace verbatra;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const EntryPoint writer = fuzz::writer_named(VERBATRA_FUZZ_FORMAT);
    const std::string stream(reinterpret_cast<const char*>(data), size);
    int result = 0;
    const std::string file = fuzz::run(writer, stream, &result);
    fuzz::check_writer_run(VERBATRA_FUZZ_FORMAT, stream, file, result);
    return 0;
}
