// ClarisWorks 1 to 5 and AppleWorks 5 and 6 word processing. The document's
// texts live in "DSET" zones: five length-prefixed areas (the style runs
// are the third, the tokens that place footnotes the fourth), then the
// text in length-prefixed chunks. The first zone is the main text; a
// footnote's text is the zone whose id its token names, written behind its
// reference.
//
// Paragraphs take their ruler (alignment, line spacing, tab stops) from the
// first area, a list of (position, ruler) pairs. Versions 1 and 2 keep the
// rulers in a list in the document header; from version 3 on they are a
// "RULR" list among the styles, reached through the "LKUP" and "STYL"
// lists, since a paragraph names its style there, not its ruler.
//
// The whole data fork is read into memory first: the format is found by
// searching and read by offsets, and every offset, length and count taken
// from the file is checked against its size there.
#include "readers/clarisworks.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "pipeline/file_utils.h"
#include "pipeline/conversion.h"
#include "stream/mac_charset.h"
#include "readers/source_bytes.h"
#include "stream/codes.h"
#include "stream/emitter.h"
#include "stream/symbol_tables.h"

namespace verbatra {

namespace {

constexpr int kMainText = 1;  // byte 20 of a DSET zone: a text zone
constexpr unsigned kNoteToken = 0, kPictureToken = 1;  // token kinds

// Where the header says what kind of document it is (1: word
// processing), by version.
constexpr std::size_t kKindOffset[7] = {0, 242, 248, 248, 256, 268, 278};
// Style run records and token records grow with the version.
constexpr std::size_t kRunSize[7] = {0, 10, 10, 10, 12, 12, 18};

constexpr unsigned kSuperscriptFlags = 0x0500, kSubscriptFlags = 0x0A00;

// Font names of the font table of versions 4 to 6, by the Macintosh font
// number that stands for them (which chooses the font class and table).
struct NamedFont {
    const char* name;
    int number;
};
constexpr NamedFont kNamedFonts[] = {
    {"Chicago", 0},       {"New York", 2},     {"Geneva", 3},           {"Monaco", 4},
    {"Zapf Dingbats", 13}, {"Bookman", 14},    {"Palatino", 16},        {"Times", 20},
    {"Times New Roman", 20}, {"Helvetica", 21}, {"Arial", 21},          {"Courier", 22},
    {"Courier New", 22},  {"Symbol", 23},      {"Wingdings", 13},       {"New Century Schlbk", 34},
};
constexpr int kPlainFont = 22;  // an unknown font: class "other", the Macintosh table

// A ruler's own fields, by version; a record of the style list (version 4
// on) carries 12 bytes more before them.
constexpr std::size_t kRulerSize[7] = {0, 92, 96, 96, 96, 96, 96};
constexpr std::size_t kStyleListPrefix = 12;

struct Ruler {
    int alignment = kAlignLeft;
    int spacing = 8;  // in the stream's measure: 8 is single
    std::vector<std::pair<int, int>> tabs;  // position in points, tab kind
};

struct ParagraphRun {
    std::uint32_t position;
    int ruler;  // index into the rulers, or -1
};

struct Run {
    std::uint32_t position;
    int font;  // a Macintosh font number
    unsigned flags;
    int size;
    const char* name;  // the font's name in the document's font table, or null
};

class Reader {
public:
    Reader(Conversion& conversion, ByteFile& source, ByteFile& work)
        : conversion_(conversion), src_(source), out_(work) {}

