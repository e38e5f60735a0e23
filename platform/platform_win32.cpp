// The operating-system layer on Windows. Names are UTF-8 inside the
// program and UTF-16 at every system call (the wide functions), so names
// outside the Windows code page come through unchanged.
#include "platform/platform.h"
#include "platform/utf16.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace verbatra::platform {

namespace {


DWORD attributes_of(const std::string& path) { return GetFileAttributesW(wide(path).c_str()); }

std::atomic<bool> g_interrupted{false};

BOOL WINAPI note_interrupt(DWORD) {
    g_interrupted = true;
    return TRUE;
}

unsigned g_counter = 0;  // for unique names within this process

}  // namespace

std::size_t file_name_start(const std::string& path) {
    const std::size_t at = path.find_last_of("/\\:");
    return at == std::string::npos ? 0 : at + 1;
}

std::string join_path(const std::string& dir, const std::string& name) {
    if (dir.empty()) return name;
    const char last = dir.back();
    if (last == '\\' || last == '/' || last == ':') return dir + name;
    return dir + "\\" + name;
}

struct DirSearch::Impl {
    HANDLE handle = INVALID_HANDLE_VALUE;
    std::string pattern;  // the wildcard part
    WIN32_FIND_DATAW data{};
    bool have = false;
};

DirSearch::DirSearch() : impl_(std::make_unique<Impl>()) {}
DirSearch::~DirSearch() { close(); }

bool DirSearch::open(const std::string& pattern) {
    close();
    impl_->pattern = pattern.substr(file_name_start(pattern));
    impl_->handle = FindFirstFileExW(wide(pattern).c_str(), FindExInfoBasic, &impl_->data, FindExSearchNameMatch,
                                     nullptr, 0);
    if (impl_->handle == INVALID_HANDLE_VALUE) {
        // No match is an empty search, not a directory that cannot be read.
        return GetLastError() == ERROR_FILE_NOT_FOUND;
    }
    impl_->have = true;
    return true;
}

bool DirSearch::next(DirEntry& entry) {
    while (impl_->have) {
        const WIN32_FIND_DATAW& d = impl_->data;
        entry.name = narrow(d.cFileName, std::wcslen(d.cFileName));
        entry.attributes = 0;
        entry.size = static_cast<std::uint64_t>(d.nFileSizeHigh) << 32 | d.nFileSizeLow;
        if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) entry.attributes |= kAttrDirectory;
        // Only name-surrogate reparse points are links; a cloud placeholder
        // folder is a reparse point too, and is walked into.
        if ((d.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && IsReparseTagNameSurrogate(d.dwReserved0)) {
            entry.attributes |= kAttrLink;
        }
        impl_->have = FindNextFileW(impl_->handle, &impl_->data) != 0;
        // The system also matches the short 8.3 aliases ("*.txt" finds
        // "a.txt1"); every long name is matched again as the POSIX layer does.
        if (wildcard_match(impl_->pattern, entry.name)) return true;
    }
    return false;
}

void DirSearch::close() {
    if (impl_->handle != INVALID_HANDLE_VALUE) FindClose(impl_->handle);
    impl_->handle = INVALID_HANDLE_VALUE;
    impl_->have = false;
}

std::string temp_directory() {
    wchar_t buffer[MAX_PATH + 1];
    const DWORD n = GetTempPathW(MAX_PATH + 1, buffer);
    std::string dir = n == 0 ? std::string(".") : narrow(buffer, n);
    while (dir.size() > 3 && (dir.back() == '\\' || dir.back() == '/')) dir.pop_back();
    return dir;
}

std::string make_private_directory(const std::string& prefix) {
    for (int tries = 0; tries < 100; ++tries) {
        const std::string dir = join_path(temp_directory(), prefix + std::to_string(GetCurrentProcessId()) + "-" +
                                                                std::to_string(++g_counter));
        if (CreateDirectoryW(wide(dir).c_str(), nullptr)) return dir;
        if (GetLastError() != ERROR_ALREADY_EXISTS) return {};
    }
    return {};
}

std::string temp_file_name(const std::string& dir, const std::string& prefix) {
    for (int tries = 0; tries < 100; ++tries) {
        const std::string path = join_path(dir, prefix + std::to_string(GetCurrentProcessId()) + "-" +
                                                    std::to_string(++g_counter));
        HANDLE h = CreateFileW(wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            CloseHandle(h);
            return path;
        }
        if (GetLastError() != ERROR_FILE_EXISTS) {
            errno = EACCES;
            return {};
        }
    }
    errno = EEXIST;
    return {};
}

