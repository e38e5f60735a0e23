// Microsoft Works 2 and 3 for the Macintosh, word processing. After a
// 32-byte header come records, each a 6-byte head (type, length) and its
// data: text runs with inline 6-byte style markers, and in Works 2
// paragraph alignment records. Both registry entries read both versions.
#include "readers/works.h"

#include <cstdint>

#include "pipeline/file_utils.h"
#include "pipeline/conversion.h"
#include "stream/mac_charset.h"
#include "readers/source_bytes.h"
#include "stream/codes.h"
#include "stream/emitter.h"
#include "stream/symbol_tables.h"

namespace verbatra {

namespace {

constexpr int kWorks2 = 8, kWorks3 = 9;
constexpr int kAlignmentRecord = 0x80;
constexpr int kEndsParagraph = 0x20;
constexpr int kFontMarker = 0x01;   // and 4 bytes: flag, font, size, style
constexpr int kStyleMarker = 0x02;  // and 5 bytes
constexpr int kFirstField = 0x14, kLastField = 0x19;  // Works 3: and 2 id bytes

// Works 3 has strikethrough where Works 2 has outline, and no shadow.
constexpr StyleFlag kWorks3Flags[] = {
    {0x01, kBold}, {0x02, kItalic}, {0x04, kUnderline}, {0x08, kStrikethrough},
    {0x20, kSuperscript}, {0x40, kSubscript},
};

class Reader {
public:
    Reader(Conversion& conversion, ByteFile& source, ByteFile& work)
        : conversion_(conversion), src_(source), out_(work) {}

    Status run() {
        if (reset_document_state(src_, cs_, ps_, nullptr) == kEmptyInput) return kEmptyInput;
        std::uint8_t header[32];
        if (!read_exact(src_, header, sizeof header)) return kNotOfFormat;
        // The version word, and the kind of document (1: word processing;
        // a database, spreadsheet or drawing is refused).
        version_ = header[3];
        if (header[0] != 0 || header[1] != 0 || header[2] != 0) return kNotOfFormat;
        if (version_ != kWorks2 && version_ != kWorks3) return kNotOfFormat;
        if (be16(header + 16) != 1) return kNotOfFormat;
        records_ = be16(header + 18);
        // The header counts the records: a file that ends before them all
        // was cut short.
        const auto cut = [&](unsigned i) {
            conversion_.note_damage("record " + std::to_string(i + 1) + " of " + std::to_string(records_) +
                        " lies past the end of the file at byte " + std::to_string(src_.size()) + ": file cut short");
        };
        if (version_ == kWorks3 && !find_first_alignment_record()) {
            if (records_ > 0) cut(0);
            return kConverted;
        }
        for (unsigned i = 0; i < records_; ++i) {
            std::uint8_t head[6];
            if (!read_exact(src_, head, sizeof head)) {
                cut(i);
                break;
            }
            const int type = head[0];
            const long length = be16(head + 4);
            if (type == kAlignmentRecord) {
                if (version_ == kWorks2) alignment(length);
                else skip_bytes(length, src_);
                continue;
            }
            const bool text = version_ == kWorks3 || (type & ~0x60) == 0;
            if (!text) {
                skip_bytes(length, src_);
                continue;
            }
            const long text_end = src_.tell() + length;
            if (!text_run(length)) {
                conversion_.note_cut_short("text", src_.size(), text_end);
                break;
            }
            if (type & kEndsParagraph) out_.put(stream::kParagraphEnd);
        }
        return kConverted;
    }

private:
    // Works 3: the text starts at the first alignment record. Steps over
    // whole records; false when the file ends first.
    bool find_first_alignment_record() {
        for (;;) {
            const long at = src_.tell();
            std::uint8_t head[6];
            if (!read_exact(src_, head, sizeof head)) return false;
            if (head[0] == kAlignmentRecord) {
                src_.seek_to(at);
                return true;
            }
            const long length = be16(head + 4);
            if (src_.tell() + length > src_.size()) return false;
            skip_bytes(length, src_);
        }
    }

