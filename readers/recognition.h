// What recognition goes on, and how a format states its claim on a file.
// Every source format has one recogniser in its registry row; the format
// that bids highest takes the file, and a tie goes to the row that comes
// first. The bids rank the kinds of evidence: the Finder's type and
// creator (which the Macintosh itself kept) over a format's own marks in
// the data fork, and those over what the bytes look like.
#pragma once

#include <cstring>

#include "readers/mac_forks.h"
#include "readers/source_bytes.h"

namespace verbatra {

struct Evidence {
    const SourceStart& start;  // the first bytes of the data fork
    const MacForks& finder;    // have_finder_info false where nothing kept it

    // Whether the Finder names this type and creator ("????" matches any).
    bool finder_says(const char* type, const char* creator) const {
        if (!finder.have_finder_info) return false;
        return (std::memcmp(type, "????", 4) == 0 || std::memcmp(type, finder.type, 4) == 0) &&
               (std::memcmp(creator, "????", 4) == 0 || std::memcmp(creator, finder.creator, 4) == 0);
    }
};

using Recogniser = int (*)(const Evidence& evidence);

inline constexpr int kNoBid = 0;
// Bytes that look like text of some system: the weakest evidence, taken
// only when no Finder info says anything.
inline constexpr int kBidLooks = 0x10;
// The format's own marks: a signature, a version word, a structure whose
// counts and offsets fit the file. Formats with more certain marks add to
// it, so that the stronger wins where two could be taken.
inline constexpr int kBidMarks = 0x80;
// The Finder's type and creator name the format; a creator that names the
// program adds 1 over a type alone ("TEXT" of any program).
inline constexpr int kBidFinder = 0x100;

}  // namespace verbatra
