// Independent readers. Every document of the suite is converted by our
// writers, and programs written by other people read the result back: the
// text they find must be the text of our plain-text output of the same
// stream. These need LibreOffice and unrtf (scripts/test.sh installs them);
// without them the tests are skipped, saying so.
#include <iconv.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <filesystem>
#include <map>
#include <regex>
#include <sstream>

#include "pipeline/driver.h"
#include "readers/clarisworks.h"
#include "readers/macwrite.h"
#include "readers/nisus.h"
#include "readers/ragtime.h"
#include "readers/text_only.h"
#include "readers/works.h"
#include "stream/charsets.h"
#include "stream/codes.h"
#include "stream/decoder.h"
#include "nisus_fixture.h"
#include "stream_builder.h"
#include "support.h"
#include "works_fixture.h"
#include "writers/docx.h"
#include "writers/html.h"
#include "writers/odt.h"
#include "writers/plain_text.h"
#include "writers/utf8_text.h"
#include "writers/rtf.h"
#include "writers/word_dos.h"
#include "writers/word_win2.h"
#include "writers/wp5.h"

namespace verbatra {
namespace {

namespace fs = std::filesystem;
using Words = std::vector<std::u32string>;
using test::decode;
using test::words;

const fs::path kSource = VERBATRA_SOURCE_DIR;

using test::have;

std::string utf8(const std::u32string& s) {
    std::string out;
    for (char32_t c : s) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string show(const Words& w) {
    std::string s;
    for (const auto& x : w) s += utf8(x) + " ";
    return s;
}

// The letters among the named HTML entities (unrtf names every character
// outside ASCII); any other named entity is read as a space.
char32_t named_entity(const std::string& name) {
    static const char* const kLatin1[] = {
        "Agrave", "Aacute", "Acirc", "Atilde", "Auml", "Aring", "AElig", "Ccedil", "Egrave", "Eacute", "Ecirc",
        "Euml", "Igrave", "Iacute", "Icirc", "Iuml", "ETH", "Ntilde", "Ograve", "Oacute", "Ocirc", "Otilde",
        "Ouml", "times", "Oslash", "Ugrave", "Uacute", "Ucirc", "Uuml", "Yacute", "THORN", "szlig", "agrave",
        "aacute", "acirc", "atilde", "auml", "aring", "aelig", "ccedil", "egrave", "eacute", "ecirc", "euml",
        "igrave", "iacute", "icirc", "iuml", "eth", "ntilde", "ograve", "oacute", "ocirc", "otilde", "ouml",
        "divide", "oslash", "ugrave", "uacute", "ucirc", "uuml", "yacute", "thorn", "yuml"};
    for (int i = 0; i < 64; ++i) {
        if (name == kLatin1[i]) return static_cast<char32_t>(0xC0 + i);
    }
    static const std::map<std::string, char32_t> kOthers = {
        {"OElig", 0x152}, {"oelig", 0x153}, {"Scaron", 0x160}, {"scaron", 0x161}, {"Yuml", 0x178},
        {"sigmaf", 0x3C2}, {"thetasym", 0x3D1}, {"piv", 0x3D6}, {"shy", 0xAD}};
    if (auto it = kOthers.find(name); it != kOthers.end()) return it->second;
    static const char* const kGreek[] = {"alpha", "beta", "gamma", "delta", "epsilon", "zeta", "eta", "theta",
                                         "iota", "kappa", "lambda", "mu", "nu", "xi", "omicron", "pi", "rho",
                                         "", "sigma", "tau", "upsilon", "phi", "chi", "psi", "omega"};
    for (int i = 0; i < 25; ++i) {
        if (!*kGreek[i]) continue;
        if (name == kGreek[i]) return static_cast<char32_t>(0x3B1 + i);
        std::string upper = kGreek[i];
        upper[0] = static_cast<char>(upper[0] - 'a' + 'A');
        if (name == upper) return static_cast<char32_t>(0x391 + i);
    }
    return U' ';
}

// The text of an HTML page: no head, no tags, entities decoded.
std::u32string html_text(const std::string& html) {
    std::string t = std::regex_replace(html, std::regex("<head[^]*?</head>", std::regex::icase), " ");
    t = std::regex_replace(t, std::regex("<[^>]*>"), " ");
    std::string out;
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (t[i] != '&') {
            out += t[i];
            continue;
        }
        std::size_t end = t.find(';', i);
        if (end == std::string::npos || end - i > 10) {
            out += t[i];
            continue;
        }
        std::string name = t.substr(i + 1, end - i - 1);
        i = end;
        if (name == "amp") out += '&';
        else if (name == "lt") out += '<';
        else if (name == "gt") out += '>';
        else if (name == "quot") out += '"';
        else if (!name.empty() && name[0] == '#') {
            long v = name.size() > 1 && (name[1] == 'x' || name[1] == 'X') ? std::strtol(name.c_str() + 2, nullptr, 16)
                                                                         : std::strtol(name.c_str() + 1, nullptr, 10);
            out += utf8(std::u32string(1, static_cast<char32_t>(v)));
        } else {
            out += utf8(std::u32string(1, named_entity(name)));
        }
    }
    return decode(out, "UTF-8");
}

// Our plain-text output of a stream, split by its section markers.
struct Expected {
    Words body, header, footer, notes;
    int note_count = 0;
    int page_numbers = 0;  // page-number fields, which readers show as they like
    int pictures = 0;      // a placeholder in text, a picture where the target keeps it
};

// How many times the stream holds code `code`.
int count_code(const std::string& stream, std::uint8_t code) {
    test::TempDir dir;
    test::write_file(dir.file("s"), stream);
    ByteFile file = ByteFile::open(dir.file("s"), "rb");
    stream::Decoder decoder(file);
    int n = 0;
    for (stream::Event e; decoder.next(e);) n += e.kind == stream::Kind::kCode && e.code == code;
    return n;
}

Expected expected_text(const std::string& plain, const char* charset) {
    Expected e;
    static const std::regex kMarker(R"(\\TETE|\\PIED|\\NOTE[0-9]+\\|\\FIN\\|\[picture\])");
    Words* part = &e.body;
    std::size_t at = 0;
    for (auto it = std::sregex_iterator(plain.begin(), plain.end(), kMarker); it != std::sregex_iterator(); ++it) {
        const std::string piece = plain.substr(at, static_cast<std::size_t>(it->position()) - at);
        for (auto& w : words(decode(piece, charset))) part->push_back(w);
        const std::string m = it->str();
        if (m == "[picture]") ++e.pictures;
        else if (m == "\\TETE") part = &e.header;
        else if (m == "\\PIED") part = &e.footer;
        else if (m == "\\FIN\\") part = &e.body;
        else {
            part = &e.notes;
            ++e.note_count;
        }
        at = static_cast<std::size_t>(it->position() + it->length());
    }
    for (auto& w : words(decode(plain.substr(at), charset))) part->push_back(w);
    return e;
}

// What `got` holds beyond `expected` (as multisets), and what it lacks.
void difference(const Words& expected, const Words& got, Words& extra, Words& missing) {
    std::map<std::u32string, int> count;
    for (const auto& w : expected) ++count[w];
    for (const auto& w : got) --count[w];
    for (const auto& [w, n] : count) {
        for (int i = 0; i < n; ++i) missing.push_back(w);
        for (int i = 0; i < -n; ++i) extra.push_back(w);
    }
}

bool in_order(const Words& sub, const Words& all) {
    std::size_t j = 0;
    for (const auto& w : all) {
        if (j < sub.size() && sub[j] == w) ++j;
    }
    return j == sub.size();
}

// The Symbol font's letters, as unrtf reads them, back to the byte that
// was written (alpha is "a").
char32_t from_symbol_font(char32_t c) {
    static const std::u32string kLower = U"αβχδεφγηιϕκλμνοπθρστυϖωξψζ";
    static const std::u32string kUpper = U"ΑΒΧΔΕΦΓΗΙϑΚΛΜΝΟΠΘΡΣΤΥςΩΞΨΖ";
    std::size_t i = kLower.find(c);
    if (i != std::u32string::npos) return U'a' + static_cast<char32_t>(i);
    i = kUpper.find(c);
    if (i != std::u32string::npos) return U'A' + static_cast<char32_t>(i);
    return c;
}

struct Document {
    std::string name;
    std::string stream;
};

// The fixture streams of the suite.
std::vector<Document> fixture_streams() {
    using test::StreamBuilder;
    std::vector<Document> docs;
    docs.push_back({"accents", StreamBuilder()
                                   .mac("Cr\x8Fme br\x9El\x8E" "e \x88 l'\x8Et\x8E, na\x95ve fa\x8D" "ade, \xAER\xBF, "
                                        "\xCEuvre, se\x96or, \x81ngstr\x9Am, Z\x9Frich, \xA7, \xD8, \xC7" "a va")
                                   .para()
                                   .str()});
    docs.push_back({"symbols", StreamBuilder()
                                   .text("Angles ")
                                   .code(0x8F, {0, 3})
                                   .code(0x91, {0, 1})
                                   .symbol("abgdpW")
                                   .code(0x91, {1, 0})
                                   .code(0x8F, {3, 0})
                                   .text(" and Mac ")
                                   .mac("\xB9 \xBD")
                                   .text(" done")
                                   .para()
                                   .str()});
    docs.push_back({"sections", StreamBuilder()
                                    .code(0x9E, {0, 0}).text("Running head").para().code(0x7F)
                                    .code(0xA1, {0, 0}).text("Page footer").para().code(0x7F)
                                    .text("Body text with a note").code(0xA2, {0, 1}).text("First note text").code(0x7F)
                                    .text(" and another").code(0xA2, {0, 2}).text("Second note here").code(0x7F)
                                    .text(" end.").para()
                                    .str()});
    // A footer and no header, as many letters have: readers must find the
    // footer as the footer.
    docs.push_back({"footer-only", StreamBuilder()
                                       .code(0xA1, {0, 0}).text("Lonely footer line").para().code(0x7F)
                                       .text("Letter body text.").para()
                                       .str()});
    // Note texts as real documents hold them: each ends with a paragraph
    // end, and the second has a paragraph, a tab and accents inside; a
    // header with accents too.
    docs.push_back({"notes", StreamBuilder()
                                 .code(0x9E, {0, 0}).mac("T\x90te de page").para().code(0x7F)
                                 .text("Body words").code(0xA2, {0, 1}).text("Alpha note").para().code(0x7F)
                                 .text(" go on").code(0xA2, {0, 2}).text("Beta\tnote").para().mac("Caf\x8E cr\x8Fme")
                                 .para().code(0x7F).text(" to the end.").para()
                                 .str()});
    docs.push_back({"tabs", StreamBuilder()
                                .code(0x80, {1, 5}).code(0x80, {2, 15}).code(0x80, {3, 25}).code(0x80, {4, 35})
                                .code(0x80, {5, 45})
                                .text("left\tcentre\tright\tdecimal 1.5\tbar").para()
                                .code(0x81, {2, 15}).code(0x22)
                                .text("one\ttwo").para()
                                .str()});
    docs.push_back({"styles", StreamBuilder()
                                  .code(0x90, {0xF6, 0xF4}).code(0x23).text("bold").code(0x24)
                                  .code(0x25).text(" underline").code(0x26).code(0x27).text(" sub").code(0x28)
                                  .code(0x29).text(" super").code(0x2A).code(0x2D).text(" strike").code(0x2E)
                                  .code(0x2F).text(" italic").code(0x30).code(0x3B).text(" caps").code(0x3C)
                                  .code(0x3D).text(" shadow").code(0x3E).code(0x41).text(" double").code(0x42)
                                  .code(0x47).text(" small").code(0x48).code(0x49).text(" outline").code(0x4A)
                                  .code(0x3F).text(" other").code(0x40).para()
                                  .code(0x2B).text("centred").para().code(0x2C)
                                  .code(0x43).text("justified").para().code(0x44)
                                  .code(0x45).text("right").para().code(0x46).code(0x53)
                                  .code(0x8F, {0, 2}).text("sans ").code(0x8F, {2, 4}).text("dingbats ")
                                  .code(0x8F, {4, 1}).code(0x90, {0xF4, 0xE8}).text("big ").code(0xD0, {0, 12})
                                  .text("colour").code(0xB0, {0x0F, 0}).para()
                                  .text("non").code(0x34).text("breaking, hy").code(0x3A).raw("\n").text("phen, ")
                                  .code(0x4B).text("quoted").code(0x4C).raw("\x0C").text("after the page break")
                                  .raw("\n").text("a {brace} and C:\\DOS").para()
                                  .str()});
    // Several thousand paragraphs and runs: many formatting pages.
    StreamBuilder many;
    for (int i = 1; i <= 3000; ++i) {
        many.text("Paragraph " + std::to_string(i) + " has ").code(0x23).text("bold").code(0x24).text(" and ")
            .code(0x2F).text("italic").code(0x30).text(" words.").para();
        if (i % 500 == 0) many.code(0x2B).text("Centred " + std::to_string(i)).para().code(0x2C);
    }
    docs.push_back({"many-pages", many.str()});
    return docs;
}

// Every document of the suite: the fixture streams, the samples through
// the reader of the format each is recognised as (the text-only reader
// for the one whose overstruck accents only it takes), and the real
// MacWrite documents when the corpus is there.
std::vector<Document> suite() {
    std::vector<Document> docs = fixture_streams();
    for (const auto& e : fs::directory_iterator(kSource / "samples")) {
        if (e.path().extension() == ".dsk") continue;  // a disk image: its files are text samples
        const std::string bytes = test::read_file(e.path().string());
        const int format = test::recognised_format(bytes);
        const EntryPoint reader = format >= 0 ? source_formats[format].reader : read_text_only;
        std::string name = e.path().filename().string();
        std::replace(name.begin(), name.end(), ' ', '-');
        docs.push_back({"sample-" + name, test::run_entry(reader, bytes)});
    }
    struct Real {
        const char* folder;
        const char* extension;
        EntryPoint reader;
    };
    for (const Real& real : {Real{"macwrite", ".mw", read_macwrite}, Real{"clarisworks", ".cwk", read_clarisworks},
                              Real{"ragtime", ".datafork", read_ragtime3}}) {
        const fs::path corpus = fs::path(test::corpus_dir()) / real.folder;
        if (!fs::is_directory(corpus)) continue;
        for (const auto& e : fs::directory_iterator(corpus)) {
            if (e.path().extension() != real.extension) continue;
            int result = 0;
            std::string stream = test::run_entry(real.reader, test::read_file(e.path().string()), &result);
            if (result == 0) docs.push_back({std::string(real.folder) + "-" + e.path().stem().string(), stream});
        }
    }
    std::sort(docs.begin(), docs.end(), [](const Document& a, const Document& b) { return a.name < b.name; });
    return docs;
}

// How a reader treats headers and footers.
enum class Sections { Shown, Maybe, Dropped };

// The words a reader found must be the words of our text: the body in its
// order, the note texts, and the header and footer texts where the reader
// shows them; beyond that only the footnote numbers readers add.
void expect_words(const std::string& reader, const Words& found, const Expected& e, Sections sections) {
    Words required = e.body;
    required.insert(required.end(), e.notes.begin(), e.notes.end());
    Words allowed;
    for (int n = 1; n <= e.note_count; ++n) {
        allowed.insert(allowed.end(), 2, decode(std::to_string(n), "UTF-8"));
    }
    // A page number reads as its value (1, or 0 outside a laid-out page)
    // or, in antiword, as a placeholder.
    for (int n = 0; n < e.page_numbers; ++n) {
        for (const char* shown : {"0", "1", "pic"}) allowed.push_back(decode(shown, "UTF-8"));
    }
    allowed.insert(allowed.end(), static_cast<std::size_t>(e.pictures), decode("picture", "UTF-8"));
    Words& sections_go = sections == Sections::Shown ? required : allowed;
    if (sections != Sections::Dropped) {
        sections_go.insert(sections_go.end(), e.header.begin(), e.header.end());
        sections_go.insert(sections_go.end(), e.footer.begin(), e.footer.end());
    }
    // A reader may part a word where its style changes inside it
    // ("superscript" raised, "subscript" lowered, with no space between):
    // two neighbours that make a missing word are taken as that word.
    Words got = found, extra, missing, unexplained, unused;
    difference(required, got, extra, missing);
    for (const auto& m : missing) {
        for (std::size_t i = 0; i + 1 < got.size(); ++i) {
            if (got[i] + got[i + 1] != m) continue;
            got[i] = m;
            got.erase(got.begin() + static_cast<long>(i) + 1);
            break;
        }
    }
    extra.clear();
    missing.clear();
    difference(required, got, extra, missing);
    difference(allowed, extra, unexplained, unused);
    EXPECT_TRUE(missing.empty()) << reader << " lacks: " << show(missing);
    EXPECT_TRUE(unexplained.empty()) << reader << " adds: " << show(unexplained);
    EXPECT_TRUE(in_order(e.body, got)) << reader << "'s body order differs:\n" << show(got);
}

// Converts the files (names in `dir`) to `format` with one LibreOffice run,
// so its start-up is paid once; the results go to the folder `format` in
// `dir`, named as the files with the new extension.
void libreoffice_convert(const test::TempDir& dir, const std::string& filter, const std::string& format,
                         const std::vector<std::string>& files) {
    std::string names;
    for (const auto& f : files) names += " " + f;
    test::run_command("cd " + dir.path() + " && soffice -env:UserInstallation=file://" + dir.path() +
                      "/profile --headless --infilter='" + filter + "' --convert-to " + format + " --outdir " +
                      format + names);
}

// The words of each file LibreOffice could load.
std::map<std::string, Words> libreoffice(const test::TempDir& dir, const std::string& filter,
                                         const std::vector<std::string>& files) {
    libreoffice_convert(dir, filter, "html", files);
    std::map<std::string, Words> found;
    for (const auto& f : files) {
        const fs::path html = fs::path(dir.path()) / "html" / (fs::path(f).stem().string() + ".html");
        if (fs::exists(html)) found[f] = words(html_text(test::read_file(html.string())));
    }
    return found;
}

struct Variant {
    const char* name;
    EntryPoint rtf;
    EntryPoint plain;
    const char* charset;
};

// The DOS variant is compared with our "Ascii (DOS)" text: code page 437
// lacks letters that Windows has (Á becomes A), on purpose.
const Variant kVariants[] = {
    {"ansi", write_rtf_ansi, write_ansi_windows, "CP1252"},
    {"dos", write_rtf_dos, write_ascii_dos, "CP437"},
};

class RtfOracle : public ::testing::Test {
protected:
    void SetUp() override {
        if (!have("soffice") || !have("unrtf")) GTEST_SKIP() << "LibreOffice or unrtf is not installed; skipped";
    }
};

TEST_F(RtfOracle, LibreOfficeAndUnrtfFindOurText) {
    test::TempDir dir;
    struct Case {
        std::string file;
        Expected expected;
        bool windows;
    };
    std::vector<Case> cases;
    std::vector<std::string> files;
    for (const Document& doc : suite()) {
        for (const Variant& v : kVariants) {
            const std::string file = doc.name + "-" + v.name + ".rtf";
            test::write_file(dir.file(file), test::run_entry(v.rtf, doc.stream));
            cases.push_back({file, expected_text(test::run_entry(v.plain, doc.stream), v.charset),
                             std::string(v.name) == "ansi"});
            cases.back().expected.page_numbers = count_code(doc.stream, stream::kPageNumber);
            files.push_back(file);
        }
    }
    const auto lo = libreoffice(dir, "Rich Text Format", files);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        // LibreOffice keeps headers, footers and footnotes, and numbers
        // each footnote twice (its mark in the text and in the note).
        ASSERT_TRUE(lo.count(c.file)) << "LibreOffice could not load " << c.file;
        expect_words("LibreOffice", lo.at(c.file), c.expected, Sections::Shown);

        // unrtf leaves out headers and footers and puts footnote texts in
        // line; it reads Symbol-font letters as the Greek they show. In the
        // DOS variant, text of the symbol font class is set in the Symbol
        // font (\f1) but written as code page 437 bytes (the DOS table has
        // no font selector), so unrtf shows Symbol glyphs for them: that
        // document is left out of its DOS comparison.
        if (!c.windows && c.file.rfind("symbols", 0) == 0) continue;
        std::string page;
        ASSERT_EQ(test::run_command("unrtf --html " + dir.file(c.file), &page), 0);
        Words ur = words(html_text(page));
        if (c.windows) {
            for (auto& w : ur) {
                for (auto& ch : w) ch = from_symbol_font(ch);
            }
        }
        expect_words("unrtf", ur, c.expected, Sections::Dropped);
    }
}

class WordDosOracle : public ::testing::Test {
protected:
    void SetUp() override {
        if (!have("soffice") || !have("wps2text") || !have("antiword")) {
            GTEST_SKIP() << "LibreOffice, libwps or antiword is not installed; skipped";
        }
    }
};

// Word for DOS, read by libwps (the strictest), antiword and LibreOffice's
// DosWord filter; the text is our "Ascii (DOS)" text of the same stream.
TEST_F(WordDosOracle, ReadersFindOurText) {
    test::TempDir dir;
    std::vector<std::string> files;
    std::map<std::string, std::string> plain;
    std::map<std::string, int> page_numbers;
    for (const Document& doc : suite()) {
        const std::string file = doc.name + ".doc";
        test::write_file(dir.file(file), test::run_entry(write_word_dos, doc.stream));
        plain[file] = test::run_entry(write_ascii_dos, doc.stream);
        page_numbers[file] = count_code(doc.stream, stream::kPageNumber);
        files.push_back(file);
    }
    const auto lo = libreoffice(dir, "DosWord", files);
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        Expected e = expected_text(plain[file], "CP437");
        e.page_numbers = page_numbers[file];

        // All three show the running heads and the footnote texts. libwps
        // decodes with the code page in the header (437).
        std::string out, err;
        ASSERT_EQ(test::run_command("wps2text " + dir.file(file), &out, &err), 0) << err;
        expect_words("wps2text", words(decode(out, "UTF-8")), e, Sections::Shown);

        // antiword always reads code page 850, so its text is ours read as 850.
        ASSERT_EQ(test::run_command("antiword -w 0 -m UTF-8.txt " + dir.file(file), &out, &err), 0) << err;
        Expected e850 = expected_text(plain[file], "CP850");
        e850.page_numbers = e.page_numbers;
        expect_words("antiword", words(decode(out, "UTF-8")), e850, Sections::Shown);

        ASSERT_TRUE(lo.count(file)) << "LibreOffice could not load " << file;
        expect_words("LibreOffice", lo.at(file), e, Sections::Shown);
    }
}

