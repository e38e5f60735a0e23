// OpenDocument Text (ODF 1.3), the archives' format: a zip package whose
// "mimetype" comes first and stored, then content.xml written as the
// stream is read, the pictures, styles.xml (the styles the text used, the
// page with its header and footer), meta.xml and the manifest.
//
// The text names its paragraph and character styles as it goes ("P1",
// "T1", ...); they are common styles in styles.xml, which is written
// after the text, so one pass over the stream is enough. Notes are real
// notes, inline at their marks; the running heads are the page's.
#include "writers/odt.h"

#include <string>
#include <unordered_map>
#include <vector>

#include "pipeline/scratch.h"
#include "writers/rich_walk.h"
#include "writers/zip_package.h"

namespace verbatra {

namespace {

constexpr char kMimeType[] = "application/vnd.oasis.opendocument.text";

constexpr char kNamespaces[] =
    " xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\""
    " xmlns:style=\"urn:oasis:names:tc:opendocument:xmlns:style:1.0\""
    " xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\""
    " xmlns:draw=\"urn:oasis:names:tc:opendocument:xmlns:drawing:1.0\""
    " xmlns:fo=\"urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0\""
    " xmlns:svg=\"urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0\""
    " xmlns:xlink=\"http://www.w3.org/1999/xlink\""
    " xmlns:dc=\"http://purl.org/dc/elements/1.1/\""
    " xmlns:meta=\"urn:oasis:names:tc:opendocument:xmlns:meta:1.0\""
    " office:version=\"1.3\"";

constexpr std::size_t kFlushAt = 1 << 16;

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

class OdtRenderer : public rich::Renderer {
public:
    OdtRenderer(ZipPackage& zip, ByteFile& pictures) : zip_(zip), pictures_(pictures) {}

    void start() {
        zip_.begin("content.xml");
        body_ = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<office:document-content";
        body_ += kNamespaces;
        body_ += "><office:body><office:text>";
    }

    void finish_content() {
        body_ += "</office:text></office:body></office:document-content>\n";
        zip_.write(body_);
        body_.clear();
        zip_.end();
    }

    // The pictures' entries and the manifest's lines for them.
    std::string write_pictures() {
        std::string manifest;
        pictures_.rewind();
        std::string data;
        for (std::size_t i = 0; i < picture_sizes_.size(); ++i) {
            data.resize(picture_sizes_[i]);
            if (picture_sizes_[i] != 0) pictures_.read(data.data(), data.size());
            const std::string name = "Pictures/" + std::to_string(i + 1) + ".pct";
            zip_.begin(name);
            zip_.write(data);
            zip_.end();
            manifest += "<manifest:file-entry manifest:full-path=\"" + name + "\" manifest:media-type=\"image/x-pict\"/>";
        }
        return manifest;
    }

    std::string styles_xml() const {
        std::string s = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<office:document-styles";
        s += kNamespaces;
        s += "><office:styles>"
             "<style:default-style style:family=\"paragraph\"><style:text-properties fo:font-size=\"10pt\""
             " fo:font-family=\"'Times New Roman'\"/></style:default-style>"
             "<style:style style:name=\"Standard\" style:family=\"paragraph\"/>";
        s += styles_;
        s += "<text:notes-configuration text:note-class=\"footnote\" style:num-format=\"1\" text:start-value=\"0\""
             " text:footnotes-position=\"page\" text:start-numbering-at=\"document\"/>"
             "</office:styles><office:automatic-styles><style:page-layout style:name=\"Page\">"
             "<style:page-layout-properties fo:page-width=\"8.5in\" fo:page-height=\"11in\" fo:margin-top=\"0.5in\""
             " fo:margin-bottom=\"0.5in\" fo:margin-left=\"1in\" fo:margin-right=\"1in\"/>"
             "<style:header-style><style:header-footer-properties fo:min-height=\"0in\" fo:margin-bottom=\"0.2in\"/>"
             "</style:header-style><style:footer-style><style:header-footer-properties fo:min-height=\"0in\""
             " fo:margin-top=\"0.2in\"/></style:footer-style></style:page-layout></office:automatic-styles>"
             "<office:master-styles><style:master-page style:name=\"Standard\" style:page-layout-name=\"Page\">";
        if (!header_.empty()) s += "<style:header>" + header_ + "</style:header>";
        if (!footer_.empty()) s += "<style:footer>" + footer_ + "</style:footer>";
        s += "</style:master-page></office:master-styles></office:document-styles>\n";
        return s;
    }

