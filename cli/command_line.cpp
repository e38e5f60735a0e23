#include "cli/command_line.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cli/report.h"
#include "pipeline/batch.h"
#include "pipeline/driver.h"
#include "pipeline/fatal.h"
#include "pipeline/registry.h"
#include "pipeline/scratch.h"
#include "platform/platform.h"
#include "stream/dump.h"

namespace verbatra {

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFatal = 1;
constexpr int kExitUsage = 2;
constexpr int kExitRefused = 3;
constexpr int kExitInterrupted = 130;

const char kUsage[] =
    "usage: verbatra --from SOURCE|auto --to TARGET [OPTIONS] FILE|FOLDER|PATTERN...\n"
    "       verbatra --from SOURCE|auto --to TARGET [OPTIONS] --files-from LIST\n"
    "       verbatra --from SOURCE --dump-stream FILE\n"
    "       verbatra --list-formats | --help\n"
    "\n"
    "Converts old Macintosh word-processor documents into files that DOS and\n"
    "Windows programs read. Each FILE is read as a SOURCE document and the\n"
    "result is written beside it (or into --output-dir), named like it with\n"
    "the target's extension (LETTER becomes LETTER.asc). An existing file is\n"
    "never overwritten: a counter extension (.001, .002, ...) is used\n"
    "instead. The source itself is only read. MacBinary, AppleSingle and\n"
    "BinHex 4.0 files convert as the document they wrap; AppleDouble\n"
    "sidecars (._NAME) and __MACOSX folders are passed over.\n"
    "\n"
    "An argument with * or ? is a pattern (\"*.*\" matches every name, letters\n"
    "match without regard to case): the files of the current directory (or of\n"
    "the pattern's own directory) that match it; with --recursive, those of\n"
    "every subdirectory too, files before subdirectories. Quote patterns so\n"
    "the shell leaves them alone. Links to directories are not followed.\n"
    "\n"
    "SOURCE and TARGET are format names as --list-formats shows them, full\n"
    "(\"Texte seul\", \"Ascii (DOS)\", any case) or short (text, dos). With\n"
    "--from auto each file's format is recognised from its content.\n"
    "\n"
    "Every file gets one line: \"NAME -> TARGET\" when converted, or the reason\n"
    "it was not; a file that cannot be converted never stops the run. A\n"
    "summary line ends the run. Exit status: 0 all converted, 3 some not\n"
    "converted (or a folder skipped), 1 a fatal stop (the output folder\n"
    "cannot be written, no memory), 2 a usage error, 130 interrupted.\n"
    "\n"
    "  --from SOURCE|auto   the format of the documents, or recognise each\n"
    "  --to TARGET          the format to write\n"
    "  -r, --recursive      patterns search every subdirectory; a FOLDER\n"
    "                       converts its whole tree\n"
    "  -o, --output-dir DIR targets go into DIR, at each source's path\n"
    "                       relative to the current directory; nothing is\n"
    "                       written beside the sources\n"
    "  -j, --jobs N         convert N files at once (default: the number of\n"
    "                       processors); lines, names and bytes are those of\n"
    "                       one at a time\n"
    "  --report FILE        add one JSON line a file to FILE as the run goes\n"
    "  --files-from LIST    convert the files LIST names, one a line (- for\n"
    "                       standard input)\n"
    "  --resume REPORT      pass over the files REPORT (an earlier run's\n"
    "                       --report) records as converted whose target is\n"
    "                       still there; add the new lines to REPORT\n"
    "  -q, --quiet          print only problems and the summary\n"
    "  --dump-stream FILE   print the intermediate stream a SOURCE reader makes\n"
    "                       of FILE, codes by name (a debugging aid)\n"
    "  --list-formats       list the source and target formats\n"
    "  --help               this text\n";

void list_formats(std::FILE* out) {
    std::fputs("Source formats (--from):\n", out);
    for (int i = 0; source_formats[i].display_name; ++i) {
        const FormatEntry& e = source_formats[i];
        std::fprintf(out, "  %-14s \"%s\"%s\n", e.short_name, e.display_name,
                     is_available(e) ? "" : "  (not available yet)");
    }
    std::fputs("Target formats (--to):\n", out);
    for (int i = 0; target_formats[i].display_name; ++i) {
        const FormatEntry& e = target_formats[i];
        std::fprintf(out, "  %-14s \"%s\"  .%s%s\n", e.short_name, e.display_name, e.extension,
                     is_available(e) ? "" : "  (not available yet)");
    }
}

// Looks a format name up; on failure says what the valid names are.
int find_or_complain(const char* option, const std::string& text, const FormatEntry* table) {
    int index = lookup_format(text, table);
    if (index >= 0) return index;
    std::fprintf(stderr, "verbatra: unknown format for %s: \"%s\"; valid names are:\n", option, text.c_str());
    for (int i = 0; table[i].display_name; ++i) {
        std::fprintf(stderr, "  %-14s \"%s\"\n", table[i].short_name, table[i].display_name);
    }
    return -1;
}

std::string bare_name(const std::string& path) { return path.substr(platform::file_name_start(path)); }

// How the summary counts an outcome, and how the report names it.
enum class Tally { Converted, Refused, Failed, Skipped, Already };

Tally tally_of(Outcome outcome) {
    switch (outcome) {
        case Outcome::Converted: return Tally::Converted;
        case Outcome::AlreadyConverted: return Tally::Already;
        case Outcome::WriteFailed:
        case Outcome::Unreadable: return Tally::Failed;
        case Outcome::IsFolder: return Tally::Skipped;
        default: return Tally::Refused;
    }
}

constexpr const char* kReportOutcome[] = {"converted", "refused", "failed", "skipped", "already converted"};

// Prints each file's outcome and the summary, and, on a terminal, a
// progress line in place of the busy cursor; adds each file to the report.
class Reporter : public BatchObserver {
public:
    Reporter(const FormatEntry* source, const FormatEntry& target, bool quiet, bool full_target_paths,
             ReportFile* report, const EarlierRun* earlier)
        : source_(source),
          target_(target),
          quiet_(quiet),
          full_paths_(full_target_paths),
          progress_(!quiet && platform::stderr_is_terminal()),
          report_(report),
          earlier_(earlier) {}

