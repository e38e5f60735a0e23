#pragma once

#include "pipeline/byte_file.h"

namespace verbatra {

// Writer of "Word Windows 2": Word for Windows 2.0 documents.
int write_word_win2(ByteFile& work, ByteFile& target);

}  // namespace verbatra
