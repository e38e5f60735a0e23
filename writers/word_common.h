// What the two Word writers share: little-endian numbers, the character
// style bits, the paragraph in progress, and setting one section of the
// stream (a note, a header, a footer) aside to be written later.
#pragma once

#include <cstdint>

#include "pipeline/byte_file.h"
#include "stream/decoder.h"
#include "stream/emitter.h"

namespace verbatra {

namespace word {

// Bits of the character style word both Word writers keep.
inline constexpr unsigned kBold = 0x01, kUnderline = 0x02, kStrike = 0x04, kSuper = 0x08, kItalic = 0x10,
                          kCaps = 0x40, kVariant = 0x80, kSpecial = 0x100;

// The style bits of each on/off code pair, by its on code (the off code is
// the next one).
struct StyleCode {
    std::uint8_t on;
    unsigned bits;
};
inline constexpr StyleCode kStyleCodes[] = {
    {stream::kBoldOn, kBold},           {stream::kUnderlineOn, kUnderline},
    {stream::kSubscriptOn, kSuper | kVariant}, {stream::kSuperscriptOn, kSuper},
    {stream::kStrikeOn, kStrike},       {stream::kItalicOn, kItalic},
    {stream::kAllCapsOn, kCaps},        {stream::kDoubleUnderlineOn, kUnderline | kVariant},
    {stream::kSmallCapsOn, kCaps | kVariant},
};

// The style bits that code `code` switches, and whether on; 0 for a code
// that is not a style code.
inline unsigned style_code_bits(int code, bool& on) {
    for (const StyleCode& s : kStyleCodes) {
        if (code == s.on || code == s.on + 1) {
            on = code == s.on;
            return s.bits;
        }
    }
    return 0;
}

}  // namespace word

inline void put16(std::uint8_t* p, unsigned v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void put32(std::uint8_t* p, std::uint32_t v) {
    put16(p, v & 0xFFFF);
    put16(p + 2, v >> 16);
}
inline std::uint32_t get32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// The column after the tab stop that follows `column` (1 when none does).
inline int next_stop_after(const TabState& tabs, int column) {
    const int next = next_tab(tabs, column, 1);
    return next < 0 ? 1 : next;
}

namespace word {

// Paragraph flag bits both writers give the same meaning.
inline constexpr unsigned kRight = 0x01, kCentre = 0x02, kJustify = 0x04, kIndent = 0x08, kFirstIndent = 0x10,
                          kSpacing = 0x40;

// The paragraph in progress as both writers follow it through the stream:
// its flags and those carried on to the next paragraph, the column and the
// tabs met so far, the tab stops, and the indent set at a column.
struct ParagraphState {
    unsigned pflags_ = 0, carried_ = 0;
    int column_ = 0;
    int tab_count_ = 0;
    int indent_column_ = 0;
    bool indent_kept_ = false;
    TabState tabs_;

    void both(unsigned set, unsigned clear = 0) {
        pflags_ = (pflags_ | set) & ~clear;
        carried_ = (carried_ | set) & ~clear;
    }
    // An alignment switched off holds from the next paragraph on; switched
    // off before anything of the paragraph is written (readers switch the
    // old alignment off as a new paragraph starts), it holds for this one.
    void alignment_off(unsigned bit) {
        carried_ &= ~bit;
        if (column_ == 0 && tab_count_ == 0) pflags_ &= ~bit;
    }
    // A tab of the text: how many tab bytes to write. A leading tab is a
    // first-line indent (none written); a second tab after it writes both.
    int tab(int previous) {
        if (column_ == 0 && !(pflags_ & kFirstIndent)) {
            pflags_ |= kFirstIndent;
            ++tab_count_;
            return 0;
        }
        int bytes = 1;
        if (previous == 0x09 && (pflags_ & kFirstIndent)) {
            bytes = 2;
            pflags_ &= ~kFirstIndent;
            column_ = next_stop_after(tabs_, column_);
        }
        ++tab_count_;
        column_ = next_stop_after(tabs_, column_);
        return bytes;
    }
    // The next paragraph starts with the carried flags, never a first-line
    // indent.
    void next_paragraph() {
        carried_ &= ~kFirstIndent;
        pflags_ = carried_;
    }
    // The indent codes: the indent goes to the next tab stop after the
    // column, for this paragraph and those after it, until switched off.
    void indent_here() {
        const int next = next_tab(tabs_, column_, 0);
        indent_column_ = next < 0 ? 5 : next;
        indent_kept_ = true;
        both(column_ == 0 ? kIndent : kIndent | kFirstIndent);
    }
    void indent_off() {
        indent_kept_ = false;
        indent_column_ = 0;
        carried_ &= ~(kIndent | kFirstIndent);
    }
};

// The text as it goes into the target, byte by byte: its file position,
// and whether it has passed what 16-bit page numbers can address (the
// writer then fails the document rather than write a file no reader
// opens).
class TextOut {
protected:
    static constexpr long kMaxPages = 65535;

    TextOut(ByteFile& target, long start, long page_size)
        : target_(target), pos_(start), limit_(kMaxPages * page_size) {}

    void text(std::uint8_t b) {
        target_.put(b);
        if (++pos_ > limit_) too_large_ = true;
    }

    ByteFile& target_;
    long pos_;
    bool too_large_ = false;

private:
    long limit_;
};

}  // namespace word

// How many tabs right-align the rest of a line from `column`: the stops up
// to the right margin, or a tab every five columns; 0 when that is not 1
// to 14.
inline int right_alignment_tabs(const TabState& tabs, int column, int right_margin) {
    int n = count_tabs(tabs, column, right_margin);
    if (n == 0) n = (right_margin - column) / 5;
    return n >= 1 && n <= 14 ? n : 0;
}

// Writes the section that `start` opens to `out`, its start, its content
// and its end, as stream bytes to be read again later.
inline void set_section_aside(const stream::Event& start, stream::Decoder& decoder, ByteFile& out) {
    stream::write_event(start, out);
    stream::Event e;
    do {
        if (!decoder.next(e)) return;
        stream::write_event(e, out);
    } while (e.kind != stream::Kind::kSectionEnd);
}

}  // namespace verbatra
