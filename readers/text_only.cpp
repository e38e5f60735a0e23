// Macintosh plain text: characters go through the Macintosh table, CR (or a
// lone LF) ends a paragraph, and accents typed typewriter-fashion (letter, backspace,
// accent, or accent, backspace, letter) become the accented letter.
#include "readers/text_only.h"

#include "readers/mac_charset.h"
#include "stream/emitter.h"

namespace verbatra {

namespace {

// Writes one source byte as the main loop does (backspaces aside). Returns
// true when it became exactly one plain character, the only output that a
// following backspace may take back without cutting into a code.
bool emit_byte(int b, ByteOut& work) {
    if (b >= 0x20) return write_source_char(kMacintoshTable, static_cast<std::uint8_t>(b), work) == 1;
    switch (b) {
        case 0x09: work.put(0x09); break;
        case 0x0B:
        case 0x0D: work.put(0x0D); break;
        case 0x0C: work.put(0x0C); break;
        default: break;  // the EOF mark and other controls carry nothing
    }
    return false;
}

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

}  // namespace

int read_text_only(ByteFile& source_file, ByteFile& work_file) {
    ByteIn source(source_file);
    ByteOut work(work_file);
    int previous = 0;
    bool previous_plain = false;  // `previous` stands as the last stream byte
    for (;;) {
        const int b = source.get();
        if (b >= 0x20) {  // the common case, kept inline
            previous_plain = write_source_char(kMacintoshTable, static_cast<std::uint8_t>(b), work) == 1;
            previous = b;
            continue;
        }
        if (b == ByteFile::kEnd) return 0;
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
        if (b != 0x08) {
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
        if (n == ByteFile::kEnd) return 0;  // the character before stays
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

}  // namespace verbatra
