// Real Macintosh text files, converted to "Ansi (Windows)": every word of
// the document (letters and digits, accented letters included) must come
// out as the system's own Mac Roman decoder reads it. Only punctuation that
// Windows lacks may differ.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include <cstring>

#include "pipeline/driver.h"
#include "readers/macwrite.h"
#include "support.h"

namespace verbatra {
namespace {

namespace fs = std::filesystem;

const fs::path kCorpus = test::corpus_dir();

using test::decode;
using test::words;

TEST(Corpus, MacTextWordsSurviveToWindows) {
    const fs::path dir = kCorpus / "mactext";
    if (!fs::is_directory(dir)) GTEST_SKIP() << "no corpus at " << dir << "; skipped";
    int documents = 0;
    for (const auto& entry : fs::directory_iterator(dir)) {
        const std::string ext = entry.path().extension().string();
        if (!entry.is_regular_file() || (ext != ".txt" && ext != ".datafork")) continue;
        test::TempDir work;
        const std::string source = work.file("DOC");
        test::write_file(source, test::read_file(entry.path().string()));
        ConversionResult r = convert_file(source, format_named("text", source_formats), format_named("ansi", target_formats));
        ASSERT_EQ(r.outcome, Outcome::Converted) << entry.path();
        auto expected = words(decode(test::read_file(source), "MACINTOSH"));
        auto got = words(decode(test::read_file(r.target_name), "CP1252"));
        EXPECT_FALSE(expected.empty()) << entry.path();
        EXPECT_EQ(got, expected) << entry.path();
        ++documents;
    }
    EXPECT_GT(documents, 0);
}

// Section markers and picture placeholders (libmwaw prints neither) become
// spaces.
std::string without_section_markers(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        std::size_t skip = 0;
        for (const char* marker : {"\\TETE", "\\PIED", "\\FIN\\", "[picture]"}) {
            if (text.compare(i, std::strlen(marker), marker) == 0) skip = std::strlen(marker);
        }
        out += skip ? ' ' : text[i];
        i += skip ? skip : 1;
    }
    return out;
}

// Every document of a corpus folder, to "Ansi (Windows)", against the text
// libmwaw finds in it. Both carry headers, footers and the main text;
// libmwaw prints them inline, we between section markers, which are taken
// out before the words are compared. A document `accepted` says no to must
// be refused. Each MacBinary copy gives the stream of its bare data fork.
void compare_with_libmwaw(const char* folder, const char* extension, const char* source_name,
                          bool (*accepted)(const std::string& data)) {
    const fs::path dir = kCorpus / folder;
    if (!fs::is_directory(dir)) GTEST_SKIP() << "no corpus at " << dir << "; skipped";
    const FormatEntry& source = format_named(source_name, source_formats);
    int documents = 0;
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (!entry.is_regular_file() || entry.path().extension() != extension) continue;
        const std::string name = entry.path().filename().string();
        const std::string data = test::read_file(entry.path().string());
        test::TempDir work;
        test::write_file(work.file("DOC"), data);
        ConversionResult r = convert_file(work.file("DOC"), source, format_named("ansi", target_formats));
        if (!accepted(data)) {
            EXPECT_EQ(r.outcome, Outcome::NotOfFormat) << name << " must be refused";
            continue;
        }
        ASSERT_EQ(r.outcome, Outcome::Converted) << name;
        const fs::path reference = kCorpus / "reference" / (name + ".mwaw2text.txt");
        ASSERT_TRUE(fs::exists(reference)) << reference;
        auto expected = words(decode(test::read_file(reference.string()), "UTF-8"));
        const std::string target = test::read_file(r.target_name);
        auto got = words(decode(without_section_markers(target), "CP1252"));
        // Text holds no picture: each one the document has is a placeholder,
        // and the record counts it as dropped.
        EXPECT_EQ(test::count_of(target, "[picture]"), r.pictures_dropped) << name;
        EXPECT_EQ(r.pictures_kept, 0) << name;

        // UTF-8 text: the same words in the same order, but for the
        // footers, which follow the body there.
        std::vector<std::u32string> footer;
        for (std::size_t at = target.find("\\PIED"); at != std::string::npos; at = target.find("\\PIED", at + 1)) {
            const std::size_t end = target.find("\\FIN\\", at);
            for (auto& w : words(decode(target.substr(at + 5, end - at - 5), "CP1252"))) footer.push_back(w);
        }
        auto in_order = expected;
        if (!footer.empty()) {
            const auto at = std::search(in_order.begin(), in_order.end(), footer.begin(), footer.end());
            if (at != in_order.end()) {
                in_order.erase(at, at + static_cast<long>(footer.size()));
                in_order.insert(in_order.end(), footer.begin(), footer.end());
            }
        }
        const ConversionResult u = convert_file(work.file("DOC"), source, format_named("utf8", target_formats));
        ASSERT_EQ(u.outcome, Outcome::Converted) << name;
        EXPECT_EQ(words(decode(without_section_markers(test::read_file(u.target_name)), "UTF-8")), in_order) << name;
        EXPECT_EQ(got, expected) << name;
        std::printf("  %s: %zu words, %s libmwaw's %zu\n", name.c_str(), got.size(),
                    got == expected ? "the same as" : "DIFFERENT from", expected.size());

        // A MacBinary copy, in wrapped/ or beside the data fork, reads the same.
        for (const fs::path& wrapped : {dir / "wrapped" / (name + ".macbin"),
                                        fs::path(entry.path()).replace_extension(".macbin")}) {
            if (!fs::exists(wrapped)) continue;
            EXPECT_EQ(test::run_entry(source.reader, test::read_file(wrapped.string())),
                      test::run_entry(source.reader, data))
                << wrapped;
        }
        ++documents;
    }
    EXPECT_GT(documents, 0);
}

TEST(Corpus, RagTimeWordsMatchLibmwaw) {
    compare_with_libmwaw("ragtime", ".datafork", "ragtime3", [](const std::string&) { return true; });
}

// MacWrite: version 6 (4.5 to 5) and version 3 (1.0 to 2.2).
TEST(Corpus, MacWriteWordsMatchLibmwaw) {
    compare_with_libmwaw("macwrite", ".mw", "macwrite", [](const std::string&) { return true; });
}

// ClarisWorks 1, 2 and 4 and AppleWorks 5 and 6, Macintosh and Windows.
TEST(Corpus, ClarisWorksWordsMatchLibmwaw) {
    compare_with_libmwaw("clarisworks", ".cwk", "clarisworks", [](const std::string&) { return true; });
}

// Real Works 2 and 3 documents that are spreadsheets: refused by both
// entries, with nothing left behind.
TEST(Corpus, WorksSpreadsheetsAreRefused) {
    const fs::path dir = kCorpus / "msworks_nonwp";
    if (!fs::is_directory(dir)) GTEST_SKIP() << "no corpus at " << dir << "; skipped";
    int documents = 0;
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (entry.path().extension() != ".datafork") continue;
        for (const char* name : {"works2", "works3"}) {
            test::TempDir work;
            test::write_file(work.file("SHEET"), test::read_file(entry.path().string()));
            const FormatEntry& source = format_named(name, source_formats);
            EXPECT_EQ(convert_file(work.file("SHEET"), source, format_named("dos", target_formats)).outcome, Outcome::NotOfFormat)
                << entry.path() << " through " << name;
            EXPECT_EQ(work.list(), std::vector<std::string>{"SHEET"});
        }
        ++documents;
    }
    EXPECT_EQ(documents, 2);
}

}  // namespace
}  // namespace verbatra
