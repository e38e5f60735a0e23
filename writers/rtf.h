#pragma once

#include "pipeline/byte_file.h"
#include "writers/target_tables.h"

namespace verbatra {

// Writers of "RTF Ascii (DOS)" and "RTF Ansi (Windows)".
int write_rtf_dos(ByteFile& work, ByteFile& target);
int write_rtf_ansi(ByteFile& work, ByteFile& target);

// The common body: `dos` selects "\pc" and bar tabs, `table` the characters.
int write_rtf(ByteFile& work, ByteFile& target, const TargetCharTable& table, bool dos);

}  // namespace verbatra
