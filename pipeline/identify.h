// Identification without conversion: what each file is, in the terms an
// archive records (PRONOM's identifiers, MIME types), on what evidence,
// and where the signs disagree. Files are opened and unwrapped exactly as
// a conversion opens them, disk images included.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pipeline/driver.h"

namespace verbatra {


// What the source `o` (opened by open_source, with `opened` its result)
// is: the identification without its size, time and digest.
Identification describe_source(const std::string& name, const std::string& inside, OpenSource& o,
                               const ConversionResult& opened);

// Identifies `name`, or the file `inside` the disk image `name`.
Identification identify_file(const std::string& name, const std::string& inside = {}, ImageShelf* shelf = nullptr);

}  // namespace verbatra
