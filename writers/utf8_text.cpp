// UTF-8 text for keeping: every character as Unicode, a paragraph a line
// (LF), tabs as tabs, a form feed before a paragraph that starts a page.
// Running heads are plain lines where they stand (the leading ones before
// the body); footers come after the body, then the notes, each numbered as
// its mark "[N]" in the text. No byte-order mark.
#include "writers/utf8_text.h"

#include <string>

#include "writers/rich_walk.h"
#include "writers/target_tables.h"

namespace verbatra {

namespace {

class TextRenderer : public rich::Renderer {
public:
    explicit TextRenderer(ByteFile& out) : out_(out) {}

    void finish() {
        flush_body();
        if (!footers_.empty()) out_.write(footers_.data(), footers_.size());
        if (!notes_.empty()) {
            const std::string rule = "\n";
            out_.write(rule.data(), rule.size());
            out_.write(notes_.data(), notes_.size());
        }
    }

    void paragraph_start(const rich::ParaProps& p) override {
        if (p.page_break_before) here() += '\f';
    }
    void paragraph_end() override {
        std::string& s = here();
        // A note's paragraphs follow one another on its lines.
        if (part_ == rich::Part::kNote) s += ' ';
        else s += '\n';
        if (&s == &body_ && body_.size() > kFlushAt) flush_body();
    }
    void text(std::string_view utf8, const rich::CharProps&) override { here() += utf8; }
    void tab(const rich::CharProps&) override { here() += '\t'; }
    void page_number(const rich::CharProps&) override { here() += '#'; }
    void section_start(rich::Part part, int note) override {
        part_ = part;
        if (part == rich::Part::kNote) {
            std::string mark(1, '[');
            mark += std::to_string(note);
            mark += ']';
            body_ += mark;
            notes_ += mark + ' ';
        }
    }
    void section_end(rich::Part part) override {
        if (part == rich::Part::kNote) {
            while (!notes_.empty() && notes_.back() == ' ') notes_.pop_back();
            notes_ += '\n';
        }
        part_ = rich::Part::kBody;
    }
    void picture(const stream::PictureHeader&, std::string_view, const rich::CharProps&) override {
        here() += kPicturePlaceholder;
    }

private:
    static constexpr std::size_t kFlushAt = 1 << 16;
    std::string& here() {
        switch (part_) {
            case rich::Part::kFooter: return footers_;
            case rich::Part::kNote: return notes_;
            default: return body_;  // a running head stands where it comes
        }
    }
    void flush_body() {
        out_.write(body_.data(), body_.size());
        body_.clear();
    }

    ByteFile& out_;
    rich::Part part_ = rich::Part::kBody;
    std::string body_, footers_, notes_;
};

}  // namespace

Status write_utf8_text(Conversion&, ByteFile& work, ByteFile& target) {
    TextRenderer r(target);
    rich::walk(work, r);
    r.finish();
    return kConverted;
}

}  // namespace verbatra
