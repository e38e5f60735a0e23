#pragma once

#include "pipeline/byte_file.h"
#include "pipeline/conversion.h"
#include "writers/target_tables.h"

namespace verbatra {

// Writers of "RTF Ascii (DOS)" and "RTF Ansi (Windows)".
Status write_rtf_dos(Conversion& conversion, ByteFile& work, ByteFile& target);
Status write_rtf_ansi(Conversion& conversion, ByteFile& work, ByteFile& target);

// The common body: `dos` selects "\pc" and bar tabs, `table` the characters.
Status write_rtf(const Conversion& conversion, ByteFile& work, ByteFile& target, const TargetCharTable& table, bool dos);

}  // namespace verbatra
