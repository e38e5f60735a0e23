#include "pipeline/byte_file.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "pipeline/fatal.h"
#include "platform/platform.h"

namespace verbatra {

ByteFile& ByteFile::operator=(ByteFile&& other) noexcept {
    if (this != &other) {
        close();
        take(other);
    }
    return *this;
}

void ByteFile::take(ByteFile& other) noexcept {
    fd_ = other.fd_;
    append_ = other.append_;
    error_ = other.error_;
    capacity_ = other.capacity_;
    buf_ = std::move(other.buf_);
    base_ = other.base_;
    rpos_ = other.rpos_;
    rend_ = other.rend_;
    wpos_ = other.wpos_;
    wend_ = other.wend_;
    wmax_ = other.wmax_;
    other.fd_ = -1;
    other.rpos_ = other.rend_ = other.wpos_ = other.wend_ = other.wmax_ = nullptr;
}

ByteFile ByteFile::open(const std::string& name, const char* mode) {
    ByteFile file;
    file.fd_ = platform::open_file(name, mode);
    file.append_ = mode[0] == 'a';
    return file;
}

bool ByteFile::ensure_buffer() {
    if (buf_) return true;
    buf_.reset(new (std::nothrow) char8_t[capacity_]);
    if (!buf_) error_ = true;
    return buf_ != nullptr;
}

void ByteFile::set_full_buffering(std::size_t size) {
    if (size == capacity_ && buf_) return;
    flush();
    long here = tell();
    buf_.reset();
    capacity_ = size ? size : 1;
    rpos_ = rend_ = wpos_ = wend_ = wmax_ = nullptr;
    base_ = here;
}

bool ByteFile::flush() {
    if (!wend_) return !error_;  // not writing
    char8_t* last = wmax_ > wpos_ ? wmax_ : wpos_;
    std::size_t pending = static_cast<std::size_t>(last - buf_.get());
    if (pending > 0 && platform::write_file(fd_, buf_.get(), pending) < 0) error_ = true;
    if (last != wpos_) platform::seek_file(fd_, base_ + (wpos_ - buf_.get()), SEEK_SET);
    base_ += wpos_ - buf_.get();
    wpos_ = wend_ = wmax_ = nullptr;
    return !error_;
}

int ByteFile::underflow() {
    if (platform::interrupt_requested()) stop_with_message(kInterrupted);
    if (fd_ < 0 || error_ || !ensure_buffer()) return kEnd;
    if (wend_) {
        flush();
    } else if (rend_) {
        base_ += rend_ - buf_.get();
    }
    long n = platform::read_file(fd_, buf_.get(), capacity_);
    if (n <= 0) {
        if (n < 0) error_ = true;
        rpos_ = rend_ = buf_.get();
        return kEnd;
    }
    rpos_ = buf_.get();
    rend_ = buf_.get() + n;
    return *rpos_++;
}

void ByteFile::overflow(std::uint8_t byte) {
    if (platform::interrupt_requested()) stop_with_message(kInterrupted);
    if (fd_ < 0 || error_ || !ensure_buffer()) return;
    if (wend_) {
        flush();
    } else if (rend_) {
        // Switching from reading to writing: the file position goes back
        // to where the reader stands.
        base_ += rpos_ - buf_.get();
        platform::seek_file(fd_, base_, SEEK_SET);
        rpos_ = rend_ = nullptr;
    }
    if (append_) base_ = platform::seek_file(fd_, 0, SEEK_END);
    wpos_ = buf_.get();
    wend_ = buf_.get() + capacity_;
    *wpos_++ = static_cast<char8_t>(byte);
}

void ByteFile::put_text(const char* text) {
    while (*text) put(static_cast<std::uint8_t>(*text++));
}

std::size_t ByteFile::read(void* data, std::size_t count) {
    auto* out = static_cast<std::uint8_t*>(data);
    std::size_t done = 0;
    while (done < count) {
        if (rpos_ < rend_) {
            std::size_t n = static_cast<std::size_t>(rend_ - rpos_);
            if (n > count - done) n = count - done;
            std::memcpy(out + done, rpos_, n);
            rpos_ += n;
            done += n;
            continue;
        }
        int b = underflow();
        if (b == kEnd) break;
        out[done++] = static_cast<std::uint8_t>(b);
    }
    return done;
}

std::size_t ByteFile::write(const void* data, std::size_t count) {
    const auto* in = static_cast<const std::uint8_t*>(data);
    for (std::size_t i = 0; i < count; ++i) put(in[i]);
    return error_ ? 0 : count;
}

long ByteFile::tell() const {
    if (rend_) return static_cast<long>(base_ + (rpos_ - buf_.get()));
    if (wend_) return static_cast<long>(base_ + (wpos_ - buf_.get()));
    return static_cast<long>(base_);
}

bool ByteFile::seek_to(long position) {
    if (fd_ < 0 || position < 0) return false;
    if (rend_ && position >= base_ && position <= base_ + (rend_ - buf_.get())) {
        rpos_ = buf_.get() + (position - base_);  // inside what was read
        return true;
    }
    if (wend_ && !append_ && position >= base_ && position <= base_ + (wpos_ - buf_.get())) {
        // A step back inside what is still buffered (accent composition
        // takes back one byte): keep the bytes after it for the flush.
        if (wpos_ > wmax_) wmax_ = wpos_;
        wpos_ = buf_.get() + (position - base_);
        return true;
    }
    flush();
    if (platform::seek_file(fd_, position, SEEK_SET) < 0) return false;
    base_ = position;
    rpos_ = rend_ = wpos_ = wend_ = wmax_ = nullptr;
    return true;
}

bool ByteFile::seek_relative(long offset) { return seek_to(tell() + offset); }

long ByteFile::size() {
    if (fd_ < 0) return 0;
    flush();
    long long here = platform::seek_file(fd_, 0, SEEK_CUR);
    long long end = platform::seek_file(fd_, 0, SEEK_END);
    platform::seek_file(fd_, here, SEEK_SET);
    return static_cast<long>(end);
}

bool ByteFile::truncate_here() {
    const long here = tell();
    if (!seek_to(here) || !flush()) return false;
    rpos_ = rend_ = wpos_ = wend_ = wmax_ = nullptr;
    base_ = here;
    platform::seek_file(fd_, here, SEEK_SET);
    return platform::truncate_file(fd_, here);
}

bool ByteFile::close() {
    if (fd_ < 0) return true;
    bool ok = flush();
    if (!platform::close_file(fd_)) ok = false;
    fd_ = -1;
    buf_.reset();
    rpos_ = rend_ = wpos_ = wend_ = wmax_ = nullptr;
    return ok && !error_;
}

}  // namespace verbatra
