// What one conversion carries between the driver and its reader and
// writer: the names of the files, what the reader lets the user know, and
// what the entry points return. Each conversion has its own; nothing of it
// outlives the file or passes to the next one.
#pragma once

#include <cstdint>
#include <string>

#include "pipeline/dates.h"

namespace verbatra {

// What a reader or writer entry point returns.
enum Status : int {
    kConverted = 0,
    kNotOfFormat = -1,  // reader: not a document of this format
    kEmptyInput = -2,   // reader: the source is empty
    kTooLarge = -3,     // writer: the document exceeds the format
};

// The program's version, as its targets, records and packages name it:
// the build gives it, from the one number in CMakeLists.txt.
#ifndef VERBATRA_VERSION
#error "VERBATRA_VERSION is given by the build (CMakeLists.txt)"
#endif
inline constexpr const char* kProgramVersion = VERBATRA_VERSION;

// What a target could not carry that its source had, for the record.
struct Losses {
    int stand_ins = 0;      // characters its code page lacks, written as another one (or another font's byte)
    int font_sizes = 0;     // changes of font size
    int colours = 0;        // changes of text colour
    int notes_as_text = 0;  // notes written as text where they stand or at the end
    bool operator==(const Losses&) const = default;
};

struct Conversion {
    // The file the user named (for a wrapped file, the wrapping): where a
    // reader looks for a sidecar beside it.
    std::string source_name;
    // The name of its format ("MacWrite 4.6"), which targets that describe
    // themselves record.
    std::string source_format;
    // The document's own name where the file's name is not it (a file
    // inside a disk image: its Macintosh name), else empty.
    std::string title;
    // When the document was made and last changed, seconds since 1970, as
    // the Mac recorded them (a wrapping's dates, a disk image's catalog;
    // its clock taken for UTC); kNoDate where it recorded none, as for a
    // bare file. Targets with document properties record them.
    std::int64_t created = kNoDate, modified = kNoDate;

    // What the reader lets the user know of the document: a note that is
    // no failure (a part of the document that could not be found), shown
    // on the file's line; and that the document promised more than the
    // file holds ("text ends at byte 5000 of 87606: file cut short"), which
    // makes the outcome "damaged" while what could be read is still
    // converted. Of the damage, the first word is kept.
    std::string note, damage;

    // The pictures the reader put in the stream, and those it found but
    // could not carry; whether the stream's pictures are kept is the
    // target's to say.
    int pictures = 0, pictures_dropped = 0;

    void note_for_user(std::string text) { note = std::move(text); }
    void note_damage(std::string text) {
        if (damage.empty()) damage = std::move(text);
    }
    // The words of note_damage for a part of the document that ends past
    // the end of the file: "WHAT ends at byte FILE_END of NEEDED_END: file
    // cut short".
    void note_cut_short(const char* what, long file_end, long needed_end) {
        note_damage(std::string(what) + " ends at byte " + std::to_string(file_end) + " of " +
                    std::to_string(needed_end) + ": file cut short");
    }
};

}  // namespace verbatra
