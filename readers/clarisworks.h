#pragma once

#include "pipeline/byte_file.h"

namespace verbatra {

// Reader of "ClarisWorks": ClarisWorks 1 to 5 and AppleWorks 5 and 6
// word-processing documents, bare data fork or MacBinary with type and
// creator "CWWPBOBO".
int read_clarisworks(ByteFile& source, ByteFile& work);

}  // namespace verbatra
