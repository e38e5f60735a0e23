#include "writers/plain_text.h"

#include <string>

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
    ByteIn work(work_file);
    ByteOut target(target_file);
    for (;;) {
        int b = work.get();
        switch (b) {
            case ByteFile::kEnd: return 0;
            case stream::kLineEnd: target.put(0x20); break;
            case stream::kParagraphEnd:
                target.put(0x0D);
                target.put(0x0A);
                break;
            case stream::kEscape:
                if (!handle_code(work, target, table)) return 0;
                break;
            default: target.put(static_cast<std::uint8_t>(b)); break;
        }
    }
}

int write_ascii_dos(ByteFile& work, ByteFile& target) { return write_plain_text(work, target, kDosTable); }

int write_ansi_windows(ByteFile& work, ByteFile& target) {
    return write_plain_text(work, target, kWindowsTable);
}

}  // namespace verbatra
