#include <gtest/gtest.h>

#include "readers/mac_charset.h"
#include "stream/emitter.h"
#include "stream/symbol_tables.h"
#include "support.h"
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

TEST(CharacterTables, KnownCharacters) {
    // Macintosh é, •, ß, Œ; Symbol alpha.
    EXPECT_EQ(kMacintoshTable[0x8E], 0x0129);
    EXPECT_EQ(kDosTable.lookup(1, 0x29), 0x82);
    EXPECT_EQ(kWindowsTable.lookup(1, 0x29), 0xE9);
    EXPECT_EQ(kWindowsTable.lookup(4, 0x03), 0x1B7);  // Symbol-font bullet
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
        EXPECT_EQ(out.bytes(), test::bytes({0x5C, 0x8F, 9, c.font_class})) << c.font;
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
