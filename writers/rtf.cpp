// Rich Text Format. One group: a fixed prologue (font and colour tables),
// the body, and a closing brace for every group still open. Characters of
// other sets become hexadecimal escapes of their target byte, inside a
// Symbol-font group when the target table says so.
//
// Paragraph properties (alignment, tab stops, borders) are not written where
// their codes stand. RTF carries them from one paragraph to the next and
// forgets what a group set when the group closes, so the writer keeps what
// the stream wants apart from what the reader of the file holds, and before
// the first content of a paragraph and at its end it writes "\pard" and the
// full set wherever the two differ.
#include "writers/rtf.h"

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "pipeline/conversion.h"
#include "stream/decoder.h"
#include "stream/emitter.h"
#include "stream/fonts.h"
#include "writers/rich_walk.h"
#include "writers/target_tables.h"

namespace verbatra {

namespace {

struct ControlWord {
    int key;
    int length;
    const char* text;
};

// Looked up by key, first match; key 29 has three entries, so it is "ul".
constexpr ControlWord kControlWords[] = {
    {1, 4, "ansi"},      {2, 3, "mac"},        {3, 2, "pc"},        {4, 7, "fonttbl"},  {5, 3, "par"},
    {6, 3, "tab"},       {7, 4, "sect"},       {8, 4, "page"},      {9, 4, "pard"},     {10, 2, "fs"},
    {11, 1, "f"},        {20, 1, "b"},         {21, 1, "i"},        {22, 1, "v"},       {23, 4, "outl"},
    {24, 4, "shad"},     {25, 4, "caps"},      {26, 5, "scaps"},    {27, 6, "strike"},  {28, 4, "uldb"},
    {29, 2, "ul"},       {29, 3, "ulw"},       {29, 3, "uld"},      {30, 2, "up"},      {31, 2, "dn"},
    {32, 5, "plain"},    {40, 2, "ql"},        {41, 2, "qr"},       {42, 2, "qj"},      {43, 2, "qc"},
    {44, 2, "fi"},       {45, 2, "li"},        {46, 2, "ri"},       {50, 6, "bullet"},  {51, 6, "lquote"},
    {52, 6, "rquote"},   {53, 9, "ldblquote"}, {54, 9, "rdblquote"}, {55, 6, "endash"}, {56, 6, "emdash"},
    {57, 2, "tx"},       {58, 2, "tb"},        {59, 3, "tqr"},      {60, 3, "tqc"},     {61, 5, "tqdec"},
    {62, 2, "cf"},       {63, 4, "pard"},      {100, 6, "header"},  {101, 6, "footer"}, {102, 8, "footnote"},
    {103, 5, "chftn"},   {104, 3, "uc1"},      {105, 10, "stylesheet"}, {200, 4, "pict"}, {201, 7, "macpict"},
    {202, 10, "wmetafile8"}, {203, 9, "wmetafile"}, {204, 4, "pich"}, {205, 4, "picw"}, {300, 3, "box"},
    {301, 5, "brdrt"},   {302, 5, "brdrb"},    {303, 5, "brdrl"},   {304, 5, "brdrr"},  {305, 7, "brdrbtw"},
    {306, 5, "brdrs"},   {307, 6, "brdrth"},   {308, 6, "brdrsh"},  {309, 6, "brdrdb"}, {310, 5, "brdrw"},
    {311, 4, "brsp"},    {0, 0, ""},
};

// For each key, the index of its first entry in the table (-1: none), so
// that a lookup costs one step in the hot loop but keeps the table's
// first-match rule.
constexpr int kMaxKey = 311;
constexpr std::array<short, kMaxKey + 1> kFirstEntry = [] {
    std::array<short, kMaxKey + 1> first{};
    first.fill(-1);
    for (int i = 0; kControlWords[i].length != 0; ++i) {
        const int key = kControlWords[i].key;
        if (key >= 0 && key <= kMaxKey && first[key] < 0) first[key] = static_cast<short>(i);
    }
    return first;
}();

// The character styles' on codes, in the order they are set again.
constexpr std::uint8_t kStyleOnCodes[] = {
    stream::kBoldOn,   stream::kItalicOn,   stream::kUnderlineOn, stream::kDoubleUnderlineOn,
    stream::kStrikeOn, stream::kSubscriptOn, stream::kSuperscriptOn, stream::kHiddenOn,
    stream::kAllCapsOn, stream::kSmallCapsOn, stream::kShadowOn,  stream::kOutlineOn,
};
// Each on code's place in kStyleOnCodes.
constexpr std::array<std::uint8_t, 0x80> kStyleBit = [] {
    std::array<std::uint8_t, 0x80> bit{};
    for (std::size_t i = 0; i < std::size(kStyleOnCodes); ++i) bit[kStyleOnCodes[i]] = static_cast<std::uint8_t>(i);
    return bit;
}();

enum Key : int {
    kAnsi = 1, kPc = 3, kPar = 5, kTab = 6, kPage = 8, kPard = 9, kFs = 10, kF = 11,
    kB = 20, kI = 21, kV = 22, kOutl = 23, kShad = 24, kCaps = 25, kScaps = 26, kStrike = 27,
    kUldb = 28, kUl = 29, kUp = 30, kDn = 31, kPlain = 32,
    kQl = 40, kQr = 41, kQj = 42, kQc = 43, kTx = 57, kTb = 58, kTqr = 59, kTqc = 60, kTqdec = 61,
    kCf = 62, kHeader = 100, kFooter = 101, kPict = 200, kPich = 204, kPicw = 205,
    kBox = 300, kBrdrt = 301, kBrdrb = 302, kBrdrl = 303, kBrdrr = 304, kBrdrs = 306, kBrdrdb = 309,
    kBrdrw = 310, kBrsp = 311,
};

// The fonts of the font classes; the fonts the stream names follow them.
constexpr char kFontTable[] =
    "{\\fonttbl{\\f0\\froman Times New Roman;}{\\f1\\froman Symbol;}{\\f2\\fswiss Arial;}"
    "{\\f3\\fmodern Courier New;}{\\f4\\fnil Wingdings;}}";
constexpr int kFirstNamedFont = 5;

// RTF's family word for each family of stream/fonts.h.
constexpr const char* kFamilyWords[] = {"fnil", "froman", "fswiss", "fmodern", "fscript", "fdecor", "ftech"};
constexpr char kColourTable[] =
    "{\\colortbl;\\red0\\green0\\blue0;\\red0\\green0\\blue255;\\red0\\green255\\blue255;\\red0\\green255\\blue0;\r\n"
    "\\red255\\green0\\blue255;\\red255\\green0\\blue0;\\red255\\green255\\blue0;\\red255\\green255\\blue255;"
    "\\red0\\green0\\blue127;\\red0\\green127\\blue127;\\red0\\green127\\blue0;\\red127\\green0\\blue127;"
    "\\red127\\green0\\blue0;\\red127\\green127\\blue0;\\red127\\green127\\blue127;\r\n"
    "\\red192\\green192\\blue192;}\r\n";
static_assert(sizeof kFontTable - 1 == 125);
static_assert(sizeof kColourTable - 1 == 376);

constexpr char kHexDigits[] = "0123456789ABCDEF";

// The font digit of each font class: other, roman, sans serif, symbol, dingbats.
int class_font(int font_class) {
    static constexpr int kFonts[] = {3, 0, 2, 1, 4};
    return font_class >= 0 && font_class <= 4 ? kFonts[font_class] : 3;
}

bool is_hex_digit(int b) { return (b >= '0' && b <= '9') || (b >= 'A' && b <= 'F') || (b >= 'a' && b <= 'f'); }

// The paragraph properties a reader of the file holds, as the control
// words that follow "\pard": the alignment word (none for left), the tab
// stops and the border. An alignment of kUnknown stands for properties
// nothing is known of (a group just opened), which match nothing wanted.
constexpr int kUnknown = -1;
struct ParaProps {
    int align = kQl;
    std::string tabs;
    std::string border;
    bool operator==(const ParaProps&) const = default;
};

class Writer {
public:
    Writer(const Conversion& conversion, ByteFile& work, ByteFile& target, const TargetCharTable& table, bool dos)
        : conversion_(conversion), work_file_(work), target_file_(target), table_(table), dos_(dos) {}

