// MacWrite II documents assembled block by block, and the exact stream
// each must give.
#include <gtest/gtest.h>

#include "readers/macwrite2.h"
#include "support.h"
#include "target_checks.h"
#include "writers/docx.h"
#include "writers/odt.h"

namespace verbatra {
namespace {

using test::bytes;

using test::be16;
using test::be32;

struct CharStyle {
    int font;
    int points;
    int style;
    int extra = 0;
};

struct StyleRun {
    int index;
    long count;
};

struct Zone {
    std::vector<std::pair<int, int>> text_blocks;  // block number, characters
    std::vector<StyleRun> char_runs;
    std::vector<StyleRun> para_runs;
};

std::string runs_list(const std::vector<StyleRun>& runs) {
    std::string list;
    for (const StyleRun& r : runs) list += be16(r.index) + be32(r.count);
    return be32(static_cast<long>(list.size())) + list;
}

std::string zone_chain_data(const Zone& z) {
    std::string blocks;
    for (auto [block, count] : z.text_blocks) blocks += be16(block) + be16(count);
    return std::string(4, '\0') + be32(static_cast<long>(blocks.size())) + blocks + runs_list(z.char_runs) +
           runs_list(z.para_runs);
}

// A document of 256-byte blocks: blocks 1 and 2 are the header, the
// document chain starts at block 3.
class MacWrite2Doc {
public:
    MacWrite2Doc() : blocks_(3, std::string(256, '\0')) { blocks_[0][1] = 0x2E; }

    int add_block(const std::string& data) {
        std::string b = data;
        b.resize(256, '\0');
        blocks_.push_back(b);
        return static_cast<int>(blocks_.size());
    }
    // `data` in linked blocks of 254 bytes; returns the first block.
    int chain(const std::string& data) {
        const int first = static_cast<int>(blocks_.size()) + 1;
        const std::size_t pieces = data.empty() ? 1 : (data.size() + 253) / 254;
        for (std::size_t i = 0; i < pieces; ++i) {
            std::string piece = data.substr(std::min(data.size(), i * 254), 254);
            piece.resize(254, '\0');
            add_block(piece + be16(i + 1 < pieces ? first + static_cast<int>(i) + 1 : 0));
        }
        return first;
    }
    // `data` as one run of d consecutive blocks, reached through a negative
    // link from a leading block that holds the first 254 bytes.
    int run_chain(const std::string& data, int d) {
        std::string rest = data.size() > 254 ? data.substr(254) : std::string();
        const int lead = static_cast<int>(blocks_.size()) + 1;
        std::string head = data.substr(0, 254);
        head.resize(254, '\0');
        add_block(head + be16(-(lead + 1)));
        std::string run = be16(d) + rest;
        run.resize(static_cast<std::size_t>(d) * 256 - 2, '\0');
        for (int i = 0; i < d; ++i) add_block(run.substr(static_cast<std::size_t>(i) * 256, 256));
        blocks_.back().replace(254, 2, be16(0));
        return lead;
    }
    int text_block(const std::string& chars) { return add_block(chars); }
    int zone(const Zone& z) { return chain(zone_chain_data(z)); }

    // The document chain: style tables and a zone list naming `zones`.
    void document(const std::vector<CharStyle>& styles, const std::vector<int>& justifications,
                  const std::vector<int>& zones, int link_override = 0) {
        std::string d = be32(0) + std::string(4, '\0') + be16(0);
        d += be32(static_cast<long>(styles.size()) * 10);
        for (const CharStyle& s : styles) {
            d += be16(0) + be16(s.font) + be16(s.points * 4) + bytes({s.extra, s.style}) + be16(0);
        }
        d += be32(static_cast<long>(justifications.size()) * 202);
        for (int j : justifications) d += be16(0) + be16(j) + std::string(198, '\0');
        d += std::string(10, '\0');
        for (int first : zones) {
            std::string record(76, '\0');
            record.replace(0, 2, be16(1));
            record.replace(28, 2, be16(first));
            d += record + std::string(3, '\0');
        }
        std::string end(76, '\0');
        end.replace(0, 2, be16(3));
        d += end;
        if (link_override != 0) {
            d.resize(254, '\0');
            blocks_[2] = d + be16(link_override);
            return;
        }
        const int rest = d.size() > 254 ? chain(d.substr(254)) : 0;
        std::string head = d.substr(0, 254);
        head.resize(254, '\0');
        blocks_[2] = head + be16(rest);
    }

