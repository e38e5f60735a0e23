// The command as a user runs it: outcome lines, exit statuses, and what is
// left on disk afterwards.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "nisus_fixture.h"
#include "pipeline/registry.h"
#include "support.h"

namespace verbatra {
namespace {

using Names = std::vector<std::string>;

using test::run_in;
using test::verbatra;

// Starts the program in `dir` with `args`, waits until a large target is
// being written (a name of ours of some size), and sends `sig` to the
// program alone: the run must end soon after. Returns the exit status, -1
// when the signal ended it.
int stop_while_writing(const test::TempDir& dir, const std::vector<const char*>& args, int sig, std::string* err) {
    const pid_t child = fork();
    if (child < 0) return -1;
    if (child == 0) {
        if (chdir(dir.path().c_str()) != 0) _exit(2);
        const int fd = open("err", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0) _exit(2);
        dup2(fd, 2);
        const int out = open("out", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(out, 1);
        std::vector<char*> argv{const_cast<char*>(VERBATRA_BINARY)};
        for (const char* a : args) argv.push_back(const_cast<char*>(a));
        argv.push_back(nullptr);
        execv(VERBATRA_BINARY, argv.data());
        _exit(2);
    }
    // Once the large target is on its way (a name of ours of some size).
    bool writing = false;
    for (int i = 0; i < 40000 && !writing; ++i) {
        for (const std::string& name : dir.list()) {
            std::error_code ec;
            writing = writing || (name.rfind(".verbatra-", 0) == 0 && std::filesystem::file_size(dir.file(name), ec) > 1'000'000);
        }
        if (!writing) usleep(250);
    }
    kill(child, sig);
    // A stop takes well under a second; ten are allowed for a slow machine.
    int status = 0;
    for (int i = 0; i < 1000 && waitpid(child, &status, WNOHANG) == 0; ++i) usleep(10000);
    if (waitpid(child, &status, WNOHANG) == 0) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
        ADD_FAILURE() << "the run did not end after signal " << sig;
    }
    *err = test::read_file(dir.file("err"));
    EXPECT_TRUE(writing) << "no target was ever being written";
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Killed outright while it writes a target (kill -9): no file under the
// target's name, only a file of ours that is not a conversion.
TEST(CommandLine, KilledRunLeavesNoTargetThatLooksConverted) {
    test::TempDir dir;
    std::string big;
    while (big.size() < 40'000'000) big += "a line of text to convert, with \x8E and \x8F\r";
    test::write_file(dir.file("BIG.TXT"), big);
    std::string err;
    EXPECT_EQ(stop_while_writing(dir, {"--quiet", "--from", "text", "--to", "rtf-ansi", "BIG.TXT"}, SIGKILL, &err), -1);
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

// The stream dump shows what a conversion reads, and a document's bytes
// never depend on the run it is part of.
TEST(CommandLine, TheDumpReadsAsAConversionDoesAndDocumentsStandAlone) {
    test::TempDir dir;
    const std::string rsrc = test::resource_fork({test::nisus_version(), {"FNTX", 128, "\x1COne\r"}});
    test::write_file(dir.file("A"), "See\x1C it.\r");
    test::write_file(dir.file("._A"), test::apple_file(false, "", rsrc));
    test::write_file(dir.file("B"), test::nisus_macbinary("Read\x1C this.\r", rsrc));
    std::string out, err;
    // The sidecar is found for the dump too, and a wrapping is unwrapped.
    EXPECT_EQ(run_in(dir, "--from nisus --dump-stream A", &out, &err), 0) << err;
    EXPECT_EQ(out, "See{note 0 1}One<para>\n{end-section} it.<para>\n\n");
    test::write_file(dir.file("M"), test::macbinary("Mac\r", "TEXTttxt"));
    EXPECT_EQ(run_in(dir, "--from text --dump-stream M", &out, &err), 0) << err;
    EXPECT_EQ(out, "Mac<para>\n\n");
    EXPECT_EQ(run_in(dir, "--from auto --dump-stream B", &out, &err), 0) << err;
    EXPECT_EQ(out.rfind("Read{note 0 1}One", 0), 0u) << out;

    // Each document numbers its notes from 1, however many helpers share
    // the run and whatever came before it (four files, so that -j 2 does
    // start its two helpers).
    test::write_file(dir.file("C"), test::read_file(dir.file("B")));
    test::write_file(dir.file("D"), test::read_file(dir.file("B")));
    for (const char* jobs : {"1", "2"}) {
        const std::string o = std::string("out") + jobs;
        EXPECT_EQ(run_in(dir, std::string("--from nisus --to dos -q -j ") + jobs + " -o " + o + " A B C D", &out, &err),
                  0)
            << err;
        EXPECT_EQ(test::read_file(dir.file(o + "/A.asc")), "See\\NOTE01\\One\r\n\\FIN\\ it.\r\n") << jobs;
        for (const char* name : {"/B.asc", "/C.asc", "/D.asc"}) {
            EXPECT_EQ(test::read_file(dir.file(o + name)), "Read\\NOTE01\\One\r\n\\FIN\\ this.\r\n") << jobs << name;
        }
    }

    // An empty file is refused whatever the reader, and nothing is written.
    test::write_file(dir.file("EMPTY"), "");
    for (const char* from : {"text", "macwrite", "utf8"}) {
        EXPECT_EQ(run_in(dir, std::string("--from ") + from + " --to dos -o empty EMPTY", &out, &err), 3) << from;
        EXPECT_EQ(err, "EMPTY: empty file\n0 converted, 1 refused, 0 failed\n") << from;
        EXPECT_EQ(run_in(dir, std::string("--from ") + from + " --dump-stream EMPTY", &out, &err), 3) << from;
        EXPECT_EQ(err, "EMPTY: empty file\n") << from;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("empty/EMPTY.asc")));
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

// A usage error is one line naming the problem, and changes nothing.
TEST(CommandLine, UsageErrors) {
    test::TempDir dir;
    test::write_file(dir.file("A"), "a");
    struct Case {
        const char* args;
        const char* problem;
    };
    const Case cases[] = {
        {"--from text --to 'Word 6' A", "unknown format for --to: \"Word 6\"; valid names are dos (\"Ascii (DOS)\")"},
        {"--from nothing --to dos A", "unknown format for --from: \"nothing\""},
        {"--from text A", "--to TARGET is missing"},
        {"--from text --to dos", "no FILE given"},
        {"--bogus", "unknown option --bogus"},
        {"-rx --from text --to dos A", "unknown option -x"},
        {"--from macwrite --from text --to dos A", "--from given twice, as \"macwrite\" and as \"text\""},
        {"--from text -t dos --to=ansi A", "--to given twice, as \"dos\" and as \"ansi\""},
        {"--from text --to dos --recursive=yes A", "--recursive takes no value"},
        {"--from text --to dos -j", "-j needs a value"},
        {"--from text --to dos --jobs=0 A", "--jobs takes a number from 1 to 256, not \"0\""},
    };
    for (const Case& c : cases) {
        std::string out, err;
        EXPECT_EQ(run_in(dir, c.args, &out, &err), 2) << c.args;
        EXPECT_EQ(err.rfind(std::string("verbatra: ") + c.problem, 0), 0u) << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_NE(err.find("; see verbatra --help\n"), std::string::npos) << err;
        EXPECT_EQ(out, "");
    }
    EXPECT_EQ(dir.list(), (Names{"A"}));
}

// The conventions of other Unix tools: --version, --opt=value, -f and -t,
// bundled short flags, a value stuck to its flag.
TEST(CommandLine, OptionForms) {
    test::TempDir dir;
    test::run_command("mkdir " + dir.file("X"));
    test::write_file(dir.file("X/A.TXT"), "a");
    std::string out, err;
    EXPECT_EQ(run_in(dir, "--version", &out, &err), 0);
    EXPECT_EQ(out, "Verbatra 5.1\n");
    EXPECT_EQ(run_in(dir, "-rqj1 -f text --to=dos --from=text -oOUT X", &out, &err), 0) << err;
    EXPECT_EQ(out, "");
    EXPECT_EQ(test::read_file(dir.file("OUT/X/A.asc")), "a");
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

// The manual page and the shell completions know every option --help
// lists, so that none is added without them.
TEST(CommandLine, TheManualPageAndCompletionsKnowEveryOption) {
    test::TempDir dir;
    std::string help, err;
    ASSERT_EQ(run_in(dir, "--help", &help, &err), 0);
    const std::string source = VERBATRA_SOURCE_DIR;
    const std::string manual = test::read_file(source + "/docs/verbatra.1");
    const std::string bash = test::read_file(source + "/docs/completion/verbatra.bash");
    const std::string zsh = test::read_file(source + "/docs/completion/_verbatra");
    int options = 0;
    for (std::size_t at = help.find("\n  -"); at != std::string::npos; at = help.find("\n  -", at + 1)) {
        const std::size_t dashes = help.find("--", at);
        const std::size_t end = help.find_first_of(" ,\n", dashes);
        const std::string option = help.substr(dashes, end - dashes);
        ++options;
        std::string escaped;
        for (char c : option) escaped += c == '-' ? std::string("\\-") : std::string(1, c);
        EXPECT_NE(manual.find(escaped), std::string::npos) << option << " is not in docs/verbatra.1";
        auto has_word = [](const std::string& text, const std::string& word) {
            for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
                const char after = at + word.size() < text.size() ? text[at + word.size()] : ' ';
                if (after == ' ' || after == '\n' || after == '"' || after == '|' || after == ')') return true;
            }
            return false;
        };
        EXPECT_TRUE(has_word(bash, option)) << option << " is not in the bash completion";
        EXPECT_TRUE(zsh.find("'" + option + "[") != std::string::npos || zsh.find(option + "}'") != std::string::npos)
            << option << " is not in the zsh completion";
    }
    EXPECT_GE(options, 17);  // the parse above found the list
}

// Ctrl-C or a termination request, with or without helpers: the run ends
// at once with the shell's status for the signal, and nothing of the file
// in progress is left.
TEST(CommandLine, SignalsEndTheRunAndLeaveNothingOfTheFileInProgress) {
    std::string big;
    while (big.size() < 60'000'000) big += "a line of text to convert, with \x8E and \x8F\r";
    struct Case {
        int sig;
        const char* jobs;
        int status;
    };
    for (const Case& c : {Case{SIGINT, "1", 130}, Case{SIGTERM, "1", 143}, Case{SIGTERM, "2", 143}}) {
        test::TempDir dir;
        test::write_file(dir.file("DONE"), "first");
        test::write_file(dir.file("BIG"), big);
        std::string err;
        EXPECT_EQ(stop_while_writing(dir, {"--from", "text", "--to", "rtf-ansi", "-j", c.jobs, "DONE", "BIG"}, c.sig, &err),
                  c.status)
            << err;
        EXPECT_EQ(err, "Verbatra v. 5.1: interrupted\n1 converted, 0 refused, 0 failed; stopped\n") << c.jobs;
        EXPECT_EQ(dir.list(), (Names{"BIG", "DONE", "DONE.rtf", "err", "out"})) << c.jobs;
    }
}

// Only regular files are sources: a FIFO or a device, named or met in a
// walk, is skipped at once, never opened to block or read without end.
TEST(CommandLine, FifosAndDevicesAreSkipped) {
    test::TempDir dir;
    test::run_command("mkdir " + dir.file("D") + " && mkfifo " + dir.file("D/pipe"));
    test::write_file(dir.file("D/TEXT"), "t");
    const bool have_device = test::run_command("mknod " + dir.file("D/zero") + " c 1 5 2>/dev/null") == 0;
    std::string out, err;
    EXPECT_EQ(run_in(dir, "--from auto --to dos -r -o OUT --report run.jsonl D /dev/zero", &out, &err), 3);
    EXPECT_EQ(out, "D/TEXT -> OUT/D/TEXT.asc (Texte seul)\n");
    EXPECT_NE(err.find("D/pipe: not a regular file; skipped\n"), std::string::npos) << err;
    EXPECT_NE(err.find("/dev/zero: not a regular file; skipped\n"), std::string::npos) << err;
    if (have_device) {
        EXPECT_NE(err.find("D/zero: not a regular file; skipped\n"), std::string::npos) << err;
    }
    const std::string report = test::read_file(dir.file("run.jsonl"));
    EXPECT_NE(report.find("{\"source\":\"D/pipe\",\"format\":null,\"outcome\":\"skipped\",\"target\":null,"
                          "\"reason\":\"not a regular file; skipped\""),
              std::string::npos)
        << report;
    // --from with a format too, and the stream dump.
    EXPECT_EQ(run_in(dir, "--from text --to dos D/pipe", &out, &err), 3);
    EXPECT_EQ(err, "D/pipe: not a regular file; skipped\n0 converted, 0 refused, 0 failed, 1 problem\n");
    EXPECT_EQ(run_in(dir, "--from text --dump-stream D/pipe", &out, &err), 3);
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
    // A pattern that matches nothing is a problem.
    EXPECT_EQ(run_in(dir, "--from text --to ansi --quiet '*.TXT' X/NOTES 'nothing*'", &out, &err), 3);
    EXPECT_EQ(out, "");
    EXPECT_EQ(err, "nothing*: no file matches\n2 converted, 0 refused, 0 failed, 1 problem\n");
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
