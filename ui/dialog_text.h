// What the dialogs compute before they show anything: where a window is
// centred, how a long path is shortened for the path field, the texts of
// the drive list and the drive an entry names, the parent of a path. Plain
// functions, so that they are tested on every system.
#pragma once

#include <string>

namespace verbatra::ui {

// The left (or top) edge that centres a window of `size` over a reference
// area starting at `ref_start` of `ref_size`, kept on a screen of
// `screen_size`; a window larger than the screen goes to 0.
int centred_position(int ref_start, int ref_size, int size, int screen_size);

// The path field shows a path of 31 characters or more with "..." for
// directories in the middle, the drive, the first directory and the last
// one always visible. Shorter paths, and paths with nothing to leave out,
// are shown whole.
std::string shortened_path(const std::string& path);

// A drive-list entry: "[C:]", or the volume label (its first character
// kept, the rest in lower case) and " [C:]", at most 31 characters, the
// bracketed drive always whole.
std::string drive_entry(char letter, const std::string& label);

// The drive an entry names ("c:"), read from its last "["; empty when the
// entry names none.
std::string drive_of_entry(const std::string& entry);

// The parent of a path that ends with a backslash ("c:\texts\" gives
// "c:\"); a drive's root is its own parent.
std::string parent_path(const std::string& path);

// The path field shows paths in lower case (ASCII letters; other
// characters as they are).
std::string lower_case(std::string text);

}  // namespace verbatra::ui
