#pragma once

#include "pipeline/byte_file.h"
#include "pipeline/conversion.h"
#include "readers/recognition.h"

namespace verbatra {

// Reader of "MacWrite II": bare data fork, or MacBinary with type and
// creator "MW2DMWII".
Status read_macwrite2(Conversion& conversion, ByteFile& source, ByteFile& work);

// True when `start` is the start of a MacWrite II data fork: its mark
// word 0x002E in either of the first two words (the other's high byte
// zero too), and at least one 256-byte block.
bool recognises_macwrite2(const SourceStart& start);
int bid_macwrite2(const Evidence& evidence);

}  // namespace verbatra
