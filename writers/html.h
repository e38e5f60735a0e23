#pragma once

#include "pipeline/byte_file.h"
#include "pipeline/conversion.h"

namespace verbatra {

// The "HTML" target.
Status write_html(Conversion& conversion, ByteFile& work, ByteFile& target);

}  // namespace verbatra
