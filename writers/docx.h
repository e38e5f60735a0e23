#pragma once

#include "pipeline/byte_file.h"
#include "pipeline/conversion.h"

namespace verbatra {

// The "Word 2007 (DOCX)" target.
Status write_docx(Conversion& conversion, ByteFile& work, ByteFile& target);

}  // namespace verbatra
