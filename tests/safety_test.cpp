// A run over material that exists once: nothing of the user's is written,
// nothing blocks, a doomed run stops once, and the record is whole.
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "support.h"

namespace verbatra {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

using test::run_in;

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
        lines.push_back(text.substr(at, end - at));
    }
    return lines;
}

// `--report *.mw` with a forgotten argument: the shell makes a document
// the report. It is never written, nor is a file named both ways.
TEST(Safety, TheReportIsNeverWrittenIntoADocument) {
    test::TempDir dir;
    const std::string doc = std::string("\0\x06", 2) + std::string(400, 'x');
    test::write_file(dir.file("A.mw"), doc);
    test::write_file(dir.file("B.mw"), doc);
    std::string out, err;
    EXPECT_EQ(run_in(dir.path(), "-f auto -t rtf-ansi -o OUT --report A.mw B.mw", &out, &err), 2);
    EXPECT_EQ(err, "verbatra: the report A.mw is a file that is not a report of verbatra; it is left untouched; "
                   "see verbatra --help\n");
    EXPECT_EQ(run_in(dir.path(), "-f auto -t rtf-ansi --report NEW.jsonl NEW.jsonl", &out, &err), 2);
    EXPECT_EQ(err.rfind("verbatra: the report NEW.jsonl is also named as a file to convert", 0), 0u) << err;
    EXPECT_EQ(test::read_file(dir.file("A.mw")), doc);
    EXPECT_EQ(dir.list(), (Names{"A.mw", "B.mw"}));

    // An empty file, a report of ours (of this version or an earlier one)
    // and a device take lines.
    test::write_file(dir.file("T"), "t\r");
    test::write_file(dir.file("empty.jsonl"), "");
    test::write_file(dir.file("old.jsonl"), "{\"source\":\"X\",\"format\":null,\"outcome\":\"failed\"}\n");
    for (const char* report : {"empty.jsonl", "old.jsonl", "empty.jsonl", "/dev/null"}) {
        EXPECT_EQ(run_in(dir.path(), std::string("-f text -t dos -o OUT --report ") + report + " T", &out, &err), 0)
            << report << ": " << err;
    }
    const std::vector<std::string> lines = lines_of(test::read_file(dir.file("empty.jsonl")));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].rfind("{\"run\":{\"program\":\"Verbatra\",\"version\":\"5.1\"", 0), 0u);
    EXPECT_EQ(lines[2].rfind("{\"run\":", 0), 0u);
}

// List lines are names, never patterns; a CR before the line feed goes.
TEST(Safety, ListLinesAreNames) {
    test::TempDir dir;
    test::write_file(dir.file("Memo?"), "q\r");
    test::write_file(dir.file("Memo1"), "1\r");
    test::write_file(dir.file("list"), "Memo?\r\nMemo1\r\n");
    std::string out, err;
    EXPECT_EQ(run_in(dir.path(), "-f text -t dos --files-from list", &out, &err), 0) << err;
    EXPECT_EQ(out, "Memo? -> Memo?.asc\nMemo1 -> Memo1.asc\n");
    EXPECT_EQ(dir.list(), (Names{"Memo1", "Memo1.asc", "Memo?", "Memo?.asc", "list"}));
}

// Where targets go in the output folder depends on the arguments alone:
// a named folder under its own name (as cp -r), a named file or a
// pattern's files in it, whatever the current folder.
TEST(Safety, TheOutputLayoutFollowsTheArgumentsNotTheCurrentFolder) {
    test::TempDir dir;
    fs::create_directories(dir.file("archive/ro/A/B"));
    test::write_file(dir.file("archive/ro/A/B/f"), "f\r");
    test::write_file(dir.file("archive/ro/A/g"), "g\r");
    const std::string root = fs::canonical(dir.path()).string();
    struct Case {
        std::string from, args;
        Names made;  // under the output folder
    };
    const Case cases[] = {
        {root, "-r -o " + root + "/o1 archive/ro/A", {"A/B/f.asc", "A/g.asc"}},
        {root + "/archive", "-r -o " + root + "/o2 ro/A", {"A/B/f.asc", "A/g.asc"}},
        {"/", "-r -o " + root + "/o3 " + root + "/archive/ro/A/", {"A/B/f.asc", "A/g.asc"}},
        {root + "/archive/ro/A", "-r -o " + root + "/o4 .", {"B/f.asc", "g.asc"}},
        {root, "-o " + root + "/o5 archive/ro/A/B/f", {"f.asc"}},
        {root, "-r -o " + root + "/o6 'archive/ro/A/*'", {"B/f.asc", "g.asc"}},
    };
    int n = 0;
    for (const Case& c : cases) {
        std::string out, err;
        EXPECT_EQ(run_in(c.from, "-f text -t dos -q " + c.args, &out, &err), 0) << c.args << ": " << err;
        Names made;
        const fs::path o = root + "/o" + std::to_string(++n);
        if (fs::exists(o)) {
            for (const auto& e : fs::recursive_directory_iterator(o)) {
                if (e.is_regular_file()) made.push_back(fs::relative(e.path(), o).string());
            }
        }
        std::sort(made.begin(), made.end());
        EXPECT_EQ(made, c.made) << c.args;
    }
}