std::string current_directory() {
    const DWORD n = GetCurrentDirectoryW(0, nullptr);
    std::wstring w(n, L'\0');
    const DWORD got = GetCurrentDirectoryW(n, w.data());
    w.resize(got);
    return narrow(w);
}

bool change_directory(const std::string& path) { return SetCurrentDirectoryW(wide(path).c_str()) != 0; }

unsigned long process_id() { return GetCurrentProcessId(); }

bool process_alive(unsigned long pid) {
    HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
    if (!h) return GetLastError() == ERROR_ACCESS_DENIED;
    const bool running = WaitForSingleObject(h, 0) == WAIT_TIMEOUT;
    CloseHandle(h);
    return running;
}

std::string host_name() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    if (!GetComputerNameW(name, &size)) return "host";
    return narrow(name, size);
}

void show_busy_cursor(int resource) {
    HCURSOR cursor = LoadCursorW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(resource));
    if (cursor) SetCursor(cursor);
    // Let the window system see that the program is alive: paint and
    // timer messages go on; input waits for the end of the batch.
    MSG m;
    while (PeekMessageW(&m, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE)) DispatchMessageW(&m);
}

void install_interrupt_handler() { SetConsoleCtrlHandler(note_interrupt, TRUE); }
// Asked at every buffer refill and flush, so also the place to show the
// window system, at most every 250 ms, that a long conversion is alive.
bool interrupt_requested() {
    static ULONGLONG last = 0;
    const ULONGLONG now = GetTickCount64();
    if (now - last >= 250) {
        last = now;
        MSG m;
        while (PeekMessageW(&m, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE)) DispatchMessageW(&m);
    }
    return g_interrupted;
}

int interrupt_signal() { return g_interrupted ? 2 : 0; }  // Ctrl-C, as SIGINT

bool stderr_is_terminal() { return _isatty(_fileno(stderr)) != 0; }

int open_file(const std::string& path, const char* mode) {
    int flags = _O_BINARY | _O_NOINHERIT;
    const bool plus = std::strchr(mode, '+') != nullptr;
    switch (mode[0]) {
        case 'r': flags |= plus ? _O_RDWR : _O_RDONLY; break;
        case 'w': flags |= (plus ? _O_RDWR : _O_WRONLY) | _O_CREAT | _O_TRUNC; break;
        case 'a': flags |= (plus ? _O_RDWR : _O_WRONLY) | _O_CREAT | _O_APPEND; break;
        default: errno = EINVAL; return -1;
    }
    if (std::strchr(mode, 'x')) flags |= _O_EXCL;  // "exists" comes back as EEXIST
    return _wopen(wide(path).c_str(), flags, _S_IREAD | _S_IWRITE);
}

long read_file(int fd, void* data, std::size_t count) {
    const unsigned chunk = count > 0x40000000u ? 0x40000000u : static_cast<unsigned>(count);
    return _read(fd, data, chunk);
}