    Status run() {
        {
            ByteOut out(target_file_);
            out.put_text("{\\rtf1");
            out.put_text(dos_ ? "\\pc " : "\\ansi ");
        }
        // The fonts the stream names, for the font table ahead of the text.
        names_ = stream::font_names_of(work_file_);
        // An empty stream still makes a whole, well-formed document.
        reset_document_state(work_file_, cs_, ps_, &tabs_);
        stream::Decoder decoder(work_file_);
        ByteOut out(target_file_);
        out_ = &out;
        write_font_table(out);
        out.put_text(kColourTable);
        write_info(out);
        out.put_text("\\f0 ");
        depth_ = 1;
        tabs_.changed = 0;
        body(decoder);
        for (int i = 0; i < depth_; ++i) out.put('}');
        return kConverted;
    }

private:
    void emit(int key) {
        if (key < 0 || key > kMaxKey || kFirstEntry[key] < 0) return;
        const ControlWord& w = kControlWords[kFirstEntry[key]];
        out_->put('\\');
        for (int i = 0; i < w.length; ++i) out_->put(static_cast<std::uint8_t>(w.text[i]));
    }
    void emit_space(int key) {
        emit(key);
        out_->put(' ');
    }
    void number(long value) {
        char digits[24];
        int n = 0;
        unsigned long v = value < 0 ? 0UL - static_cast<unsigned long>(value) : static_cast<unsigned long>(value);
        do {
            digits[n++] = static_cast<char>('0' + v % 10);
            v /= 10;
        } while (v != 0);
        if (value < 0) out_->put('-');
        while (n > 0) out_->put(static_cast<std::uint8_t>(digits[--n]));
    }
    int points() const { return -cs_.size; }