    Status run() {
        if (src_.size() == 0) return kEmptyInput;
        const DocumentStart start = read_document_start(src_, "CWWPBOBO");
        if (start.end <= start.origin) return kNotOfFormat;  // MacBinary with no data fork
        // The version, the signature and the kind of document, from the
        // header, before the file is read whole.
        const std::uint8_t* h = start.header;
        version_ = h[0];
        if (version_ < 1 || version_ > 6 || start.have < 8 || std::memcmp(h + 4, "BOBO", 4) != 0) return kNotOfFormat;
        if (start.have <= kKindOffset[version_] || h[kKindOffset[version_]] != 1) return kNotOfFormat;
        if (!read_whole_document(src_, start, data_)) return kNotOfFormat;
        const std::size_t main = find_marker("DSET", 0);
        if (main == kNone) {
            // The header says ClarisWorks word processing: a file without
            // its zones was cut short before them.
            conversion_.note_damage("no text zone before the end of the file at byte " + std::to_string(data_.size()) +
                        ": file cut short");
            return kConverted;
        }
        if (!is_text_zone(main)) return kNotOfFormat;

        if (version_ >= 4) read_font_names();
        read_rulers(main);

        main_ = main;
        cs_.size = 0;  // no size written yet
        write_text(main, true);
        // From version 4 on the document ends with its zone table and
        // eight fixed marks: a file without them was cut short, and what
        // stood after the text (styles, notes, pictures) is lost.
        constexpr std::uint8_t kEndMarks[8] = {0xFF, 0xFE, 0xFD, 0xFC, 0xFB, 0xFA, 0xF9, 0xF8};
        if (version_ >= 4 && (data_.size() < 16 || std::memcmp(&data_[data_.size() - 16], kEndMarks, 8) != 0)) {
            conversion_.note_damage("the document's closing table is missing at byte " + std::to_string(data_.size()) +
                        ": file cut short");
        }
        return kConverted;
    }

private:
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

    std::uint32_t u32(std::size_t at) const { return at + 4 <= data_.size() ? be32(&data_[at]) : 0; }
    unsigned u16(std::size_t at) const { return at + 2 <= data_.size() ? be16(&data_[at]) : 0; }

    std::size_t find_marker(const char* marker, std::size_t from) const {
        if (from >= data_.size()) return kNone;
        const auto found = std::search(data_.begin() + static_cast<long>(from), data_.end(), marker, marker + 4);
        return found == data_.end() ? kNone : static_cast<std::size_t>(found - data_.begin());
    }

    bool is_text_zone(std::size_t marker) const {
        return marker + 24 <= data_.size() && data_[marker + 20] == kMainText;
    }

    // The text zone whose id is `id` (the first, when a damaged file has
    // more), or kNone.
    std::size_t text_zone_with_id(unsigned id) {
        if (zones_.empty()) {
            for (std::size_t at = find_marker("DSET", 0); at != kNone; at = find_marker("DSET", at + 4)) {
                if (is_text_zone(at)) zones_.emplace(u16(at + 22), at);  // keeps the first
            }
        }
        const auto found = zones_.find(id);
        return found == zones_.end() ? kNone : found->second;
    }

    // The font table of versions 4 to 6: its length, the count at +4, the
    // record size at +10, then "FNTM" and the records (two words, then the
    // name as a Pascal string). A table whose numbers do not add up is not
    // the one.
    void read_font_names() {
        for (std::size_t m = find_marker("FNTM", 16); m != kNone; m = find_marker("FNTM", m + 4)) {
            const std::uint32_t length = u32(m - 16);
            const unsigned count = u16(m - 12);
            const unsigned record = u16(m - 6);
            if (record < 6 || count == 0 || length != 16 + static_cast<std::uint64_t>(count) * record ||
                m + 4 + static_cast<std::uint64_t>(count) * record > data_.size()) {
                continue;
            }
            for (unsigned i = 0; i < count; ++i) {
                const std::size_t at = m + 4 + static_cast<std::size_t>(i) * record;
                const std::size_t length_of_name = std::min<std::size_t>(data_[at + 4], record - 5);
                const std::string name(reinterpret_cast<const char*>(&data_[at + 5]), length_of_name);
                int number = kPlainFont;
                for (const NamedFont& f : kNamedFonts) {
                    if (name == f.name) number = f.number;
                }
                font_numbers_.push_back(number);
                font_names_.push_back(name);
            }
            return;
        }
    }

