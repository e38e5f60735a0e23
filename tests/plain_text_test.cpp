#include <gtest/gtest.h>

#include "support.h"
#include "writers/plain_text.h"

namespace verbatra {
namespace {

using test::bytes;

struct Case {
    const char* what;
    std::string stream;
    std::string dos;
    std::string windows;  // empty: same as dos
};

TEST(PlainTextWriters, Cases) {
    const std::string picture_header = bytes({1, 0, 0, 0, 0x5C, 0x7F, 0, 0, 0x00, 0x20});
    const Case cases[] = {
        {"paragraphs", "Hello\rworld\r", "Hello\r\nworld\r\n", ""},
        {"line end", "one\ntwo\r", "one two\r\n", ""},
        {"tab and page break", "a\tb\x0C", "a\tb\x0C", ""},
        {"e acute", bytes({0x5C, 0x20, 0x01, 0x29}), "\x82", "\xE9"},
        {"bullet", bytes({0x5C, 0x20, 0x04, 0x03}), "\xFE", "\x95"},
        {"not equal, Symbol selector ignored", bytes({0x5C, 0x20, 0x06, 0x63}), "_", "\xB9"},
        {"y acute from composition", bytes({0x5C, 0x20, 0x01, 0x54}), "Y", "\xDD"},
        {"backslash", "a\\\\b", "a\\b", ""},
        {"styles dropped", "\\#bold\\$", "bold", ""},
        {"size dropped", bytes({0x5C, 0x90, 0xF6, 0xF4}) + "big", "big", ""},
        {"header", bytes({0x5C, 0x9E, 0, 0}) + "Head\r\\\x7F", "\\TETEHead\r\n\\FIN\\", ""},
        {"even header", bytes({0x5C, 0x9C, 0, 0}) + "H\\\x7F", "\\TETEH\\FIN\\", ""},
        {"footer", bytes({0x5C, 0xA1, 0, 0}) + "Foot\r\\\x7F", "\\PIEDFoot\r\n\\FIN\\", ""},
        {"optional hyphen with line end", "\\:\nx", "x", ""},
        {"optional hyphen alone", "\\:x", "x", ""},
        {"left aligned skips nothing", "\\SLeft", "Left", ""},
        {"non-breaking space", "a\\4b", "a b", ""},
        {"unknown low code: one argument", bytes({0x5C, 0x60, 'X'}) + "y", "y", ""},
        {"unknown high code: two arguments", bytes({0x5C, 0xE0, 'X', 'X'}) + "z", "z", ""},
        {"tab codes", bytes({0x5C, 0x80, 1, 20, 0x5C, 0x81, 1, 20}) + "t", "t", ""},
        // The picture header may hold any byte, 0x5C 0x7F included.
        {"a picture's place is marked", "\\\xC0" + picture_header + "0A1B\\\x7F" + "after", "[picture]after", ""},
        {"unterminated picture", "\\\xC0" + picture_header + "0A1B", "[picture]", ""},
        {"lone backslash at the end", "ab\\", "ab", ""},
        {"cut inside a set character", bytes({'a', 0x5C, 0x20, 0x01}), "a", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(test::run_entry(write_ascii_dos, c.stream), c.dos) << c.what;
        EXPECT_EQ(test::run_entry(write_ansi_windows, c.stream), c.windows.empty() ? c.dos : c.windows) << c.what;
    }
}

std::string marker(int n) {
    std::string m = "\\NOTE";
    if (n < 10) m += '0';
    m += std::to_string(n);
    m += '\\';
    return m;
}

TEST(PlainTextWriters, EachDocumentNumbersItsNotesFromOne) {
    const std::string note = bytes({0x5C, 0xA2, 0, 0}) + "n\\\x7F";
    const std::string expected = std::string("a").append(marker(1)).append("n\\FIN\\b").append(marker(2)).append("n\\FIN\\");
    const std::string stream = std::string("a").append(note).append("b").append(note);
    EXPECT_EQ(test::run_entry(write_ascii_dos, stream), expected);
    // The next document starts again, whatever came before it.
    EXPECT_EQ(test::run_entry(write_ansi_windows, note), marker(1) + "n\\FIN\\");
}

TEST(PlainTextWriters, HundredthNoteAndOnGetAllTheirDigits) {
    const std::string note = bytes({0x5C, 0xA2, 0, 0}) + "\\\x7F";
    std::string stream;
    for (int i = 0; i < 105; ++i) stream += note;
    std::string out = test::run_entry(write_ascii_dos, stream);
    EXPECT_NE(out.find("\\NOTE99\\"), std::string::npos);
    EXPECT_NE(out.find("\\NOTE100\\"), std::string::npos);
    EXPECT_NE(out.find("\\NOTE105\\"), std::string::npos);
    EXPECT_EQ(out.find("\\NOTE106\\"), std::string::npos);
    EXPECT_EQ(out.find(':'), std::string::npos);
}

}  // namespace
}  // namespace verbatra