    void paragraph_start(const rich::ParaProps& p) override {
        std::string& s = here();
        s += "<text:p text:style-name=\"" + paragraph_style(p) + "\">";
        space_before_ = true;  // a leading space must be written as one
    }
    void paragraph_end() override {
        close_span();
        here() += "</text:p>";
        if (part_ == rich::Part::kBody && body_.size() > kFlushAt) {
            zip_.write(body_);
            body_.clear();
        }
    }
    void text(std::string_view utf8, const rich::CharProps& c) override {
        span(c);
        std::string& s = here();
        for (const char ch : utf8) {
            if (ch == ' ') {
                if (space_before_) {
                    s += "<text:s/>";
                } else {
                    s += ' ';
                    space_before_ = true;
                }
                continue;
            }
            space_before_ = false;
            switch (ch) {
                case '&': s += "&amp;"; break;
                case '<': s += "&lt;"; break;
                case '>': s += "&gt;"; break;
                default: s += ch;
            }
        }
    }
    void tab(const rich::CharProps& c) override {
        span(c);
        here() += "<text:tab/>";
        space_before_ = false;
    }
    void page_number(const rich::CharProps& c) override {
        span(c);
        here() += "<text:page-number text:select-page=\"current\">1</text:page-number>";
        space_before_ = false;
    }
    void section_start(rich::Part part, int note) override {
        close_span();
        if (part == rich::Part::kNote) {
            const std::string n = std::to_string(note);
            here() += "<text:note text:id=\"ftn" + n + "\" text:note-class=\"footnote\"><text:note-citation>" + n +
                      "</text:note-citation><text:note-body>";
            note_empty_ = true;
        } else {
            // The page's running head is the last one with text.
            section_.clear();
        }
        outer_space_ = space_before_;
        part_ = part;
    }
    void section_end(rich::Part part) override {
        close_span();
        if (part == rich::Part::kNote) {
            // A note holds one paragraph at least.
            if (note_empty_) body_ += "<text:p text:style-name=\"Standard\"/>";
            body_ += "</text:note-body></text:note>";
        } else if (section_.find("<text:p") != std::string::npos) {
            (part == rich::Part::kHeader ? header_ : footer_) = section_;
        }
        part_ = rich::Part::kBody;
        space_before_ = outer_space_;
    }
    void picture(const stream::PictureHeader& h, std::string_view hex, const rich::CharProps&) override {
        // The picture's bytes, as the stream gives them in hexadecimal.
        std::size_t size = 0;
        int high = -1;
        for (const char ch : hex) {
            const int v = hex_value(ch);
            if (v < 0) continue;
            if (high < 0) {
                high = v;
                continue;
            }
            pictures_.put(static_cast<std::uint8_t>(high << 4 | v));
            high = -1;
            ++size;
        }
        picture_sizes_.push_back(size);
        close_span();
        const std::string n = std::to_string(picture_sizes_.size());
        here() += "<draw:frame draw:name=\"Picture " + n + "\" text:anchor-type=\"as-char\" svg:width=\"" +
                  std::to_string(std::max(h.width, 1)) + "pt\" svg:height=\"" + std::to_string(std::max(h.height, 1)) +
                  "pt\"><draw:image xlink:href=\"Pictures/" + n +
                  ".pct\" xlink:type=\"simple\" xlink:show=\"embed\" xlink:actuate=\"onLoad\""
                  " draw:mime-type=\"image/x-pict\"/></draw:frame>";
        space_before_ = false;
    }

private:
    std::string& here() {
        if (part_ == rich::Part::kHeader || part_ == rich::Part::kFooter) return section_;
        if (part_ == rich::Part::kNote) note_empty_ = false;
        return body_;
    }

    std::string paragraph_style(const rich::ParaProps& p) {
        std::string props;
        static constexpr const char* kAlign[] = {nullptr, "center", "end", "justify"};
        if (kAlign[static_cast<int>(p.align)]) props += std::string(" fo:text-align=\"") + kAlign[static_cast<int>(p.align)] + "\"";
        if (p.line_spacing != 8) props += " fo:line-height=\"" + std::to_string(p.line_spacing * 100 / 8) + "%\"";
        if (p.indent_points > 0) props += " fo:margin-left=\"" + std::to_string(p.indent_points) + "pt\"";
        if (p.page_break_before) props += " fo:break-before=\"page\"";
        std::string tabs;
        for (const rich::TabStop& t : p.tabs) {
            tabs += "<style:tab-stop style:position=\"" + std::to_string(t.points) + "pt\"";
            if (t.kind == stream::kTabCentre) tabs += " style:type=\"center\"";
            if (t.kind == stream::kTabRight) tabs += " style:type=\"right\"";
            if (t.kind == stream::kTabDecimal) tabs += " style:type=\"char\" style:char=\".\"";
            tabs += "/>";
        }
        if (props.empty() && tabs.empty()) return "Standard";
        std::string body = "<style:paragraph-properties" + props;
        body += tabs.empty() ? "/>" : "><style:tab-stops>" + tabs + "</style:tab-stops></style:paragraph-properties>";
        return named_style(body, 'P', "paragraph", " style:parent-style-name=\"Standard\"");
    }