    // A list among the styles: its length 16 bytes before its name, the
    // count at -12, the record size at -6, the records at the list's end.
    // A list whose numbers do not add up is not the one.
    struct StyleList {
        std::size_t at = 0;  // the first record
        unsigned count = 0;
        unsigned record = 0;
        std::size_t operator[](unsigned i) const { return at + static_cast<std::size_t>(i) * record; }
    };
    StyleList style_list(const char* name, unsigned min_record) const {
        for (std::size_t m = find_marker(name, 16); m != kNone; m = find_marker(name, m + 4)) {
            const std::uint64_t length = u32(m - 16);
            const unsigned count = u16(m - 12);
            const unsigned record = u16(m - 6);
            const std::uint64_t end = m - 12 + length;
            const std::uint64_t records = static_cast<std::uint64_t>(count) * record;
            if (count == 0 || record < min_record || length < 16 + records || end > data_.size()) continue;
            return {static_cast<std::size_t>(end - records), count, record};
        }
        return {};
    }

    void read_rulers(std::size_t main) {
        const unsigned size = static_cast<unsigned>(kRulerSize[version_]);
        if (version_ <= 2) {
            // The header's list: its length, the count, two words, the
            // record size, two words, then the records. Found by its
            // numbers, which must add up, before the first text zone.
            for (std::size_t p = 8; p + 16 <= main; ++p) {
                const unsigned count = u16(p + 4);
                if (count == 0 || u16(p + 10) != size || u32(p) != 12 + count * size) continue;
                if (p + 16 + count * size > data_.size()) break;
                for (unsigned i = 0; i < count; ++i) rulers_.push_back(ruler_at(p + 16 + i * size));
                return;
            }
            return;
        }
        const StyleList rulers = style_list("RULR", size);
        const std::size_t prefix = rulers.record >= size + kStyleListPrefix ? kStyleListPrefix : 0;
        for (unsigned i = 0; i < rulers.count; ++i) rulers_.push_back(ruler_at(rulers[i] + prefix));
        // A paragraph's number is an entry of the look-up list, which names
        // a style, whose ruler is the word at 24.
        const StyleList lookup = style_list("LKUP", 2);
        const StyleList styles = style_list("STYL", 26);
        for (unsigned i = 0; i < lookup.count; ++i) {
            const unsigned style = u16(lookup[i]);
            ruler_of_style_.push_back(style < styles.count ? static_cast<std::int16_t>(u16(styles[style] + 24)) : -1);
        }
    }

    // One ruler's fields, which lie within the file.
    Ruler ruler_at(std::size_t at) const {
        Ruler r;
        const unsigned word = u16(at + 2);
        // Alignment: left, centre, right, justified.
        static constexpr int kAlignmentOf[4] = {kAlignLeft, kAlignCentre, kAlignRight, kAlignJustify};
        r.alignment = kAlignmentOf[version_ == 6 ? (word >> 13) & 3 : word >> 14];
        // Line spacing: in half lines past single, or in points (in version
        // 1, a flag; later, a unit in the low three bits).
        if (version_ == 1) {
            const int n = static_cast<int>(word & 0xFF);
            if (n) r.spacing = (word & 0x2000) ? points_spacing(n) : 8 + 4 * n;
        } else {
            const int n = static_cast<int>((word & (version_ == 6 ? 0x9FFF : 0x3FFF)) >> 3);
            const unsigned unit = word & 7;
            if (unit == 0 && n <= 18) r.spacing = 8 + 4 * n;
            if (unit >= 2 && unit <= 6 && n <= 512 && n) r.spacing = points_spacing(n);
        }
        // Then three indents (two bytes each), in version 2 on two spacings
        // (two bytes each), a byte, the count of tab stops and the stops:
        // position in points, kind and leader, decimal character.
        std::size_t t = at + 4 + 6 + (version_ >= 2 ? 4 : 0) + 1;
        const unsigned count = data_[t++];
        if (t + count * 4 > at + kRulerSize[version_]) return r;  // 255: none, in old files
        static constexpr int kTabOf[4] = {stream::kTabLeft, stream::kTabCentre, stream::kTabRight, stream::kTabDecimal};
        for (unsigned i = 0; i < count; ++i, t += 4) {
            const unsigned kind = data_[t + 2];
            const unsigned k = version_ == 1 ? kind & 3 : version_ == 6 ? (kind >> 5) & 3 : kind >> 6;
            r.tabs.emplace_back(static_cast<std::int16_t>(u16(t)), kTabOf[k]);
        }
        return r;
    }