    // A file an earlier run converted, whose target is still there.
    bool already_converted(const std::string& path, std::string& target) override {
        if (!earlier_) return false;
        const auto found = earlier_->sources.find(path);
        if (found == earlier_->sources.end() || found->second.target.empty()) return false;
        const std::string& outcome = found->second.outcome;
        if (outcome != kReportOutcome[0] && outcome != kReportOutcome[4]) return false;
        if (!platform::exists_exactly(found->second.target)) return false;
        target = found->second.target;
        return true;
    }

    // What the earlier run wrote is no source for the run that resumes it,
    // and the report no source for any run.
    bool passed_over(const std::string& path) override {
        if (earlier_ && earlier_->targets.count(path) != 0 && earlier_->sources.count(path) == 0) return true;
        return !report_name_.empty() && bare_name(path) == bare_name(report_name_) &&
               platform::same_file(path, report_name_);
    }
    void report_name(const std::string& name) { report_name_ = name; }

    // The report says where each target goes, and is on the disk, before
    // the target takes its name: a run killed in between has a line for a
    // target that is not there, and converts the file again when resumed,
    // never twice.
    void recording(const std::string& path, const ConversionResult& r) override {
        const Tally tally = tally_of(r.outcome);
        record(path, r, tally, tally == Tally::Converted || tally == Tally::Already
                                   ? std::string()
                                   : reason_not_converted(r, source_, target_));
    }
    void records_done() override {
        if (report_ && !report_->sync()) stop_with_message("cannot put the report file on the disk");
    }

    void starting(const std::string& path) override {
        if (!progress_) return;
        std::fprintf(stderr, "\r\033[K[%d done] %s", done_, path.c_str());
        std::fflush(stderr);
        progress_shown_ = true;
    }

