// What the two Word writers share: little-endian numbers, and copying one
// section of the stream (a note, a header, a footer) code by code, so that
// an argument byte 0x7F is never taken for the end of the section.
#pragma once

#include <cstdint>

#include "pipeline/byte_file.h"
#include "stream/codes.h"
#include "stream/emitter.h"

namespace verbatra {

inline void put16(std::uint8_t* p, unsigned v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void put32(std::uint8_t* p, std::uint32_t v) {
    put16(p, v & 0xFFFF);
    put16(p + 2, v >> 16);
}
inline std::uint32_t get32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// Copies the stream from `in` to `out` up to and including the next end of
// section, codes whole with their arguments; stops at the end of `in`.
inline void copy_section(ByteFile& in, ByteFile& out) {
    for (int b = in.get(); b != ByteFile::kEnd; b = in.get()) {
        if (b != stream::kEscape) {
            out.put(static_cast<std::uint8_t>(b));
            continue;
        }
        const int c = in.get();
        if (c == ByteFile::kEnd || !copy_code(c, in, out) || c == stream::kEndSection) return;
        if (c == stream::kPicture) {
            // Its content, through the first 5C 7F (as the writers find a
            // picture's end), which does not end the section.
            int previous = 0;
            for (int d = in.get(); d != ByteFile::kEnd; d = in.get()) {
                out.put(static_cast<std::uint8_t>(d));
                if (previous == stream::kEscape && d == stream::kEndSection) break;
                previous = d;
            }
        }
    }
}

}  // namespace verbatra
