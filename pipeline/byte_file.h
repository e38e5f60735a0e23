// A buffered byte file. Readers and writers move through their files one
// byte at a time, so get() and put() are inline and touch only the buffer;
// the file closes itself when the object goes away, on every path.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <cstring>
#include <new>
#include <string>

namespace verbatra {

// A buffer whose first byte lies some way into its allocation, so that the
// buffers of two files a loop reads and writes together do not start at the
// same offset in a page (the processor then mistakes their addresses for
// one another and waits).
class SkewedBuffer {
public:
    // `size` bytes, left as they come (a large buffer is never touched in
    // full for a small file), but for the last `zeroed`.
    bool allocate(std::size_t size, std::size_t skew, std::size_t zeroed) {
        storage_.reset(new (std::nothrow) char8_t[size + skew]);
        if (storage_) std::memset(storage_.get() + skew + size - zeroed, 0, zeroed);
        data_ = storage_ ? storage_.get() + skew : nullptr;
        return data_ != nullptr;
    }
    void reset() {
        storage_.reset();
        data_ = nullptr;
    }
    char8_t* get() const { return data_; }
    explicit operator bool() const { return data_ != nullptr; }

private:
    std::unique_ptr<char8_t[]> storage_;
    char8_t* data_ = nullptr;
};

class ByteFile {
public:
    static constexpr int kEnd = -1;
    // The unit of buffering that the flags of the format tables ask for.
    static constexpr std::size_t kBufferSize = 5120;
    // What a flag gives: large enough that a conversion spends its time on
    // the bytes, not on system calls.
    static constexpr std::size_t kFlaggedBufferSize = 64 * kBufferSize;
    // The buffer a file has when no flag asks for more.
    static constexpr std::size_t kDefaultBufferSize = 64 * 1024;

    ByteFile() = default;
    ~ByteFile() { close(); }
    ByteFile(ByteFile&& other) noexcept { take(other); }
    ByteFile& operator=(ByteFile&& other) noexcept;
    ByteFile(const ByteFile&) = delete;
    ByteFile& operator=(const ByteFile&) = delete;

    // Opens `name` in a binary stdio mode ("rb", "r+b", "w+b", "a+b", and
    // "w+bx" for a file that must not exist yet). Check is_open() after;
    // errno tells why it failed.
    static ByteFile open(const std::string& name, const char* mode);

    // A new, empty file kept in memory: no file system work for the small
    // pieces a conversion sets aside. Once it outgrows `limit` bytes it
    // moves to the file `spill_name()` gives (then created with "w+b"; a
    // fatal stop when it cannot be) and goes on there.
    static ByteFile in_memory(std::string (*spill_name)(const std::string&), const std::string& name,
                              std::size_t limit = kMemoryLimit);
    static constexpr std::size_t kMemoryLimit = 1 << 20;
    // Bytes past the end of every buffer that may be read (never used):
    // ByteIn::window() guarantees them.
    static constexpr std::size_t kReadSlack = 64;

    bool is_open() const { return fd_ >= 0 || memory_; }
    bool in_memory() const { return memory_; }

    // The next byte, 0..255, or kEnd.
    int get() {
        if (rpos_ < rend_) return *rpos_++;
        return underflow();
    }
    void put(std::uint8_t byte) {
        if (wpos_ < wend_) {
            *wpos_++ = static_cast<char8_t>(byte);
            return;
        }
        overflow(byte);
    }
    // Steps back over the byte that get() just returned.
    void unget() {
        if (rend_ && rpos_ > buf_.get()) --rpos_;
    }

    void put_text(const char* text);
    std::size_t read(void* data, std::size_t count);
    std::size_t write(const void* data, std::size_t count);

    bool seek_relative(long offset);
    bool seek_to(long position);
    void rewind() { seek_to(0); }
    long tell() const;
    long size();  // keeps the position

    // Cuts the file off at the current position.
    bool truncate_here();

    // Buffering with a buffer of `size` bytes.
    void set_full_buffering(std::size_t size = kFlaggedBufferSize);

    // Writes out what is buffered; false when it could not be stored.
    bool flush();
    // Has the system start putting what is written on the disk every few
    // megabytes, so that a sync at the end has little left to wait for.
    void write_behind() { write_behind_ = true; }
    // True once any read or write on the file has failed.
    bool failed() const { return error_; }
    // The system's error number of the first failure (0: none, or unknown).
    int error_number() const { return errno_; }
    // Flushes and closes; false when anything written could not be stored.
    bool close();

    int descriptor() const { return fd_; }

private:
    friend class ByteIn;
    friend class ByteOut;

    int underflow();
    void overflow(std::uint8_t byte);
    // Starts a fresh write window, flushing or leaving reading first; false
    // when the file cannot be written.
    bool begin_writing();
    bool ensure_buffer();
    void take(ByteFile& other) noexcept;
    // Memory files (their windows start at buf_, base_ 0, so tell() is the
    // position): the logical size, brought up to date with what the write
    // window wrote; more room; the move to a real file.
    std::size_t memory_size();
    bool grow_memory(std::size_t wanted);
    void spill();

