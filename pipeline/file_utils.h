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

// What a reader lets the user know of the document in progress: a note
// that is no failure (a part of the document that could not be found),
// shown on the file's line; and that the document promised more than the
// file holds ("text ends at byte 5000 of 87606: file cut short"), which
// makes the file's outcome "damaged" while what could be read is still
// converted. Of the damage, the first word is kept. The driver takes both
// after each reader pass.
void note_for_user(const std::string& text);
void note_damage(const std::string& text);
struct ReaderNotes {
    std::string note, damage;
};
ReaderNotes take_reader_notes();

// The words of note_damage for a part of the document that ends past the
// end of the file: "WHAT ends at byte FILE_END of NEEDED_END: file cut short".
void note_cut_short(const char* what, long file_end, long needed_end);

// The names of the files of the pass in progress: 0 input, 1 output.
const std::string& current_name(int which);
void set_current_names(const std::string& input, const std::string& output);

}  // namespace verbatra
