// The intermediate stream: the one contract between the readers and the
// writers. Text bytes, and codes introduced by 0x5C, each code followed by
// a fixed number of argument bytes that its code byte alone decides.
//
// Everything a writer needs to know of a code is in kCodeTable below: its
// name, how many argument bytes follow and what they mean, and for the
// on/off pairs which code undoes which. stream/decoder.h reads the bytes
// by this table, so no writer counts arguments of its own.
//
// Text bytes are ASCII 0x20 to 0x7E; every other character travels as a
// set-character code whose two arguments are a WordPerfect 5.1 character
// set and a character of that set (stream/charsets.h gives each pair any
// reader makes its Unicode character).
//
// Sections: a header, footer or note runs from its start code to the next
// end-of-section code. Sections do not nest: a start met inside an open
// section is dropped (its text stays in the open section, which the next
// end closes); an end with no section open is dropped; the end of the
// stream closes a section left open.
//
// Pictures: the code byte, kPictureHeaderBytes bytes (kind, 3 unused, the
// height big-endian, 2 unused, the width big-endian), then hexadecimal
// digits up to and including the first 0x5C 0x7F, which ends the picture,
// not a section.
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
    kReserved21 = 0x21,
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
    kReserved36 = 0x36, kReserved37 = 0x37, kReserved38 = 0x38, kReserved39 = 0x39,
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
    // Column codes no reader writes; the WordPerfect writer follows them.
    kColumnStart = 0x4D, kColumnMark = 0x50, kColumnBreak = 0x51,
    kLeftAligned = 0x53,
    kBackslash = 0x5C,
    kEndSection = 0x7F,
    kSetTab = 0x80,
    kClearTab = 0x81,
    kParagraphStyle = 0x87,  // a style number the Word for Windows 2 writer follows; no reader writes it
    kLeftMargin = 0x88,
    kRightMargin = 0x89,
    kIndentHere = 0x8A,
    kIndent2 = 0x8B,
    kIndentOff = 0x8C,
    kFontClass = 0x8F,
    kFontSize = 0x90,
    kSymbolFont = 0x91,
    kReserved92 = 0x92, kReserved93 = 0x93, kReserved94 = 0x94, kReserved95 = 0x95,
    kLineSpacing = 0x96,
    kMeasure97 = 0x97,
    kColumnCount = 0x98,
    kHeaderEven = 0x9C, kHeaderOdd = 0x9D, kHeaderAll = 0x9E,
    kFooterEven = 0x9F, kFooterOdd = 0xA0, kFooterAll = 0xA1,
    kNoteStart = 0xA2,
    kParagraphBorder = 0xB0,
    kParagraphReset = 0xB1,
    kPicture = 0xC0,
    kFontName = 0xC1,
    kTextColour = 0xD0,
};

// What a code is, and so how a writer takes its arguments.
enum class Role : std::uint8_t {
    kOther,       // reserved or unknown: skipped with its arguments
    kCharacter,   // a character: set character, the dedicated characters
    kStyleOn,     // switches a character style on; the code after it switches it off
    kStyleOff,
    kAlignOn,     // switches a paragraph alignment on; the code after it off
    kAlignOff,
    kValue,       // two arguments: the previous value, then the new one
    kTabStop,     // two arguments: the tab kind, then the column
    kParagraph,   // a paragraph property with arguments of its own
    kPlace,       // marks a place in the text: page number, optional hyphen
    kSectionStart,
    kSectionEnd,
    kPicture,     // its length is its content (above)
    kFontName,    // one length byte n, then n bytes of the name
};

struct CodeInfo {
    std::uint8_t code;
    std::uint8_t args;
    Role role;
    const char* name;  // in the stream dump; "/name" is the off code of a pair
};

// Marks the codes whose length is their content in the argument counts.
inline constexpr std::uint8_t kVariableArgs = 0xFF;

// Bytes that follow the code byte of a picture before its hexadecimal data.
inline constexpr int kPictureHeaderBytes = 10;

// Tab kinds of the set-tab code.
enum TabKind : std::uint8_t { kTabLeft = 1, kTabCentre = 2, kTabRight = 3, kTabDecimal = 4, kTabBar = 5 };

// Border bits of the paragraph-border code (its second argument is unused).
inline constexpr std::uint8_t kBorderTop = 0x01, kBorderLeft = 0x02, kBorderBottom = 0x04, kBorderRight = 0x08,
                              kBorderDouble = 0x20;

