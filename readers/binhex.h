// BinHex 4.0: a Macintosh file (name, type, creator, both forks) carried as
// 7-bit text, as mail and the archives of the 1990s kept it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "pipeline/byte_file.h"

namespace verbatra {

// How much of the start of a file the line BinHex puts before its data
// may take, and whether it is there.
inline constexpr std::size_t kBinHexMarkWithin = 4096 + 64;
bool looks_like_binhex(const std::uint8_t* start, std::size_t size);

// Decodes the BinHex file `in` into `out` as an AppleSingle file (data
// fork, resource fork, and the Finder's type and creator), so that it is
// read like any other wrapped file. Every length is checked against what
// the text can hold, and the header and both forks against their CRCs.
// Empty when decoded, otherwise what is wrong ("a damaged BinHex file
// (data fork CRC)").
std::string decode_binhex(ByteFile& in, ByteFile& out);

}  // namespace verbatra
