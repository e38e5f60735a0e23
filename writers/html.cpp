// HTML for reading in any browser: one self-contained UTF-8 file. The
// fixed rules are in a style element; each paragraph and run carries its
// own properties in a style attribute, so the file is written as the
// stream is read. Running heads are a header element (in the order they
// come), footers a footer element after the body, notes a numbered list
// at the end, linked both ways with their marks.
#include "writers/html.h"

#include <string>

#include "writers/rich_walk.h"
#include "writers/target_tables.h"

namespace verbatra {

namespace {

constexpr char kHead1[] =
    "<!DOCTYPE html>\n<html lang=\"und\">\n<head>\n<meta charset=\"utf-8\">\n<title>";
constexpr char kStyle[] =
    "<style>\n"
    "body { font-family: 'Times New Roman', serif; font-size: 10pt; max-width: 45em; margin: 2em auto; }\n"
    "p { margin: 0; white-space: pre-wrap; min-height: 1.2em; }\n"
    "header, footer { color: #555; border-bottom: 1px solid #ccc; margin-bottom: 1em; }\n"
    "footer { border-bottom: none; border-top: 1px solid #ccc; margin-top: 1em; }\n"
    "section.notes { border-top: 1px solid #ccc; margin-top: 2em; }\n"
    "a.note-back { text-decoration: none; }\n"
    "</style>\n</head>\n<body>\n<main>\n";

class HtmlRenderer : public rich::Renderer {
public:
    explicit HtmlRenderer(ByteFile& out) : out_(out) {}

    void start(const Conversion& c) {
        std::string s = kHead1;
        rich::append_escaped(s, rich::title_of(c));
        s += "</title>\n<meta name=\"generator\" content=\"Verbatra ";
        s += kProgramVersion;
        s += "\">\n<meta name=\"description\" content=\"";
        rich::append_escaped(s, rich::provenance_of(c));
        s += "\">\n";
        s += kStyle;
        out_.write(s.data(), s.size());
    }

    void finish() {
        body_ += "</main>\n";
        if (has_text(footers_)) body_ += "<footer>\n" + footers_ + "</footer>\n";
        if (!notes_.empty()) body_ += "<section class=\"notes\">\n<ol>\n" + notes_ + "</ol>\n</section>\n";
        body_ += "</body>\n</html>\n";
        flush();
    }

    void paragraph_start(const rich::ParaProps& p) override {
        std::string& s = here();
        if (part_ == rich::Part::kNote && note_paragraphs_++ == 0) return;  // the list item's first line
        if (part_ == rich::Part::kNote) {
            s += "<br>";
            return;
        }
        s += "<p";
        std::string style;
        static constexpr const char* kAlign[] = {nullptr, "center", "right", "justify"};
        if (kAlign[static_cast<int>(p.align)]) style += std::string("text-align: ") + kAlign[static_cast<int>(p.align)] + "; ";
        if (p.line_spacing != 8) style += "line-height: " + decimal(p.line_spacing * 12, 80) + "; ";
        if (p.indent_points > 0) style += "margin-left: " + std::to_string(p.indent_points) + "pt; ";
        if (p.page_break_before) style += "break-before: page; ";
        if (!style.empty()) {
            style.resize(style.size() - 2);  // the last "; "
            s += " style=\"" + style + "\"";
        }
        s += '>';
    }
    void paragraph_end() override {
        close_span();
        if (part_ == rich::Part::kNote) return;
        here() += "</p>\n";
        if (part_ == rich::Part::kBody && body_.size() > kFlushAt) flush();
    }
    void text(std::string_view utf8, const rich::CharProps& c) override {
        span(c);
        rich::append_escaped(here(), utf8);
    }
    void tab(const rich::CharProps& c) override {
        span(c);
        here() += '\t';
    }
    void page_number(const rich::CharProps& c) override {
        span(c);
        here() += '#';
    }
    void section_start(rich::Part part, int note) override {
        close_span();
        if (part == rich::Part::kNote) {
            const std::string n = std::to_string(note);
            body_ += "<sup><a href=\"#note-" + n + "\" id=\"ref-" + n + "\">" + n + "</a></sup>";
            notes_ += "<li id=\"note-" + n + "\">";
            note_ = n;
            note_paragraphs_ = 0;
        } else if (part == rich::Part::kHeader) {
            header_.clear();
        }
        part_ = part;
    }
    void section_end(rich::Part part) override {
        close_span();
        if (part == rich::Part::kNote) notes_ += " <a class=\"note-back\" href=\"#ref-" + note_ + "\">\u21A9</a></li>\n";
        else if (part == rich::Part::kHeader && has_text(header_)) body_ += "<header>\n" + header_ + "</header>\n";
        part_ = rich::Part::kBody;
    }
    void picture(const stream::PictureHeader&, std::string_view, const rich::CharProps& c) override {
        span(c);
        here() += kPicturePlaceholder;
    }

private:
    static constexpr std::size_t kFlushAt = 1 << 16;

