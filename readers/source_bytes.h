// Big-endian numbers of Macintosh files, and whole-record reads.
#pragma once

#include <cstddef>
#include <cstdint>

#include "pipeline/byte_file.h"

namespace verbatra {

inline std::uint16_t be16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] << 8 | p[1]); }
inline std::int16_t be16s(const std::uint8_t* p) { return static_cast<std::int16_t>(be16(p)); }
inline std::uint32_t be32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

// Reads exactly `count` bytes; false (with the rest of `data` untouched)
// when the file ends first.
inline bool read_exact(ByteFile& file, void* data, std::size_t count) { return file.read(data, count) == count; }

// The data origin of a document that may carry a 128-byte MacBinary header:
// 128 when bytes 65 to 72 of the file are the given type and creator.
inline long macbinary_origin(const std::uint8_t* first_bytes, std::size_t have, const char* type_creator) {
    if (have < 73) return 0;
    for (int i = 0; i < 8; ++i) {
        if (first_bytes[65 + i] != static_cast<std::uint8_t>(type_creator[i])) return 0;
    }
    return 128;
}

// Where the document's data ends: the file's end, or, inside a MacBinary
// file, the end of its data fork (the resource fork follows it).
inline long data_end(long origin, const std::uint8_t* macbinary_header, long file_size) {
    if (origin == 0) return file_size;
    long fork = static_cast<long>(be32(macbinary_header + 83));
    return origin + fork < file_size ? origin + fork : file_size;
}

}  // namespace verbatra
