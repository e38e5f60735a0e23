// WordPerfect 5 files read back byte by byte: the prefix, the functions and
// groups (both ends), the character codes.
#include <gtest/gtest.h>

#include "pipeline/registry.h"
#include "stream_builder.h"
#include "support.h"
#include "target_checks.h"
#include "writers/wp5.h"

namespace verbatra {
namespace {

using test::bytes;
using test::StreamBuilder;

// The document area after the prefix and the opening margin code.
const std::string kMargins = bytes({0xD0, 0x01, 0x0C, 0x00, 0, 0, 0, 0, 0x58, 0x02, 0x58, 0x02, 0x0C, 0x00, 0x01, 0xD0});

std::string body(const std::string& stream, int* result = nullptr) {
    int r = 99;
    const std::string file = test::run_entry(write_wp5, stream, &r);
    if (result) *result = r;
    else EXPECT_EQ(r, 0);
    for (const std::string& problem : test::wp5_problems(file)) ADD_FAILURE() << problem;
    EXPECT_EQ(file.substr(66, kMargins.size()), kMargins);
    return file.size() > 66 + kMargins.size() ? file.substr(66 + kMargins.size()) : "";
}

TEST(Wp5Writer, PrefixAndText) {
    EXPECT_EQ(body("a\r"), "a\x0A");  // no hard return before the text
    // An empty stream is a valid empty document.
    int result = 99;
    EXPECT_EQ(body("", &result), "");
    EXPECT_EQ(result, 0);
}

TEST(Wp5Writer, CodesAndCharacters) {
    const std::string b = body(StreamBuilder()
                                   .code(0x23).text("b").code(0x24)
                                   .code(0x20, {1, 0x29})
                                   .code(0x20, {13, 0x41}).code(0x20, {200, 1})
                                   .code(0x4B).code(0x4C)
                                   .code(0x34).code(0x3A).raw("\n")
                                   .code(0x96, {8, 16})
                                   .str());
    EXPECT_EQ(b, bytes({0xC3, 0x0C, 0xC3}) + "b" + bytes({0xC4, 0x0C, 0xC4, 0xC0, 0x29, 0x01, 0xC0, 0xC0, 9, 4, 0xC0, 0xC0,
                                                          10, 4, 0xC0, 0xA0, 0xAD, 0xD0, 0x02, 0x08, 0x00, 0x00, 0x01,
                                                          0x00, 0x02, 0x08, 0x00, 0x02, 0xD0}));
}

// A centred block is centred paragraph by paragraph; switched off before
// the next paragraph has anything, no end of centring is needed.
TEST(Wp5Writer, AlignmentPerParagraph) {
    const std::string centre = bytes({0xC1, 0xE0, 0, 0, 0, 0, 0, 0, 0xC1});
    EXPECT_EQ(body(StreamBuilder().code(0x2B).text("A").para().text("B").para().code(0x2C).text("C").para().str()),
              centre + "A\x0A" + centre + "B\x0A" "C\x0A");
}

// Justification as 5.0 writes it and as the 5.1 group readers follow; set
// inside a header it holds for the body after the header too.
TEST(Wp5Writer, Justification) {
    const std::string on = bytes({0x81, 0xD0, 0x06, 0x06, 0x00, 0x00, 0x01, 0x06, 0x00, 0x06, 0xD0});
    EXPECT_EQ(body(StreamBuilder().code(0x43).text("a").str()), on + "a");
    const std::string b = body(StreamBuilder().code(0x9E, {0, 0}).code(0x43).text("h").code(0x7F).text("a").str());
    EXPECT_EQ(b.substr(b.size() - on.size() - 1), on + "a");
}

TEST(Wp5Writer, Groups) {
    // Occurrence: 1 every page, 2 odd, 4 even.
    std::string b = body(StreamBuilder().code(0x9C, {0, 0}).text("Even").code(0x7F).text("x").str());
    ASSERT_GE(b.size(), 16u);
    EXPECT_EQ(b.substr(0, 2), bytes({0xD5, 0x00}));
    EXPECT_EQ(b[11], 4);
    // A stream that ends inside a note closes it.
    b = body(StreamBuilder().text("x").code(0xA2, {0, 1}).text("cut").str());
    EXPECT_EQ(b.substr(b.size() - 2), bytes({0x00, 0xD6}));
    // An argument byte 0x7F (the ˙ of set 7) does not end the note.
    b = body(StreamBuilder().code(0xA2, {0, 1}).code(0x20, {7, 0x7F}).text("tail").code(0x7F).text("after").str());
    EXPECT_EQ(b.substr(b.size() - 13, 4), "tail");
    EXPECT_EQ(b.substr(b.size() - 7), bytes({0x00, 0xD6}) + "after");
    // A group longer than its 16-bit length can say is too large.
    int result = 99;
    test::run_entry(write_wp5, StreamBuilder().code(0xA2, {0, 1}).text(std::string(70000, 'n')).code(0x7F).str(), &result);
    EXPECT_EQ(result, kTooLarge);
    // A note opened inside a header stays in it; the header closes once.
    b = body(StreamBuilder().code(0x9E, {0, 0}).text("h").code(0xA2, {0, 1}).text("n").code(0x7F).text("h2").code(0x7F)
                 .text("body").str());
    EXPECT_EQ(b.substr(b.size() - 4), "body");
}

// Tab stops: one tab-set code before the next text, the first one
// replacing the default stops; a bar tab is a plain left tab.
TEST(Wp5Writer, TabStops) {
    const std::string b = body(StreamBuilder().code(0x80, {1, 10}).code(0x80, {5, 20}).text("a\tb").str());
    ASSERT_EQ(b.substr(0, 4), bytes({0xD0, 0x04, 0xD0, 0x00}));
    const std::string table = b.substr(4 + 100, 100);  // the new table
    EXPECT_EQ(static_cast<unsigned char>(table[2]) | static_cast<unsigned char>(table[3]) << 8, (10 + 5) * 120);
    EXPECT_EQ(static_cast<unsigned char>(table[80 + 1]), 0x00);  // types of stops 2 and 3: left, left
    EXPECT_EQ(static_cast<unsigned char>(table[6]) | static_cast<unsigned char>(table[7]) << 8, 0xFFFF);
    EXPECT_EQ(b.find(bytes({0xD0, 0x04}), 4), std::string::npos);
}

// A column break with columns left drops the rest of the paragraph; at
// the last column it drops one byte. Neither ever drops the end of a note,
// whose group would be left open.
TEST(Wp5Writer, ColumnBreaks) {
    const std::string two = StreamBuilder().code(0x98, {2, 0}).code(0x4D, {0}).str();
    std::string b = body(two + StreamBuilder().code(0x51, {0}).text("gone").para().text("kept").str());
    EXPECT_EQ(b.substr(b.size() - 5), bytes({0x0C}) + "kept");
    b = body(StreamBuilder().code(0x98, {1, 0}).code(0x4D, {0}).code(0x51, {0}).text("xyz").str());
    EXPECT_EQ(b.substr(b.size() - 3), bytes({0xAF}) + "yz");
    b = body(two + StreamBuilder().code(0xA2, {0, 1}).text("note").code(0x51, {0}).text("cut").code(0x7F)
                       .text("after").str());
    EXPECT_EQ(b.substr(b.size() - 7), bytes({0x00, 0xD6}) + "after");
}

// Fonts by name: the fonts-used list and the pool of names in packets
// after the index block, the document area after them, and a font change
// in the text for each change of font. WordPerfect ends a header's font
// with the header, but the stream's font goes on: the text after it changes
// to that font again.
TEST(Wp5Writer, FontsByName) {
    const auto font = [](const std::string& name) { return "\\\xC1" + std::string(1, static_cast<char>(name.size())) + name; };
    int result = 99;
    const std::string f = test::run_entry(
        write_wp5,
        StreamBuilder().raw(font("Courier")).text("a").raw(font("Times")).text("b").raw(font("Times")).text("c")
            .code(0x9E, {0, 0}).raw(font("Courier")).text("h").code(0x7F).text("d")
            .raw(font("")).text("e").str(),
        &result);
    ASSERT_EQ(result, 0);
    for (const std::string& problem : test::wp5_problems(f)) ADD_FAILURE() << problem;
    const auto u16 = [&](std::size_t at) { return static_cast<unsigned char>(f[at]) | static_cast<unsigned char>(f[at + 1]) << 8; };
    const auto u32 = [&](std::size_t at) { return u16(at) | u16(at + 2) << 16; };
    const std::string pool("Courier\0Times\0", 14);
    const std::size_t document = 66 + 2 * 86 + pool.size();
    EXPECT_EQ(u32(4), document);
    EXPECT_EQ(u16(26), 0x02);  // the fonts used, 5.0's list
    EXPECT_EQ(u32(28), 2 * 86);
    EXPECT_EQ(u32(32), 66);
    EXPECT_EQ(u16(36), 0x07);  // the pool of names
    EXPECT_EQ(u32(38), pool.size());
    EXPECT_EQ(u32(42), 66 + 2 * 86);
    EXPECT_EQ(u16(46), 0);  // the other two entries stay unused
    EXPECT_EQ(u16(66 + 18), 0);       // Courier's name at the pool's start
    EXPECT_EQ(u16(66 + 86 + 18), 8);  // Times' after it
    EXPECT_EQ(u16(66 + 22), 500);     // 10 points, the stream's size before any size code
    EXPECT_EQ(f.substr(66 + 2 * 86, pool.size()), pool);
    // The font changes in the text: Courier, Times (once), Courier in the
    // header and after it, none for the empty name.
    const auto change = [](int number) {
        return bytes({0xD1, 0x01, 30, 0}) + std::string(25, '\0') + std::string(1, static_cast<char>(number)) +
               bytes({30, 0, 0x01, 0xD1});
    };
    const std::string text = f.substr(document + kMargins.size());
    EXPECT_EQ(text.rfind(change(0) + "a" + change(1) + "bc", 0), 0u);
    EXPECT_EQ(test::count_of(text, change(0)), 3);
    EXPECT_EQ(test::count_of(text, change(1)), 1);
    EXPECT_EQ(text.substr(text.size() - 2 - change(0).size()), change(0) + "de");
    // A document that names no font keeps the bare prefix.
    EXPECT_EQ(test::run_entry(write_wp5, "plain\r").substr(0, 8), bytes({0xFF, 0x57, 0x50, 0x43, 66, 0, 0, 0}));
}

// Sizes: each (name, size) the text is set in is an entry of the list
// with its size, the name pooled once; a size change is a font change, and
// a size without a font named yet waits for the name.
TEST(Wp5Writer, EachSizeIsAFontOfItsOwn) {
    const auto font = [](const std::string& name) { return "\\\xC1" + std::string(1, static_cast<char>(name.size())) + name; };
    const std::string f = test::run_entry(
        write_wp5, StreamBuilder().code(0x90, {0, 0xF6}).raw(font("Times")).text("a").code(0x90, {0xF6, 0xF2}).text("b")
                       .raw(font("Courier")).text("c").code(0x90, {0xF2, 0xF6}).raw(font("Times")).text("d").str());
    for (const std::string& problem : test::wp5_problems(f)) ADD_FAILURE() << problem;
    const auto u16 = [&](std::size_t at) { return static_cast<unsigned char>(f[at]) | static_cast<unsigned char>(f[at + 1]) << 8; };
    EXPECT_EQ(u16(28), 3 * 86);  // Times 10, Times 14, Courier 14
    const unsigned sizes[] = {500, 700, 700}, names[] = {0, 0, 6};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(u16(66 + 86 * i + 22), sizes[i]) << i;
        EXPECT_EQ(u16(66 + 86 * i + 18), names[i]) << i;
    }
    EXPECT_EQ(f.substr(66 + 3 * 86, 14), std::string("Times\0Courier\0", 14));
    const auto change = [](int number) {
        return bytes({0xD1, 0x01, 30, 0}) + std::string(25, '\0') + std::string(1, static_cast<char>(number)) +
               bytes({30, 0, 0x01, 0xD1});
    };
    EXPECT_NE(f.find(change(0) + "a" + change(1) + "b" + change(2) + "c" + change(0) + "d"), std::string::npos);
}

}  // namespace
}  // namespace verbatra
