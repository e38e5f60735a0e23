#include "platform/platform.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <cstdlib>
#include <vector>

namespace verbatra::platform {

namespace {

char fold(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

bool match_from(const char* p, const char* n) {
    // Iterative glob with single-star backtracking: linear enough for file
    // names and never recursive, so a long pattern of stars cannot blow up.
    const char* star = nullptr;
    const char* resume = nullptr;
    while (*n) {
        if (*p == '*') {
            star = p++;
            resume = n;
        } else if (*p == '?' || (*p && fold(*p) == fold(*n))) {
            ++p;
            ++n;
        } else if (star) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (*p == '*') ++p;
    return *p == 0;
}

}  // namespace

bool wildcard_match(const std::string& pattern, const std::string& name) {
    // "*.*" is the Windows way of saying "everything", dot or no dot; more
    // generally a trailing ".*" also matches a name that has no dot at all.
    if (pattern.size() >= 2 && pattern.compare(pattern.size() - 2, 2, ".*") == 0 &&
        name.find('.') == std::string::npos) {
        return match_from(pattern.substr(0, pattern.size() - 2).c_str(), name.c_str());
    }
    return match_from(pattern.c_str(), name.c_str());
}

bool has_wildcards(const std::string& text) {
    return text.find_first_of("*?") != std::string::npos;
}

std::size_t file_name_start(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? 0 : slash + 1;
}

std::string join_path(const std::string& dir, const std::string& name) {
    if (dir.empty()) return name;
    if (dir.back() == '/') return dir + name;
    return dir + "/" + name;
}

struct DirSearch::Impl {
    DIR* dir = nullptr;
    std::string directory;
    std::string pattern;
};

DirSearch::DirSearch() : impl_(std::make_unique<Impl>()) {}
DirSearch::~DirSearch() { close(); }

bool DirSearch::open(const std::string& pattern) {
    close();
    std::size_t start = file_name_start(pattern);
    impl_->directory = start == 0 ? std::string(".") : pattern.substr(0, start);
    impl_->pattern = pattern.substr(start);
    impl_->dir = opendir(impl_->directory.c_str());
    return impl_->dir != nullptr;
}

bool DirSearch::next(DirEntry& entry) {
    if (!impl_->dir) return false;
    while (dirent* d = readdir(impl_->dir)) {
        std::string name = d->d_name;
        if (!wildcard_match(impl_->pattern, name)) continue;
        entry.name = name;
        entry.attributes = 0;
        // Links are reported by what they are, not what they point to, so
        // a recursive walk never follows a link into a directory.
        struct stat st {};
        std::string full = join_path(impl_->directory, name);
        if (lstat(full.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) entry.attributes |= kAttrDirectory;
        return true;
    }
    return false;
}

void DirSearch::close() {
    if (impl_ && impl_->dir) {
        closedir(impl_->dir);
        impl_->dir = nullptr;
    }
}

std::string temp_directory() {
    const char* t = std::getenv("TMPDIR");
    std::string dir = (t && *t) ? t : "/tmp";
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    return dir;
}

std::string make_private_directory(const std::string& prefix) {
    std::string templ = join_path(temp_directory(), prefix + "XXXXXX");
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) return {};
    return std::string(buf.data());
}

int open_file(const std::string& path, const char* mode) {
    bool plus = std::strchr(mode, '+') != nullptr;
    int flags = 0;
    switch (mode[0]) {
        case 'r': flags = plus ? O_RDWR : O_RDONLY; break;
        case 'w': flags = (plus ? O_RDWR : O_WRONLY) | O_CREAT | O_TRUNC; break;
        case 'a': flags = (plus ? O_RDWR : O_WRONLY) | O_CREAT | O_APPEND; break;
        default: errno = EINVAL; return -1;
    }
    if (std::strchr(mode, 'x')) flags |= O_EXCL;
    int fd;
    do {
        fd = ::open(path.c_str(), flags | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

long read_file(int fd, void* data, std::size_t count) {
    ssize_t n;
    do {
        n = ::read(fd, data, count);
    } while (n < 0 && errno == EINTR);
    return static_cast<long>(n);
}

long write_file(int fd, const void* data, std::size_t count) {
    const char* p = static_cast<const char*>(data);
    std::size_t done = 0;
    while (done < count) {
        ssize_t n = ::write(fd, p + done, count - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return -1;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<long>(done);
}

long long seek_file(int fd, long long offset, int whence) {
    return static_cast<long long>(::lseek(fd, static_cast<off_t>(offset), whence));
}

bool close_file(int fd) { return ::close(fd) == 0; }

bool remove_file(const std::string& path) { return unlink(path.c_str()) == 0; }
bool remove_directory(const std::string& path) { return rmdir(path.c_str()) == 0; }

bool is_directory(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool exists_exactly(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

}  // namespace verbatra::platform
