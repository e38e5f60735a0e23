// The fork finding of readers/mac_forks.cpp on any bytes: every span it
// gives lies inside the file, and every resource it reads lies inside its
// fork, each data area taken once.
#include "fuzz/fuzz_support.h"
#include "readers/mac_forks.h"
#include "readers/source_bytes.h"

using namespace verbatra;

namespace {

Status read_forks(Conversion&, ByteFile& in, ByteFile& out) {
    const long size = in.size();
    const MacForks forks = find_forks(in);
    for (const ForkSpan& span : {forks.data, forks.resource}) {
        fuzz::require(span.offset >= 0 && span.length >= 0 && span.offset + span.length <= size,
                      "a fork span outside the file");
    }
    const std::vector<std::uint8_t> fork = read_span(in, forks.resource);
    fuzz::require(static_cast<long>(fork.size()) == forks.resource.length, "a fork read short");
    // The type the map lists first, whatever it is, and the one the Nisus
    // reader asks for.
    std::string first_type = "FNTX";
    if (fork.size() >= 16) {
        const std::uint64_t map = be32(&fork[4]);
        if (map + 34 <= fork.size()) first_type.assign(reinterpret_cast<const char*>(&fork[map + 30]), 4);
    }
    for (const char* type : {first_type.c_str(), "FNTX"}) {
        const auto resources = resources_of_type(fork, type);
        fuzz::require(resources.size() <= fork.size() / 4 + 1, "more resources than the fork can hold");
        for (const auto& r : resources) {
            fuzz::require(r.size() <= fork.size(), "a resource longer than its fork");
            out.write(r.data(), r.size());
        }
    }
    return kConverted;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    int result = 0;
    fuzz::run(read_forks, std::string(reinterpret_cast<const char*>(data), size), &result);
    return 0;
}
