// RagTime 2 and 3 documents built from the layouts (page and frame chains,
// the typed frame table, text blocks with their records, the character
// style table), and the real RagTime 3.2 document of the corpus.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "pipeline/driver.h"
#include "readers/ragtime.h"
#include "stream/dump.h"
#include "support.h"

namespace verbatra {
namespace {

namespace fs = std::filesystem;
using test::be16;
using test::be32;
using test::bytes;

// The stream in the readable form of --dump-stream.
std::string dumped(const std::string& stream) {
    test::Source source(stream);
    std::FILE* out = std::tmpfile();
    dump_stream(source.in(), out);
    std::string text(static_cast<std::size_t>(std::ftell(out)), '\0');
    std::rewind(out);
    text.resize(std::fread(text.data(), 1, text.size(), out));
    std::fclose(out);
    return text;
}

void put_at(std::string& file, std::size_t at, const std::string& value) {
    if (file.size() < at + value.size()) file.resize(at + value.size(), '\0');
    file.replace(at, value.size(), value);
}

// ---- RagTime 3 ----

struct Attr3 {
    int position, style, shift = 0;
};
struct Block3 {
    std::string text;  // after the byte that precedes it
    std::vector<Attr3> attrs;
    std::vector<int> alignments;
    std::vector<std::string> tokens;  // each token's data, without its length
};

std::string block3(const Block3& b) {
    const int count = static_cast<int>(b.text.size()) + 1;
    std::string s = be16(0) + be16(count) + '\0' + b.text;
    if (count % 2) s += '\0';
    s += be16(static_cast<int>(b.attrs.size()));
    for (const Attr3& a : b.attrs) {
        s += be16(a.position) + be16(a.style) + bytes({0, 0, a.shift, 0}) + be16(0);
    }
    s += be16(static_cast<int>(b.alignments.size()));
    for (int align : b.alignments) {
        std::string record(48, '\0');
        record[6] = static_cast<char>(align);
        s += record;
    }
    std::string tokens;
    for (const std::string& t : b.tokens) tokens += be16(static_cast<int>(t.size()) + 2) + t;
    s += be16(0) + be16(static_cast<int>(tokens.size())) + tokens;
    put_at(s, 0, be16(static_cast<int>(s.size()) - 2));
    return s;
}

struct Style3 {
    int font, size, flags;
};
struct Frame3 {
    int type;
    std::string block;  // empty: the offset given below
    long offset = 0;
};

// A RagTime 3 document: the header (page width 612, version byte 1), the
// frame table, the resource map with the font list and character styles
// (when `styles` is not empty), then each frame's data.
std::string ragtime3(const std::vector<Frame3>& frames, const std::vector<Style3>& styles = {},
                     const std::vector<int>& fonts = {}) {
    const std::size_t table_end = 204 + 54 * frames.size();
    std::string file(table_end, '\0');
    put_at(file, 4, be16(612));
    file[46] = 1;
    put_at(file, 96, be16(static_cast<int>(frames.size())));
    std::string map;
    if (!styles.empty()) {
        std::string names, font_records, style_records;
        for (std::size_t i = 0; i <= fonts.size(); ++i) {
            std::string r = be16(0) + be16(0) + be16(32 + 16 * static_cast<int>(fonts.size() + 1)) +
                            be16(i < fonts.size() ? fonts[i] : 0);
            font_records += r + std::string(8, '\0');
        }
        const std::string font_zone_body = be16(32) + be16(16) + be16(static_cast<int>(fonts.size())) +
                                           std::string(26, '\0') + font_records + "Any";
        for (std::size_t i = 0; i <= styles.size(); ++i) {
            const Style3 s = i < styles.size() ? styles[i] : Style3{0, 0, 0};
            style_records += be16(0) + be16(1) + be16(s.font) + be16(s.size) + be16(0) + be16(s.flags) +
                             std::string(30, '\0');
        }
        const std::string style_zone_body = be16(44) + be16(42) + be16(static_cast<int>(styles.size())) +
                                            std::string(38, '\0') + style_records;
        const std::string font_zone = be16(static_cast<int>(font_zone_body.size())) + font_zone_body;
        const std::string style_zone = be16(static_cast<int>(style_zone_body.size())) + style_zone_body;
        // Distances count from after the map's length.
        const long first = 20;
        map = be16(22) + be32(first) + "FHfl" + be16(0) + be32(first + static_cast<long>(font_zone.size())) + "FHsl" +
              be16(0) + font_zone + style_zone;
    } else {
        map = be16(2);
    }
    file += map;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        file[204 + 54 * i] = static_cast<char>(frames[i].type);
        long offset = frames[i].offset;
        if (!frames[i].block.empty()) {
            offset = static_cast<long>(file.size());
            file += frames[i].block;
        }
        put_at(file, 224 + 54 * i + 30, be32(offset));
    }
    return file;
}

std::string read3(const std::string& file, int* result = nullptr) {
    return dumped(test::without_font_names(test::read_fixture(read_ragtime3, "ragtime3", file, result)));
}

// Only text frames are text: the data of pages, pictures, sheets and
// charts stays out; frames follow one another as paragraphs; a block two
// frames share and offsets inside the frame table are taken once or not
// at all.
TEST(Ragtime3Reader, TextFramesOnly) {
    const std::string binary = block3({"BINARY", {}, {}, {}});
    const std::string file = ragtime3({
        {0, binary},
        {2, block3({"First", {}, {}, {}})},
        {4, binary},
        {3, binary},
        {6, binary},
        {2, block3({"Second\r", {}, {}, {}})},
        {2, "", 224},      // inside the frame table
        {2, "", 1 << 20},  // past the end
        {2, "", 0},
    });
    int result = 99;
    EXPECT_EQ(read3(file, &result), "First<para>\nSecond<para>\n\n");
    EXPECT_EQ(result, 0);
}

// Counts of the padded and unpadded text, one of 256 records (which a
// guess at the padding from a zero count would misread), alignments on
// 0x00 bytes, tokens, and the control bytes.
TEST(Ragtime3Reader, BlocksRecordsAndTokens) {
    std::vector<Attr3> many;
    for (int i = 0; i < 256; ++i) many.push_back({i + 1, i == 2 ? 5 : 1});
    const std::string file = ragtime3({
        {2, block3({"abcd\r", many, {}, {}})},  // count 6: no padding
        {2, block3({std::string("x\x00y\x01z\x01w\xCA\x06\x1F.\x0B", 13),
                    {{1, 1}, {3, 2, 5}, {5, 1, 200}},
                    {0, 1},
                    {bytes({1, 0x2C}), bytes({0, 100, 0, 1})}})},
    });
    EXPECT_EQ(read3(file),
              "ab{bold}c{/bold}d<para>\n"
              "{left}x{centred}{italic}{subscript}y{page-number}{/subscript}{/italic}{superscript}z"
              "w{nbsp}.{/superscript}<para>\n\n");
}

// The document's own style table: numbers from 1, with flags, sizes and
// fonts; a number outside the table is plain. Without a table, a number
// has the fixed meanings.
TEST(Ragtime3Reader, CharacterStyles) {
    const Block3 text{"abcde", {{1, 1}, {2, 2}, {3, 3, 129}, {4, 9}, {5, 4}}, {}, {}};
    const std::string own = ragtime3({{2, block3(text)}},
                                     {{1, 12, 0}, {2, 24, 0x01 | 0x04}, {1, 12, 0x02 | 0x100}, {3, 12, 0x80}},
                                     {3, 20, 23});
    EXPECT_EQ(read3(own),
              "{font-size -10 -12}a{bold}{underline}{font-size -12 -24}{font-class 0 1}b{/bold}{/underline}"
              "{italic}{subscript}{font-size -24 -12}{font-class 1 0}{superscript}c{/superscript}{/subscript}"
              "{/italic}d{superscript}{symbol-font 0 1}{char 8 0x0B}\n");
    EXPECT_EQ(read3(ragtime3({{2, block3(text)}})),
              "a{italic}b{/italic}{bold}{underline}{superscript}c{/bold}{/underline}{/superscript}d{underline}e\n");
}

// ---- RagTime 2 ----

struct Attr2 {
    int position, size, style, font, shift = 0;
};
struct Block2 {
    std::string text;
    std::vector<Attr2> attrs;
    std::vector<int> alignments;
};

std::string block2(const Block2& b) {
    std::string s = bytes({0, 0, 0, 0, 0, 0}) + be16(static_cast<int>(b.text.size()) + 1) + '\0' + b.text;
    s += be16(static_cast<int>(b.attrs.size()));
    for (const Attr2& a : b.attrs) s += be16(a.position) + bytes({a.size, a.style}) + be16(a.font) + bytes({0, a.shift});
    s += be16(static_cast<int>(b.alignments.size()));
    for (int align : b.alignments) {
        std::string record(34, '\0');
        record[6] = static_cast<char>(align);
        s += record;
    }
    return s;
}

struct Entry2 {
    int next = 0, first_frame = 0;
    std::string block;  // a text frame's block; empty: not a text frame
};

// A RagTime 2 document: the header (byte 4 = 2, version byte 0, the first
// page's entry at 130), the 40-byte entries from 256, then the blocks.
std::string ragtime2(int first_page, const std::vector<Entry2>& entries) {
    std::string file(256 + 40 * entries.size(), '\0');
    file[4] = 2;
    put_at(file, 130, be16(first_page));
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::size_t at = 256 + 40 * i;
        put_at(file, at + 4, be16(entries[i].next));
        put_at(file, at + 8, be16(entries[i].first_frame));
        if (entries[i].block.empty()) continue;
        put_at(file, at + 20, bytes({0, 0, 0x64, 1}));
        put_at(file, at + 24, be32(static_cast<long>(file.size())));
        file += entries[i].block;
    }
    return file;
}

