// A buffered sequential byte file. Readers and writers move through their
// files one byte at a time, so get() and put() are inline and unlocked; the
// file closes itself when the object goes away, on every path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace verbatra {

#if defined(_WIN32)
#define VERBATRA_GETC _getc_nolock
#define VERBATRA_PUTC _putc_nolock
#else
#define VERBATRA_GETC getc_unlocked
#define VERBATRA_PUTC putc_unlocked
#endif

class ByteFile {
public:
    static constexpr int kEnd = EOF;
    // The buffer size that the buffering flags of the format tables ask for.
    static constexpr std::size_t kBufferSize = 5120;

    ByteFile() = default;
    ~ByteFile() { close(); }
    ByteFile(ByteFile&& other) noexcept : file_(other.file_) { other.file_ = nullptr; }
    ByteFile& operator=(ByteFile&& other) noexcept;
    ByteFile(const ByteFile&) = delete;
    ByteFile& operator=(const ByteFile&) = delete;

    // Opens `name` in a binary stdio mode ("rb", "r+b", "w+b", "a+b", and
    // "w+bx" for a file that must not exist yet). Check is_open() after.
    static ByteFile open(const std::string& name, const char* mode);

    bool is_open() const { return file_ != nullptr; }

    // The next byte, 0..255, or kEnd.
    int get() { return VERBATRA_GETC(file_); }
    void put(std::uint8_t byte) { VERBATRA_PUTC(byte, file_); }
    // Pushes back the byte just read, so the next get() returns it again.
    void unget(int byte) { std::ungetc(byte, file_); }
    void put_text(const char* text);
    std::size_t read(void* data, std::size_t count);
    std::size_t write(const void* data, std::size_t count);

    bool seek_relative(long offset);
    bool seek_to(long position);
    void rewind();
    long tell() const;
    long size();  // keeps the position

    // Full buffering with a buffer of `size` bytes; call before the first I/O.
    void set_full_buffering(std::size_t size = kBufferSize);

    // True once any read or write on the file has failed.
    bool failed() const;
    // Flushes and closes; false when anything written could not be stored.
    bool close();

    std::FILE* handle() const { return file_; }

private:
    explicit ByteFile(std::FILE* f) : file_(f) {}
    std::FILE* file_ = nullptr;
};

}  // namespace verbatra
