// The fatal stop. A file that cannot be opened, or memory that cannot be
// had, ends the program with a message. The stop unwinds as an exception so
// that every open file closes and the conversion in progress removes what
// it had written; the program's outermost frame shows the message and exits
// with status 1.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

#include "pipeline/byte_file.h"

namespace verbatra {

inline constexpr const char* kCaption = "Verbatra v. 5.1";

// The message of the stop that an interrupt (Ctrl-C) makes.
inline constexpr const char* kInterrupted = "interrupted";

class FatalStop : public std::runtime_error {
public:
    explicit FatalStop(const std::string& text) : std::runtime_error(text) {}
};

[[noreturn]] void stop_with_message(const std::string& text);

// Stops with the name of a file that could not be opened and the reason.
[[noreturn]] void stop_cannot_open(const std::string& name);

// Opens a byte file or stops with the file's name.
ByteFile open_or_stop(const std::string& name, const char* mode);

// A zero-filled block; stops (with an empty message) for size 0 or when no
// memory can be had. Released when the pointer goes away.
std::unique_ptr<std::uint8_t[]> alloc_or_stop(std::size_t size);

}  // namespace verbatra
