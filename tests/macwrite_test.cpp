// MacWrite 4.5-5 documents assembled field by field, and the exact stream
// each must give.
#include <gtest/gtest.h>

#include "pipeline/driver.h"
#include "readers/macwrite.h"
#include "support.h"

namespace verbatra {
namespace {

using test::bytes;

using test::be16;
using test::be32;

struct Run {
    int position;
    int size;
    int style;
    int font;
};

// Paragraph data: the text length, the text (padded to even), the runs.
std::string text_data(const std::string& text, const std::vector<Run>& runs = {}) {
    std::string d = be16(static_cast<int>(text.size())) + text;
    if (text.size() & 1) d += '\0';
    d += be16(static_cast<int>(runs.size() * 6));
    for (const Run& r : runs) d += be16(r.position) + bytes({r.size & 0xFF, r.style}) + be16(r.font);
    return d;
}

// Nibble-compressed paragraph data for `text` (n = its length).
std::string compressed_data(const std::string& text, const std::vector<Run>& runs = {}) {
    static const std::string kChars = " etnroaisdlhcfp";
    std::vector<int> nibbles;
    for (unsigned char c : text) {
        std::size_t i = kChars.find(static_cast<char>(c));
        if (i != std::string::npos && c != 0) {
            nibbles.push_back(static_cast<int>(i));
        } else {
            nibbles.insert(nibbles.end(), {15, c >> 4, c & 15});
        }
    }
    if (nibbles.size() & 1) nibbles.push_back(0);
    std::string packed;
    for (std::size_t i = 0; i < nibbles.size(); i += 2) packed += static_cast<char>(nibbles[i] << 4 | nibbles[i + 1]);
    if (packed.size() & 1) packed += '\0';
    std::string d = be16(static_cast<int>(text.size())) + packed + be16(static_cast<int>(runs.size() * 6));
    for (const Run& r : runs) d += be16(r.position) + bytes({r.size & 0xFF, r.style}) + be16(r.font);
    return d;
}

std::string ruler_data(int left_margin, int justification, const std::vector<int>& tabs, int spacing = 0) {
    std::string d = be16(left_margin) + be16(0) + bytes({justification, static_cast<int>(tabs.size())}) +
                    be16(spacing) + be16(0);
    for (int t : tabs) d += be16(t);
    d.resize(34, '\0');
    return d;
}

struct Entry {
    int height;
    int status;
    long data;
    int word12 = 0;
};

// A document: data blobs behind the 512-byte header, and the entries of
// its three sections.
class MacWriteDoc {
public:
    // Puts the section arrays in `bytes` reserved right after the header,
    // ahead of everything added later.
    void reserve_for_arrays(int bytes) {
        reserved_ = bytes;
        body_.assign(static_cast<std::size_t>(bytes), '\0');
    }

    long add(const std::string& data) {
        long at = 512 + static_cast<long>(body_.size());
        body_ += data;
        if (body_.size() & 1) body_ += '\0';
        return at;
    }
    void text(std::vector<Entry>& section, const std::string& t, const std::vector<Run>& runs = {}, int status = 0) {
        section.push_back({1, status, add(text_data(t, runs))});
    }
    void ruler(std::vector<Entry>& section, int margin, int just, const std::vector<int>& tabs, int spacing = 0) {
        section.push_back({0, 0, add(ruler_data(margin, just, tabs, spacing))});
    }

    std::vector<Entry> main, header, footer;
    int version = 6;
    // Counts as written in the header; -1 means the real number of entries.
    int main_count = -1;

