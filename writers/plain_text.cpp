#include "writers/plain_text.h"

#include <string>

#include "stream/decoder.h"
#include "writers/target_tables.h"

namespace verbatra {

namespace {

// Two digits as far as they go; from the hundredth note on, as many as the
// number needs. Each document numbers its own notes from 1.
void write_note_marker(int n, ByteOut& target) {
    std::string digits = std::to_string(n);
    if (digits.size() < 2) digits.insert(0, 1, '0');
    target.put_text("\\NOTE");
    target.put_text(digits.c_str());
    target.put('\\');
}

}  // namespace

Status write_plain_text(ByteFile& work_file, ByteFile& target_file, const TargetCharTable& table) {
    stream::Decoder decoder(work_file);
    ByteOut target(target_file);
    int notes = 0;
    for (stream::Event e; decoder.next(e);) {
        switch (e.kind) {
            case stream::Kind::kText: target.put_bytes(e.bytes, e.length); break;
            case stream::Kind::kTab: target.put(stream::kTab); break;
            case stream::Kind::kLineEnd: target.put(0x20); break;
            case stream::Kind::kPageBreak: target.put(stream::kPageBreak); break;
            case stream::Kind::kParagraphEnd:
                target.put(0x0D);
                target.put(0x0A);
                break;
            case stream::Kind::kCharacter:
                switch (e.code) {
                    case stream::kSetChar: {
                        // A pair no source produces has no byte.
                        const auto byte = static_cast<std::uint8_t>(table.lookup(e.args[0], e.args[1]));
                        if (byte != 0) target.put(byte);
                        break;
                    }
                    case stream::kNonBreakingSpace: target.put(0x20); break;
                    case stream::kBackslash: target.put(0x5C); break;
                    default: break;  // the guillemets have no byte of their own here
                }
                break;
            case stream::Kind::kSectionStart:
                switch (e.section()) {
                    case stream::Section::kHeader: target.put_text("\\TETE"); break;
                    case stream::Section::kFooter: target.put_text("\\PIED"); break;
                    case stream::Section::kNote: write_note_marker(++notes, target); break;
                }
                break;
            case stream::Kind::kSectionEnd: target.put_text("\\FIN\\"); break;
            case stream::Kind::kPicture: target.put_text(kPicturePlaceholder); break;
            default: break;  // formatting and font names are not kept in text
        }
    }
    return kConverted;
}

Status write_ascii_dos(Conversion&, ByteFile& work, ByteFile& target) { return write_plain_text(work, target, kDosTable); }

Status write_ansi_windows(Conversion&, ByteFile& work, ByteFile& target) {
    return write_plain_text(work, target, kWindowsTable);
}

}  // namespace verbatra
