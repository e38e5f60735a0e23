#pragma once

#include "pipeline/byte_file.h"
#include "pipeline/conversion.h"
#include "readers/recognition.h"

namespace verbatra {

// Reader of "Nisus Writer": the text of the data fork and the footnotes of
// the resource fork ("FNTX" resources), from MacBinary, AppleSingle, or a
// data fork with its AppleDouble sidecar "._NAME" beside it.
Status read_nisus(Conversion& conversion, ByteFile& source, ByteFile& work);

// True when the Finder's type and creator are those of a Nisus Writer
// document: its text alone looks like any plain text.
bool recognises_nisus(const MacForks& finder);
int bid_nisus(const Evidence& evidence);

}  // namespace verbatra
