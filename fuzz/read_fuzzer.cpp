// One reader on any source bytes. The reader is chosen when the target is
// built: VERBATRA_FUZZ_FORMAT is its short name in the registry.
#include "fuzz/fuzz_support.h"

using namespace verbatra;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const EntryPoint reader = fuzz::reader_named(VERBATRA_FUZZ_FORMAT);
    const std::string source(reinterpret_cast<const char*>(data), size);
    int result = 0;
    const std::string stream = fuzz::run(reader, source, &result);
    fuzz::check_reader_run(VERBATRA_FUZZ_FORMAT, source, stream, result);
    return 0;
}