    void close_symbol_group() {
        if (!symbol_open_) return;
        out_->put('}');
        symbol_open_ = false;
        --depth_;
    }

    void body(stream::Decoder& decoder) {
        for (stream::Event e; decoder.next(e);) {
            switch (e.kind) {
                case stream::Kind::kText: text(e.bytes, e.length); break;
                case stream::Kind::kTab: settle_paragraph(); emit_space(kTab); break;
                case stream::Kind::kLineEnd: settle_paragraph(); out_->put(' '); break;
                case stream::Kind::kPageBreak: settle_paragraph(); emit_space(kPage); break;  // kept, and words stay apart
                case stream::Kind::kParagraphEnd: paragraph_end(); break;
                case stream::Kind::kCharacter: character(e); break;
                case stream::Kind::kCode: code(e); break;
                case stream::Kind::kSectionStart: section_start(e); break;
                case stream::Kind::kSectionEnd: close_section(); break;
                case stream::Kind::kPicture: picture(e); break;
                case stream::Kind::kFontName: font_name(e); break;
            }
        }
        settle_paragraph();
    }

    // A named font takes the place of its class's font; a font of no
    // known name gives the class's font back.
    void font_name(const stream::Event& e) {
        const std::string name(reinterpret_cast<const char*>(e.bytes), e.length);
        const auto at = std::find(names_.begin(), names_.end(), name);
        named_font_ = e.length == 0 || at == names_.end() ? -1 : kFirstNamedFont + static_cast<int>(at - names_.begin());
        const int font = named_font_ < 0 ? class_font_ : named_font_;
        if (font == font_) return;
        font_ = font;
        put_font();
    }