// Every document of the suite written by `writer` into `dir` as NAME +
// `extension`, with our "Ansi (Windows)" text of the same stream, and what
// LibreOffice reads in them with `filter`.
struct WrittenSuite {
    std::vector<std::string> files;
    std::map<std::string, Expected> expected;
    std::map<std::string, Words> libreoffice;
};
WrittenSuite write_suite(const test::TempDir& dir, EntryPoint writer, const std::string& extension,
                         const std::string& filter) {
    WrittenSuite w;
    for (const Document& doc : suite()) {
        const std::string file = doc.name + extension;
        test::write_file(dir.file(file), test::run_entry(writer, doc.stream));
        Expected e = expected_text(test::run_entry(write_ansi_windows, doc.stream), "CP1252");
        e.page_numbers = count_code(doc.stream, stream::kPageNumber);
        w.expected[file] = e;
        w.files.push_back(file);
    }
    w.libreoffice = libreoffice(dir, filter, w.files);
    return w;
}

// Word for Windows 2, read by antiword (body and notes, never headers or
// footers) and LibreOffice's WinWord 5 filter (everything; it opens a
// broken file as an empty document without complaint, so the text is what
// counts); the text is our "Ansi (Windows)" text of the same stream.
TEST(WordWin2Oracle, ReadersFindOurText) {
    if (!have("soffice") || !have("antiword")) GTEST_SKIP() << "LibreOffice or antiword is not installed; skipped";
    test::TempDir dir;
    const WrittenSuite w = write_suite(dir, write_word_win2, ".doc", "MS WinWord 5");
    const auto& lo = w.libreoffice;
    for (const std::string& file : w.files) {
        SCOPED_TRACE(file);
        const Expected& e = w.expected.at(file);
        std::string out, err;
        ASSERT_EQ(test::run_command("antiword -w 0 -m UTF-8.txt " + dir.file(file), &out, &err), 0) << err;
        expect_words("antiword", words(decode(out, "UTF-8")), e, Sections::Dropped);
        ASSERT_TRUE(lo.count(file)) << "LibreOffice could not load " << file;
        expect_words("LibreOffice", lo.at(file), e, Sections::Shown);
    }
}

