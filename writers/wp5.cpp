// WordPerfect 5: a prefix (66 bytes, and the packets that list the fonts
// where the document names any), then text bytes, single-byte function
// codes, fixed-length functions (opened and closed by the same byte) and
// variable-length groups whose length stands at both ends. One pass over
// the stream; a group's length is filled in when it closes.
#include "writers/wp5.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "pipeline/conversion.h"
#include "stream/decoder.h"
#include "writers/target_tables.h"
#include "stream/emitter.h"

namespace verbatra {

namespace {

// The prefix: the file's header (16 bytes: magic, where the document area
// starts, product and file type, version, no encryption) and one index
// block of 50 bytes (its own header, then four packet entries of a type, a
// size and an offset, all unused here).
constexpr std::size_t kPrefixSize = 66;
constexpr std::uint8_t kPrefix[kPrefixSize] = {0xFF, 0x57, 0x50, 0x43, 0x42, 0x00, 0x00, 0x00, 0x01, 0x0A,
                                               0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFB, 0xFF, 0x05, 0x00, 0x32};
constexpr std::size_t kDocumentAt = 4, kFirstPacketEntry = 26, kPacketEntry = 10;
// A document that names fonts carries two packets after the index block:
// the fonts-used list of WordPerfect 5.0 (an 86-byte entry a font: the
// offset of its name in the pool at 18, its point size in fiftieths of a
// point at 22) and the pool of names, each ending in a 0 byte. The text
// picks a font by its place in the list, in one byte. A font of 5.0 is a
// face at one size, so each (name, size) the text uses is an entry of its
// own, and a change of size is a change of font.
constexpr std::uint16_t kFontsUsedPacket = 0x02, kFontNamePacket = 0x07;
constexpr std::size_t kFontEntry = 86, kNameOffsetAt = 18, kListedSizeAt = 22;
constexpr int kFiftieths = 50;
constexpr int kDefaultPoints = 10;  // the stream's size before any size code
constexpr std::size_t kMaxFonts = 256;
// The font-change group: 25 bytes WordPerfect keeps of the font before,
// then the font's number in the list.
constexpr int kFontChangeData = 26;
constexpr int kUnit = 120;         // WordPerfect units (1/1200 inch) in a stream column
constexpr int kTableStops = 40;    // a tab-set code holds 40 positions
constexpr int kLastCharacterSet = 12;

constexpr std::uint8_t kColours[17][3] = {
    {0, 0, 0},     {0, 0, 0},       {0, 0, 255},   {0, 255, 255}, {0, 255, 0},   {255, 0, 255},
    {255, 0, 0},   {255, 255, 0},   {255, 255, 255}, {0, 0, 127}, {0, 127, 127}, {0, 127, 0},
    {127, 0, 127}, {127, 0, 0},     {127, 127, 0}, {127, 127, 127}, {171, 171, 171},
};

// WordPerfect's attribute number for each on/off code pair, by its on code
// (the off code is the next one).
struct Attribute {
    std::uint8_t on;
    std::uint8_t number;
};
constexpr Attribute kAttributes[] = {
    {stream::kBoldOn, 12},   {stream::kUnderlineOn, 14}, {stream::kSubscriptOn, 6},       {stream::kSuperscriptOn, 5},
    {stream::kStrikeOn, 13}, {stream::kItalicOn, 8},     {stream::kAllCapsOn, 15},        {stream::kDoubleUnderlineOn, 11},
};

enum class Align { None, Centre, Right };

struct ListedFont {
    std::string name;
    int points;
    bool operator==(const ListedFont&) const = default;
};

// A stream's size codes hold negated points.
int points_of(const stream::Event& e) {
    const int v = std::abs(e.new_value());
    return v == 0 ? kDefaultPoints : v;
}

// The (name, size) pairs the stream's text is set in, in their order of
// first use. The stream's font holds across a header or note as it does
// across any text.
std::vector<ListedFont> fonts_used(ByteFile& work) {
    std::vector<ListedFont> fonts;
    work.rewind();
    {
        stream::Decoder decoder(work);
        ListedFont now{"", kDefaultPoints};
        for (stream::Event e; decoder.next(e) && fonts.size() < kMaxFonts;) {
            switch (e.kind) {
                case stream::Kind::kFontName:
                    // An empty name (back to the class font) leaves the font.
                    if (e.length != 0) now.name.assign(reinterpret_cast<const char*>(e.bytes), e.length);
                    continue;
                case stream::Kind::kCode:
                    if (e.code == stream::kFontSize) now.points = points_of(e);
                    continue;
                case stream::Kind::kText:
                case stream::Kind::kCharacter:
                case stream::Kind::kTab:
                    if (!now.name.empty() && std::find(fonts.begin(), fonts.end(), now) == fonts.end()) {
                        fonts.push_back(now);
                    }
                    continue;
                default: continue;
            }
        }
    }
    work.rewind();
    return fonts;
}

class Writer {
public:
    Writer(ByteFile& work, ByteFile& target) : in_(work), out_(target) {}

