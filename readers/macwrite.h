#pragma once

#include "pipeline/byte_file.h"

namespace verbatra {

// Reader of "MacWrite 4.6": MacWrite 4.5 to 5 documents (file version 6),
// bare data fork or MacBinary with type and creator "WORDMACA".
int read_macwrite(ByteFile& source, ByteFile& work);

}  // namespace verbatra