// WordPerfect 5, read by libwpd's wpd2text (headers and footers first,
// notes as "[n] text" after their paragraph) and LibreOffice's WordPerfect
// filter; both must find our "Ansi (Windows)" text of the same stream.
// libwpd skips a broken function byte by byte, so its contents would show
// as extra words.
TEST(Wp5Oracle, ReadersFindOurText) {
    if (!have("soffice") || !have("wpd2text")) GTEST_SKIP() << "LibreOffice or libwpd is not installed; skipped";
    test::TempDir dir;
    const WrittenSuite w = write_suite(dir, write_wp5, ".wp5", "WordPerfect");
    const auto& lo = w.libreoffice;
    for (const std::string& file : w.files) {
        SCOPED_TRACE(file);
        const Expected& e = w.expected.at(file);
        std::string out, err;
        // WordPerfect holds the Greek letters themselves, where our Windows
        // text has their Symbol-font bytes: compare those.
        const auto as_symbol_bytes = [](Words w) {
            for (auto& word : w) {
                for (auto& ch : word) ch = from_symbol_font(ch);
            }
            return w;
        };
        ASSERT_EQ(test::run_command("wpd2text " + dir.file(file), &out, &err), 0) << err;
        expect_words("wpd2text", as_symbol_bytes(words(decode(out, "UTF-8"))), e, Sections::Shown);
        ASSERT_TRUE(lo.count(file)) << "LibreOffice could not load " << file;
        expect_words("LibreOffice", as_symbol_bytes(lo.at(file)), e, Sections::Shown);
    }
}

