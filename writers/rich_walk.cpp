#include "writers/rich_walk.h"

#include <cstdlib>

#include "stream/charsets.h"
#include "stream/codes.h"
#include "stream/mac_charset.h"
#include "stream/utf8.h"

namespace verbatra::rich {

namespace {

// The fonts of the stream's font classes (0 other, 1 roman, 2 swiss, 3
// symbol, 4 dingbats), as the other writers name them.
constexpr const char* kClassFonts[] = {"Courier New", "Times New Roman", "Arial", "Symbol", "Wingdings"};

// The stream's style codes, each pair turning one property on and off.
struct StyleCode {
    std::uint8_t on, off;
    bool CharProps::*field;
};
constexpr StyleCode kStyleCodes[] = {
    {stream::kBoldOn, stream::kBoldOff, &CharProps::bold},
    {stream::kItalicOn, stream::kItalicOff, &CharProps::italic},
    {stream::kUnderlineOn, stream::kUnderlineOff, &CharProps::underline},
    {stream::kDoubleUnderlineOn, stream::kDoubleUnderlineOff, &CharProps::double_underline},
    {stream::kStrikeOn, stream::kStrikeOff, &CharProps::strike},
    {stream::kSuperscriptOn, stream::kSuperscriptOff, &CharProps::superscript},
    {stream::kSubscriptOn, stream::kSubscriptOff, &CharProps::subscript},
    {stream::kSmallCapsOn, stream::kSmallCapsOff, &CharProps::small_caps},
    {stream::kAllCapsOn, stream::kAllCapsOff, &CharProps::all_caps},
    {stream::kOutlineOn, stream::kOutlineOff, &CharProps::outline},
    {stream::kShadowOn, stream::kShadowOff, &CharProps::shadow},
    {stream::kHiddenOn, stream::kHiddenOff, &CharProps::hidden},
};

class Walker {
public:
    Walker(ByteFile& work, Renderer& r) : decoder_(work), r_(r) {}

    void run() {
        for (stream::Event e; decoder_.next(e);) {
            switch (e.kind) {
                case stream::Kind::kText:
                    pending_.clear();
                    append_stream_bytes(pending_, e.bytes, e.length);
                    put_text();
                    break;
                case stream::Kind::kTab:
                    open_paragraph();
                    r_.tab(c_);
                    break;
                case stream::Kind::kLineEnd: put_char(' '); break;
                case stream::Kind::kPageBreak:
                    // Two breaks in a row leave an empty page between them.
                    if (page_break_ && !open_) open_paragraph();
                    if (open_) r_.paragraph_end();
                    open_ = false;
                    page_break_ = true;
                    break;
                case stream::Kind::kParagraphEnd:
                    open_paragraph();
                    r_.paragraph_end();
                    open_ = false;
                    break;
                case stream::Kind::kCharacter: character(e); break;
                case stream::Kind::kCode: code(e); break;
                case stream::Kind::kSectionStart: section_start(e); break;
                case stream::Kind::kSectionEnd: section_end(); break;
                case stream::Kind::kPicture:
                    open_paragraph();
                    r_.picture(e.picture, std::string_view(reinterpret_cast<const char*>(e.bytes), e.length), c_);
                    break;
                case stream::Kind::kFontName:
                    // An empty name goes back to the font class's font.
                    named_ = e.length != 0;
                    c_.font = named_ ? font_name(e.bytes, e.length) : class_font_;
                    break;
            }
        }
        if (part_ != Part::kBody) section_end();
        if (open_) {
            r_.paragraph_end();
            open_ = false;
        }
    }

private:
    // A font's name is in Macintosh characters: as Unicode, control
    // characters left out.
    static std::string font_name(const std::uint8_t* bytes, std::size_t n) {
        std::string name;
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint8_t b = bytes[i];
            if (b >= 0x20 && b < 0x7F) {
                name += static_cast<char>(b);
            } else if (b >= 0x80) {
                const std::uint16_t pair = kMacintoshTable[b];
                const char32_t u = pair > 0xFF ? stream::unicode_of(pair >> 8, pair & 0xFF) : pair >= 0x20 ? pair : 0;
                if (u != 0) append_utf8(name, u);
            }
        }
        return name;
    }

    void open_paragraph() {
        if (open_) return;
        p_.page_break_before = page_break_ && part_ == Part::kBody;
        page_break_ = false;
        r_.paragraph_start(p_);
        p_.page_break_before = false;
        open_ = true;
    }

    void put_text() {
        if (pending_.empty()) return;
        open_paragraph();
        r_.text(pending_, c_);
    }

    void put_char(char32_t u) {
        if (u == 0) return;
        pending_.clear();
        append_utf8(pending_, u);
        put_text();
    }

    void character(const stream::Event& e) {
        if (e.code == stream::kSetChar) put_char(stream::unicode_of(e.set(), e.character()));
        else put_char(stream::unicode_of_code(e.code));
    }

    void align(Align a, bool on) {
        if (on) p_.align = a;
        else if (p_.align == a) p_.align = Align::kLeft;
    }

