#include "cli/command_line.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>
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
constexpr int kExitDamaged = 4;

const char kUsage[] =
    "usage: verbatra --from SOURCE|auto --to TARGET [OPTIONS] FILE|FOLDER|PATTERN...\n"
    "       verbatra --from SOURCE|auto --to TARGET [OPTIONS] --files-from LIST\n"
    "       verbatra --from SOURCE --dump-stream FILE|IMAGE#:Folder:Name\n"
    "       verbatra --identify [--format jsonl|csv] [-r] FILE|FOLDER|PATTERN|IMAGE...\n"
    "       verbatra --list-formats | --help | --version\n"
    "\n"
    "Converts old Macintosh word-processor documents into the formats archives\n"
    "keep today and those DOS and Windows programs read. Each FILE is read as\n"
    "a SOURCE document and the result is written beside it (or into\n"
    "--output-dir), named like it with the target's extension (LETTER\n"
    "becomes LETTER.asc). An existing file is\n"
    "never overwritten: a counter extension (.001, .002, ...) is used\n"
    "instead. The source itself is only read. MacBinary, AppleSingle and\n"
    "BinHex 4.0 files convert as the document they wrap; AppleDouble\n"
    "sidecars (._NAME) and __MACOSX folders are passed over. A disk image\n"
    "(MFS, HFS, DiskCopy 4.2, a partitioned disk, a hybrid CD) is opened\n"
    "like a folder: its files are IMAGE#:Folder:Name.\n"
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
    "summary line ends the run. A damaged document (cut short) converts as\n"
    "far as it goes, and its line says what was lost. Only regular files\n"
    "are read; FIFOs and devices are skipped. Exit status: 0 all converted,\n"
    "4 all converted but some damaged, 3 some not converted (or something\n"
    "skipped), 1 a fatal stop (the output folder cannot be written, a full\n"
    "disk, no memory), 2 a usage error, 128 + signal when interrupted.\n"
    "\n"
    "  -f, --from SOURCE|auto  the format of the documents, or recognise each\n"
    "  -t, --to TARGET      the format to write\n"
    "  -r, --recursive      patterns search every subdirectory; a FOLDER\n"
    "                       converts its whole tree\n"
    "  -o, --output-dir DIR targets go into DIR as cp -r places them: a\n"
    "                       named folder under its own name, a named file or\n"
    "                       a pattern's files in DIR; nothing is written\n"
    "                       beside the sources\n"
    "  -j, --jobs N         convert N files at once (default: the number of\n"
    "                       processors); lines, names and bytes are those of\n"
    "                       one at a time\n"
    "  --report FILE        add one JSON line a file to FILE as the run goes;\n"
    "                       a file that is not a report is never written\n"
    "  --files-from LIST    convert the files LIST names, one a line (- for\n"
    "                       standard input); names, never patterns\n"
    "  --resume REPORT      pass over the files REPORT (an earlier run's\n"
    "                       --report) records as converted whose target is\n"
    "                       still there; add the new lines to REPORT\n"
    "  -q, --quiet          print only problems and the summary\n"
    "  --layout archivematica  with -o DIR: DIR is a transfer for Archivematica;\n"
    "                       targets go to DIR/manualNormalization/preservation,\n"
    "                       a copy of each source to DIR, and the list of both\n"
    "                       to DIR/manualNormalization/normalization.csv\n"
    "  --no-keep-dates      targets keep the time they were written, not the\n"
    "                       source's (which they take as cp -p does)\n"
    "  --dump-stream FILE   print the intermediate stream a SOURCE reader makes\n"
    "                       of FILE, codes by name (a debugging aid)\n"
    "  --identify           write nothing: print what each file is (format,\n"
    "                       version, PRONOM PUID, MIME type, evidence,\n"
    "                       wrapping, SHA-256), one JSON line a file\n"
    "  --format csv         with --identify, DROID's CSV columns instead\n"
    "  --list-formats       list the source and target formats\n"
    "  --version            the program's version\n"
    "  -h, --help           this text\n";

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

// A usage error: one line naming the problem.
int usage_error(const std::string& problem) {
    std::fprintf(stderr, "verbatra: %s; see verbatra --help\n", problem.c_str());
    return kExitUsage;
}