// Every pair a reader writes means in WordPerfect what our table says it
// means, where WordPerfect has the character: libwpd reads each, written
// by our WordPerfect writer, as its Unicode character.
TEST(Wp5Oracle, LibwpdGivesEachPairOurMeaning) {
    if (!have("wpd2text")) GTEST_SKIP() << "libwpd is not installed; skipped";
    std::string stream;
    for (const stream::CharMeaning& m : stream::kCharMeanings) {
        stream += std::string("[\\ ", 3) + static_cast<char>(m.set) + static_cast<char>(m.code) + "]\r";
    }
    test::TempDir dir;
    test::write_file(dir.file("P.wp5"), test::run_entry(write_wp5, stream));
    std::string out, err;
    ASSERT_EQ(test::run_command("wpd2text " + dir.file("P.wp5"), &out, &err), 0) << err;
    std::istringstream lines(out);
    // libwpd gives the accents of set 1 as combining marks, where our
    // pairs are the spacing ones of the Macintosh; the Symbol table writes
    // some characters WordPerfect lacks as pairs of other meanings (the
    // pair then means the character of the source).
    const std::map<std::pair<int, int>, char32_t> libwpd_differs = {
        {{1, 1}, 0x00B7}, {{1, 2}, 0x0303}, {{1, 3}, 0x0302}, {{1, 6}, 0x0301}, {{1, 7}, 0x0308},
        {{1, 8}, 0x0304}, {{1, 14}, 0x00B0}, {{1, 16}, 0x030B}, {{1, 17}, 0x0327}, {{1, 18}, 0x0328},
        {{1, 19}, 0x030C}, {{1, 22}, 0x0306}, {{6, 10}, 0x27E8}, {{6, 11}, 0x27E9}, {{6, 34}, 0x2219},
        {{6, 71}, 0x220D}, {{6, 120}, 0x227D}, {{7, 2}, 0x23A5}, {{7, 11}, 0x0020}, {{7, 112}, 0x23A8},
        {{8, 39}, 0x03DB}, {{8, 45}, 0x03D5}, {{8, 67}, 0x03C6},
    };
    for (const stream::CharMeaning& m : stream::kCharMeanings) {
        std::string line;
        ASSERT_TRUE(std::getline(lines, line)) << "no line for " << int(m.set) << "," << int(m.code);
        const std::u32string got = decode(line, "UTF-8");
        ASSERT_EQ(got.size(), 3u) << int(m.set) << "," << int(m.code) << ": " << line;
        const auto differs = libwpd_differs.find({m.set, m.code});
        EXPECT_EQ(got[1], differs == libwpd_differs.end() ? m.unicode : differs->second)
            << int(m.set) << "," << int(m.code);
    }
}

