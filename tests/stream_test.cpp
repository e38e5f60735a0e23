#include <gtest/gtest.h>

#include "stream/codes.h"
#include "stream/dump.h"
#include "support.h"

namespace verbatra {
namespace {

TEST(StreamCodes, ArgumentCounts) {
    const std::pair<int, int> cases[] = {
        {0x20, 2}, {0x21, 0}, {0x23, 0}, {0x4C, 0}, {0x4D, 1}, {0x53, 0}, {0x5C, 0}, {0x60, 1},
        {0x7F, 0}, {0x80, 2}, {0x81, 2}, {0x90, 2}, {0xA2, 2}, {0xE0, 2}, {0x00, 1},
        {0xC0, stream::kVariableArgs},
    };
    for (auto [code, count] : cases) EXPECT_EQ(stream::kArgCount[code], count) << std::hex << code;
}

TEST(StreamDump, ShowsCodesByName) {
    test::TempDir dir;
    test::write_file(dir.file("s"), test::bytes({'H', 'i', 0x0D, 0x5C, 0x20, 0x01, 0x29, 0x5C, 0x90, 0xF6,
                                                 0xF4, 0x5C, 0x23, 0x09, 0x5C, 0x60, 0x07, 0x5C, 0xC0, 1,
                                                 0, 0, 0, 0, 12, 0, 0, 0, 34, 'A', 'B', 0x5C, 0x7F, 0x5C,
                                                 0x9E, 0, 0, 0x5C, 0x5C, 0x01, 0x5C}));
    ByteFile in = ByteFile::open(dir.file("s"), "rb");
    std::FILE* out = std::fopen(dir.file("d").c_str(), "wb");
    dump_stream(in, out);
    std::fclose(out);
    EXPECT_EQ(test::read_file(dir.file("d")),
              "Hi<para>\n{char 1 0x29}{font-size -10 -12}{bold}<tab>{code 0x60 7}"
              "{picture kind 1 height 12 width 34, 2 hex digits}{header 0 0}{backslash}<x01>"
              // The decoder closes the header the stream left open.
              "{end-section}{cut short}\n");
}

}  // namespace
}  // namespace verbatra
