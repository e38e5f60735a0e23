#pragma once

#include "pipeline/byte_file.h"
#include "pipeline/conversion.h"
#include "readers/recognition.h"

namespace verbatra {

// Reader of "MacWrite 4.6": MacWrite 4.5 to 5 documents (file version 6),
// bare data fork or MacBinary with type and creator "WORDMACA".
Status read_macwrite(Conversion& conversion, ByteFile& source, ByteFile& work);

// True when `start` is the start of a MacWrite 4.6 data fork: version 6,
// and the paragraph array of each section that has paragraphs starting
// behind the header's section records, inside the file.
bool recognises_macwrite(const SourceStart& start);
int bid_macwrite(const Evidence& evidence);

}  // namespace verbatra
