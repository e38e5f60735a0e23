// ClarisWorks documents built from the layout: a header with the version,
// "BOBO" and the document kind, text zones ("DSET") with their areas,
// style runs, tokens and text chunks, and a font table for versions 4-6.
#include <gtest/gtest.h>

#include "readers/clarisworks.h"
#include "stream_builder.h"
#include "support.h"
#include "target_checks.h"
#include "writers/docx.h"
#include "writers/odt.h"

namespace verbatra {
namespace {

using test::be16;
using test::be32;
using test::bytes;

constexpr std::size_t kKindOffset[7] = {0, 242, 248, 248, 256, 268, 278};

struct StyleRun {
    long position;
    int font;
    int flags;  // style bits, 0x100 superscript, 0x200 subscript
    int size;
};

struct Zone {
    int id;
    int file_type = 1;  // 1: text
    std::vector<StyleRun> runs;
    std::vector<std::pair<long, int>> notes;  // footnote tokens: position, zone id
    std::vector<std::string> chunks;
    std::vector<std::pair<long, int>> paragraphs = {};  // position, ruler (or style) number
};

struct Ruler {
    int alignment;  // 0 left, 1 centre, 2 right, 3 justified
    int spacing;    // the spacing field: half lines past single
    std::vector<std::pair<int, int>> tabs = {};  // position in points, kind 0-3
};

class CwDoc {
public:
    explicit CwDoc(int version) : version_(version) {}
    CwDoc& zone(const Zone& z) {
        zones_.push_back(z);
        return *this;
    }
    CwDoc& fonts(const std::vector<std::string>& names) {
        fonts_ = names;
        return *this;
    }
    CwDoc& rulers(const std::vector<Ruler>& r) {
        rulers_ = r;
        return *this;
    }
    // The sixteen fixed bytes that end a whole document from version 4 on.
    CwDoc& closed() {
        closed_ = true;
        return *this;
    }
    std::string build() const {
        std::string f(kKindOffset[version_] + 2, '\0');
        f[0] = static_cast<char>(version_);
        f.replace(4, 4, "BOBO");
        f[kKindOffset[version_]] = 1;  // word processing
        const std::size_t ruler_size = version_ == 1 ? 92 : version_ <= 3 ? 96 : 108;
        std::string rulers;
        for (const Ruler& r : rulers_) rulers += ruler(r, ruler_size);
        if (!rulers_.empty() && version_ <= 2) {
            // The header's list, before the text zones.
            f += be32(static_cast<long>(12 + rulers.size())) + be16(static_cast<int>(rulers_.size())) + be16(0) +
                 be16(0) + be16(static_cast<int>(ruler_size)) + be16(0) + be16(0) + rulers;
        }
        for (const Zone& z : zones_) f += dset(z);
        if (!rulers_.empty() && version_ >= 3) {
            // Paragraph number i is look-up entry i, style 2i, whose ruler is i.
            std::string lookup, styles(rulers_.size() * 2 * 30, '\0');
            for (std::size_t i = 0; i < rulers_.size(); ++i) {
                lookup += be16(static_cast<int>(2 * i));
                styles.replace(2 * i * 30 + 24, 2, be16(static_cast<int>(i)));
            }
            f += list("RULR", rulers_.size(), ruler_size, rulers) + list("LKUP", rulers_.size(), 2, lookup) +
                 list("STYL", rulers_.size() * 2, 30, styles);
        }
        if (!fonts_.empty()) {
            std::string records;
            for (const std::string& name : fonts_) {
                std::string r = be16(21) + be16(2) + static_cast<char>(name.size()) + name;
                r.resize(68, '\0');
                records += r;
            }
            f += be32(static_cast<long>(16 + records.size())) + be16(static_cast<int>(fonts_.size())) + be16(-1) +
                 be16(0) + be16(68) + be16(4) + be16(2) + "FNTM" + records;
        }
        if (closed_) f += bytes({0xFF, 0xFE, 0xFD, 0xFC, 0xFB, 0xFA, 0xF9, 0xF8, 0xF0, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7});
        return f;
    }

private:
    static std::string area(const std::string& content) { return be32(static_cast<long>(content.size())) + content; }