// The structure libwpd finds: a leading header on page 1 (before any body
// text), an even-page footer as even, a footnote, bold on and off.
TEST(Wp5Oracle, LibwpdFindsTheStructure) {
    if (!have("wpd2raw")) GTEST_SKIP() << "libwpd is not installed; skipped";
    using test::StreamBuilder;
    test::TempDir dir;
    test::write_file(dir.file("S.wp5"), test::run_entry(write_wp5, StreamBuilder()
                                                                      .code(0x9E, {0, 0}).text("Head").para().code(0x7F)
                                                                      .code(0x9F, {0, 0}).text("Even foot").code(0x7F)
                                                                      .text("Body ").code(0x23).text("bold").code(0x24)
                                                                      .code(0xA2, {0, 1}).text("Note text").code(0x7F)
                                                                      .text(" end").para().str()));
    std::string raw;
    ASSERT_EQ(test::run_command("wpd2raw " + dir.file("S.wp5"), &raw), 0);
    const auto at = [&](const std::string& s) { return raw.find(s); };
    ASSERT_NE(at("openHeader(librevenge:occurrence: all)"), std::string::npos) << raw;
    EXPECT_LT(at("openHeader"), at("insertText(text: Body"));
    EXPECT_NE(at("openFooter(librevenge:occurrence: even)"), std::string::npos) << raw;
    EXPECT_LT(at("openFootnote"), at("insertText(text: Note text)"));
    EXPECT_NE(at("font-weight: bold"), std::string::npos);
}

// Streams whose sections do not pair up (a close with nothing open; a
// footnote opened inside a header, whose end closes the header) still give
// files LibreOffice opens, with their text.
TEST_F(RtfOracle, LibreOfficeOpensFilesFromUnpairedSections) {
    using test::StreamBuilder;
    const std::string streams[] = {
        StreamBuilder().text("stray close").code(0x7F).text(" then text").para().str(),
        StreamBuilder().code(0x9E, {0, 0}).text("head ").code(0xA2, {0, 1}).text("inner note").code(0x7F)
            .text(" more head").code(0x7F).text("body words").para().str(),
    };
    test::TempDir dir;
    std::vector<std::string> files;
    for (int i = 0; i < 2; ++i) {
        files.push_back("unpaired" + std::to_string(i) + ".rtf");
        test::write_file(dir.file(files.back()), test::run_entry(write_rtf_ansi, streams[i]));
    }
    const auto lo = libreoffice(dir, "Rich Text Format", files);
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(lo.count(files[i])) << "LibreOffice could not load " << files[i];
        const Words& found = lo.at(files[i]);
        for (const char* w : {i == 0 ? "stray" : "head", i == 0 ? "text" : "inner", i == 0 ? "close" : "words"}) {
            const std::u32string word = decode(w, "UTF-8");
            EXPECT_NE(std::find(found.begin(), found.end(), word), found.end()) << w << " in " << show(found);
        }
    }
}

// Styles word by word: each real Macintosh document as libmwaw reads it
// against our file as LibreOffice reads it (shared/tools/stylecmp.py), for
// bold, italic, underline, size and paragraph alignment. Every writer and
// every reader with real documents joins this table.
struct StyleTarget {
    const char* name;
    EntryPoint writer;
    const char* suffix;  // file name ending, distinct per target
    const char* filter;  // LibreOffice's input filter
    bool sizes = true;   // whether the format carries font sizes
    // The share of the words that must be found: HTML has no running
    // heads, so LibreOffice reads its footer element, and the marks of
    // pictures, as words of the body.
    double words = 0.99;
};
const StyleTarget kStyleTargets[] = {
    {"RTF Ansi (Windows)", write_rtf_ansi, "-ansi.rtf", "Rich Text Format"},
    {"RTF Ascii (DOS)", write_rtf_dos, "-dos.rtf", "Rich Text Format"},
    {"Word 3/4/5 DOS", write_word_dos, "-word.doc", "DosWord"},
    {"Word Windows 2", write_word_win2, "-win2.doc", "MS WinWord 5"},
    {"Wordperfect 5", write_wp5, "-wp.wp5", "WordPerfect"},
    {"OpenDocument Text", write_odt, "-odt.odt", "writer8"},
    {"Word 2007 (DOCX)", write_docx, "-docx.docx", "MS Word 2007 XML"},
    {"HTML", write_html, "-html.html", "HTML (StarWriter)", true, 0.98},
};

struct StyleSource {
    const char* folder;  // in the corpus
    const char* extension;
    EntryPoint reader;
    bool alignment;  // whether the reader carries paragraph alignment
};
const StyleSource kStyleSources[] = {
    {"macwrite", ".mw", read_macwrite, true},
    {"clarisworks", ".cwk", read_clarisworks, true},
    {"ragtime", ".datafork", read_ragtime3, true},
};

// The registry's row of a reader.
const FormatEntry& source_row(EntryPoint reader) {
    const FormatEntry* row = source_formats;
    while (row->display_name && row->reader != reader) ++row;
    EXPECT_NE(row->display_name, nullptr) << "a reader with no row";
    return *row;
}

const char* const kStyleAttributes[] = {"words", "bold", "italic", "underline", "size", "align"};