// Looks a format name up; on failure says, on the same line, what the
// valid names are.
int find_or_complain(const char* option, const std::string& text, const FormatEntry* table) {
    int index = lookup_format(text, table);
    if (index >= 0) return index;
    std::string names;
    for (int i = 0; table[i].display_name; ++i) {
        names += std::string(i ? ", " : "") + table[i].short_name + " (\"" + table[i].display_name + "\")";
    }
    usage_error(std::string("unknown format for ") + option + ": \"" + text + "\"; valid names are " + names);
    return -1;
}

std::string bare_name(const std::string& path) { return path.substr(platform::file_name_start(path)); }

// How the summary counts an outcome, and how the report names it.
enum class Tally { Converted, Refused, Failed, Skipped, Already, Damaged };

Tally tally_of(Outcome outcome) {
    switch (outcome) {
        case Outcome::Converted: return Tally::Converted;
        case Outcome::Damaged: return Tally::Damaged;
        case Outcome::AlreadyConverted: return Tally::Already;
        case Outcome::WriteFailed:
        case Outcome::Unreadable: return Tally::Failed;
        case Outcome::IsFolder:
        case Outcome::NotRegular:
        case Outcome::Skipped: return Tally::Skipped;
        default: return Tally::Refused;
    }
}

constexpr const char* kReportOutcome[] = {"converted", "refused", "failed", "skipped", "already converted", "damaged"};

