// UTF-8, read and written: for text that comes from other systems and for
// names kept byte for byte in the run's record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace verbatra {

// The well-formed UTF-8 sequence at `p` (of `left` bytes): its length, with
// its character in `cp`, or 0 when none starts there (overlong forms and
// surrogates are none). `cut`, when given, is set for a sequence that only
// the end of the bytes cuts short.
inline std::size_t utf8_sequence(const std::uint8_t* p, std::size_t left, char32_t& cp, bool* cut = nullptr) {
    const unsigned c = p[0];
    std::size_t n;
    char32_t min;
    if (c < 0x80) {
        cp = c;
        return 1;
    }
    if (c >= 0xC2 && c <= 0xDF) n = 2, min = 0x80;
    else if (c >= 0xE0 && c <= 0xEF) n = 3, min = 0x800;
    else if (c >= 0xF0 && c <= 0xF4) n = 4, min = 0x10000;
    else return 0;
    char32_t value = c & (0x7F >> n);
    for (std::size_t i = 1; i < n; ++i) {
        if (i >= left) {
            if (cut) *cut = true;
            return 0;
        }
        if ((p[i] & 0xC0) != 0x80) return 0;
        value = value << 6 | (p[i] & 0x3F);
    }
    if (value < min || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    cp = value;
    return n;
}

// Adds character `cp` to `out` in UTF-8.
inline void append_utf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | cp >> 6);
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | cp >> 12);
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | cp >> 18);
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

}  // namespace verbatra
