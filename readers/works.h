#pragma once

#include "pipeline/byte_file.h"

namespace verbatra {

// Reader of "MS-Works 2" and "MS-Works 3": Microsoft Works 2 and 3 for the
// Macintosh, word-processing documents of either version through either
// entry.
int read_works(ByteFile& source, ByteFile& work);

}  // namespace verbatra