    // Line spacing given in points, against the single line of a 12-point
    // font.
    static int points_spacing(int points) { return std::max(8, (points * 8 + 6) / 12); }

    // The Macintosh font number of a run's font field: itself up to
    // version 3, an index into the font table from version 4 on.
    int font_number(unsigned field) const {
        if (version_ < 4) return static_cast<int>(field);
        return field < font_numbers_.size() ? font_numbers_[field] : kPlainFont;
    }

    // The name the font table gives a run's font field, or null.
    const char* font_name(unsigned field) const {
        return version_ >= 4 && field < font_names_.size() ? font_names_[field].c_str() : nullptr;
    }

    // Reads one area length at `at` and steps past the area; false when the
    // area does not lie within the file.
    bool skip_area(std::size_t& at, std::size_t* start = nullptr, std::size_t* length = nullptr) const {
        if (at + 4 > data_.size()) return false;
        const std::uint32_t n = u32(at);
        at += 4;
        if (n > data_.size() - at) return false;
        if (start) *start = at;
        if (length) *length = n;
        at += n;
        return true;
    }

    // Writes the text of the zone at `marker`: the main text, or a
    // footnote's text (then a reference in it is dropped: a note holds no
    // note). Every style run, token and chunk must lie within the file; a
    // chunk the file cuts short ends the text.
    void write_text(std::size_t marker, bool main) {
        std::size_t at = marker + 4, paragraphs_at = 0, paragraphs_length = 0, runs_at = 0, runs_length = 0,
                    tokens_at = 0, tokens_length = 0;
        if (!skip_area(at) || !skip_area(at, &paragraphs_at, &paragraphs_length) ||
            !skip_area(at, &runs_at, &runs_length) ||
            !skip_area(at, &tokens_at, &tokens_length) || !skip_area(at)) {
            conversion_.note_damage("a text zone runs past the end of the file at byte " + std::to_string(data_.size()) +
                        ": file cut short");
            return;
        }
        std::vector<Run> runs;
        const std::size_t run_size = kRunSize[version_];
        for (std::size_t r = 0; r + run_size <= runs_length; r += run_size) {
            const std::uint8_t* p = &data_[runs_at + r];
            runs.push_back({be32(p), font_number(be16(p + 4)), be16(p + 6), p[8], font_name(be16(p + 4))});
        }
        // The main text's paragraphs take their rulers; a note's text stands
        // inside a paragraph of the main text, which keeps its own.
        std::vector<ParagraphRun> paragraphs;
        const std::size_t paragraph_size = version_ == 1 ? 6 : 8;
        for (std::size_t r = 0; main && r + paragraph_size <= paragraphs_length; r += paragraph_size) {
            const std::uint8_t* p = &data_[paragraphs_at + r];
            paragraphs.push_back({be32(p), ruler_index(static_cast<std::int16_t>(be16(p + 4)))});
        }
        std::vector<unsigned> note_zones;  // the zone of each footnote, in order
        // Pictures are drawings of their own, which this reader does not
        // read: their places, in order.
        std::vector<std::uint32_t> pictures;
        const std::size_t token_size = version_ >= 6 ? 36 : 32;
        for (std::size_t t = 0; main && t + token_size <= tokens_length; t += token_size) {
            const unsigned kind = u16(tokens_at + t + 4);
            if (kind == kNoteToken) note_zones.push_back(u16(tokens_at + t + 8));
            if (kind == kPictureToken) pictures.push_back(u32(tokens_at + t));
        }
        std::sort(pictures.begin(), pictures.end());
        std::size_t next_picture = 0;

        table_ = kMacintoshTable;
        std::size_t next_run = 0, next_paragraph = 0;
        std::uint32_t counter = 0;
        for (;;) {
            if (at + 4 > data_.size()) {
                // The chunks end with a zero length, which the file lacks.
                conversion_.note_cut_short("text", static_cast<long>(data_.size()), static_cast<long>(at + 4));
                return;
            }
            const std::uint32_t n = u32(at);
            at += 4;
            if (n == 0) return;
            const bool whole = n <= data_.size() - at;
            if (!whole) conversion_.note_cut_short("text", static_cast<long>(data_.size()), static_cast<long>(at + n));
            const std::size_t end = whole ? at + n : data_.size();
            for (; at < end; ++at, ++counter) {
                while (next_run < runs.size() && runs[next_run].position <= counter) apply(runs[next_run++]);
                while (next_paragraph < paragraphs.size() && paragraphs[next_paragraph].position <= counter) {
                    apply_ruler(paragraphs[next_paragraph++].ruler);
                }
                const std::uint8_t b = data_[at];
                if (b == 0) return;  // the text ends; what follows is not text
                if (next_picture < pictures.size() && pictures[next_picture] <= counter) {
                    // A visible mark where the picture stood, in every target.
                    while (next_picture < pictures.size() && pictures[next_picture] <= counter) ++next_picture;
                    for (const char c : std::string_view("[picture]")) out_.put(static_cast<std::uint8_t>(c));
                    ++conversion_.pictures_dropped;
                    if (b < 0x20 && b != 9 && b != 13) continue;  // the picture's own character
                }
                if (b == 2) {
                    if (main) footnote(note_zones);
                    continue;
                }
                text_byte(b);
            }
            if (!whole) return;
        }
    }

