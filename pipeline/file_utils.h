// Name and file helpers shared by the driver, the readers and the writers.
#pragma once

#include <cstdint>
#include <string>

#include "pipeline/byte_file.h"

namespace verbatra {

// Ends `name` with a dot and `ext` in lower case. An existing extension (a
// dot with at most three characters after it, inside the file-name part of
// the path) is replaced; otherwise the new one is appended. With `ext` null
// only the dot is ensured.
void replace_extension(std::string& name, const char* ext);

// True when a directory search for `name` finds an entry; names compare as
// the Windows search compares them, without regard to case.
bool file_exists(const std::string& name);

// Gives `name` the next counter extension ("001", "002", ... "00a", ...)
// until no file of that name exists. The counter runs for the whole program.
void make_unique_name(std::string& name);

// The three extension characters for counter value `n`.
std::string counter_extension(unsigned n);

// Applies the file-name character table: Windows characters become their
// DOS equivalents, and the name ends at a colon or a control character.
void map_name_chars(std::string& text);

// Cuts `text` at its last carriage return, then at its last line feed.
void strip_line_end(std::string& text);

// Copies `count` bytes from the position of `from` to the position of `to`.
// Returns 0, or -1 when no buffer can be had.
int copy_bytes(ByteFile& from, ByteFile& to, long count);

// Mode bit 0 gives `first` full 5120-byte buffering, bit 1 gives `second`.
void set_buffering(ByteFile& first, ByteFile& second, unsigned mode);

}  // namespace verbatra
