// The meaning of every character pair a reader writes, held against
// mappings made by others: Python's mac_roman codec and its Unicode
// composition for the Macintosh table and the composed letters, and
// Adobe's Symbol encoding for the Symbol table.
#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "stream/charsets.h"
#include "stream/mac_charset.h"
#include "stream/symbol_tables.h"
#include "support.h"

namespace verbatra {
namespace {

// Each line of a Python program's output as a number (a code point).
std::vector<long> python_numbers(const std::string& program) {
    std::string out, err;
    if (test::run_command("python3 -c '" + program + "'", &out, &err) != 0) return {};
    std::vector<long> numbers;
    std::istringstream lines(out);
    for (long n; lines >> n;) numbers.push_back(n);
    return numbers;
}

TEST(Characters, MacintoshPairsMeanTheirMacRomanCharacters) {
    const std::vector<long> mac_roman =
        python_numbers("[print(ord(bytes([b]).decode(\"mac_roman\"))) for b in range(128, 256)]");
    if (mac_roman.size() != 128) GTEST_SKIP() << "python3 is not installed; skipped";
    // Where a pair stands for a near character: the increment sign is
    // WordPerfect's Greek capital delta, and byte DB meant the currency
    // sign until the euro took its place in 1998.
    const std::map<int, char32_t> written_as = {{0xC6, 0x0394}, {0xDB, 0x00A4}};
    int pairs = 0;
    for (int b = 0x80; b < 0x100; ++b) {
        const std::uint16_t e = kMacintoshTable[b];
        if (e >> 8 == 0) continue;
        ++pairs;
        const auto near = written_as.find(b);
        const char32_t want = near != written_as.end() ? near->second : static_cast<char32_t>(mac_roman[b - 0x80]);
        EXPECT_EQ(stream::unicode_of(e >> 8, e & 0xFF), want) << std::hex << "byte " << b;
    }
    EXPECT_GT(pairs, 100);
}

TEST(Characters, ComposedLettersMeanWhatUnicodeComposes) {
    // Python composes each letter with the accent of its class (the fourth
    // class is the diaeresis, the tilde for n) in both cases.
    std::string letters;
    for (const ComposedLetter& c : kComposedLetters) letters += c.letter;
    const std::vector<long> composed = python_numbers(
        "import unicodedata\n"
        "for l in \"" + letters + "\":\n"
        "  for a in (0x300, 0x301, 0x302, 0x303 if l == \"n\" else 0x308):\n"
        "    for c in (l, l.upper()):\n"
        "      s = unicodedata.normalize(\"NFC\", c + chr(a))\n"
        "      print(ord(s) if len(s) == 1 else 0)");
    if (composed.empty()) GTEST_SKIP() << "python3 is not installed; skipped";
    ASSERT_EQ(composed.size(), std::size(kComposedLetters) * 8);
    std::size_t i = 0;
    for (const ComposedLetter& c : kComposedLetters) {
        for (int accent = 0; accent < 4; ++accent, i += 2) {
            if (c.code[accent] == 0) continue;
            EXPECT_EQ(stream::unicode_of(1, c.code[accent]), static_cast<char32_t>(composed[i])) << c.letter << accent;
            EXPECT_EQ(stream::unicode_of(1, c.code[accent] - 1), static_cast<char32_t>(composed[i + 1]))
                << c.letter << accent;
        }
    }
}

// Adobe's Symbol encoding, for the bytes the Symbol table writes as pairs
// (the others it writes as ASCII).
constexpr std::pair<int, char32_t> kAdobeSymbol[] = {
    {0x22, 0x2200}, {0x24, 0x2203}, {0x27, 0x220B}, {0x2A, 0x2217}, {0x40, 0x2245}, {0x41, 0x0391}, {0x42, 0x0392}, {0x43, 0x03A7},
    {0x44, 0x0394}, {0x45, 0x0395}, {0x46, 0x03A6}, {0x47, 0x0393}, {0x48, 0x0397}, {0x49, 0x0399}, {0x4A, 0x03D1}, {0x4B, 0x039A},
    {0x4C, 0x039B}, {0x4D, 0x039C}, {0x4E, 0x039D}, {0x4F, 0x039F}, {0x50, 0x03A0}, {0x51, 0x0398}, {0x52, 0x03A1}, {0x53, 0x03A3},
    {0x54, 0x03A4}, {0x55, 0x03A5}, {0x56, 0x03C2}, {0x57, 0x03A9}, {0x58, 0x039E}, {0x59, 0x03A8}, {0x5A, 0x0396}, {0x5C, 0x2234},
    {0x5E, 0x22A5}, {0x60, 0xF8E5}, {0x61, 0x03B1}, {0x62, 0x03B2}, {0x63, 0x03C7}, {0x64, 0x03B4}, {0x65, 0x03B5}, {0x66, 0x03C6},
    {0x67, 0x03B3}, {0x68, 0x03B7}, {0x69, 0x03B9}, {0x6A, 0x03D5}, {0x6B, 0x03BA}, {0x6C, 0x03BB}, {0x6D, 0x03BC}, {0x6E, 0x03BD},
    {0x6F, 0x03BF}, {0x70, 0x03C0}, {0x71, 0x03B8}, {0x72, 0x03C1}, {0x73, 0x03C3}, {0x74, 0x03C4}, {0x75, 0x03C5}, {0x76, 0x03D6},
    {0x77, 0x03C9}, {0x78, 0x03BE}, {0x79, 0x03C8}, {0x7A, 0x03B6}, {0xA2, 0x2032}, {0xA3, 0x2264}, {0xA4, 0x2215}, {0xA5, 0x221E},
    {0xA6, 0x0192}, {0xA7, 0x2663}, {0xA8, 0x2666}, {0xA9, 0x2665}, {0xAA, 0x2660}, {0xAB, 0x2194}, {0xAC, 0x2190}, {0xAD, 0x2191},
    {0xAE, 0x2192}, {0xAF, 0x2193}, {0xB0, 0x00B0}, {0xB1, 0x00B1}, {0xB2, 0x2033}, {0xB3, 0x2265}, {0xB4, 0x00D7}, {0xB5, 0x221D},
    {0xB6, 0x2202}, {0xB7, 0x2022}, {0xB8, 0x00F7}, {0xB9, 0x2260}, {0xBA, 0x2261}, {0xBB, 0x2248}, {0xBC, 0x2026}, {0xBD, 0xF8E6},
    {0xBE, 0xF8E7}, {0xC1, 0x2111}, {0xC2, 0x211C}, {0xC3, 0x2118}, {0xC4, 0x2297}, {0xC5, 0x2295}, {0xC6, 0x2205}, {0xC7, 0x2229},
    {0xC8, 0x222A}, {0xC9, 0x2283}, {0xCA, 0x2287}, {0xCB, 0x2284}, {0xCC, 0x2282}, {0xCD, 0x2286}, {0xCE, 0x2208}, {0xCF, 0x2209},
    {0xD0, 0x2220}, {0xD1, 0x2207}, {0xD2, 0xF6DA}, {0xD3, 0xF6D9}, {0xD4, 0xF6DB}, {0xD5, 0x220F}, {0xD6, 0x221A}, {0xD7, 0x22C5},
    {0xD8, 0x00AC}, {0xD9, 0x2227}, {0xDA, 0x2228}, {0xDB, 0x21D4}, {0xDC, 0x21D0}, {0xDD, 0x21D1}, {0xDE, 0x21D2}, {0xDF, 0x21D3},
    {0xE0, 0x25CA}, {0xE1, 0x2329}, {0xE2, 0xF8E8}, {0xE3, 0xF8E9}, {0xE4, 0xF8EA}, {0xE5, 0x2211}, {0xE6, 0xF8EB}, {0xE7, 0xF8EC},
    {0xE8, 0xF8ED}, {0xE9, 0xF8EE}, {0xEA, 0xF8EF}, {0xEB, 0xF8F0}, {0xEC, 0xF8F1}, {0xED, 0xF8F2}, {0xEE, 0xF8F3}, {0xEF, 0xF8F4},
    {0xF1, 0x232A}, {0xF2, 0x222B}, {0xF3, 0x2320}, {0xF4, 0xF8F5}, {0xF5, 0x2321}, {0xF6, 0xF8F6}, {0xF7, 0xF8F7}, {0xF8, 0xF8F8},
    {0xF9, 0xF8F9}, {0xFA, 0xF8FA}, {0xFB, 0xF8FB}, {0xFC, 0xF8FC}, {0xFD, 0xF8FD}, {0xFE, 0xF8FE},};

TEST(Characters, SymbolPairsMeanAdobesSymbolCharacters) {
    // Adobe gives the serif and sans serif marks and the pieces of large
    // brackets code points of its own; Unicode has them since 3.2.
    const std::map<char32_t, char32_t> standard = {
        {0xF6DA, 0x00AE}, {0xF6D9, 0x00A9}, {0xF6DB, 0x2122}, {0xF8E8, 0x00AE}, {0xF8E9, 0x00A9},
        {0xF8EA, 0x2122}, {0xF8EB, 0x239B}, {0xF8EC, 0x239C}, {0xF8ED, 0x239D}, {0xF8EE, 0x23A1},
        {0xF8EF, 0x23A2}, {0xF8F0, 0x23A3}, {0xF8F1, 0x23A7}, {0xF8F2, 0x23A8}, {0xF8F3, 0x23A9},
        {0xF8F4, 0x23AA}, {0xF8F5, 0x23AE}, {0xF8F6, 0x239E}, {0xF8F7, 0x239F}, {0xF8F8, 0x23A0},
        {0xF8F9, 0x23A4}, {0xF8FA, 0x23A5}, {0xF8FB, 0x23A6}, {0xF8FC, 0x23AB}, {0xF8FD, 0x23AC},
        {0xF8FE, 0x23AD},
    };
    // Where WordPerfect has no such character and the table writes a near
    // one: congruent as identical, the bullet as a diamond, the dot
    // operator as a middle dot, the radical extender as an overline, the
    // arrow extenders as box lines.
    const std::map<int, char32_t> written_as = {
        {0x40, 0x2261}, {0xB7, 0x25C6}, {0xD7, 0x00B7}, {0x60, 0x203E}, {0xBD, 0x2502}, {0xBE, 0x2500},
    };
    for (const auto& [byte, adobe] : kAdobeSymbol) {
        const std::uint16_t e = kSymbolTable[byte];
        ASSERT_NE(e >> 8, 0) << std::hex << byte;
        char32_t want = adobe;
        if (const auto s = standard.find(adobe); s != standard.end()) want = s->second;
        if (const auto near = written_as.find(byte); near != written_as.end()) want = near->second;
        EXPECT_EQ(stream::unicode_of(e >> 8, e & 0xFF), want) << std::hex << "byte " << byte;
    }
    // Every pair of the Symbol table from its printable bytes on is among them.
    std::size_t pairs = 0;
    for (int b = 0x20; b < 256; ++b) pairs += (kSymbolTable[b] >> 8) != 0;
    EXPECT_EQ(pairs, std::size(kAdobeSymbol));
}

TEST(Characters, EveryPairAReaderWritesHasAMeaning) {
    for (const std::uint16_t* table : {kMacintoshTable, kSymbolTable}) {
        for (int b = 0; b < 256; ++b) {
            if (table[b] >> 8) {
                EXPECT_NE(stream::unicode_of(table[b] >> 8, table[b] & 0xFF), 0u) << std::hex << b;
            }
        }
    }
    for (const ComposedLetter& c : kComposedLetters) {
        for (std::uint8_t code : c.code) {
            if (code) {
                EXPECT_NE(stream::unicode_of(1, code), 0u) << c.letter;
            }
        }
    }
    EXPECT_EQ(stream::unicode_of(1, 0x18), 0u);  // no reader writes it
    EXPECT_EQ(stream::unicode_of(15, 1), 0u);
    EXPECT_EQ(stream::unicode_of_code(0x4B), 0x00ABu);
}

}  // namespace
}  // namespace verbatra