    static std::string list(const char* name, std::size_t count, std::size_t record, const std::string& records) {
        return be32(static_cast<long>(16 + records.size())) + be16(static_cast<int>(count)) + be16(-1) + be16(0) +
               be16(static_cast<int>(record)) + be16(0) + be16(0) + name + records;
    }

    std::string ruler(const Ruler& r, std::size_t size) const {
        std::string rec(version_ >= 4 ? 12 : 0, '\0');
        const int word = (r.alignment << (version_ == 6 ? 13 : 14)) | (version_ == 1 ? r.spacing : r.spacing << 3);
        rec += be16(1) + be16(word) + std::string(6, '\0') + std::string(version_ >= 2 ? 4 : 0, '\0') + '\0' +
               static_cast<char>(r.tabs.size());
        for (const auto& [position, kind] : r.tabs) {
            const int bits = version_ == 1 ? kind : version_ == 6 ? kind << 5 : kind << 6;
            rec += be16(position) + static_cast<char>(bits) + '.';
        }
        rec.resize(size, '\0');
        return rec;
    }

    std::string dset(const Zone& z) const {
        // Area a holds what is read at marker +20 (the file type) and +22
        // (the zone id): its length word is at +4, its bytes from +8.
        std::string a(12, '\0');
        a += static_cast<char>(z.file_type);
        a += '\0';
        a += be16(z.id);
        a += std::string(4, '\0');
        std::string runs;
        const std::size_t run_size = version_ >= 6 ? 18 : version_ >= 4 ? 12 : 10;
        for (const StyleRun& r : z.runs) {
            std::string rec = be32(r.position) + be16(r.font) + be16(r.flags) + static_cast<char>(r.size) + '\x01';
            rec.resize(run_size, '\0');
            runs += rec;
        }
        std::string tokens;
        const std::size_t token_size = version_ >= 6 ? 36 : 32;
        for (const auto& [position, id] : z.notes) {
            std::string t = be32(position) + be16(0) + be16(0) + be16(id);
            t.resize(token_size, '\0');
            tokens += t;
        }
        std::string text;
        for (const std::string& c : z.chunks) text += area(c);
        std::string paragraphs;
        for (const auto& [position, number] : z.paragraphs) {
            paragraphs += be32(position) + be16(number) + (version_ == 1 ? "" : be16(0));
        }
        return "DSET" + area(a) + area(paragraphs) + area(runs) + area(tokens) + area("e") + text + be32(0);
    }

