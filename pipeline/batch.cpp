#include "pipeline/batch.h"

#include <cerrno>
#include <cstring>
#include <algorithm>
#include <vector>

#include "pipeline/byte_file.h"
#include "pipeline/fatal.h"
#include "pipeline/file_utils.h"
#include "pipeline/queue.h"
#include "pipeline/scratch.h"
#include "platform/platform.h"

namespace verbatra {

namespace {

int g_busy_frame = 0;

std::string reason() { return std::strerror(errno); }

}  // namespace

// Removes the list file on every way out, a fatal stop included.
struct ListFile {
    std::string name;
    ByteFile file;
    ~ListFile() {
        file.close();
        if (!name.empty()) platform::remove_file(name);
    }
};

namespace {

bool is_separator(char c) {
#ifdef _WIN32
    return c == '/' || c == '\\';
#else
    return c == '/';
#endif
}

std::vector<std::string> components(const std::string& path) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : path) {
        if (!is_separator(c)) {
            part += c;
            continue;
        }
        if (!part.empty()) parts.push_back(part);
        part.clear();
    }
    if (!part.empty()) parts.push_back(part);
    return parts;
}

// "." and ".." taken out by the names alone.
std::vector<std::string> normal(const std::vector<std::string>& parts) {
    std::vector<std::string> out;
    for (const std::string& p : parts) {
        if (p == ".") continue;
        if (p == "..") {
            if (!out.empty()) out.pop_back();
            continue;
        }
        out.push_back(p);
    }
    return out;
}

// An AppleDouble sidecar ("._NAME" holding 00 05 16 07): the resource
// fork of NAME, not a document of its own.
bool is_sidecar(const std::string& path, const std::string& name) {
    if (name.size() < 3 || name.compare(0, 2, "._") != 0) return false;
    ByteFile f = ByteFile::open(path, "rb");
    std::uint8_t magic[4] = {};
    return f.is_open() && f.read(magic, 4) == 4 && magic[0] == 0 && magic[1] == 5 && magic[2] == 0x16 && magic[3] == 7;
}

}  // namespace

Batch::Batch(const BatchOptions& options, BatchObserver& observer) : options_(options), observer_(observer) {
    if (options_.identify) return;
    queue_ = std::make_unique<ConversionQueue>(options_.source, *options_.target, options_.jobs, observer_);
    if (!options_.output_dir.empty()) queue_->clean_target_folders();
}

Batch::~Batch() = default;

// Every argument is walked before anything converts: the run knows how
// many files it has (the progress line tells the time left), and no file
// the run itself writes is found by it.
void Batch::finish() {
    observer_.all_added(static_cast<int>(items_.size()));
    if (options_.identify) {
        for (Item& item : items_) {
            Identification id;
            if (item.result.outcome == Outcome::Converted) {
                id = identify_file(item.image.empty() ? item.path : item.image, item.inside, &shelf_);
                clear_scratch_files();
            } else {
                id.problem = reason_not_converted(item.result, options_.source, target_formats[0]);
                id.unreadable = item.result.outcome == Outcome::Unreadable;
            }
            observer_.identified(item.path, id);
        }
        items_.clear();
        return;
    }
    queue_->expect(static_cast<std::size_t>(std::count_if(
        items_.begin(), items_.end(), [](const Item& item) { return item.result.outcome == Outcome::Converted; })));
    for (Item& item : items_) {
        if (item.result.outcome != Outcome::Converted) {  // known without converting
            if (item.result.outcome == Outcome::AlreadyConverted) item.result.original = original_for(item);
            queue_->add_done(item.path, item.result);
            continue;
        }
        observer_.starting(item.path);
        const std::string& source = item.image.empty() ? item.path : item.image;
        queue_->add(ConversionRequest{source, item.target_base, item.inside, options_.keep_dates, original_for(item),
                                      options_.record_losses},
                    item.path);
    }
    items_.clear();
    queue_->finish();
}