    Status run() {
        // The fonts the stream names, for the packets ahead of the text.
        // The quick scan for names spares a document that names none the
        // decoder's pass over it.
        if (!stream::font_names_of(in_).empty()) fonts_ = fonts_used(in_);
        CharState cs;
        ParaState ps;
        const bool empty = reset_document_state(in_, cs, ps, &tabs_) == kEmptyInput;
        prefix();
        set_tab_grid(tabs_, out_, 0, 5, 120, 0);
        tabs_.changed = 255;
        margins(5, 95);
        // No hard return here: a header that comes after any content holds
        // from the next page on only.
        if (!empty) main_loop();
        while (group_ != 0) close_group();  // a stream cut inside a section
        return too_large_ ? kTooLarge : kConverted;
    }

private:
    // -- output ---------------------------------------------------------
    void put(std::uint8_t b) { out_.put(b); }
    void zeros(int n) {
        for (int i = 0; i < n; ++i) put(0);
    }
    void put16(unsigned v) {
        put(static_cast<std::uint8_t>(v));
        put(static_cast<std::uint8_t>(v >> 8));
    }
    // A fixed-length function: its code, the bytes, the code again.
    void fixed(std::uint8_t code, std::initializer_list<std::uint8_t> bytes, int zero_count = 0) {
        put(code);
        for (std::uint8_t b : bytes) put(b);
        zeros(zero_count);
        put(code);
    }
    void attribute(bool on, int number) { fixed(on ? 0xC3 : 0xC4, {static_cast<std::uint8_t>(number)}); }

    void margins(int left, int right) {
        left = std::clamp(left, 0, 100);
        right = std::clamp(right, left, 100);
        put(0xD0); put(0x01); put16(12);
        put16(static_cast<unsigned>(left_ * kUnit));
        put16(static_cast<unsigned>(12000 - right_ * kUnit));
        put16(static_cast<unsigned>(left * kUnit));
        put16(static_cast<unsigned>(12000 - right * kUnit));
        put16(12); put(0x01); put(0xD0);
        left_ = left;
        right_ = right;
    }

    // -- fonts ------------------------------------------------------------
    static void le16(std::uint8_t* p, std::size_t v) {
        p[0] = static_cast<std::uint8_t>(v);
        p[1] = static_cast<std::uint8_t>(v >> 8);
    }
    static void le32(std::uint8_t* p, std::size_t v) {
        le16(p, v & 0xFFFF);
        le16(p + 2, v >> 16);
    }

