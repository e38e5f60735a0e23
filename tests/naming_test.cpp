#include <gtest/gtest.h>

#include <cctype>

#include "pipeline/driver.h"
#include "pipeline/file_utils.h"
#include "pipeline/registry.h"
#include "platform/platform.h"
#include "support.h"

namespace verbatra {
namespace {

struct ExtensionCase {
    const char* name;
    const char* ext;
    const char* expected;
};

TEST(Naming, ReplaceExtension) {
    const ExtensionCase cases[] = {
        {"REPORT.TXT", "ASC", "REPORT.asc"},
        {"letter", "ASC", "letter.asc"},
        {"my.letter.text", "ASC", "my.letter.text.asc"},  // four characters after the dot
        {"a.b", "ASC", "a.asc"},
        {"NOTES.TXT", "DOC", "NOTES.doc"},
        {"a.", "RTF", "a.rtf"},
        {"REPORT", "###", "REPORT.###"},
        {"name", nullptr, "name."},
        {"name.txt", nullptr, "name."},
        {"docs.v2/letter", "ASC", "docs.v2/letter.asc"},  // the dot of a directory is no extension
        {"docs.v2/letter.txt", "WP5", "docs.v2/letter.wp5"},
        {"x/.a", "ASC", "x/.asc"},
    };
    for (const auto& c : cases) {
        std::string name = c.name;
        replace_extension(name, c.ext);
        EXPECT_EQ(name, c.expected) << c.name;
    }
}

TEST(Naming, CounterExtensions) {
    EXPECT_EQ(counter_extension(1), "001");
    EXPECT_EQ(counter_extension(10), "00A");
    EXPECT_EQ(counter_extension(32), "010");
    EXPECT_EQ(counter_extension(33 * 32 + 31), "11V");
    std::string name = "X.asc";
    replace_extension(name, counter_extension(10).c_str());
    EXPECT_EQ(name, "X.00a");  // counter letters come out in lower case
}

unsigned counter_of(const std::string& name) {
    std::string ext = name.substr(name.size() - 3);
    unsigned n = 0;
    for (char c : ext) n = n * 32 + static_cast<unsigned>(c <= '9' ? c - '0' : c - 'a' + 10);
    return n;
}

TEST(Naming, UniqueNamesContinueOneCounterAndSkipExistingFiles) {
    test::TempDir dir;
    test::write_file(dir.file("REPORT.ASC"), "x");
    // Names compare without regard to case, as the Windows search does.
    EXPECT_TRUE(file_exists(dir.file("REPORT.asc")));
    EXPECT_FALSE(file_exists(dir.file("REPORT.rtf")));

    std::string first = dir.file("REPORT.asc");
    make_unique_name(first);
    unsigned n = counter_of(first);
    std::string ext = counter_extension(n);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));  // as names take it
    EXPECT_EQ(first, dir.file("REPORT.") + ext);

    // A later collision, with another file, goes on from the counter and
    // skips a value whose name is taken.
    test::write_file(dir.file("OTHER.") + counter_extension(n + 1), "y");
    std::string second = dir.file("OTHER.asc");
    make_unique_name(second);
    EXPECT_EQ(counter_of(second), n + 2);
}

TEST(Naming, ExistenceSeesChangesMadeBetweenLookups) {
    test::TempDir dir;
    test::write_file(dir.file("a"), "");
    EXPECT_FALSE(file_exists(dir.file("REPORT.rtf")));
    test::write_file(dir.file("REPORT.RTF"), "made by someone else meanwhile");
    EXPECT_TRUE(file_exists(dir.file("REPORT.rtf")));
    { ByteFile mine = ByteFile::open(dir.file("Mine.Doc"), "w+b"); }
    EXPECT_TRUE(file_exists(dir.file("MINE.DOC")));
    platform::remove_file(dir.file("Mine.Doc"));
    EXPECT_FALSE(file_exists(dir.file("mine.doc")));
    platform::remove_file(dir.file("REPORT.RTF"));
    EXPECT_FALSE(file_exists(dir.file("report.rtf")));
}

TEST(Naming, FileNameCharacterTable) {
    const std::pair<std::string, std::string> cases[] = {
        {"a:b", "a"},
        {"x\x01y", "x"},
        {"\xE9t\xE9", "\x82t\x82"},
        {"R\xC9SUM\xC9.TXT", "R\x90SUM\x90.TXT"},
        {"plain name.txt", "plain name.txt"},
    };
    for (auto [in, expected] : cases) {
        map_name_chars(in);
        EXPECT_EQ(in, expected);
    }
    std::string line = "NAME.TXT\r\n";
    strip_line_end(line);
    EXPECT_EQ(line, "NAME.TXT");
}

