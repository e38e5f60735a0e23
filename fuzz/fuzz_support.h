// What every fuzz target shares: running a reader or writer entry on bytes
// held in memory (through files, as the driver does), and the properties
// that must hold for every input. A broken property aborts with a message,
// so libFuzzer keeps the input that broke it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "pipeline/registry.h"

namespace verbatra::fuzz {

// A reader's stream never grows beyond this many bytes per source byte,
// plus kStreamSlack: a source character becomes at most a four-byte code,
// compressed MacWrite text holds two characters in a byte, and every
// formatting run or ruler of a few bytes gives a bounded handful of codes.
inline constexpr std::size_t kStreamPerSourceByte = 64;
inline constexpr std::size_t kStreamSlack = 64 * 1024;
// A writer's file never grows beyond this many bytes per stream byte, plus
// kTargetSlack: a code of two to four bytes becomes at most a full list of
// 256 RTF tab stops.
inline constexpr std::size_t kTargetPerStreamByte = 1024;
inline constexpr std::size_t kTargetSlack = 64 * 1024;

// Runs `entry` on `input`; returns what it wrote and its result in `result`.
// A fatal stop (which no damaged input may cause) aborts.
std::string run(EntryPoint entry, const std::string& input, int* result);

// Aborts with `what` when `ok` is false.
void require(bool ok, const std::string& what);

// The first way in which `stream` is not a well-formed intermediate stream
// (an incomplete or unknown code, a section left open, closed twice or
// opened inside another), or empty when it is well formed.
std::string stream_problem(const std::string& stream);

// Requires that no scratch file is left, then clears them for the next run.
void require_no_scratch_left(const char* who);

// The reader or writer of a registry entry, by its short name; aborts when
// it is not built.
EntryPoint reader_named(const char* name);
EntryPoint writer_named(const char* name);

// The checks of a reader's run on `source`: a defined result, nothing
// written for a refused or empty source, a bounded and well-formed stream.
void check_reader_run(const char* name, const std::string& source, const std::string& stream, int result);

// The checks of a writer's run on `stream`: a defined result, a bounded
// file, and what its format requires (balanced RTF, a Word for DOS file
// that the layout reader accepts).
void check_writer_run(const char* name, const std::string& stream, const std::string& file, int result);

}  // namespace verbatra::fuzz
