#include "pipeline/fatal.h"

#include <cerrno>
#include <cstring>
#include <new>

namespace verbatra {

void stop_with_message(const std::string& text) { throw FatalStop(text); }

void stop_cannot_open(const std::string& name) {
    const int err = errno;
    stop_with_message("cannot open " + name + " (" + std::strerror(err) + ")");
}

ByteFile open_or_stop(const std::string& name, const char* mode) {
    ByteFile file = ByteFile::open(name, mode);
    if (!file.is_open()) stop_cannot_open(name);
    return file;
}

std::unique_ptr<std::uint8_t[]> alloc_or_stop(std::size_t size) {
    if (size == 0) stop_with_message("");
    std::unique_ptr<std::uint8_t[]> block(new (std::nothrow) std::uint8_t[size]());
    if (!block) stop_with_message("");
    return block;
}

}  // namespace verbatra