long write_file(int fd, const void* data, std::size_t count) {
    const char* p = static_cast<const char*>(data);
    std::size_t left = count;
    while (left > 0) {
        const unsigned chunk = left > 0x40000000u ? 0x40000000u : static_cast<unsigned>(left);
        const int n = _write(fd, p, chunk);
        if (n <= 0) return -1;
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return static_cast<long>(count);
}

long long seek_file(int fd, long long offset, int whence) { return _lseeki64(fd, offset, whence); }
bool close_file(int fd) { return _close(fd) == 0; }
bool truncate_file(int fd, long long length) { return _chsize_s(fd, length) == 0; }

bool remove_file(const std::string& path) { return DeleteFileW(wide(path).c_str()) != 0; }
bool rename_no_replace(const std::string& from, const std::string& to) {
    if (MoveFileExW(wide(from).c_str(), wide(to).c_str(), MOVEFILE_WRITE_THROUGH)) return true;
    const DWORD err = GetLastError();
    errno = err == ERROR_ALREADY_EXISTS || err == ERROR_FILE_EXISTS ? EEXIST : EACCES;
    return false;
}

bool remove_directory(const std::string& path) { return RemoveDirectoryW(wide(path).c_str()) != 0; }

bool make_directories(const std::string& path) {
    if (path.empty() || is_directory(path)) return true;
    std::size_t end = path.size();
    while (end > 0 && (path[end - 1] == '/' || path[end - 1] == '\\')) --end;
    const std::size_t slash = path.find_last_of("/\\", end == 0 ? 0 : end - 1);
    // Stop at a drive ("C:") or the root.
    if (slash != std::string::npos && slash > 0 && path[slash - 1] != ':' &&
        !make_directories(path.substr(0, slash))) {
        return false;
    }
    if (CreateDirectoryW(wide(path).c_str(), nullptr)) return true;
    if (GetLastError() == ERROR_ALREADY_EXISTS && is_directory(path)) return true;
    errno = EACCES;
    return false;
}

bool sync_file(int fd) {
    const HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    return h != INVALID_HANDLE_VALUE && FlushFileBuffers(h) != 0;
}

void start_writeback(int) {}
bool sync_file_system(const std::string&) { return false; }

bool sync_path(const std::string& path) {
    const HANDLE h = CreateFileW(wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const bool ok = FlushFileBuffers(h) != 0;
    CloseHandle(h);
    return ok;
}

bool same_file(const std::string& a, const std::string& b) {
    auto id = [](const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
        const HANDLE h = CreateFileW(wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (h == INVALID_HANDLE_VALUE) return false;
        const bool ok = GetFileInformationByHandle(h, &info) != 0;
        CloseHandle(h);
        return ok;
    };
    BY_HANDLE_FILE_INFORMATION x{}, y{};
    return id(a, x) && id(b, y) && x.dwVolumeSerialNumber == y.dwVolumeSerialNumber &&
           x.nFileIndexHigh == y.nFileIndexHigh && x.nFileIndexLow == y.nFileIndexLow;
}

FileKind file_kind(const std::string& path) {
    const DWORD a = attributes_of(path);
    if (a == INVALID_FILE_ATTRIBUTES) return FileKind::Missing;
    if (a & FILE_ATTRIBUTE_DIRECTORY) return FileKind::Directory;
    if (a & FILE_ATTRIBUTE_DEVICE) return FileKind::Other;
    return FileKind::Regular;
}

// A disk file, not a console, a pipe or a device name such as NUL.
bool is_regular_file(int fd) {
    const intptr_t h = _get_osfhandle(fd);
    return h != -1 && GetFileType(reinterpret_cast<HANDLE>(h)) == FILE_TYPE_DISK;
}

bool is_directory(const std::string& path) {
    const DWORD a = attributes_of(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool exists(const std::string& path) { return attributes_of(path) != INVALID_FILE_ATTRIBUTES; }
bool exists_exactly(const std::string& path) { return exists(path); }
// Windows file systems compare names without regard to case themselves.
bool exists_ignoring_case(const std::string& path) { return exists(path); }
void forget_directory_names() {}

int processor_count() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors > 0 ? static_cast<int>(info.dwNumberOfProcessors) : 1;
}

// Windows makes no copy of a running process; conversions run one at a
// time in the program itself.
bool start_helper(HelperProcess&, int (*)(int, int, void*), void*) { return false; }
int wait_readable(const int*, int) { return -1; }
void ask_helper_to_stop(const HelperProcess&) {}
bool readable_within(int, int) { return false; }
void kill_helper(const HelperProcess&) {}
void end_helper(HelperProcess& helper, bool) { helper = HelperProcess{}; }
bool read_pipe(int, void*, std::size_t) { return false; }
bool write_pipe(int, const void*, std::size_t) { return false; }

namespace {
// FILETIME counts 100-nanosecond steps from 1601.
constexpr std::int64_t kFileTimeTo1970 = 116444736000000000LL;
}  // namespace

std::int64_t modified_seconds(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(wide(path).c_str(), GetFileExInfoStandard, &data)) return INT64_MIN;
    const std::int64_t ticks = static_cast<std::int64_t>(data.ftLastWriteTime.dwHighDateTime) << 32 |
                               data.ftLastWriteTime.dwLowDateTime;
    return (ticks - kFileTimeTo1970) / 10000000;
}

bool set_modified_seconds(const std::string& path, std::int64_t seconds) {
    HANDLE h = CreateFileW(wide(path).c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const std::int64_t ticks = seconds * 10000000 + kFileTimeTo1970;
    FILETIME t;
    t.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFF);
    t.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    const bool ok = SetFileTime(h, nullptr, nullptr, &t) != 0;
    CloseHandle(h);
    return ok;
}

}  // namespace verbatra::platform
