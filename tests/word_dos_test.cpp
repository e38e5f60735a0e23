// Word for DOS files read back by a small reader of the layout (header,
// formatting pages, FODs, FPROPs, footnote table), so that each test says
// what a page holds.
#include <gtest/gtest.h>

#include "pipeline/driver.h"
#include "stream_builder.h"
#include "support.h"
#include "target_checks.h"
#include "writers/word_dos.h"

namespace verbatra {
namespace {

using test::bytes;
using test::StreamBuilder;

using test::FormatRun;
using test::WordDoc;

unsigned u16(const std::string& f, std::size_t at) {
    return static_cast<unsigned char>(f[at]) | static_cast<unsigned char>(f[at + 1]) << 8;
}

WordDoc parse(const std::string& f) {
    WordDoc d = test::read_word_dos_file(f);
    EXPECT_TRUE(d.problems.empty()) << (d.problems.empty() ? "" : d.problems.front());
    return d;
}

WordDoc convert(const std::string& stream) {
    int result = 9;
    const std::string file = test::run_entry(write_word_dos, stream, &result);
    EXPECT_EQ(result, 0);
    test::keep_fixture("word", file);
    test::keep_fixture("stream", stream);
    return parse(file);
}

// The run that holds text position `fc`.
const FormatRun& run_at(const std::vector<FormatRun>& runs, std::uint32_t fc) {
    for (const FormatRun& r : runs) {
        if (fc >= r.first && fc < r.lim) return r;
    }
    static const FormatRun none{0, 0, false, ""};
    ADD_FAILURE() << "no run holds " << fc;
    return none;
}

TEST(WordDosWriter, TextAndPages) {
    // Text that ends on a page boundary: no padding, formatting right after.
    WordDoc d = convert(std::string(126, 'x') + "\r");
    EXPECT_EQ(d.fc_mac, 256u);
    EXPECT_EQ(d.pn_char, 2u);
    EXPECT_EQ(d.text, std::string(126, 'x') + "\r\n");
    // The paragraph pages end with two default runs: to fcMac and one past.
    ASSERT_GE(d.paras.size(), 2u);
    EXPECT_EQ(d.paras[d.paras.size() - 2].lim, 256u);
    EXPECT_EQ(d.paras.back().lim, 257u);
    EXPECT_FALSE(d.paras.back().has_fprop);
    // No notes: the footnote table's page is the end of the file.
    EXPECT_EQ(d.pn_fntb, d.pn_sep);

    // The left-aligned code loses no byte; the page number is a special character.
    WordDoc s = convert(StreamBuilder().code(0x53).text("x").code(0x33).text(" y").para().str());
    EXPECT_EQ(s.text, "x\x01 y\r\n");
    EXPECT_EQ(run_at(s.chars, 129).byte(4) & 0x40, 0x40);
    EXPECT_EQ(run_at(s.chars, 129).byte(1), 0);

    // The same stream twice gives the same file.
    const std::string stream = StreamBuilder().code(0x23).text("same").para().str();
    EXPECT_EQ(test::run_entry(write_word_dos, stream), test::run_entry(write_word_dos, stream));

    // A line end is a space, but none after a hyphen of the text; a code
    // byte that happens to be a hyphen's (strikethrough on) is no hyphen.
    EXPECT_EQ(convert("three-\nfour\r").text, "three-four\r\n");
    EXPECT_EQ(convert("three\\\x2D\nfour\r").text, "three four\r\n");
}

TEST(WordDosWriter, CharacterRuns) {
    // Codes before any text make no empty first run; two codes in a row
    // both apply to the text that follows.
    WordDoc d = convert(StreamBuilder()
                            .code(0x8F, {0, 1}).code(0x90, {0xF6, 0xF2}).text("Big")
                            .code(0x8F, {1, 2}).code(0x90, {0xF2, 0xF4}).text("Plain")
                            .code(0x27).text("a").code(0x25).text("b").code(0x26).code(0x28)
                            .code(0x23).code(0x2F).code(0x3B).text("c").code(0x47).text("d").code(0x24).code(0x30)
                            .code(0x48).code(0x2D).text("e").para().str());
    ASSERT_FALSE(d.chars.empty());
    EXPECT_EQ(d.chars[0].first, 128u);
    EXPECT_EQ(d.chars[0].lim, 131u);
    EXPECT_EQ(d.chars[0].byte(2), 0x40);  // font class 1
    EXPECT_EQ(d.chars[0].byte(3), 28);    // 14 points
    // A plain 12-point run has no FPROP, whatever its font class.
    EXPECT_FALSE(run_at(d.chars, 131).has_fprop);
    const FormatRun& sub = run_at(d.chars, 136);
    EXPECT_EQ(sub.byte(6), 0xF4);
    EXPECT_EQ(sub.byte(4), 0);
    // Subscript then underline: the shared variant bit makes it double.
    const FormatRun& both = run_at(d.chars, 137);
    EXPECT_EQ(both.byte(4), 0x04);
    EXPECT_EQ(both.byte(6), 0xF4);
    EXPECT_EQ(run_at(d.chars, 138).byte(2), 0x03 + 0x44);  // bold, italic, font class 2
    EXPECT_EQ(run_at(d.chars, 138).byte(4), 0x10);         // all caps
    EXPECT_EQ(run_at(d.chars, 139).byte(4), 0x20);         // caps with the variant: small caps
    EXPECT_EQ(run_at(d.chars, 140).byte(4), 0x02);         // strikethrough
    for (std::size_t i = 1; i < d.chars.size(); ++i) EXPECT_LT(d.chars[i].first, d.chars[i].lim);
}

// Without a font table of its own, the file gives a named font's family:
// fixed pitch, roman or sans serif, as the font classes do.
TEST(WordDosWriter, NamedFontsChooseTheirFamily) {
    // At 10 points (a plain 12-point run has no properties to show it).
    WordDoc d = convert(std::string("\\\xC1\x08") + "Palatino" + "ab" + std::string("\\\xC1\x06") +
                        "Geneva" + "cd" + std::string("\\\xC1\x07") + "Courier" + "ef\r");
    EXPECT_EQ(d.text, "abcdef\r\n");
    EXPECT_EQ(run_at(d.chars, 128).byte(2), 0x40);  // roman
    EXPECT_EQ(run_at(d.chars, 130).byte(2), 0x44);  // sans serif
    EXPECT_EQ(run_at(d.chars, 132).byte(2), 0x00);  // fixed pitch
}

TEST(WordDosWriter, ParagraphRuns) {
    StreamBuilder s;
    s.raw("\tone\r");                      // one leading tab: a first-line indent
    s.raw("\t\ttwo\r");                    // two: both written, no indent
    s.raw("a\tb\r");                       // tabs before any tab code: no descriptors
    for (int c = 2; c <= 50; c += 2) s.code(0x80, {c == 10 ? 3 : 1, c});
    s.raw("c\td\r");                       // at most 19 descriptors, dyaLine 240
    s.code(0x96, {8, 12}).raw("e\tf\r");  // one and a half lines, kept with tabs
    s.code(0x2B).text("centred").para().code(0x2C).text("left").para();
    WordDoc d = convert(s.str());
    EXPECT_EQ(d.text.substr(0, 17), "one\r\n\t\ttwo\r\na\tb\r\n");

    const FormatRun& one = run_at(d.paras, 128);
    EXPECT_EQ(u16(one.fprop, 8), 600u);  // dxaLeft1 = 10 points x column 5 x 12
    EXPECT_EQ(one.byte(1), 0x3C);
    const FormatRun& two = run_at(d.paras, 133);
    EXPECT_EQ(two.fprop.size(), 0u);
    const FormatRun& before = run_at(d.paras, 140);
    EXPECT_LT(before.fprop.size(), 22u);

    const FormatRun& after = run_at(d.paras, 145);
    ASSERT_EQ(after.fprop.size(), 21u + 19 * 4 - 1);
    EXPECT_EQ(u16(after.fprop, 10), 240u);
    for (int i = 0; i < 19; ++i) {
        const int column = 2 + 2 * i;
        EXPECT_EQ(u16(after.fprop, 22 + 4 * static_cast<std::size_t>(i)), static_cast<unsigned>(10 * column * 12));
        if (i < 18) {
            EXPECT_EQ(after.byte(23 + 4 * i + 2), column == 10 ? 2 : 0) << column;
        }
    }
    const FormatRun& spaced = run_at(d.paras, 150);
    EXPECT_EQ(u16(spaced.fprop, 10), 360u);
    EXPECT_EQ(run_at(d.paras, 155).byte(2), 1);  // centred
    // Switched off as the next paragraph starts, the alignment ends there.
    EXPECT_EQ(run_at(d.paras, 164).byte(2), 0);
}

TEST(WordDosWriter, Footnotes) {
    StreamBuilder s;
    s.text("Main");
    for (int n = 1; n <= 3; ++n) s.code(0xA2, {0, n}).text("Note " + std::to_string(n)).code(0x7F).text(" text");
    s.para();
    WordDoc d = convert(s.str());
    EXPECT_EQ(d.cfnd, 4u);
    EXPECT_EQ(d.cfnd_max, 4u);
    ASSERT_EQ(d.notes.size(), 4u);
    const std::string main = "Main\x05 text\x05 text\x05 text\r\n";
    EXPECT_EQ(d.text.substr(0, main.size()), main);
    for (int n = 0; n < 3; ++n) {
        const std::uint32_t ref = d.notes[static_cast<std::size_t>(n)].first;
        const std::uint32_t ftn = d.notes[static_cast<std::size_t>(n)].second;
        EXPECT_EQ(d.text[ref], '\x05');
        EXPECT_EQ(d.text.substr(ftn, 2), "\x05\t");  // each note text starts 0x05 0x09
        EXPECT_EQ(d.text.substr(ftn + 2, 6), "Note " + std::to_string(n + 1));
        EXPECT_EQ(run_at(d.chars, 128 + ref).byte(1), 0x1B);  // the reference mark
        EXPECT_EQ(run_at(d.paras, 128 + ftn).byte(1), 0x4F);  // the note's closing paragraph
    }
    EXPECT_EQ(d.notes[3].first, d.fc_mac - 128);
    EXPECT_EQ(d.notes[3].second, d.fc_mac - 128);
}

// Note texts as real documents hold them: ending with a paragraph end, with
// paragraphs, tabs and accents inside. Readers find a note's text by the
// note paragraph style, so every paragraph of it has that style.
TEST(WordDosWriter, NoteTextsWithParagraphEnds) {
    WordDoc d = convert(StreamBuilder().text("Main").code(0xA2, {0, 1}).text("First").para().code(0x7F)
                            .text(" and").code(0xA2, {0, 2}).text("One\tpara").para().mac("Caf\x8E").para().code(0x7F)
                            .text(" end").para().str());
    ASSERT_EQ(d.notes.size(), 3u);
    const std::uint32_t notes_start = 128 + d.notes[0].second;
    EXPECT_EQ(d.text.substr(notes_start - 128), "\x05\tFirst\r\n\x05\tOne\tpara\r\nCaf\x82\r\n");
    int note_paragraphs = 0;
    for (const FormatRun& r : d.paras) {
        if (r.first < notes_start || r.first >= d.fc_mac) continue;
        EXPECT_GT(r.lim, r.first) << "an empty paragraph run";
        EXPECT_EQ(r.byte(1), 0x4F) << "paragraph " << r.first << "-" << r.lim;
        ++note_paragraphs;
    }
    EXPECT_EQ(note_paragraphs, 3);
}

TEST(WordDosWriter, RunningHeads) {
    WordDoc d = convert(StreamBuilder().code(0x9E, {0, 0}).text("Head").para().code(0x7F)
                            .code(0xA1, {0, 0}).text("Foot").code(0x7F).text("Body").para().str());
    EXPECT_EQ(d.text, "Head\r\n\r\nFoot\r\nBody\r\n");
    EXPECT_EQ(run_at(d.paras, 128).byte(17), 14);
    EXPECT_EQ(run_at(d.paras, 128).byte(2), 0x20);
    EXPECT_EQ(run_at(d.paras, 136).byte(17), 15);
    EXPECT_FALSE(run_at(d.paras, 142).has_fprop);
}

TEST(WordDosWriter, EmptyStreamGivesAnEmptyDocument) {
    WordDoc d = convert("");
    EXPECT_EQ(d.text, "\r\n");
    EXPECT_FALSE(d.chars.empty());
}

TEST(WordDosWriter, TooLargeForTheFormatIsNotConverted) {
    test::TempDir dir;
    const std::string line = std::string(1000, 'w') + "\r";
    std::string big;
    while (big.size() <= 65535u * 128) big += line;
    test::write_file(dir.file("BIG"), big);
    ConversionResult r = convert_file(dir.file("BIG"), format_named("text", source_formats), format_named("word-dos", target_formats));
    EXPECT_EQ(r.outcome, Outcome::TooLarge);
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"BIG"}));
}

}  // namespace
}  // namespace verbatra
