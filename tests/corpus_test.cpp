// Real Macintosh text files, converted to "Ansi (Windows)": every word of
// the document (letters and digits, accented letters included) must come
// out as the system's own Mac Roman decoder reads it. Only punctuation that
// Windows lacks may differ.
#include <gtest/gtest.h>

#include <filesystem>

#include <cstring>

#include "pipeline/driver.h"
#include "readers/macwrite.h"
#include "support.h"

namespace verbatra {
namespace {

namespace fs = std::filesystem;

const fs::path kCorpus = fs::path(VERBATRA_SOURCE_DIR) / ".." / "shared" / "corpus";

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
        ConversionResult r = convert_file(source, source_formats[0], target_formats[1]);
        ASSERT_EQ(r.outcome, Outcome::Converted) << entry.path();
        auto expected = words(decode(test::read_file(source), "MACINTOSH"));
        auto got = words(decode(test::read_file(r.target_name), "CP1252"));
        EXPECT_FALSE(expected.empty()) << entry.path();
        EXPECT_EQ(got, expected) << entry.path();
        ++documents;
    }
    EXPECT_GT(documents, 0);
}

std::string without_section_markers(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        std::size_t skip = 0;
        for (const char* marker : {"\\TETE", "\\PIED", "\\FIN\\"}) {
            if (text.compare(i, std::strlen(marker), marker) == 0) skip = std::strlen(marker);
        }
        out += skip ? ' ' : text[i];
        i += skip ? skip : 1;
    }
    return out;
}

// Every version-6 MacWrite document of the corpus, to "Ansi (Windows)",
// against the text libmwaw finds in it. Both carry the header, the footer
// and the main text; libmwaw prints them inline, we between section
// markers, which are taken out before the words are compared. Nothing our
// reader drops on purpose (window, page and print settings; pictures,
// which these documents do not hold) shows in the words.
TEST(Corpus, MacWriteWordsMatchLibmwaw) {
    const fs::path dir = kCorpus / "macwrite";
    if (!fs::is_directory(dir)) GTEST_SKIP() << "no corpus at " << dir << "; skipped";
    int documents = 0;
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (!entry.is_regular_file() || entry.path().extension() != ".mw") continue;
        const std::string name = entry.path().filename().string();
        const std::string data = test::read_file(entry.path().string());
        test::TempDir work;
        test::write_file(work.file("DOC"), data);
        ConversionResult r = convert_file(work.file("DOC"), source_formats[1], target_formats[1]);
        if (data.size() < 2 || data[1] != 6) {
            EXPECT_EQ(r.outcome, Outcome::NotOfFormat) << name << " is not of file version 6";
            continue;
        }
        ASSERT_EQ(r.outcome, Outcome::Converted) << name;
        const fs::path reference = kCorpus / "reference" / (name + ".mwaw2text.txt");
        ASSERT_TRUE(fs::exists(reference)) << reference;
        auto expected = words(decode(test::read_file(reference.string()), "UTF-8"));
        auto got = words(decode(without_section_markers(test::read_file(r.target_name)), "CP1252"));
        EXPECT_EQ(got, expected) << name;
        std::printf("  %s: %zu words, %s libmwaw's %zu\n", name.c_str(), got.size(),
                    got == expected ? "the same as" : "DIFFERENT from", expected.size());

        // Its MacBinary copy gives the stream of the bare data fork.
        const fs::path wrapped = dir / "wrapped" / (name + ".macbin");
        if (fs::exists(wrapped)) {
            EXPECT_EQ(test::run_entry(read_macwrite, test::read_file(wrapped.string())),
                      test::run_entry(read_macwrite, data))
                << wrapped;
        }
        ++documents;
    }
    EXPECT_GT(documents, 0);
}

}  // namespace
}  // namespace verbatra