std::string Batch::target_base(const std::string& source) const {
    if (options_.output_dir.empty()) return {};
    const std::string below = source.compare(0, root_.size(), root_) == 0 ? source.substr(root_.size()) : source;
    std::string base = options_.output_dir;
    if (options_.archivematica) base += std::string("/") + kPreservationFolder;
    for (std::string part : normal(components(below))) {
        if (part.size() == 2 && part[1] == ':') part.pop_back();  // a drive letter, as a folder
        base += "/" + part;
    }
    return base;
}

// In a transfer, the source's copy takes the place its target has below
// the preservation folder, in the output folder itself.
std::string Batch::original_for(const Item& item) const {
    const std::string preservation = options_.output_dir + "/" + kPreservationFolder;
    if (!options_.archivematica || item.target_base.compare(0, preservation.size(), preservation) != 0) return {};
    return options_.output_dir + item.target_base.substr(preservation.size());
}

void Batch::add_file(const std::string& path) {
    if (observer_.passed_over(path)) return;
    if (add_image(path)) return;
    // One file inside a disk image, named as IMAGE#:Folder:Name: its target
    // goes where the image's own would.
    std::string image, inside;
    if (!platform::exists(path) && split_inside_path(path, platform::exists, image, inside)) {
        std::string name = inside.substr(inside.rfind(':') + 1);
        std::replace(name.begin(), name.end(), '/', '_');
        std::string base = options_.output_dir.empty() ? image : target_base(image);
        base = base.substr(0, platform::file_name_start(base)) + (name.empty() ? "_" : name);
        Item item{path, base, {}, image, inside};
        if (observer_.already_converted(path, item.result)) item.result.outcome = Outcome::AlreadyConverted;
        items_.push_back(std::move(item));
        return;
    }
    Item item{path, target_base(path), {}};
    if (observer_.already_converted(path, item.result)) item.result.outcome = Outcome::AlreadyConverted;
    items_.push_back(std::move(item));
}

// A disk image is a folder of its own: its files go in under the image's
// name in the output folder (beside it, in a folder "NAME.d"), their Mac
// folders mirrored. What cannot be read of it has a line of its own.
bool Batch::add_image(const std::string& path) {
    if (platform::file_kind(path) != platform::FileKind::Regular) return false;
    ByteFile file = ByteFile::open(path, "rb");
    if (!file.is_open()) return false;  // its conversion says why
    std::uint8_t start[kDiskImageMarksWithin];
    const std::size_t have = file.read(start, sizeof start);
    if (!looks_like_disk_image(start, have)) return false;
    const DiskImage image = read_disk_image(file, true);
    const std::string base = options_.output_dir.empty() ? path + ".d" : target_base(path);
    std::vector<Item> lines;
    if (options_.identify) lines.push_back(Item{path, {}, {}});  // the image, as the file it is
    add_image_files(path, {}, base, image, file, true, lines);
    // In path order, an image's own line before its files.
    std::stable_sort(lines.begin(), lines.end(), [](const Item& a, const Item& b) { return a.inside < b.inside; });
    for (Item& item : lines) items_.push_back(std::move(item));
    return true;
}