    std::string build() const {
        std::string file(512, '\0');
        file[1] = static_cast<char>(version);
        std::string body = body_;
        std::size_t reserved_used = 0;
        auto place = [&](const std::vector<Entry>& entries, int count_at, int record_at, int count) {
            std::string array;
            for (const Entry& e : entries) {
                array += be16(e.height) + std::string(6, '\0') + bytes({e.status}) +
                         bytes({static_cast<int>(e.data >> 16) & 0xFF, static_cast<int>(e.data >> 8) & 0xFF,
                                static_cast<int>(e.data & 0xFF)}) +
                         be16(e.word12) + be16(0);
            }
            long at;
            if (reserved_used + array.size() <= static_cast<std::size_t>(reserved_)) {
                at = 512 + static_cast<long>(reserved_used);
                body.replace(reserved_used, array.size(), array);
                reserved_used += array.size();
            } else {
                at = 512 + static_cast<long>(body.size());
                body += array;
            }
            file.replace(count_at, 2, be16(count < 0 ? static_cast<int>(entries.size()) : count));
            file.replace(record_at + 12, 4, be32(at));
            file.replace(record_at + 16, 2, be16(static_cast<int>(array.size())));
        };
        place(main, 2, 252, main_count);
        place(header, 4, 206, -1);
        place(footer, 6, 160, -1);
        return file + body;
    }

private:
    std::string body_;
    int reserved_ = 0;
};

const std::string kEmptyHeaderFooter = bytes({0x5C, 0x9E, 0, 0, 0x5C, 0x7F, 0x5C, 0xA1, 0, 0, 0x5C, 0x7F});

std::string read(const std::string& file, int* result = nullptr) {
    return test::without_font_names(test::read_fixture(read_macwrite, "macwrite", file, result));
}

TEST(MacWriteReader, Sections) {
    MacWriteDoc doc;
    doc.text(doc.header, "Head\r");
    doc.text(doc.footer, "Foot\r");
    doc.text(doc.main, "\r");  // a paragraph of its carriage return alone
    doc.text(doc.main, "Body\r");
    doc.main.push_back({-1, 0, 0, 22});  // page break
    doc.main.push_back({-1, 0, 0, 5});   // another break: nothing
    doc.text(doc.main, "End\r");
    int result = 9;
    EXPECT_EQ(read(doc.build(), &result),
              "\\\x9E" + bytes({0, 0}) + "\\SHead\r\\\x7F\\\xA1" + bytes({0, 0}) + "Foot\r\\\x7F" +
                  "\rBody\r\x0C" "End\r");
    EXPECT_EQ(result, 0);

    MacWriteDoc empty;
    EXPECT_EQ(read(empty.build()), kEmptyHeaderFooter);
}

// A picture paragraph: its frame, then the picture, written as hexadecimal
// with its frame's size and a paragraph end. MacWrite's own placeholder
// picture (526 bytes marked "MAGICPIC") is no picture; a picture past the
// end of the file is damage.
TEST(MacWriteReader, Pictures) {
    const std::string pict = be16(12) + be16(0) + be16(0) + be16(20) + be16(30) + bytes({0x11, 0x01});
    std::string magic(526, '\0');
    magic.replace(514, 8, "MAGICPIC");
    MacWriteDoc doc;
    doc.text(doc.main, "a\r");
    const std::string frame = be16(10) + be16(5) + be16(30) + be16(35);  // 20 high, 30 wide
    doc.main.push_back({-1, 0, doc.add(frame + pict), static_cast<int>(frame.size() + pict.size())});
    doc.main.push_back({-1, 0, doc.add(frame + magic), static_cast<int>(frame.size() + magic.size())});
    doc.text(doc.main, "b\r");
    Conversion conversion;
    EXPECT_EQ(test::without_font_names(test::run_entry(read_macwrite, doc.build(), nullptr, &conversion)),
              kEmptyHeaderFooter + "\\Sa\r" + bytes({0x5C, 0xC0, 1, 0, 0, 0, 0, 20, 0, 0, 0, 30}) +
                  "000C0000000000140" "01E1101\\\x7F\r" "b\r");
    EXPECT_EQ(conversion.pictures, 1);

    test::DamagedFixtures damaged;
    MacWriteDoc beyond;
    beyond.main.push_back({-1, 0, 0x7FFF00, 100});
    EXPECT_NE(test::damage_noted(read_macwrite, beyond.build()).find("a picture ends at byte "), std::string::npos);
}

// The record counts each picture as kept where the target holds it (RTF)
// and dropped where "[picture]" stands in its place.
TEST(MacWriteReader, EachTargetKeepsOrMarksThePicture) {
    const std::string frame = be16(0) + be16(0) + be16(20) + be16(30);
    const std::string pict = be16(12) + be16(0) + be16(0) + be16(20) + be16(30) + bytes({0x11, 0x01});
    MacWriteDoc doc;
    doc.main.push_back({-1, 0, doc.add(frame + pict), static_cast<int>(frame.size() + pict.size())});
    doc.text(doc.main, "after\r");
    const struct {
        const char* target;
        bool kept;
    } cases[] = {{"rtf-ansi", true}, {"rtf-dos", true}, {"word-dos", false}, {"word-win2", false},
                 {"wp5", false},     {"ansi", false},   {"dos", false}};
    for (const auto& c : cases) {
        test::TempDir dir;
        test::write_file(dir.file("DOC"), doc.build());
        const ConversionResult r = convert_file(dir.file("DOC"), format_named("macwrite", source_formats),
                                                format_named(c.target, target_formats));
        ASSERT_EQ(r.outcome, Outcome::Converted) << c.target;
        const std::string written = test::read_file(r.target_name);
        EXPECT_EQ(r.pictures_kept, c.kept ? 1 : 0) << c.target;
        EXPECT_EQ(r.pictures_dropped, c.kept ? 0 : 1) << c.target;
        EXPECT_EQ(written.find("\\macpict") != std::string::npos, c.kept) << c.target;
        EXPECT_EQ(written.find("[picture]") != std::string::npos, !c.kept) << c.target;
    }
    // Helper processes hand the counts back with the rest of the result.
    test::TempDir dir;
    for (const char* name : {"A", "B", "C", "D"}) test::write_file(dir.file(name), doc.build());
    std::string out, err;
    ASSERT_EQ(test::run_in(dir, "--from macwrite --to rtf-ansi -j 2 --report r.jsonl A B C D", &out, &err), 0) << err;
    EXPECT_EQ(test::count_of(test::read_file(dir.file("r.jsonl")), "\"pictures_kept\":1,\"pictures_dropped\":0"), 4);
}

// MacWrite 1.0 to 2.2 (file version 3): the header, print and window
// records, an 8-byte entry a paragraph, then each paragraph as its type,
// length and data, main text first, then header, then footer.
std::string version3(const std::vector<std::pair<int, std::string>> (&sections)[3]) {
    const std::size_t paragraphs = sections[0].size() + sections[1].size() + sections[2].size();
    std::string file = be16(3) + be16(static_cast<int>(242 + 8 * paragraphs));
    for (const auto& s : sections) file += be16(static_cast<int>(s.size()));
    file.resize(242 + 8 * paragraphs, '\0');
    for (const auto& s : sections) {
        for (const auto& [type, data] : s) file += be16(type) + be16(static_cast<int>(data.size())) + data;
    }
    return file;
}

TEST(MacWriteReader, Version3Documents) {
    // A centred ruler with a stop at one inch (column 10 at 10 points),
    // bold text, a page break, more text under a left ruler; a header and
    // a footer.
    const std::string file = version3({
        {{0, ruler_data(0, 1, {72})}, {1, text_data("Big\r", {{0, 10, 1, 3}})}, {2, ""},
         {0, ruler_data(0, 0, {})}, {1, text_data("end\r")}},
        {{1, text_data("Head\r")}},
        {{1, text_data("Foot\r")}},
    });
    int result = 9;
    EXPECT_EQ(read(file, &result), "\\\x9E" + bytes({0, 0}) + "\\SHead\r\\\x7F\\\xA1" + bytes({0, 0}) + "Foot\r\\\x7F" +
                                       bytes({0x5C, 0x80, 1, 10}) + "\\+\\#Big\\$\r\x0C" + bytes({0x5C, 0x81, 1, 10}) +
                                       "\\,end\r");
    EXPECT_EQ(result, 0);
    EXPECT_EQ(test::recognised_format(file), test::recognised_format(MacWriteDoc().build()));

    // Cut inside the last paragraph, the footer's: what came before
    // converts, and the file is damaged.
    test::DamagedFixtures damaged;
    const std::string cut = file.substr(0, file.size() - 3);
    EXPECT_NE(read(cut).find("end"), std::string::npos);
    EXPECT_EQ(read(cut).find("Foot"), std::string::npos);
    EXPECT_NE(test::damage_noted(read_macwrite, cut).find("a paragraph ends at byte "), std::string::npos)
        << test::damage_noted(read_macwrite, cut);
}

TEST(MacWriteReader, RefusesOtherVersionsAndEmptyFiles) {
    MacWriteDoc doc;
    doc.version = 4;
    doc.text(doc.main, "other\r");
    int result = 0;
    EXPECT_EQ(read(doc.build(), &result), "");
    EXPECT_EQ(result, -1);
    EXPECT_EQ(read("", &result), "");
    EXPECT_EQ(result, -2);
    EXPECT_EQ(read("x", &result), "");
    EXPECT_EQ(result, -1);
}

TEST(MacWriteReader, MacBinaryGivesTheStreamOfTheDataFork) {
    MacWriteDoc doc;
    doc.text(doc.main, "Wrapped text\r");
    const std::string bare = doc.build();
    EXPECT_EQ(read(test::macbinary(bare, "WORDMACA")), read(bare));
    // Any other type and creator: the MacBinary header is taken as data.
    int result = 0;
    read(test::macbinary(bare, "TEXTttxt"), &result);
    EXPECT_EQ(result, -1);
}

TEST(MacWriteReader, RulersSetMarginsSpacingAndTabs) {
    MacWriteDoc doc;
    // Left margin 72 points = column 12 at 10 points; tabs at 144 (column
    // 8), decimal at 216 (column 18), and one at the margin (not set).
    doc.ruler(doc.main, 72, 0, {144, 0x8000 | 216, 72}, 2);
    doc.ruler(doc.main, 72, 0, {144, 0x8000 | 216, 72}, 2);  // the same again: nothing
    doc.ruler(doc.main, 72, 1, {144 | 0x8000}, 0);           // 8 changes kind, 24 goes
    doc.text(doc.main, "x\r");
    EXPECT_EQ(read(doc.build()), kEmptyHeaderFooter + bytes({0x5C, 0x96, 8, 16,    // line spacing 16
                                                             0x5C, 0x80, 1, 8,     // left tab
                                                             0x5C, 0x80, 4, 18,    // decimal tab
                                                             0x5C, 0x96, 16, 8,    // single again
                                                             0x5C, 0x81, 1, 8, 0x5C, 0x80, 4, 8,
                                                             0x5C, 0x81, 4, 18,    // gone
                                                             0x5C, 0x2B}) +        // centred from the ruler
                                     "x\r");
}

TEST(MacWriteReader, FormatRunsFontsAndStyles) {
    MacWriteDoc doc;
    doc.text(doc.main, "ab\\ab\r",
             {{0, 12, 0x01 | 0x02, 3}, {2, 0, 0x01, 3}, {3, 0, 0x00, 23}, {5, 0, 0x40, 3}}, 0x40 | 3);
    EXPECT_EQ(read(doc.build()),
              kEmptyHeaderFooter +
                  bytes({0x5C, 0x43,                          // justified, from the status byte
                         0x5C, 0x90, 0xF6, 0xF4,              // 12 points
                         0x5C, 0x23, 0x5C, 0x2F, 'a', 'b',    // bold, italic
                         0x5C, 0x30,                          // italic off
                         0x5C, 0x5C,                          // the backslash
                         0x5C, 0x8F, 0, 3, 0x5C, 0x24,        // Symbol font; styles off
                         0x5C, 0x20, 8, 0x01, 0x5C, 0x20, 8, 0x03,  // alpha, beta
                         0x5C, 0x8F, 3, 0, 0x5C, 0x27,        // back to the Macintosh table; subscript
                         0x5C, 0x28, 0x0D}));                 // styles off before the paragraph end
}

TEST(MacWriteReader, CompressedText) {
    MacWriteDoc doc;
    doc.main.push_back({1, 0x08, doc.add(compressed_data("the\r"))});
    doc.main.push_back({1, 0x08, doc.add(compressed_data("Tax \x8E\\\r", {{1, 0, 0x04, 3}}))});
    EXPECT_EQ(compressed_data("the").substr(2, 2), bytes({0x2B, 0x10}));  // nibbles 2, 11, 1
    EXPECT_EQ(read(doc.build()),
              kEmptyHeaderFooter + "\\Sthe\rT\\%ax " + bytes({0x5C, 0x20, 1, 0x29}) + "\\\\\\&\r");
}

TEST(MacWriteReader, DamagedFilesAreReadOnlyWhereTheyHoldData) {
    test::DamagedFixtures damaged;
    MacWriteDoc doc;
    doc.text(doc.main, "kept\r");
    doc.main.push_back({0, 0, 0x7FFFF0});  // a ruler far beyond the end
    doc.main.push_back({1, 0, 0x7FFFF0});  // a paragraph beyond the end
    doc.text(doc.main, "last\r");
    doc.main_count = 500;  // more entries than the array holds
    const std::string file = doc.build();
    int result = 9;
    EXPECT_EQ(read(file, &result), kEmptyHeaderFooter + "\\Skept\rlast\r");
    EXPECT_EQ(result, 0);

    // The main array itself beyond the end of the file: the section is skipped.
    std::string beyond = file;
    beyond.replace(252 + 12, 4, be32(0x00FFFFFF));
    EXPECT_EQ(read(beyond), kEmptyHeaderFooter);

    // The arrays first, the paragraphs behind them, and the file cut inside
    // the last paragraph: that paragraph converts as far as the file goes,
    // never from garbage, and the file is damaged.
    MacWriteDoc cut;
    cut.reserve_for_arrays(64);
    cut.text(cut.main, "ok\r");
    cut.text(cut.main, "this text is cut short\r");
    const std::string whole = cut.build();
    EXPECT_EQ(read(whole), kEmptyHeaderFooter + "\\Sok\rthis text is cut short\r");
    EXPECT_EQ(read(whole.substr(0, whole.size() - 8)), kEmptyHeaderFooter + "\\Sok\rthis text is cut s");
    EXPECT_EQ(test::damage_noted(read_macwrite, whole.substr(0, whole.size() - 8)).rfind("text ends at byte ", 0), 0u);
    EXPECT_EQ(test::damage_noted(read_macwrite, whole), "");

    // Entries that name the same paragraph again, or text inside another
    // paragraph: each byte of the file is converted once, so a small
    // damaged file cannot give a huge stream (found by fuzzing).
    MacWriteDoc repeated;
    repeated.text(repeated.main, "once\r");
    const long data = repeated.main.back().data;
    for (int i = 0; i < 3; ++i) repeated.main.push_back({1, 0, data});
    repeated.main.push_back({1, 0, data + 2});  // inside "once"
    repeated.text(repeated.main, "then\r");
    EXPECT_EQ(read(repeated.build()), kEmptyHeaderFooter + "\\Sonce\rthen\r");
}

// The bundled sample of the format, made here: a header, an accented
// name, a bold word and an italic line.
TEST(MacWriteReader, TheBundledSampleIsMadeHere) {
    MacWriteDoc doc;
    doc.text(doc.header, "Rescued from a MacWrite 4.6 disk\r");
    doc.text(doc.main, "Dear Ren\x8E,\r", {{0, 12, 0, 20}});
    doc.text(doc.main, "The caf\x8E letters are safe: every page, every accent.\r",
             {{0, 12, 0, 20}, {4, 12, 1, 20}, {8, 12, 0, 20}});
    doc.text(doc.main, "Yours, Fran\x8D" "oise\r", {{0, 12, 2, 20}});
    const std::string file = doc.build();
    test::expect_sample("MacWrite 4.6 letter", file, read_macwrite);
    EXPECT_NE(read(file).find("letters are safe"), std::string::npos);
}

}  // namespace
}  // namespace verbatra
