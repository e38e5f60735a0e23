#include "pipeline/scratch.h"

#include <vector>

#include "pipeline/fatal.h"
#include "platform/platform.h"

namespace verbatra {

namespace {
std::string g_scratch_dir;
}

const std::string& scratch_directory() { return g_scratch_dir; }

std::string scratch_path(const std::string& name) {
    if (g_scratch_dir.empty()) {
        g_scratch_dir = platform::make_private_directory("VRB");
        if (g_scratch_dir.empty()) {
            stop_with_message("cannot make a scratch directory in " + platform::temp_directory());
        }
    }
    return platform::join_path(g_scratch_dir, name);
}

ByteFile open_scratch(const std::string& name, const char* mode) {
    // A new scratch file lives in memory while it is small; it reaches the
    // private directory only when it outgrows that.
    if (std::string(mode) == "w+b") return ByteFile::in_memory(scratch_path, name);
    return open_or_stop(scratch_path(name), mode);
}

void remove_scratch(const std::string& name) {
    if (!g_scratch_dir.empty()) platform::remove_file(platform::join_path(g_scratch_dir, name));
}

void clear_scratch_files() {
    if (g_scratch_dir.empty()) return;
    std::vector<std::string> names;
    platform::DirSearch search;
    platform::DirEntry entry;
    if (search.open(platform::join_path(g_scratch_dir, "*"))) {
        while (search.next(entry)) {
            if (!(entry.attributes & platform::kAttrDirectory)) names.push_back(entry.name);
        }
    }
    search.close();
    for (const std::string& n : names) platform::remove_file(platform::join_path(g_scratch_dir, n));
}

void detach_scratch_directory() { g_scratch_dir.clear(); }

void remove_scratch_directory() {
    if (g_scratch_dir.empty()) return;
    clear_scratch_files();
    platform::remove_directory(g_scratch_dir);
    g_scratch_dir.clear();
}

}  // namespace verbatra