    void finished(const std::string& path, const ConversionResult& r) override {
        clear_progress();
        ++done_;
        const Tally tally = tally_of(r.outcome);
        const std::string why = tally == Tally::Already ? std::string() : reason_not_converted(r, source_, target_);
        switch (tally) {
            case Tally::Already:
                ++already_;
                if (!quiet_) {
                    std::printf("%s -> %s (already converted)\n", path.c_str(),
                                (full_paths_ ? r.target_name : bare_name(r.target_name)).c_str());
                    std::fflush(stdout);
                }
                return;
            case Tally::Converted: {
                ++converted_;
                if (quiet_) return;
                // What the line adds in brackets: the format recognised, what
                // the reader let the user know.
                std::string extra = !source_ && r.format >= 0 ? source_formats[r.format].display_name : "";
                if (!r.note.empty()) extra += (extra.empty() ? "" : "; ") + r.note;
                const std::string target = full_paths_ ? r.target_name : bare_name(r.target_name);
                std::printf("%s -> %s%s%s%s\n", path.c_str(), target.c_str(), extra.empty() ? "" : " (",
                            extra.c_str(), extra.empty() ? "" : ")");
                std::fflush(stdout);
                return;
            }
            case Tally::Failed: ++failed_; break;
            case Tally::Refused: ++refused_; break;
            case Tally::Skipped: ++problems_; break;
        }
        say(path + ": " + why);
    }

    void problem(const std::string& message) override {
        clear_progress();
        ++problems_;
        say(message);
    }

    void notice(const std::string& message) override {
        clear_progress();
        say(message);
    }

    int files_seen() const { return done_; }

    void summary(bool stopped) {
        clear_progress();
        std::fflush(stdout);
        std::string line = std::to_string(converted_) + " converted, ";
        if (already_ > 0) line += std::to_string(already_) + " already converted, ";
        line += std::to_string(refused_) + " refused, " + std::to_string(failed_) + " failed";
        if (problems_ > 0) line += ", " + std::to_string(problems_) + (problems_ == 1 ? " problem" : " problems");
        if (stopped) line += "; stopped";
        std::fprintf(stderr, "%s\n", line.c_str());
    }

    bool all_converted() const { return refused_ == 0 && failed_ == 0 && problems_ == 0; }

private:
    void record(const std::string& path, const ConversionResult& r, Tally tally, const std::string& why) {
        if (!report_) return;
        ReportLine line;
        line.source = path;
        if (r.format >= 0 && r.format < kSourceCount) line.format = source_formats[r.format].display_name;
        line.outcome = kReportOutcome[static_cast<int>(tally)];
        line.target = r.target_name;
        line.reason = why;
        line.source_size = r.source_size;
        line.target_size = r.target_size;
        // A record that cannot be kept ends the run: the user asked for one.
        if (!report_->add(line)) stop_with_message("cannot write the report file (disk full?)");
    }
    void say(const std::string& text) {
        std::fflush(stdout);
        std::fprintf(stderr, "%s\n", text.c_str());
    }
    void clear_progress() {
        if (!progress_shown_) return;
        std::fputs("\r\033[K", stderr);
        progress_shown_ = false;
    }

