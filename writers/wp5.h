#pragma once

#include "pipeline/byte_file.h"

namespace verbatra {

// Writer of "Wordperfect 5": WordPerfect 5 documents.
int write_wp5(ByteFile& work, ByteFile& target);

}  // namespace verbatra
