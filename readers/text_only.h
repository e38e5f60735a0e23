#pragma once

#include "pipeline/byte_file.h"
#include "pipeline/conversion.h"
#include "readers/recognition.h"

namespace verbatra {

// Reader of "Texte seul": a Macintosh plain text file, data fork only.
Status read_text_only(Conversion& conversion, ByteFile& source, ByteFile& work);

// True when `start` looks like plain text: no NUL byte, and control bytes
// other than tab, line and page ends (and the Macintosh's symbol bytes 0x11
// to 0x14) are no more than one in 256.
bool recognises_text(const SourceStart& start);
int bid_text(const Evidence& evidence);

}  // namespace verbatra
