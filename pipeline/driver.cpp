#include "pipeline/driver.h"

#include <cerrno>
#include <cstring>
#include <utility>

#include "pipeline/fatal.h"
#include "pipeline/file_utils.h"
#include "pipeline/scratch.h"
#include "platform/platform.h"

namespace verbatra {

namespace {

// Removes whatever the conversion in progress has put on disk unless the
// conversion got through; it also runs while a fatal stop unwinds.
class LeftoverGuard {
public:
    ~LeftoverGuard() {
        if (!work_.empty()) platform::remove_file(work_);
        if (!target_.empty()) platform::remove_file(target_);
        clear_scratch_files();
    }
    void work(const std::string& name) { work_ = name; }
    void target(const std::string& name) { target_ = name; }
    void keep_target() { target_.clear(); }

private:
    std::string work_;
    std::string target_;
};

// Creates `name` only if no file of that name exists. Returns a closed file
// when the name was taken meanwhile; stops on any other failure.
ByteFile create_new(const std::string& name) {
    ByteFile file = ByteFile::open(name, "w+bx");
    if (!file.is_open() && errno != EEXIST) stop_cannot_open(name);
    return file;
}

Outcome outcome_of(int result) {
    switch (result) {
        case kConverted: return Outcome::Converted;
        case kEmptyInput: return Outcome::EmptySource;
        case kTooLarge: return Outcome::TooLarge;
        default: return Outcome::NotOfFormat;
    }
}

}  // namespace

namespace {
// The machine's name as it stands in a name of ours: one field, no path.
std::string host_field() {
    std::string host = platform::host_name();
    for (char& c : host) {
        if (c == '/' || c == '\\' || c == ':' || c == '-') c = '_';
    }
    return host;
}
}  // namespace

// ".verbatra-HOST-PROCESS-N.part": the machine and process tell a file of a
// run that is gone from one of a run still going.
std::string partial_name_for(const std::string& name) {
    static unsigned counter = 0;
    const std::string host = host_field();
    const std::string dir = name.substr(0, platform::file_name_start(name));
    return dir + kPartialPrefix + host + "-" + std::to_string(platform::process_id()) + "-" +
           std::to_string(++counter) + kPartialSuffix;
}

PartialName parse_partial_name(const std::string& name) {
    PartialName p;
    const std::size_t prefix = std::strlen(kPartialPrefix), suffix = std::strlen(kPartialSuffix);
    if (name.size() <= prefix + suffix || name.compare(0, prefix, kPartialPrefix) != 0 ||
        name.compare(name.size() - suffix, suffix, kPartialSuffix) != 0) {
        return p;
    }
    p.ours = true;
    const std::string middle = name.substr(prefix, name.size() - prefix - suffix);
    const std::size_t last = middle.rfind('-');
    const std::size_t before = last == std::string::npos || last == 0 ? std::string::npos : middle.rfind('-', last - 1);
    if (before == std::string::npos) return p;
    p.host = middle.substr(0, before);
    const std::string pid = middle.substr(before + 1, last - before - 1);
    if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos || pid.size() > 10) return p;
    p.pid = std::stoul(pid);
    return p;
}

bool is_leftover_of_ended_run(const std::string& name) {
    const PartialName p = parse_partial_name(name);
    return p.ours && p.pid != 0 && p.host == host_field() && p.pid != platform::process_id() && !platform::process_alive(p.pid);
}

std::string work_name_for(const std::string& name) {
    std::string work = name;
    replace_extension(work, "###");
    for (int n = 1; n <= 99 && file_exists(work); ++n) {
        const char ext[4] = {'#', static_cast<char>('0' + n / 10), static_cast<char>('0' + n % 10), 0};
        work = name;
        replace_extension(work, ext);
    }
    return work;
}

namespace {
// The reader's word to the user on the conversion in progress.
std::string g_note;
}  // namespace

void note_for_user(const std::string& text) { g_note = text; }

std::string reason_not_converted(Outcome outcome, const FormatEntry& source, const FormatEntry& target) {
    switch (outcome) {
        case Outcome::Converted: return {};
        case Outcome::NotOfFormat: return std::string("not a ") + source.display_name + " document";
        case Outcome::EmptySource: return "empty file";
        case Outcome::NotAvailable:
            return source.reader ? std::string("the ") + target.display_name + " writer is not available yet"
                                 : std::string("the ") + source.display_name + " reader is not available yet";
        case Outcome::TooLarge: return std::string("too large for ") + target.display_name + "; not converted";
        case Outcome::WriteFailed: return "could not be read or written whole (disk full?); not converted";
    }
    return {};
}

ConversionResult convert_file(const std::string& name, const FormatEntry& source, const FormatEntry& target) {
    ConversionResult result;
    if (!source.reader || !target.writer) {
        result.outcome = Outcome::NotAvailable;
        return result;
    }
    LeftoverGuard guard;

    // The source is only read, so a write-protected or archived file converts.
    if (platform::is_directory(name)) stop_with_message(name + " (is a directory)");
    ByteFile src = open_or_stop(name, "rb");

    std::string work_name;
    ByteFile work;
    for (int tries = 0; !work.is_open(); ++tries) {
        work_name = work_name_for(name);
        if (tries > 8 || file_exists(work_name)) stop_with_message(work_name + " (no free work file name)");
        work = create_new(work_name);
    }
    guard.work(work_name);

    set_current_names(name, work_name);
    set_buffering(src, work, (source.flags >> 2) & 3);
    g_note.clear();
    int read_result = source.reader(src, work);
    result.note = std::move(g_note);
    bool work_ok = work.close();
    bool source_ok = !src.failed();
    src.close();
    if (read_result != kConverted) {
        result.outcome = outcome_of(read_result);
        return result;
    }
    if (!work_ok || !source_ok) {
        result.outcome = Outcome::WriteFailed;
        return result;
    }

    work = open_or_stop(work_name, "rb");
    // The target is written under a name of ours beside it and takes its
    // own name only when it is whole: a run that is killed leaves no
    // half-written file that looks converted.
    std::string partial;
    ByteFile out;
    for (int tries = 0; !out.is_open(); ++tries) {
        partial = partial_name_for(name);
        if (tries > 8) stop_with_message(partial + " (no free name for the target being written)");
        out = create_new(partial);
    }
    guard.target(partial);
    std::string target_name = name;
    replace_extension(target_name, target.extension);
    if (file_exists(target_name)) make_unique_name(target_name);

    set_current_names(work_name, target_name);
    set_buffering(work, out, (target.flags >> 4) & 3);
    int write_result = target.writer(work, out);
    work.close();
    bool target_ok = out.close();
    if (write_result != kConverted) {
        result.outcome = outcome_of(write_result);
        if (result.outcome == Outcome::NotOfFormat) result.outcome = Outcome::WriteFailed;
        return result;
    }
    if (!target_ok) {
        result.outcome = Outcome::WriteFailed;
        return result;
    }
    while (!platform::rename_no_replace(partial, target_name)) {
        if (errno != EEXIST) stop_cannot_open(target_name);
        make_unique_name(target_name);  // a file of that name appeared meanwhile
    }
    guard.keep_target();
    result.target_name = target_name;
    return result;
}

}  // namespace verbatra