std::string seconds_text(double s) {
    if (s < 90) return std::to_string(static_cast<long>(s + 0.5)) + " s";
    if (s < 5400) return std::to_string(static_cast<long>(s / 60 + 0.5)) + " min";
    return std::to_string(static_cast<long>(s / 3600 + 0.5)) + " h";
}

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
          earlier_(earlier),
          started_(std::chrono::steady_clock::now()) {}

    // A file an earlier run converted, whose target is still there.
    bool already_converted(const std::string& path, ConversionResult& done) override {
        if (!earlier_) return false;
        const auto found = earlier_->sources.find(path);
        if (found == earlier_->sources.end() || found->second.target.empty()) return false;
        const EarlierOutcome& e = found->second;
        if (e.outcome != kReportOutcome[0] && e.outcome != kReportOutcome[4]) return false;
        if (!platform::exists_exactly(e.target)) return false;
        done.target_name = e.target;
        done.source_size = e.source_size;
        done.target_size = e.target_size;
        done.format = lookup_format(e.format, source_formats);
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
    // In a transfer for Archivematica: the list of copies and targets, and
    // the transfer's folder its names are relative to.
    void normalization_list(NormalizationList* list, const std::string& folder) {
        normalization_ = list;
        transfer_ = folder;
    }

    // The report says where each target goes, and is on the disk, before
    // the target takes its name: a run killed in between has a line for a
    // target that is not there, and converts the file again when resumed,
    // never twice. A file told again within its group (another file took
    // its name first, or the name could not be taken) has its line
    // replaced: every file has one line.
    void begin_records() override {
        group_.clear();
        group_start_ = report_ ? report_->length() : 0;
        if (report_ && group_start_ < 0) stop_with_message("cannot write the report file (disk full?)");
    }
    void recording(const std::string& path, const ConversionResult& r) override {
        if (!report_) return;
        const ReportLine line = line_of(path, r);
        for (auto& [who, kept] : group_) {
            if (who != &r) continue;
            kept = line;
            rewrite_ = true;
            return;
        }
        group_.emplace_back(&r, line);
        if (!report_->add(line)) stop_with_message("cannot write the report file (disk full?)");
    }
    void records_done() override {
        // The rows of the targets named so far go to the disk with the
        // report's lines of the next ones.
        if (normalization_ && !normalization_->sync()) {
            stop_with_message(std::string("cannot put ") + kNormalizationList + " on the disk");
        }
        if (!report_) return;
        if (rewrite_) {
            rewrite_ = false;
            bool ok = report_->cut_to(group_start_);
            for (const auto& kept : group_) ok = ok && report_->add(kept.second);
            if (!ok) stop_with_message("cannot write the report file (disk full?)");
        }
        if (!report_->sync()) stop_with_message("cannot put the report file on the disk");
    }

    void starting(const std::string& path) override {
        current_ = path;
        show_progress();
    }
    void all_added(int total) override {
        total_ = total;
        show_progress();
    }

    void finished(const std::string& path, const ConversionResult& r) override {
        clear_progress();
        ++done_;
        const Tally tally = tally_of(r.outcome);
        const std::string why = tally == Tally::Already ? std::string() : reason_not_converted(r, source_, target_);
        const std::string target = full_paths_ ? r.target_name : bare_name(r.target_name);
        if (normalization_ && !r.original.empty() && (has_target(r.outcome) || tally == Tally::Already)) {
            auto inside = [&](const std::string& name) {
                return name.compare(0, transfer_.size(), transfer_) == 0 ? name.substr(transfer_.size()) : name;
            };
            if (!normalization_->add(inside(r.original), inside(r.target_name))) {
                stop_with_message(std::string("cannot write the list ") + kNormalizationList + " (disk full?)");
            }
        }
        switch (tally) {
            case Tally::Already:
                ++already_;
                if (!quiet_) print_out(path + " -> " + target + " (already converted)");
                break;
            case Tally::Converted: {
                ++converted_;
                if (quiet_) break;
                // What the line adds in brackets: the format recognised, what
                // the reader let the user know.
                std::string extra = !source_ && r.format >= 0 ? source_formats[r.format].display_name : "";
                if (!r.note.empty()) extra += (extra.empty() ? "" : "; ") + r.note;
                print_out(path + " -> " + target + (extra.empty() ? "" : " (" + extra + ")"));
                break;
            }
            case Tally::Damaged: {
                // A problem, but the readable part was kept: both on one line.
                ++damaged_;
                if (r.target_name.empty()) {  // a disk image: its files have lines of their own
                    say(path + ": " + why);
                    break;
                }
                std::string format = !source_ && r.format >= 0 ? std::string(source_formats[r.format].display_name) + ", " : "";
                say(path + " -> " + target + " (" + format + why + ")");
                break;
            }
            case Tally::Failed: ++failed_; say(path + ": " + why); break;
            case Tally::Refused: ++refused_; say(path + ": " + why); break;
            case Tally::Skipped: ++problems_; say(path + ": " + why); break;
        }
        show_progress();
    }

    void problem(const std::string& message) override {
        clear_progress();
        ++problems_;
        say(message);
        show_progress();
    }

    void notice(const std::string& message) override {
        clear_progress();
        say(message);
        show_progress();
    }

    void summary(bool stopped) {
        clear_progress();
        if (normalization_) normalization_->sync();
        std::fflush(stdout);
        std::string line = std::to_string(converted_) + " converted, ";
        if (damaged_ > 0) line += std::to_string(damaged_) + " damaged, ";
        if (already_ > 0) line += std::to_string(already_) + " already converted, ";
        line += std::to_string(refused_) + " refused, " + std::to_string(failed_) + " failed";
        if (problems_ > 0) line += ", " + std::to_string(problems_) + (problems_ == 1 ? " problem" : " problems");
        if (stopped) line += "; stopped";
        std::fprintf(stderr, "%s\n", line.c_str());
    }

    int exit_status() const {
        if (refused_ > 0 || failed_ > 0 || problems_ > 0) return kExitRefused;
        return damaged_ > 0 ? kExitDamaged : kExitOk;
    }

private:
    ReportLine line_of(const std::string& path, const ConversionResult& r) const {
        const Tally tally = tally_of(r.outcome);
        ReportLine line;
        line.source = path;
        if (r.format >= 0 && r.format < kSourceCount) line.format = source_formats[r.format].display_name;
        line.outcome = kReportOutcome[static_cast<int>(tally)];
        line.target = r.target_name;
        line.reason = tally == Tally::Converted || tally == Tally::Already ? std::string()
                      : tally == Tally::Damaged                           ? r.damage
                                                                          : reason_not_converted(r, source_, target_);
        line.source_size = r.source_size;
        line.target_size = r.target_size;
        line.pictures_kept = r.pictures_kept;
        line.pictures_dropped = r.pictures_dropped;
        line.losses = r.losses;
        if (!r.target_name.empty()) line.target_format = target_.display_name;
        line.source_sha256 = r.source_sha256;
        line.data_fork_sha256 = r.data_sha256;
        line.resource_fork_sha256 = r.resource_sha256;
        line.target_sha256 = r.target_sha256;
        line.started = r.started;
        line.ended = r.ended;
        line.identity = r.identity;
        return line;
    }
    void print_out(const std::string& text) {
        std::printf("%s\n", text.c_str());
        std::fflush(stdout);
    }
    void say(const std::string& text) {
        std::fflush(stdout);
        std::fprintf(stderr, "%s\n", text.c_str());
    }
    // "[12/40 30%, 3.5 files/s, 9 s left] NAME", once the walk has found
    // every file: redrawn as files finish, at most ten times a second, and
    // gone at the end.
    void show_progress() {
        if (!progress_ || total_ < 0) return;
        const auto now = std::chrono::steady_clock::now();
        if (progress_shown_ && now - drawn_ < std::chrono::milliseconds(100)) return;
        drawn_ = now;
        const double elapsed = std::chrono::duration<double>(now - started_).count();
        const double rate = elapsed > 0 ? done_ / elapsed : 0;
        char rate_text[32];
        std::snprintf(rate_text, sizeof rate_text, "%.1f files/s", rate);
        std::string line = "[" + std::to_string(done_) + "/" + std::to_string(total_) + " " +
                           std::to_string(total_ > 0 ? done_ * 100 / total_ : 100) + "%, " + rate_text;
        if (rate > 0) line += ", " + seconds_text((total_ - done_) / rate) + " left";
        line += "] " + current_;
        std::fprintf(stderr, "\r\033[K%s", line.c_str());
        std::fflush(stderr);
        progress_shown_ = true;
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
    NormalizationList* normalization_ = nullptr;
    std::string transfer_;
    const EarlierRun* earlier_;
    std::string report_name_;
    std::vector<std::pair<const ConversionResult*, ReportLine>> group_;
    long group_start_ = 0;
    bool rewrite_ = false;
    bool progress_shown_ = false;
    std::string current_;
    std::chrono::steady_clock::time_point started_, drawn_{};
    int total_ = -1;
    int done_ = 0, converted_ = 0, damaged_ = 0, refused_ = 0, failed_ = 0, problems_ = 0, already_ = 0;
};

// The stream exactly as a conversion would have it: the same checks, the
// same unwrapping, the same sidecar found beside the file.
int dump(const std::string& name, const FormatEntry* source) {
    ByteFile work = open_scratch("WORK.###", "w+b");
    Conversion conversion;
    // A file inside a disk image: IMAGE#:Folder:Name.
    std::string image, inside;
    const bool in_image = !platform::exists(name) && split_inside_path(name, platform::exists, image, inside);
    const ConversionResult r = in_image ? read_source(image, source, conversion, work, inside)
                                        : read_source(name, source, conversion, work);
    if (r.outcome != Outcome::Converted) {
        std::fprintf(stderr, "%s: %s\n", name.c_str(), reason_not_converted(r, source, format_named("dos", target_formats)).c_str());
        return kExitRefused;
    }
    if (!r.note.empty()) std::fprintf(stderr, "%s: %s\n", name.c_str(), r.note.c_str());
    if (!r.damage.empty()) std::fprintf(stderr, "%s: damaged: %s\n", name.c_str(), r.damage.c_str());
    dump_stream(work, stdout);
    return r.damage.empty() ? kExitOk : kExitDamaged;
}

void show_stop(const FatalStop& stop) {
    std::fflush(stdout);
    const char* text = stop.what();
    std::fprintf(stderr, "%s: %s\n", kCaption, *text ? text : "not enough memory");
}

// The status of a run a signal stopped, as shells give it: 128 + signal.
int stopped_status() {
    const int sig = platform::interrupt_signal();
    return sig > 0 ? 128 + sig : kExitFatal;
}

struct ScratchCleanup {
    ~ScratchCleanup() { remove_scratch_directory(); }
};

// The lines of a --files-from list: one path a line, any bytes but NUL and
// the line feed (a CR before it is dropped); empty lines are passed over.
// Names, never patterns.
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
        std::size_t stop = end;
        if (stop > start && bytes[stop - 1] == '\r') --stop;
        if (stop > start) names.push_back(bytes.substr(start, stop - start));
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

// The options as given. A value option given twice must say the same.
struct Options {
    std::string from, to, dump_file, output_dir, jobs, report, files_from, resume, format, layout;
    bool recursive = false, quiet = false, identify = false, no_keep_dates = false;
    bool help = false, version = false, list = false;
    std::vector<std::string> files;
    std::vector<std::string> given;  // the value options given, by long name
    bool has(const char* name) const { return std::find(given.begin(), given.end(), name) != given.end(); }
};

struct OptionEntry {
    const char* long_name;
    char short_name;  // 0: none
    std::string Options::*value;  // null: a flag
    bool Options::*flag;
};

constexpr OptionEntry kOptions[] = {
    {"from", 'f', &Options::from, nullptr},
    {"to", 't', &Options::to, nullptr},
    {"recursive", 'r', nullptr, &Options::recursive},
    {"output-dir", 'o', &Options::output_dir, nullptr},
    {"jobs", 'j', &Options::jobs, nullptr},
    {"report", 0, &Options::report, nullptr},
    {"files-from", 0, &Options::files_from, nullptr},
    {"resume", 0, &Options::resume, nullptr},
    {"quiet", 'q', nullptr, &Options::quiet},
    {"dump-stream", 0, &Options::dump_file, nullptr},
    {"identify", 0, nullptr, &Options::identify},
    {"no-keep-dates", 0, nullptr, &Options::no_keep_dates},
    {"format", 0, &Options::format, nullptr},
    {"layout", 0, &Options::layout, nullptr},
    {"list-formats", 0, nullptr, &Options::list},
    {"help", 'h', nullptr, &Options::help},
    {"version", 0, nullptr, &Options::version},
};

// Reads the arguments: --opt VALUE, --opt=VALUE, -o VALUE, -oVALUE,
// bundled flags (-rq), "--" ending the options. The problem, or empty.
std::string parse_options(int argc, char** argv, Options& o) {
    auto set = [&](const OptionEntry& option, const std::string& v) -> std::string {
        std::string& slot = o.*option.value;
        const std::string shown = std::string("--") + option.long_name;
        if (o.has(option.long_name) && slot != v) {
            return shown + " given twice, as \"" + slot + "\" and as \"" + v + "\"";
        }
        slot = v;
        if (!o.has(option.long_name)) o.given.push_back(option.long_name);
        return {};
    };
    bool options_done = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (options_done || arg.size() < 2 || arg[0] != '-') {
            o.files.push_back(arg);
            continue;
        }
        if (arg == "--") {
            options_done = true;
            continue;
        }
        if (arg[1] == '-') {
            const std::size_t eq = arg.find('=');
            const std::string name = arg.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
            const OptionEntry* option = nullptr;
            for (const OptionEntry& s : kOptions) {
                if (name == s.long_name) option = &s;
            }
            if (!option) return "unknown option --" + name;
            if (!option->value) {
                if (eq != std::string::npos) return "--" + name + " takes no value";
                o.*option->flag = true;
                continue;
            }
            std::string v;
            if (eq != std::string::npos) {
                v = arg.substr(eq + 1);
            } else if (i + 1 < argc) {
                v = argv[++i];
            } else {
                return "--" + name + " needs a value";
            }
            if (std::string why = set(*option, v); !why.empty()) return why;
            continue;
        }
        for (std::size_t k = 1; k < arg.size(); ++k) {
            const OptionEntry* option = nullptr;
            for (const OptionEntry& s : kOptions) {
                if (s.short_name && s.short_name == arg[k]) option = &s;
            }
            if (!option) return std::string("unknown option -") + arg[k];
            if (!option->value) {
                o.*option->flag = true;
                continue;
            }
            std::string v;
            if (k + 1 < arg.size()) {
                v = arg.substr(k + 1);
            } else if (i + 1 < argc) {
                v = argv[++i];
            } else {
                return std::string("-") + arg[k] + " needs a value";
            }
            if (std::string why = set(*option, v); !why.empty()) return why;
            break;
        }
    }
    return {};
}

