// The way in of a run over an archive on any bytes: BinHex decoding, the
// wrappings, recognition of the format, then the recognised reader and a
// writer, as the driver does them. Whatever the bytes, the conversion ends
// with an outcome, a target only when converted (whole or damaged), and nothing else left in
// the folder or among the scratch files.
#include <filesystem>

#include "fuzz/fuzz_support.h"
#include "pipeline/driver.h"
#include "platform/platform.h"
#include "readers/binhex.h"

using namespace verbatra;

namespace {

struct Folder {
    std::string path = platform::make_private_directory("vrbfuzz");
    ~Folder() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Folder folder;
    const std::string source = folder.path + "/DOC";
    {
        ByteFile f = ByteFile::open(source, "w+b");
        f.write(data, size);
        fuzz::require(f.close(), "cannot write the source");
    }
    ConversionResult r = prepare_conversion(ConversionRequest{source, {}}, nullptr, format_named("rtf-ansi", target_formats));
    if (has_target(r.outcome)) {  // converted, whole or damaged
        fuzz::require(r.format >= 0 && r.format < kSourceCount, "converted with no format");
        fuzz::require(!r.partial.empty() && platform::exists_exactly(r.partial), "no target written");
        // A BinHex run of 255 from two characters, then a reader's and a
        // writer's growth: the bound the other targets hold, times 128.
        const std::uint64_t bound = 128ull * (size + 1) * fuzz::kStreamPerSourceByte * 16 + fuzz::kTargetSlack;
        fuzz::require(r.target_size <= bound, "a target out of all proportion to its source");
        discard_conversion(r);
    } else {
        fuzz::require(r.partial.empty(), "a target left for a file not converted");
    }
    std::size_t left = 0;
    for (const auto& e : std::filesystem::directory_iterator(folder.path)) left += e.path().filename() != "DOC";
    fuzz::require(left == 0, "a file left beside the source");
    fuzz::require_no_scratch_left("recognise");
    return 0;
}
