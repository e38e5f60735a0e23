#pragma once

#include "pipeline/byte_file.h"
#include "pipeline/conversion.h"
#include "readers/recognition.h"

namespace verbatra {

// Reader of "MS-Works 2" and "MS-Works 3": Microsoft Works 2 and 3 for the
// Macintosh, word-processing documents of either version through either
// entry.
Status read_works(Conversion& conversion, ByteFile& source, ByteFile& work);

// The version (2 or 3) of the Works word-processing document whose data
// fork starts with `start`; 0 for anything else (a spreadsheet, a database).
int works_version_of(const SourceStart& start);
int bid_works2(const Evidence& evidence);
int bid_works3(const Evidence& evidence);

}  // namespace verbatra