    static std::string text_properties(const rich::CharProps& c) {
        std::string s;
        if (c.bold) s += " fo:font-weight=\"bold\"";
        if (c.italic) s += " fo:font-style=\"italic\"";
        if (c.underline || c.double_underline) {
            s += " style:text-underline-style=\"solid\" style:text-underline-width=\"auto\""
                 " style:text-underline-color=\"font-color\"";
            if (c.double_underline) s += " style:text-underline-type=\"double\"";
        }
        if (c.strike) s += " style:text-line-through-style=\"solid\"";
        if (c.superscript) s += " style:text-position=\"super 58%\"";
        else if (c.subscript) s += " style:text-position=\"sub 58%\"";
        if (c.small_caps) s += " fo:font-variant=\"small-caps\"";
        if (c.all_caps) s += " fo:text-transform=\"uppercase\"";
        if (c.outline) s += " style:text-outline=\"true\"";
        if (c.shadow) s += " fo:text-shadow=\"1pt 1pt\"";
        if (c.hidden) s += " text:display=\"none\"";
        if (!c.font.empty()) {
            std::string name;
            rich::append_escaped(name, c.font);
            s += " fo:font-family=\"'" + name + "'\"";
        }
        if (c.points != 10) s += " fo:font-size=\"" + std::to_string(c.points) + "pt\"";
        if (c.colour > 1) s += " fo:color=\"#" + rich::colour_hex(c.colour) + "\"";
        return s;
    }

    // The name of the style whose properties are `body`, defined on first use.
    std::string named_style(const std::string& body, char letter, const char* family, const char* parent = "") {
        auto [at, added] = names_.try_emplace(body, std::string());
        if (added) {
            at->second = letter + std::to_string(++count_[letter == 'P']);
            styles_ += "<style:style style:name=\"" + at->second + "\" style:family=\"" + family + "\"" + parent + ">" +
                       body + "</style:style>";
        }
        return at->second;
    }

    void span(const rich::CharProps& c) {
        if (span_open_ && c == span_props_) return;
        close_span();
        const std::string props = text_properties(c);
        if (props.empty()) return;
        here() += "<text:span text:style-name=\"" + named_style("<style:text-properties" + props + "/>", 'T', "text") + "\">";
        span_open_ = true;
        span_props_ = c;
    }
    void close_span() {
        if (!span_open_) return;
        here() += "</text:span>";
        span_open_ = false;
    }

    ZipPackage& zip_;
    ByteFile& pictures_;
    std::vector<std::size_t> picture_sizes_;
    rich::Part part_ = rich::Part::kBody;
    std::string body_, section_, header_, footer_;
    std::string styles_;
    std::unordered_map<std::string, std::string> names_;
    int count_[2] = {0, 0};
    bool span_open_ = false;
    rich::CharProps span_props_;
    bool space_before_ = true, outer_space_ = true;
    bool note_empty_ = false;
};

}  // namespace

Status write_odt(Conversion& conversion, ByteFile& work, ByteFile& target) {
    ZipPackage zip(target);
    zip.add_stored("mimetype", kMimeType);
    ByteFile pictures = ByteFile::in_memory(scratch_path, "PICT.###");
    OdtRenderer r(zip, pictures);
    r.start();
    rich::walk(work, r);
    r.finish_content();
    const std::string picture_entries = r.write_pictures();
    pictures.close();
    remove_scratch("PICT.###");

    zip.begin("styles.xml");
    zip.write(r.styles_xml());
    zip.end();

    std::string meta = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<office:document-meta";
    meta += kNamespaces;
    meta += "><office:meta><meta:generator>Verbatra/";
    meta += kProgramVersion;
    meta += "</meta:generator><dc:title>";
    rich::append_escaped(meta, rich::title_of(conversion));
    meta += "</dc:title><dc:description>";
    rich::append_escaped(meta, rich::provenance_of(conversion));
    meta += "</dc:description>";
    // The Mac's clock had no zone: the dates go without one.
    if (conversion.created != kNoDate) meta += "<meta:creation-date>" + iso8601(conversion.created, false) + "</meta:creation-date>";
    if (conversion.modified != kNoDate) meta += "<dc:date>" + iso8601(conversion.modified, false) + "</dc:date>";
    meta += "</office:meta></office:document-meta>\n";
    zip.begin("meta.xml");
    zip.write(meta);
    zip.end();

    std::string manifest =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<manifest:manifest xmlns:manifest=\"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0\" manifest:version=\"1.3\">"
        "<manifest:file-entry manifest:full-path=\"/\" manifest:version=\"1.3\" manifest:media-type=\"";
    manifest += kMimeType;
    manifest += "\"/><manifest:file-entry manifest:full-path=\"content.xml\" manifest:media-type=\"text/xml\"/>"
                "<manifest:file-entry manifest:full-path=\"styles.xml\" manifest:media-type=\"text/xml\"/>"
                "<manifest:file-entry manifest:full-path=\"meta.xml\" manifest:media-type=\"text/xml\"/>";
    manifest += picture_entries;
    manifest += "</manifest:manifest>\n";
    zip.begin("META-INF/manifest.xml");
    zip.write(manifest);
    zip.end();
    return zip.finish() ? kConverted : kTooLarge;
}

}  // namespace verbatra
