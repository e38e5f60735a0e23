#include "stream/emitter.h"

#include <algorithm>
#include <vector>

#include "stream/codes.h"

namespace verbatra {

namespace {

// On code of each style bit; the off code is always the next byte value.
constexpr std::uint8_t kStyleOnCode[13] = {
    stream::kBoldOn, stream::kUnderlineOn, stream::kSubscriptOn, stream::kSuperscriptOn,
    stream::kStrikeOn, stream::kItalicOn, stream::kHiddenOn, stream::kAllCapsOn,
    stream::kShadowOn, stream::kStyleB1On, stream::kDoubleUnderlineOn, stream::kSmallCapsOn,
    stream::kOutlineOn,
};

constexpr int kOffOrder[13] = {kBold, kUnderline, kSuperscript, kSubscript, kStrikethrough,
                               kItalic, kAllCaps, kSmallCaps, kDoubleUnderline, kHidden,
                               kStyleB1, kOutline, kShadow};
constexpr int kReemitOrder[13] = {kBold, kUnderline, kSuperscript, kSubscript, kStrikethrough,
                                  kItalic, kAllCaps, kSmallCaps, kDoubleUnderline, kHidden,
                                  kOutline, kShadow, kStyleB1};

std::uint8_t& style_byte(CharState& cs, int bit) { return bit < 8 ? cs.style_a : cs.style_b; }
std::uint8_t style_mask(int bit) { return static_cast<std::uint8_t>(1u << (bit & 7)); }

void put_code(std::uint8_t code, ByteFile& out) {
    out.put(stream::kEscape);
    out.put(code);
}

void put_code2(std::uint8_t code, int a, int b, ByteFile& out) {
    put_code(code, out);
    out.put(static_cast<std::uint8_t>(a));
    out.put(static_cast<std::uint8_t>(b));
}

void alignment_off(std::int32_t& flag, std::uint8_t off_code, ByteFile& out) {
    if (flag) {
        put_code(off_code, out);
        flag = 0;
    }
}

void alignment_on(std::int32_t& flag, std::uint8_t on_code, ByteFile& out) {
    if (!flag) {
        put_code(on_code, out);
        flag = 1;
    }
}

bool valid_column(int column) { return column >= 0 && column <= 255; }

}  // namespace

int reset_document_state(ByteFile& input, CharState& cs, ParaState& ps, TabState* tabs) {
    input.rewind();
    if (input.get() == ByteFile::kEnd) return -2;
    input.rewind();
    cs = CharState{};
    ps = ParaState{};
    if (tabs) *tabs = TabState{};
    return 0;
}

bool style_is_set(const CharState& cs, int bit) {
    return ((bit < 8 ? cs.style_a : cs.style_b) & style_mask(bit)) != 0;
}

void style_on(CharState& cs, int bit, int only_if_off, ByteFile& out) {
    if (only_if_off == 1 && style_is_set(cs, bit)) return;
    put_code(kStyleOnCode[bit], out);
    style_byte(cs, bit) |= style_mask(bit);
    ++cs.style_count;
}

void style_off(CharState& cs, int bit, ByteFile& out) {
    if (!style_is_set(cs, bit)) return;
    put_code(static_cast<std::uint8_t>(kStyleOnCode[bit] + 1), out);
    style_byte(cs, bit) &= static_cast<std::uint8_t>(~style_mask(bit));
    --cs.style_count;
}

void all_styles_off(CharState& cs, ByteFile& out) {
    if (cs.style_count == 0) return;
    for (int bit : kOffOrder) style_off(cs, bit, out);
    cs.style_count = 0;
}

void reemit_styles(CharState& cs, ByteFile& out) {
    if (cs.style_count == 0) return;
    for (int bit : kReemitOrder) {
        if (style_is_set(cs, bit)) style_on(cs, bit, 0, out);
    }
}

void match_styles(CharState& cs, unsigned flags, std::span<const StyleFlag> table, ByteFile& out) {
    for (const StyleFlag& f : table) {
        if (flags & f.bit) style_on(cs, f.style, 1, out);
        else style_off(cs, f.style, out);
    }
}

void set_font_class(CharState& cs, int font_class, ByteFile& out) {
    if (font_class == cs.font_class) return;
    put_code2(stream::kFontClass, cs.font_class, font_class, out);
    cs.font_class = static_cast<std::uint8_t>(font_class);
}

void set_font_name(CharState& cs, const std::string& name, ByteFile& out) {
    if (name == cs.font_name) return;
    const std::size_t length = std::min<std::size_t>(name.size(), 255);
    out.put(stream::kEscape);
    out.put(stream::kFontName);
    out.put(static_cast<std::uint8_t>(length));
    out.write(name.data(), length);
    cs.font_name = name.substr(0, length);
}

void set_symbol_font(CharState& cs, int value, ByteFile& out) {
    if (value == cs.symbol_font) return;
    put_code2(stream::kSymbolFont, cs.symbol_font, value, out);
    cs.symbol_font = static_cast<std::uint8_t>(value);
}

void set_font_size(CharState& cs, int points, ByteFile& out) {
    if (points == 0 || cs.size == -points) return;
    put_code2(stream::kFontSize, cs.size & 0xFF, (-points) & 0xFF, out);
    cs.size = -points;
}

void set_font_size_if_given(CharState& cs, int points, ByteFile& out) {
    if (points != 0) set_font_size(cs, points, out);
}

void set_alignment(ParaState& ps, int kind, ByteFile& out) {
    switch (kind) {
        case kAlignLeft:
            alignment_off(ps.right_aligned, stream::kRightOff, out);
            alignment_off(ps.justified, stream::kJustifiedOff, out);
            alignment_off(ps.centred, stream::kCentredOff, out);
            if (!ps.left_marked) {
                put_code(stream::kLeftAligned, out);
                ps.left_marked = 1;
            }
            break;
        case kAlignCentre:
            alignment_off(ps.justified, stream::kJustifiedOff, out);
            alignment_off(ps.right_aligned, stream::kRightOff, out);
            alignment_on(ps.centred, stream::kCentredOn, out);
            break;
        case kAlignJustify:
            alignment_off(ps.centred, stream::kCentredOff, out);
            alignment_off(ps.right_aligned, stream::kRightOff, out);
            alignment_on(ps.justified, stream::kJustifiedOn, out);
            break;
        case kAlignRight:
            alignment_off(ps.centred, stream::kCentredOff, out);
            alignment_off(ps.justified, stream::kJustifiedOff, out);
            alignment_on(ps.right_aligned, stream::kRightOn, out);
            break;
        default:
            break;
    }
}

void alignments_off(ParaState& ps, ByteFile& out) {
    alignment_off(ps.centred, stream::kCentredOff, out);
    alignment_off(ps.justified, stream::kJustifiedOff, out);
    alignment_off(ps.right_aligned, stream::kRightOff, out);
}

void reemit_alignment(const ParaState& ps, ByteFile& out) {
    if (ps.centred) put_code(stream::kCentredOn, out);
    if (ps.justified) put_code(stream::kJustifiedOn, out);
    if (ps.right_aligned) put_code(stream::kRightOn, out);
}

void set_line_spacing(ParaState& ps, int value, ByteFile& out) {
    int v = value < 0 ? -value : value;
    if (v == ps.line_spacing) return;
    put_code2(stream::kLineSpacing, ps.line_spacing, v, out);
    ps.line_spacing = v;
}

void mark_tabs(TabState& tabs) {
    for (auto& e : tabs.stops) {
        if (e != 0) e |= kTabMark;
    }
}

void flush_marked_tabs(ByteFile& out, TabState& tabs) {
    for (int col = 0; col < 256; ++col) {
        std::int32_t& e = tabs.stops[col];
        if (e & kTabMark) {
            put_code2(stream::kClearTab, e & ~kTabMark, col, out);
            e = 0;
        }
    }
}

void set_tab_stop(TabState& tabs, int column, int kind, ByteFile& out) {
    if (!valid_column(column)) return;
    std::int32_t& e = tabs.stops[column];
    std::int32_t old = e & ~kTabMark;
    if (old == kind) {
        e = kind;
        return;
    }
    if (old != 0) put_code2(stream::kClearTab, old, column, out);
    put_code2(stream::kSetTab, kind, column, out);
    e = kind;
}

void set_tab_grid(TabState& tabs, ByteFile& out, int start, int step, int end, int emit) {
    if (step > 0) {
        for (int col = start; col <= end && valid_column(col); col += step) {
            if (emit) put_code2(stream::kSetTab, stream::kTabLeft, col, out);
            tabs.stops[col] = stream::kTabLeft;
        }
    }
    tabs.changed = 255;
}

int first_tab(const TabState& tabs) {
    for (int col = 0; col < 256; ++col) {
        if (tabs.stops[col] != 0) return col;
    }
    return 0;
}

int next_tab(const TabState& tabs, int column, int step) {
    for (int col = column + step < 0 ? 0 : column + step; col < 256; ++col) {
        if (tabs.stops[col] != 0) return col;
    }
    return -1;
}

int next_tab_kind(const TabState& tabs, int column, int step) {
    int col = next_tab(tabs, column, step);
    return col < 0 ? -1 : tabs.stops[col];
}

int count_tabs(const TabState& tabs, int start, int end) {
    if (end - start <= 0) return 0;
    int from = start + 1 < 0 ? 0 : start + 1;
    int to = end > 255 ? 255 : end;
    int count = 0;
    for (int col = from; col <= to; ++col) {
        if (tabs.stops[col] != 0) ++count;
    }
    return count > 50 ? 1 : count;
}

void write_section_code(std::uint8_t code, ByteFile& out) { put_code2(code, 0, 0, out); }

bool write_picture(int kind, int height, int width, ByteFile& data, long length, ByteFile& out) {
    const auto side = [](int v) { return static_cast<unsigned>(std::clamp(v, 0, 0x7FFF)); };
    const std::uint8_t header[] = {
        stream::kEscape, stream::kPicture, static_cast<std::uint8_t>(kind), 0, 0, 0,
        static_cast<std::uint8_t>(side(height) >> 8), static_cast<std::uint8_t>(side(height)), 0, 0,
        static_cast<std::uint8_t>(side(width) >> 8), static_cast<std::uint8_t>(side(width))};
    out.write(header, sizeof header);
    static constexpr char kHex[] = "0123456789ABCDEF";
    bool whole = true;
    for (long i = 0; i < length; ++i) {
        const int b = data.get();
        if (b == ByteFile::kEnd) {
            whole = false;
            break;
        }
        out.put(static_cast<std::uint8_t>(kHex[b >> 4]));
        out.put(static_cast<std::uint8_t>(kHex[b & 15]));
    }
    out.put(stream::kEscape);
    out.put(stream::kEndSection);
    return whole;
}

bool copy_code(int code, ByteFile& in, ByteFile& out) {
    out.put(stream::kEscape);
    out.put(static_cast<std::uint8_t>(code));
    const int args = stream::kArgCount[code] == stream::kVariableArgs ? 0 : stream::kArgCount[code];
    for (int i = 0; i < args; ++i) {
        const int a = in.get();
        if (a == ByteFile::kEnd) return false;
        out.put(static_cast<std::uint8_t>(a));
    }
    return true;
}

void skip_bytes(long count, ByteFile& input) {
    std::uint8_t piece[128];
    while (count > 0) {
        std::size_t want = count < 128 ? static_cast<std::size_t>(count) : 128;
        std::size_t got = input.read(piece, want);
        if (got == 0) return;
        count -= static_cast<long>(got);
    }
}

long advance_to(long start, long target, ByteFile& input) {
    if (start == 0) start = input.tell();
    long distance = target - start;
    if (distance >= 1 && distance <= 511) skip_bytes(distance, input);
    else input.seek_relative(distance);
    return start;
}

long skip_past_byte(int value, ByteFile& input) {
    long count = 0;
    for (;;) {
        int c = input.get();
        if (c == ByteFile::kEnd) return -1;
        ++count;
        if (c == value) return count;
    }
}

long find_text(const std::string& text, ByteFile& input) {
    if (text.empty()) return 0;
    const std::size_t rest = text.size() - 1;
    std::vector<std::uint8_t> buf(rest);
    long count = 0;
    for (;;) {
        int c = input.get();
        if (c == ByteFile::kEnd) return -1;
        ++count;
        if (c != static_cast<std::uint8_t>(text[0])) continue;
        std::size_t got = rest ? input.read(buf.data(), rest) : 0;
        if (got == rest && std::equal(buf.begin(), buf.end(), text.begin() + 1,
                                      [](std::uint8_t a, char b) { return a == static_cast<std::uint8_t>(b); })) {
            return count + static_cast<long>(text.size());
        }
        input.seek_relative(-static_cast<long>(got));
    }
}

}  // namespace verbatra
