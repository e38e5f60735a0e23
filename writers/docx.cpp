// Word 2007 (DOCX, Office Open XML): a zip package. word/document.xml is
// written as the stream is read, each run with its own properties; the
// notes' text goes to a scratch file as it comes and becomes
// word/footnotes.xml after it; the last header and footer with text are the
// page's; then the styles, the relationships, the content types and the
// document's properties.
#include "writers/docx.h"

#include <cctype>
#include <string>

#include "pipeline/scratch.h"
#include "writers/rich_walk.h"
#include "writers/target_tables.h"
#include "writers/zip_package.h"

namespace verbatra {

namespace {

constexpr char kMain[] = "http://schemas.openxmlformats.org/wordprocessingml/2006/main";
constexpr char kRelationships[] = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
constexpr std::size_t kFlushAt = 1 << 16;

class DocxRenderer : public rich::Renderer {
public:
    DocxRenderer(ZipPackage& zip, ByteFile& notes) : zip_(zip), notes_file_(notes) {}

    void start() {
        zip_.begin("word/document.xml");
        body_ = std::string("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<w:document xmlns:w=\"") +
                kMain + "\" xmlns:r=\"" + kRelationships + "\"><w:body>";
    }

    void finish_document() {
        body_ += "<w:sectPr>";
        if (!header_.empty()) body_ += "<w:headerReference w:type=\"default\" r:id=\"rIdHeader\"/>";
        if (!footer_.empty()) body_ += "<w:footerReference w:type=\"default\" r:id=\"rIdFooter\"/>";
        body_ += "<w:pgSz w:w=\"12240\" w:h=\"15840\"/><w:pgMar w:top=\"1440\" w:right=\"1440\" w:bottom=\"1440\""
                 " w:left=\"1440\" w:header=\"720\" w:footer=\"720\" w:gutter=\"0\"/></w:sectPr></w:body></w:document>\n";
        zip_.write(body_);
        body_.clear();
        zip_.end();
    }

    void write_notes() {
        flush_notes();
        zip_.begin("word/footnotes.xml");
        zip_.write(std::string("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<w:footnotes xmlns:w=\"") +
                   kMain + "\" xmlns:r=\"" + kRelationships +
                   "\"><w:footnote w:type=\"separator\" w:id=\"-1\"><w:p><w:r><w:separator/></w:r></w:p></w:footnote>"
                   "<w:footnote w:type=\"continuationSeparator\" w:id=\"0\"><w:p><w:r><w:continuationSeparator/></w:r>"
                   "</w:p></w:footnote>");
        notes_file_.rewind();
        std::string chunk(kFlushAt, '\0');
        for (std::size_t n; (n = notes_file_.read(chunk.data(), chunk.size())) > 0;) zip_.write(std::string_view(chunk.data(), n));
        zip_.write("</w:footnotes>\n");
        zip_.end();
    }

    bool has_header() const { return !header_.empty(); }
    bool has_footer() const { return !footer_.empty(); }
    std::string part(bool header) const {
        const char* tag = header ? "hdr" : "ftr";
        return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<w:") + tag + " xmlns:w=\"" +
               kMain + "\" xmlns:r=\"" + kRelationships + "\">" + (header ? header_ : footer_) + "</w:" + tag + ">\n";
    }