    int version_;
    std::vector<Zone> zones_;
    std::vector<std::string> fonts_;
    std::vector<Ruler> rulers_;
    bool closed_ = false;
};

std::string read(const std::string& file, int* result = nullptr) {
    return test::without_font_names(test::read_fixture(read_clarisworks, "clarisworks", file, result));
}

TEST(ClarisWorksReader, TextBytes) {
    // Page breaks (1 and 11), a line end, tab, paragraph end, page number
    // (6), a dropped 7, a non-breaking space, a backslash and an accent;
    // a 0 in the second chunk ends the text.
    CwDoc doc(1);
    doc.zone({1, 1, {}, {}, {"a\x01" "b\x0B" "c\nd\te\r\x06\x07\xCA" "f\\\x8E", std::string("g\0hidden", 8)}});
    int result = 9;
    EXPECT_EQ(read(doc.build(), &result), "a\x0C" "b\x0C" "c\nd\te\r\\3\\4f\\\\\\ \x01\x29g");
    EXPECT_EQ(result, 0);
}

TEST(ClarisWorksReader, StyleRunsOfEachVersion) {
    using test::StreamBuilder;
    // Bold from 2, italic and 14 points from 4, plain from 6; the runs of
    // 4 and 6 stand in the second chunk.
    const std::vector<StyleRun> runs = {{0, 3, 0, 12}, {2, 3, 1, 0}, {4, 3, 2, 14}, {6, 3, 0, 0}};
    const std::string expected = StreamBuilder()
                                     .code(0x90, {0, 0xF4}).text("ab").code(0x23).text("cd").code(0x90, {0xF4, 0xF2})
                                     .code(0x24).code(0x2F).text("ef").code(0x30).text("g")
                                     .str();
    for (int version : {1, 2, 4, 5, 6}) {
        CwDoc doc(version);
        if (version >= 4) doc.fonts({"Geneva", "Geneva", "Geneva", "Geneva"});
        doc.zone({1, 1, runs, {}, {"abc", "defg"}});
        EXPECT_EQ(read(doc.build()), expected) << "version " << version;
    }
}

TEST(ClarisWorksReader, RunsAtOnePositionOrBehindTheTextAllTakeEffect) {
    CwDoc doc(5);
    doc.fonts({"Geneva"});
    // Two runs at 1 (the second counts), then one at 0 behind the text.
    doc.zone({1, 1, {{1, 0, 1, 0}, {1, 0, 2, 0}, {0, 0, 4, 0}, {3, 0, 0, 0}}, {}, {"abcd"}});
    EXPECT_EQ(read(doc.build()), "a\\#\\$\\/\\0\\%bc\\&d");
}

TEST(ClarisWorksReader, VerticalPositionsTakeTurns) {
    CwDoc doc(1);
    doc.zone({1, 1, {{0, 3, 0x200, 0}, {1, 3, 0x100, 0}, {2, 3, 0, 0}}, {}, {"abc"}});
    EXPECT_EQ(read(doc.build()), "\\'a\\(\\)b\\*c");
}

TEST(ClarisWorksReader, FontsByNumberOrByTheFontTable) {
    // Version 1: the number itself (23 Symbol, then 279, which is not 23).
    CwDoc v1(1);
    v1.zone({1, 1, {{0, 23, 0, 0}, {1, 279, 0, 0}}, {}, {"aa"}});
    EXPECT_EQ(read(v1.build()), bytes({0x5C, 0x8F, 0, 3, 0x5C, 0x20, 8, 1, 0x5C, 0x8F, 3, 0}) + "a");
    // Version 5: an index into the font table; one past its end is plain.
    CwDoc v5(5);
    v5.fonts({"Helvetica", "Symbol"});
    v5.zone({1, 1, {{0, 1, 0, 0}, {1, 0, 0, 0}, {2, 23, 0, 0}}, {}, {"aaa"}});
    EXPECT_EQ(read(v5.build()), bytes({0x5C, 0x8F, 0, 3, 0x5C, 0x20, 8, 1, 0x5C, 0x8F, 3, 2}) + "a" +
                                    bytes({0x5C, 0x8F, 2, 0}) + "a");

    // Each run's font is named: as the font table names it (an unknown
    // name too), or by its number.
    CwDoc named(5);
    named.fonts({"Arial", "Mystery Sans"});
    named.zone({1, 1, {{0, 0, 0, 0}, {1, 1, 0, 0}}, {}, {"ab"}});
    EXPECT_EQ(test::read_fixture(read_clarisworks, "clarisworks", named.build()),
              bytes({0x5C, 0x8F, 0, 2, 0x5C, 0xC1, 5}) + "Arial" + "a" + bytes({0x5C, 0x8F, 2, 0, 0x5C, 0xC1, 12}) +
                  "Mystery Sans" + "b");
    CwDoc numbered(1);
    numbered.zone({1, 1, {{0, 22, 0, 0}, {1, 500, 0, 0}}, {}, {"ab"}});
    EXPECT_EQ(test::read_fixture(read_clarisworks, "clarisworks", numbered.build()),
              bytes({0x5C, 0xC1, 7}) + "Courier" + "a" + bytes({0x5C, 0xC1, 0}) + "b");
}

// Each paragraph takes its ruler's alignment, line spacing and tab stops:
// from the header's list up to version 2, through its style later.
TEST(ClarisWorksReader, ParagraphsTakeTheirRulers) {
    using test::StreamBuilder;
    // Centred with a centre stop at one inch (column 10 at 10 points) and
    // a decimal one at two; then justified in one and a half lines, the
    // stops cleared; then a number no ruler has: left, single, no stops.
    const std::vector<Ruler> rulers = {{1, 0, {{72, 1}, {144, 3}}}, {3, 1}};
    const std::string expected = StreamBuilder()
                                     .code(0x2B).code(0x80, {2, 10}).code(0x80, {4, 20}).text("ab").para()
                                     .code(0x2C).code(0x43).code(0x96, {8, 12}).code(0x81, {2, 10}).code(0x81, {4, 20})
                                     .text("cd").para()
                                     .code(0x44).code(0x53).code(0x96, {12, 8}).text("e")
                                     .str();
    for (int version : {1, 2, 4, 5, 6}) {
        CwDoc doc(version);
        doc.rulers(rulers);
        Zone z{1, 1, {}, {}, {"ab\rcd\re"}};
        z.paragraphs = {{0, 0}, {3, 1}, {6, 7}};
        doc.zone(z);
        EXPECT_EQ(read(doc.build()), expected) << "version " << version;
    }
}

TEST(ClarisWorksReader, FootnotesFromTheZonesTheirTokensName) {
    using test::StreamBuilder;
    // Main text bold throughout, with two references; between the zones a
    // zone that is not text, as real files have; the second note's zone is
    // missing.
    CwDoc doc(5);
    doc.fonts({"Geneva"});
    doc.zone({1, 1, {{0, 0, 1, 0}}, {{3, 7}, {7, 9}}, {"See\x02 it\x02."}});
    doc.zone({2, 0, {}, {}, {"not text"}});
    doc.zone({7, 1, {{0, 0, 2, 0}}, {{0, 1}}, {"Note \x02one\r"}});
    const std::string expected = StreamBuilder()
                                     .code(0x23).text("See")
                                     .code(0xA2, {0, 1}).code(0x24).code(0x2F).text("Note one\r").code(0x7F)
                                     .code(0x30).code(0x23).text(" it")
                                     .code(0xA2, {0, 2}).code(0x7F).text(".")
                                     .str();
    EXPECT_EQ(read(doc.build()), expected);
    // The archive targets make the note a real one, its text in it; the
    // note whose zone is missing is an empty note.
    const std::string stream = test::run_entry(read_clarisworks, doc.build());
    const std::string content = test::read_zip(test::run_entry(write_odt, stream)).find("content.xml")->data;
    EXPECT_EQ(test::count_of(content, "<text:note "), 2);
    const std::size_t body = content.find("<text:note-body>");
    EXPECT_LT(body, content.find("Note one"));
    EXPECT_LT(content.find("Note one"), content.find("</text:note-body>"));
    const auto docx = test::read_zip(test::run_entry(write_docx, stream));
    EXPECT_EQ(test::count_of(docx.find("word/document.xml")->data, "<w:footnoteReference "), 2);
    EXPECT_NE(docx.find("word/footnotes.xml")->data.find("Note one"), std::string::npos);
}

TEST(ClarisWorksReader, NoteNumbersPastOneByteAreNoneButStayFootnotes) {
    // The first argument of a note is its kind: a 256th note must not turn
    // into another kind of note.
    CwDoc doc(5);
    doc.fonts({"Geneva"});
    Zone main{1, 1, {}, {}, {std::string(300, '\x02')}};
    for (long i = 0; i < 300; ++i) main.notes.push_back({i, 9});
    doc.zone(main);
    const std::string stream = read(doc.build());
    EXPECT_NE(stream.find(bytes({0x5C, 0xA2, 0, 255, 0x5C, 0x7F, 0x5C, 0xA2, 0, 0, 0x5C, 0x7F})), std::string::npos);
    std::size_t notes = 0;
    for (std::size_t at = stream.find("\\\xA2"); at != std::string::npos; at = stream.find("\\\xA2", at + 1)) {
        EXPECT_EQ(stream[at + 2], 0) << "note " << notes + 1;
        ++notes;
    }
    EXPECT_EQ(notes, 300u);
}

TEST(ClarisWorksReader, RefusesWhatIsNotAWordProcessingDocument) {
    CwDoc good(5);
    good.fonts({"Geneva"});
    good.zone({1, 1, {}, {}, {"text"}});
    const std::string file = good.build();
    struct Case {
        const char* what;
        std::string file;
    };
    std::string version7 = file, no_bobo = file, spreadsheet = file;
    version7[0] = 7;
    no_bobo[5] = 'X';
    spreadsheet[kKindOffset[5]] = 2;
    CwDoc drawing(5);
    drawing.zone({1, 0, {}, {}, {"not text"}});
    const Case cases[] = {
        {"version 7", version7}, {"no BOBO", no_bobo}, {"a spreadsheet", spreadsheet},
        {"a first zone that is not text", drawing.build()},
    };
    for (const Case& c : cases) {
        int result = 9;
        EXPECT_EQ(read(c.file, &result), "") << c.what;
        EXPECT_EQ(result, -1) << c.what;
    }
    // A word-processing header with no zone after it is a document cut
    // short: nothing to convert, and damaged.
    {
        test::DamagedFixtures damaged;
        int none = 9;
        const std::string header_only = file.substr(0, file.find("DSET"));
        EXPECT_EQ(test::damage_noted(read_clarisworks, header_only, &none).rfind("no text zone before the end", 0), 0u);
        EXPECT_EQ(none, 0);
    }
    int result = 9;
    read("", &result);
    EXPECT_EQ(result, -2);
    // MacBinary with no data fork is no document (found by fuzzing).
    EXPECT_EQ(read(test::macbinary("", "CWWPBOBO"), &result), "");
    EXPECT_EQ(result, -1);
    // MacBinary with type and creator CWWPBOBO: the data fork, as if bare.
    EXPECT_EQ(read(test::macbinary(file, "CWWPBOBO"), &result), "text");
    EXPECT_EQ(result, 0);
}

TEST(ClarisWorksReader, DamagedLengthsEndTheTextInsideTheFile) {
    CwDoc doc(1);
    doc.zone({1, 1, {{0, 3, 1, 0}}, {}, {"abcdef"}});
    const std::string file = doc.build();
    // Cut inside the last chunk, then a chunk length far beyond the end.
    const std::size_t chunk = file.find("abcdef");
    std::string cut = file.substr(0, chunk + 3);
    EXPECT_EQ(read(cut), "\\#abc");
    std::string huge = file;
    huge.replace(chunk - 4, 4, be32(0x7FFFFFF0));
    EXPECT_EQ(read(huge), "\\#abcdef");
    // An area length beyond the end: no text, but a document.
    std::string area = file;
    area.replace(file.find("DSET") + 4, 4, be32(0x7FFFFFF0));
    int result = 9;
    EXPECT_EQ(read(area, &result), "");
}

// The bundled sample of the format, made here: a bold title and a
// paragraph with a footnote.
TEST(ClarisWorksReader, TheBundledSampleIsMadeHere) {
    const std::string text = "ClarisWorks notes\rThe catalogue\x02 lists every disk by its label.\r";
    CwDoc doc(5);
    doc.fonts({"Times"});
    doc.zone({1, 1, {{0, 0, 1, 14}, {18, 0, 0, 12}}, {{static_cast<long>(text.find('\x02')), 7}}, {text}});
    doc.zone({7, 1, {{0, 0, 0, 10}}, {}, {"\x02" "Found in box 3, in pencil.\r"}});
    const std::string file = doc.closed().build();
    test::expect_sample("ClarisWorks notes", file, read_clarisworks);
    const std::string stream = read(file);
    EXPECT_NE(stream.find("Found in box 3"), std::string::npos);
    EXPECT_NE(stream.find("\\\xA2"), std::string::npos) << "the footnote";
}

}  // namespace
}  // namespace verbatra
