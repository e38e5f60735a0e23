#pragma once

#include "pipeline/byte_file.h"
#include "pipeline/conversion.h"

namespace verbatra {

// The "UTF-8 text" target.
Status write_utf8_text(Conversion& conversion, ByteFile& work, ByteFile& target);

}  // namespace verbatra
