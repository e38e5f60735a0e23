// The format registry: the source and target formats in the order of the
// format lists, each with its entry point and buffering flags.
#pragma once

#include <cstdint>
#include <string>

#include "pipeline/byte_file.h"
#include "pipeline/conversion.h"

namespace verbatra {

using EntryPoint = Status (*)(Conversion& conversion, ByteFile& input, ByteFile& output);

struct FormatEntry {
    const char* display_name;  // null ends a table
    const char* extension;     // target entries only
    EntryPoint reader;         // source entries; null while not built
    EntryPoint writer;         // target entries; null while not built
    std::uint8_t flags;        // bits 2-3 reader-pass buffering, 4-5 writer-pass, kReadsForks
    const char* short_name;    // the command line's abbreviation
};

// Flag bit of a reader that finds the resource fork itself and so reads a
// wrapped file whole (MacBinary, AppleSingle) rather than its data fork.
inline constexpr std::uint8_t kReadsForks = 0x40;
// Flag bit of a reader of plain text, which takes any bytes: a file that
// already is a PC document is kept from it.
inline constexpr std::uint8_t kTextReader = 0x80;

inline constexpr int kSourceCount = 11;
inline constexpr int kTargetCount = 7;

extern const FormatEntry source_formats[kSourceCount + 1];
extern const FormatEntry target_formats[kTargetCount + 1];

// The dialog's lookup: the text goes through the file-name character table
// and is compared exactly; no match gives entry 0.
int find_format(std::string text, const FormatEntry* table);

// The command line's lookup: display name without regard to case, or short
// name. -1 when nothing matches.
int lookup_format(const std::string& text, const FormatEntry* table);

// Whether the entry's reader or writer is built.
bool is_available(const FormatEntry& entry);

}  // namespace verbatra
