// The operating-system layer. Everything the converter needs from the OS
// (directory search, temporary places, the current directory, the busy
// cursor) goes through here, so the pipeline above builds and runs the same
// on Windows and on POSIX systems.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace verbatra::platform {

// Attribute bits as the Windows directory search reports them.
inline constexpr std::uint32_t kAttrVolumeLabel = 0x08;
inline constexpr std::uint32_t kAttrDirectory = 0x10;
// A link (a Windows reparse point). A link to a directory carries both
// bits; a recursive walk never follows it.
inline constexpr std::uint32_t kAttrLink = 0x400;

struct DirEntry {
    std::string name;  // bare name, no directory part
    std::uint32_t attributes = 0;
    std::uint64_t size = 0;  // as the search reports it (Windows); 0 where it reports none
};

// Windows file-name matching: letters compare without regard to case, '*'
// matches any run of characters, '?' any one character, and "*.*" matches
// every name, names without a dot included.
bool wildcard_match(const std::string& pattern, const std::string& name);

// `name` as the Windows search compares names: letters in one case.
std::string folded_name(const std::string& name);

// True when `text` holds '*' or '?'.
bool has_wildcards(const std::string& text);

// A directory search in the manner of find-first / find-next / find-close.
// The pattern may carry a directory part ("docs/*.TXT"); only its last
// component holds wildcards. The search closes itself on destruction.
class DirSearch {
public:
    DirSearch();
    ~DirSearch();
    DirSearch(const DirSearch&) = delete;
    DirSearch& operator=(const DirSearch&) = delete;

    // Starts the search; false when the directory cannot be read.
    bool open(const std::string& pattern);
    // The next matching entry; false at the end.
    bool next(DirEntry& entry);
    void close();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The system's temporary directory, without a trailing separator.
std::string temp_directory();

// Makes a new directory, private to this process, inside the temporary
// directory; its name starts with `prefix`. Empty on failure.
std::string make_private_directory(const std::string& prefix);

// Creates a new empty file with a unique name beginning with `prefix` in
// `dir` and returns its path; empty on failure (errno tells why).
std::string temp_file_name(const std::string& dir, const std::string& prefix);

// This process's number, whether a process of this machine is still
// running, and the machine's name.
unsigned long process_id();
// When `path` was last modified, in seconds since 1970; INT64_MIN when it
// cannot be told.
std::int64_t modified_seconds(const std::string& path);
// Gives `path` the modification time `seconds` since 1970; false when the
// system refuses.
bool set_modified_seconds(const std::string& path, std::int64_t seconds);
bool process_alive(unsigned long pid);
std::string host_name();

// The number of processors this process may use (at least 1).
int processor_count();

// Helper processes for conversions side by side: a copy of this process
// (POSIX fork) that runs `body` with its ends of two pipes and ends with its
// return value. Its files, memory and current directory are those of this
// process at the call. False where the system has no such copies
// (Windows): the caller then works alone.
struct HelperProcess {
    long pid = -1;
    int to = -1;    // what the helper reads
    int from = -1;  // what the helper writes
};
bool start_helper(HelperProcess& helper, int (*body)(int in, int out, void* context), void* context);
// Waits until one of `fds` has something to read or has closed; its index.
// -1 when an interrupt was requested meanwhile.
int wait_readable(const int* fds, int count);
// Asks the helper to stop what it does, as an interrupt would.
void ask_helper_to_stop(const HelperProcess& helper);
// True when `fd` has something to read (or has closed) within
// `milliseconds`, whatever interrupts were requested.
bool readable_within(int fd, int milliseconds);
// Ends the helper at once (it had its chance to stop by itself).
void kill_helper(const HelperProcess& helper);
// Closes the helper's pipes, with `terminate` asks it to stop (as an
// interrupt does), and waits for it to end.
void end_helper(HelperProcess& helper, bool terminate);
// Reads or writes exactly `count` bytes of a pipe; false at its end or on
// an error.
bool read_pipe(int fd, void* data, std::size_t count);
bool write_pipe(int fd, const void* data, std::size_t count);

// The current directory, and changing it; false when it cannot be entered.
std::string current_directory();
bool change_directory(const std::string& path);

// Shows a cursor resource as the busy cursor and lets the window system
// look at its message queue. A command line has neither, and shows
// progress its own way.
void show_busy_cursor(int resource);

// Ctrl-C and termination requests: once installed, a request is only
// recorded, and the program stops at its next buffer refill or flush, so
// that the conversion in progress can remove what it had written.
void install_interrupt_handler();
bool interrupt_requested();
// The signal that asked for the stop (SIGINT 2, SIGTERM 15, ...), 0 for none.
int interrupt_signal();

// True when standard error is a terminal (not a pipe or a file).
bool stderr_is_terminal();

// Joins a directory and a bare name with the platform's separator.
std::string join_path(const std::string& dir, const std::string& name);

// Offset of the bare file name within a path (after the last separator).
std::size_t file_name_start(const std::string& path);

// Raw files for the byte-file layer. `mode` is a stdio binary mode ("rb",
// "r+b", "w+b", "a+b", with "x" for a file that must not exist yet).
// Returns a descriptor, or -1 with errno set.
int open_file(const std::string& path, const char* mode);
long read_file(int fd, void* data, std::size_t count);         // -1 on error
long write_file(int fd, const void* data, std::size_t count);  // -1 on error
long long seek_file(int fd, long long offset, int whence);     // SEEK_SET/CUR/END
bool close_file(int fd);
bool truncate_file(int fd, long long length);

bool remove_file(const std::string& path);
// Gives the file `from` the name `to` only if no file has that name: false
// with errno EEXIST when one has (nothing is replaced), another errno on
// other failures.
bool rename_no_replace(const std::string& from, const std::string& to);
bool remove_directory(const std::string& path);  // must be empty
// Makes the folder `path` and any folders above it that are missing; true
// when it is there afterwards (errno tells why not).
bool make_directories(const std::string& path);
// Asks the system to put what was written to `fd` on the disk; false when
// it could not.
bool sync_file(int fd);
// Starts putting what was written to `fd` on the disk, without waiting.
void start_writeback(int fd);
// Puts what was written to every file of the file system that holds
// `folder` on the disk (Linux's syncfs); false where the system cannot,
// and the caller syncs file by file.
bool sync_file_system(const std::string& folder);
// sync_file for a file by its name.
bool sync_path(const std::string& path);
// True when both paths name the same file or folder (following links).
bool same_file(const std::string& a, const std::string& b);
bool is_directory(const std::string& path);
// What a path names, following links: only regular files are sources.
enum class FileKind { Missing, Regular, Directory, Other };
FileKind file_kind(const std::string& path);
// True when the open handle `fd` is a regular file (not a FIFO, a device
// or a socket put in the file's place after it was looked at).
bool is_regular_file(int fd);
// True when `path` names something that exists, following links.
bool exists(const std::string& path);
bool exists_exactly(const std::string& path);
// True when the directory of `path` holds a name equal to its file name
// without regard to case, as the Windows search compares names.
bool exists_ignoring_case(const std::string& path);
// Forgets what exists_ignoring_case keeps of the last directory it looked
// at (a folder replaced by another within the file system's clock tick can
// look unchanged): each batch starts from what is on disk.
void forget_directory_names();

}  // namespace verbatra::platform