TEST(StyleOracle, StylesSurviveEveryWriter) {
    const fs::path corpus = test::corpus_dir();
    const fs::path tool = kSource / ".." / "shared" / "tools" / "stylecmp.py";
    if (!have("soffice") || !have("mwaw2raw") || !have("python3") || !fs::exists(tool) || !test::have_corpus()) {
        GTEST_SKIP() << "LibreOffice, libmwaw, python3, stylecmp.py or the corpus is missing; skipped";
    }
    test::TempDir dir;
    struct Pair {
        fs::path source;
        std::string file;
        const StyleTarget* target;
        bool alignment;
    };
    std::vector<Pair> pairs;
    std::map<std::string, std::vector<std::string>> by_filter;
    for (const StyleSource& src : kStyleSources) {
        std::vector<fs::path> documents;
        for (const auto& e : fs::directory_iterator(corpus / src.folder)) {
            if (e.path().extension() == src.extension) documents.push_back(e.path());
        }
        std::sort(documents.begin(), documents.end());
        for (const fs::path& doc : documents) {
            int result = 0;
            const std::string stream = test::run_entry(src.reader, test::read_file(doc.string()), &result);
            if (result != 0) continue;  // documents the reader refuses have no styles to compare
            for (const StyleTarget& t : kStyleTargets) {
                const std::string file = doc.stem().string() + t.suffix;
                test::write_file(dir.file(file), test::run_entry(t.writer, stream));
                pairs.push_back({doc, file, &t, src.alignment});
                by_filter[t.filter].push_back(file);
            }
        }
    }
    ASSERT_FALSE(pairs.empty());
    for (const auto& [filter, files] : by_filter) libreoffice_convert(dir, filter, "fodt", files);

    for (const Pair& p : pairs) {
        SCOPED_TRACE(p.file);
        const fs::path fodt = fs::path(dir.path()) / "fodt" / (fs::path(p.file).stem().string() + ".fodt");
        ASSERT_TRUE(fs::exists(fodt)) << "LibreOffice could not load " << p.file;
        std::string json, err;
        ASSERT_EQ(test::run_command("python3 '" + tool.string() + "' --json '" + p.source.string() + "' '" +
                                        fodt.string() + "'", &json, &err), 0) << err;
        // The word ratio, then each attribute's share of agreeing words.
        const std::size_t agree = json.find("\"agree\"");
        ASSERT_NE(agree, std::string::npos) << json;
        // An empty document has no words whose styles could be compared.
        const std::size_t aligned_at = json.find("\"aligned\": ");
        const bool has_words = aligned_at != std::string::npos && std::atol(json.c_str() + aligned_at + 11) > 0;
        std::string line;
        for (int i = 0; i < (has_words ? 6 : 1); ++i) {
            const std::string key = i == 0 ? "\"word_ratio\": " : "\"" + std::string(kStyleAttributes[i]) + "\": ";
            const std::size_t at = json.find(key, i == 0 ? 0 : agree);
            ASSERT_NE(at, std::string::npos) << key << json;
            const double ratio = std::strtod(json.c_str() + at + key.size(), nullptr);  // null reads as 0
            line += std::string(" ") + kStyleAttributes[i] + " " + std::to_string(ratio).substr(0, 6);
            if (i == 5 && !p.alignment) continue;  // not carried by this reader, so not held to it
            if (i == 4 && !p.target->sizes) continue;  // nor by this writer
            EXPECT_GE(ratio, i == 0 ? p.target->words : 0.99) << kStyleAttributes[i] << " in " << p.target->name;
        }
        std::cout << "  " << p.source.filename().string() << " -> " << p.target->name << ":" << line << "\n";
    }
}

// The archive targets of every real document, each checked by the readers
// and checkers of its kind: UTF-8 text by isutf8 (and no byte-order mark);
// HTML by tidy (no error); OpenDocument by the OASIS ODF 1.3 schemas (jing)
// and pandoc; DOCX by python-docx and pandoc. The words pandoc finds are
// all ours. Headless Chromium renders one document's HTML, for the README.
TEST(ArchiveOracle, EveryCorpusDocumentPassesItsCheckers) {
    const fs::path corpus = test::corpus_dir();
    const fs::path schemas = kSource / ".." / "shared" / "schemas" / "odf-1.3";
    for (const char* tool : {"isutf8", "tidy", "jing", "pandoc", "unzip"}) {
        if (!have(tool)) GTEST_SKIP() << tool << " is missing; skipped";
    }
    if (!test::have_corpus() || !fs::exists(schemas / "schema.rng") ||
        test::run_command("/usr/bin/python3 -c 'import docx' 2>/dev/null") != 0) {
        GTEST_SKIP() << "the corpus, the ODF schemas or python-docx is missing; skipped";
    }
    test::TempDir dir;
    const auto words_of = [](const std::string& text) {
        Words w = words(decode(text, "UTF-8"));
        std::sort(w.begin(), w.end());
        return w;
    };
    int documents = 0;
    for (const StyleSource& src : kStyleSources) {
        for (const auto& e : fs::directory_iterator(corpus / src.folder)) {
            if (e.path().extension() != src.extension) continue;
            const std::string copy = dir.file(e.path().filename().string());
            test::write_file(copy, test::read_file(e.path().string()));
            std::map<std::string, std::string> made;
            for (const char* t : {"utf8", "html", "odt", "docx"}) {
                const ConversionResult r = convert_file(copy, source_row(src.reader), format_named(t, target_formats));
                ASSERT_EQ(r.outcome, Outcome::Converted) << copy << " to " << t;
                made[t] = r.target_name;
            }
            SCOPED_TRACE(copy);
            const std::string text = test::read_file(made["utf8"]);
            EXPECT_EQ(test::run_command("isutf8 -q '" + made["utf8"] + "'"), 0);
            EXPECT_NE(text.rfind("\xEF\xBB\xBF", 0), 0u) << "a byte-order mark";
            EXPECT_EQ(text.find('\r'), std::string::npos);
            const Words ours = words_of(text);

            std::string out, err;
            test::run_command("tidy -e -q '" + made["html"] + "'", &out, &err);
            EXPECT_EQ(err.find("Error:"), std::string::npos) << err;

            const std::string unpacked = dir.file("odt-" + std::to_string(documents));
            ASSERT_EQ(test::run_command("mkdir -p '" + unpacked + "' && cd '" + unpacked + "' && unzip -q '" + made["odt"] + "'"), 0);
            EXPECT_EQ(test::run_command("cd '" + unpacked + "' && jing -i '" + (schemas / "schema.rng").string() +
                                            "' content.xml styles.xml meta.xml 2>/dev/null", &out),
                      0)
                << out;
            EXPECT_EQ(test::run_command("cd '" + unpacked + "' && jing -i '" + (schemas / "manifest-schema.rng").string() +
                                            "' META-INF/manifest.xml 2>/dev/null", &out),
                      0)
                << out;
            EXPECT_EQ(test::run_command("/usr/bin/python3 -c 'import docx, sys; docx.Document(sys.argv[1])' '" + made["docx"] + "'",
                                        &out, &err),
                      0)
                << err;
            for (const char* kind : {"odt", "docx"}) {
                ASSERT_EQ(test::run_command(std::string("pandoc -f ") + kind + " -t plain '" + made[kind] + "'", &out, &err), 0) << err;
                // pandoc leaves out running heads and writes notes its own
                // way: what it finds must be ours, and most of ours. It
                // marks superscript as ^(...) and subscript as _(...).
                static const std::regex kScript(R"([\^_]\(([^)]*)\))");
                Words found = words_of(std::regex_replace(out, kScript, "$1")), extra, missing;
                difference(ours, found, extra, missing);
                extra.erase(std::remove_if(extra.begin(), extra.end(), [](const std::u32string& w) {
                                return std::all_of(w.begin(), w.end(), [](char32_t c) { return c >= '0' && c <= '9'; });
                            }),
                            extra.end());  // note numbers
                EXPECT_TRUE(extra.empty()) << kind << ": pandoc found words that are not ours: " << show(extra);
                EXPECT_GE(found.size() * 100, ours.size() * 95) << kind;
            }
            ++documents;
        }
    }
    EXPECT_GT(documents, 20);

    // A picture of a converted document in a browser: the README shows it.
    if (have("chromium")) {
        const std::string html = dir.file("compendium__Arashi_Basic_Concepts.html");
        const std::string shot = (fs::path(VERBATRA_BINARY_DIR) / "html-screenshot.png").string();
        fs::remove(shot);
        test::run_command("chromium --headless --no-sandbox --disable-gpu --screenshot='" + shot +
                          "' --window-size=1000,1400 'file://" + html + "' >/dev/null 2>&1");
        ASSERT_TRUE(fs::exists(shot));
        EXPECT_GT(fs::file_size(shot), 20000u) << "an empty page";
    }
}