    const FormatEntry* source_;
    const FormatEntry& target_;
    bool quiet_;
    bool full_paths_;
    bool progress_;
    ReportFile* report_;
    const EarlierRun* earlier_;
    std::string report_name_;
    bool progress_shown_ = false;
    int done_ = 0, converted_ = 0, refused_ = 0, failed_ = 0, problems_ = 0, already_ = 0;
};

int dump(const std::string& name, const FormatEntry& source) {
    if (!source.reader) {
        std::fprintf(stderr, "%s: the %s reader is not available yet\n", name.c_str(), source.display_name);
        return kExitRefused;
    }
    ByteFile src = open_or_stop(name, "rb");
    ByteFile work = open_scratch("DUMP.###", "w+b");
    src.set_full_buffering();
    work.set_full_buffering();
    int result = source.reader(src, work);
    if (result != kConverted) {
        std::fprintf(stderr, "%s: %s\n", name.c_str(),
                     result == kEmptyInput ? "empty file"
                                           : (std::string("not a ") + source.display_name + " document").c_str());
        return kExitRefused;
    }
    work.rewind();
    dump_stream(work, stdout);
    return kExitOk;
}

void show_stop(const FatalStop& stop) {
    std::fflush(stdout);
    const char* text = stop.what();
    std::fprintf(stderr, "%s: %s\n", kCaption, *text ? text : "not enough memory");
}

struct ScratchCleanup {
    ~ScratchCleanup() { remove_scratch_directory(); }
};

// The lines of a --files-from list: one path a line, any bytes but NUL and
// the line feed; empty lines are passed over.
bool read_name_list(const std::string& list, std::vector<std::string>& names) {
    std::string bytes;
    if (list == "-") {
        char block[65536];
        for (std::size_t n; (n = std::fread(block, 1, sizeof block, stdin)) > 0;) bytes.append(block, n);
        if (std::ferror(stdin)) return false;
    } else {
        ByteFile f = ByteFile::open(list, "rb");
        if (!f.is_open()) return false;
        char block[65536];
        for (std::size_t n; (n = f.read(block, sizeof block)) > 0;) bytes.append(block, n);
        if (f.failed()) return false;
    }
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find('\n', start);
        if (end == std::string::npos) end = bytes.size();
        if (end > start) names.push_back(bytes.substr(start, end - start));
        start = end + 1;
    }
    return true;
}

// The output folder is made, and written to once, before anything is
// converted: a folder that cannot take targets ends the run at once.
void prepare_output_folder(const std::string& dir) {
    if (!platform::make_directories(dir)) {
        stop_with_message("cannot make the output folder " + dir + " (" + std::strerror(errno) + ")");
    }
    const std::string probe = partial_name_for(dir + "/probe");
    ByteFile f = ByteFile::open(probe, "w+bx");
    if (!f.is_open()) stop_with_message("cannot write in the output folder " + dir + " (" + std::strerror(errno) + ")");
    f.close();
    platform::remove_file(probe);
}