    void text_byte(std::uint8_t b) {
        switch (b) {
            case 1:
            case 0x0B:
                out_.put(stream::kPageBreak);
                return;
            case 6:
                code(stream::kPageNumber);
                return;
            case 7:
                return;
            case 9:
            case 13:
                out_.put(b);
                return;
            case 0x0A:
                out_.put(stream::kLineEnd);
                return;
            case 0xCA:
                code(stream::kNonBreakingSpace);
                return;
            default:
                write_source_char(table_, b, out_);
                return;
        }
    }

    void code(std::uint8_t c) {
        out_.put(stream::kEscape);
        out_.put(c);
    }

    void apply(const Run& r) {
        if (r.size != 0) set_font_size(cs_, r.size, out_);
        table_ = source_table_for_font(cs_, r.font, out_, r.name);
        // The five Macintosh styles; the vertical positions have bits of
        // their own in this format.
        match_styles(cs_, r.flags, std::span(kMacintoshStyleFlags).first(5), out_);
        // One vertical position at a time: what goes off goes first.
        const bool super = (r.flags & kSuperscriptFlags) != 0;
        const bool sub = !super && (r.flags & kSubscriptFlags) != 0;
        if (!super) style_off(cs_, kSuperscript, out_);
        if (!sub) style_off(cs_, kSubscript, out_);
        if (super) style_on(cs_, kSuperscript, 1, out_);
        if (sub) style_on(cs_, kSubscript, 1, out_);
    }

    // The ruler a paragraph's number stands for: itself up to version 2,
    // through its style from version 3 on; -1 when none is known.
    int ruler_index(int number) const {
        if (version_ >= 3) {
            if (number < 0 || static_cast<std::size_t>(number) >= ruler_of_style_.size()) return -1;
            number = ruler_of_style_[static_cast<std::size_t>(number)];
        }
        return number >= 0 && static_cast<std::size_t>(number) < rulers_.size() ? number : -1;
    }