// The files of `image` (the image `path` itself, or the one at `within`
// inside it), and a line for what cannot be read of it. An image inside
// is opened when `open_inner`, and its files go below its own name.
void Batch::add_image_files(const std::string& path, const std::string& within, const std::string& base,
                            const DiskImage& image, ByteFile& file, bool open_inner, std::vector<Item>& lines) {
    const std::string shown = within.empty() ? path : path + "#" + within;
    const std::string prefix = within.empty() ? std::string() : within + "#";
    std::string problem = image.damage;
    for (const Volume& v : image.volumes) {
        if (problem.empty() && !v.damage.empty()) {
            problem = (image.volumes.size() > 1 ? "volume \"" + mac_name_utf8(v.name) + "\": " : std::string()) + v.damage;
        }
    }
    if (!problem.empty() && !options_.identify) {  // identified, the image's own record says it
        Item item{shown, {}, {}, {}, within};
        item.result.outcome = Outcome::Damaged;
        item.result.damage = problem;
        lines.push_back(std::move(item));
    }
    if (!image.note.empty() && !options_.identify) {
        Item item{shown, {}, {}, {}, within};
        item.result.outcome = Outcome::Skipped;
        item.result.reason = "holds " + image.note + "; skipped";
        lines.push_back(std::move(item));
    }
    for (std::size_t v = 0; v < image.volumes.size(); ++v) {
        for (const VolumeFile& f : image.volumes[v].files) {
            if (is_finder_database(f)) continue;
            const std::string where = prefix + inside_path(image, v, f);
            std::string below = base;
            std::vector<std::string> parts = f.folders;
            for (std::string& part : parts) part = host_safe_name(part);
            if (image.volumes.size() > 1) parts.insert(parts.begin(), std::to_string(v + 1));
            parts.push_back(host_safe_name(f.name));
            for (const std::string& part : parts) below.append(1, '/').append(part);
            if (open_inner) {
                std::uint8_t start[kDiskImageMarksWithin];
                if (looks_like_disk_image(start, read_fork_start(file, f.data, start, sizeof start))) {
                    ByteFile inner = open_scratch("INNER.###", "w+b");
                    if (copy_fork(file, f.data, inner)) {
                        const DiskImage nested = read_disk_image(inner, true);
                        add_image_files(path, where, below, nested, inner, false, lines);
                        inner.close();
                        remove_scratch("INNER.###");
                        continue;
                    }
                }
            }
            Item item{path + "#" + where, below, {}, path, where};
            if (observer_.already_converted(item.path, item.result)) item.result.outcome = Outcome::AlreadyConverted;
            lines.push_back(std::move(item));
        }
    }
}

void Batch::add_skipped(const std::string& path, const std::string& reason) {
    Item item{path, {}, {}};
    item.result.outcome = Outcome::Skipped;
    item.result.reason = reason;
    items_.push_back(std::move(item));
}

namespace {
// Where a named path's last part starts ("A/B/" gives the offset of "B").
std::size_t last_part_start(const std::string& path) {
    std::size_t end = path.size();
    while (end > 1 && is_separator(path[end - 1])) --end;
    std::size_t start = end;
    while (start > 0 && !is_separator(path[start - 1])) --start;
    return start;
}
}  // namespace

void Batch::add_named(const std::string& path, bool recursive) {
    if (recursive && platform::is_directory(path)) {
        walk(path, false);
        return;
    }
    root_ = path.substr(0, platform::file_name_start(path));
    add_file(path);
}

void Batch::add_listed(const std::string& path, bool recursive) {
    if (recursive && platform::is_directory(path)) {
        walk(path, true);
        return;
    }
    root_.clear();
    add_file(path);
}

void Batch::walk(const std::string& folder, bool keep_path) {
    platform::forget_directory_names();
    std::string dir = folder;
    if (!is_separator(dir.back())) dir += '/';
    if (dir == "./") dir.clear();  // the current folder: names as a pattern shows them
    // The folder goes in under its own name, as cp -r places it; "."
    // and ".." (and the root) have none, and give their contents.
    const std::size_t start = last_part_start(dir);
    const std::vector<std::string> last = components(dir.substr(start));
    if (keep_path) {
        root_.clear();
    } else {
        root_ = last.empty() || last[0] == "." || last[0] == ".." ? dir : dir.substr(0, start);
    }
    select_here("*.*", true, dir);
}

bool Batch::add_pattern(const std::string& pattern, bool recursive) {
    // A pattern looks at its folders afresh.
    platform::forget_directory_names();
    advance_busy_indicator();
    const std::size_t before = items_.size();
    const std::size_t base = platform::file_name_start(pattern);
    const std::string dir = pattern.substr(0, base);
    root_ = dir;
    if (!dir.empty() && !platform::is_directory(dir)) {
        const std::string why = platform::exists(dir) ? std::string(std::strerror(ENOTDIR)) : reason();
        add_skipped(dir, "cannot be entered (" + why + "); skipped");
        return true;
    }
    select_here(pattern.substr(base), recursive, dir);
    return items_.size() > before;
}

