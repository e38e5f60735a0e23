#pragma once

#include <cstdio>

#include "pipeline/byte_file.h"

namespace verbatra {

// Writes the stream in `work` in a readable form: text as it stands,
// control bytes as <tab>, <lf>, <page>, <para> (with a line end), and every
// code in braces by name with its arguments, e.g. {char 1 0x29}.
void dump_stream(ByteFile& work, std::FILE* out);

}  // namespace verbatra
