// Scratch files. Readers and writers keep intermediate pieces in files with
// fixed names ("ATT.###", "PAR.###", ...). Those live in one private
// directory made for this process in the system's temporary directory, so a
// user's file of that name is never touched and two conversions running in
// one folder cannot trample each other.
#pragma once

#include <string>

#include "pipeline/byte_file.h"

namespace verbatra {

// The path of scratch file `name`, making the private directory on first
// use (a fatal stop when it cannot be made).
std::string scratch_path(const std::string& name);

// Opens scratch file `name` (open_or_stop semantics).
ByteFile open_scratch(const std::string& name, const char* mode);

void remove_scratch(const std::string& name);

// Removes every scratch file; the driver calls it after each conversion.
void clear_scratch_files();

// Removes the private directory itself, at the end of the program.
void remove_scratch_directory();

// Forgets the private directory without removing it: a helper process
// that starts as a copy of this one makes its own.
void detach_scratch_directory();

// The private directory, or empty while none has been made.
const std::string& scratch_directory();

}  // namespace verbatra