std::string absolute(const std::string& path) {
    if (path.empty() || path[0] == '/' || (path.size() > 1 && path[1] == ':') || path[0] == '\\') return path;
    return platform::join_path(platform::current_directory(), path);
}

// The arguments into the batch: files, folders and patterns, then the
// names of a --files-from list.
void add_arguments(Batch& batch, const Options& o, const std::vector<std::string>& listed) {
    for (const std::string& arg : o.files) {
        if (platform::has_wildcards(arg.substr(platform::file_name_start(arg)))) {
            if (!batch.add_pattern(arg, o.recursive)) batch.add_skipped(arg, "no file matches");
        } else {
            batch.add_named(arg, o.recursive);
        }
    }
    for (const std::string& name : listed) batch.add_listed(name, o.recursive);
}

// Says what each file is, through the walk a conversion makes, and
// writes nothing: one JSON line a file, or DROID's CSV.
class Identifier : public BatchObserver {
public:
    explicit Identifier(bool csv) : csv_(csv) {
        if (csv_) std::fputs(kDroidHeader, stdout);
    }
    void finished(const std::string&, const ConversionResult&) override {}
    void problem(const std::string& message) override {
        std::fflush(stdout);
        std::fprintf(stderr, "%s\n", message.c_str());
        problems_ = true;
    }
    void identified(const std::string& path, const Identification& id) override {
        if (id.unreadable) problems_ = true;
        if (!csv_) {
            std::fputs(identity_line(path, id).c_str(), stdout);
            return;
        }
        // A file inside an image is the child of the image's row.
        const std::size_t hash = path.find('#');
        long parent = 0;
        if (hash != std::string::npos) {
            const auto it = ids_.find(path.substr(0, hash));
            if (it != ids_.end()) parent = it->second;
        }
        ids_[path] = ++number_;
        std::fputs(droid_row(number_, parent, absolute(path), id).c_str(), stdout);
    }
    bool problems() const { return problems_; }

private:
    bool csv_;
    bool problems_ = false;
    long number_ = 0;
    std::unordered_map<std::string, long> ids_;
};

