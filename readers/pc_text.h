// Text made on other systems than the Macintosh: UTF-8, and Windows text
// (code page 1252, which holds ISO 8859-1's letters). Each character is
// brought to the Macintosh byte that means it and the whole is then read
// as Macintosh text, so it reaches every target as that text would.
#pragma once

#include <cstdint>

#include "pipeline/byte_file.h"
#include "pipeline/fatal.h"
#include "pipeline/conversion.h"
#include "pipeline/scratch.h"
#include "stream/charsets.h"
#include "stream/mac_charset.h"
#include "readers/recognition.h"
#include "readers/text_only.h"

namespace verbatra {

// Readers of "UTF-8 text" and "Windows text".
Status read_utf8_text(Conversion& conversion, ByteFile& source, ByteFile& work);
Status read_windows_text(Conversion& conversion, ByteFile& source, ByteFile& work);

// UTF-8: at least one multi-byte sequence, every one well formed (one cut
// by the end of `start` aside), and the bytes of text.
bool recognises_utf8_text(const SourceStart& start);
// Windows text: the bytes of text, with more of the letters Windows keeps
// from 0xE0 up (à to ÿ) than of the Macintosh's accented letters (0x80 to
// 0x9F) and typographic signs (0xD0 to 0xD5); with none of either, line
// ends in CR LF alone decide.
bool recognises_windows_text(const SourceStart& start);
int bid_utf8_text(const Evidence& evidence);
int bid_windows_text(const Evidence& evidence);

namespace pc_text {

// Control bytes other systems' text holds; the others (and the Macintosh's
// symbol bytes 0x11 to 0x14, which are controls there) are dropped.
constexpr bool keeps_control(char32_t c) { return c == 0x09 || c == 0x0A || c == 0x0C || c == 0x0D; }

// The bytes of text: no NUL, and control bytes other than those kept at
// most one in 256.
inline bool looks_like_text(const SourceStart& s) {
    std::size_t odd = 0;
    for (std::size_t i = 0; i < s.have; ++i) {
        const std::uint8_t c = s.bytes[i];
        if (c == 0) return false;
        if (c < 0x20 && !keeps_control(c)) ++odd;
    }
    return odd * 256 <= s.have;
}

// Writes character `cp` as Macintosh text.
inline void put_character(ByteFile& mac, char32_t cp) {
    if (cp < 0x20 || cp == 0x7F) {
        if (keeps_control(cp)) mac.put(static_cast<std::uint8_t>(cp));
        return;
    }
    if (cp == 0xFEFF) return;  // a byte-order mark
    if (const std::uint8_t b = macintosh_byte_of(cp)) {
        mac.put(b);
        return;
    }
    mac.put_text(ascii_substitute(cp));
}

// Runs the Macintosh text reader on what `decode(source, mac)` wrote.
template <typename Decode>
inline Status read_through_macintosh(Conversion& conversion, ByteFile& source, ByteFile& work, Decode decode) {
    if (source.size() == 0) return kEmptyInput;
    ByteFile mac = open_scratch("MAC.###", "w+b");
    decode(source, mac);
    if (!mac.flush()) stop_with_message("cannot write a scratch file");
    mac.rewind();
    mac.set_full_buffering();
    const Status result = read_text_only(conversion, mac, work);
    mac.close();
    remove_scratch("MAC.###");
    return result;
}

}  // namespace pc_text

}  // namespace verbatra
