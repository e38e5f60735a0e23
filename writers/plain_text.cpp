#include "writers/plain_text.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "pipeline/byte_runs.h"
#include "stream/codes.h"

namespace verbatra {

namespace {

int g_text_note_counter = 0;

// Skips a picture: its binary header, then the hexadecimal data up to and
// including the next 0x5C 0x7F.
void skip_picture(ByteIn& work) {
    for (int i = 0; i < stream::kPictureHeaderBytes; ++i) {
        if (work.get() == ByteFile::kEnd) return;
    }
    int b = work.get();
    while (b != ByteFile::kEnd) {
        if (b != stream::kEscape) {
            b = work.get();
            continue;
        }
        b = work.get();
        if (b == stream::kEndSection) return;
    }
}

void write_note_marker(ByteOut& target) {
    int n = ++g_text_note_counter;
    // Two digits as far as they go; from the hundredth note on, as many as
    // the number needs.
    std::string digits = std::to_string(n);
    if (digits.size() < 2) digits.insert(0, 1, '0');
    target.put_text("\\NOTE");
    target.put_text(digits.c_str());
    target.put('\\');
}

// Handles the code after a 0x5C; false when the stream ended inside it.
bool handle_code(ByteIn& work, ByteOut& target, const TargetCharTable& table) {
    int code = work.get();
    if (code == ByteFile::kEnd) return false;
    switch (code) {
        case stream::kSetChar: {
            int set = work.get();
            int c = work.get();
            if (c == ByteFile::kEnd) return false;
            auto byte = static_cast<std::uint8_t>(table.lookup(static_cast<std::uint8_t>(set),
                                                               static_cast<std::uint8_t>(c)));
            if (byte != 0) target.put(byte);  // a pair no source produces has no byte
            return true;
        }
        case stream::kNonBreakingSpace: target.put(0x20); return true;
        case stream::kOptionalHyphen: {
            int next = work.get();
            if (next != stream::kLineEnd && next != ByteFile::kEnd) work.unget();
            return true;
        }
        case stream::kBackslash: target.put(0x5C); return true;
        case stream::kEndSection: target.put_text("\\FIN\\"); return true;
        case stream::kPicture: skip_picture(work); return true;
        default: break;
    }
    for (int i = stream::kArgCount[code]; i > 0; --i) {
        if (work.get() == ByteFile::kEnd) return false;
    }
    switch (code) {
        case stream::kHeaderEven:
        case stream::kHeaderOdd:
        case stream::kHeaderAll: target.put_text("\\TETE"); break;
        case stream::kFooterEven:
        case stream::kFooterOdd:
        case stream::kFooterAll: target.put_text("\\PIED"); break;
        case stream::kNoteStart: write_note_marker(target); break;
        default: break;
    }
    return true;
}

}  // namespace

int text_note_counter() { return g_text_note_counter; }

int write_plain_text(ByteFile& work_file, ByteFile& target_file, const TargetCharTable& table) {
    // The common path: stream bytes other than codes, each written as two
    // bytes with the length kept (CR LF for a paragraph end, a space for a
    // line end, the byte itself for the rest).
    struct Plain {
        std::uint8_t bytes[2];
        std::uint8_t length;
    };
    static constexpr std::array<Plain, 256> kPlain = [] {
        std::array<Plain, 256> t{};
        for (int b = 0; b < 256; ++b) t[b] = {{static_cast<std::uint8_t>(b), 0}, 1};
        t[stream::kLineEnd] = {{0x20, 0}, 1};
        t[stream::kParagraphEnd] = {{0x0D, 0x0A}, 2};
        t[stream::kEscape] = {{0, 0}, 0};
        return t;
    }();
    constexpr std::size_t kChunk = 32 * 1024;
    ByteIn work(work_file);
    ByteOut target(target_file);
    for (;;) {
        std::size_t available = 0, space = 0;
        const std::uint8_t* in = work.window(available);
        if (available == 0) return 0;
        std::uint8_t* out = target.room(2 * 64 + kRunSlack, space);
        const std::size_t chunk = space < kRunSlack ? 0 : std::min({available, kChunk, (space - kRunSlack) / 2});
        const std::size_t i = copy_and_translate(
            in, chunk, out,
            [](ByteVector v) {
                return (ByteVector)((v == stream::kLineEnd) | (v == stream::kParagraphEnd) | (v == stream::kEscape));
            },
            [&](std::size_t at, std::uint8_t*& o) {
                // A line or paragraph end, or a character of another set
                // whole in the chunk. Both answers are worked out and one is
                // picked by arithmetic: which of the two comes is as good as
                // random, so a branch on it would mostly guess wrong.
                const Plain& p = kPlain[in[at]];
                const unsigned code = p.length == 0;  // the bytes after it may be slack
                if (code & ((at + 4 > chunk) | (in[at + 1] != stream::kSetChar))) {
                    // A backslash of the text, common in DOS paths, stays
                    // on this path; other codes leave it.
                    if (at + 2 > chunk || in[at + 1] != stream::kBackslash) return std::size_t{0};
                    *o++ = 0x5C;
                    return std::size_t{2};
                }
                const unsigned byte = table.lookup(in[at + 2], in[at + 3]) & 0xFF;
                const unsigned mask = 0u - code;
                const unsigned plain = p.bytes[0] | p.bytes[1] << 8;
                const unsigned two = (byte & mask) | (plain & ~mask);
                o[0] = static_cast<std::uint8_t>(two);
                o[1] = static_cast<std::uint8_t>(two >> 8);
                // A pair no source produces has no byte.
                o += ((byte != 0) & mask) | (p.length & ~mask);
                return std::size_t{1} + 3 * code;
            });
        target.commit(out);
        work.skip(i);
        if (i == chunk && chunk > 0) continue;

        // A code, or any byte where the target has no room for a chunk.
        const int b = work.get();
        if (b == stream::kEscape) {
            if (!handle_code(work, target, table)) return 0;
        } else if (b != ByteFile::kEnd) {
            for (int k = 0; k < kPlain[b].length; ++k) target.put(kPlain[b].bytes[k]);
        }
    }
}

int write_ascii_dos(ByteFile& work, ByteFile& target) { return write_plain_text(work, target, kDosTable); }

int write_ansi_windows(ByteFile& work, ByteFile& target) {
    return write_plain_text(work, target, kWindowsTable);
}

}  // namespace verbatra