std::string read2(const std::string& file, int* result = nullptr) {
    return dumped(test::without_font_names(test::read_fixture(read_ragtime2, "ragtime2", file, result)));
}

// Pages in their chain, each page's frames in theirs; a page break
// between pages, none after the last; a frame without a final paragraph
// end gets one. Chains that loop or point past the table end there, and a
// block is converted once.
TEST(Ragtime2Reader, PagesFramesAndChains) {
    const std::string file = ragtime2(1, {
        /* 1 */ {3, 2, ""},            // page: frames 2, 4
        /* 2 */ {4, 0, block2({"One\x03", {}, {}})},
        /* 3 */ {5, 0, ""},            // page with no text frame: frame chain empty
        /* 4 */ {2, 0, ""},            // frame, not text, pointing back at 2
        /* 5 */ {1, 6, ""},            // page: its chain leads back to page 1
        /* 6 */ {6, 0, block2({"Two\r", {}, {}})},  // a frame chained to itself
    });
    int result = 99;
    EXPECT_EQ(read2(file, &result), "One#<para>\n<page><page>Two<para>\n\n");
    EXPECT_EQ(result, 0);
    EXPECT_EQ(read2(ragtime2(9, {{0, 0, ""}})), "\n") << "first page past the table";
}

// Attribute records of 8 bytes: size (0x80: subscript), style byte (0x80:
// superscript), font, a signed shift. A record with styles turns off the
// vertical positions it does not name.
TEST(Ragtime2Reader, AttributesAndAlignment) {
    const std::string file = ragtime2(1, {{0, 2, ""},
                                          {0, 0, block2({std::string("ab\x00" "cd\x06" "e\x0B" "f", 9),
                                                         {{1, 12, 0x01, 20},
                                                          {2, 0x80 | 12, 0x80 | 0x02, 21},
                                                          {4, 12, 0x04, 23, 0xFE},
                                                          {5, 0, 0x01, 22},
                                                          {6, 10, 0, 22, 3}},
                                                         {1, 3}})}});
    EXPECT_EQ(read2(file),
              "{font-size -10 -12}{font-class 0 1}{bold}{centred}a{font-class 1 2}{/bold}{italic}{subscript}"
              "{superscript}b{/centred}{justified}{symbol-font 0 1}{/italic}{underline}{/subscript}{char 8 0x2F}"
              "{symbol-font 1 0}{font-class 2 0}{bold}{/underline}{/superscript}d{font-size -12 -10}{/bold}"
              "{subscript}e{/subscript}<para>\nf<para>\n\n");
}

