#pragma once

#include "pipeline/byte_file.h"

namespace verbatra {

// Readers of "Ragtime 2" and "Ragtime 3": the text frames of RagTime page
// layouts, with their character attributes and paragraph alignment. Each
// refuses a document of the other version.
int read_ragtime2(ByteFile& source, ByteFile& work);
int read_ragtime3(ByteFile& source, ByteFile& work);

}  // namespace verbatra
