#pragma once

#include "pipeline/byte_file.h"
#include "pipeline/conversion.h"
#include "readers/recognition.h"

namespace verbatra {

// Readers of "Ragtime 2" and "Ragtime 3": the text frames of RagTime page
// layouts, with their character attributes and paragraph alignment. Each
// refuses a document of the other version.
Status read_ragtime2(Conversion& conversion, ByteFile& source, ByteFile& work);
Status read_ragtime3(Conversion& conversion, ByteFile& source, ByteFile& work);

// True when `start` is the start of a RagTime 2 (or 3) document: the
// version byte, and the page width (RagTime 3) or the entry table
// (RagTime 2) where they belong.
bool recognises_ragtime2(const SourceStart& start);
bool recognises_ragtime3(const SourceStart& start);
int bid_ragtime2(const Evidence& evidence);
int bid_ragtime3(const Evidence& evidence);

}  // namespace verbatra