// Every code with a meaning. A code byte not listed takes one argument byte
// when it is 0x80 or lower, two when higher, and means nothing.
inline constexpr CodeInfo kCodeTable[] = {
    {kSetChar, 2, Role::kCharacter, "char"},  // set, character of the set
    {kReserved21, 0, Role::kOther, "reserved-21"},
    {kClearAllTabs, 0, Role::kTabStop, "clear-all-tabs"},
    {kBoldOn, 0, Role::kStyleOn, "bold"}, {kBoldOff, 0, Role::kStyleOff, "/bold"},
    {kUnderlineOn, 0, Role::kStyleOn, "underline"}, {kUnderlineOff, 0, Role::kStyleOff, "/underline"},
    {kSubscriptOn, 0, Role::kStyleOn, "subscript"}, {kSubscriptOff, 0, Role::kStyleOff, "/subscript"},
    {kSuperscriptOn, 0, Role::kStyleOn, "superscript"}, {kSuperscriptOff, 0, Role::kStyleOff, "/superscript"},
    {kCentredOn, 0, Role::kAlignOn, "centred"}, {kCentredOff, 0, Role::kAlignOff, "/centred"},
    {kStrikeOn, 0, Role::kStyleOn, "strike"}, {kStrikeOff, 0, Role::kStyleOff, "/strike"},
    {kItalicOn, 0, Role::kStyleOn, "italic"}, {kItalicOff, 0, Role::kStyleOff, "/italic"},
    {kHiddenOn, 0, Role::kStyleOn, "hidden"}, {kHiddenOff, 0, Role::kStyleOff, "/hidden"},
    {kPageNumber, 0, Role::kPlace, "page-number"},
    {kNonBreakingSpace, 0, Role::kCharacter, "nbsp"},
    {kReserved35, 0, Role::kOther, "reserved-35"},
    {kReserved36, 0, Role::kOther, "reserved-36"}, {kReserved37, 0, Role::kOther, "reserved-37"},
    {kReserved38, 0, Role::kOther, "reserved-38"}, {kReserved39, 0, Role::kOther, "reserved-39"},
    // A line end right after it belongs to it: the decoder takes the two as
    // one, and says so in the event.
    {kOptionalHyphen, 0, Role::kPlace, "optional-hyphen"},
    {kAllCapsOn, 0, Role::kStyleOn, "all-caps"}, {kAllCapsOff, 0, Role::kStyleOff, "/all-caps"},
    {kShadowOn, 0, Role::kStyleOn, "shadow"}, {kShadowOff, 0, Role::kStyleOff, "/shadow"},
    {kStyleB1On, 0, Role::kStyleOn, "style-b1"}, {kStyleB1Off, 0, Role::kStyleOff, "/style-b1"},
    {kDoubleUnderlineOn, 0, Role::kStyleOn, "double-underline"},
    {kDoubleUnderlineOff, 0, Role::kStyleOff, "/double-underline"},
    {kJustifiedOn, 0, Role::kAlignOn, "justified"}, {kJustifiedOff, 0, Role::kAlignOff, "/justified"},
    {kRightOn, 0, Role::kAlignOn, "right"}, {kRightOff, 0, Role::kAlignOff, "/right"},
    {kSmallCapsOn, 0, Role::kStyleOn, "small-caps"}, {kSmallCapsOff, 0, Role::kStyleOff, "/small-caps"},
    {kOutlineOn, 0, Role::kStyleOn, "outline"}, {kOutlineOff, 0, Role::kStyleOff, "/outline"},
    {kLeftGuillemet, 0, Role::kCharacter, "left-guillemet"},
    {kRightGuillemet, 0, Role::kCharacter, "right-guillemet"},
    {kLeftAligned, 0, Role::kOther, "left"},  // at most once, never switched off
    {kBackslash, 0, Role::kCharacter, "backslash"},
    {kEndSection, 0, Role::kSectionEnd, "end-section"},
    {kSetTab, 2, Role::kTabStop, "set-tab"},      // kind, column 1 to 255
    {kClearTab, 2, Role::kTabStop, "clear-tab"},  // the kind it had, column
    {kLeftMargin, 2, Role::kValue, "left-margin"},
    {kRightMargin, 2, Role::kValue, "right-margin"},
    {kIndentHere, 2, Role::kParagraph, "indent-here"},  // arguments unused
    {kIndent2, 2, Role::kValue, "indent-2"},
    {kIndentOff, 2, Role::kParagraph, "indent-off"},    // arguments unused
    {kFontClass, 2, Role::kValue, "font-class"},  // 0 other, 1 roman, 2 sans serif, 3 symbol, 4 dingbats
    {kFontSize, 2, Role::kValue, "font-size"},    // signed: the point size negated
    {kSymbolFont, 2, Role::kValue, "symbol-font"},
    {kReserved92, 2, Role::kValue, "reserved-92"}, {kReserved93, 2, Role::kValue, "reserved-93"},
    {kReserved94, 2, Role::kValue, "reserved-94"}, {kReserved95, 2, Role::kValue, "reserved-95"},
    {kLineSpacing, 2, Role::kValue, "line-spacing"},  // 8 single, more wider
    {kMeasure97, 2, Role::kValue, "measure-97"},
    {kHeaderEven, 2, Role::kSectionStart, "header-even"},
    {kHeaderOdd, 2, Role::kSectionStart, "header-odd"},
    {kHeaderAll, 2, Role::kSectionStart, "header"},
    {kFooterEven, 2, Role::kSectionStart, "footer-even"},
    {kFooterOdd, 2, Role::kSectionStart, "footer-odd"},
    {kFooterAll, 2, Role::kSectionStart, "footer"},
    // Note kind (0 a footnote), then the note number from 1 when it fits a
    // byte (0 when the reader has none): writers number notes themselves.
    {kNoteStart, 2, Role::kSectionStart, "note"},
    {kParagraphBorder, 2, Role::kParagraph, "border"},  // border bits, unused
    {kParagraphReset, 2, Role::kParagraph, "paragraph-reset"},
    {kPicture, kVariableArgs, Role::kPicture, "picture"},
    // The name of the font of the text after it, in Macintosh characters.
    {kFontName, kVariableArgs, Role::kFontName, "font"},
    {kTextColour, 2, Role::kValue, "colour"},  // previous, new colour index
};

