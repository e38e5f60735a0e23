#pragma once

#include "pipeline/byte_file.h"
#include "pipeline/conversion.h"
#include "readers/recognition.h"

namespace verbatra {

// Reader of "ClarisWorks": ClarisWorks 1 to 5 and AppleWorks 5 and 6
// word-processing documents, bare data fork or MacBinary with type and
// creator "CWWPBOBO".
Status read_clarisworks(Conversion& conversion, ByteFile& source, ByteFile& work);

// True when `start` is the start of a ClarisWorks word-processing
// document: "BOBO" at 4, a version from 1 to 6, the kind byte of a text
// document.
bool recognises_clarisworks(const SourceStart& start);
int bid_clarisworks(const Evidence& evidence);

}  // namespace verbatra