// Every file met and every argument has exactly one line, whatever became
// of it; what a walk passes over is told in its turn.
TEST(Safety, TheReportHoldsOneLineForEveryFileMet) {
    test::TempDir dir;
    fs::create_directories(dir.file("T/sub"));
    test::write_file(dir.file("T/a"), "a\r");
    test::write_file(dir.file("T/two\nlines"), "x\r");
    fs::create_symlink("nowhere", dir.file("T/dangling"));
    fs::create_symlink("loop2", dir.file("T/loop1"));
    fs::create_symlink("loop1", dir.file("T/loop2"));
    test::write_file(dir.file("T/sub/b"), "b\r");
    std::string out, err;
    EXPECT_EQ(run_in(dir.path(), "-f text -t dos -o OUT --report run.jsonl -r T 'nothing*'", &out, &err), 3);
    const std::vector<std::string> lines = lines_of(test::read_file(dir.file("run.jsonl")));
    ASSERT_EQ(lines.size(), 1u + 7u) << err;
    auto line_of = [&](const std::string& source) {
        const std::string key = "{\"source\":\"" + source + "\",";
        const auto found = std::find_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(key, 0) == 0; });
        return found == lines.end() ? std::string() : *found;
    };
    EXPECT_NE(line_of("T/a").find("\"outcome\":\"converted\""), std::string::npos);
    EXPECT_NE(line_of("T/sub/b").find("\"outcome\":\"converted\""), std::string::npos);
    EXPECT_NE(line_of("T/two\\u000alines").find("\"reason\":\"a name with a line break; skipped\""), std::string::npos);
    EXPECT_NE(line_of("T/dangling").find("a link that leads nowhere (No such file or directory); skipped"), std::string::npos);
    EXPECT_NE(line_of("T/loop1").find("a link that leads nowhere (Too many levels of symbolic links); skipped"),
              std::string::npos);
    EXPECT_NE(line_of("T/loop2").find("\"outcome\":\"skipped\""), std::string::npos);
    EXPECT_NE(line_of("nothing*").find("\"reason\":\"no file matches\""), std::string::npos);

    // Resumed: the file passed over keeps its format and sizes; a run to
    // another target or place is refused.
    EXPECT_EQ(run_in(dir.path(), "-f text -t dos -o OUT --resume run.jsonl T/a", &out, &err), 0) << err;
    const std::vector<std::string> again = lines_of(test::read_file(dir.file("run.jsonl")));
    EXPECT_EQ(test::without_fixity(again.back()), "{\"source\":\"T/a\",\"format\":\"Texte seul\",\"outcome\":\"already converted\","
                            "\"target\":\"OUT/T/a.asc\",\"reason\":null,\"source_size\":2,\"target_size\":3,\"pictures_kept\":0,\"pictures_dropped\":0}");
    EXPECT_EQ(run_in(dir.path(), "-f text -t rtf-ansi -o OUT --resume run.jsonl T/a", &out, &err), 2);
    EXPECT_NE(err.find("records a run to \"Ascii (DOS)\""), std::string::npos) << err;
    EXPECT_EQ(run_in(dir.path(), "-f text -t dos --resume run.jsonl T/a", &out, &err), 2);
    EXPECT_EQ(lines_of(test::read_file(dir.file("run.jsonl"))).size(), again.size());
}

