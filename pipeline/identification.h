// What a file is, in the terms an archive records: PRONOM's identifiers,
// MIME types, the evidence and the signs that disagree.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace verbatra {

struct Identification {
    std::uint64_t size = 0;
    std::string modified;  // UTC, ISO 8601; empty when it cannot be told
    std::string sha256;    // of the file as stored (inside an image: its data fork)
    // The format as the readers recognise it: the registry's name, the
    // version the content states, PRONOM's PUID and the MIME type where
    // there are any.
    std::string format, version, puid, mime;
    int format_index = -1;  // the format's row in source_formats, or -1
    // What decided it: "Finder type and creator", "the format's own marks",
    // "text statistics".
    std::string basis;
    std::string type, creator;  // the Finder's, where the file carries them
    // What the document comes in ("MacBinary II", "AppleSingle 2",
    // "BinHex 4.0", "HFS volume in DiskCopy 4.2"), and its PUID.
    std::string wrapping, wrapping_puid;
    std::vector<std::string> warnings;  // signs that disagree
    // The name's extension in lower case (inside an image, the Mac name's),
    // and whether it is a PC program's while the bytes say otherwise.
    std::string extension;
    bool extension_mismatch = false;
    bool container = false;   // a disk image: a file that holds files
    bool unreadable = false;  // the file could not be opened or read
    // Why no format is named (not recognised, empty, unreadable, a PC
    // document, a sidecar), as a conversion's line would say it.
    std::string problem;
};

}  // namespace verbatra
