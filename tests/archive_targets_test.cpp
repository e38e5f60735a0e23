// The archive targets (UTF-8 text, HTML, OpenDocument, DOCX) on one
// stream that holds a bit of everything: a header and a footer, a centred
// bold title, a note, a tab, an é and a Greek alpha, a size, a tab stop,
// a page break and a picture. Each target's own layout rules are checked
// (the zip packages read back, every XML part parsed), and what it holds.
#include <gtest/gtest.h>

#include <string>

#include "pipeline/conversion.h"
#include "stream_builder.h"
#include "support.h"
#include "target_checks.h"
#include "writers/docx.h"
#include "writers/html.h"
#include "writers/odt.h"
#include "writers/utf8_text.h"

namespace verbatra {
namespace {

using test::bytes;

// A picture of four bytes, 20 points high and 30 wide.
const std::string kPicture = bytes({0x5C, 0xC0, 1, 0, 0, 0, 0, 20, 0, 0, 0, 30}) + "0A1B2C3D\\\x7F";

std::string everything() {
    return bytes({0x5C, 0x9E, 0, 0}) + "Head\r\\\x7F" + bytes({0x5C, 0xA1, 0, 0}) + "Foot\r\\\x7F" +
           "\\+\\#Title\\$\r\\," + "a" + bytes({0x5C, 0xA2, 0, 1}) + "note text\\\x7F" + " b\tc " +
           bytes({0x5C, 0x20, 1, 0x29, 0x5C, 0x20, 8, 1}) + bytes({0x5C, 0x90, 0xF6, 0xF2}) + "big" +
           bytes({0x5C, 0x80, 2, 10}) + "\r\x0C" + "last  two" + kPicture + "\r";
}

std::string run(EntryPoint writer, const std::string& stream) {
    Conversion conversion;
    conversion.source_name = "dir/LETTER";
    conversion.source_format = "MacWrite 4.6";
    return test::run_entry(writer, stream, nullptr, &conversion);
}

TEST(ArchiveTargets, Utf8TextHoldsTheWordsInOrderWithNotesAndFootersAfter) {
    EXPECT_EQ(run(write_utf8_text, everything()),
              "Head\nTitle\na[1] b\tc \xC3\xA9\xCE\xB1" "big\n\f" "last  two[picture]\nFoot\n\n[1] note text\n");
    // No byte-order mark, LF alone, and nothing for an empty stream.
    EXPECT_EQ(run(write_utf8_text, ""), "");
}

TEST(ArchiveTargets, HtmlIsOneSelfContainedFile) {
    const std::string h = run(write_html, everything());
    EXPECT_TRUE(test::valid_utf8(h));
    for (const char* part : {"<!DOCTYPE html>", "<html lang=\"und\">", "<meta charset=\"utf-8\">", "<title>LETTER</title>",
                             "converted from MacWrite 4.6 by Verbatra", "<style>", "<header>\n<p>Head</p>\n</header>",
                             "<p style=\"text-align: center\"><span style=\"font-weight: bold\">Title</span></p>",
                             "a<sup><a href=\"#note-1\" id=\"ref-1\">1</a></sup> b\tc \xC3\xA9\xCE\xB1",
                             "<span style=\"font-size: 14pt\">big</span>", "<p style=\"break-before: page\"><span style=\"font-size: 14pt\">last  two[picture]</span></p>",
                             "<li id=\"note-1\">note text <a class=\"note-back\" href=\"#ref-1\">",
                             "<footer>\n<p>Foot</p>\n</footer>", "</html>\n"}) {
        EXPECT_NE(h.find(part), std::string::npos) << part << "\n" << h;
    }
}

// A running head with no text makes no header or footer element.
TEST(ArchiveTargets, HtmlLeavesOutEmptyRunningHeads) {
    const std::string h = run(write_html, bytes({0x5C, 0x9E, 0, 0}) + "\r\r\\\x7F" + bytes({0x5C, 0xA1, 0, 0}) + "\t\\\x7F" + "body\r");
    EXPECT_EQ(h.find("<header>"), std::string::npos) << h;
    EXPECT_EQ(h.find("<footer>"), std::string::npos) << h;
    EXPECT_NE(h.find("<p>body</p>"), std::string::npos) << h;
}

TEST(ArchiveTargets, OpenDocumentIsAValidPackageWithRealNotesAndRunningHeads) {
    const std::string file = run(write_odt, everything());
    for (const std::string& p : test::package_problems(file, true)) ADD_FAILURE() << p;
    const test::ZipFile z = test::read_zip(file);
    ASSERT_TRUE(z.find("content.xml") && z.find("styles.xml") && z.find("meta.xml"));
    const std::string& content = z.find("content.xml")->data;
    EXPECT_NE(content.find("<text:note text:id=\"ftn1\" text:note-class=\"footnote\"><text:note-citation>1"
                           "</text:note-citation><text:note-body><text:p text:style-name=\"Standard\">note text</text:p>"),
              std::string::npos)
        << content;
    // Spaces after the first are written as spaces; the tab as a tab.
    EXPECT_NE(content.find("last <text:s/>two"), std::string::npos) << content;
    EXPECT_NE(content.find("b<text:tab/>c \xC3\xA9\xCE\xB1"), std::string::npos) << content;
    const std::string& styles = z.find("styles.xml")->data;
    EXPECT_NE(styles.find("<style:header><text:p text:style-name=\"Standard\">Head</text:p></style:header>"), std::string::npos);
    EXPECT_NE(styles.find("<style:footer><text:p text:style-name=\"Standard\">Foot</text:p></style:footer>"), std::string::npos);
    EXPECT_NE(styles.find("fo:text-align=\"center\""), std::string::npos);
    EXPECT_NE(styles.find("fo:font-weight=\"bold\""), std::string::npos);
    EXPECT_NE(styles.find("fo:font-size=\"14pt\""), std::string::npos);
    EXPECT_NE(styles.find("fo:break-before=\"page\""), std::string::npos);
    // The picture is embedded as the Macintosh picture it is.
    ASSERT_TRUE(z.find("Pictures/1.pct"));
    EXPECT_EQ(z.find("Pictures/1.pct")->data, bytes({0x0A, 0x1B, 0x2C, 0x3D}));
    EXPECT_NE(content.find("svg:width=\"30pt\" svg:height=\"20pt\""), std::string::npos);
    EXPECT_NE(z.find("meta.xml")->data.find("<dc:title>LETTER</dc:title>"), std::string::npos);
    // The same stream gives the same bytes.
    EXPECT_EQ(run(write_odt, everything()), file);
}

TEST(ArchiveTargets, DocxIsAValidPackageWithRealNotesAndRunningHeads) {
    const std::string file = run(write_docx, everything());
    for (const std::string& p : test::package_problems(file, false)) ADD_FAILURE() << p;
    const test::ZipFile z = test::read_zip(file);
    const std::string& document = z.find("word/document.xml")->data;
    EXPECT_EQ(test::count_of(document, "<w:footnoteReference w:id=\"1\"/>"), 1);
    EXPECT_NE(document.find("<w:jc w:val=\"center\"/>"), std::string::npos);
    EXPECT_NE(document.find("<w:b/>"), std::string::npos);
    EXPECT_NE(document.find("<w:sz w:val=\"28\"/>"), std::string::npos);
    EXPECT_NE(document.find("<w:pageBreakBefore/>"), std::string::npos);
    EXPECT_NE(document.find("<w:tab w:val=\"center\" w:pos=\"2800\"/>"), std::string::npos);  // column 10 at 14 points
    EXPECT_NE(document.find("[picture]"), std::string::npos);
    const std::string& notes = z.find("word/footnotes.xml")->data;
    EXPECT_NE(notes.find("<w:footnote w:id=\"1\">"), std::string::npos);
    EXPECT_NE(notes.find("note text"), std::string::npos);
    ASSERT_TRUE(z.find("word/header1.xml") && z.find("word/footer1.xml"));
    EXPECT_NE(z.find("word/header1.xml")->data.find("Head"), std::string::npos);
    EXPECT_NE(z.find("word/footer1.xml")->data.find("Foot"), std::string::npos);
    EXPECT_NE(z.find("docProps/core.xml")->data.find("converted from MacWrite 4.6 by Verbatra"), std::string::npos);
}

// Damaged streams (cut inside a note, a header left open, a lone escape,
// a picture without its end, markup characters) still give well-formed
// files.
TEST(ArchiveTargets, DamagedStreamsGiveWellFormedFiles) {
    const std::string streams[] = {
        "a" + bytes({0x5C, 0xA2, 0, 1}) + "cut in the note",
        bytes({0x5C, 0x9E, 0, 0}) + "open header",
        "x\\",
        "<&>\"'" + bytes({0x5C, 0xC0, 1, 0, 0, 0, 0, 5}),
        bytes({0x5C, 0xA2, 0, 1}) + "\r\r" + bytes({0x5C, 0xA2, 0, 2}) + "\\\x7F\\\x7F\\\x7F",
        std::string("\x01\x02\x1F\x7F\x80\x9F\xFF", 7),
        // Found by the fuzz targets: a font name in Macintosh characters
        // (written as such, not as UTF-8); superscript and subscript at once
        // (one text position, not two).
        bytes({0x5C, 0xC1, 0x07, 0x43, 0x32, 0x75, 0x9C, 0x9C, 0x9C, 0x9C}) + "x",
        bytes({0x5C, 0xC1, 0x02, 0x41, 0x05}) + "x",
        "\\)\\'both",
        // A reference that ends just before an attribute's closing quote.
        bytes({0x5C, 0xC1, 0x05}) + "Time&" + "x",
    };
    for (const std::string& s : streams) {
        for (const std::string& p : test::package_problems(run(write_odt, s), true)) ADD_FAILURE() << "odt: " << p;
        for (const std::string& p : test::package_problems(run(write_docx, s), false)) ADD_FAILURE() << "docx: " << p;
        EXPECT_TRUE(test::valid_utf8(run(write_html, s)));
        EXPECT_TRUE(test::valid_utf8(run(write_utf8_text, s)));
    }
}

}  // namespace
}  // namespace verbatra