// Writes the names of the files of `dir` that match the pattern, one a
// line. False, with the problem reported, when the list cannot be made
// whole: then nothing of this directory is converted.
bool Batch::write_list(const std::string& pattern, const std::string& dir, ListFile& list) {
    const std::string temp = platform::temp_directory();
    const std::string where = dir.empty() ? std::string("the starting directory") : dir;
    list.name = platform::temp_file_name(temp, "VRB");
    if (!list.name.empty()) list.file = ByteFile::open(list.name, "w+b");
    if (!list.file.is_open()) {
        const std::string why = reason();
        observer_.problem("cannot make a list file in the temporary directory " + temp + " (" + why +
                          "); nothing in " + where + " converted");
        return false;
    }
    // Every name of the folder is looked at: the leftovers of ended runs go
    // whatever the pattern.
    platform::DirSearch search;
    if (!search.open(dir + "*")) {
        const std::string why = reason();
        add_skipped(dir.empty() ? std::string(".") : dir, "cannot be read (" + why + "); skipped");
        return false;
    }
    platform::DirEntry entry;
    while (search.next(entry)) {
        if (entry.attributes & (platform::kAttrDirectory | platform::kAttrVolumeLabel)) continue;
        const std::string path = dir + entry.name;
        // Targets being written are never sources; those that a run which
        // has ended left behind are removed.
        if (parse_partial_name(entry.name).ours) {
            if (is_leftover_of_ended_run(entry.name) && platform::remove_file(path)) {
                observer_.notice(path + ": left by a run that ended before it was done; removed");
            }
            continue;
        }
        if (!platform::wildcard_match(pattern, entry.name)) continue;
        if (entry.name.find_first_of("\r\n") != std::string::npos) {
            add_skipped(path, "a name with a line break; skipped");
            continue;
        }
        if ((entry.attributes & platform::kAttrLink) && !platform::exists(path)) {
            const std::string why = reason();
            add_skipped(path, "a link that leads nowhere (" + why + "); skipped");
            continue;
        }
        if (is_sidecar(path, entry.name)) continue;
        list.file.put_text(entry.name.c_str());
        list.file.put_text("\r\n");
    }
    if (!list.file.flush() || list.file.failed()) {
        observer_.problem("cannot write the list file in the temporary directory " + temp + "; nothing in " + where +
                          " converted");
        return false;
    }
    list.file.rewind();
    return true;
}

// Converts the matching files of `dir` (empty, or ending in a separator),
// then, recursively, those of each subdirectory in turn.
void Batch::select_here(const std::string& pattern, bool recursive, const std::string& dir) {
    {
        ListFile list;
        if (write_list(pattern, dir, list)) {
            std::string name;
            while (read_list_name(list.file, name)) add_file(dir + name);
        }
    }
    if (!recursive) return;

    // The subdirectories are gathered first, so that no directory handle
    // stays open however deep the tree goes.
    std::vector<std::string> subdirs;
    {
        platform::DirSearch search;
        platform::DirEntry entry;
        if (search.open(dir + "*.*")) {
            while (search.next(entry)) {
                if (!(entry.attributes & platform::kAttrDirectory) || (entry.attributes & platform::kAttrLink)) {
                    continue;
                }
                if (entry.name == "." || entry.name == "..") continue;
                // The sidecars a Macintosh leaves in zip archives.
                if (entry.name == "__MACOSX") continue;
                subdirs.push_back(entry.name);
            }
        }
    }
    for (const std::string& sub : subdirs) {
        const std::string path = dir + sub;
        // The output folder inside the tree holds our targets, not sources.
        if (!options_.output_dir.empty() && platform::same_file(path, options_.output_dir)) continue;
        platform::DirSearch probe;
        if (!probe.open(path + "/*.*")) {
            const std::string why = reason();
            add_skipped(path, "cannot be entered (" + why + "); skipped");
            continue;
        }
        probe.close();
        advance_busy_indicator();
        select_here(pattern, true, path + "/");
    }
}

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
    BatchOptions options;
    options.source = &source;
    options.target = &target;
    Batch batch(options, observer);
    if (mode == kOneFile) {
        advance_busy_indicator();
        batch.add_named(pattern, false);
    } else {
        batch.add_pattern(pattern, mode == kRecursive);
    }
    batch.finish();
}

}  // namespace verbatra
