#pragma once

#include "pipeline/byte_file.h"
#include "pipeline/conversion.h"
#include "writers/target_tables.h"

namespace verbatra {

// Writers of "Ascii (DOS)" and "Ansi (Windows)".
Status write_ascii_dos(Conversion& conversion, ByteFile& work, ByteFile& target);
Status write_ansi_windows(Conversion& conversion, ByteFile& work, ByteFile& target);

// The shared loop: text, tabs, paragraph ends and page breaks, characters
// through `table`, sections bracketed by marker words, formatting dropped.
Status write_plain_text(ByteFile& work, ByteFile& target, const TargetCharTable& table);

}  // namespace verbatra