    int fd_ = -1;
    bool memory_ = false;
    bool write_behind_ = false;
    std::size_t unsynced_ = 0;
    std::size_t mem_size_ = 0;
    std::size_t mem_limit_ = 0;
    std::string mem_name_;
    std::string (*mem_spill_)(const std::string&) = nullptr;
    bool append_ = false;
    bool error_ = false;
    int errno_ = 0;
    void fail_with(int err) {
        if (!error_) errno_ = err;
        error_ = true;
    }
    std::size_t capacity_ = kDefaultBufferSize;
    // char8_t, unlike unsigned char, cannot alias the pointers below, so a
    // hot loop keeps them in registers across its stores.
    SkewedBuffer buf_;
    std::size_t skew() const { return static_cast<unsigned>(fd_) % 8 * 512; }
    long long base_ = 0;  // file offset of buf_[0]
    char8_t* rpos_ = nullptr;
    char8_t* rend_ = nullptr;  // read window [buf_, rend_) while reading
    char8_t* wpos_ = nullptr;
    char8_t* wend_ = nullptr;  // write window [buf_, wend_) while writing
    char8_t* wmax_ = nullptr;  // the furthest byte written, after a step back
};

// Cursors for hot loops. A cursor holds the file's buffer position in
// locals the compiler keeps in registers, so a loop that reads one file and
// writes another does not reload and store both files' positions for every
// byte. While a cursor lives, use its file only through it (or sync() first).
class ByteIn {
public:
    explicit ByteIn(ByteFile& file) : file_(file), pos_(file.rpos_), end_(file.rend_) {}
    ~ByteIn() { sync(); }
    ByteIn(const ByteIn&) = delete;
    ByteIn& operator=(const ByteIn&) = delete;

    int get() { return pos_ < end_ ? *pos_++ : refill(); }
    // The bytes buffered and not yet taken, reading more when there are
    // none; none at the end of the file. Take them with skip(). The
    // ByteFile::kReadSlack bytes after them may be read, not used.
    const std::uint8_t* window(std::size_t& count) {
        if (pos_ == end_ && refill() != ByteFile::kEnd) --pos_;
        count = static_cast<std::size_t>(end_ - pos_);
        return reinterpret_cast<const std::uint8_t*>(pos_);
    }
    void skip(std::size_t count) { pos_ += count; }
    // Steps back over the byte that get() just returned.
    void unget() {
        sync();
        file_.unget();
        pos_ = file_.rpos_;
    }
    void sync() { file_.rpos_ = pos_; }

private:
    int refill() {
        sync();
        int c = file_.underflow();
        pos_ = file_.rpos_;
        end_ = file_.rend_;
        return c;
    }

    ByteFile& file_;
    char8_t* pos_;
    char8_t* end_;
};

class ByteOut {
public:
    explicit ByteOut(ByteFile& file) : file_(file), pos_(file.wpos_), end_(file.wend_) {}
    ~ByteOut() { sync(); }
    ByteOut(const ByteOut&) = delete;
    ByteOut& operator=(const ByteOut&) = delete;

    void put(std::uint8_t byte) {
        if (pos_ < end_) *pos_++ = static_cast<char8_t>(byte);
        else spill(byte);
    }
    void put_text(const char* text) {
        while (*text) put(static_cast<std::uint8_t>(*text++));
    }
    void put_bytes(const std::uint8_t* bytes, std::size_t count) {
        while (count > 0) {
            const std::size_t n = std::min(count, static_cast<std::size_t>(end_ - pos_));
            if (n == 0) {  // the buffer is full: put() writes it out
                put(*bytes++);
                --count;
                continue;
            }
            std::memcpy(pos_, bytes, n);
            pos_ += n;
            bytes += n;
            count -= n;
        }
    }
    // The write position and, in `space`, the room behind it: at least
    // `minimum` bytes when the buffer is that large (a buffer with less room
    // left is written out first). `space` is 0 when the file cannot be
    // written. Write through the pointer, then commit() where it ended.
    std::uint8_t* room(std::size_t minimum, std::size_t& space) {
        if (static_cast<std::size_t>(end_ - pos_) < minimum) {
            sync();
            if (file_.begin_writing()) {
                pos_ = file_.wpos_;
                end_ = file_.wend_;
            } else {
                end_ = pos_;
            }
        }
        space = static_cast<std::size_t>(end_ - pos_);
        return reinterpret_cast<std::uint8_t*>(pos_);
    }
    void commit(std::uint8_t* end) { pos_ = reinterpret_cast<char8_t*>(end); }
    // Moves the write position by `offset` bytes (a step back, mostly).
    void seek_relative(long offset) {
        sync();
        file_.seek_relative(offset);
        pos_ = file_.wpos_;
        end_ = file_.wend_;
    }
    void sync() { file_.wpos_ = pos_; }

private:
    void spill(std::uint8_t byte) {
        sync();
        file_.overflow(byte);
        pos_ = file_.wpos_;
        end_ = file_.wend_;
    }

    ByteFile& file_;
    char8_t* pos_;
    char8_t* end_;
};

}  // namespace verbatra