    static bool needs_escape(std::uint8_t b) { return b == '{' || b == '}' || b == 0x7F; }

    // Bytes that stand for themselves go out as whole spans: text runs are
    // most of a document, and a call per byte was most of their cost.
    void text(const std::uint8_t* bytes, std::size_t length) {
        std::size_t i = 0;
        while (i < length) {
            const std::uint8_t b = bytes[i];
            if (needs_escape(b)) {
                settle_paragraph();
                if (b == 0x7F) out_->put('_');
                else out_->put_text(b == '{' ? "\\{" : "\\}");
                ++i;
                continue;
            }
            if (para_pending_ | symbol_open_) {
                settle_paragraph();
                close_symbol_group();
            }
            std::size_t end = i + 1;
            while (end < length && !needs_escape(bytes[end])) ++end;
            out_->put_bytes(bytes + i, end - i);
            i = end;
        }
    }

    void paragraph_end() {
        settle_paragraph();
        out_->put(0x0D);
        out_->put(0x0A);
        emit_space(kPar);
        // A border belongs to the paragraph it was set in.
        if (!want_.border.empty()) {
            want_.border.clear();
            para_pending_ = true;
        }
    }

    // -- paragraph properties ---------------------------------------------
    void append_word(std::string& s, int key) const {
        const ControlWord& w = kControlWords[kFirstEntry[key]];
        s += '\\';
        s.append(w.text, static_cast<std::size_t>(w.length));
    }

    // The tab stops in force, measured in the size in force.
    void build_tab_words(std::string& s) const {
        s.clear();
        for (int p = 0; p < 256; ++p) {
            const int t = tabs_.stops[p];
            if (t == 0) continue;
            const long twips = static_cast<long>(p) * points() * 20;
            if (t == stream::kTabBar) {
                if (dos_) {
                    append_word(s, kTb);
                    s += std::to_string(twips);
                }
                continue;
            }
            if (t == stream::kTabCentre) append_word(s, kTqc);
            else if (t == stream::kTabRight) append_word(s, kTqr);
            else if (t == stream::kTabDecimal) append_word(s, kTqdec);
            append_word(s, kTx);
            s += std::to_string(twips);
        }
    }

    // Makes what the file says of the current paragraph what the stream
    // wants, writing nothing when the two already agree.
    void settle_paragraph() {
        if (!para_pending_) return;
        para_pending_ = false;
        if (tabs_dirty_) {
            build_tab_words(want_.tabs);
            tabs_dirty_ = false;
        }
        if (want_ == written_) return;
        close_symbol_group();  // what is set inside it would end with it
        emit(kPard);
        if (want_.align != kQl) emit(want_.align);
        out_->put_text(want_.tabs.c_str());
        out_->put_text(want_.border.c_str());
        out_->put(' ');
        written_ = want_;
    }

    // The alignment wanted after a change: the one switched on last, or
    // another still on when that one is switched off.
    void alignment(std::int32_t& flag, int delta, int key) {
        flag = delta > 0 ? 1 : 0;
        if (delta > 0) want_.align = key;
        else if (want_.align == key) want_.align = ps_.right_aligned ? kQr : ps_.justified ? kQj : ps_.centred ? kQc : kQl;
        para_pending_ = true;
    }

    // Where the document came from, in the group word processors show as
    // the document's properties.
    void write_info(ByteOut& out) {
        out.put_text("{\\info{\\doccomm ");
        out.put_text(rich::provenance_of(conversion_).c_str());
        out.put_text("}");
        const std::pair<const char*, std::int64_t> dates[] = {{"creatim", conversion_.created},
                                                              {"revtim", conversion_.modified}};
        for (const auto& [word, when] : dates) {
            if (when == kNoDate) continue;
            const CivilTime t = civil_of(when);
            out.put_text(("{\\" + std::string(word) + "\\yr" + std::to_string(t.year) + "\\mo" + std::to_string(t.month) +
                          "\\dy" + std::to_string(t.day) + "\\hr" + std::to_string(t.hour) + "\\min" +
                          std::to_string(t.minute) + "}")
                             .c_str());
        }
        out.put_text("}");
    }

