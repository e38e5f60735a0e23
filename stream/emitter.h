// Per-document character, paragraph and tab state, and the operations
// through which readers write style, alignment, size and tab codes. Each
// operation writes a code only when the property really changes, and keeps
// the records in step with what the stream says.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "pipeline/byte_file.h"

namespace verbatra {

struct CharState {
    std::string font_name;  // as written to the stream; empty: none named
    std::uint8_t symbol_font = 0;
    std::uint8_t font_class = 0;
    std::uint8_t colour = 0;
    std::int32_t size = -10;  // points, negated
    std::uint8_t style_count = 0;
    std::uint8_t style_a = 0;
    std::uint8_t style_b = 0;
};

struct ParaState {
    std::int32_t alignment_count = 0;
    std::int32_t justified = 0;
    std::int32_t right_aligned = 0;
    std::int32_t centred = 0;
    std::int32_t left_marked = 0;
    std::int32_t left_margin = 0;
    std::int32_t right_margin = 79;
    std::int32_t indent1 = 0;
    std::int32_t indent2 = 0;
    std::int32_t line_spacing = 8;
    std::int32_t measure_97 = 6;
    std::int32_t measure_8e = 0;
};

inline constexpr std::int32_t kTabMark = 0x80;

struct TabState {
    std::array<std::int32_t, 256> stops{};  // 0 or a tab kind, + kTabMark
    std::int32_t changed = 0;
};

// Style bits: 0-7 are style A, 8-12 style B.
enum StyleBit : int {
    kBold = 0, kUnderline = 1, kSubscript = 2, kSuperscript = 3,
    kStrikethrough = 4, kItalic = 5, kHidden = 6, kAllCaps = 7,
    kShadow = 8, kStyleB1 = 9, kDoubleUnderline = 10, kSmallCaps = 11, kOutline = 12,
};

// Alignment kinds of set_alignment.
enum Alignment : int { kAlignLeft = 0, kAlignCentre = 1, kAlignJustify = 2, kAlignRight = 3 };

// Rewinds `input` and resets the records; -2 (and nothing changed) when the
// input is empty. `tabs` may be null.
int reset_document_state(ByteFile& input, CharState& cs, ParaState& ps, TabState* tabs);

void style_on(CharState& cs, int bit, int only_if_off, ByteFile& out);
void style_off(CharState& cs, int bit, ByteFile& out);
void all_styles_off(CharState& cs, ByteFile& out);
void reemit_styles(CharState& cs, ByteFile& out);
bool style_is_set(const CharState& cs, int bit);

// A bit of a source format's style flags and the style it stands for.
struct StyleFlag {
    unsigned bit;
    int style;
};
// The style bits of the classic Macintosh style byte, as MacWrite and Works
// 2 store it (the first five are those of every Macintosh format).
inline constexpr StyleFlag kMacintoshStyleFlags[] = {
    {0x01, kBold}, {0x02, kItalic}, {0x04, kUnderline}, {0x08, kOutline},
    {0x10, kShadow}, {0x20, kSuperscript}, {0x40, kSubscript},
};
// Switches each style of `table` on (only if off) or off to match its bit
// in `flags`, in the order of the table.
void match_styles(CharState& cs, unsigned flags, std::span<const StyleFlag> table, ByteFile& out);

void set_font_class(CharState& cs, int font_class, ByteFile& out);
// Names the font of the text that follows (empty: a font of no known
// name), writing the code on a change.
void set_font_name(CharState& cs, const std::string& name, ByteFile& out);
void set_symbol_font(CharState& cs, int value, ByteFile& out);
void set_font_size(CharState& cs, int points, ByteFile& out);
void set_font_size_if_given(CharState& cs, int points, ByteFile& out);

void set_alignment(ParaState& ps, int kind, ByteFile& out);
void alignments_off(ParaState& ps, ByteFile& out);
void reemit_alignment(const ParaState& ps, ByteFile& out);

void set_line_spacing(ParaState& ps, int value, ByteFile& out);

void mark_tabs(TabState& tabs);
void flush_marked_tabs(ByteFile& out, TabState& tabs);
// Sets one stop of a new ruler between mark_tabs and flush_marked_tabs: a
// kept stop loses its mark, a new stop is written, a stop of another kind is
// cleared and written anew.
void set_tab_stop(TabState& tabs, int column, int kind, ByteFile& out);
void set_tab_grid(TabState& tabs, ByteFile& out, int start, int step, int end, int emit);
int first_tab(const TabState& tabs);
int next_tab(const TabState& tabs, int column, int step);
int next_tab_kind(const TabState& tabs, int column, int step);
int count_tabs(const TabState& tabs, int start, int end);

void write_section_code(std::uint8_t code, ByteFile& out);

// Writes a picture: its code, its kind (1: a Macintosh picture), its frame
// (points, each side clamped to 0-32767), then `length` bytes of `data`
// from where it stands, as hexadecimal digits, and the closing code.
// False, with the picture still closed, when `data` ends sooner.
bool write_picture(int kind, int height, int width, ByteFile& data, long length, ByteFile& out);
// Writes `byte` `count` times; nothing when `count` <= 0. Returns `count`
// (0 when nothing was written). `out` is a ByteFile or a ByteOut cursor.
template <typename Out>
int write_repeated(int count, std::uint8_t byte, Out& out) {
    if (count <= 0) return 0;
    for (int i = 0; i < count; ++i) out.put(byte);
    return count;
}

// Writes source character `byte` through a source table (high byte = set,
// low byte = code; high byte 0 = plain character). An entry 0 writes
// nothing and a plain backslash is written as the literal-backslash code.
// Returns the number of stream bytes written. `out` is a ByteFile or, in a
// hot loop, a ByteOut cursor.
template <typename Out>
inline int write_source_char(const std::uint16_t* table, std::uint8_t byte, Out& out) {
    std::uint16_t e = table[byte];
    if (e > 0xFF) {
        out.put(0x5C);
        out.put(0x20);
        out.put(static_cast<std::uint8_t>(e >> 8));
        out.put(static_cast<std::uint8_t>(e));
        return 4;
    }
    if (e == 0) return 0;
    if (e == 0x5C) {
        out.put(0x5C);
        out.put(0x5C);
        return 2;
    }
    out.put(static_cast<std::uint8_t>(e));
    return 1;
}

// Writes code `code` (its 0x5C and code byte already read from `in`) to
// `out`, with its argument bytes copied from `in`; a picture's content
// follows as ordinary bytes. False when `in` ends inside the arguments.
bool copy_code(int code, ByteFile& in, ByteFile& out);

// Input operations for moving through a source file.
void skip_bytes(long count, ByteFile& input);
long advance_to(long start, long target, ByteFile& input);
long skip_past_byte(int value, ByteFile& input);
long find_text(const std::string& text, ByteFile& input);

constexpr std::uint32_t swap16(std::uint32_t v) {
    return (v & 0xFFFF0000u) | ((v & 0xFFu) << 8) | ((v >> 8) & 0xFFu);
}
constexpr std::uint32_t swap32(std::uint32_t v) {
    return (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
}

}  // namespace verbatra
