// What a target cannot carry of a document, counted for the record from
// the stream its writer read: one more pass over the work file, the same
// for every target, so that no writer keeps accounts of its own.
#pragma once

#include <cstdint>

#include "pipeline/byte_file.h"
#include "pipeline/conversion.h"

namespace verbatra {

// How far a target reaches.
struct TargetReach {
    // The code page its characters go through: 0 DOS, 1 Windows; -1 for a
    // target that holds every character (Unicode, WordPerfect's sets).
    std::int8_t code_page = -1;
    // It switches to the Symbol font for a character its code page lacks
    // (plain text cannot, and writes the Symbol font's byte as it is).
    bool fonts = true;
    bool sizes = true, colours = true, notes = true;
};

// The characters, size and colour changes and notes of the stream in
// `work` (from where it stands to its end) that a target of `reach` loses.
Losses count_losses(ByteFile& work, const TargetReach& reach);

}  // namespace verbatra