// Pictures: of every real document, the pictures libmwaw finds are all in
// the record, kept or dropped (ClarisWorks marks a drawing libmwaw may not
// read as a picture, so the record can count more), and LibreOffice finds
// the kept ones in our RTF. MacWrite keeps every one, as Macintosh pictures.
// The dates the Mac recorded in a wrapping reach the properties of every
// target that has them, as their readers find them: unrtf for RTF,
// python-docx for DOCX, the ODF schema for meta.xml. A bare file has no
// date of the document's own, and its targets record none.
TEST(ArchiveOracle, ReadersFindTheDatesTheMacRecorded) {
    if (!have("unrtf") || !have("unzip") ||
        test::run_command("/usr/bin/python3 -c 'import docx' 2>/dev/null") != 0) {
        GTEST_SKIP() << "unrtf, unzip or python-docx is missing; skipped";
    }
    test::TempDir dir;
    std::string wrapped = test::macbinary("Letter text\r", "TEXTttxt");
    wrapped.replace(91, 4, test::be32(600000000L + 2082844800L));  // 1989-01-05T10:40:00
    wrapped.replace(95, 4, test::be32(641977689L + 2082844800L));  // 1990-05-06T07:08:09
    test::write_file(dir.file("wrapped"), wrapped);
    test::write_file(dir.file("bare"), "Letter text\r");
    std::string out, err;
    for (const char* t : {"rtf-ansi", "odt", "docx"}) {
        ASSERT_EQ(test::run_in(dir, std::string("--from auto --to ") + t + " wrapped bare", &out, &err), 0) << err;
    }
    ASSERT_EQ(test::run_command("unrtf --text '" + dir.file("wrapped.rtf") + "'", &out, &err), 0) << err;
    EXPECT_NE(out.find("### creation date: 5 January 1989 10:40"), std::string::npos) << out;
    EXPECT_NE(out.find("### revision date: 6 May 1990 07:08"), std::string::npos) << out;
    test::run_command("unrtf --text '" + dir.file("bare.rtf") + "'", &out, &err);
    EXPECT_EQ(out.find("date:"), std::string::npos) << out;

    const char* kProperties =
        "import docx, sys; p = docx.Document(sys.argv[1]).core_properties; print(p.created, p.modified, p.comments)";
    ASSERT_EQ(test::run_command(std::string("/usr/bin/python3 -c '") + kProperties + "' '" + dir.file("wrapped.docx") + "'", &out, &err), 0) << err;
    EXPECT_EQ(out, "1989-01-05 10:40:00 1990-05-06 07:08:09 converted from Texte seul by Verbatra 5.1\n");
    ASSERT_EQ(test::run_command(std::string("/usr/bin/python3 -c '") + kProperties + "' '" + dir.file("bare.docx") + "'", &out, &err), 0) << err;
    EXPECT_EQ(out, "None None converted from Texte seul by Verbatra 5.1\n");

    ASSERT_EQ(test::run_command("cd '" + dir.path() + "' && unzip -q wrapped.odt meta.xml", &out, &err), 0) << err;
    const std::string meta = test::read_file(dir.file("meta.xml"));
    EXPECT_NE(meta.find("<meta:creation-date>1989-01-05T10:40:00</meta:creation-date><dc:date>1990-05-06T07:08:09</dc:date>"),
              std::string::npos) << meta;
    const fs::path schema = kSource / ".." / "shared" / "schemas" / "odf-1.3" / "schema.rng";
    if (have("jing") && fs::exists(schema)) {
        EXPECT_EQ(test::run_command("jing -i '" + schema.string() + "' '" + dir.file("meta.xml") + "' 2>/dev/null", &out), 0) << out;
    }
}

TEST(PictureOracle, LibreOfficeFindsLibmwawsPicturesInOurRtf) {
    const fs::path corpus = test::corpus_dir();
    if (!have("soffice") || !have("mwaw2raw") || !test::have_corpus()) {
        GTEST_SKIP() << "LibreOffice, libmwaw or the corpus is missing; skipped";
    }
    test::TempDir dir;
    struct Document {
        std::string file;
        int libmwaw;
        bool carried;  // the reader carries pictures
        ConversionResult result;
    };
    std::vector<Document> documents;
    std::vector<std::string> files;
    for (const StyleSource& src : kStyleSources) {
        for (const auto& e : fs::directory_iterator(corpus / src.folder)) {
            if (e.path().extension() != src.extension) continue;
            std::string raw;
            test::run_command("mwaw2raw '" + e.path().string() + "'", &raw);
            const std::string copy = dir.file(e.path().filename().string());
            test::write_file(copy, test::read_file(e.path().string()));
            const ConversionResult r = convert_file(copy, source_row(src.reader), format_named("rtf-ansi", target_formats));
            ASSERT_EQ(r.outcome, Outcome::Converted) << copy;
            files.push_back(fs::path(r.target_name).filename().string());
            documents.push_back({files.back(), test::count_of(raw, "insertBinaryObject("), src.reader == read_macwrite, r});
        }
    }
    libreoffice_convert(dir, "Rich Text Format", "fodt", files);
    int kept = 0;
    for (const Document& d : documents) {
        const fs::path fodt = fs::path(dir.path()) / "fodt" / (fs::path(d.file).stem().string() + ".fodt");
        ASSERT_TRUE(fs::exists(fodt)) << "LibreOffice could not load " << d.file;
        const int found = test::count_of(test::read_file(fodt.string()), "<draw:frame");
        EXPECT_GE(d.result.pictures_kept + d.result.pictures_dropped, d.libmwaw) << d.file;
        if (d.carried) {
            EXPECT_EQ(d.result.pictures_kept, d.libmwaw) << d.file;
        }
        EXPECT_EQ(found, d.result.pictures_kept) << d.file;
        std::cout << "  " << d.file << ": libmwaw " << d.libmwaw << ", kept " << d.result.pictures_kept << ", dropped "
                  << d.result.pictures_dropped << ", LibreOffice " << found << "\n";
        kept += d.result.pictures_kept;
    }
    EXPECT_GT(kept, 0);
}