    void code(const stream::Event& e) {
        for (const StyleCode& sc : kStyleCodes) {
            if (e.code == sc.on || e.code == sc.off) {
                c_.*sc.field = e.code == sc.on;
                return;
            }
        }
        switch (e.code) {
            case stream::kCentredOn: case stream::kCentredOff: align(Align::kCentre, e.code == stream::kCentredOn); return;
            case stream::kRightOn: case stream::kRightOff: align(Align::kRight, e.code == stream::kRightOn); return;
            case stream::kJustifiedOn: case stream::kJustifiedOff:
                align(Align::kJustify, e.code == stream::kJustifiedOn);
                return;
            case stream::kLeftAligned: p_.align = Align::kLeft; return;
            case stream::kSetTab: case stream::kClearTab: set_tab(e.column(), e.code == stream::kSetTab ? e.tab_kind() : 0); return;
            case stream::kClearAllTabs: columns_.clear(); rebuild_tabs(); return;
            case stream::kLineSpacing: p_.line_spacing = std::max(1, std::abs(e.new_value())); return;
            case stream::kIndentHere: p_.indent_points = first_tab_points(); return;
            case stream::kIndentOff: p_.indent_points = 0; return;
            case stream::kFontSize: {
                const int points = std::abs(e.new_value());
                c_.points = points == 0 ? 10 : points;
                rebuild_tabs();  // stops are measured in it
                return;
            }
            case stream::kFontClass:
                class_font_ = e.new_value() >= 0 && e.new_value() <= 4 ? kClassFonts[e.new_value()] : kClassFonts[0];
                if (!named_) c_.font = class_font_;
                return;
            case stream::kTextColour: c_.colour = e.args[1] <= 16 ? e.args[1] : 0; return;
            case stream::kPageNumber:
                open_paragraph();
                r_.page_number(c_);
                return;
            case stream::kOptionalHyphen:
                put_char(0x00AD);
                return;
            default: return;
        }
    }

    // Tab stops are kept by column (a column is as wide as the size in
    // force) and given to renderers in points.
    void set_tab(int column, int kind) {
        std::erase_if(columns_, [&](const Column& c) { return c.column == column; });
        if (kind >= stream::kTabLeft && kind <= stream::kTabBar) {
            auto at = columns_.begin();
            while (at != columns_.end() && at->column < column) ++at;
            columns_.insert(at, {column, kind});
        }
        rebuild_tabs();
    }
    void rebuild_tabs() {
        p_.tabs.clear();
        for (const Column& c : columns_) p_.tabs.push_back({c.column * c_.points, c.kind});
    }
    int first_tab_points() const { return p_.tabs.empty() ? 5 * c_.points : p_.tabs.front().points; }

    void section_start(const stream::Event& e) {
        const stream::Section s = e.section();
        part_ = s == stream::Section::kNote ? Part::kNote : s == stream::Section::kHeader ? Part::kHeader : Part::kFooter;
        // The paragraph around a note stays open; a running head stands
        // between paragraphs of its own.
        outer_open_ = open_;
        outer_para_ = p_;
        open_ = false;
        r_.section_start(part_, part_ == Part::kNote ? ++notes_ : 0);
    }
    void section_end() {
        if (part_ == Part::kBody) return;
        if (open_) r_.paragraph_end();
        r_.section_end(part_);
        open_ = outer_open_;
        if (part_ == Part::kNote) p_ = outer_para_;  // a note's rulers end with it
        part_ = Part::kBody;
    }

    stream::Decoder decoder_;
    Renderer& r_;
    CharProps c_;
    ParaProps p_, outer_para_;
    struct Column {
        int column;
        int kind;
    };
    std::vector<Column> columns_;  // in order
    std::string class_font_;
    bool named_ = false;
    bool open_ = false, outer_open_ = false;
    bool page_break_ = false;  // the next body paragraph starts a page
    Part part_ = Part::kBody;
    int notes_ = 0;
    std::string pending_;
};

}  // namespace

std::string title_of(const Conversion& c) {
    if (!c.title.empty()) return c.title;
    const std::size_t slash = c.source_name.find_last_of("/\\");
    return slash == std::string::npos ? c.source_name : c.source_name.substr(slash + 1);
}

std::string provenance_of(const Conversion& c) {
    return "converted from " + (c.source_format.empty() ? std::string("a Macintosh document") : c.source_format) +
           " by Verbatra " + kProgramVersion;
}

std::string colour_hex(int colour) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    const std::uint8_t* rgb = kPalette[colour >= 0 && colour <= 16 ? colour : 0];
    std::string s;
    for (int i = 0; i < 3; ++i) {
        s += kHex[rgb[i] >> 4];
        s += kHex[rgb[i] & 15];
    }
    return s;
}

void append_escaped(std::string& out, std::string_view text) {
    for (const char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
}

void append_stream_bytes(std::string& out, const std::uint8_t* bytes, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t b = bytes[i];
        if (b >= 0x20 && b < 0x7F) out += static_cast<char>(b);
        else if (b >= 0xA0) append_utf8(out, b);
        else if (b >= 0x80) append_utf8(out, 0xFFFD);
    }
}

void walk(ByteFile& work, Renderer& renderer) { Walker(work, renderer).run(); }

}  // namespace verbatra::rich
