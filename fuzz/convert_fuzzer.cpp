// The whole conversion: the first byte picks a built reader, the second a
// built writer, the rest is the source. The reader's stream goes to the
// writer, as the driver passes it on.
#include <vector>

#include "fuzz/fuzz_support.h"

using namespace verbatra;

namespace {
std::vector<int> built(const FormatEntry* table, bool readers) {
    std::vector<int> found;
    for (int i = 0; table[i].display_name; ++i) {
        if (readers ? table[i].reader != nullptr : table[i].writer != nullptr) found.push_back(i);
    }
    return found;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::vector<int> readers = built(source_formats, true);
    static const std::vector<int> writers = built(target_formats, false);
    if (size < 2) return 0;
    const FormatEntry& source = source_formats[readers[data[0] % readers.size()]];
    const FormatEntry& target = target_formats[writers[data[1] % writers.size()]];
    const std::string bytes(reinterpret_cast<const char*>(data) + 2, size - 2);
    int result = 0;
    const std::string stream = fuzz::run(source.reader, bytes, &result);
    fuzz::check_reader_run(source.short_name, bytes, stream, result);
    if (result != kConverted) return 0;
    const std::string file = fuzz::run(target.writer, stream, &result);
    fuzz::check_writer_run(target.short_name, stream, file, result);
    return 0;
}
