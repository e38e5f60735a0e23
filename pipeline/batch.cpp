#include "pipeline/batch.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include "pipeline/byte_file.h"
#include "pipeline/fatal.h"
#include "pipeline/file_utils.h"
#include "platform/platform.h"

namespace verbatra {

namespace {

int g_busy_frame = 0;

struct Batch {
    const std::string& pattern;
    const FormatEntry& source;
    const FormatEntry& target;
    BatchObserver& observer;
};

std::string reason() { return std::strerror(errno); }

// Removes the list file on every way out, a fatal stop included.
struct ListFile {
    std::string name;
    ByteFile file;
    ~ListFile() {
        file.close();
        if (!name.empty()) platform::remove_file(name);
    }
};

// Writes the names of the files in the current directory that match the
// pattern, one a line. False, with the problem reported, when the list
// cannot be made whole: then nothing of this directory is converted.
bool write_list(Batch& batch, const std::string& shown_dir, ListFile& list) {
    const std::string temp = platform::temp_directory();
    const std::string where = shown_dir.empty() ? std::string("the starting directory") : shown_dir;
    list.name = platform::temp_file_name(temp, "VRB");
    if (!list.name.empty()) list.file = ByteFile::open(list.name, "w+b");
    if (!list.file.is_open()) {
        const std::string why = reason();
        batch.observer.problem("cannot make a list file in the temporary directory " + temp + " (" + why +
                               "); nothing in " + where + " converted");
        return false;
    }
    platform::DirSearch search;
    if (!search.open(batch.pattern)) {
        const std::string why = reason();
        batch.observer.problem(where + ": cannot be read (" + why + "); skipped");
        return false;
    }
    platform::DirEntry entry;
    while (search.next(entry)) {
        if (entry.attributes & (platform::kAttrDirectory | platform::kAttrVolumeLabel)) continue;
        // Targets being written are never sources; those that a run which
        // has ended left behind are removed.
        if (parse_partial_name(entry.name).ours) {
            if (is_leftover_of_ended_run(entry.name) && platform::remove_file(entry.name)) {
                batch.observer.notice(shown_dir + entry.name + ": left by a run that ended before it was done; removed");
            }
            continue;
        }
        if (entry.name.find_first_of("\r\n") != std::string::npos) {
            batch.observer.problem(shown_dir + entry.name + ": a name with a line break; skipped");
            continue;
        }
        if ((entry.attributes & platform::kAttrLink) && !platform::exists(entry.name)) {
            batch.observer.problem(shown_dir + entry.name + ": a link to nothing; skipped");
            continue;
        }
        list.file.put_text(entry.name.c_str());
        list.file.put_text("\r\n");
    }
    if (!list.file.flush() || list.file.failed()) {
        batch.observer.problem("cannot write the list file in the temporary directory " + temp +
                               "; nothing in " + where + " converted");
        return false;
    }
    list.file.rewind();
    return true;
}

void convert_one(Batch& batch, const std::string& name, const std::string& shown) {
    batch.observer.starting(shown);
    ConversionResult result = convert_file(name, batch.source, batch.target);
    batch.observer.finished(shown, result);
}

// Converts the matching files of the current directory, then, in recursive
// mode, those of each subdirectory in turn.
void select_here(Batch& batch, int mode, const std::string& shown_dir) {
    {
        ListFile list;
        if (write_list(batch, shown_dir, list)) {
            std::string name;
            while (read_list_name(list.file, name)) convert_one(batch, name, shown_dir + name);
        }
    }
    if (mode != kRecursive) return;

    // The subdirectories are gathered first, so that no directory handle
    // stays open however deep the tree goes.
    std::vector<std::string> subdirs;
    {
        platform::DirSearch search;
        platform::DirEntry entry;
        if (search.open("*.*")) {
            while (search.next(entry)) {
                if (!(entry.attributes & platform::kAttrDirectory) || (entry.attributes & platform::kAttrLink)) {
                    continue;
                }
                if (entry.name == "." || entry.name == "..") continue;
                subdirs.push_back(entry.name);
            }
        }
    }
    if (subdirs.empty()) return;
    const std::string here = platform::current_directory();
    for (const std::string& dir : subdirs) {
        if (!platform::change_directory(dir)) {
            const std::string why = reason();
            batch.observer.problem(shown_dir + dir + ": cannot be entered (" + why + "); skipped");
            continue;
        }
        advance_busy_indicator();
        select_here(batch, kRecursive, shown_dir + dir + "/");
        if (!platform::change_directory(here)) stop_with_message("cannot return to the directory " + here);
    }
}

}  // namespace

bool read_list_name(ByteFile& list, std::string& name) {
    for (;;) {
        name.clear();
        int c = list.get();
        if (c == ByteFile::kEnd) return false;
        for (; c != ByteFile::kEnd && c != '\n'; c = list.get()) name += static_cast<char>(c);
        strip_line_end(name);
        if (!name.empty()) return true;
    }
}

int advance_busy_indicator() {
    const int a = g_busy_frame;
    const int resource = 12743 + a % 12;
    platform::show_busy_cursor(resource);
    g_busy_frame = a % 12 + 1;
    return resource;
}

void convert_selection(const std::string& pattern, int mode, const FormatEntry& source,
                       const FormatEntry& target, BatchObserver& observer) {
    // A pattern looks at its folders afresh; one named file at a time (a
    // shell glob of thousands) keeps what is known of the folder.
    if (mode != kOneFile) platform::forget_directory_names();
    advance_busy_indicator();
    if (mode == kOneFile) {
        Batch batch{pattern, source, target, observer};
        convert_one(batch, pattern, pattern);
        return;
    }
    // A pattern with a directory part ("letters/*.TXT") is matched inside
    // that directory, and the names shown keep the part.
    const std::size_t base = platform::file_name_start(pattern);
    const std::string dir = pattern.substr(0, base);
    const std::string bare = pattern.substr(base);
    const std::string start = platform::current_directory();
    if (start.empty()) stop_with_message("cannot tell the current directory");
    if (!dir.empty() && !platform::change_directory(dir)) {
        const std::string why = reason();
        observer.problem(dir + ": cannot be entered (" + why + "); skipped");
        return;
    }
    struct Restore {
        const std::string& start;
        ~Restore() { platform::change_directory(start); }
    } restore{start};
    Batch batch{bare, source, target, observer};
    select_here(batch, mode, dir);
}

}  // namespace verbatra
