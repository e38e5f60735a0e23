#include <gtest/gtest.h>

#include <algorithm>

#include "support.h"
#include "writers/rtf.h"

namespace verbatra {
namespace {

using test::bytes;

const std::string kFontTable =
    "{\\fonttbl{\\f0\\froman Times New Roman;}{\\f1\\froman Symbol;}{\\f2\\fswiss Arial;}"
    "{\\f3\\fmodern Courier New;}{\\f4\\fnil Wingdings;}}";
const std::string kColourTable =
    "{\\colortbl;\\red0\\green0\\blue0;\\red0\\green0\\blue255;\\red0\\green255\\blue255;\\red0\\green255\\blue0;\r\n"
    "\\red255\\green0\\blue255;\\red255\\green0\\blue0;\\red255\\green255\\blue0;\\red255\\green255\\blue255;"
    "\\red0\\green0\\blue127;\\red0\\green127\\blue127;\\red0\\green127\\blue0;\\red127\\green0\\blue127;"
    "\\red127\\green0\\blue0;\\red127\\green127\\blue0;\\red127\\green127\\blue127;\r\n"
    "\\red192\\green192\\blue192;}\r\n";
const std::string kAnsi = "{\\rtf1\\ansi " + kFontTable + kColourTable + "\\f0 ";
const std::string kPc = "{\\rtf1\\pc " + kFontTable + kColourTable + "\\f0 ";

std::string ansi(const std::string& stream) { return test::run_entry(write_rtf_ansi, stream); }
std::string dos(const std::string& stream) { return test::run_entry(write_rtf_dos, stream); }

TEST(RtfWriter, Prologue) {
    EXPECT_EQ(kFontTable.size(), 125u);
    EXPECT_EQ(kColourTable.size(), 376u);
    EXPECT_EQ(ansi("A"), kAnsi + "A}");
    EXPECT_EQ(dos("A"), kPc + "A}");
    // An empty stream still gives a whole document.
    int result = 9;
    EXPECT_EQ(test::run_entry(write_rtf_ansi, "", &result), kAnsi + "}");
    EXPECT_EQ(result, 0);
}

struct Case {
    const char* what;
    std::string stream;
    std::string body;  // what follows the prologue
};

TEST(RtfWriter, Body) {
    const Case cases[] = {
        {"braces and backslash", "a{b}\\\\c", "a\\{b\\}\\\\c}"},
        {"paragraph end, left", "x\r", "x\r\n\\par \\pard }"},
        {"paragraph end, centred", "\\+x\r\\,y\r", "\\qc x\r\n\\par y\r\n\\par \\pard }"},
        {"justified off writes ql", "\\Cx\\D", "\\qj x\\ql }"},
        {"tab, line end, page break, 0x7F", "a\tb\nc\x0C" "d\x7F", "a\\tab b c\\page d_}"},
        {"optional hyphen and its line end", "hy\\:\nphen hy\\:x", "hy\\-phen hy\\-x}"},
        {"three Symbol characters", bytes({0x5C, 0x20, 8, 1, 0x5C, 0x20, 8, 3, 0x5C, 0x20, 8, 9}) + "x",
         "{\\f1 \\'61\\'62\\'64}x}"},
        {"a pair no source produces writes nothing", bytes({0x5C, 0x20, 8, 5, 0x5C, 0x20, 13, 1}) + "x", "x}"},
        {"a Symbol group stays open across a tab", bytes({0x5C, 0x20, 8, 1, 9, 0x5C, 0x20, 1, 0x29}),
         "{\\f1 \\'61\\tab }\\'E9}"},
        {"size and plain reset", bytes({0x5C, 0x90, 0xF6, 0xF4}) + "\\#b\\$" + bytes({0x5C, 0x90, 0xF4, 0xF6}) + "\\/i\\0",
         "\\fs24 \\b b\\plain\\f0 \\fs20 \\i i\\plain\\fs20\\f0 }"},
        {"font classes", bytes({0x5C, 0x8F, 0, 2, 'a', 0x5C, 0x8F, 2, 4, 0x5C, 0x8F, 4, 9}),
         "\\f2 a\\f4 \\f3 }"},
        {"styles", "\\%\\'\\)\\-\\1\\;\\=\\A\\G\\I\\?\\4", "\\ul \\dn6 \\up6 \\strike \\v \\caps \\shad \\uldb \\scaps \\outl \\~}"},
        {"header and footer", bytes({0x5C, 0x9E, 0, 0}) + "H\r\\\x7F" + bytes({0x5C, 0xA1, 0, 0}) + "F\\\x7F" + "b",
         "\\par {\\header H\r\n\\par \\pard }\\f0 \\par {\\footer F}\\f0 b}"},
        {"a footnote", bytes({'a', 0x5C, 0xA2, 0, 1}) + "n\\\x7F" + "b", "a{\\chftn {\\footnote {\\chftn }{n}}}\\f0 b}"},
        {"colour", bytes({0x5C, 0xD0, 0, 3, 0x5C, 0xD0, 3, 12}), "\\cf3 \\cf12 }"},
        {"border", bytes({0x5C, 0xB0, 0x0F, 0, 0x5C, 0xB0, 0x25, 0}),
         "\\box\\brdrs\\brdrw15\\brsp20 \\brdrt\\brdrb\\brdrdb\\brdrw15\\brsp20 }"},
        {"picture", bytes({0x5C, 0xC0, 1, 0, 0, 0, 0, 20, 0, 0, 0, 30}) + "0aF9\\\x7F" + "x",
         "{\\pict\\macpict\\picw30\\pich20 0af9}x}"},
        {"unknown codes skip their arguments", bytes({0x5C, 0x60, 'X', 0x5C, 0xE0, 'X', 'X', 0x5C, 0x88, 1, 2}) + "y",
         "y}"},
        {"lone backslash at the end", "ab\\", "ab}"},
    };
    for (const Case& c : cases) EXPECT_EQ(ansi(c.stream), kAnsi + c.body) << c.what;
}

TEST(RtfWriter, TabStopsAtParagraphEnds) {
    // Every kind at its column, at 10 points; the bar tab only in DOS.
    const std::string stream = bytes({0x5C, 0x80, 1, 1, 0x5C, 0x80, 2, 2, 0x5C, 0x80, 3, 3, 0x5C, 0x80, 4, 5,
                                      0x5C, 0x80, 5, 4}) + "t\r" + bytes({0x5C, 0x81, 1, 1}) + "u\r";
    EXPECT_EQ(dos(stream), kPc + "t\r\n\\par \\pard \\tx200\\tqc\\tx400\\tqr\\tx600\\tb800\\tqdec\\tx1000 "
                                 "u\r\n\\par \\pard \\tqc\\tx400\\tqr\\tx600\\tb800\\tqdec\\tx1000 }");
    EXPECT_EQ(ansi(stream), kAnsi + "t\r\n\\par \\pard \\tx200\\tqc\\tx400\\tqr\\tx600\\tqdec\\tx1000 "
                                    "u\r\n\\par \\pard \\tqc\\tx400\\tqr\\tx600\\tqdec\\tx1000 }");
}

int balance(const std::string& rtf) {
    int depth = 0, lowest = 1;
    for (std::size_t i = 0; i < rtf.size(); ++i) {
        if (rtf[i] == '\\') {
            ++i;  // an escaped brace or backslash is text
            continue;
        }
        if (rtf[i] == '{') ++depth;
        if (rtf[i] == '}') --depth;
        if (i + 1 < rtf.size()) lowest = std::min(lowest, depth);
    }
    return depth == 0 && lowest >= 1 ? 0 : -1;
}

TEST(RtfWriter, BracesAlwaysBalance) {
    const std::string note = bytes({0x5C, 0xA2, 0, 1});
    const std::string header = bytes({0x5C, 0x9E, 0, 0});
    const std::string symbol = bytes({0x5C, 0x20, 8, 1});
    const std::string streams[] = {
        "stray close\\\x7F then text\r",                                 // nothing open
        header + "head " + note + "note inside\\\x7F head\\\x7F body",   // an opener before the close
        header + "never closed",
        note + "a Symbol letter at the end of a note " + symbol + "\\\x7F" + "then text",
        symbol + header + "header while a Symbol group is open\\\x7F" + "x",
    };
    for (const std::string& s : streams) {
        EXPECT_EQ(balance(ansi(s)), 0) << ansi(s);
        EXPECT_EQ(balance(dos(s)), 0) << dos(s);
    }
    EXPECT_EQ(ansi(streams[0]), kAnsi + "stray close then text\r\n\\par \\pard }");
}

}  // namespace
}  // namespace verbatra