    void write_font_table(ByteOut& out) {
        std::string table(kFontTable, sizeof kFontTable - 2);  // without its closing brace
        for (std::size_t i = 0; i < names_.size(); ++i) {
            const stream::KnownFont* known = stream::known_font(names_[i]);
            table += "{\\f" + std::to_string(kFirstNamedFont + i) + "\\";
            table += kFamilyWords[static_cast<int>(known ? known->family : stream::FontFamily::kUnknown)];
            if (known && known->fixed_pitch) table += "\\fprq1";
            table += ' ';
            for (const char c : names_[i]) {
                const auto b = static_cast<std::uint8_t>(c);
                if (b >= 0x20 && b < 0x7F && c != '\\' && c != '{' && c != '}' && c != ';') {
                    table += c;
                } else {
                    // Macintosh letters as their Windows bytes; what has none
                    // is left out.
                    const std::uint8_t w = b >= 0x80 ? static_cast<std::uint8_t>(kMacintoshToWindows[b]) : 0;
                    if (w >= 0x80) table += std::string("\\'") + kHexDigits[w >> 4] + kHexDigits[w & 15];
                }
            }
            table += ";}";
        }
        table += '}';
        out.put_text(table.c_str());
    }

    void put_font() {
        emit(kF);
        number(font_);
        out_->put(' ');
    }

    // RTF can end one style only by ending them all, so every style still
    // on, and the colour, is set again after it.
    void plain_reset() {
        emit(kPlain);
        if (points() != 12) {
            emit(kFs);
            number(2L * points());
        }
        emit(kF);
        number(font_);
        out_->put(' ');
        for (unsigned bits = styles_on_; bits != 0; bits &= bits - 1) {
            style_word(kStyleOnCodes[__builtin_ctz(bits)]);
        }
        if (cs_.colour) {
            emit(kCf);
            number(cs_.colour);
            out_->put(' ');
        }
    }

    void style_word(int on_code) {
        switch (on_code) {
            case stream::kBoldOn: emit_space(kB); return;
            case stream::kUnderlineOn: emit_space(kUl); return;
            case stream::kSubscriptOn: emit(kDn); out_->put_text("6 "); return;
            case stream::kSuperscriptOn: emit(kUp); out_->put_text("6 "); return;
            case stream::kStrikeOn: emit_space(kStrike); return;
            case stream::kItalicOn: emit_space(kI); return;
            case stream::kHiddenOn: emit_space(kV); return;
            case stream::kAllCapsOn: emit_space(kCaps); return;
            case stream::kShadowOn: emit_space(kShad); return;
            case stream::kDoubleUnderlineOn: emit_space(kUldb); return;
            case stream::kSmallCapsOn: emit_space(kScaps); return;
            case stream::kOutlineOn: emit_space(kOutl); return;
            default: return;
        }
    }

    // A header, footer or footnote is a group of its own: what its
    // paragraphs set ends with it, and it starts from nothing known.
    void enter_section(int depth_added) {
        close_symbol_group();  // a brace inside the section must not close it
        bases_.push_back({depth_, written_, styles_on_});
        depth_ += depth_added;
        written_.align = kUnknown;
        para_pending_ = true;
    }

    void open_section(int key) {
        settle_paragraph();
        emit_space(kPar);
        enter_section(1);
        out_->put('{');
        emit_space(key);
        section_font();
    }

    // LibreOffice reads the text of a header, footer or footnote in the
    // ANSI code page unless the group names its font, so it does.
    void section_font() { put_font(); }

