#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "pipeline/batch.h"
#include "platform/platform.h"
#include "support.h"

namespace verbatra {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

class Recorder : public BatchObserver {
public:
    void starting(const std::string& path) override { started.push_back(path); }
    void finished(const std::string& path, const ConversionResult& r) override {
        // What a walk passes over is told in its turn, never started.
        if (r.outcome == Outcome::Skipped) {
            skipped.push_back(path + ": " + r.reason);
            return;
        }
        // Files finish in the order they started.
        EXPECT_LT(done.size(), started.size());
        if (done.size() < started.size()) {
            EXPECT_EQ(started[done.size()], path);
        }
        done.push_back(path);
        if (r.outcome != Outcome::Converted) not_converted.push_back(path);
    }
    void problem(const std::string& message) override { problems.push_back(message); }
    void notice(const std::string& message) override { notices.push_back(message); }
    Names started, done, not_converted, problems, notices, skipped;
};

// Runs a batch with the current directory in `dir`, and checks that the
// batch gives the current directory back as it found it.
Recorder select(const test::TempDir& dir, const std::string& pattern, int mode) {
    struct Back {
        std::string to = platform::current_directory();
        ~Back() { platform::change_directory(to); }
    } back;
    EXPECT_TRUE(platform::change_directory(dir.path()));
    Recorder r;
    convert_selection(pattern, mode, format_named("text", source_formats), format_named("dos", target_formats), r);
    EXPECT_EQ(platform::current_directory(), fs::canonical(dir.path()).string());
    return r;
}

Names sorted(Names names) {
    std::sort(names.begin(), names.end());
    return names;
}

// TMPDIR pointed elsewhere for one test.
class TempDirEnv {
public:
    explicit TempDirEnv(const std::string& value) {
        const char* old = std::getenv("TMPDIR");
        had_ = old != nullptr;
        if (had_) old_ = old;
        setenv("TMPDIR", value.c_str(), 1);
    }
    ~TempDirEnv() {
        if (had_) setenv("TMPDIR", old_.c_str(), 1);
        else unsetenv("TMPDIR");
    }

private:
    bool had_ = false;
    std::string old_;
};

TEST(Batch, PatternConvertsEachSourceOnceAndLeavesNoListFile) {
    test::TempDir dir, temp;
    test::write_file(dir.file("A.TXT"), "a");
    test::write_file(dir.file("B.TXT"), "b");
    fs::create_directory(dir.file("SUB.TXT"));  // a directory: never converted
    TempDirEnv env(temp.path());
    Recorder r = select(dir, "*.*", kPattern);
    // The targets and work files that appear meanwhile are not picked up.
    EXPECT_EQ(sorted(r.done), (Names{"A.TXT", "B.TXT"}));
    EXPECT_TRUE(r.problems.empty());
    EXPECT_EQ(dir.list(), (Names{"A.TXT", "A.asc", "B.TXT", "B.asc", "SUB.TXT"}));
    EXPECT_TRUE(temp.list().empty());

    Recorder only_dirs = select(dir, "SUB.*", kPattern);
    EXPECT_TRUE(only_dirs.done.empty());
    Recorder one = select(dir, "B.TXT", kOneFile);
    EXPECT_EQ(one.done, (Names{"B.TXT"}));
    EXPECT_TRUE(one.not_converted.empty());
    EXPECT_TRUE(temp.list().empty());
}

// Targets being written are never taken as sources; one left by a run of
// this machine that has ended is removed, with a notice; the others (a
// run still going, another machine's) are left alone.
TEST(Batch, PartialTargetsOfEndedRuns) {
    test::TempDir dir;
    test::write_file(dir.file("A.TXT"), "a");
    const std::string mine = partial_name_for(dir.file("A.TXT"));
    const std::string name = mine.substr(mine.rfind('/') + 1);
    const PartialName p = parse_partial_name(name);
    ASSERT_TRUE(p.ours);
    EXPECT_EQ(p.pid, platform::process_id());
    const std::string dead = ".verbatra-" + p.host + "-2147483646-1.part";
    const std::string elsewhere = ".verbatra-another_machine-1-1.part";
    for (const std::string& f : {name, dead, elsewhere}) test::write_file(dir.file(f), "half");
    Recorder r = select(dir, "*.*", kPattern);
    EXPECT_EQ(r.done, (Names{"A.TXT"}));
    ASSERT_EQ(r.notices.size(), 1u);
    EXPECT_EQ(r.notices[0], dead + ": left by a run that ended before it was done; removed");
    EXPECT_EQ(dir.list(), sorted(Names{name, elsewhere, "A.TXT", "A.asc"}));
}

TEST(Batch, RecursionVisitsFilesBeforeSubdirectoriesAndKeepsTheDirectory) {
    test::TempDir dir;
    test::write_file(dir.file("F0"), "0");
    fs::create_directories(dir.file("X/Y"));
    test::write_file(dir.file("X/F1"), "1");
    test::write_file(dir.file("X/Y/F2"), "2");
    Recorder r = select(dir, "F*", kRecursive);
    EXPECT_EQ(r.done, (Names{"F0", "X/F1", "X/Y/F2"}));
    EXPECT_TRUE(r.not_converted.empty());
    EXPECT_TRUE(fs::exists(dir.file("X/Y/F2.asc")));

    // Without recursion only the starting directory; a pattern with a
    // directory part is matched there and keeps the part in its names.
    EXPECT_EQ(select(dir, "F?", kPattern).done, (Names{"F0"}));
    EXPECT_EQ(select(dir, "X/F1", kPattern).done, (Names{"X/F1"}));
}

TEST(Batch, LinksToDirectoriesAreNotFollowed) {
    test::TempDir dir;
    fs::create_directories(dir.file("X"));
    test::write_file(dir.file("X/DOC"), "d");
    fs::create_directory_symlink("..", dir.file("X/up"));  // a loop
    fs::create_directory_symlink("X", dir.file("again"));  // the same directory twice
    fs::create_symlink("X/DOC", dir.file("LINKED"));       // a link to a file is a file
    fs::create_symlink("nowhere", dir.file("DANGLING"));
    Recorder r = select(dir, "*", kRecursive);
    EXPECT_EQ(sorted(r.done), (Names{"LINKED", "X/DOC"}));
    EXPECT_EQ(r.skipped, (Names{"DANGLING: a link that leads nowhere (No such file or directory); skipped"}));
}

TEST(Batch, UnusableTemporaryDirectoryConvertsNothing) {
    test::TempDir dir;
    test::write_file(dir.file("A"), "a");
    const std::string missing = dir.file("no-such-temp");
    TempDirEnv env(missing);
    Recorder r = select(dir, "*", kPattern);
    EXPECT_TRUE(r.done.empty());
    ASSERT_EQ(r.problems.size(), 1u);
    EXPECT_NE(r.problems[0].find("temporary directory " + missing), std::string::npos) << r.problems[0];
    EXPECT_EQ(dir.list(), (Names{"A"}));
}

TEST(Batch, LongNamesAndNamesWithLineBreaks) {
    test::TempDir dir;
    const std::string longest(251, 'n');  // and .asc makes 255
    test::write_file(dir.file(longest), "long");
    test::write_file(dir.file("two\nlines"), "x");
    Recorder r = select(dir, "*", kPattern);
    EXPECT_EQ(r.done, (Names{longest}));
    EXPECT_EQ(test::read_file(dir.file(longest + ".asc")), "long");
    EXPECT_EQ(r.skipped, (Names{"two\nlines: a name with a line break; skipped"}));
}

TEST(Batch, ListNamesSkipEmptyLines) {
    test::Source list("A.TXT\r\n\r\n\r\n" + std::string(300, 'x') + "\r\nlast");
    std::string name;
    Names names;
    while (read_list_name(list.in(), name)) names.push_back(name);
    EXPECT_EQ(names, (Names{"A.TXT", std::string(300, 'x'), "last"}));
}

TEST(Batch, BusyIndicatorCyclesThroughTwelveCursors) {
    std::vector<int> shown;
    for (int i = 0; i < 13; ++i) shown.push_back(advance_busy_indicator());
    for (int i = 0; i < 12; ++i) {
        EXPECT_GE(shown[i], 12743);
        EXPECT_LE(shown[i], 12754);
        EXPECT_EQ(shown[i + 1], shown[i] == 12754 ? 12743 : shown[i] + 1);
    }
    EXPECT_EQ(shown[12], shown[0]);
}

}  // namespace
}  // namespace verbatra