    // The prefix, with the packets that list the named fonts: without any,
    // the prefix alone.
    void prefix() {
        std::uint8_t head[kPrefixSize];
        std::memcpy(head, kPrefix, kPrefixSize);
        std::vector<std::uint8_t> list(kFontEntry * fonts_.size());
        std::string pool;
        std::vector<std::pair<std::string, std::size_t>> pooled;  // each name once
        for (std::size_t i = 0; i < fonts_.size(); ++i) {
            const std::string& name = fonts_[i].name;
            auto at = std::find_if(pooled.begin(), pooled.end(), [&](const auto& p) { return p.first == name; });
            if (at == pooled.end()) {
                pooled.emplace_back(name, pool.size());
                at = pooled.end() - 1;
                // The names are in Macintosh characters; WordPerfect's pool
                // keeps ASCII.
                for (const char c : name) pool += static_cast<unsigned char>(c) < 0x80 ? c : '?';
                pool += '\0';
            }
            le16(&list[kFontEntry * i + kNameOffsetAt], at->second);
            le16(&list[kFontEntry * i + kListedSizeAt], static_cast<std::size_t>(fonts_[i].points * kFiftieths));
        }
        if (!fonts_.empty()) {
            const std::size_t pool_at = kPrefixSize + list.size();
            le32(head + kDocumentAt, pool_at + pool.size());
            std::uint8_t* entry = head + kFirstPacketEntry;
            le16(entry, kFontsUsedPacket);
            le32(entry + 2, list.size());
            le32(entry + 6, kPrefixSize);
            entry += kPacketEntry;
            le16(entry, kFontNamePacket);
            le32(entry + 2, pool.size());
            le32(entry + 6, pool_at);
        }
        out_.write(head, kPrefixSize);
        out_.write(list.data(), list.size());
        out_.write(pool.data(), pool.size());
    }

    // The font the stream names from here on; an empty name (back to the
    // class font, which WordPerfect has not) changes nothing.
    void font_name(const stream::Event& e) {
        if (e.length == 0) return;
        now_.name.assign(reinterpret_cast<const char*>(e.bytes), e.length);
        font_due_ = !fonts_.empty();
    }
    void font_size(const stream::Event& e) {
        now_.points = points_of(e);
        font_due_ = !fonts_.empty();
    }
    // A font change before text whose (name, size) is not the one written
    // last; one the list lacks (past its length) changes nothing.
    void change_font() {
        font_due_ = false;
        const auto at = std::find(fonts_.begin(), fonts_.end(), now_);
        if (at == fonts_.end()) return;
        const int number = static_cast<int>(at - fonts_.begin());
        if (number == font_) return;
        font_ = number;
        put(0xD1); put(0x01); put16(kFontChangeData + 4);
        zeros(kFontChangeData - 1);
        put(static_cast<std::uint8_t>(number));
        put16(kFontChangeData + 4); put(0x01); put(0xD1);
    }

    // -- tabs -------------------------------------------------------------
    void write_table(const TabState& table) {
        std::uint16_t positions[kTableStops];
        std::uint8_t types[kTableStops / 2] = {};
        std::fill(std::begin(positions), std::end(positions), 0xFFFF);
        positions[0] = 0;
        int p = 1;
        for (int column = 0; column < 256 && p < kTableStops; ++column) {
            const int kind = table.stops[column];
            if (kind < 1 || kind > 5) continue;
            positions[p] = static_cast<std::uint16_t>(((column + left_) * kUnit) & 0xFFFF);
            // A bar tab has no type of its own here: it is a plain left tab.
            const int type = kind == 5 ? 0 : kind - 1;
            types[p / 2] = static_cast<std::uint8_t>(types[p / 2] | (p % 2 == 0 ? type << 4 : type));
            ++p;
        }
        for (std::uint16_t v : positions) put16(v);
        out_.write(types, sizeof types);
    }

    // The tab-set code, when stops changed and none was written yet in the
    // open group.
    void tabs_if_due() {
        if (!pending_flag_ || group_ < 0) return;
        put(0xD0); put(0x04); put(0xD0); put(0x00);
        write_table(tabs_);
        if (group_ == 0) {
            if (tabs_.changed == 255) {
                tabs_.stops.fill(0);
                tabs_.changed = 0;
            }
            for (int c = 0; c < 256; ++c) {
                if (pending_.stops[c] > 0) tabs_.stops[c] = pending_.stops[c];
                else if (pending_.stops[c] < 0) tabs_.stops[c] = 0;
            }
            pending_.stops.fill(0);
            pending_flag_ = false;
            write_table(tabs_);
        } else {
            TabState set{};
            for (int c = 0; c < 256; ++c) set.stops[c] = std::max(pending_.stops[c], 0);
            write_table(set);
            group_ = -group_;
        }
        put16(static_cast<unsigned>(left_ * kUnit));
        put16(static_cast<unsigned>((100 - right_) * kUnit));
        put(0xD0); put(0x00); put(0x04); put(0xD0);
    }

