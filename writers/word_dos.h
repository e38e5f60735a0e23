#pragma once

#include "pipeline/byte_file.h"
#include "pipeline/conversion.h"

namespace verbatra {

// Writer of "Word 3/4/5 DOS".
Status write_word_dos(Conversion& conversion, ByteFile& work, ByteFile& target);

}  // namespace verbatra