// Each entry refuses the other version (byte 46), and keeps its own checks.
TEST(RagtimeReaders, VersionsAreToldApart) {
    const std::string v3 = ragtime3({{2, block3({"Text", {}, {}, {}})}});
    const std::string v2 = ragtime2(1, {{0, 2, ""}, {0, 0, block2({"Text", {}, {}})}});
    std::string v3_byte0 = v3, v3_narrow = v3, v2_byte1 = v2;
    v3_byte0[46] = 0;
    put_at(v3_narrow, 4, be16(300));
    v2_byte1[46] = 1;
    const struct {
        const char* what;
        const std::string& file;
        EntryPoint entry;
        int result;
    } cases[] = {
        {"a RagTime 3 document as RagTime 2", v3, read_ragtime2, -1},
        {"a RagTime 2 document as RagTime 3", v2, read_ragtime3, -1},
        {"RagTime 3 with version byte 0", v3_byte0, read_ragtime3, -1},
        {"RagTime 3 with a page width of 340 or less", v3_narrow, read_ragtime3, -1},
        {"RagTime 2 with version byte 1", v2_byte1, read_ragtime2, -1},
        {"an empty file", "", read_ragtime3, -2},
    };
    for (const auto& c : cases) {
        int result = 99;
        test::run_entry(c.entry, c.file, &result);
        EXPECT_EQ(result, c.result) << c.what;
    }
}

