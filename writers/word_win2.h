#pragma once

#include "pipeline/byte_file.h"
#include "pipeline/conversion.h"

namespace verbatra {

// Writer of "Word Windows 2": Word for Windows 2.0 documents.
Status write_word_win2(Conversion& conversion, ByteFile& work, ByteFile& target);

}  // namespace verbatra
