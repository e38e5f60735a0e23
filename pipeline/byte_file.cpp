#include "pipeline/byte_file.h"

#include <cerrno>

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
    memory_ = other.memory_;
    mem_size_ = other.mem_size_;
    mem_limit_ = other.mem_limit_;
    mem_name_ = std::move(other.mem_name_);
    mem_spill_ = other.mem_spill_;
    other.memory_ = false;
    append_ = other.append_;
    error_ = other.error_;
    errno_ = other.errno_;
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

ByteFile ByteFile::in_memory(std::string (*spill_name)(const std::string&), const std::string& name,
                             std::size_t limit) {
    ByteFile file;
    file.memory_ = true;
    file.mem_name_ = name;
    file.mem_spill_ = spill_name;
    file.mem_limit_ = limit;
    file.capacity_ = 4096 < limit ? 4096 : (limit ? limit : 1);
    return file;
}

std::size_t ByteFile::memory_size() {
    if (wend_) {
        char8_t* last = wmax_ > wpos_ ? wmax_ : wpos_;
        const auto written = static_cast<std::size_t>(last - buf_.get());
        if (written > mem_size_) mem_size_ = written;
    }
    return mem_size_;
}

// Makes room for `wanted` bytes in all, keeping the contents and the
// position; false when the file must move to disk instead.
bool ByteFile::grow_memory(std::size_t wanted) {
    if (wanted > mem_limit_) return false;
    std::size_t capacity = capacity_;
    while (capacity < wanted) capacity = capacity * 2 < mem_limit_ ? capacity * 2 : mem_limit_;
    if (buf_ && capacity == capacity_) return true;
    SkewedBuffer bigger;
    if (!bigger.allocate(capacity + kReadSlack, 0, kReadSlack)) stop_with_message("");
    const std::size_t size = memory_size();
    if (buf_) std::memcpy(bigger.get(), buf_.get(), size);
    const auto at = [&](char8_t* p) { return p ? bigger.get() + (p - buf_.get()) : nullptr; };
    rpos_ = at(rpos_);
    rend_ = at(rend_);
    wpos_ = at(wpos_);
    wmax_ = at(wmax_);
    wend_ = wend_ ? bigger.get() + capacity : nullptr;
    buf_ = std::move(bigger);
    capacity_ = capacity;
    return true;
}

// Moves a memory file that outgrew its limit to its real file, at the same
// position, and leaves it writing there.
void ByteFile::spill() {
    const long here = tell();
    const std::size_t size = memory_size();
    const std::string name = mem_spill_(mem_name_);
    fd_ = platform::open_file(name, "w+b");
    if (fd_ < 0) stop_cannot_open(name);
    memory_ = false;
    if (size > 0 && platform::write_file(fd_, buf_.get(), size) < 0) fail_with(errno);
    platform::seek_file(fd_, here, SEEK_SET);
    base_ = here;
    rpos_ = rend_ = wpos_ = wend_ = wmax_ = nullptr;
}

bool ByteFile::ensure_buffer() {
    if (buf_) return true;
    // The slack lets a loop read whole blocks past the last byte it uses.
    if (!buf_.allocate(capacity_ + kReadSlack, skew(), kReadSlack)) fail_with(ENOMEM);
    return static_cast<bool>(buf_);
}

void ByteFile::set_full_buffering(std::size_t size) {
    if (memory_ || (size == capacity_ && buf_)) return;
    flush();
    long here = tell();
    buf_.reset();
    capacity_ = size ? size : 1;
    rpos_ = rend_ = wpos_ = wend_ = wmax_ = nullptr;
    base_ = here;
    // Reading ahead may have left the system's position past `here`.
    if (fd_ >= 0 && here >= 0) platform::seek_file(fd_, here, SEEK_SET);
}

bool ByteFile::flush() {
    if (memory_) {
        memory_size();
        return !error_;
    }
    if (!wend_) return !error_;  // not writing
    char8_t* last = wmax_ > wpos_ ? wmax_ : wpos_;
    std::size_t pending = static_cast<std::size_t>(last - buf_.get());
    if (pending > 0 && platform::write_file(fd_, buf_.get(), pending) < 0) fail_with(errno);
    if (write_behind_ && (unsynced_ += pending) >= (4u << 20)) {
        platform::start_writeback(fd_);
        unsynced_ = 0;
    }
    if (last != wpos_) platform::seek_file(fd_, base_ + (wpos_ - buf_.get()), SEEK_SET);
    base_ += wpos_ - buf_.get();
    wpos_ = wend_ = wmax_ = nullptr;
    return !error_;
}