    void paragraph_start(const rich::ParaProps& p) override {
        std::string& s = here();
        s += "<w:p>";
        std::string props;
        if (part_ == rich::Part::kNote) props += "<w:pStyle w:val=\"FootnoteText\"/>";
        if (p.page_break_before) props += "<w:pageBreakBefore/>";
        if (!p.tabs.empty()) {
            props += "<w:tabs>";
            for (const rich::TabStop& t : p.tabs) {
                const char* kind = t.kind == stream::kTabCentre    ? "center"
                                   : t.kind == stream::kTabRight   ? "right"
                                   : t.kind == stream::kTabDecimal ? "decimal"
                                   : t.kind == stream::kTabBar     ? "bar"
                                                                   : "left";
                props += std::string("<w:tab w:val=\"") + kind + "\" w:pos=\"" + std::to_string(t.points * 20) + "\"/>";
            }
            props += "</w:tabs>";
        }
        if (p.line_spacing != 8) props += "<w:spacing w:line=\"" + std::to_string(p.line_spacing * 240 / 8) + "\" w:lineRule=\"auto\"/>";
        if (p.indent_points > 0) props += "<w:ind w:left=\"" + std::to_string(p.indent_points * 20) + "\"/>";
        static constexpr const char* kJustify[] = {nullptr, "center", "right", "both"};
        if (kJustify[static_cast<int>(p.align)]) props += std::string("<w:jc w:val=\"") + kJustify[static_cast<int>(p.align)] + "\"/>";
        if (!props.empty()) s += "<w:pPr>" + props + "</w:pPr>";
        if (part_ == rich::Part::kNote && !note_mark_written_) {
            s += "<w:r><w:rPr><w:vertAlign w:val=\"superscript\"/></w:rPr><w:footnoteRef/></w:r><w:r><w:t xml:space=\"preserve\"> </w:t></w:r>";
            note_mark_written_ = true;
        }
    }
    void paragraph_end() override {
        close_run();
        here() += "</w:p>";
        if (part_ == rich::Part::kBody && body_.size() > kFlushAt) {
            zip_.write(body_);
            body_.clear();
        }
        if (part_ == rich::Part::kNote && notes_.size() > kFlushAt) flush_notes();
    }
    // Text of one set of properties goes on in one run, tabs included.
    void text(std::string_view utf8, const rich::CharProps& c) override {
        std::string& s = run(c);
        if (!text_open_) {
            s += "<w:t xml:space=\"preserve\">";
            text_open_ = true;
        }
        rich::append_escaped(s, utf8);
    }
    void tab(const rich::CharProps& c) override {
        std::string& s = run(c);
        if (text_open_) {
            s += "</w:t>";
            text_open_ = false;
        }
        s += "<w:tab/>";
    }
    void page_number(const rich::CharProps& c) override {
        close_run();
        std::string& s = here();
        s += "<w:fldSimple w:instr=\"PAGE\">";
        run_start(s, c);
        s += "<w:t>1</w:t></w:r></w:fldSimple>";
    }
    void section_start(rich::Part part, int note) override {
        close_run();
        if (part == rich::Part::kNote) {
            const std::string n = std::to_string(note);
            body_ += "<w:r><w:rPr><w:vertAlign w:val=\"superscript\"/></w:rPr><w:footnoteReference w:id=\"" + n + "\"/></w:r>";
            notes_ += "<w:footnote w:id=\"" + n + "\">";
            note_mark_written_ = false;
        } else {
            section_.clear();
        }
        part_ = part;
    }
    void section_end(rich::Part part) override {
        close_run();
        if (part == rich::Part::kNote) {
            // A note holds one paragraph at least, which carries its mark.
            if (!note_mark_written_) {
                notes_ += "<w:p><w:pPr><w:pStyle w:val=\"FootnoteText\"/></w:pPr><w:r><w:rPr><w:vertAlign "
                          "w:val=\"superscript\"/></w:rPr><w:footnoteRef/></w:r></w:p>";
            }
            notes_ += "</w:footnote>";
        } else if (section_.find("<w:p>") != std::string::npos) {
            (part == rich::Part::kHeader ? header_ : footer_) = section_;
        }
        part_ = rich::Part::kBody;
    }
    void picture(const stream::PictureHeader&, std::string_view, const rich::CharProps& c) override {
        text(kPicturePlaceholder, c);
    }

private:
    std::string& here() {
        switch (part_) {
            case rich::Part::kNote: return notes_;
            case rich::Part::kHeader:
            case rich::Part::kFooter: return section_;
            default: return body_;
        }
    }

    std::string& run(const rich::CharProps& c) {
        std::string& s = here();
        if (run_open_ && c == run_props_) return s;
        close_run();
        run_start(s, c);
        run_open_ = true;
        run_props_ = c;
        return s;
    }
    void close_run() {
        if (!run_open_) return;
        std::string& s = here();
        if (text_open_) s += "</w:t>";
        s += "</w:r>";
        run_open_ = text_open_ = false;
    }

    static void run_start(std::string& s, const rich::CharProps& c) {
        s += "<w:r>";
        std::string p;
        if (!c.font.empty()) {
            std::string name;
            rich::append_escaped(name, c.font);
            p += "<w:rFonts w:ascii=\"" + name + "\" w:hAnsi=\"" + name + "\" w:cs=\"" + name + "\"/>";
        }
        if (c.bold) p += "<w:b/>";
        if (c.italic) p += "<w:i/>";
        if (c.all_caps) p += "<w:caps/>";
        if (c.small_caps) p += "<w:smallCaps/>";
        if (c.strike) p += "<w:strike/>";
        if (c.outline) p += "<w:outline/>";
        if (c.shadow) p += "<w:shadow/>";
        if (c.hidden) p += "<w:vanish/>";
        if (c.colour > 1) p += "<w:color w:val=\"" + rich::colour_hex(c.colour) + "\"/>";
        if (c.points != 10) p += "<w:sz w:val=\"" + std::to_string(c.points * 2) + "\"/>";
        if (c.double_underline) p += "<w:u w:val=\"double\"/>";
        else if (c.underline) p += "<w:u w:val=\"single\"/>";
        if (c.superscript) p += "<w:vertAlign w:val=\"superscript\"/>";
        else if (c.subscript) p += "<w:vertAlign w:val=\"subscript\"/>";
        if (!p.empty()) s += "<w:rPr>" + p + "</w:rPr>";
    }

    void flush_notes() {
        notes_file_.write(notes_.data(), notes_.size());
        notes_.clear();
    }