    // Centred and right-aligned paragraphs: WordPerfect aligns up to the
    // hard return, so an alignment that is on starts every paragraph again.
    void align_if_due() {
        if (!align_due_) return;
        align_due_ = false;
        fixed(0xC1, {static_cast<std::uint8_t>(align_ == Align::Centre ? 0xE0 : 0x60)}, 6);
    }
    void before_text() {
        tabs_if_due();
        align_if_due();
        if (font_due_) change_font();
    }

    // -- groups -------------------------------------------------------------
    void open_group(std::uint8_t code, int subfunction) {
        justified_outside_ = justified_;
        put(code);
        put(static_cast<std::uint8_t>(subfunction));
        length_at_ = out_.tell();
        group_ = subfunction + 1;
        font_outside_ = font_;
        note_ = code == 0xD6;
    }
    void close_group() {
        if (group_ < 0) group_ = -group_;
        const long end = out_.tell();
        const long length = end - length_at_ + 2;
        if (length > 0xFFFF) too_large_ = true;
        put16(static_cast<unsigned>(length));
        out_.seek_to(length_at_);
        put16(static_cast<unsigned>(length));
        out_.seek_to(end + 2);
        put(static_cast<std::uint8_t>(group_ - 1));
        put(note_ ? 0xD6 : 0xD5);
        group_ = 0;
        note_ = false;
        // WordPerfect's font ends with the group; the stream's goes on, so
        // the text after it changes font where the group did.
        font_ = font_outside_;
        font_due_ = !fonts_.empty();
        // Justification set inside a header holds for the text after it
        // too, as the stream means it; inside the group it held only there.
        if (justified_ != justified_outside_) {
            const bool inside = justified_;
            justified_ = justified_outside_;
            justification(inside);
        }
    }

    // -- main loop ------------------------------------------------------------
    void main_loop() {
        stream::Decoder decoder(in_);
        for (stream::Event e; decoder.next(e);) {
            // What a column break drops never holds the start or end of a
            // header, footer or note: the file's groups must stay whole.
            if (e.kind == stream::Kind::kSectionStart || e.kind == stream::Kind::kSectionEnd) {
                skip_to_paragraph_end_ = skip_one_ = false;
            }
            if (skip_to_paragraph_end_) {
                skip_to_paragraph_end_ = e.kind != stream::Kind::kParagraphEnd;
                continue;
            }
            if (skip_one_) {
                // One byte: of a run of text, the first only.
                skip_one_ = false;
                if (e.kind != stream::Kind::kText || e.length == 1) continue;
                ++e.bytes;
                --e.length;
            }
            switch (e.kind) {
                case stream::Kind::kText:
                    for (std::size_t i = 0; i < e.length; ++i) {
                        const std::uint8_t b = e.bytes[i];
                        if (b == 0x0B) continue;
                        before_text();
                        if (b < 0x80) put(b);
                        ++column_;
                    }
                    break;
                case stream::Kind::kTab: {
                    before_text();
                    if (aligned_tab_) {
                        put(0x83);
                        aligned_tab_ = false;
                    }
                    const int kind = next_tab_kind(tabs_, column_, 1);
                    std::uint8_t type = 0x02;
                    if (kind == 2) type = 0xCA;
                    if (kind == 3) type = 0x4A;
                    aligned_tab_ = kind == 2 || kind == 3;
                    fixed(0xC1, {type}, 6);
                    break;
                }
                case stream::Kind::kLineEnd: put(0x0D); break;
                case stream::Kind::kPageBreak: put(0x0C); break;
                case stream::Kind::kParagraphEnd:
                    if (aligned_tab_) {
                        put(0x83);
                        aligned_tab_ = false;
                    }
                    column_ = 0;
                    put(0x0A);
                    tabs_if_due();
                    if (column_count_ != 0) countdown_ = column_count_;
                    if (indent_) fixed(0xC2, {}, 9);
                    align_due_ = align_ != Align::None;
                    break;
                case stream::Kind::kCharacter: character(e); break;
                case stream::Kind::kCode: code(e); break;
                case stream::Kind::kSectionStart: section_start(e); break;
                case stream::Kind::kSectionEnd:
                    if (group_ != 0) close_group();
                    break;
                case stream::Kind::kFontName: font_name(e); break;
                case stream::Kind::kPicture:
                    for (int i = 0; i < kPicturePlaceholderLength; ++i) {
                        before_text();
                        put(static_cast<std::uint8_t>(kPicturePlaceholder[i]));
                        ++column_;
                    }
                    break;
            }
        }
    }

