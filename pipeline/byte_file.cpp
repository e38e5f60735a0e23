#include "pipeline/byte_file.h"

namespace verbatra {

ByteFile& ByteFile::operator=(ByteFile&& other) noexcept {
    if (this != &other) {
        close();
        file_ = other.file_;
        other.file_ = nullptr;
    }
    return *this;
}

ByteFile ByteFile::open(const std::string& name, const char* mode) {
    return ByteFile(std::fopen(name.c_str(), mode));
}

void ByteFile::put_text(const char* text) {
    while (*text) put(static_cast<std::uint8_t>(*text++));
}

std::size_t ByteFile::read(void* data, std::size_t count) { return std::fread(data, 1, count, file_); }

std::size_t ByteFile::write(const void* data, std::size_t count) {
    return std::fwrite(data, 1, count, file_);
}

bool ByteFile::seek_relative(long offset) { return std::fseek(file_, offset, SEEK_CUR) == 0; }
bool ByteFile::seek_to(long position) { return std::fseek(file_, position, SEEK_SET) == 0; }
void ByteFile::rewind() { std::fseek(file_, 0, SEEK_SET); }
long ByteFile::tell() const { return std::ftell(file_); }

long ByteFile::size() {
    long here = std::ftell(file_);
    std::fseek(file_, 0, SEEK_END);
    long end = std::ftell(file_);
    std::fseek(file_, here, SEEK_SET);
    return end;
}

void ByteFile::set_full_buffering(std::size_t size) { std::setvbuf(file_, nullptr, _IOFBF, size); }

bool ByteFile::failed() const { return file_ && std::ferror(file_) != 0; }

bool ByteFile::close() {
    if (!file_) return true;
    bool ok = std::ferror(file_) == 0;
    if (std::fflush(file_) != 0) ok = false;
    if (std::fclose(file_) != 0) ok = false;
    file_ = nullptr;
    return ok;
}

}  // namespace verbatra
