// The command as a user runs it: outcome lines, exit statuses, and what is
// left on disk afterwards.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "pipeline/registry.h"
#include "support.h"

namespace verbatra {
namespace {

using Names = std::vector<std::string>;

std::string verbatra(const std::string& args) { return std::string(VERBATRA_BINARY) + " " + args; }

int run_in(const test::TempDir& dir, const std::string& args, std::string* out, std::string* err) {
    return test::run_command("cd " + dir.path() + " && " + verbatra(args), out, err);
}

// Killed outright while it writes a target (kill -9): no file under the
// target's name, only a file of ours that is not a conversion.
TEST(CommandLine, KilledRunLeavesNoTargetThatLooksConverted) {
    test::TempDir dir;
    std::string big;
    while (big.size() < 40'000'000) big += "a line of text to convert, with \x8E and \x8F\r";
    test::write_file(dir.file("BIG.TXT"), big);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (chdir(dir.path().c_str()) != 0) _exit(2);
        execl(VERBATRA_BINARY, VERBATRA_BINARY, "--quiet", "--from", "text", "--to", "rtf-ansi", "BIG.TXT",
              static_cast<char*>(nullptr));
        _exit(2);
    }
    // Wait for the target being written to appear, then kill.
    bool writing = false;
    for (int i = 0; i < 20000 && !writing; ++i) {
        for (const std::string& name : dir.list()) writing = writing || name.rfind(".verbatra-", 0) == 0;
        if (!writing) usleep(500);
    }
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(writing) << "the target was never being written";
    for (const std::string& name : dir.list()) EXPECT_NE(name, "BIG.rtf") << "a half-written target under its name";
}

TEST(CommandLine, ConvertsEachFileAndSaysSo) {
    test::TempDir dir;
    test::write_file(dir.file("LETTER"), "Cher ami,\r\x8Et\x8E\r");
    test::write_file(dir.file("NOTE.TXT"), "e\b'\r");
    std::string out, err;
    EXPECT_EQ(run_in(dir, "--from 'Texte seul' --to 'Ascii (DOS)' LETTER NOTE.TXT", &out, &err), 0) << err;
    EXPECT_EQ(out, "LETTER -> LETTER.asc\nNOTE.TXT -> NOTE.asc\n");
    EXPECT_EQ(test::read_file(dir.file("LETTER.asc")), "Cher ami,\r\n\x82t\x82\r\n");
    EXPECT_EQ(test::read_file(dir.file("NOTE.asc")), "\x82\r\n");

    // Short names and any case; an existing target is never overwritten.
    EXPECT_EQ(run_in(dir, "--from TEXT --to ansi LETTER", &out, &err), 0) << err;
    EXPECT_EQ(out.substr(0, 17), "LETTER -> LETTER.");
    EXPECT_EQ(test::read_file(dir.file("LETTER.asc")), "Cher ami,\r\n\x82t\x82\r\n");
    EXPECT_EQ(dir.list().size(), 5u);
}

TEST(CommandLine, PathsKeepTheirDirectory) {
    test::TempDir dir;
    test::run_command("mkdir " + dir.file("docs.v2"));
    test::write_file(dir.file("docs.v2/letter"), "x");
    std::string out, err;
    EXPECT_EQ(run_in(dir, "--from text --to dos docs.v2/letter", &out, &err), 0) << err;
    EXPECT_EQ(out, "docs.v2/letter -> letter.asc\n");
    EXPECT_EQ(test::read_file(dir.file("docs.v2/letter.asc")), "x");
}

TEST(CommandLine, RefusedFilesAreReportedAndTheBatchGoesOn) {
    test::TempDir dir;
    test::write_file(dir.file("A"), "a");
    test::write_file(dir.file("B"), "b");
    std::string out, err;
    // A reader that is not built yet (while there is one).
    const FormatEntry* unbuilt = std::find_if(source_formats, source_formats + kSourceCount,
                                              [](const FormatEntry& e) { return e.reader == nullptr; });
    if (unbuilt != source_formats + kSourceCount) {
        EXPECT_EQ(run_in(dir, std::string("--from ") + unbuilt->short_name + " --to dos A B", &out, &err), 3);
        EXPECT_EQ(out, "");
        const std::string line = std::string(": the ") + unbuilt->display_name + " reader is not available yet\n";
        EXPECT_EQ(err, "A" + line + "B" + line + "0 converted, 2 refused, 0 failed\n");
    }
    // A file the reader refuses, and an empty one.
    test::write_file(dir.file("EMPTY"), "");
    EXPECT_EQ(run_in(dir, "--from 'MacWrite 4.6' --to dos A EMPTY", &out, &err), 3);
    EXPECT_EQ(err, "A: not a MacWrite 4.6 document\nEMPTY: empty file\n0 converted, 2 refused, 0 failed\n");
    // A writer that is not built yet (while there is one).
    const FormatEntry* no_writer = std::find_if(target_formats, target_formats + kTargetCount,
                                                [](const FormatEntry& e) { return e.writer == nullptr; });
    if (no_writer != target_formats + kTargetCount) {
        EXPECT_EQ(run_in(dir, std::string("--from text --to ") + no_writer->short_name + " A", &out, &err), 3);
        EXPECT_EQ(err, std::string("A: the ") + no_writer->display_name +
                           " writer is not available yet\n0 converted, 1 refused, 0 failed\n");
    }
    EXPECT_EQ(dir.list(), (Names{"A", "B", "EMPTY"}));
}

// A file that cannot be converted is that file's line; the run goes on.
// Only what would end every later conversion too stops the run.
TEST(CommandLine, MissingFilesAndFoldersDoNotStopTheRun) {
    test::TempDir dir;
    test::write_file(dir.file("FIRST"), "one");
    test::write_file(dir.file("LAST"), "two");
    test::run_command("mkdir " + dir.file("D"));
    std::string out, err;
    EXPECT_EQ(run_in(dir, "--from text --to dos FIRST MISSING D LAST", &out, &err), 3);
    EXPECT_EQ(out, "FIRST -> FIRST.asc\nLAST -> LAST.asc\n");
    EXPECT_EQ(err, "MISSING: cannot be read (No such file or directory)\n"
                   "D: is a folder; skipped (use --recursive to convert what it holds)\n"
                   "2 converted, 0 refused, 1 failed, 1 problem\n");
    EXPECT_EQ(dir.list(), (Names{"D", "FIRST", "FIRST.asc", "LAST", "LAST.asc"}));

    // An output folder that cannot be made is a fatal stop, before anything.
    test::write_file(dir.file("FILE"), "a file where the folder would go");
    EXPECT_EQ(run_in(dir, "--from text --to dos -o FILE/out LAST", &out, &err), 1);
    EXPECT_EQ(out, "");
    EXPECT_EQ(err, "Verbatra v. 5.1: cannot make the output folder FILE/out (Not a directory)\n"
                   "0 converted, 0 refused, 0 failed; stopped\n");
}

TEST(CommandLine, UsageErrors) {
    test::TempDir dir;
    std::string out, err;
    EXPECT_EQ(run_in(dir, "--from text --to 'Word 6' A", &out, &err), 2);
    EXPECT_NE(err.find("unknown format for --to: \"Word 6\""), std::string::npos);
    EXPECT_NE(err.find("\"RTF Ansi (Windows)\""), std::string::npos);  // the valid names follow
    EXPECT_EQ(run_in(dir, "--from nothing --to dos A", &out, &err), 2);
    EXPECT_NE(err.find("\"Nisus Writer\""), std::string::npos);
    EXPECT_EQ(run_in(dir, "--from text A", &out, &err), 2);
    EXPECT_EQ(run_in(dir, "--from text --to dos", &out, &err), 2);
    EXPECT_EQ(run_in(dir, "--bogus", &out, &err), 2);
    EXPECT_TRUE(dir.list().empty());
}

TEST(CommandLine, HelpListAndDump) {
    test::TempDir dir;
    std::string out, err;
    EXPECT_EQ(run_in(dir, "--help", &out, &err), 0);
    EXPECT_NE(out.find("usage: verbatra --from SOURCE|auto --to TARGET [OPTIONS] FILE|FOLDER|PATTERN..."),
              std::string::npos);
    EXPECT_EQ(run_in(dir, "--list-formats", &out, &err), 0);
    for (const char* name : {"\"Texte seul\"", "\"Nisus Writer\"", "\"Ascii (DOS)\"", "\"RTF Ansi (Windows)\""}) {
        EXPECT_NE(out.find(name), std::string::npos) << name;
    }
    test::write_file(dir.file("T"), "Caf\x8E\\\r");
    EXPECT_EQ(run_in(dir, "--from text --dump-stream T", &out, &err), 0) << err;
    EXPECT_EQ(out, "Caf{char 1 0x29}{backslash}<para>\n\n");
    EXPECT_EQ(dir.list(), (Names{"T"}));
}

TEST(CommandLine, InterruptLeavesNothingOfTheFileInProgress) {
    test::TempDir dir;
    test::write_file(dir.file("DONE"), "first");
    // The source is a pipe the test feeds, so the interrupt surely comes
    // while the file is being converted.
    const std::string script = "cd " + dir.path() + "\nmkfifo PIPE\n(exec " +
                               verbatra("--from text --to rtf-ansi DONE PIPE") + " >out 2>err) &\npid=$!\n" +
                               "exec 3>PIPE\nprintf 'some text' >&3\nsleep 0.5\nkill -INT $pid\nsleep 0.2\n" +
                               "printf 'more text' >&3\nexec 3>&-\nwait $pid\necho $? >rc\n";
    test::TempDir scripts;
    test::write_file(scripts.file("interrupt.sh"), script + "\n");
    test::run_command("bash " + scripts.file("interrupt.sh"));
    EXPECT_EQ(test::read_file(dir.file("rc")), "130\n") << test::read_file(dir.file("err"));
    EXPECT_EQ(test::read_file(dir.file("out")), "DONE -> DONE.rtf\n");
    EXPECT_EQ(test::read_file(dir.file("err")), "Verbatra v. 5.1: interrupted\n1 converted, 0 refused, 0 failed; stopped\n");
    EXPECT_EQ(dir.list(), (Names{"DONE", "DONE.rtf", "PIPE", "err", "out", "rc"}));
}

TEST(CommandLine, PatternsRecursionAndSummary) {
    test::TempDir dir;
    test::run_command("mkdir -p " + dir.file("X/Y"));
    test::write_file(dir.file("A.TXT"), "a");
    test::write_file(dir.file("X/B.TXT"), "b");
    test::write_file(dir.file("X/Y/C.txt"), "c");
    test::write_file(dir.file("X/NOTES"), "n");
    std::string out, err;
    EXPECT_EQ(run_in(dir, "--from text --to dos --recursive '*.TXT'", &out, &err), 0) << err;
    EXPECT_EQ(out, "A.TXT -> A.asc\nX/B.TXT -> B.asc\nX/Y/C.txt -> C.asc\n");
    EXPECT_EQ(err, "3 converted, 0 refused, 0 failed\n");  // no progress line on a pipe

    // Without --recursive only the starting directory; a plain name and a
    // pattern mix; --quiet keeps the problems and the summary.
    EXPECT_EQ(run_in(dir, "--from text --to ansi --quiet '*.TXT' X/NOTES 'nothing*'", &out, &err), 0);
    EXPECT_EQ(out, "");
    EXPECT_EQ(err, "nothing*: no file matches\n2 converted, 0 refused, 0 failed\n");
    EXPECT_TRUE(test::read_file(dir.file("X/NOTES.asc")) == "n");
}

TEST(CommandLine, DirectoryThatCannotBeEnteredIsSkipped) {
    test::TempDir dir;
    test::run_command("mkdir " + dir.file("LOCKED") + " " + dir.file("OPEN"));
    test::write_file(dir.file("A"), "a");
    test::write_file(dir.file("LOCKED/B"), "b");
    test::write_file(dir.file("OPEN/C"), "c");
    test::run_command("chmod 777 " + dir.path() + " " + dir.file("OPEN") + " && chmod 000 " + dir.file("LOCKED"));
    // Root enters any directory; the command runs as nobody then.
    const std::string as_user = geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
    std::string out, err;
    if (!as_user.empty() && test::run_command("cd " + dir.path() + " && " + as_user + verbatra("--help")) != 0) {
        test::run_command("chmod 755 " + dir.file("LOCKED"));
        GTEST_SKIP() << "nobody cannot run " << VERBATRA_BINARY << " from here; skipped";
    }
    int status = test::run_command("cd " + dir.path() + " && " + as_user + verbatra("--from text --to dos -r '*'"),
                                   &out, &err);
    test::run_command("chmod 755 " + dir.file("LOCKED"));
    EXPECT_EQ(status, 3) << err;
    EXPECT_NE(out.find("A -> A.asc\n"), std::string::npos) << out;
    EXPECT_NE(out.find("OPEN/C -> C.asc\n"), std::string::npos) << out;
    EXPECT_NE(err.find("LOCKED: cannot be entered (Permission denied); skipped\n"), std::string::npos) << err;
    EXPECT_NE(err.find("2 converted, 0 refused, 0 failed, 1 problem\n"), std::string::npos) << err;
    EXPECT_EQ(test::read_file(dir.file("LOCKED/B")), "b");
}

}  // namespace
}  // namespace verbatra
