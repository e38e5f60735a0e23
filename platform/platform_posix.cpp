#include "platform/platform.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <unordered_set>
#include <cstdlib>
#include <vector>

namespace verbatra::platform {

namespace {

}  // namespace

std::size_t file_name_start(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? 0 : slash + 1;
}

std::string join_path(const std::string& dir, const std::string& name) {
    if (dir.empty()) return name;
    if (dir.back() == '/') return dir + name;
    return dir + "/" + name;
}

namespace {

std::string fold_name(const std::string& name) { return folded_name(name); }

// The folded names of the last directory asked about. A batch asks about
// the same directory for every file it converts there, so rescanning it
// each time would make a large flat directory quadratic. The copy is
// checked against the directory's path, identity and modification time
// (a folder removed and made anew within one clock tick can take the old
// one's inode), and kept in step with the files this process creates and
// removes there.
struct NameCache {
    bool valid = false;
    std::string path;
    dev_t dev = 0;
    ino_t ino = 0;
    timespec mtime{};
    std::unordered_set<std::string> names;
};
NameCache g_names;

std::string directory_of(const std::string& path) {
    std::size_t start = file_name_start(path);
    return start == 0 ? std::string(".") : path.substr(0, start);
}

bool same_stamp(const struct stat& st, const std::string& dir) {
    return g_names.valid && g_names.path == dir && g_names.dev == st.st_dev && g_names.ino == st.st_ino &&
           g_names.mtime.tv_sec == st.st_mtim.tv_sec && g_names.mtime.tv_nsec == st.st_mtim.tv_nsec;
}

void stamp(const struct stat& st) {
    g_names.dev = st.st_dev;
    g_names.ino = st.st_ino;
    g_names.mtime = st.st_mtim;
}

// A file of ours appeared in or left `path`'s directory.
void note_change(const std::string& path, bool created) {
    if (!g_names.valid) return;
    struct stat st {};
    if (stat(directory_of(path).c_str(), &st) != 0 || st.st_dev != g_names.dev || st.st_ino != g_names.ino) return;
    std::string name = fold_name(path.substr(file_name_start(path)));
    if (created) g_names.names.insert(name);
    else g_names.names.erase(name);
    stamp(st);
}

}  // namespace

bool exists_ignoring_case(const std::string& path) {
    const std::string dir = directory_of(path);
    struct stat st {};
    if (stat(dir.c_str(), &st) != 0) return false;
    if (!same_stamp(st, dir)) {
        g_names.valid = false;
        g_names.names.clear();
        g_names.path = dir;
        DIR* d = opendir(dir.c_str());
        if (!d) return false;
        while (dirent* e = readdir(d)) g_names.names.insert(fold_name(e->d_name));
        closedir(d);
        stamp(st);
        g_names.valid = true;
    }
    return g_names.names.count(fold_name(path.substr(file_name_start(path)))) != 0;
}

void forget_directory_names() {
    g_names.valid = false;
    g_names.names.clear();
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
        // A link says so, beside what it leads to, so that a recursive walk
        // can leave links to directories alone.
        struct stat st {};
        std::string full = join_path(impl_->directory, name);
        if (lstat(full.c_str(), &st) == 0) {
            if (S_ISLNK(st.st_mode)) {
                entry.attributes |= kAttrLink;
                if (stat(full.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) entry.attributes |= kAttrDirectory;
            } else if (S_ISDIR(st.st_mode)) {
                entry.attributes |= kAttrDirectory;
            }
        }
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

std::string temp_file_name(const std::string& dir, const std::string& prefix) {
    std::string templ = join_path(dir, prefix + "XXXXXX");
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back('\0');
    int fd = mkstemp(buf.data());
    if (fd < 0) return {};
    ::close(fd);
    return std::string(buf.data());
}

std::string current_directory() {
    std::vector<char> buf(256);
    while (!getcwd(buf.data(), buf.size())) {
        if (errno != ERANGE) return {};
        buf.resize(buf.size() * 2);
    }
    return std::string(buf.data());
}

bool change_directory(const std::string& path) { return ::chdir(path.c_str()) == 0; }

unsigned long process_id() { return static_cast<unsigned long>(::getpid()); }

bool process_alive(unsigned long pid) {
    if (pid == 0 || pid > 0x7FFFFFFFul) return false;
    if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno != EPERM) return false;
    // A process that has ended but that nobody has reaped yet (its parent
    // killed too, in a container whose first process reaps nothing) still
    // answers; /proc tells it is a zombie.
    const std::string stat = "/proc/" + std::to_string(pid) + "/stat";
    const int fd = ::open(stat.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return true;
    char buf[512];
    const ssize_t n = ::read(fd, buf, sizeof buf - 1);
    ::close(fd);
    if (n <= 0) return true;
    buf[n] = '\0';
    const char* end = std::strrchr(buf, ')');
    return !(end && end[1] == ' ' && (end[2] == 'Z' || end[2] == 'X'));
}

std::string host_name() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return "host";
    return name;
}

void show_busy_cursor(int) {}

namespace {
volatile std::sig_atomic_t g_interrupted = 0;
void note_interrupt(int sig) {
    if (!g_interrupted) g_interrupted = sig;
}
}  // namespace

void install_interrupt_handler() {
    struct sigaction sa {};
    sa.sa_handler = note_interrupt;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
}

bool interrupt_requested() { return g_interrupted != 0; }
int interrupt_signal() { return g_interrupted; }

bool stderr_is_terminal() { return isatty(STDERR_FILENO) == 1; }

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
    // A FIFO or a device opened for reading must never block the run: the
    // open does not wait, and a reader that is no regular file is told so
    // by is_regular_file on the handle.
    const bool reading = !(flags & O_CREAT) && !plus;
    if (reading) flags |= O_NONBLOCK;
    int fd;
    do {
        fd = ::open(path.c_str(), flags | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd >= 0 && reading) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (fd >= 0 && (flags & O_CREAT)) note_change(path, true);
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

bool truncate_file(int fd, long long length) { return ::ftruncate(fd, static_cast<off_t>(length)) == 0; }

bool remove_file(const std::string& path) {
    if (unlink(path.c_str()) != 0) return false;
    note_change(path, false);
    return true;
}
bool rename_no_replace(const std::string& from, const std::string& to) {
#ifdef RENAME_NOREPLACE
    // One step that refuses to replace a file: the new name appears
    // complete or not at all.
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        note_change(from, false);
        note_change(to, true);
        return true;
    }
    if (errno == EEXIST) return false;
#endif
    // File systems without it: a second link, then the first one removed.
    if (::link(from.c_str(), to.c_str()) == 0) {
        note_change(to, true);
        remove_file(from);
        return true;
    }
    if (errno == EEXIST) return false;
    // Without links either (FAT on a USB disk, with an old kernel): a check,
    // then a plain rename.
    if (exists_exactly(to)) {
        errno = EEXIST;
        return false;
    }
    if (::rename(from.c_str(), to.c_str()) != 0) return false;
    note_change(from, false);
    note_change(to, true);
    return true;
}

bool remove_directory(const std::string& path) { return rmdir(path.c_str()) == 0; }

bool make_directories(const std::string& path) {
    if (path.empty() || is_directory(path)) return true;
    const std::size_t slash = path.find_last_of('/', path.size() - 1 - (path.back() == '/'));
    if (slash != std::string::npos && slash > 0 && !make_directories(path.substr(0, slash))) return false;
    if (::mkdir(path.c_str(), 0777) == 0) return true;
    if (errno != EEXIST) return false;
    if (is_directory(path)) return true;
    errno = ENOTDIR;  // a file has the folder's name
    return false;
}

bool sync_file(int fd) { return ::fsync(fd) == 0 || errno == EINVAL || errno == EROFS; }

void start_writeback(int fd) {
#ifdef SYNC_FILE_RANGE_WRITE
    ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
#else
    (void)fd;
#endif
}

bool sync_file_system(const std::string& folder) {
#ifdef __linux__
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::syncfs(fd) == 0;
    ::close(fd);
    return ok;
#else
    (void)folder;
    return false;
#endif
}

bool sync_path(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = sync_file(fd);
    ::close(fd);
    return ok;
}

bool same_file(const std::string& a, const std::string& b) {
    struct stat sa {}, sb {};
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

FileKind file_kind(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return FileKind::Missing;
    if (S_ISREG(st.st_mode)) return FileKind::Regular;
    if (S_ISDIR(st.st_mode)) return FileKind::Directory;
    return FileKind::Other;
}

bool is_regular_file(int fd) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

bool is_directory(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool exists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

bool exists_exactly(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

int processor_count() {
    const long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? static_cast<int>(n) : 1;
}

namespace {
// Closes the descriptors `first` to `last`, in one call where the system
// can, not one per descriptor a process might have.
void close_range_of(unsigned first, unsigned last) {
    if (first > last) return;
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    if (close_range(first, last, 0) == 0) return;
#endif
    const long open_max = sysconf(_SC_OPEN_MAX);
    const unsigned end = std::min<unsigned long>(last, open_max > 0 ? static_cast<unsigned long>(open_max) - 1 : 1023);
    for (unsigned fd = first; fd <= end; ++fd) ::close(static_cast<int>(fd));
}
// Closes every descriptor from 3 on but `a` and `b`.
void close_all_but(int a, int b) {
    unsigned from = 3;
    for (const int keep : {std::min(a, b), std::max(a, b)}) {
        if (keep < static_cast<int>(from)) continue;
        close_range_of(from, static_cast<unsigned>(keep) - 1);
        from = static_cast<unsigned>(keep) + 1;
    }
    close_range_of(from, ~0U);
}
}  // namespace

bool start_helper(HelperProcess& helper, int (*body)(int in, int out, void* context), void* context) {
    int to[2], from[2];
    if (pipe(to) != 0) return false;
    if (pipe(from) != 0) {
        ::close(to[0]);
        ::close(to[1]);
        return false;
    }
    std::fflush(nullptr);  // nothing buffered is written twice
    const pid_t pid = fork();
    if (pid < 0) {
        for (int fd : {to[0], to[1], from[0], from[1]}) ::close(fd);
        return false;
    }
    if (pid == 0) {
        // The helper keeps its own two ends only: a pipe end of another
        // helper held open here would keep that one from seeing its end.
        close_all_but(to[0], from[1]);
        signal(SIGPIPE, SIG_IGN);
        _exit(body(to[0], from[1], context));
    }
    ::close(to[0]);
    ::close(from[1]);
    helper.pid = pid;
    helper.to = to[1];
    helper.from = from[0];
    // A helper that has ended makes a write fail, not end this process.
    signal(SIGPIPE, SIG_IGN);
    return true;
}

int wait_readable(const int* fds, int count) {
    std::vector<pollfd> polls(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) polls[static_cast<std::size_t>(i)] = {fds[i], POLLIN, 0};
    for (;;) {
        if (interrupt_requested()) return -1;
        const int n = poll(polls.data(), polls.size(), 200);
        if (n < 0 && errno != EINTR) return -1;
        for (int i = 0; n > 0 && i < count; ++i) {
            if (polls[static_cast<std::size_t>(i)].revents) return i;
        }
    }
}

void ask_helper_to_stop(const HelperProcess& helper) {
    if (helper.pid > 0) kill(static_cast<pid_t>(helper.pid), SIGTERM);
}

bool readable_within(int fd, int milliseconds) {
    pollfd p{fd, POLLIN, 0};
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        const int n = poll(&p, 1, static_cast<int>(std::max<long long>(left.count(), 0)));
        if (n > 0) return true;
        if (n == 0 || errno != EINTR) return false;
    }
}

void kill_helper(const HelperProcess& helper) {
    if (helper.pid > 0) kill(static_cast<pid_t>(helper.pid), SIGKILL);
}

void end_helper(HelperProcess& helper, bool terminate) {
    if (helper.pid <= 0) return;
    if (terminate) kill(static_cast<pid_t>(helper.pid), SIGTERM);
    if (helper.to >= 0) ::close(helper.to);
    if (helper.from >= 0) ::close(helper.from);
    int status = 0;
    while (waitpid(static_cast<pid_t>(helper.pid), &status, 0) < 0 && errno == EINTR) {}
    helper = HelperProcess{};
}

bool read_pipe(int fd, void* data, std::size_t count) {
    auto* p = static_cast<char*>(data);
    while (count > 0) {
        const ssize_t n = ::read(fd, p, count);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        count -= static_cast<std::size_t>(n);
    }
    return true;
}

bool write_pipe(int fd, const void* data, std::size_t count) {
    const auto* p = static_cast<const char*>(data);
    while (count > 0) {
        const ssize_t n = ::write(fd, p, count);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        count -= static_cast<std::size_t>(n);
    }
    return true;
}

std::int64_t modified_seconds(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? static_cast<std::int64_t>(st.st_mtime) : INT64_MIN;
}

bool set_modified_seconds(const std::string& path, std::int64_t seconds) {
    timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;  // the access time stays
    times[1].tv_sec = static_cast<time_t>(seconds);
    times[1].tv_nsec = 0;
    return utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

}  // namespace verbatra::platform
