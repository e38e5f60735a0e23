#pragma once

#include "pipeline/byte_file.h"
#include "pipeline/conversion.h"

namespace verbatra {

// The "OpenDocument Text" target.
Status write_odt(Conversion& conversion, ByteFile& work, ByteFile& target);

}  // namespace verbatra
