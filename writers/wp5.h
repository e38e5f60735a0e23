#pragma once

#include "pipeline/byte_file.h"
#include "pipeline/conversion.h"

namespace verbatra {

// Writer of "Wordperfect 5": WordPerfect 5 documents.
Status write_wp5(Conversion& conversion, ByteFile& work, ByteFile& target);

}  // namespace verbatra
