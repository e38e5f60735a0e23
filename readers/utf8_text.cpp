// UTF-8 text: each well-formed sequence is its character; a byte that
// begins none (the text was not all UTF-8 after all) is read as the
// Windows character it would be, so nothing is silently lost.
#include "readers/pc_text.h"
#include "stream/utf8.h"

namespace verbatra {

namespace {

void decode_utf8(ByteFile& source, ByteFile& mac) {
    std::uint8_t block[64 * 1024 + 4];
    std::size_t kept = 0;  // bytes of a sequence the last block cut
    for (;;) {
        const std::size_t n = source.read(block + kept, sizeof block - 4 - kept);
        const std::size_t have = kept + n;
        if (have == 0) return;
        std::size_t i = 0;
        while (i < have) {
            char32_t cp = 0;
            bool cut = false;
            const std::size_t len = utf8_sequence(block + i, have - i, cp, &cut);
            if (len == 0 && cut && n > 0) break;  // the rest comes with the next block
            if (len == 0) {
                pc_text::put_character(mac, stream::windows_character_of(block[i]));
                ++i;
                continue;
            }
            pc_text::put_character(mac, cp);
            i += len;
        }
        // At the end of the file nothing is kept: a sequence it cuts short
        // was written byte by byte above.
        if (n == 0) return;
        kept = have - i;
        for (std::size_t k = 0; k < kept; ++k) block[k] = block[i + k];
    }
}

}  // namespace

Status read_utf8_text(Conversion& conversion, ByteFile& source, ByteFile& work) {
    return pc_text::read_through_macintosh(conversion, source, work, decode_utf8);
}

bool recognises_utf8_text(const SourceStart& s) {
    if (!pc_text::looks_like_text(s)) return false;
    std::size_t multi = 0;
    for (std::size_t i = 0; i < s.have;) {
        char32_t cp;
        bool cut = false;
        const std::size_t n = utf8_sequence(s.bytes + i, s.have - i, cp, &cut);
        if (n == 0) {
            if (cut && s.have < static_cast<std::size_t>(s.size)) break;  // the sample ends inside it
            return false;
        }
        if (n > 1) ++multi;
        i += n;
    }
    return multi > 0;
}

// Text of other systems is told by its bytes alone: a Finder type would
// make it a Macintosh file. UTF-8's sequences are the surer sign.
int bid_utf8_text(const Evidence& e) {
    return !e.finder.have_finder_info && recognises_utf8_text(e.start) ? kBidLooks + 2 : kNoBid;
}

}  // namespace verbatra
