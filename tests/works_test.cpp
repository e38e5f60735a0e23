// Works 2 and 3 documents built from the layout: the header (version word,
// a bounding box, the document kind, the record count) and records of
// text runs with style markers and alignment letters.
#include <gtest/gtest.h>

#include "readers/works.h"
#include "stream_builder.h"
#include "support.h"
#include "works_fixture.h"

namespace verbatra {
namespace {

using test::be16;
using test::bytes;
using test::StreamBuilder;

std::string works(int version, const std::vector<test::WorksRecord>& records, int kind = 1) {
    return test::works_document(version, records, kind);
}
std::string marker(int size, int flags) { return test::works_marker(size, flags); }

std::string read(const std::string& file, int* result = nullptr) {
    return test::without_font_names(test::read_fixture(read_works, "works", file, result));
}

TEST(WorksReader, Works2RunsStylesSizesAndAlignment) {
    const std::string file = works(8, {
        {0x80, "C"},
        {0x20, marker(14, 0x01) + "Hi" + marker(0, 0) + "\t\x8E\\"},
        {0x80, "F"},
        {0x00, marker(12, 0x22) + "up" + marker(200, 0x02) + "x\x10\x11"},
        {0x20, ""},
        {0x33, "skipped record"},
        {0x80, "?"},
        {0x80, ""},
    });
    const std::string expected = StreamBuilder()
                                     .code(0x2B)
                                     .code(0x90, {0xF6, 0xF2}).code(0x23).text("Hi").code(0x24).raw("\t").mac("\x8E")
                                     .text("\\").raw("\r")
                                     .code(0x2C).code(0x43)
                                     .code(0x90, {0xF2, 0xF4}).code(0x2F).code(0x29).text("up").code(0x2A).text("x")
                                     .raw("\r")
                                     .str();
    int result = 9;
    EXPECT_EQ(read(file, &result), expected);
    EXPECT_EQ(result, 0);
}

TEST(WorksReader, Works3StartsAtItsFirstAlignmentRecord) {
    // Records before the first 0x80 are not text; from there the count
    // runs, any record but 0x80 is text, and 0x08 is strike-through.
    const std::string file = works(9, {
        {0x01, "not text"},
        {0x80, "L"},
        {0x05, marker(0, 0x09) + "s" + marker(0, 0x10) + "t"},
        {0x20, "end"},
    });
    EXPECT_EQ(read(file), StreamBuilder().code(0x23).code(0x2D).text("s").code(0x24).code(0x2E).text("tend").raw("\r").str());
    // Without an alignment record there is no text.
    EXPECT_EQ(read(works(9, {{0x20, "lost"}})), "");
}

// As libmwaw reads them: a font marker is 0x01 and four bytes (font 23
// here, the Symbol font), and a field is its code, in Works 3 with two id
// bytes; neither leaves bytes in the text.
TEST(WorksReader, FontMarkersAndFields) {
    const std::string font = bytes({1, 0, 23, 12, 0});
    const std::string run = std::string("A") + font + "a" + bytes({0x14}) + "b";
    EXPECT_EQ(read(works(8, {{0x20, run}})),
              bytes({'A', 0x5C, 0x8F, 0, 3, 0x5C, 0x90, 0xF6, 0xF4, 0x5C, 0x20, 8, 1, 0x5C, 0x20, 8, 3, '\r'}));
    EXPECT_EQ(read(works(9, {{0x80, "L"}, {0x20, "Alpha" + bytes({0x14, 'i', 'd'}) + "Beta"}})), "AlphaBeta\r");
}

TEST(WorksReader, RunsNeverReadPastTheirRecord) {
    // A marker in the last bytes of a run is dropped; the next record is
    // read where it starts. The end of the file inside a run ends cleanly.
    const std::string file = works(8, {{0x20, "ab" + std::string("\x02\x00\x00", 3)}, {0x20, "cd"}});
    EXPECT_EQ(read(file), "ab\rcd\r");
    int result = 9;
    EXPECT_EQ(read(file.substr(0, file.size() - 1), &result), "ab\rc");
    EXPECT_EQ(result, 0);
    // More records counted than the file holds.
    std::string counted = works(8, {{0x20, "one"}});
    counted.replace(18, 2, be16(60000));
    EXPECT_EQ(read(counted), "one\r");
}

TEST(WorksReader, RefusesOtherDocuments) {
    struct Case {
        const char* what;
        std::string file;
    };
    std::string word = works(8, {{0x20, "x"}});
    std::string high = word;
    high[1] = 1;
    const Case cases[] = {
        {"version 7", works(7, {{0x20, "x"}})},
        {"a database", works(8, {{0x20, "x"}}, 2)},
        {"a spreadsheet", works(9, {{0x80, "L"}, {0x20, "x"}}, 3)},
        {"a version word beyond 255", high},
        {"a short header", word.substr(0, 20)},
    };
    for (const Case& c : cases) {
        int result = 9;
        EXPECT_EQ(read(c.file, &result), "") << c.what;
        EXPECT_EQ(result, -1) << c.what;
    }
    int result = 9;
    read("", &result);
    EXPECT_EQ(result, -2);
}

// The bundled samples of Works 2 and 3, made here: a centred bold title
// and a left-aligned paragraph.
TEST(WorksReader, TheBundledSamplesAreMadeHere) {
    const std::string works2 = works(8, {
        {0x80, "C"},
        {0x20, marker(14, 0x01) + "Works 2 memo" + marker(12, 0)},
        {0x80, "L"},
        {0x20, "To the archive team: the disks are dry and the labels legible."},
    });
    const std::string works3 = works(9, {
        {0x80, "C"},
        {0x20, marker(0, 0x01) + "Works 3 memo" + marker(0, 0)},
        {0x80, "L"},
        {0x20, "The second box holds the accounts of 1991, with their r\x8E" "sum\x8E" "s."},
    });
    test::expect_sample("Works 2 memo", works2, read_works);
    test::expect_sample("Works 3 memo", works3, read_works);
    EXPECT_NE(read(works2).find("labels legible"), std::string::npos);
    EXPECT_NE(read(works3).find("accounts of 1991"), std::string::npos);
}

}  // namespace
}  // namespace verbatra

namespace verbatra {
namespace {

// The header counts the records: a file that ends before them, or inside
// a text record, is damaged, and says where.
TEST(WorksReader, CutShortIsDamage) {
    for (int version : {8, 9}) {
        const std::string whole =
            test::works_document(version, {{0x80, "L"}, {0x20, "Hello world"}, {0x20, "Second paragraph"}});
        EXPECT_EQ(test::damage_noted(read_works, whole), "") << version;
        const std::size_t in_text = whole.find("paragraph");
        EXPECT_EQ(test::damage_noted(read_works, whole.substr(0, in_text)).rfind("text ends at byte ", 0), 0u) << version;
        const std::size_t between = whole.find("Second") - 6;
        EXPECT_EQ(test::damage_noted(read_works, whole.substr(0, between)),
                  "record 3 of 3 lies past the end of the file at byte " + std::to_string(between) + ": file cut short")
            << version;
    }
}

}  // namespace
}  // namespace verbatra