int run(int argc, char** argv) {
    std::string from, to, dump_file, output_dir, jobs_text, report_name, files_from, resume_name;
    bool have_from = false, have_to = false, have_dump = false, recursive = false, quiet = false;
    bool have_output = false, have_jobs = false, have_report = false, have_list = false, have_resume = false;
    std::vector<std::string> files;
    bool options_done = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&](std::string& slot, bool& flag) {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "verbatra: %s needs a value\n%s", arg.c_str(), kUsage);
                return false;
            }
            slot = argv[++i];
            flag = true;
            return true;
        };
        if (options_done || arg.empty() || arg[0] != '-' || arg == "-") {
            files.push_back(arg);
        } else if (arg == "--") {
            options_done = true;
        } else if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return kExitOk;
        } else if (arg == "--recursive" || arg == "-r") {
            recursive = true;
        } else if (arg == "--quiet" || arg == "-q") {
            quiet = true;
        } else if (arg == "--list-formats") {
            list_formats(stdout);
            return kExitOk;
        } else if (arg == "--from") {
            if (!value(from, have_from)) return kExitUsage;
        } else if (arg == "--to") {
            if (!value(to, have_to)) return kExitUsage;
        } else if (arg == "--dump-stream") {
            if (!value(dump_file, have_dump)) return kExitUsage;
        } else if (arg == "--output-dir" || arg == "-o") {
            if (!value(output_dir, have_output)) return kExitUsage;
        } else if (arg == "--jobs" || arg == "-j") {
            if (!value(jobs_text, have_jobs)) return kExitUsage;
        } else if (arg == "--report") {
            if (!value(report_name, have_report)) return kExitUsage;
        } else if (arg == "--files-from") {
            if (!value(files_from, have_list)) return kExitUsage;
        } else if (arg == "--resume") {
            if (!value(resume_name, have_resume)) return kExitUsage;
        } else {
            std::fprintf(stderr, "verbatra: unknown option %s\n%s", arg.c_str(), kUsage);
            return kExitUsage;
        }
    }
    if (!have_from) {
        std::fprintf(stderr, "verbatra: --from SOURCE is missing\n%s", kUsage);
        return kExitUsage;
    }
    const bool automatic = from == "auto";
    int source = -1;
    if (!automatic) {
        source = find_or_complain("--from", from, source_formats);
        if (source < 0) return kExitUsage;
    }
    if (have_dump) {
        if (automatic) {
            std::fprintf(stderr, "verbatra: --dump-stream needs a SOURCE format, not auto\n");
            return kExitUsage;
        }
        return dump(dump_file, source_formats[source]);
    }
    if (!have_to || (files.empty() && !have_list)) {
        std::fprintf(stderr, "verbatra: %s\n%s", have_to ? "no FILE given" : "--to TARGET is missing", kUsage);
        return kExitUsage;
    }
    int target = find_or_complain("--to", to, target_formats);
    if (target < 0) return kExitUsage;
    int jobs = platform::processor_count();
    if (have_jobs) {
        char* end = nullptr;
        const long n = std::strtol(jobs_text.c_str(), &end, 10);
        if (jobs_text.empty() || *end != '\0' || n < 1 || n > 256) {
            std::fprintf(stderr, "verbatra: --jobs takes a number from 1 to 256, not \"%s\"\n", jobs_text.c_str());
            return kExitUsage;
        }
        jobs = static_cast<int>(n);
    }
    if (have_output && output_dir.empty()) {
        std::fprintf(stderr, "verbatra: --output-dir needs a folder name\n");
        return kExitUsage;
    }
    if (have_list) {
        if (!read_name_list(files_from, files)) {
            std::fprintf(stderr, "%s: %s: cannot read the list (%s)\n", kCaption, files_from.c_str(),
                         std::strerror(errno));
            return kExitFatal;
        }
    }

    EarlierRun earlier;
    if (have_resume) {
        if (!read_report(resume_name, earlier)) {
            std::fprintf(stderr, "%s: cannot read the report %s to resume (%s)\n", kCaption, resume_name.c_str(),
                         std::strerror(errno));
            return kExitFatal;
        }
        // The resumed run's lines go on in the same report.
        if (!have_report) report_name = resume_name;
        have_report = true;
    }
    ReportFile report;
    if (have_report && !report.open(report_name)) {
        std::fprintf(stderr, "%s: cannot open the report file %s (%s)\n", kCaption, report_name.c_str(),
                     std::strerror(errno));
        return kExitFatal;
    }
    const FormatEntry* source_entry = automatic ? nullptr : &source_formats[source];
    Reporter reporter(source_entry, target_formats[target], quiet, have_output, have_report ? &report : nullptr,
                      have_resume ? &earlier : nullptr);
    if (have_report) reporter.report_name(report_name);
    try {
        if (have_output) prepare_output_folder(output_dir);
        BatchOptions options;
        options.source = source_entry;
        options.target = &target_formats[target];
        options.output_dir = output_dir;
        options.jobs = jobs;
        Batch batch(options, reporter);
        for (const std::string& arg : files) {
            if (platform::has_wildcards(arg.substr(platform::file_name_start(arg)))) {
                if (!batch.add_pattern(arg, recursive)) std::fprintf(stderr, "%s: no file matches\n", arg.c_str());
            } else {
                batch.add_named(arg, recursive);
            }
        }
        batch.finish();
    } catch (const FatalStop& stop) {
        // The stop ends the run; the summary still tells how far it got.
        show_stop(stop);
        reporter.summary(true);
        return platform::interrupt_requested() ? kExitInterrupted : kExitFatal;
    }
    reporter.summary(false);
    return reporter.all_converted() ? kExitOk : kExitRefused;
}

}  // namespace

int run_command_line(int argc, char** argv) {
    platform::install_interrupt_handler();
    ScratchCleanup cleanup;
    try {
        return run(argc, argv);
    } catch (const FatalStop& stop) {
        show_stop(stop);
        return platform::interrupt_requested() ? kExitInterrupted : kExitFatal;
    }
}

}  // namespace verbatra