    static std::string decimal(int numerator, int denominator) {
        const int hundredths = numerator * 100 / denominator;
        std::string s = std::to_string(hundredths / 100) + "." + std::to_string(hundredths % 100 / 10) +
                        std::to_string(hundredths % 10);
        return s;
    }

    std::string& here() {
        switch (part_) {
            case rich::Part::kFooter: return footers_;
            case rich::Part::kNote: return notes_;
            case rich::Part::kHeader: return header_;
            default: return body_;
        }
    }

    // The run's properties as CSS, empty for plain text.
    static std::string css(const rich::CharProps& c) {
        std::string s;
        if (c.bold) s += "font-weight: bold; ";
        if (c.italic) s += "font-style: italic; ";
        std::string lines;
        if (c.underline || c.double_underline) lines += "underline ";
        if (c.strike) lines += "line-through ";
        if (!lines.empty()) {
            lines.pop_back();
            s += "text-decoration: " + lines + "; ";
            if (c.double_underline) s += "text-decoration-style: double; ";
        }
        if (c.superscript) s += "vertical-align: super; ";
        if (c.subscript) s += "vertical-align: sub; ";
        if (c.small_caps) s += "font-variant: small-caps; ";
        if (c.all_caps) s += "text-transform: uppercase; ";
        if (c.shadow) s += "text-shadow: 1px 1px 1px #888; ";
        if (c.outline) s += "-webkit-text-stroke: 1px; color: transparent; ";
        if (c.hidden) s += "display: none; ";
        if (!c.font.empty()) {
            std::string font;
            for (const char ch : c.font) {
                if (ch != '\'' && ch != '\\') font += ch;
            }
            s += "font-family: '" + font + "'; ";
        }
        if (c.points != 10) s += "font-size: " + std::to_string(c.points) + "pt; ";
        if (c.colour > 1 && !c.outline) s += "color: #" + rich::colour_hex(c.colour) + "; ";
        if (!s.empty()) s.resize(s.size() - 2);  // the last "; "
        return s;
    }

    void span(const rich::CharProps& c) {
        if (span_open_ && c == span_props_) return;
        close_span();
        const std::string style = css(c);
        if (style.empty()) return;
        std::string& s = here();
        s += "<span style=\"";
        rich::append_escaped(s, style);
        s += "\">";
        span_open_ = true;
        span_props_ = c;
    }
    void close_span() {
        if (!span_open_) return;
        here() += "</span>";
        span_open_ = false;
    }

    // Whether markup holds any text outside its tags (an empty running head
    // makes no header element).
    static bool has_text(const std::string& markup) {
        bool in_tag = false;
        for (const char c : markup) {
            if (c == '<') in_tag = true;
            else if (c == '>') in_tag = false;
            else if (!in_tag && c != '\n' && c != ' ' && c != '\t') return true;
        }
        return false;
    }

    void flush() {
        out_.write(body_.data(), body_.size());
        body_.clear();
    }

    ByteFile& out_;
    rich::Part part_ = rich::Part::kBody;
    std::string body_, header_, footers_, notes_;
    std::string note_;
    int note_paragraphs_ = 0;
    bool span_open_ = false;
    rich::CharProps span_props_;
};

}  // namespace

Status write_html(Conversion& conversion, ByteFile& work, ByteFile& target) {
    HtmlRenderer r(target);
    r.start(conversion);
    rich::walk(work, r);
    r.finish();
    return kConverted;
}

}  // namespace verbatra
