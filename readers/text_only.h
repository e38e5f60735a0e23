#pragma once

#include "pipeline/byte_file.h"

namespace verbatra {

// Reader of "Texte seul": a Macintosh plain text file, data fork only.
int read_text_only(ByteFile& source, ByteFile& work);

}  // namespace verbatra
