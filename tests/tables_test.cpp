#include <gtest/gtest.h>

#include <cstring>

#include <array>

#include "stream/mac_charset.h"
#include "stream/emitter.h"
#include "stream/symbol_tables.h"
#include "stream/fonts.h"
#include "support.h"
#include "pipeline/registry.h"
#include "stream/codes.h"
#include "stream_builder.h"
#include "writers/losses.h"
#include "writers/target_tables.h"

namespace verbatra {
namespace {

// Every (set, code) pair that a source table or accent composition can put
// into a stream.
std::vector<std::uint16_t> producible_pairs() {
    std::vector<std::uint16_t> pairs;
    for (const std::uint16_t* table : {kMacintoshTable, kSymbolTable, kDingbatsTable.data()}) {
        for (int b = 0; b < 256; ++b) {
            if (table[b] > 0xFF) pairs.push_back(table[b]);
        }
    }
    for (const ComposedLetter& c : kComposedLetters) {
        for (std::uint8_t code : c.code) {
            if (code == 0) continue;
            pairs.push_back(static_cast<std::uint16_t>(0x0100 | code));
            pairs.push_back(static_cast<std::uint16_t>(0x0100 | (code - 1)));
        }
    }
    return pairs;
}

TEST(CharacterTables, EveryProduciblePairHasATargetByte) {
    for (std::uint16_t pair : producible_pairs()) {
        auto set = static_cast<std::uint8_t>(pair >> 8);
        auto code = static_cast<std::uint8_t>(pair);
        EXPECT_TRUE(set == 1 || (set >= 3 && set <= 8)) << std::hex << pair;
        EXPECT_NE(kDosTable.lookup(set, code) & 0xFF, 0) << "DOS " << std::hex << pair;
        EXPECT_NE(kWindowsTable.lookup(set, code) & 0xFF, 0) << "Windows " << std::hex << pair;
        EXPECT_EQ(kDosTable.lookup(set, code) >> 8, 0) << "no font selector in the DOS table";
    }
}

// Where a Macintosh character and a Symbol character give the same pair,
// both must stand for the same target byte.
TEST(CharacterTables, SourcesSharingAPairAgreeOnItsByte) {
    struct Source {
        const std::uint16_t* table;
        const std::uint8_t* dos;
        const std::uint16_t* windows;
    };
    for (const Source& s : {Source{kMacintoshTable, kMacintoshToDos, kMacintoshToWindows},
                            Source{kSymbolTable, kSymbolToDos, kSymbolToWindows}}) {
        for (int b = 0; b < 256; ++b) {
            std::uint16_t e = s.table[b];
            if (e <= 0xFF) {
                // A plain character is itself on every target.
                EXPECT_EQ(s.dos[b], e & 0xFF) << b;
                EXPECT_EQ(s.windows[b] & 0xFF, e & 0xFF) << b;
                continue;
            }
            EXPECT_EQ(kDosTable.lookup(e >> 8, e & 0xFF), s.dos[b]) << std::hex << b;
            EXPECT_EQ(kWindowsTable.lookup(e >> 8, e & 0xFF), s.windows[b]) << std::hex << b;
        }
    }
}

// Unicode of the Macintosh characters 0x80-0xFF (Mac OS Roman).
constexpr char16_t kMacRoman[128] = {
    0x00C4, 0x00C5, 0x00C7, 0x00C9, 0x00D1, 0x00D6, 0x00DC, 0x00E1,
    0x00E0, 0x00E2, 0x00E4, 0x00E3, 0x00E5, 0x00E7, 0x00E9, 0x00E8,
    0x00EA, 0x00EB, 0x00ED, 0x00EC, 0x00EE, 0x00EF, 0x00F1, 0x00F3,
    0x00F2, 0x00F4, 0x00F6, 0x00F5, 0x00FA, 0x00F9, 0x00FB, 0x00FC,
    0x2020, 0x00B0, 0x00A2, 0x00A3, 0x00A7, 0x2022, 0x00B6, 0x00DF,
    0x00AE, 0x00A9, 0x2122, 0x00B4, 0x00A8, 0x2260, 0x00C6, 0x00D8,
    0x221E, 0x00B1, 0x2264, 0x2265, 0x00A5, 0x00B5, 0x2202, 0x2211,
    0x220F, 0x03C0, 0x222B, 0x00AA, 0x00BA, 0x03A9, 0x00E6, 0x00F8,
    0x00BF, 0x00A1, 0x00AC, 0x221A, 0x0192, 0x2248, 0x2206, 0x00AB,
    0x00BB, 0x2026, 0x00A0, 0x00C0, 0x00C3, 0x00D5, 0x0152, 0x0153,
    0x2013, 0x2014, 0x201C, 0x201D, 0x2018, 0x2019, 0x00F7, 0x25CA,
    0x00FF, 0x0178, 0x2044, 0x20AC, 0x2039, 0x203A, 0xFB01, 0xFB02,
    0x2021, 0x00B7, 0x201A, 0x201E, 0x2030, 0x00C2, 0x00CA, 0x00C1,
    0x00CB, 0x00C8, 0x00CD, 0x00CE, 0x00CF, 0x00CC, 0x00D3, 0x00D4,
    0xF8FF, 0x00D2, 0x00DA, 0x00DB, 0x00D9, 0x0131, 0x02C6, 0x02DC,
    0x00AF, 0x02D8, 0x02D9, 0x02DA, 0x00B8, 0x02DD, 0x02DB, 0x02C7,
};
// Unicode of Windows-1252 0x80-0x9F (0: undefined); 0xA0-0xFF are Latin-1.
constexpr char16_t kWindows1252[32] = {
    0x20AC, 0x0000, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x0000, 0x017D, 0x0000,
    0x0000, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x0000, 0x017E, 0x0178,
};
// Unicode of code page 437 0x80-0xFF.
constexpr char16_t kCodePage437[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};
// Unicode of the Symbol font's characters 0x20-0xFF (0: none).
constexpr char16_t kSymbolFont[224] = {
    0x0020, 0x0021, 0x2200, 0x0023, 0x2203, 0x0025, 0x0026, 0x220B,
    0x0028, 0x0029, 0x2217, 0x002B, 0x002C, 0x2212, 0x002E, 0x002F,
    0x0030, 0x0031, 0x0032, 0x0033, 0x0034, 0x0035, 0x0036, 0x0037,
    0x0038, 0x0039, 0x003A, 0x003B, 0x003C, 0x003D, 0x003E, 0x003F,
    0x2245, 0x0391, 0x0392, 0x03A7, 0x0394, 0x0395, 0x03A6, 0x0393,
    0x0397, 0x0399, 0x03D1, 0x039A, 0x039B, 0x039C, 0x039D, 0x039F,
    0x03A0, 0x0398, 0x03A1, 0x03A3, 0x03A4, 0x03A5, 0x03C2, 0x03A9,
    0x039E, 0x03A8, 0x0396, 0x005B, 0x2234, 0x005D, 0x22A5, 0x005F,
    0xF8E5, 0x03B1, 0x03B2, 0x03C7, 0x03B4, 0x03B5, 0x03C6, 0x03B3,
    0x03B7, 0x03B9, 0x03D5, 0x03BA, 0x03BB, 0x03BC, 0x03BD, 0x03BF,
    0x03C0, 0x03B8, 0x03C1, 0x03C3, 0x03C4, 0x03C5, 0x03D6, 0x03C9,
    0x03BE, 0x03C8, 0x03B6, 0x007B, 0x007C, 0x007D, 0x223C, 0x0000,
    0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000,
    0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000,
    0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000,
    0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000,
    0x20AC, 0x03D2, 0x2032, 0x2264, 0x2044, 0x221E, 0x0192, 0x2663,
    0x2666, 0x2665, 0x2660, 0x2194, 0x2190, 0x2191, 0x2192, 0x2193,
    0x00B0, 0x00B1, 0x2033, 0x2265, 0x00D7, 0x221D, 0x2202, 0x2022,
    0x00F7, 0x2260, 0x2261, 0x2248, 0x2026, 0xF8E6, 0xF8E7, 0x21B5,
    0x2135, 0x2111, 0x211C, 0x2118, 0x2297, 0x2295, 0x2205, 0x2229,
    0x222A, 0x2283, 0x2287, 0x2284, 0x2282, 0x2286, 0x2208, 0x2209,
    0x2220, 0x2207, 0x00AE, 0x00A9, 0x2122, 0x220F, 0x221A, 0x22C5,
    0x00AC, 0x2227, 0x2228, 0x21D4, 0x21D0, 0x21D1, 0x21D2, 0x21D3,
    0x25CA, 0x2329, 0x00AE, 0x00A9, 0x2122, 0x2211, 0x0000, 0x0000,
    0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000,
    0x0000, 0x232A, 0x222B, 0x2320, 0x0000, 0x2321, 0x0000, 0x0000,
    0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000,
};

// Unicode of Windows-1252 0x80-0xFF: the table above, then Latin-1.
constexpr std::array<char16_t, 128> kWindows1252High = [] {
    std::array<char16_t, 128> t{};
    for (int i = 0; i < 128; ++i) t[i] = i < 32 ? kWindows1252[i] : static_cast<char16_t>(0x80 + i);
    return t;
}();

// The byte of `u` in a code page whose bytes from 0x80 stand for `high`
// (ASCII below), or -1 when the code page lacks it.
int code_page_byte(char16_t u, const char16_t* high) {
    if (u < 0x80) return u;
    for (int i = 0; i < 128; ++i) {
        if (high[i] == u) return 0x80 + i;
    }
    return -1;
}

// Every character of the Macintosh set and of the Symbol font that the
// target code page holds is written as that code page's own byte, in the
// ordinary font; only characters it lacks get a substitute (or, on
// Windows, a Symbol-font byte).
TEST(CharacterTables, EveryCharacterTheCodePageHoldsIsItself) {
    struct Font {
        const char* name;
        const std::uint16_t* source;
        int first;
        const char16_t* unicode;
    };
    for (const Font& f : {Font{"Macintosh", kMacintoshTable, 0x80, kMacRoman}, Font{"Symbol", kSymbolTable, 0x20, kSymbolFont}}) {
        for (int b = f.first; b < 256; ++b) {
            const std::uint16_t pair = f.source[b];
            const char16_t u = f.unicode[b - f.first];
            if (pair <= 0xFF || u == 0) continue;  // plain characters are the source table's business
            const auto set = static_cast<std::uint8_t>(pair >> 8);
            const auto code = static_cast<std::uint8_t>(pair);
            if (const int w = code_page_byte(u, kWindows1252High.data()); w >= 0) {
                EXPECT_EQ(kWindowsTable.lookup(set, code), w) << f.name << " 0x" << std::hex << b << " U+" << int(u);
            }
            if (const int d = code_page_byte(u, kCodePage437); d >= 0) {
                EXPECT_EQ(kDosTable.lookup(set, code), d) << f.name << " 0x" << std::hex << b << " U+" << int(u);
            }
        }
    }
    // Substitutes stay where the code page lacks the character: (c), and
    // the Macintosh quotation marks in DOS, which must still point the
    // right way.
    EXPECT_EQ(kDosTable.lookup(4, 0x17), 'C');
    EXPECT_EQ(kWindowsTable.lookup(4, 0x17), 0xA9);
    EXPECT_EQ(kDosTable.lookup(kMacintoshTable[0xD4] >> 8, kMacintoshTable[0xD4] & 0xFF), '\'');  // left single quote
    EXPECT_EQ(kDosTable.lookup(kMacintoshTable[0xE2] >> 8, kMacintoshTable[0xE2] & 0xFF), ',');   // low single quote
}

// A character is a stand-in exactly where the byte written for it shows
// another character in the code page: the record counts these.
TEST(CharacterTables, StandInsAreTheCharactersWrittenAsAnother) {
    auto shown = [](std::uint8_t byte, const char16_t* high) -> char16_t {
        if (byte == 0x14) return 0x00B6;  // DOS shows the pilcrow and section sign there
        if (byte == 0x15) return 0x00A7;
        return byte < 0x80 ? byte : high[byte - 0x80];
    };
    int dos_stand_ins = 0, windows_stand_ins = 0;
    for (int b = 0x80; b < 256; ++b) {
        const std::uint16_t pair = kMacintoshTable[b];
        if (pair <= 0xFF) continue;
        const auto set = static_cast<std::uint8_t>(pair >> 8);
        const auto code = static_cast<std::uint8_t>(pair);
        // What the stream means by it (0xDB is the currency sign of the
        // Macintosh before 1998, not the euro sign of later Mac OS Roman).
        const auto u = static_cast<char16_t>(stream::unicode_of(set, code));
        const std::uint16_t dos = kDosTable.lookup(set, code), windows = kWindowsTable.lookup(set, code);
        if ((dos >> 8) == 0) {
            EXPECT_EQ(kDosTable.stands_in(set, code), shown(static_cast<std::uint8_t>(dos), kCodePage437) != u)
                << "Macintosh 0x" << std::hex << b;
        }
        if ((windows >> 8) == 0) {
            EXPECT_EQ(kWindowsTable.stands_in(set, code), shown(static_cast<std::uint8_t>(windows), kWindows1252High.data()) != u)
                << "Macintosh 0x" << std::hex << b;
        }
        dos_stand_ins += kDosTable.stands_in(set, code);
        windows_stand_ins += kWindowsTable.stands_in(set, code);
    }
    EXPECT_GT(dos_stand_ins, 20);  // the dagger, the trade mark, the ligatures...
    EXPECT_GT(windows_stand_ins, 0);
    EXPECT_FALSE(kWindowsTable.stands_in(kMacintoshTable[0xA0] >> 8, kMacintoshTable[0xA0] & 0xFF));  // Windows has the dagger
    EXPECT_TRUE(kDosTable.stands_in(kMacintoshTable[0xA0] >> 8, kMacintoshTable[0xA0] & 0xFF));
}

// What each target loses of one stream: characters its code page lacks
// (the dagger in DOS; alpha where plain text cannot switch to the Symbol
// font), a size change, a colour change and a note.
TEST(CharacterTables, LossesFollowWhatEachTargetHolds) {
    const std::string stream = test::StreamBuilder()
                                   .text("caf").mac("\x8E\xA0").symbol("a")
                                   .code(stream::kFontSize, {0xF4, 0xF2})
                                   .code(stream::kTextColour, {1, 6}).text("red").code(stream::kTextColour, {6, 6})
                                   .code(stream::kNoteStart, {1, 0}).text("note").code(stream::kEndSection)
                                   .para()
                                   .str();
    struct Case {
        const char* target;
        Losses losses;  // stand-ins, sizes, colours, notes
    };
    const Case cases[] = {
        {"dos", {1, 1, 1, 1}},  {"ansi", {1, 1, 1, 1}},    {"word-dos", {1, 0, 1, 0}}, {"word-win2", {0, 0, 1, 0}},
        {"rtf-dos", {1, 0, 0, 0}}, {"rtf-ansi", {0, 0, 0, 0}}, {"wp5", {0, 0, 0, 0}},   {"utf8", {0, 1, 1, 1}},
        {"html", {0, 0, 0, 0}},  {"odt", {0, 0, 0, 0}},     {"docx", {0, 0, 0, 0}},
    };
    test::TempDir dir;
    test::write_file(dir.file("work"), stream);
    for (const Case& c : cases) {
        ByteFile work = ByteFile::open(dir.file("work"), "rb");
        const Losses got = count_losses(work, format_named(c.target, target_formats).reach);
        EXPECT_EQ(got, c.losses) << c.target << ": " << got.stand_ins << " " << got.font_sizes << " " << got.colours
                                 << " " << got.notes_as_text;
    }
}

TEST(CharacterTables, KnownCharacters) {
    // Macintosh é, •, ß, Œ; Symbol alpha.
    EXPECT_EQ(kMacintoshTable[0x8E], 0x0129);
    EXPECT_EQ(kDosTable.lookup(1, 0x29), 0x82);
    EXPECT_EQ(kWindowsTable.lookup(1, 0x29), 0xE9);
    EXPECT_EQ(kWindowsTable.lookup(4, 0x03), 0x95);  // Windows has the bullet itself
    EXPECT_EQ(kDosTable.lookup(4, 0x03), 0xFE);
    EXPECT_EQ(kSymbolTable[0x61], 0x0801);
    EXPECT_EQ(kDosTable.lookup(8, 0x01), 0xE0);
    EXPECT_EQ(kWindowsTable.lookup(8, 0x01), 0x161);
    EXPECT_EQ(&target_table(0), &kDosTable);
    EXPECT_EQ(&target_table(1), &kWindowsTable);
}

TEST(CharacterTables, FontNumberChoosesTableAndClass) {
    struct Case {
        int font;
        const std::uint16_t* table;
        int font_class;
    };
    const Case cases[] = {
        {13, kDingbatsTable.data(), 4}, {14, kMacintoshTable, 1}, {20, kMacintoshTable, 1},
        {156, kMacintoshTable, 1},      {21, kMacintoshTable, 2}, {23, kSymbolTable, 3},
        {22, kMacintoshTable, 0},       {3, kMacintoshTable, 0},
    };
    for (const Case& c : cases) {
        CharState cs;
        cs.font_class = 9;  // so that every choice writes its class code
        test::Capture out;
        EXPECT_EQ(source_table_for_font(cs, c.font, out.out()), c.table) << c.font;
        EXPECT_EQ(cs.font_class, c.font_class) << c.font;
        // The class, then the font's name where the number has one.
        const char* name = stream::mac_font_name(c.font);
        std::string want = test::bytes({0x5C, 0x8F, 9, c.font_class});
        if (name) want += test::bytes({0x5C, 0xC1, static_cast<int>(std::strlen(name))}) + name;
        EXPECT_EQ(out.bytes(), want) << c.font;
        EXPECT_EQ(cs.font_name, name ? name : "") << c.font;
    }
}

TEST(CharacterTables, WriteSourceChar) {
    test::Capture out;
    EXPECT_EQ(write_source_char(kDingbatsTable.data(), 0x41, out.out()), 1);  // any dingbat is "_"
    EXPECT_EQ(write_source_char(kSymbolTable, 0x61, out.out()), 4);          // alpha
    EXPECT_EQ(write_source_char(kMacintoshTable, 0x00, out.out()), 0);       // nothing, never a NUL
    EXPECT_EQ(write_source_char(kMacintoshTable, 0x06, out.out()), 2);       // backslash as a code
    EXPECT_EQ(write_source_char(kSymbolTable, 0x5C, out.out()), 4);          // Symbol's therefore
    EXPECT_EQ(out.bytes(), test::bytes({'_', 0x5C, 0x20, 8, 1, 0x5C, 0x5C, 0x5C, 0x20, 6, 0x66}));
}

}  // namespace
}  // namespace verbatra