// Every cut of the fixtures reads without fault, and a cut inside a text
// block keeps the text before the cut.
TEST(RagtimeReaders, CutFilesKeepWhatTheyHold) {
    const std::string v3 = ragtime3({{2, block3({"Hello world", {{1, 2}}, {0}, {bytes({1, 0x2C})}})}},
                                    {{1, 12, 1}, {1, 10, 2}}, {20});
    const std::string v2 = ragtime2(1, {{0, 2, ""}, {0, 0, block2({"Hello world", {{1, 12, 1, 20}}, {0}})}});
    for (const auto& [file, entry] : {std::pair<std::string, EntryPoint>{v3, read_ragtime3}, {v2, read_ragtime2}}) {
        for (std::size_t n = 0; n < file.size(); ++n) {
            int result = 99;
            test::run_entry(entry, file.substr(0, n), &result);
            EXPECT_EQ(result, n == 0 ? -2 : n <= 46 ? -1 : 0) << n;
        }
    }
    EXPECT_NE(read3(v3.substr(0, v3.find("world") + 2)).find("Hello wo"), std::string::npos);
    EXPECT_NE(read2(v2.substr(0, v2.find("world") + 2)).find("Hello wo"), std::string::npos);
    // ... and say they are damaged; whole, they are not.
    for (const auto& [file, entry] : {std::pair<std::string, EntryPoint>{v3, read_ragtime3}, {v2, read_ragtime2}}) {
        EXPECT_EQ(test::damage_noted(entry, file), "");
        const std::size_t cut = file.find("world") + 2;
        EXPECT_EQ(test::damage_noted(entry, file.substr(0, cut)).rfind("text ends at byte " + std::to_string(cut), 0), 0u);
    }
}

// ---- The real RagTime 3.2 document ----

const fs::path kDocument =
    fs::path(test::corpus_dir()) / "ragtime" / "LibreOffice__RagTime_3.2.datafork";

// The text each style code brackets, in order.
std::vector<std::string> styled(const std::string& dump, const std::string& name) {
    std::vector<std::string> spans;
    for (std::size_t at = dump.find("{" + name + "}"); at != std::string::npos;
         at = dump.find("{" + name + "}", at + 1)) {
        const std::size_t start = at + name.size() + 2;
        const std::size_t end = dump.find("{/" + name + "}", start);
        spans.push_back(dump.substr(start, end - start));
    }
    return spans;
}

TEST(Ragtime3Reader, RealDocumentStyles) {
    if (!fs::exists(kDocument)) GTEST_SKIP() << "no corpus; skipped";
    const std::string data = test::read_file(kDocument.string());
    int result = 99;
    const std::string dump = dumped(test::run_entry(read_ragtime3, data, &result));
    ASSERT_EQ(result, 0);
    EXPECT_EQ(styled(dump, "bold"), std::vector<std::string>{"bold"});
    EXPECT_EQ(styled(dump, "italic"), std::vector<std::string>{"italic"});
    EXPECT_EQ(styled(dump, "underline"), std::vector<std::string>{"underline"});
    EXPECT_EQ(styled(dump, "superscript"), std::vector<std::string>{"superscript"});
    EXPECT_EQ(styled(dump, "subscript"), std::vector<std::string>{"subscript"});
    EXPECT_NE(dump.find("{font-size -12 -24}24 points{font-size -24 -12}"), std::string::npos);
    EXPECT_EQ(dump.rfind("<para>", 0), std::string::npos) << "no leading empty paragraph";
    EXPECT_EQ(dump.find("<x"), std::string::npos) << "no control byte reaches the stream";

    // As RagTime 2 the document is refused and leaves no target.
    test::TempDir dir;
    test::write_file(dir.file("DOC"), data);
    const ConversionResult r = convert_file(dir.file("DOC"), format_named("ragtime2", source_formats), format_named("ansi", target_formats));
    EXPECT_EQ(r.outcome, Outcome::NotOfFormat);
    EXPECT_EQ(dir.list(), std::vector<std::string>{"DOC"});
}

// The bundled samples of RagTime 2 and 3, made here: one page, one text
// frame each.
TEST(Ragtime3Reader, TheBundledSamplesAreMadeHere) {
    const std::string two = ragtime2(1, {
        {0, 2, ""},
        {0, 0, block2({"RagTime 2 page\rA flyer for the sale of old disks, at the caf\x8E.\r", {}, {}})},
    });
    const std::string three = ragtime3({{2, block3({"RagTime 3 page\rThe price list of the shop, in francs.\r", {}, {}, {}})}});
    test::expect_sample("RagTime 2 page", two, read_ragtime2);
    test::expect_sample("RagTime 3 page", three, read_ragtime3);
    EXPECT_NE(read2(two).find("A flyer for the sale"), std::string::npos);
    EXPECT_NE(read3(three).find("The price list"), std::string::npos);
}

}  // namespace
}  // namespace verbatra
