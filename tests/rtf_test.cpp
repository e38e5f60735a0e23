#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <vector>

#include "stream_builder.h"
#include "support.h"
#include "target_checks.h"
#include "writers/rtf.h"

namespace verbatra {
namespace {

using test::bytes;
using test::StreamBuilder;

const std::string kFontTable =
    "{\\fonttbl{\\f0\\froman Times New Roman;}{\\f1\\froman Symbol;}{\\f2\\fswiss Arial;}"
    "{\\f3\\fmodern Courier New;}{\\f4\\fnil Wingdings;}}";
const std::string kColourTable =
    "{\\colortbl;\\red0\\green0\\blue0;\\red0\\green0\\blue255;\\red0\\green255\\blue255;\\red0\\green255\\blue0;\r\n"
    "\\red255\\green0\\blue255;\\red255\\green0\\blue0;\\red255\\green255\\blue0;\\red255\\green255\\blue255;"
    "\\red0\\green0\\blue127;\\red0\\green127\\blue127;\\red0\\green127\\blue0;\\red127\\green0\\blue127;"
    "\\red127\\green0\\blue0;\\red127\\green127\\blue0;\\red127\\green127\\blue127;\r\n"
    "\\red192\\green192\\blue192;}\r\n";
// Where the document came from, in the properties word processors show.
const std::string kInfo = "{\\info{\\doccomm converted from a Macintosh document by Verbatra 5.1}}";
const std::string kAnsi = "{\\rtf1\\ansi " + kFontTable + kColourTable + kInfo + "\\f0 ";
const std::string kPc = "{\\rtf1\\pc " + kFontTable + kColourTable + kInfo + "\\f0 ";

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

// The fonts the stream names join the table after the class fonts, each
// with its family (and pitch, for a fixed one), and take the place of the
// class font where they stand; a font of no known name gives it back.
TEST(RtfWriter, NamedFonts) {
    const auto font = [](const std::string& name) {
        return std::string("\\\xC1") + static_cast<char>(name.size()) + name;
    };
    const std::string stream = "a" + test::bytes({0x5C, 0x8F, 0, 1}) + font("Courier") + "b" + font("Mystery\x8E Sans") +
                               "c" + font("") + "d" + font("Courier") + "e";
    const std::string rtf = ansi(stream);
    const std::string table = kFontTable.substr(0, kFontTable.size() - 1) +
                              "{\\f5\\fmodern\\fprq1 Courier;}{\\f6\\fnil Mystery\\'E9 Sans;}}";
    EXPECT_EQ(rtf.substr(0, 12 + table.size()), "{\\rtf1\\ansi " + table);
    EXPECT_NE(rtf.find("\\f0 a\\f0 \\f5 b\\f6 c\\f0 d\\f5 e}"), std::string::npos) << rtf;
    // Without font names the prologue is as it always was.
    EXPECT_EQ(ansi("A"), kAnsi + "A}");
}

struct Case {
    const char* what;
    std::string stream;
    std::string body;  // what follows the prologue
};

TEST(RtfWriter, Body) {
    const Case cases[] = {
        {"braces and backslash", "a{b}\\\\c", "a\\{b\\}\\\\c}"},
        {"paragraph end with nothing set", "x\r", "x\r\n\\par }"},
        {"alignment starts its paragraph, and its end resets", "\\+x\r\\,y\r",
         "\\pard\\qc x\r\n\\par \\pard y\r\n\\par }"},
        {"a change after the last text still ends in the file", "\\Cx\\D", "\\pard\\qj x\\pard }"},
        {"tab, line end, page break, 0x7F", "a\tb\nc\x0C" "d\x7F", "a\\tab b c\\page d_}"},
        {"optional hyphen and its line end", "hy\\:\nphen hy\\:x", "hy\\-phen hy\\-x}"},
        {"three Symbol characters", bytes({0x5C, 0x20, 8, 1, 0x5C, 0x20, 8, 3, 0x5C, 0x20, 8, 9}) + "x",
         "{\\f1 \\'61\\'62\\'64}x}"},
        {"Macintosh quotation marks", StreamBuilder().mac("\xD4quote\xD5").str(), "\\'91quote\\'92}"},
        {"a pair no source produces writes nothing", bytes({0x5C, 0x20, 8, 5, 0x5C, 0x20, 13, 1}) + "x", "x}"},
        {"a Symbol group stays open across a tab", bytes({0x5C, 0x20, 8, 1, 9, 0x5C, 0x20, 1, 0x29}),
         "{\\f1 \\'61\\tab }\\'E9}"},
        {"size and plain reset", bytes({0x5C, 0x90, 0xF6, 0xF4}) + "\\#b\\$" + bytes({0x5C, 0x90, 0xF4, 0xF6}) + "\\/i\\0",
         "\\fs24 \\b b\\plain\\f0 \\fs20 \\i i\\plain\\fs20\\f0 }"},
        {"ending one style keeps the others on, and the colour", bytes({0x5C, 0xD0, 0, 3}) + "\\#\\/b\\$i\\0x",
         "\\cf3 \\b \\i b\\plain\\fs20\\f0 \\i \\cf3 i\\plain\\fs20\\f0 \\cf3 x}"},
        {"font classes", bytes({0x5C, 0x8F, 0, 2, 'a', 0x5C, 0x8F, 2, 4, 0x5C, 0x8F, 4, 9}),
         "\\f2 a\\f4 \\f3 }"},
        {"styles", "\\%\\'\\)\\-\\1\\;\\=\\A\\G\\I\\?\\4", "\\ul \\dn6 \\up6 \\strike \\v \\caps \\shad \\uldb \\scaps \\outl \\~}"},
        {"header and footer", bytes({0x5C, 0x9E, 0, 0}) + "H\r\\\x7F" + bytes({0x5C, 0xA1, 0, 0}) + "F\\\x7F" + "b",
         "\\par {\\header \\f0 \\pard H\r\n\\par }\\f0 \\par {\\footer \\f0 \\pard F}\\f0 b}"},
        {"a footnote", bytes({'a', 0x5C, 0xA2, 0, 1}) + "n\\\x7F" + "b",
         "a{\\chftn {\\footnote {\\chftn }{\\f0 \\pard n}}}\\f0 b}"},
        {"colour", bytes({0x5C, 0xD0, 0, 3, 0x5C, 0xD0, 3, 12}), "\\cf3 \\cf12 }"},
        {"a border holds for its paragraph", bytes({0x5C, 0xB0, 0x0F, 0}) + "a\r" + bytes({0x5C, 0xB0, 0x25, 0}) + "b\rc",
         "\\pard\\box\\brdrs\\brdrw15\\brsp20 a\r\n\\par \\pard\\brdrt\\brdrb\\brdrdb\\brdrw15\\brsp20 b\r\n\\par "
         "\\pard c}"},
        {"picture", bytes({0x5C, 0xC0, 1, 0, 0, 0, 0, 20, 0, 0, 0, 30}) + "0aF9\\\x7F" + "x",
         "{\\pict\\macpict\\picw30\\pich20 0af9}x}"},
        {"unknown codes skip their arguments", bytes({0x5C, 0x60, 'X', 0x5C, 0xE0, 'X', 'X', 0x5C, 0x88, 1, 2}) + "y",
         "y}"},
        {"lone backslash at the end", "ab\\", "ab}"},
    };
    for (const Case& c : cases) EXPECT_EQ(ansi(c.stream), kAnsi + c.body) << c.what;
}

TEST(RtfWriter, TabStopsOfEachKind) {
    // Every kind at its column, at 10 points; the bar tab only in DOS.
    const std::string stream = bytes({0x5C, 0x80, 1, 1, 0x5C, 0x80, 2, 2, 0x5C, 0x80, 3, 3, 0x5C, 0x80, 4, 5,
                                      0x5C, 0x80, 5, 4}) + "t\r" + bytes({0x5C, 0x81, 1, 1}) + "u\r";
    EXPECT_EQ(dos(stream), kPc + "\\pard\\tx200\\tqc\\tx400\\tqr\\tx600\\tb800\\tqdec\\tx1000 t\r\n\\par "
                                 "\\pard\\tqc\\tx400\\tqr\\tx600\\tb800\\tqdec\\tx1000 u\r\n\\par }");
    EXPECT_EQ(ansi(stream), kAnsi + "\\pard\\tx200\\tqc\\tx400\\tqr\\tx600\\tqdec\\tx1000 t\r\n\\par "
                                    "\\pard\\tqc\\tx400\\tqr\\tx600\\tqdec\\tx1000 u\r\n\\par }");
}

// The paragraphs of an RTF file as a reader sees them, each as
// "text|alignment|tab words": a group keeps its own properties and forgets
// them when it closes, "\pard" resets them, "\par" ends a paragraph, and
// the text of a header, footer or footnote is a paragraph list of its own
// whose last paragraph ends with its group. Font and colour tables are
// skipped.
std::vector<std::string> paragraphs(const std::string& rtf) {
    struct Level {
        std::string align = "ql", tabs;
        int text = 0;          // which text the group's characters go to
        bool owns = false;     // its text ends with it
        bool skipped = false;  // a table, not text
    };
    std::vector<std::string> texts(1), found;
    std::vector<Level> levels(1);
    auto end_paragraph = [&](const Level& l) {
        found.push_back(texts[static_cast<std::size_t>(l.text)] + "|" + l.align + "|" + l.tabs);
        texts[static_cast<std::size_t>(l.text)].clear();
    };
    for (std::size_t i = 0; i < rtf.size(); ++i) {
        const char c = rtf[i];
        Level& top = levels.back();
        if (c == '{') {
            levels.push_back(top);
            levels.back().owns = levels.size() == 2;  // the document's own group holds the body
        } else if (c == '}') {
            const Level closed = top;
            levels.pop_back();
            if (closed.owns && !closed.skipped && !texts[static_cast<std::size_t>(closed.text)].empty()) end_paragraph(closed);
            if (levels.empty()) break;
        } else if (c == '\\' && i + 1 < rtf.size() && std::isalpha(static_cast<unsigned char>(rtf[i + 1]))) {
            std::size_t j = i + 1;
            while (j < rtf.size() && std::isalpha(static_cast<unsigned char>(rtf[j]))) ++j;
            const std::string word = rtf.substr(i + 1, j - i - 1);
            std::size_t k = j;
            while (k < rtf.size() && (std::isdigit(static_cast<unsigned char>(rtf[k])) || rtf[k] == '-')) ++k;
            const std::string number = rtf.substr(j, k - j);
            i = (k < rtf.size() && rtf[k] == ' ') ? k : k - 1;
            if (word == "fonttbl" || word == "colortbl" || word == "info") top.skipped = true;
            else if (word == "header" || word == "footer" || word == "footnote") {
                texts.emplace_back();
                top.text = static_cast<int>(texts.size()) - 1;
                top.owns = true;
            } else if (word == "pard") {
                top.align = "ql";
                top.tabs.clear();
            } else if (word == "ql" || word == "qc" || word == "qj" || word == "qr") top.align = word;
            else if (word == "tx" || word == "tb" || word == "tqc" || word == "tqr" || word == "tqdec") top.tabs += word + number;
            else if (word == "par") end_paragraph(top);
            else if (word == "tab") texts[static_cast<std::size_t>(top.text)] += '\t';
        } else if (c == '\\' && i + 1 < rtf.size()) {
            char shown = rtf[++i];
            if (shown == '\'') {  // a character by its code: shown as "?"
                shown = '?';
                i += 2;
            }
            if (!top.skipped) texts[static_cast<std::size_t>(top.text)] += shown;
        } else if (c != '\r' && c != '\n' && !top.skipped) {
            texts[static_cast<std::size_t>(top.text)] += c;
        }
    }
    return found;
}

// Every paragraph carries exactly its own alignment and tab stops, however
// the paragraph before it ended and whatever group came between.
TEST(RtfWriter, EveryParagraphCarriesItsOwnProperties) {
    using V = std::vector<std::string>;
    struct ParaCase {
        const char* what;
        std::string stream;
        V expected;
    };
    const ParaCase cases[] = {
        {"a centred heading, then left text", StreamBuilder().code(0x2B).text("Head").para().code(0x2C).text("body").para().str(),
         V{"Head|qc|", "body|ql|"}},
        {"right, then left", StreamBuilder().code(0x45).text("r").para().code(0x46).code(0x53).text("l").para().str(),
         V{"r|qr|", "l|ql|"}},
        {"tab stops do not pile up", StreamBuilder().code(0x2B).code(0x80, {1, 5}).text("a\tb").para()
                                         .code(0x81, {1, 5}).code(0x80, {1, 10}).text("c\td").para().str(),
         V{"a\tb|qc|tx1000", "c\td|qc|tx2000"}},
        {"alignment set inside a footer holds after it",
         StreamBuilder().code(0xA1, {0, 0}).code(0x43).text("foot").code(0x7F).text("body").para().text("more").para().str(),
         V{"|ql|", "foot|qj|", "body|qj|", "more|qj|"}},
        {"a header's own paragraphs", StreamBuilder().code(0x2B).text("title").para()
                                          .code(0x9E, {0, 0}).code(0x2C).text("head").para().code(0x7F)
                                          .text("body").para().str(),
         V{"title|qc|", "|qc|", "head|ql|", "body|ql|"}},
        {"a header right after a Symbol character", StreamBuilder().symbol("a").code(0x9E, {0, 0}).text("head")
                                                          .code(0x7F).text("x").str(),
         V{"?|ql|", "head|ql|", "x|ql|"}},
        {"a footnote inside a justified paragraph", StreamBuilder().code(0x43).text("text").code(0xA2, {0, 1})
                                                        .text("note").code(0x7F).text(" more").para().str(),
         V{"note|qj|", "text more|qj|"}},
    };
    for (const ParaCase& c : cases) {
        EXPECT_EQ(paragraphs(ansi(c.stream)), c.expected) << c.what << "\n" << ansi(c.stream);
        EXPECT_EQ(paragraphs(dos(c.stream)), c.expected) << c.what;
    }
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
        EXPECT_TRUE(test::rtf_braces_balance(ansi(s))) << ansi(s);
        EXPECT_TRUE(test::rtf_braces_balance(dos(s))) << dos(s);
    }
    EXPECT_EQ(ansi(streams[0]), kAnsi + "stray close then text\r\n\\par }");
}

}  // namespace
}  // namespace verbatra
