#pragma once

#include "pipeline/byte_file.h"
#include "writers/target_tables.h"

namespace verbatra {

// Writers of "Ascii (DOS)" and "Ansi (Windows)".
int write_ascii_dos(ByteFile& work, ByteFile& target);
int write_ansi_windows(ByteFile& work, ByteFile& target);

// The shared loop: text, tabs, paragraph ends and page breaks, characters
// through `table`, sections bracketed by marker words, formatting dropped.
int write_plain_text(ByteFile& work, ByteFile& target, const TargetCharTable& table);

}  // namespace verbatra