int identify(const Options& o) {
    for (const char* conversion_only : {"to", "output-dir", "report", "resume", "dump-stream", "jobs"}) {
        if (o.has(conversion_only)) return usage_error(std::string("--") + conversion_only + " does not go with --identify");
    }
    if (o.has("format") && o.format != "jsonl" && o.format != "csv") {
        return usage_error("--format is jsonl or csv, not \"" + o.format + "\"");
    }
    if (o.files.empty() && !o.has("files-from")) return usage_error("no FILE given");
    std::vector<std::string> listed;
    if (o.has("files-from") && !read_name_list(o.files_from, listed)) {
        std::fprintf(stderr, "%s: %s: cannot read the list (%s)\n", kCaption, o.files_from.c_str(), std::strerror(errno));
        return kExitFatal;
    }
    Identifier identifier(o.format == "csv");
    BatchOptions options;
    options.identify = true;
    Batch batch(options, identifier);
    add_arguments(batch, o, listed);
    batch.finish();
    std::fflush(stdout);
    return identifier.problems() ? kExitRefused : kExitOk;
}

int run(int argc, char** argv) {
    Options o;
    if (const std::string why = parse_options(argc, argv, o); !why.empty()) return usage_error(why);
    if (o.help) {
        std::fputs(kUsage, stdout);
        return kExitOk;
    }
    if (o.version) {
        std::printf("Verbatra %s\n", kProgramVersion);
        return kExitOk;
    }
    if (o.list) {
        list_formats(stdout);
        return kExitOk;
    }
    if (o.identify) return identify(o);
    if (o.has("format")) return usage_error("--format goes with --identify");
    if (!o.has("from")) return usage_error("--from SOURCE is missing");
    const bool automatic = o.from == "auto";
    int source = -1;
    if (!automatic) {
        source = find_or_complain("--from", o.from, source_formats);
        if (source < 0) return kExitUsage;
    }
    if (o.has("dump-stream")) {
        return dump(o.dump_file, automatic ? nullptr : &source_formats[source]);
    }
    if (!o.has("to")) return usage_error("--to TARGET is missing");
    if (o.files.empty() && !o.has("files-from")) return usage_error("no FILE given");
    const int target = find_or_complain("--to", o.to, target_formats);
    if (target < 0) return kExitUsage;
    int jobs = platform::processor_count();
    if (o.has("jobs")) {
        char* end = nullptr;
        const long n = std::strtol(o.jobs.c_str(), &end, 10);
        if (o.jobs.empty() || *end != '\0' || n < 1 || n > 256) {
            return usage_error("--jobs takes a number from 1 to 256, not \"" + o.jobs + "\"");
        }
        jobs = static_cast<int>(n);
    }
    const bool have_output = o.has("output-dir");
    if (have_output && o.output_dir.empty()) return usage_error("--output-dir needs a folder name");
    const bool archivematica = o.has("layout");
    if (archivematica && o.layout != "archivematica") {
        return usage_error("--layout takes \"archivematica\", not \"" + o.layout + "\"");
    }
    if (archivematica && !have_output) return usage_error("--layout archivematica needs an output folder (-o DIR)");

    RunRecord record;
    record.from = automatic ? std::string("auto") : source_formats[source].display_name;
    record.to = target_formats[target].display_name;
    // Where the targets go: a transfer's are below its preservation folder.
    record.output_dir = !have_output     ? std::string()
                        : archivematica ? absolute(o.output_dir) + "/" + kPreservationFolder
                                        : absolute(o.output_dir);
    record.recursive = o.recursive;
    record.started = utc_now();

    EarlierRun earlier;
    const bool resuming = o.has("resume");
    if (resuming) {
        if (!read_report(o.resume, earlier)) {
            std::fprintf(stderr, "%s: cannot read the report %s to resume (%s)\n", kCaption, o.resume.c_str(),
                         std::strerror(errno));
            return kExitFatal;
        }
        // The targets of another format or place are not this run's.
        if (earlier.have_run && (earlier.run.to != record.to || earlier.run.output_dir != record.output_dir)) {
            const auto where = [](const std::string& dir) { return dir.empty() ? std::string("beside the sources") : "in " + dir; };
            return usage_error("--resume " + o.resume + " records a run to \"" + earlier.run.to + "\" " +
                               where(earlier.run.output_dir) + ", not to \"" + record.to + "\" " +
                               where(record.output_dir));
        }
        // The resumed run's lines go on in the same report.
        if (!o.has("report")) {
            o.report = o.resume;
            o.given.push_back("report");
        }
    }
    const bool have_report = o.has("report");
    if (have_report) {
        // A forgotten argument lets the shell put a document where the
        // report goes: a file that is not a report of ours is never written.
        for (const std::string& f : o.files) {
            if (f == o.report || platform::same_file(f, o.report)) {
                return usage_error("the report " + o.report + " is also named as a file to convert; it is left untouched");
            }
        }
        if (!may_hold_report(o.report)) {
            return usage_error("the report " + o.report + " is a file that is not a report of verbatra; it is left untouched");
        }
    }
    std::vector<std::string> listed;
    if (o.has("files-from") && !read_name_list(o.files_from, listed)) {
        std::fprintf(stderr, "%s: %s: cannot read the list (%s)\n", kCaption, o.files_from.c_str(), std::strerror(errno));
        return kExitFatal;
    }
    ReportFile report;
    if (have_report && !report.open(o.report)) {
        std::fprintf(stderr, "%s: cannot open the report file %s (%s)\n", kCaption, o.report.c_str(),
                     std::strerror(errno));
        return kExitFatal;
    }
    NormalizationList normalization;
    if (archivematica) {
        const std::string list = o.output_dir + "/" + kNormalizationList;
        if (!platform::make_directories(list.substr(0, list.rfind('/'))) || !normalization.open(list)) {
            std::fprintf(stderr, "%s: cannot write %s (%s)\n", kCaption, list.c_str(), std::strerror(errno));
            return kExitFatal;
        }
    }
    const FormatEntry* source_entry = automatic ? nullptr : &source_formats[source];
    Reporter reporter(source_entry, target_formats[target], o.quiet, have_output, have_report ? &report : nullptr,
                      resuming ? &earlier : nullptr);
    if (archivematica) reporter.normalization_list(&normalization, o.output_dir + "/");
    if (have_report) reporter.report_name(o.report);
    try {
        if (have_report) {
            const std::string line = run_line(record);
            if (!report.add_text(line) || !report.sync()) stop_with_message("cannot write the report file (disk full?)");
        }
        if (have_output) prepare_output_folder(o.output_dir);
        BatchOptions options;
        options.source = source_entry;
        options.target = &target_formats[target];
        options.output_dir = o.output_dir;
        options.jobs = jobs;
        options.keep_dates = !o.no_keep_dates;
        options.archivematica = archivematica;
        options.record_losses = have_report;
        Batch batch(options, reporter);
        add_arguments(batch, o, listed);
        batch.finish();
    } catch (const FatalStop& stop) {
        // The stop ends the run; the summary still tells how far it got.
        show_stop(stop);
        reporter.summary(true);
        return platform::interrupt_requested() ? stopped_status() : kExitFatal;
    }
    reporter.summary(false);
    return reporter.exit_status();
}

}  // namespace

int run_command_line(int argc, char** argv) {
    platform::install_interrupt_handler();
    ScratchCleanup cleanup;
    try {
        return run(argc, argv);
    } catch (const FatalStop& stop) {
        show_stop(stop);
        return platform::interrupt_requested() ? stopped_status() : kExitFatal;
    }
}

}  // namespace verbatra