int ByteFile::underflow() {
    if (platform::interrupt_requested()) stop_with_message(kInterrupted);
    if (memory_) {
        // Everything is in the buffer: read on from where the file stands.
        const auto here = static_cast<std::size_t>(tell());
        const std::size_t size = memory_size();
        if (!buf_ || here >= size) return kEnd;
        wpos_ = wend_ = wmax_ = nullptr;
        base_ = 0;
        rpos_ = buf_.get() + here;
        rend_ = buf_.get() + size;
        return *rpos_++;
    }
    if (fd_ < 0 || error_ || !ensure_buffer()) return kEnd;
    if (wend_) {
        flush();
    } else if (rend_) {
        base_ += rend_ - buf_.get();
    }
    long n = platform::read_file(fd_, buf_.get(), capacity_);
    if (n <= 0) {
        if (n < 0) fail_with(errno);
        rpos_ = rend_ = buf_.get();
        return kEnd;
    }
    rpos_ = buf_.get();
    rend_ = buf_.get() + n;
    return *rpos_++;
}

bool ByteFile::begin_writing() {
    if (platform::interrupt_requested()) stop_with_message(kInterrupted);
    if (memory_) {
        // The write window is the whole buffer from where the file stands;
        // a full one grows, or the file moves to disk.
        const auto here = static_cast<std::size_t>(tell());
        const std::size_t size = memory_size();
        if (!buf_ || here >= capacity_) {
            const std::size_t wanted = here + 1 > capacity_ ? here + 1 : capacity_;
            if (!grow_memory(wanted)) {
                spill();
                return begin_writing();
            }
        }
        rpos_ = rend_ = nullptr;
        base_ = 0;
        wpos_ = buf_.get() + here;
        wend_ = buf_.get() + capacity_;
        wmax_ = buf_.get() + size;
        return true;
    }
    if (fd_ < 0 || error_ || !ensure_buffer()) return false;
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
    return true;
}

void ByteFile::overflow(std::uint8_t byte) {
    if (begin_writing()) *wpos_++ = static_cast<char8_t>(byte);
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
    if (memory_ && position >= 0) {
        const std::size_t size = memory_size();
        const auto at = static_cast<std::size_t>(position);
        if (at > size) {
            // Past the end: the gap reads as zeros, as in a file.
            if (!grow_memory(at)) {
                spill();
                return seek_to(position);
            }
            std::memset(buf_.get() + size, 0, at - size);
            mem_size_ = at;
        }
        wpos_ = wend_ = wmax_ = nullptr;
        rpos_ = rend_ = nullptr;
        base_ = position;  // where the next get or put starts
        return true;
    }
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
    if (memory_) return static_cast<long>(memory_size());
    if (fd_ < 0) return 0;
    flush();
    long long here = platform::seek_file(fd_, 0, SEEK_CUR);
    long long end = platform::seek_file(fd_, 0, SEEK_END);
    platform::seek_file(fd_, here, SEEK_SET);
    return static_cast<long>(end);
}

bool ByteFile::truncate_here() {
    const long here = tell();
    if (memory_) {
        seek_to(here);
        mem_size_ = static_cast<std::size_t>(here);
        return true;
    }
    if (!seek_to(here) || !flush()) return false;
    rpos_ = rend_ = wpos_ = wend_ = wmax_ = nullptr;
    base_ = here;
    platform::seek_file(fd_, here, SEEK_SET);
    return platform::truncate_file(fd_, here);
}

bool ByteFile::close() {
    if (memory_) {
        memory_ = false;
        buf_.reset();
        rpos_ = rend_ = wpos_ = wend_ = wmax_ = nullptr;
        return !error_;
    }
    if (fd_ < 0) return true;
    bool ok = flush();
    if (!platform::close_file(fd_)) {
        fail_with(errno);
        ok = false;
    }
    fd_ = -1;
    buf_.reset();
    rpos_ = rend_ = wpos_ = wend_ = wmax_ = nullptr;
    return ok && !error_;
}

}  // namespace verbatra
