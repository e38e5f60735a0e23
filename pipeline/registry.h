// The format registry: the one list of source and target formats, in the
// order of the format lists. Each row carries everything the program knows
// of its format: names, entry point, how its files are buffered, and for a
// source how it is recognised. Recognition, the format lists, the fuzz
// targets and the tests all take the formats from here.
#pragma once

#include <cstdint>
#include <string>

#include "pipeline/byte_file.h"
#include "pipeline/conversion.h"
#include "readers/recognition.h"
#include "writers/losses.h"

namespace verbatra {

using EntryPoint = Status (*)(Conversion& conversion, ByteFile& input, ByteFile& output);

// Which of a pass's two files (its input, then its output) gets the
// 5120-byte buffering.
enum class Buffering : std::uint8_t { kNeither = 0, kInput = 1, kOutput = 2, kBoth = 3 };

struct FormatEntry {
    const char* display_name;  // null ends a table
    const char* extension;     // target entries only
    EntryPoint reader;         // source entries; null while not built
    EntryPoint writer;         // target entries; null while not built
    Buffering reader_pass;     // source entries: the source and the work file
    Buffering writer_pass;     // target entries: the work file and the target
    const char* short_name;    // the command line's abbreviation
    Recogniser recognise;      // source entries: its bid for a file (readers/recognition.h)
    // A reader that finds the resource fork itself, and so reads a wrapped
    // file whole (MacBinary, AppleSingle) rather than its data fork.
    bool reads_forks;
    // A reader of plain text, which takes any bytes: a file that already is
    // a PC document is kept from it.
    bool text_reader;
    // Target entries: the writer writes the stream's pictures as pictures
    // (the others write "[picture]" in their place).
    bool keeps_pictures;
    // Target entries: what of a document the format can hold, so that the
    // record can say what it could not.
    TargetReach reach;
};

inline constexpr int kSourceCount = 11;
inline constexpr int kTargetCount = 11;

extern const FormatEntry source_formats[kSourceCount + 1];
extern const FormatEntry target_formats[kTargetCount + 1];

// The dialog's lookup: the text goes through the file-name character table
// and is compared exactly; no match gives entry 0.
int find_format(std::string text, const FormatEntry* table);

// The command line's lookup: display name without regard to case, or short
// name. -1 when nothing matches.
int lookup_format(const std::string& text, const FormatEntry* table);

// The entry whose short name is `short_name`, for code that means one
// format; a name the table lacks is a programming error and stops.
const FormatEntry& format_named(const char* short_name, const FormatEntry* table);

// The index of `entry` in `table`, -1 when it is not one of its rows (a
// test's own entry).
int index_of(const FormatEntry* entry, const FormatEntry* table);

// Whether the entry's reader or writer is built.
bool is_available(const FormatEntry& entry);

}  // namespace verbatra
