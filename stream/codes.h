// The intermediate stream: text bytes and codes introduced by 0x5C, each
// code followed by a fixed number of argument bytes. This is the one
// contract between the readers and the writers.
#pragma once

#include <array>
#include <cstdint>

namespace verbatra::stream {

inline constexpr std::uint8_t kEscape = 0x5C;

// Control bytes.
inline constexpr std::uint8_t kTab = 0x09;
inline constexpr std::uint8_t kLineEnd = 0x0A;   // inside a paragraph
inline constexpr std::uint8_t kPageBreak = 0x0C;
inline constexpr std::uint8_t kParagraphEnd = 0x0D;

// Code bytes (the byte after 0x5C).
enum Code : std::uint8_t {
    kSetChar = 0x20,
    kClearAllTabs = 0x22,
    kBoldOn = 0x23, kBoldOff = 0x24,
    kUnderlineOn = 0x25, kUnderlineOff = 0x26,
    kSubscriptOn = 0x27, kSubscriptOff = 0x28,
    kSuperscriptOn = 0x29, kSuperscriptOff = 0x2A,
    kCentredOn = 0x2B, kCentredOff = 0x2C,
    kStrikeOn = 0x2D, kStrikeOff = 0x2E,
    kItalicOn = 0x2F, kItalicOff = 0x30,
    kHiddenOn = 0x31, kHiddenOff = 0x32,
    kPageNumber = 0x33,
    kNonBreakingSpace = 0x34,
    kReserved35 = 0x35,
    kOptionalHyphen = 0x3A,
    kAllCapsOn = 0x3B, kAllCapsOff = 0x3C,
    kShadowOn = 0x3D, kShadowOff = 0x3E,
    kStyleB1On = 0x3F, kStyleB1Off = 0x40,
    kDoubleUnderlineOn = 0x41, kDoubleUnderlineOff = 0x42,
    kJustifiedOn = 0x43, kJustifiedOff = 0x44,
    kRightOn = 0x45, kRightOff = 0x46,
    kSmallCapsOn = 0x47, kSmallCapsOff = 0x48,
    kOutlineOn = 0x49, kOutlineOff = 0x4A,
    kLeftGuillemet = 0x4B, kRightGuillemet = 0x4C,
    kLeftAligned = 0x53,
    kBackslash = 0x5C,
    kEndSection = 0x7F,
    kSetTab = 0x80,
    kClearTab = 0x81,
    kLeftMargin = 0x88,
    kRightMargin = 0x89,
    kIndentHere = 0x8A,
    kIndent2 = 0x8B,
    kIndentOff = 0x8C,
    kFontClass = 0x8F,
    kFontSize = 0x90,
    kSymbolFont = 0x91,
    kLineSpacing = 0x96,
    kMeasure97 = 0x97,
    kHeaderEven = 0x9C, kHeaderOdd = 0x9D, kHeaderAll = 0x9E,
    kFooterEven = 0x9F, kFooterOdd = 0xA0, kFooterAll = 0xA1,
    kNoteStart = 0xA2,
    kParagraphBorder = 0xB0,
    kParagraphReset = 0xB1,
    kPicture = 0xC0,
    kTextColour = 0xD0,
};

// Tab kinds of the set-tab code.
enum TabKind : std::uint8_t { kTabLeft = 1, kTabCentre = 2, kTabRight = 3, kTabDecimal = 4, kTabBar = 5 };

// Bytes that follow the code byte of a picture before its hexadecimal data.
inline constexpr int kPictureHeaderBytes = 10;

// Marks the picture code in the argument table: its length is its content.
inline constexpr std::uint8_t kVariableArgs = 0xFF;

constexpr bool takes_no_args(std::uint8_t code) {
    return (code >= 0x21 && code <= 0x4C) || code == kLeftAligned || code == kBackslash || code == kEndSection;
}

constexpr std::array<std::uint8_t, 256> make_arg_counts() {
    std::array<std::uint8_t, 256> counts{};
    for (int c = 0; c < 256; ++c) {
        auto code = static_cast<std::uint8_t>(c);
        if (code == kPicture) counts[c] = kVariableArgs;
        else if (code == kSetChar || code == kSetTab) counts[c] = 2;
        else if (takes_no_args(code)) counts[c] = 0;
        else counts[c] = code <= 0x80 ? 1 : 2;
    }
    return counts;
}

// Argument bytes after each code byte.
inline constexpr std::array<std::uint8_t, 256> kArgCount = make_arg_counts();

// A readable name for a code, for the stream dump; null for unknown codes.
const char* code_name(std::uint8_t code);

}  // namespace verbatra::stream