    void set_align(Align a) {
        align_ = a;
        align_due_ = false;
        if (a != Align::None) fixed(0xC1, {static_cast<std::uint8_t>(a == Align::Centre ? 0xE0 : 0x60)}, 6);
    }
    void align_off(Align a) {
        if (align_ != a) return;
        align_ = Align::None;
        if (align_due_) align_due_ = false;  // the paragraph it would start has not begun
        else put(0x83);
    }

    void character(const stream::Event& e) {
        before_text();
        switch (e.code) {
            case stream::kSetChar:
                // Only the character sets WordPerfect has; a character of
                // another is left out, never written as a raw byte.
                if (e.set() >= 1 && e.set() <= kLastCharacterSet)
                    fixed(0xC0, {static_cast<std::uint8_t>(e.character()), static_cast<std::uint8_t>(e.set())});
                break;
            case stream::kNonBreakingSpace: put(0xA0); break;
            // WordPerfect's typographic set has the guillemets.
            case stream::kLeftGuillemet: fixed(0xC0, {9, 4}); break;
            case stream::kRightGuillemet: fixed(0xC0, {10, 4}); break;
            case stream::kBackslash: put(0x5C); break;
            default: return;
        }
        ++column_;
    }

    void section_start(const stream::Event& e) {
        if (e.section() == stream::Section::kNote) {
            // The note kind is the subfunction of the group.
            const int kind = e.note_kind();
            open_group(0xD6, kind);
            zeros(6);
            put(0xFF);
            put(0xFF);
            zeros(kind == 0 ? 9 : 2);
            put(0x8D);
            return;
        }
        static constexpr std::uint8_t kSubfunction[] = {0, 1, 0, 2, 3, 2};
        // WordPerfect's occurrence bits: 1 every page, 2 odd, 4 even.
        static constexpr std::uint8_t kOccurrence[] = {4, 2, 1, 4, 2, 1};
        const int i = e.code - stream::kHeaderEven;
        open_group(0xD5, kSubfunction[i]);
        zeros(9);
        put(kOccurrence[i]);
        zeros(10);
    }