    // Closes the innermost open header, footer or footnote; a close with
    // none open writes nothing, so the braces always balance.
    void close_section() {
        if (bases_.empty()) return;
        settle_paragraph();  // the section's last paragraph ends with its group
        const Section section = std::move(bases_.back());
        bases_.pop_back();
        const int base = section.depth;
        symbol_open_ = false;  // one opened inside the section closes with it
        write_repeated(depth_ - base, '}', *out_);
        depth_ = base;
        written_ = section.written;
        styles_on_ = section.styles_on;
        para_pending_ = true;
        section_font();  // the body goes on in the font it had
    }

    void set_character(const stream::Event& e) {
        const std::uint16_t entry = table_.lookup(e.args[0], e.args[1]);
        if (entry == 0) return;  // a pair no source produces
        settle_paragraph();
        if (entry >> 8) {
            if (!symbol_open_) {
                out_->put_text("{\\f1 ");
                symbol_open_ = true;
                ++depth_;
            }
        } else {
            close_symbol_group();
        }
        out_->put('\\');
        out_->put('\'');
        out_->put(static_cast<std::uint8_t>(kHexDigits[(entry >> 4) & 15]));
        out_->put(static_cast<std::uint8_t>(kHexDigits[entry & 15]));
    }

    void picture(const stream::Event& e) {
        settle_paragraph();
        out_->put('{');
        emit(kPict);
        emit(kPict + static_cast<std::int8_t>(e.picture.kind));
        emit(kPicw);
        number(e.picture.width);
        emit(kPich);
        number(e.picture.height);
        out_->put(' ');
        for (std::size_t i = 0; i < e.length; ++i) {
            const std::uint8_t b = e.bytes[i];
            if (is_hex_digit(b)) out_->put(static_cast<std::uint8_t>(b >= 'A' && b <= 'F' ? b - 'A' + 'a' : b));
        }
        out_->put('}');
    }

    void border(int f) {
        want_.border.clear();
        if ((f & 0x0F) == 0x0F) {
            append_word(want_.border, kBox);
        } else {
            if (f & 0x01) append_word(want_.border, kBrdrt);
            if (f & 0x02) append_word(want_.border, kBrdrl);
            if (f & 0x04) append_word(want_.border, kBrdrb);
            if (f & 0x08) append_word(want_.border, kBrdrr);
        }
        append_word(want_.border, (f & 0x20) ? kBrdrdb : kBrdrs);
        append_word(want_.border, kBrdrw);
        want_.border += "15";
        append_word(want_.border, kBrsp);
        want_.border += "20";
        para_pending_ = true;
    }

    void character(const stream::Event& e) {
        switch (e.code) {
            case stream::kSetChar: set_character(e); return;
            case stream::kNonBreakingSpace: settle_paragraph(); out_->put_text("\\~"); return;
            case stream::kBackslash: settle_paragraph(); out_->put_text("\\\\"); return;
            default: return;
        }
    }

    void section_start(const stream::Event& e) {
        switch (e.section()) {
            case stream::Section::kHeader: open_section(kHeader); return;
            case stream::Section::kFooter: open_section(kFooter); return;
            case stream::Section::kNote:
                settle_paragraph();  // its mark stands in the paragraph
                enter_section(3);
                out_->put_text("{\\chftn {\\footnote {\\chftn }{");
                section_font();
                return;
        }
    }