    void apply_ruler(int index) {
        const Ruler none;
        const Ruler& r = index >= 0 ? rulers_[static_cast<std::size_t>(index)] : none;
        set_alignment(ps_, r.alignment, out_);
        set_line_spacing(ps_, r.spacing, out_);
        // Tab columns count characters of the text's size.
        const int k = cs_.size != 0 ? -cs_.size : 10;
        mark_tabs(tabs_);
        for (const auto& [position, kind] : r.tabs) set_tab_stop(tabs_, position * k / 72, kind, out_);
        flush_marked_tabs(out_, tabs_);
    }

    // A footnote reference: between the note's start and end codes its
    // text, with no style of the main text on; then the main text goes on
    // with the styles, font and size it had. Each note zone is written
    // once at most (a damaged file may name one many times), and never
    // the main text.
    void footnote(const std::vector<unsigned>& note_zones) {
        const int n = ++notes_;
        // A footnote, numbered while the number fits its byte; the writers
        // count notes themselves.
        code(stream::kNoteStart);
        out_.put(0);
        out_.put(static_cast<std::uint8_t>(n <= 255 ? n : 0));
        const CharState main_state = cs_;
        const std::uint16_t* main_table = table_;
        const std::size_t i = static_cast<std::size_t>(n - 1);
        if (i < note_zones.size()) {
            const std::size_t zone = text_zone_with_id(note_zones[i]);
            if (zone != kNone && zone != main_ && used_.insert(zone).second) {
                all_styles_off(cs_, out_);
                write_text(zone, false);
            }
        }
        code(stream::kEndSection);
        restore(main_state);
        table_ = main_table;
    }

    // Brings the stream from the note's character state back to `s`.
    void restore(const CharState& s) {
        for (int bit = kBold; bit <= kOutline; ++bit) {
            if (!style_is_set(s, bit)) style_off(cs_, bit, out_);
        }
        for (int bit = kBold; bit <= kOutline; ++bit) {
            if (style_is_set(s, bit)) style_on(cs_, bit, 1, out_);
        }
        if (s.size != 0) set_font_size(cs_, -s.size, out_);
        set_font_class(cs_, s.font_class, out_);
        set_font_name(cs_, s.font_name, out_);
    }

    Conversion& conversion_;
    ByteFile& src_;
    ByteFile& out_;
    std::vector<std::uint8_t> data_;
    int version_ = 0;
    std::vector<int> font_numbers_;
    std::vector<std::string> font_names_;  // beside font_numbers_
    CharState cs_;
    ParaState ps_;
    TabState tabs_;
    std::vector<Ruler> rulers_;
    std::vector<int> ruler_of_style_;  // by paragraph number, from version 3 on
    const std::uint16_t* table_ = kMacintoshTable;
    int notes_ = 0;
    std::size_t main_ = 0;
    std::map<unsigned, std::size_t> zones_;  // text zones by id
    std::set<std::size_t> used_;             // note zones written
};

}  // namespace

Status read_clarisworks(Conversion& conversion, ByteFile& source, ByteFile& work) {
    return Reader(conversion, source, work).run();
}

bool recognises_clarisworks(const SourceStart& s) {
    const unsigned version = s.byte(0);
    return version >= 1 && version <= 6 && s.have > 8 && std::memcmp(s.bytes + 4, "BOBO", 4) == 0 &&
           s.byte(kKindOffset[version]) == 1;
}

int bid_clarisworks(const Evidence& e) {
    if (e.finder_says("CWWP", "BOBO") || e.finder_says("CWW2", "BOBO") || e.finder_says("sWPP", "BOBO")) {
        return kBidFinder + 1;
    }
    // "BOBO" at a fixed place and a kind byte: the most certain marks.
    return recognises_clarisworks(e.start) ? kBidMarks + 6 : kNoBid;
}

}  // namespace verbatra