constexpr std::array<std::uint8_t, 256> make_arg_counts() {
    std::array<std::uint8_t, 256> counts{};
    for (int c = 0; c < 256; ++c) counts[c] = c <= 0x80 ? 1 : 2;
    for (const CodeInfo& info : kCodeTable) counts[info.code] = info.args;
    return counts;
}

// Argument bytes after each code byte.
inline constexpr std::array<std::uint8_t, 256> kArgCount = make_arg_counts();

constexpr std::array<std::uint8_t, 256> make_info_index() {
    std::array<std::uint8_t, 256> index{};
    index.fill(0xFF);
    for (std::size_t i = 0; i < std::size(kCodeTable); ++i) index[kCodeTable[i].code] = static_cast<std::uint8_t>(i);
    return index;
}
inline constexpr std::array<std::uint8_t, 256> kInfoIndex = make_info_index();
static_assert(std::size(kCodeTable) < 0xFF);

// What the table says of `code`; null for a code without a meaning.
constexpr const CodeInfo* code_info(std::uint8_t code) {
    return kInfoIndex[code] == 0xFF ? nullptr : &kCodeTable[kInfoIndex[code]];
}
constexpr Role role_of(std::uint8_t code) {
    return kInfoIndex[code] == 0xFF ? Role::kOther : kCodeTable[kInfoIndex[code]].role;
}
// A readable name for a code, for the stream dump; null for unknown codes.
constexpr const char* code_name(std::uint8_t code) {
    return kInfoIndex[code] == 0xFF ? nullptr : kCodeTable[kInfoIndex[code]].name;
}

// The code that switches off what the on code `code` switches on.
constexpr std::uint8_t off_code(std::uint8_t on) { return static_cast<std::uint8_t>(on + 1); }

static_assert([] {
    for (const CodeInfo& info : kCodeTable) {
        if ((info.role == Role::kStyleOn && role_of(off_code(info.code)) != Role::kStyleOff) ||
            (info.role == Role::kAlignOn && role_of(off_code(info.code)) != Role::kAlignOff))
            return false;
    }
    return true;
}(), "every on code is followed by its off code");

}  // namespace verbatra::stream
