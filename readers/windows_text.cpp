// Windows text, code page 1252: its 0x80 to 0x9F are typographic signs
// and a few letters, 0xA0 up are ISO 8859-1's.
#include "readers/pc_text.h"

namespace verbatra {

namespace {

void decode_windows(ByteFile& source, ByteFile& mac) {
    std::uint8_t block[64 * 1024];
    for (std::size_t n; (n = source.read(block, sizeof block)) > 0;) {
        for (std::size_t i = 0; i < n; ++i) pc_text::put_character(mac, stream::windows_character_of(block[i]));
    }
}

}  // namespace

Status read_windows_text(Conversion& conversion, ByteFile& source, ByteFile& work) {
    return pc_text::read_through_macintosh(conversion, source, work, decode_windows);
}

bool recognises_windows_text(const SourceStart& s) {
    if (!pc_text::looks_like_text(s)) return false;
    std::size_t windows = 0, macintosh = 0, crlf = 0, lone_cr = 0;
    for (std::size_t i = 0; i < s.have; ++i) {
        const std::uint8_t c = s.bytes[i];
        if (c == 0x0D) (i + 1 < s.have && s.bytes[i + 1] == 0x0A ? crlf : lone_cr) += 1;
        if (c >= 0xE0) ++windows;
        // Windows keeps its quotes and dashes at 0x91 to 0x97, where the
        // Macintosh has letters: they weigh for neither.
        if ((c >= 0x80 && c <= 0x9F && !(c >= 0x91 && c <= 0x97)) || (c >= 0xD0 && c <= 0xD5)) ++macintosh;
    }
    if (windows != macintosh) return windows > macintosh;
    return crlf > 0 && lone_cr == 0;
}

int bid_windows_text(const Evidence& e) {
    return !e.finder.have_finder_info && recognises_windows_text(e.start) ? kBidLooks + 1 : kNoBid;
}

}  // namespace verbatra