    std::string build() const {
        std::string file;
        for (const std::string& b : blocks_) file += b;
        return file;
    }

    std::string& block(int number) { return blocks_[static_cast<std::size_t>(number - 1)]; }

private:
    std::vector<std::string> blocks_;
};

std::string read(const std::string& file, int* result = nullptr) {
    return test::without_font_names(test::read_fixture(read_macwrite2, "macwrite2", file, result));
}

// Two character styles (bold 12 points; font 20 with double underline) and
// two paragraph styles (left; centred).
MacWrite2Doc styled(const std::string& text, const std::vector<StyleRun>& char_runs, const std::vector<StyleRun>& para_runs) {
    MacWrite2Doc doc;
    const int block = doc.text_block(text);
    const int zone = doc.zone({{{block, static_cast<int>(text.size())}}, char_runs, para_runs});
    doc.document({{3, 12, 0x01}, {20, 0, 0x00, 0x20}}, {0, 1}, {zone});
    return doc;
}

TEST(MacWrite2Reader, RunsGiveStylesAndAlignment) {
    MacWrite2Doc doc = styled("Bold\rPlain\r", {{0, 5}, {1, 6}}, {{1, 5}, {0, 6}});
    int result = 9;
    EXPECT_EQ(read(doc.build(), &result),
              bytes({0x5C, 0x90, 0xF6, 0xF4, 0x5C, 0x23, 0x5C, 0x2B}) + "Bold" +
                  bytes({0x5C, 0x24, 0x5C, 0x2C, 0x0D,                    // run ends at the CR: off first
                         0x5C, 0x8F, 0, 1, 0x5C, 0x41}) + "Plain" + bytes({0x5C, 0x42, 0x0D}));
    EXPECT_EQ(result, 0);

    // A run that goes on past the CR keeps its styles on.
    MacWrite2Doc on = styled("B\rC\r", {{0, 4}}, {});
    EXPECT_EQ(read(on.build()), bytes({0x5C, 0x90, 0xF6, 0xF4, 0x5C, 0x23, 'B', 0x0D, 'C', 0x5C, 0x24, 0x0D}));
}

TEST(MacWrite2Reader, TextBytes) {
    MacWrite2Doc doc = styled(std::string("a\x02" "b\x17" "c\\\x8E\t\x0C\r", 10), {}, {});
    EXPECT_EQ(read(doc.build()), "abc\\\\" + bytes({0x5C, 0x20, 1, 0x29}) + "\t\x0C\r");

    // The first space after 80 or more counted characters breaks the line.
    const std::string line = std::string(79, 'x') + " a b c";
    MacWrite2Doc longer = styled(line, {}, {});
    EXPECT_EQ(read(longer.build()), std::string(79, 'x') + " a\nb c");
}

TEST(MacWrite2Reader, FootnotesMoveBehindTheirReferences) {
    MacWrite2Doc doc;
    const std::string main = "See\x05 it\x05.\r";
    const std::string notes = "\x03One\r\x03Two\r";
    const int main_block = doc.text_block(main);
    const int note_block = doc.text_block(notes);
    const int main_zone = doc.zone({{{main_block, static_cast<int>(main.size())}}, {}, {}});
    const int note_zone = doc.zone({{{note_block, static_cast<int>(notes.size())}}, {}, {}});
    doc.document({}, {}, {main_zone, note_zone});
    EXPECT_EQ(read(doc.build()), "See" + bytes({0x5C, 0xA2, 0, 1}) + "One\r\\\x7F it" + bytes({0x5C, 0xA2, 0, 2}) +
                                     "Two\r\\\x7F.\r");
    // The archive targets make them real notes, each note's text in its note.
    const std::string stream = test::run_entry(read_macwrite2, doc.build());
    const auto odt = test::read_zip(test::run_entry(write_odt, stream));
    const std::string& content = odt.find("content.xml")->data;
    EXPECT_NE(content.find("See<text:note text:id=\"ftn1\" text:note-class=\"footnote\"><text:note-citation>1"
                           "</text:note-citation><text:note-body><text:p text:style-name=\"Standard\">One</text:p>"
                           "</text:note-body></text:note> it<text:note text:id=\"ftn2\""),
              std::string::npos)
        << content;
    const auto docx = test::read_zip(test::run_entry(write_docx, stream));
    const std::string& document = docx.find("word/document.xml")->data;
    EXPECT_LT(document.find("<w:footnoteReference w:id=\"1\"/>"), document.find("<w:footnoteReference w:id=\"2\"/>"));
    const std::string& notes_xml = docx.find("word/footnotes.xml")->data;
    EXPECT_LT(notes_xml.find("<w:footnote w:id=\"1\">"), notes_xml.find("One"));
    EXPECT_LT(notes_xml.find("One"), notes_xml.find("<w:footnote w:id=\"2\">"));
    EXPECT_LT(notes_xml.find("<w:footnote w:id=\"2\">"), notes_xml.find("Two"));

    // A text zone after the footnotes is main text again, after the text
    // before them; the last note ends with its zone.
    MacWrite2Doc after;
    const std::string closing = "Closing words.\r";
    const int after_main = after.text_block(main);
    const int after_notes = after.text_block(notes);
    const int after_closing = after.text_block(closing);
    after.document({}, {}, {after.zone({{{after_main, static_cast<int>(main.size())}}, {}, {}}),
                            after.zone({{{after_notes, static_cast<int>(notes.size())}}, {}, {}}),
                            after.zone({{{after_closing, static_cast<int>(closing.size())}}, {}, {}})});
    EXPECT_EQ(read(after.build()), "See" + bytes({0x5C, 0xA2, 0, 1}) + "One\r\\\x7F it" + bytes({0x5C, 0xA2, 0, 2}) +
                                       "Two\r\\\x7F.\rClosing words.\r");

    // A reference inside a footnote text (a damaged file) is left out: the
    // note keeps all its text and is closed once.
    MacWrite2Doc nested;
    const std::string nested_notes = "\x03On\x05" "e\r\x03Two\r";
    const int nested_main = nested.text_block(main);
    const int nested_block = nested.text_block(nested_notes);
    nested.document({}, {}, {nested.zone({{{nested_main, static_cast<int>(main.size())}}, {}, {}}),
                             nested.zone({{{nested_block, static_cast<int>(nested_notes.size())}}, {}, {}})});
    EXPECT_EQ(read(nested.build()), "See" + bytes({0x5C, 0xA2, 0, 1}) + "One\r\\\x7F it" + bytes({0x5C, 0xA2, 0, 2}) +
                                        "Two\r\\\x7F.\r");

    // Without footnote texts a reference stays as it is.
    MacWrite2Doc plain = styled("a\x05" "b\r", {}, {});
    EXPECT_EQ(read(plain.build()), "a" + bytes({0x5C, 0xA2, 0, 0, 0x5C, 0x7F}) + "b\r");
}

TEST(MacWrite2Reader, ChainsThroughRunsOfBlocks) {
    // The zone's chain as a leading block and a run of four consecutive
    // blocks, and its text in 200 blocks of one character each: the
    // text-block list fills the leading block, the first block of the run
    // (behind its count word) and a whole block after it, so any byte read
    // from the wrong place changes the text.
    MacWrite2Doc doc;
    Zone z;
    std::string expected;
    for (int i = 0; i < 200; ++i) {
        const char c = static_cast<char>('a' + i % 26);
        z.text_blocks.push_back({doc.text_block(std::string(1, c)), 1});
        expected += c;
    }
    const std::string data = zone_chain_data(z);
    ASSERT_GT(data.size(), 254u + 254u + 256u);
    const int zone = doc.run_chain(data, 4);
    doc.document({}, {}, {zone});
    EXPECT_EQ(read(doc.build()), expected);
}

TEST(MacWrite2Reader, WrappingAndRefusals) {
    MacWrite2Doc doc = styled("Wrapped\r", {{0, 8}}, {{1, 8}});
    const std::string bare = doc.build();
    EXPECT_EQ(read(test::macbinary(bare, "MW2DMWII")), read(bare));
    int result = 0;
    std::string other = bare;
    other[1] = 'x';
    EXPECT_EQ(read(other, &result), "");
    EXPECT_EQ(result, -1);
    other[3] = 0x2E;  // either byte will do
    EXPECT_NE(read(other, &result), "");
    EXPECT_EQ(read("", &result), "");
    EXPECT_EQ(result, -2);
}

// Damaged files: each must end, read nothing from outside the file, and
// keep what can be read.
TEST(MacWrite2Reader, DamagedChainsEnd) {
    auto damaged = [](int link, int run_count) {
        MacWrite2Doc doc;
        const int block = doc.text_block("kept\r");
        const int zone = doc.zone({{{block, 5}}, {}, {}});
        const int spare = doc.add_block("");  // what the damaged link points at
        doc.block(spare).replace(0, 2, be16(run_count));
        doc.document({}, {}, {zone}, link == 0 ? -spare : link);
        return doc;
    };
    const struct {
        const char* what;
        int link;
        int run_count;
    } cases[] = {
        {"a link to its own block", 3, 0},
        {"a link back to an earlier block", 1, 0},
        {"a link outside the file", 999, 0},
        {"a run longer than the file", 0, 1000},
        {"a run of one block", 0, 1},
        {"a run of no blocks", 0, 0},
        {"a run that starts outside the file", -99, 0},
    };
    for (const auto& c : cases) {
        MacWrite2Doc doc = damaged(c.link, c.run_count);
        int result = 9;
        EXPECT_EQ(read(doc.build(), &result), "kept\r") << c.what;
        EXPECT_EQ(result, 0) << c.what;
    }

    // A chain that runs in a circle through two blocks.
    MacWrite2Doc circle;
    const int a = circle.add_block(std::string(254, '\0') + be16(5));
    const int b = circle.add_block(std::string(254, '\0') + be16(4));
    ASSERT_EQ(a, 4);
    ASSERT_EQ(b, 5);
    circle.document({}, {}, {a});
    EXPECT_EQ(read(circle.build()), "");
}

TEST(MacWrite2Reader, StyleIndexesOutsideTheirTablesGivePlainLeftText) {
    MacWrite2Doc doc = styled("a\rb\r", {{0, 2}, {7, 2}}, {{1, 2}, {-3, 2}});
    EXPECT_EQ(read(doc.build()), bytes({0x5C, 0x90, 0xF6, 0xF4, 0x5C, 0x23, 0x5C, 0x2B, 'a', 0x5C, 0x24, 0x5C,
                                        0x2C, 0x0D, 'b', 0x0D}));
}

// The bundled sample of the format, made here: a centred bold title and
// a paragraph of plain text.
TEST(MacWrite2Reader, TheBundledSampleIsMadeHere) {
    const std::string title = "Report on the rescued disks\r";
    const std::string body = "The boxes held 214 documents; all but two open again, accents and all: d\x8E" "j\x88 vu.\r";
    MacWrite2Doc doc;
    const int block = doc.text_block(title + body);
    const int zone = doc.zone({{{block, static_cast<int>(title.size() + body.size())}},
                               {{1, static_cast<long>(title.size())}, {0, static_cast<long>(body.size())}},
                               {{1, static_cast<long>(title.size())}, {0, static_cast<long>(body.size())}}});
    doc.document({{20, 12, 0x00}, {20, 14, 0x01}}, {0, 1}, {zone});
    const std::string file = doc.build();
    test::expect_sample("MacWrite II report", file, read_macwrite2);
    EXPECT_NE(read(file).find("all but two"), std::string::npos);
}

}  // namespace
}  // namespace verbatra

namespace verbatra {
namespace {

// A document cut short says so: a block of its chains lies past the end.
TEST(MacWrite2Reader, CutShortIsDamage) {
    const std::string whole = styled("Bold\rPlain\r", {{0, 5}}, {{1, 5}}).build();
    EXPECT_EQ(test::damage_noted(read_macwrite2, whole), "");
    for (std::size_t n : {whole.size() / 2, whole.size() - 256}) {
        int result = 9;
        const std::string damage = test::damage_noted(read_macwrite2, whole.substr(0, n), &result);
        EXPECT_EQ(result, 0) << n;
        EXPECT_NE(damage.find("file cut short"), std::string::npos) << n << ": " << damage;
    }
}

}  // namespace
}  // namespace verbatra