    void alignment(long length) {
        if (length == 0) return;
        const int letter = src_.get();
        skip_bytes(length - 1, src_);
        switch (letter) {
            case 'L': set_alignment(ps_, kAlignLeft, out_); break;
            case 'C': set_alignment(ps_, kAlignCentre, out_); break;
            case 'R': set_alignment(ps_, kAlignRight, out_); break;
            case 'F': set_alignment(ps_, kAlignJustify, out_); break;
            default: break;
        }
    }

    // Converts `length` bytes of text run; never reads past them. False at
    // the end of the file.
    bool text_run(long length) {
        while (length > 0) {
            const int b = src_.get();
            if (b == ByteFile::kEnd) return false;
            --length;
            switch (b) {
                case kStyleMarker: {
                    if (length < 5) {  // a marker cut short by its record: dropped
                        skip_bytes(length, src_);
                        return src_.tell() <= src_.size();
                    }
                    std::uint8_t m[5];
                    if (!read_exact(src_, m, sizeof m)) return false;
                    length -= 5;
                    marker(m);
                    break;
                }
                case kFontMarker: {
                    // libmwaw reads four bytes after it, as we do: the font
                    // and the size are carried, the rest is not text.
                    if (length < 4) {
                        skip_bytes(length, src_);
                        return src_.tell() <= src_.size();
                    }
                    std::uint8_t m[4];
                    if (!read_exact(src_, m, sizeof m)) return false;
                    length -= 4;
                    table_ = source_table_for_font(cs_, m[1], out_);
                    if (m[2] != 0 && m[2] < 128) set_font_size(cs_, m[2], out_);
                    break;
                }
                case 0x09:
                    out_.put(stream::kTab);
                    break;
                case 0x10:
                case 0x11:
                    break;
                case kFirstField: case 0x15: case 0x16: case 0x17: case 0x18: case kLastField:
                    // A field (footnote, date, page number...): not carried;
                    // in Works 3 its two id bytes go with it.
                    if (version_ == kWorks3) {
                        const long ids = length < 2 ? length : 2;
                        skip_bytes(ids, src_);
                        length -= ids;
                    }
                    break;
                default:
                    write_source_char(table_, static_cast<std::uint8_t>(b), out_);
                    break;
            }
        }
        return true;
    }

    void marker(const std::uint8_t* m) {
        const unsigned flags = m[3];
        if (version_ == kWorks2) {
            // Sizes outside what the stream holds (1 to 127 points) leave it.
            if (m[2] != 0 && m[2] < 128) set_font_size(cs_, m[2], out_);
            if (flags == 0) {
                all_styles_off(cs_, out_);
                return;
            }
            match_styles(cs_, flags, kMacintoshStyleFlags, out_);
            return;
        }
        match_styles(cs_, flags, kWorks3Flags, out_);
    }

    Conversion& conversion_;
    ByteFile& src_;
    ByteFile& out_;
    CharState cs_;
    ParaState ps_;
    int version_ = 0;
    unsigned records_ = 0;
    const std::uint16_t* table_ = kMacintoshTable;
};

}  // namespace

Status read_works(Conversion& conversion, ByteFile& source, ByteFile& work) {
    return Reader(conversion, source, work).run();
}

int works_version_of(const SourceStart& s) {
    if (s.have < 32 || s.u16(0) != 0 || s.byte(2) != 0 || s.u16(16) != 1) return 0;
    return s.byte(3) == kWorks2 ? 2 : s.byte(3) == kWorks3 ? 3 : 0;
}

// One program, two versions: the Finder names the program, the content
// the version; a content that says neither goes by the creator.
namespace {
int bid_works(const Evidence& e, int version, const char* creator) {
    const int found = works_version_of(e.start);
    if (e.finder_says("AWWP", "PSI2") || e.finder_says("AWWP", "MSWK")) {
        return found == version || (found == 0 && e.finder_says("AWWP", creator)) ? kBidFinder + 1 : kNoBid;
    }
    return found == version ? kBidMarks + 3 : kNoBid;
}
}  // namespace

int bid_works2(const Evidence& e) { return bid_works(e, 2, "PSI2"); }
int bid_works3(const Evidence& e) { return bid_works(e, 3, "MSWK"); }

}  // namespace verbatra
