// Macintosh plain text: characters go through the Macintosh table, CR (or a
// lone LF) ends a paragraph, and accents typed typewriter-fashion (letter, backspace,
// accent, or accent, backspace, letter) become the accented letter.
#include "readers/text_only.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "pipeline/byte_runs.h"
#include "stream/mac_charset.h"
#include "stream/emitter.h"

namespace verbatra {

namespace {

int accent_class(int accent) {
    switch (accent) {
        case 0x60: return 0;  // grave
        case 0x27: return 1;  // acute
        case 0x5E: return 2;  // circumflex
        case 0x22:            // diaeresis
        case 0x7E: return 3;  // tilde (ñ, and ä and the like)
        default: return -1;
    }
}

// The set 1 code of `letter` with accent class `cls`, or 0.
int composed_code(int letter, int cls) {
    bool upper = letter >= 'A' && letter <= 'Z';
    int lower = upper ? letter - 'A' + 'a' : letter;
    for (const ComposedLetter& c : kComposedLetters) {
        if (c.letter == lower && c.code[cls] != 0) return upper ? c.code[cls] - 1 : c.code[cls];
    }
    return 0;
}

bool is_lower_vowel(int c) {
    switch (c) {
        case 'a': case 'e': case 'i': case 'o': case 'u': case 'y': return true;
        default: return false;
    }
}

// What each source byte becomes: up to four stream bytes (nothing for the
// EOF mark and other control bytes), and whether a backspace after it may
// take it back. Line feeds and backspaces look around them, so they leave
// the common path.
struct Translation {
    std::uint8_t bytes[4];
    std::uint8_t length;
    bool plain;  // exactly one plain character
    bool slow;
};

constexpr std::array<Translation, 256> kTranslations = [] {
    std::array<Translation, 256> t{};
    for (int b = 0; b < 256; ++b) {
        Translation& e = t[b];
        if (b == 0x0A || b == 0x08) {
            e.slow = true;
            continue;
        }
        if (b < 0x20) {
            const std::uint8_t out = b == 0x0B ? 0x0D : static_cast<std::uint8_t>(b);
            if (b == 0x09 || b == 0x0B || b == 0x0C || b == 0x0D) {
                e.bytes[0] = out;
                e.length = 1;
            }
            continue;
        }
        const std::uint16_t entry = kMacintoshTable[b];
        if (entry > 0xFF) {
            e.bytes[0] = 0x5C;
            e.bytes[1] = 0x20;
            e.bytes[2] = static_cast<std::uint8_t>(entry >> 8);
            e.bytes[3] = static_cast<std::uint8_t>(entry);
            e.length = 4;
        } else if (entry == 0x5C) {
            e.bytes[0] = e.bytes[1] = 0x5C;
            e.length = 2;
        } else if (entry != 0) {
            e.bytes[0] = static_cast<std::uint8_t>(entry);
            e.length = 1;
            e.plain = true;
        }
    }
    return t;
}();

// Writes one source byte through the table (backspaces and line feeds,
// which look around them, aside: they write nothing here). Returns true
// when it became exactly one plain character, the only output that a
// following backspace may take back without cutting into a code.
bool emit_byte(int b, ByteOut& work) {
    const Translation& t = kTranslations[static_cast<std::uint8_t>(b)];
    for (int k = 0; k < t.length; ++k) work.put(t.bytes[k]);
    return t.plain;
}

// Source bytes translated at a time: each may need four stream bytes.
constexpr std::size_t kChunk = 16 * 1024;

// The bytes that stand for themselves in the stream: printable ASCII but
// the backslash, tab and CR. A run of them is copied as it is.
inline ByteVector changed_bytes(ByteVector v) {
    // Read as signed, bytes from 0x80 are below 0x20 too.
    const auto s = (SignedByteVector)v;
    return (ByteVector)(((s < 0x20) & (s != 0x09) & (s != 0x0D)) | (s == 0x5C));
}

constexpr bool stands_for_itself(int b) {
    return b < 0x80 && b != 0x5C && (b >= 0x20 || b == 0x09 || b == 0x0D);
}
static_assert([] {
    for (int b = 0; b < 256; ++b) {
        const Translation& t = kTranslations[b];
        if (stands_for_itself(b) && (t.slow || t.length != 1 || t.bytes[0] != b)) return false;
    }
    return true;
}(), "a byte copied unchanged must translate to itself");

}  // namespace

Status read_text_only(Conversion&, ByteFile& source_file, ByteFile& work_file) {
    ByteIn source(source_file);
    ByteOut work(work_file);
    int previous = 0;
    bool previous_plain = false;  // `previous` stands as the last stream byte
    for (;;) {
        // The common path: bytes that stand for themselves copied whole,
        // the others that need no look around through the table (four
        // bytes stored for each and the length kept).
        std::size_t available = 0, space = 0;
        const std::uint8_t* in = source.window(available);
        if (available == 0) return kConverted;
        std::uint8_t* out = work.room(4 * 64 + kRunSlack, space);
        const std::size_t chunk = space < kRunSlack ? 0 : std::min({available, kChunk, (space - kRunSlack) / 4});
        const std::size_t i = copy_and_translate(in, chunk, out, changed_bytes, [&](std::size_t at, std::uint8_t*& o) {
            const Translation& t = kTranslations[in[at]];
            if (t.slow) return std::size_t{0};
            std::memcpy(o, t.bytes, 4);
            o += t.length;
            return std::size_t{1};
        });
        work.commit(out);
        source.skip(i);
        if (i > 0) {
            previous = in[i - 1];
            previous_plain = kTranslations[previous].plain;
        }
        if (i == chunk && chunk > 0) continue;

        const int b = source.get();
        if (b == ByteFile::kEnd) return kConverted;
        if (b == 0x0A) {
            // A line feed beside a CR belongs to it; alone it ends a line,
            // as in files that came by way of Unix.
            if (previous != 0x0D) {
                const int next = source.get();
                if (next != ByteFile::kEnd) source.unget();
                if (next != 0x0D) work.put(0x0D);
            }
            previous = b;
            previous_plain = false;
            continue;
        }
        if (b != 0x08) {  // only where the output has no room for a chunk
            previous_plain = emit_byte(b, work);
            previous = b;
            continue;
        }
        const int p = previous;
        const bool can_compose = previous_plain;
        previous = 0x08;
        previous_plain = false;
        if (!can_compose) continue;  // nothing safe to take back: drop it
        const int n = source.get();
        if (n == ByteFile::kEnd) return kConverted;  // the character before stays
        if (n < 0x20) {                     // no accent follows: read n as usual
            source.unget();
            continue;
        }
        work.seek_relative(-1);  // take back p, written as one byte
        const int accent = is_lower_vowel(n) ? p : n;
        const int letter = is_lower_vowel(n) ? n : p;
        const int cls = accent_class(accent);
        const int code = cls < 0 ? 0 : composed_code(letter, cls);
        if (code != 0) {
            work.put(0x5C);
            work.put(0x20);
            work.put(0x01);
            work.put(static_cast<std::uint8_t>(code));
        } else {
            emit_byte(accent, work);
            emit_byte(letter, work);
        }
    }
}

namespace {
// Control bytes that plain Macintosh text holds: tab, line feed, vertical
// tab, page break, carriage return, and the symbols of the system font
// (command key, check mark, diamond, apple).
constexpr std::array<bool, 32> kTextControl = [] {
    std::array<bool, 32> t{};
    for (int c : {0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x11, 0x12, 0x13, 0x14}) t[c] = true;
    return t;
}();
}  // namespace

bool recognises_text(const SourceStart& s) {
    if (s.have == 0) return false;
    std::size_t odd = 0;
    for (std::size_t i = 0; i < s.have; ++i) {
        const std::uint8_t c = s.bytes[i];
        if (c == 0) return false;
        if (c < 0x20 && !kTextControl[c]) ++odd;
        if (c == 0x7F) ++odd;
    }
    return odd * 256 <= s.have;
}

int bid_text(const Evidence& e) {
    if (e.finder.have_finder_info) {
        return e.finder_says("TEXT", "????") || e.finder_says("ttro", "????") ? kBidFinder : kNoBid;
    }
    return recognises_text(e.start) ? kBidLooks : kNoBid;
}

}  // namespace verbatra