TEST(Registry, TablesInListOrder) {
    const char* sources[] = {"Texte seul", "MacWrite 4.6", "MacWrite II", "MS-Works 2", "MS-Works 3",
                             "ClarisWorks", "Ragtime 2", "Ragtime 3", "Nisus Writer", "UTF-8 text",
                             "Windows text"};
    const char* targets[] = {"Ascii (DOS)", "Ansi (Windows)", "Word 3/4/5 DOS", "Wordperfect 5",
                             "Word Windows 2", "RTF Ascii (DOS)", "RTF Ansi (Windows)", "UTF-8 text",
                             "HTML", "OpenDocument Text", "Word 2007 (DOCX)"};
    const char* extensions[] = {"ASC", "ASC", "DOC", "WP5", "DOC", "RTF", "RTF", "TXT", "HTML", "ODT", "DOCX"};
    const bool pictures[] = {false, false, false, false, false, true, true, false, false, true, false};
    for (int i = 0; i < kSourceCount; ++i) EXPECT_STREQ(source_formats[i].display_name, sources[i]);
    for (int i = 0; i < kTargetCount; ++i) {
        EXPECT_STREQ(target_formats[i].display_name, targets[i]);
        EXPECT_STREQ(target_formats[i].extension, extensions[i]);
        EXPECT_EQ(target_formats[i].writer_pass, Buffering::kBoth);
        EXPECT_EQ(target_formats[i].keeps_pictures, pictures[i]) << targets[i];
    }
    EXPECT_EQ(source_formats[kSourceCount].display_name, nullptr);
    EXPECT_EQ(target_formats[kTargetCount].display_name, nullptr);
    // The MacWrite readers buffer only the work file; every other pass both.
    for (int i = 0; i < kSourceCount; ++i) {
        const bool macwrite = i == 1 || i == 2;
        EXPECT_EQ(source_formats[i].reader_pass, macwrite ? Buffering::kOutput : Buffering::kBoth) << sources[i];
        EXPECT_EQ(source_formats[i].text_reader, i == 0 || i >= 9) << sources[i];
        EXPECT_EQ(source_formats[i].reads_forks, i == 8) << sources[i];
        EXPECT_NE(source_formats[i].recognise, nullptr) << sources[i];
    }
}

TEST(Registry, Lookups) {
    // The dialog's lookup falls back to entry 0; the command line's does not.
    EXPECT_EQ(find_format("RTF Ansi (Windows)", target_formats), 6);
    EXPECT_EQ(find_format("MacWrite II", source_formats), 2);
    EXPECT_EQ(find_format("rtf ansi (windows)", target_formats), 0);
    EXPECT_EQ(find_format("nonsense", target_formats), 0);
    EXPECT_EQ(find_format("Ansi (Windows):junk", target_formats), 1);  // cut at the colon

    EXPECT_EQ(lookup_format("rtf ansi (WINDOWS)", target_formats), 6);
    EXPECT_EQ(lookup_format("TEXT", source_formats), 0);
    EXPECT_EQ(lookup_format("wp5", target_formats), 3);
    EXPECT_EQ(lookup_format("nonsense", target_formats), -1);
    EXPECT_EQ(lookup_format("", source_formats), -1);
}

TEST(Platform, WildcardMatching) {
    struct Case {
        const char* pattern;
        const char* name;
        bool match;
    };
    const Case cases[] = {
        {"*.*", "README", true},       {"*.*", "a.txt", true},       {"*.TXT", "a.txt", true},
        {"*.TXT", "TXT", false},       {"?.TXT", "ab.txt", false},   {"?.TXT", "b.TXT", true},
        {"A?C", "abc", true},          {"A?C", "ac", false},         {"*", ".hidden", true},
        {"REPORT.asc", "REPORT.ASC", true}, {"R*T.*", "REPORT.ASC", true}, {"*a*b*c", "xaybzc", true},
        {"*a*b*c", "xaybz", false},    {"A.*", "A", true},           {"", "x", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(platform::wildcard_match(c.pattern, c.name), c.match) << c.pattern << " vs " << c.name;
    }
}

// Names chosen for a group of targets before any takes its name: a name
// chosen for an earlier target counts as taken, in any case, as it would
// if that target had already taken it.
TEST(Naming, NamesChosenEarlierInAGroupCountAsTaken) {
    test::TempDir dir;
    ConversionResult first, second;
    first.target_name = dir.file("README.asc");
    choose_target_name(first);
    EXPECT_EQ(first.target_name, dir.file("README.asc"));
    const std::unordered_set<std::string> chosen = {platform::folded_name(first.target_name)};
    second.target_name = dir.file("readme.ASC");
    choose_target_name(second, chosen);
    const std::string ext = second.target_name.substr(second.target_name.size() - 3);
    EXPECT_EQ(second.target_name.substr(0, second.target_name.size() - 3), dir.file("readme."));
    EXPECT_EQ(ext.find_first_not_of("0123456789abcdefghijklmnopqrstuv"), std::string::npos) << ext;
}

}  // namespace
}  // namespace verbatra
