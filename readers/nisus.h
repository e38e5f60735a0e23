#pragma once

#include "pipeline/byte_file.h"

namespace verbatra {

// Reader of "Nisus Writer": the text of the data fork and the footnotes of
// the resource fork ("FNTX" resources), from MacBinary, AppleSingle, or a
// data fork with its AppleDouble sidecar "._NAME" beside it.
int read_nisus(ByteFile& source, ByteFile& work);

}  // namespace verbatra
