// Text of other systems: UTF-8 and Windows 1252 reach the stream as the
// same Macintosh text would, and are told from it.
#include <gtest/gtest.h>

#include "readers/pc_text.h"
#include "support.h"

namespace verbatra {
namespace {

// The stream the Macintosh text reader makes of `mac`.
std::string as_macintosh(const std::string& mac) { return test::run_entry(read_text_only, mac); }

TEST(PcText, EachEncodingGivesTheMacintoshTextsStream) {
    const std::string mac = "Caf\x8E \xD2quotes\xD3 \xD0 \xA5 \xDB\r";
    EXPECT_EQ(test::run_entry(read_utf8_text,
                              "Caf\xC3\xA9 \xE2\x80\x9Cquotes\xE2\x80\x9D \xE2\x80\x93 \xE2\x80\xA2 \xE2\x82\xAC\r\n"),
              as_macintosh(mac));
    EXPECT_EQ(test::run_entry(read_windows_text, "Caf\xE9 \x93quotes\x94 \x96 \x95 \x80\r\n"), as_macintosh(mac));
    // A byte-order mark goes; control bytes of no meaning there go.
    EXPECT_EQ(test::run_entry(read_utf8_text, "\xEF\xBB\xBF" "a\x01\x11" "b\n"), as_macintosh("ab\r"));
    // What the Macintosh set lacks becomes the nearest ASCII.
    EXPECT_EQ(test::run_entry(read_windows_text, "\xBD \xDE\xFE \x8A\x81"), as_macintosh("1/2 Thth S?"));
    int result = 9;
    test::run_entry(read_utf8_text, "", &result);
    EXPECT_EQ(result, -2);
}

// A sequence cut by the reader's block, a stray byte (Windows text inside
// UTF-8), and a file that ends inside a sequence.
TEST(PcText, Utf8AtItsEdges) {
    const std::string across = std::string(64 * 1024 - 1, 'x') + "\xC3\xA9" + "y";
    EXPECT_EQ(test::run_entry(read_utf8_text, across), as_macintosh(std::string(64 * 1024 - 1, 'x') + "\x8Ey"));
    EXPECT_EQ(test::run_entry(read_utf8_text, "caf\xE9 \x93q\x94"), as_macintosh("caf\x8E \xD2q\xD3"));
    EXPECT_EQ(test::run_entry(read_utf8_text, "end \xE2\x80"), as_macintosh("end \x89\xDB"));
}

TEST(PcText, RecognitionTellsTheEncodings) {
    struct Case {
        const char* what;
        std::string bytes;
        bool utf8, windows;
    };
    const Case cases[] = {
        {"UTF-8", "Caf\xC3\xA9 r\xC3\xA9sum\xC3\xA9\n", true, false},
        {"UTF-8 cut at the sample's end", "\xC3\xA9" + std::string(4093, 'a') + "\xC3", true, false},
        {"Windows accents", "Caf\xE9 r\xE9sum\xE9 \x93q\x94\n", false, true},
        {"Macintosh accents and quotes", "Caf\x8E r\x8Esum\x8E \xD2q\xD3\r", false, false},
        {"Windows quotes alone, CR LF", "it\x92s\r\n", false, true},
        {"ASCII with CR", "plain\rtext\r", false, false},
        {"ASCII with LF", "plain\ntext\n", false, false},
        {"a NUL", std::string("a\0b", 3), false, false},
    };
    for (const Case& c : cases) {
        SourceStart s;
        s.bytes = reinterpret_cast<const std::uint8_t*>(c.bytes.data());
        s.have = std::min<std::size_t>(c.bytes.size(), SourceStart::kSize);
        s.size = c.what == std::string("UTF-8 cut at the sample's end") ? 10000 : static_cast<long>(c.bytes.size());
        EXPECT_EQ(recognises_utf8_text(s), c.utf8) << c.what;
        EXPECT_EQ(recognises_windows_text(s), c.windows) << c.what;
    }
}

// The bundled samples of text from other systems, made here.
TEST(PcText, TheBundledSamplesAreMadeHere) {
    const std::string utf8 = "Notes typed on a PC\nCaf\xC3\xA9, na\xC3\xAFve, \xC5\x93uvre \xE2\x80\x94 and 12 \xE2\x82\xAC for the lot.\n";
    const std::string windows = "Price list from a Windows machine\r\nCaf\xE9 cr\xE8me, th\xE9 \xE0 la menthe, cr\xEApes.\r\n";
    test::expect_sample("notes-utf8.txt", utf8, read_utf8_text);
    test::expect_sample("prices-windows.txt", windows, read_windows_text);
    EXPECT_EQ(test::run_entry(read_utf8_text, utf8).find("Notes typed"), 0u);
    EXPECT_EQ(test::run_entry(read_windows_text, windows).find("Price list"), 0u);
}

}  // namespace
}  // namespace verbatra