    void code(const stream::Event& e) {
        const int c = e.code;
        for (const Attribute& a : kAttributes) {
            if (c == a.on || c == stream::off_code(a.on)) {
                attribute(c == a.on, a.number);
                return;
            }
        }
        switch (c) {
            case stream::kClearAllTabs:
                for (int col = 0; col < 128; ++col) pending_.stops[col] = -1;
                pending_flag_ = true;
                return;
            case stream::kCentredOn: tabs_if_due(); set_align(Align::Centre); return;
            case stream::kCentredOff: align_off(Align::Centre); return;
            case stream::kRightOn: tabs_if_due(); set_align(Align::Right); return;
            case stream::kRightOff: align_off(Align::Right); return;
            case stream::kJustifiedOn: justification(true); return;
            case stream::kJustifiedOff: justification(false); return;
            case stream::kPageNumber: put(0x02); return;
            case stream::kOptionalHyphen: put(e.at_line_end ? 0xAD : 0xAC); return;
            case stream::kColumnStart: countdown_ = column_count_; return;
            case stream::kColumnMark:
                if (countdown_ == column_count_) put(0x87);
                return;
            case stream::kColumnBreak:
                if (--countdown_ != 0) {
                    put(0x0C);
                    skip_to_paragraph_end_ = true;
                } else {
                    put(0xAF);
                    skip_one_ = true;
                    countdown_ = column_count_;
                }
                return;
            case stream::kSetTab:
            case stream::kClearTab: {
                const int kind = e.tab_kind();
                const int column = e.column();
                if (column > 127 || (c == stream::kSetTab && (kind < 1 || kind > 5))) return;
                pending_.stops[column] = c == stream::kSetTab ? kind : -1;
                pending_flag_ = true;
                return;
            }
            case stream::kLeftMargin: margins(e.new_value() + 5, right_); return;
            case stream::kRightMargin: margins(left_, e.new_value() + 5); return;
            case stream::kIndentHere:
                indent_ = true;
                fixed(0xC2, {}, 9);
                return;
            case stream::kIndentOff:
                indent_ = false;
                fixed(0xC6, {}, 4);
                return;
            case stream::kLineSpacing:
                put(0xD0); put(0x02); put16(8);
                put16(spacing(e.old_value()));
                put16(spacing(e.new_value()));
                put16(8); put(0x02); put(0xD0);
                return;
            case stream::kColumnCount: columns(e.args[0]); return;
            case stream::kFontSize: font_size(e); return;
            case stream::kTextColour: {
                const int index = e.args[1];
                if (index > 16) return;
                put(0xD1); put(0x00); put16(10);
                zeros(3);
                for (std::uint8_t v : kColours[index]) put(v == 255 && index != 8 ? 0xAB : v);
                put16(10); put(0x00); put(0xD1);
                return;
            }
            default: return;
        }
    }

    // WordPerfect 5.0's right-justification code, and the justification
    // group of 5.1 (0 left, 1 full), which readers take the alignment from.
    void justification(bool on) {
        put(on ? 0x81 : 0x82);
        put(0xD0); put(0x06); put16(6);
        put(justified_ ? 1 : 0);
        put(on ? 1 : 0);
        put16(6); put(0x06); put(0xD0);
        justified_ = on;
    }

    static unsigned spacing(int v) {
        const int whole = v / 8;
        return static_cast<unsigned>((whole & 0xFF) << 8 | ((v - 8 * whole) * 32 & 0xFF));
    }

    void columns(int n) {
        if (n < 1 || n > 24) return;
        put(0xD2); put(0x01); put16(0xC6);
        zeros(97);
        put(static_cast<std::uint8_t>(0x40 + n));
        int start = left_ * kUnit;
        const int width = (right_ - left_) / n * kUnit;
        for (int i = 0; i < n; ++i) {
            put16(static_cast<unsigned>(start));
            put16(static_cast<unsigned>(start + width));
            start += width + 400;
        }
        zeros(96 - 4 * n);
        put16(0xC6); put(0x01); put(0xD2);
        column_count_ = n;
    }

    ByteFile& in_;
    ByteFile& out_;
    TabState tabs_;
    TabState pending_;  // 0 no change, a kind: set, -1: cleared
    bool pending_flag_ = false;
    int left_ = 0, right_ = 100;
    bool indent_ = false;
    int column_count_ = 0, countdown_ = 0;
    int column_ = 0;
    bool aligned_tab_ = false;
    Align align_ = Align::None;
    bool align_due_ = false;
    bool justified_ = false;
    bool justified_outside_ = false;
    int group_ = 0;
    bool note_ = false;
    bool skip_to_paragraph_end_ = false, skip_one_ = false;  // after a column break
    long length_at_ = 0;
    bool too_large_ = false;
    std::vector<ListedFont> fonts_;  // the fonts-used list
    bool font_due_ = false;  // the text's font may differ from the font written last
    ListedFont now_{"", kDefaultPoints};  // the font the stream's text is in
    int font_ = -1, font_outside_ = -1;  // the font of the text, and of the text around a group
};

}  // namespace

Status write_wp5(Conversion&, ByteFile& work, ByteFile& target) { return Writer(work, target).run(); }

}  // namespace verbatra
