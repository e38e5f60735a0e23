#pragma once

#include "pipeline/byte_file.h"

namespace verbatra {

// Writer of "Word 3/4/5 DOS".
int write_word_dos(ByteFile& work, ByteFile& target);

}  // namespace verbatra