    void code(const stream::Event& e) {
        const int c = e.code;
        switch (c) {
            case stream::kBoldOn: case stream::kUnderlineOn: case stream::kSubscriptOn:
            case stream::kSuperscriptOn: case stream::kStrikeOn: case stream::kItalicOn:
            case stream::kHiddenOn: case stream::kAllCapsOn: case stream::kShadowOn:
            case stream::kDoubleUnderlineOn: case stream::kSmallCapsOn: case stream::kOutlineOn:
                styles_on_ |= 1u << kStyleBit[c];
                style_word(c);
                return;
            case stream::kCentredOn: alignment(ps_.centred, 1, kQc); return;
            case stream::kCentredOff: alignment(ps_.centred, -1, kQc); return;
            case stream::kOptionalHyphen:
                // RTF's own optional hyphen; the line end that belongs to
                // it went with it, so the word stays whole.
                settle_paragraph();
                out_->put_text("\\-");
                return;
            case stream::kJustifiedOn: alignment(ps_.justified, 1, kQj); return;
            case stream::kJustifiedOff: alignment(ps_.justified, -1, kQj); return;
            case stream::kRightOn: alignment(ps_.right_aligned, 1, kQr); return;
            case stream::kRightOff: alignment(ps_.right_aligned, -1, kQr); return;
            case stream::kBoldOff: case stream::kUnderlineOff: case stream::kSubscriptOff:
            case stream::kSuperscriptOff: case stream::kStrikeOff: case stream::kItalicOff:
            case stream::kHiddenOff: case stream::kAllCapsOff: case stream::kShadowOff:
            case stream::kDoubleUnderlineOff: case stream::kSmallCapsOff: case stream::kOutlineOff:
                styles_on_ &= ~(1u << kStyleBit[c - 1]);
                plain_reset();
                return;
            case stream::kSetTab:
            case stream::kClearTab:
                tabs_.stops[e.column()] = c == stream::kSetTab ? e.tab_kind() : 0;
                tabs_.changed = 255;
                tabs_dirty_ = true;
                para_pending_ = true;
                return;
            case stream::kFontClass:
                class_font_ = class_font(e.new_value());
                if (named_font_ < 0) font_ = class_font_;
                put_font();
                return;
            case stream::kFontSize:
                emit(kFs);
                number(-2L * e.new_value());
                out_->put(' ');
                cs_.size = e.new_value();
                if (tabs_.changed) {
                    tabs_dirty_ = true;  // stops are measured in it
                    para_pending_ = true;
                }
                return;
            case stream::kParagraphBorder: border(e.args[0]); return;
            case stream::kParagraphReset:
                if (!want_.border.empty()) {
                    want_.border.clear();
                    para_pending_ = true;
                }
                return;
            case stream::kTextColour:
                cs_.colour = e.args[1];
                emit(kCf);
                number(e.args[1]);  // all its digits, 10 and up included
                out_->put(' ');
                return;
            default: return;
        }
    }

    const Conversion& conversion_;
    ByteFile& work_file_;
    ByteFile& target_file_;
    const TargetCharTable& table_;
    const bool dos_;
    ByteOut* out_ = nullptr;
    CharState cs_;
    ParaState ps_;
    TabState tabs_;
    int depth_ = 1;
    // At each open header, footer or footnote: the group depth, and what the
    // file held of the paragraph before it.
    struct Section {
        int depth;
        ParaProps written;
        unsigned styles_on;  // the group's end restores them
    };
    std::vector<Section> bases_;
    bool symbol_open_ = false;
    unsigned styles_on_ = 0;  // a bit for each of kStyleOnCodes that is on
    std::vector<std::string> names_;  // the named fonts, from kFirstNamedFont on
    int class_font_ = 0, named_font_ = -1;
    int font_ = 0;  // the font in force
    ParaProps want_;         // what the stream wants; a border only for its paragraph
    bool tabs_dirty_ = false;  // want_.tabs is to be built anew
    ParaProps written_;      // what the file says; RTF's defaults at the start
    bool para_pending_ = false;  // something changed since the last settling
};

}  // namespace

Status write_rtf(const Conversion& conversion, ByteFile& work, ByteFile& target, const TargetCharTable& table, bool dos) {
    return Writer(conversion, work, target, table, dos).run();
}

Status write_rtf_dos(Conversion& c, ByteFile& work, ByteFile& target) { return write_rtf(c, work, target, kDosTable, true); }

Status write_rtf_ansi(Conversion& c, ByteFile& work, ByteFile& target) {
    return write_rtf(c, work, target, kWindowsTable, false);
}

}  // namespace verbatra