    ZipPackage& zip_;
    ByteFile& notes_file_;
    rich::Part part_ = rich::Part::kBody;
    std::string body_, notes_, section_, header_, footer_;
    bool note_mark_written_ = false;
    bool run_open_ = false, text_open_ = false;
    rich::CharProps run_props_;
};

std::string styles_xml() {
    return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<w:styles xmlns:w=\"") + kMain +
           "\"><w:docDefaults><w:rPrDefault><w:rPr><w:rFonts w:ascii=\"Times New Roman\" w:hAnsi=\"Times New Roman\""
           " w:cs=\"Times New Roman\"/><w:sz w:val=\"20\"/></w:rPr></w:rPrDefault><w:pPrDefault/></w:docDefaults>"
           "<w:style w:type=\"paragraph\" w:default=\"1\" w:styleId=\"Normal\"><w:name w:val=\"Normal\"/></w:style>"
           "<w:style w:type=\"paragraph\" w:styleId=\"FootnoteText\"><w:name w:val=\"footnote text\"/>"
           "<w:basedOn w:val=\"Normal\"/></w:style></w:styles>\n";
}

}  // namespace

Status write_docx(Conversion& conversion, ByteFile& work, ByteFile& target) {
    ZipPackage zip(target);
    ByteFile notes = ByteFile::in_memory(scratch_path, "NOTES.###");
    DocxRenderer r(zip, notes);
    r.start();
    rich::walk(work, r);
    r.finish_document();
    r.write_notes();
    notes.close();
    remove_scratch("NOTES.###");

    const auto entry = [&](const std::string& name, const std::string& data) {
        zip.begin(name);
        zip.write(data);
        zip.end();
    };
    entry("word/styles.xml", styles_xml());
    // The running heads: each its part, its relationship and its type.
    struct Head {
        bool present;
        bool header;
        const char* name;
    };
    const Head heads[] = {{r.has_header(), true, "header"}, {r.has_footer(), false, "footer"}};
    std::string head_rels, head_types;
    for (const Head& h : heads) {
        if (!h.present) continue;
        const std::string name = h.name;
        entry("word/" + name + "1.xml", r.part(h.header));
        head_rels += "<Relationship Id=\"rId" + std::string(1, static_cast<char>(std::toupper(name[0]))) + name.substr(1) +
                     "\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/" + name +
                     "\" Target=\"" + name + "1.xml\"/>";
        head_types += "<Override PartName=\"/word/" + name +
                      "1.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml." + name +
                      "+xml\"/>";
    }

    std::string rels = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                       "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                       "<Relationship Id=\"rIdStyles\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles\" Target=\"styles.xml\"/>"
                       "<Relationship Id=\"rIdNotes\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/footnotes\" Target=\"footnotes.xml\"/>";
    rels += head_rels + "</Relationships>\n";
    entry("word/_rels/document.xml.rels", rels);

    std::string types = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                        "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
                        "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
                        "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
                        "<Override PartName=\"/word/document.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/>"
                        "<Override PartName=\"/word/styles.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml.styles+xml\"/>"
                        "<Override PartName=\"/word/footnotes.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml.footnotes+xml\"/>";
    types += head_types;
    types += "<Override PartName=\"/docProps/core.xml\" ContentType=\"application/vnd.openxmlformats-package.core-properties+xml\"/>"
             "<Override PartName=\"/docProps/app.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.extended-properties+xml\"/>"
             "</Types>\n";
    entry("[Content_Types].xml", types);
    entry("_rels/.rels",
          "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
          "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
          "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" Target=\"word/document.xml\"/>"
          "<Relationship Id=\"rId2\" Type=\"http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties\" Target=\"docProps/core.xml\"/>"
          "<Relationship Id=\"rId3\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/extended-properties\" Target=\"docProps/app.xml\"/>"
          "</Relationships>\n");

    std::string core = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                       "<cp:coreProperties xmlns:cp=\"http://schemas.openxmlformats.org/package/2006/metadata/core-properties\""
                       " xmlns:dc=\"http://purl.org/dc/elements/1.1/\" xmlns:dcterms=\"http://purl.org/dc/terms/\""
                       " xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"><dc:title>";
    rich::append_escaped(core, rich::title_of(conversion));
    core += "</dc:title><dc:description>";
    rich::append_escaped(core, rich::provenance_of(conversion));
    core += "</dc:description>";
    // W3CDTF wants a zone with a time: the Mac's clock is taken for UTC.
    const std::pair<const char*, std::int64_t> dates[] = {{"created", conversion.created}, {"modified", conversion.modified}};
    for (const auto& [term, when] : dates) {
        if (when == kNoDate) continue;
        core += std::string("<dcterms:") + term + " xsi:type=\"dcterms:W3CDTF\">" + iso8601(when) + "</dcterms:" + term + ">";
    }
    core += "</cp:coreProperties>\n";
    entry("docProps/core.xml", core);
    entry("docProps/app.xml",
          std::string("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                      "<Properties xmlns=\"http://schemas.openxmlformats.org/officeDocument/2006/extended-properties\">"
                      "<Application>Verbatra ") +
              kProgramVersion + "</Application></Properties>\n");
    return zip.finish() ? kConverted : kTooLarge;
}

}  // namespace verbatra