// Text from other systems converts from its own encoding; documents that
// already are PC documents are left alone.
TEST(Safety, TextOfOtherSystemsAndPcDocuments) {
    test::TempDir dir;
    const std::string windows = "Caf\xE9 r\xE9sum\xE9 \x97 \x93quotes\x94";  // what Ansi (Windows) writes
    test::write_file(dir.file("utf8"), "Caf\xC3\xA9 r\xC3\xA9sum\xC3\xA9 \xE2\x80\x94 \xE2\x80\x9Cquotes\xE2\x80\x9D\n");
    test::write_file(dir.file("cp1252"), windows + "\r\n");
    test::write_file(dir.file("mac"), "Caf\x8E r\x8Esum\x8E \xD1 \xD2quotes\xD3\r");
    const struct {
        const char* name;
        std::string bytes;
        const char* kind;
    } documents[] = {
        {"rtf", "{\\rtf1\\ansi hello}", "RTF"},
        {"html", "\xEF\xBB\xBF\n  <!DOCTYPE HTML><p>x", "HTML"},
        {"pdf", "%PDF-1.4\n", "PDF"},
        {"wp", "\xFFWPC\x10\0\0\0", "WordPerfect"},
        {"worddos", std::string("\x31\xBE\0\0\0\xAB", 6) + std::string(200, '\0'), "Word for DOS"},
        {"docx", std::string("PK\x03\x04", 4) + std::string(26, 'x') + "word/document.xml", "DOCX"},
    };
    for (const auto& d : documents) test::write_file(dir.file(d.name), d.bytes);
    std::string out, err;
    EXPECT_EQ(run_in(dir.path(), "-f auto -t ansi -j1 utf8 cp1252 mac rtf html pdf wp worddos docx", &out, &err), 3);
    EXPECT_EQ(out, "utf8 -> utf8.asc (UTF-8 text)\ncp1252 -> cp1252.asc (Windows text)\nmac -> mac.asc (Texte seul)\n");
    for (const char* name : {"utf8", "cp1252", "mac"}) {
        EXPECT_EQ(test::read_file(dir.file(std::string(name) + ".asc")), windows + "\r\n") << name;
    }
    for (const auto& d : documents) {
        EXPECT_NE(err.find(std::string(d.name) + ": already a PC document (" + d.kind + "); skipped\n"), std::string::npos)
            << d.name << ": " << err;
    }
    // Named as text, an RTF file is still left alone.
    EXPECT_EQ(run_in(dir.path(), "-f text -t ansi rtf", &out, &err), 3);
    EXPECT_EQ(err, "rtf: already a PC document (RTF); skipped\n0 converted, 1 refused, 0 failed\n");
}

// A file system that cannot take a target stops the run once, naming the
// folder, with nothing half-written left: a full disk, and read-only
// media without an output folder. Needs a small file system of its own
// (root, and mount allowed).
TEST(Safety, ADoomedRunStopsOnce) {
    test::TempDir dir;
    const std::string full = dir.file("full"), ro = dir.file("ro"), src = dir.file("src");
    fs::create_directories(full);
    fs::create_directories(src);
    if (geteuid() != 0 || test::run_command("mount -t tmpfs -o size=64k tmpfs '" + full + "' 2>/dev/null") != 0) {
        GTEST_SKIP() << "cannot mount a small file system here; skipped";
    }
    struct Unmount {
        std::string path;
        ~Unmount() { test::run_command("umount '" + path + "' 2>/dev/null"); }
    } unmount_full{full};
    std::string big;
    while (big.size() < 40'000) big += "a line of text to convert\r";
    for (int i = 0; i < 20; ++i) test::write_file(src + "/F" + std::to_string(i), big);
    std::string out, err;
    EXPECT_EQ(run_in(src, "-f text -t rtf-ansi -j1 -o '" + full + "' '*'", &out, &err), 1);
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 2) << err;
    EXPECT_NE(err.find("Verbatra v. 5.1: cannot write in " + full + " (No space left on device)\n"), std::string::npos) << err;
    EXPECT_NE(err.find("; stopped\n"), std::string::npos);
    for (const std::string& name : test::TempDir::list_of(full)) EXPECT_EQ(name.find(".verbatra-"), std::string::npos) << name;

    // Read-only sources without -o: one stop at the first folder.
    fs::create_directories(ro);
    if (test::run_command("mount --bind '" + src + "' '" + ro + "' && mount -o remount,ro,bind '" + ro + "'") != 0) {
        GTEST_SKIP() << "cannot make a read-only mount here; skipped";
    }
    Unmount unmount_ro{ro};
    EXPECT_EQ(run_in(ro, "-f text -t dos '*'", &out, &err), 1);
    EXPECT_EQ(err, "Verbatra v. 5.1: cannot write beside the sources in the current folder (Read-only file system); use -o DIR\n"
                   "0 converted, 0 refused, 0 failed; stopped\n");
}

}  // namespace
}  // namespace verbatra
