#pragma once

#include "pipeline/byte_file.h"

namespace verbatra {

// Reader of "MacWrite II": bare data fork, or MacBinary with type and
// creator "MW2DMWII".
int read_macwrite2(ByteFile& source, ByteFile& work);

}  // namespace verbatra