// Fonts by name: in every real document, the words libmwaw finds in each
// font are the words LibreOffice finds in that font in our RTF and our
// WordPerfect file (the program listing of Arashi Basic Concepts in
// Courier, say).
TEST(FontOracle, RtfAndWordPerfectKeepEachRunsFont) {
    const struct {
        EntryPoint writer;
        const char* suffix;  // makes each target's name its own
        const char* filter;
    } targets[] = {{write_rtf_ansi, ".rtf", "Rich Text Format"}, {write_wp5, "-wp.wp5", "WordPerfect"}};
    const fs::path corpus = test::corpus_dir();
    const fs::path tool = kSource / "tests" / "font_words.py";
    if (!have("soffice") || !have("mwaw2raw") || !have("python3") || !test::have_corpus()) {
        GTEST_SKIP() << "LibreOffice, libmwaw, python3 or the corpus is missing; skipped";
    }
    test::TempDir dir;
    std::vector<std::pair<fs::path, std::string>> documents;
    std::map<std::string, std::vector<std::string>> files;  // by filter
    for (const StyleSource& src : kStyleSources) {
        for (const auto& e : fs::directory_iterator(corpus / src.folder)) {
            if (e.path().extension() != src.extension) continue;
            const std::string data = test::read_file(e.path().string());
            // ClarisWorks before version 4 names fonts by number only, and
            // libmwaw takes some of those numbers for other fonts than the
            // Macintosh does: not a comparison of names.
            if (src.reader == read_clarisworks && !data.empty() && data[0] < 4) continue;
            // MacWrite 1 sets much of its text in font number 0, the
            // system font (Chicago), for which libmwaw has no name: it
            // writes Times New Roman.
            if (src.reader == read_macwrite && data.size() > 1 && data[1] == 3) continue;
            int result = 0;
            const std::string stream = test::run_entry(src.reader, data, &result);
            if (result != 0) continue;
            for (const auto& t : targets) {
                const std::string file = e.path().stem().string() + t.suffix;
                test::write_file(dir.file(file), test::run_entry(t.writer, stream));
                files[t.filter].push_back(file);
                documents.push_back({e.path(), file});
            }
        }
    }
    ASSERT_FALSE(documents.empty());
    for (const auto& [filter, names] : files) libreoffice_convert(dir, filter, "fodt", names);
    // Each font's count of words, as the tool prints them.
    const auto counts = [&](const std::string& args) {
        std::string out, err;
        EXPECT_EQ(test::run_command("python3 '" + tool.string() + "' " + args, &out, &err), 0) << err;
        // libmwaw writes "New York" as "NewYork": names compare without
        // their spaces and case.
        std::map<std::string, long> by_font;
        std::istringstream lines(out);
        for (std::string line; std::getline(lines, line);) {
            const std::size_t tab = line.find('\t');
            if (tab == std::string::npos) continue;
            std::string name;
            for (char c : line.substr(tab + 1)) {
                if (c != ' ') name += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            }
            by_font[name] += std::atol(line.c_str());
        }
        return by_font;
    };
    int named = 0;
    for (const auto& [source, file] : documents) {
        SCOPED_TRACE(file);
        const fs::path fodt = fs::path(dir.path()) / "fodt" / (fs::path(file).stem().string() + ".fodt");
        ASSERT_TRUE(fs::exists(fodt)) << "LibreOffice could not load " << file;
        const auto theirs = counts("--raw '" + source.string() + "'");
        const auto ours = counts("'" + fodt.string() + "'");
        for (const auto& [font, words] : theirs) {
            // Words outside the body (headers, footers) are left out on
            // one side only; a font of a handful of words is not held to it.
            if (font == "none" || words < 20) continue;
            const auto found = ours.find(font);
            const long got = found == ours.end() ? 0 : found->second;
            EXPECT_GE(got, words * 95 / 100) << font << ": libmwaw " << words << " words, ours " << got;
            ++named;
        }
    }
    EXPECT_GT(named, 0);
}

// Works 2 and 3 fixtures as libmwaw reads them: the words it prints must
// be the words of our plain text, in order. (libmwaw ends a paragraph at
// every text record; we, at the records whose type has bit 0x20, so the
// comparison is of words, not of lines.)
TEST(WorksOracle, LibmwawFindsTheWordsOfOurFixtures) {
    if (!have("mwaw2text")) GTEST_SKIP() << "libmwaw is not installed; skipped";
    using test::works_document;
    const std::string bold = test::works_marker(14, 1), plain = test::works_marker(12, 0);
    const std::string fixtures[] = {
        works_document(8, {{0x80, "C"}, {0x20, bold + "Centred title"}, {0x80, "L"},
                  {0x00, "A first " + bold + "line" + plain + " with\ttabs,"}, {0x20, " caf\x8E and cr\x8Fme."}}),
        works_document(9, {{0x80, "L"}, {0x20, "Works three " + bold + "text" + plain}, {0x20, "second paragraph"}}),
    };
    test::TempDir dir;
    for (const std::string& f : fixtures) {
        SCOPED_TRACE(f.substr(0, 4) == test::bytes({0, 0, 0, 8}) ? "Works 2" : "Works 3");
        test::write_file(dir.file("W"), f);
        std::string out;
        ASSERT_EQ(test::run_command("mwaw2text " + dir.file("W"), &out), 0);
        ASSERT_EQ(out.find("Unsupported"), std::string::npos) << out;
        const std::string stream = test::run_entry(read_works, f);
        const Words ours = words(decode(test::run_entry(write_ansi_windows, stream), "CP1252"));
        EXPECT_FALSE(ours.empty());
        EXPECT_EQ(words(decode(out, "UTF-8")), ours) << out;
    }
}

// libmwaw reads Nisus Writer from AppleSingle when the Finder info says
// "TEXT" "NISI" and a "vers" resource is there; it places each note by a
// "FOOT" record (the mark's place in the text as paragraph, word and
// character, just after the mark; the note's last paragraph in "FNTX").
TEST(NisusOracle, LibmwawFindsTheWordsAndNotesOfOurFixture) {
    if (!have("mwaw2text")) GTEST_SKIP() << "libmwaw is not installed; skipped";
    const std::string text = "A letter from caf\x8E Nisus\x1C with two\tnotes.\rSecond paragraph\x1C ends.\r";
    const std::string notes = "\x1C" "First note, cr\x8Fme.\r\x1C" "Second note.\r";
    // Where libmwaw counts the place after each mark: paragraphs at CR,
    // words at spaces and tabs, characters within the word.
    std::string foot;
    long paragraph = 0, word = 0, character = 0;
    int note = 0;
    for (char c : text) {
        if (c == '\r') paragraph++, word = character = 0;
        else if (c == ' ' || c == '\t') word++, character = 0;
        else character++;
        if (c != '\x1C') continue;
        ++note;
        foot += test::be32(paragraph) + test::be16(static_cast<int>(word)) + test::be16(static_cast<int>(character)) +
                test::be32(note) + test::be16(0) + test::be16(0) + test::be16(note) + std::string(18, '\0');
    }
    const std::string rsrc = test::resource_fork({test::nisus_version(), {"FNTX", 128, notes}, {"FOOT", 128, foot}});
    const std::string file = test::apple_file(true, text, rsrc);
    test::TempDir dir;
    test::write_file(dir.file("N"), file);
    std::string out;
    ASSERT_EQ(test::run_command("mwaw2text " + dir.file("N"), &out), 0);
    ASSERT_EQ(out.find("Unsupported"), std::string::npos) << out;
    int result = 99;
    const std::string stream = test::run_entry(read_nisus, file, &result);
    ASSERT_EQ(result, 0);
    // libmwaw prints each note after its paragraph, on a line of its own
    // that starts with "[n]", and "[n]" where the mark stands.
    const Expected ours = expected_text(test::run_entry(write_ansi_windows, stream), "CP1252");
    std::string body, note_lines;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        (line.rfind("[", 0) == 0 ? note_lines : body) += std::regex_replace(line, std::regex(R"(\[[0-9]+\])"), " ") + "\n";
    }
    EXPECT_EQ(words(decode(body, "UTF-8")), ours.body) << out;
    EXPECT_EQ(words(decode(note_lines, "UTF-8")), ours.notes) << out;
    EXPECT_EQ(ours.note_count, 2);
}

}  // namespace
}  // namespace verbatra
