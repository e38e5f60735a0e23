// Recognising a source's format from its content, for runs over archives
// where nobody knows which program made which file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "pipeline/byte_file.h"
#include "readers/mac_forks.h"
#include "readers/source_bytes.h"

namespace verbatra {

// The index in source_formats of the format of `file` (the source named
// `name`, or the wrapping `forks` found in it), or -1 when no reader
// recognises it. The Finder's type and creator decide where the wrapping
// or an AppleDouble sidecar carries them; otherwise each reader's own
// marks at the start of the data fork do, and plain text is taken only
// when nothing else fits and the bytes look like text. Reads only the
// start of the data fork.
int detect_source_format(ByteFile& file, const MacForks& forks, const std::string& name, int* bid = nullptr);

// The format whose own marks `start` has, without any Finder info, or -1.
int format_by_content(const SourceStart& start);

// True when the Finder's type and creator in `forks` are those of a
// document one of the readers reads: a MacBinary header that says so is
// taken as one even without the marks of a certain MacBinary file.
bool finder_info_known(const MacForks& forks);

// The kind of a file that a DOS, Windows or later program made ("RTF",
// "Word for DOS", "PDF", "DOCX", ...), told by its first bytes; null for
// any other. Looks at no more than the first kPcMarksWithin bytes.
inline constexpr std::size_t kPcMarksWithin = 4096;
const char* pc_document_kind(const std::uint8_t* bytes, std::size_t have);

}  // namespace verbatra
