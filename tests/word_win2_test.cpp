// Word for Windows 2 files read back byte by byte: the FIB, the text and
// its parts, the formatting pages through their bin tables, the note,
// section and header tables.
#include <gtest/gtest.h>

#include "pipeline/driver.h"
#include "stream_builder.h"
#include "support.h"
#include "target_checks.h"
#include "writers/word_win2.h"

namespace verbatra {
namespace {

using test::StreamBuilder;
using test::Win2Doc;

Win2Doc convert(const std::string& stream, int* result = nullptr) {
    int r = 99;
    Win2Doc d = test::read_word_win2_file(test::run_entry(write_word_win2, stream, &r));
    if (result) *result = r;
    else EXPECT_EQ(r, 0);
    for (const std::string& problem : d.problems) ADD_FAILURE() << problem;
    return d;
}

// The run of `runs` that covers text position `cp` (from the first text
// byte).
const test::Win2Run& run_at(const std::vector<test::Win2Run>& runs, std::uint32_t cp) {
    for (const auto& r : runs) {
        if (r.first <= cp + 384 && cp + 384 < r.lim) return r;
    }
    static const test::Win2Run none{0, 0, ""};
    ADD_FAILURE() << "no run at " << cp;
    return none;
}
const test::Win2Run& char_run_at(const Win2Doc& d, std::uint32_t cp) { return run_at(d.chars, cp); }
const test::Win2Run& para_run_at(const Win2Doc& d, std::uint32_t cp) { return run_at(d.paras, cp); }

TEST(WordWin2Writer, PlainDocument) {
    const Win2Doc d = convert(StreamBuilder().text("Hello").para().str());
    EXPECT_EQ(d.main_text(), "Hello\r\n");
    EXPECT_EQ(d.text, "Hello\r\n\r\n");  // one final paragraph
    EXPECT_EQ(d.ccp_ftn, 0u);
    EXPECT_EQ(d.ccp_hdd, 0u);
    EXPECT_EQ(d.sepx, std::string("\x8B\x82\x2E\x8C\xC6\x41"));
    // Untouched text is 10 points, the stream's starting size.
    EXPECT_EQ(char_run_at(d, 0).byte(7), 20);
    EXPECT_EQ(char_run_at(d, 0).byte(3), 2);
    // Notes are numbered through the document from 1.
    const std::string file = test::run_entry(write_word_win2, "x");
    const std::size_t at = static_cast<unsigned char>(file[274]) | static_cast<unsigned char>(file[275]) << 8;
    EXPECT_EQ(file[at + 2], '\x04');

    // A line end is a space, but none after a hyphen of the text; a code
    // byte that happens to be a hyphen's (strikethrough on) is no hyphen.
    EXPECT_EQ(convert("three-\nfour\r").main_text(), "three-four\r\n");
    EXPECT_EQ(convert("three\\\x2D\nfour\r").main_text(), "three four\r\n");
}

// Word's Summary Info: the title and where the document came from, and
// the dates the Mac recorded in place of the fixed ones; a title Word's
// strings cannot hold as it is stays out.
TEST(WordWin2Writer, SummaryInfoSaysWhatTheDocumentIs) {
    Conversion c;
    c.source_name = "/disk/To Anne";
    c.source_format = "MacWrite 4.6";
    c.created = 600000000;   // 1989-01-05 10:40:00, a Thursday
    c.modified = 641977689;  // 1990-05-06 07:08:09, a Sunday
    int r = 99;
    Win2Doc d = test::read_word_win2_file(test::run_entry(write_word_win2, StreamBuilder().text("Hi").para().str(), &r, &c));
    ASSERT_EQ(r, 0);
    EXPECT_TRUE(d.problems.empty()) << d.problems.front();
    ASSERT_EQ(d.summary.size(), 8u);
    EXPECT_EQ(d.summary[2], "To Anne");
    EXPECT_EQ(d.summary[5], "converted from MacWrite 4.6 by Verbatra 5.1");
    auto unpack = [](std::uint32_t t) {
        return std::vector<unsigned>{(t >> 20 & 511) + 1900, t >> 16 & 15, t >> 11 & 31, t >> 6 & 31, t & 63, t >> 29};
    };
    EXPECT_EQ(unpack(d.created), (std::vector<unsigned>{1989, 1, 5, 10, 40, 4}));
    EXPECT_EQ(unpack(d.revised), (std::vector<unsigned>{1990, 5, 6, 7, 8, 0}));

    Conversion bare;
    bare.source_name = "/disk/Caf\xC3\xA9";
    d = test::read_word_win2_file(test::run_entry(write_word_win2, "x\r", &r, &bare));
    ASSERT_EQ(d.summary.size(), 8u);
    EXPECT_EQ(d.summary[2], "");
    EXPECT_EQ(d.summary[5], "converted from a Macintosh document by Verbatra 5.1");
    EXPECT_EQ(unpack(d.created)[0], 1993u);  // the fixed block's, with no date of the document's
}

// A named font gets an entry of the font table after the four of the
// classes (one of those when it is one of them), with its pitch and family.
TEST(WordWin2Writer, NamedFonts) {
    const Win2Doc d = convert(std::string("\\\xC1\x07") + "Courier" + "ab" + std::string("\\\xC1\x05") + "Arial" +
                              "cd" + std::string("\\\xC1\x07") + "Courier" + "ef" +
                              std::string("\\\xC1\x08") + "Palatino" + "gh\r");
    EXPECT_EQ(d.main_text(), "abcdefgh\r\n");
    EXPECT_EQ(char_run_at(d, 0).byte(5), 4);  // Courier, the first named font
    EXPECT_EQ(char_run_at(d, 2).byte(5), 2);  // Arial, the table's own
    EXPECT_EQ(char_run_at(d, 4).byte(5), 4);
    EXPECT_EQ(char_run_at(d, 6).byte(5), 5);  // Palatino
    // The table: its length, the class fonts, then Courier (fixed pitch,
    // modern) and Palatino (variable, roman).
    const std::string fonts = std::string("\x0A\x31\x00", 3) + "Courier" + std::string(1, '\0') +
                              std::string("\x0B\x12\x00", 3) + "Palatino" + std::string(1, '\0');
    const std::size_t at = d.file.find(fonts);
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(static_cast<unsigned char>(d.file[at - 55]), 55u + fonts.size());
}

TEST(WordWin2Writer, CharacterRuns) {
    const Win2Doc d = convert(StreamBuilder()
                                  .code(0x23).text("b").code(0x24)
                                  .code(0x2F).text("i").code(0x30)
                                  .code(0x25).text("u").code(0x26)
                                  .code(0x29).text("p").code(0x2A)
                                  .code(0x90, {0xF6, 0xE4}).text("big")
                                  .code(0x8F, {0, 1}).text("roman")
                                  .symbol("c").text("a")
                                  .code(0x4B).code(0x4C).code(0x20, {14, 0xFF}).code(0x20, {200, 1})
                                  .para().str());
    EXPECT_EQ(d.main_text(), std::string("biupbigroman") + "ca\xAB\xBB\r\n");
    EXPECT_EQ(char_run_at(d, 0).byte(1), 0x01);
    EXPECT_EQ(char_run_at(d, 1).byte(1), 0x02);
    EXPECT_EQ(char_run_at(d, 2).byte(10), 0x20);
    EXPECT_EQ(char_run_at(d, 3).byte(11), 6);
    EXPECT_EQ(char_run_at(d, 4).byte(7), 56);  // 28 points
    EXPECT_EQ(char_run_at(d, 4).byte(5), 3);   // font class 0: Courier New
    EXPECT_EQ(char_run_at(d, 7).byte(5), 0);   // roman: Times New Roman
    EXPECT_EQ(char_run_at(d, 12).byte(5), 1);  // the Symbol character
    EXPECT_EQ(char_run_at(d, 13).byte(5), 0);  // and back
}

TEST(WordWin2Writer, ParagraphRuns) {
    const Win2Doc d = convert(StreamBuilder()
                                  .code(0x2B).text("Centred").para()
                                  .code(0x2C).text("Left").para()
                                  .code(0x80, {1, 10}).code(0x80, {3, 20}).text("a\tb\tc").para()
                                  .str());
    // A paragraph's run ends after its CR: readers start the next
    // paragraph there, so its LF opens the next run.
    EXPECT_EQ(para_run_at(d, 0).lim, 384u + 8);
    const std::string centred = para_run_at(d, 0).block;
    ASSERT_GE(centred.size(), 9u);
    EXPECT_EQ(centred.substr(7, 2), std::string("\x05\x01", 2));
    // Switched off before the next paragraph has anything: left.
    EXPECT_EQ(para_run_at(d, 9).block.find('\x05'), std::string::npos);
    const std::string tabs = para_run_at(d, 15).block;
    EXPECT_NE(tabs.find(std::string("\x0F\x09\x00\x02", 4)), std::string::npos);
}

TEST(WordWin2Writer, Notes) {
    StreamBuilder s;
    s.text("Main");
    // The ˙ of the Macintosh is the set character 7, 0x7F: an argument
    // byte that is not the end of the note.
    s.code(0xA2, {0, 1}).text("First ").code(0x20, {7, 0x7F}).text(" end").code(0x7F).text(" more");
    s.code(0xA2, {0, 2}).text("Second").para().code(0xA2, {0, 3}).text("inner").code(0x7F).para();
    const Win2Doc d = convert(s.str());
    EXPECT_EQ(d.main_text(), "Main\x02 more\x02\r\n");
    ASSERT_EQ(d.note_refs.size(), 2u);
    EXPECT_EQ(d.note_refs[0], 4u);
    const std::string notes = d.note_text();
    EXPECT_EQ(notes.rfind("\x02\x09" "First ", 0), 0u) << notes;
    EXPECT_EQ(notes.find(" end\r\n"), 9u) << notes;  // the whole note, the ˙ in it
    EXPECT_NE(notes.find("\x02\x09Second\r\n"), std::string::npos);
}

// Sections opened inside others (found by fuzzing): a head inside a note,
// a note inside a footer. The tables stay whole and the text is kept.
TEST(WordWin2Writer, SectionsInsideSections) {
    const Win2Doc d = convert(StreamBuilder()
                                  .text("See").code(0xA2, {0, 1}).text("One").code(0x9E, {0, 0}).code(0x7F)
                                  .code(0xA1, {0, 0}).text("Foot").code(0xA2, {0, 2}).text("inner").code(0x7F).code(0x7F)
                                  .text("Body").para().str());
    EXPECT_EQ(d.note_refs.size(), 1u);
    EXPECT_NE(d.main_text().find("Body"), std::string::npos);
    EXPECT_NE(d.note_text().find("One"), std::string::npos);

    // A picture in a note ends at the first 5C 7F, which does not end the
    // note (also where its content has 5C 5C before the 7F).
    const std::string picture = "\\\xC0" + std::string(10, '\x01') + "AB\\\\\x7F";
    const Win2Doc p = convert(StreamBuilder().text("a").code(0xA2, {0, 1}).raw(picture).text(" in note").code(0x7F)
                                  .text("b").code(0xA2, {0, 2}).text("second").code(0x7F).para().str());
    EXPECT_EQ(p.main_text(), "a\x02" "b\x02\r\n");
    ASSERT_EQ(p.note_refs.size(), 2u);
    EXPECT_NE(p.note_text().find(" in note"), std::string::npos);
    EXPECT_NE(p.note_text().find("second"), std::string::npos);
}

TEST(WordWin2Writer, HeadersAndFooters) {
    // The size set in the header holds for the body, as MacWrite relies on.
    Win2Doc d = convert(StreamBuilder()
                            .code(0x9E, {0, 0}).code(0x90, {0xF6, 0xF2}).text("Head ").code(0x20, {7, 0x7F}).para().code(0x7F)
                            .code(0xA1, {0, 0}).text("Foot").code(0x7F)
                            .text("Body").para().str());
    EXPECT_EQ(d.main_text(), "Body\r\n");
    EXPECT_EQ(char_run_at(d, 0).byte(7), 28);
    EXPECT_EQ(d.header_text().substr(0, 5), "Head ");
    EXPECT_EQ(d.header_text().substr(6, 8), "\r\nFoot\r\n");
    EXPECT_EQ(d.headers, (std::vector<std::uint32_t>{0, 8, 14, 20}));
    EXPECT_EQ(d.sepx.substr(0, 2), std::string("\x80\x0A", 2));

    // A footer alone is the only story; an empty header makes none.
    d = convert(StreamBuilder().code(0x9E, {0, 0}).para().code(0x7F)
                    .code(0xA1, {0, 0}).text("Foot").code(0x7F).text("Body").para().str());
    EXPECT_EQ(d.headers, (std::vector<std::uint32_t>{0, 6, 12}));
    EXPECT_EQ(d.sepx.substr(0, 2), std::string("\x80\x08", 2));
    d = convert(StreamBuilder().code(0x9E, {0, 0}).para().code(0x7F).text("Body").para().str());
    EXPECT_EQ(d.ccp_hdd, 0u);
    EXPECT_TRUE(d.headers.empty());
}

// Streams with no main text, or none at all, give documents readers open:
// one empty paragraph.
TEST(WordWin2Writer, DocumentsWithoutText) {
    for (const std::string& stream : {std::string(), StreamBuilder().code(0x23).code(0x86, {4, 0}).str()}) {
        int result = 99;
        const Win2Doc d = convert(stream, &result);
        EXPECT_EQ(result, 0);
        EXPECT_EQ(d.main_text(), "\r\n");
    }
    // The code 0x86 has two argument bytes, nothing more.
    EXPECT_EQ(convert(StreamBuilder().code(0x86, {0xFF, 0xFF}).text("After").para().str()).main_text(), "After\r\n");
}

TEST(WordWin2Writer, ManyRunsFillPages) {
    StreamBuilder s;
    for (int i = 0; i < 150; ++i) s.code(i % 2 ? 0x24 : 0x23).text("w");
    s.para();
    const Win2Doc d = convert(s.str());
    EXPECT_EQ(d.main_text(), std::string(150, 'w') + "\r\n");
    EXPECT_GE(d.chars.size(), 150u);
}

TEST(WordWin2Writer, TooManyNotesIsTooLarge) {
    StreamBuilder s;
    for (int i = 0; i < 10922; ++i) s.code(0xA2, {0, 1}).text("n").code(0x7F);
    int result = 99;
    test::run_entry(write_word_win2, s.str(), &result);
    EXPECT_EQ(result, kTooLarge);
}

}  // namespace
}  // namespace verbatra
