// RagTime 2 and 3 page layouts. A table of frames (pages, text, pictures,
// sheets, lines, charts) points at data blocks; a text block holds its
// characters, then attribute records and paragraph records. RagTime 2
// chains pages and their frames by entry number; RagTime 3 lists every
// frame in one typed table, and keeps its character styles in a document
// table reached through the resource map that follows the frame table.
#include "readers/ragtime.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <span>
#include <vector>

#include "pipeline/file_utils.h"
#include "pipeline/conversion.h"
#include "stream/mac_charset.h"
#include "readers/source_bytes.h"
#include "stream/codes.h"
#include "stream/emitter.h"
#include "stream/fonts.h"
#include "stream/symbol_tables.h"

namespace verbatra {

namespace {

constexpr std::size_t kVersionByte = 46;  // 0: RagTime 2, 1: RagTime 3

// RagTime 2: the entry table, and the text block's head.
constexpr std::size_t kFirstPage2 = 130, kEntries2 = 256, kEntrySize2 = 40;
constexpr std::uint8_t kTextFrameMark[4] = {0x00, 0x00, 0x64, 0x01};
constexpr std::size_t kHead2 = 9, kAttribute2 = 8, kParagraph2 = 34;

// RagTime 3: the frame table (the type byte of frame i at 204 + 54 i, the
// rest of its entry from 224 + 54 i), and the text block's head.
constexpr std::size_t kFrameCount3 = 96, kTypes3 = 204, kEntries3 = 224, kEntrySize3 = 54, kTextOffset3 = 30;
constexpr std::uint8_t kTextFrame3 = 2;
constexpr std::size_t kHead3 = 5, kAttribute3 = 10, kParagraph3 = 48;
constexpr unsigned kMaxLength3 = 32766;

// The flags of a RagTime 3 character style; RagTime 2's style byte has the
// first five.
constexpr StyleFlag kRagtimeFlags[] = {
    {0x01, kBold},   {0x02, kItalic},       {0x04, kUnderline}, {0x08, kOutline},
    {0x10, kShadow}, {0x80, kSuperscript}, {0x100, kSubscript},
};
constexpr std::span<const StyleFlag> kStyleByteFlags(kRagtimeFlags, 5);

// A text block as found in the file, every part inside it.
struct Block {
    std::size_t text = 0, length = 0;
    bool cut = false;  // the file ends inside the text
    std::size_t attributes = 0, attribute_count = 0;
    std::size_t paragraphs = 0, paragraph_count = 0;
    std::vector<bool> page_tokens;  // RagTime 3: which 0x01 bytes are page numbers
};

struct CharStyle {
    unsigned font, size, flags;
};

class Reader {
public:
    Reader(Conversion& conversion, ByteFile& source, ByteFile& work, int version)
        : conversion_(conversion), src_(source), out_(work), version_(version) {}

    Status run() {
        if (reset_document_state(src_, cs_, ps_, nullptr) == kEmptyInput) return kEmptyInput;
        const DocumentStart start = read_document_start(src_, "????R#+A");
        if (start.end <= start.origin || start.have <= kVersionByte) return kNotOfFormat;
        const std::uint8_t* h = start.header;
        const bool of_version = version_ == 2 ? h[4] == 2 && h[kVersionByte] == 0
                                              : be16s(h + 4) > 340 && h[kVersionByte] == 1;
        if (!of_version) return kNotOfFormat;
        if (!read_whole_document(src_, start, data_)) return kNotOfFormat;
        if (version_ == 2) read_pages();
        else read_frames();
        return kConverted;
    }

private:
    bool inside(std::size_t at, std::size_t count) const {
        return at <= data_.size() && count <= data_.size() - at;
    }
    unsigned u16(std::size_t at) const { return inside(at, 2) ? be16(&data_[at]) : 0; }
    // The document promised bytes up to `needed`, past the end of the file.
    void cut_short(const char* what, std::size_t needed) const {
        conversion_.note_cut_short(what, static_cast<long>(data_.size()), static_cast<long>(needed));
    }
    std::uint32_t u32(std::size_t at) const { return inside(at, 4) ? be32(&data_[at]) : 0; }

    // ---- RagTime 2 ----

    // The entry numbered `index` (from 1), when it lies in the file and was
    // not met before: a chain that loops or points outside ends there.
    bool take_entry(unsigned index, std::size_t& at) {
        if (index == 0) return false;
        at = kEntries2 + static_cast<std::size_t>(index - 1) * kEntrySize2;
        if (!inside(at, kEntrySize2)) {
            cut_short("the page and frame list", at + kEntrySize2);
            return false;
        }
        return entries_met_.insert(index).second;
    }

    void read_pages() {
        std::size_t page = 0;
        bool first = true;
        for (unsigned p = u16(kFirstPage2); take_entry(p, page); p = u16(page + 4)) {
            if (!first) {
                close_paragraph();
                out_.put(stream::kPageBreak);
            }
            first = false;
            std::size_t frame = 0;
            for (unsigned f = u16(page + 8); take_entry(f, frame); f = u16(frame + 4)) {
                if (std::memcmp(&data_[frame + 20], kTextFrameMark, 4) == 0) convert_block(u32(frame + 24));
            }
        }
    }

    // ---- RagTime 3 ----

    void read_frames() {
        const std::size_t count = u16(kFrameCount3);
        const std::size_t table_end = kTypes3 + count * kEntrySize3;
        read_style_table(table_end);
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t entry = kEntries3 + i * kEntrySize3;
            if (!inside(entry, kTextOffset3 + 4)) {
                cut_short("the frame table", table_end);
                break;
            }
            if (data_[kTypes3 + i * kEntrySize3] != kTextFrame3) continue;
            const std::uint32_t offset = u32(entry + kTextOffset3);
            if (offset == 0 || offset == 0x4000 || offset < table_end) continue;
            if (offset >= data_.size()) {
                conversion_.note_damage("a text frame at byte " + std::to_string(offset) + " lies past the end of the file at byte " +
                            std::to_string(data_.size()) + ": file cut short");
                continue;
            }
            convert_block(offset);
        }
    }

    // The resource map after the frame table: its length (10 per entry,
    // plus 2), then entries of a 4-byte distance, a 4-byte name and a
    // 2-byte id. "FHfl" is the font list (Macintosh font number at +6 of
    // each record), "FHsl" the character styles (font, size and flags at
    // +4, +6 and +10). Both have a length, a head length, a record length
    // and a record count before their records.
    void read_style_table(std::size_t map) {
        const unsigned length = u16(map);
        if (length % 10 != 2 || !inside(map + 2, length)) return;
        for (std::size_t e = map + 2; e + 10 <= map + 2 + length; e += 10) {
            const std::uint32_t distance = u32(e);
            if (distance == 0) continue;
            const std::size_t zone = map + 2 + distance;
            const char* name = reinterpret_cast<const char*>(&data_[e + 4]);
            if (std::memcmp(name, "FHfl", 4) == 0 && fonts_.empty()) {
                for_each_record(zone, 8, [&](std::size_t r) { fonts_.push_back(u16(r + 6)); });
            } else if (std::memcmp(name, "FHsl", 4) == 0 && !have_styles_) {
                have_styles_ = for_each_record(zone, 12, [&](std::size_t r) {
                    styles_.push_back({u16(r + 4), u16(r + 6), u16(r + 10)});
                });
            }
        }
    }

    // Calls `use` with each record of the zone at `zone`; false when the
    // zone's numbers do not fit the file or records of at least `least`
    // bytes.
    template <typename Use>
    bool for_each_record(std::size_t zone, unsigned least, Use use) {
        const unsigned head = u16(zone + 2), record = u16(zone + 4), count = u16(zone + 6);
        const std::size_t first = zone + 2 + head;
        if (head < 6 || record < least || !inside(first, static_cast<std::size_t>(count) * record)) return false;
        for (std::size_t i = 0; i < count; ++i) use(first + i * record);
        return true;
    }

    // ---- Text blocks ----

    bool find_block2(std::size_t at, Block& b) const {
        if (!inside(at, kHead2) || data_[at] == 0xFF) return false;
        const unsigned value = u16(at + 6);
        b.text = at + kHead2;
        b.length = value > 0 ? value - 1 : 0;
        find_records(b, kAttribute2, kParagraph2, b.text + b.length);
        return true;
    }

    // False for a frame with no text; an empty frame writes its paragraph
    // end here.
    bool find_block3(std::size_t at, Block& b) {
        if (!inside(at, kHead3)) return false;
        const unsigned value = u16(at + 2);
        if (value < 2 || value > kMaxLength3) {
            out_.put(stream::kParagraphEnd);
            paragraph_open_ = false;
            return false;
        }
        b.text = at + kHead3;
        b.length = value - 1;
        // The count includes the byte before the text; an odd count is
        // padded to an even one.
        const std::size_t after = find_records(b, kAttribute3, kParagraph3, b.text + b.length + (value & 1));
        find_tokens(b, after);
        return true;
    }

    // Finds the attribute and paragraph records that follow the text (the
    // count of each before them), keeping those inside the file. Returns
    // where the paragraph records end.
    std::size_t find_records(Block& b, std::size_t attribute, std::size_t paragraph, std::size_t at) const {
        if (!inside(b.text, b.length)) {
            cut_short("text", b.text + b.length);
            b.cut = true;
            b.length = data_.size() - std::min(b.text, data_.size());
            return data_.size();
        }
        auto records = [&](std::size_t size, std::size_t& first, std::size_t& count) {
            if (!inside(at, 2)) cut_short("the text's formatting", at + 2);
            count = u16(at);  // 0 past the end
            first = at + 2;
            const std::size_t fit = inside(first, 0) ? (data_.size() - first) / size : 0;
            if (count > fit) cut_short("the text's formatting", first + count * size);
            count = std::min(count, fit);
            at = first + count * size;
        };
        records(attribute, b.attributes, b.attribute_count);
        records(paragraph, b.paragraphs, b.paragraph_count);
        return at;
    }

    // After the paragraph records of a RagTime 3 block: an area (its length
    // first) and the token list, each token its length (itself included)
    // and data. A token of 4 bytes is a page number when its last byte is
    // 0x2C or 0x2E (0x2D is the next page's number); the others are dates
    // and times. The n-th 0x01 of the text is the n-th token.
    void find_tokens(Block& b, std::size_t at) const {
        at += 2 + u16(at);
        const unsigned list = u16(at);
        if (!inside(at, 2 + std::size_t{list})) return;
        const std::size_t end = at + 2 + list;
        for (at += 2; at + 2 <= end;) {
            const unsigned length = u16(at);
            if (length < 3 || at + length > end) return;
            b.page_tokens.push_back(length == 4 && (data_[at + 3] == 0x2C || data_[at + 3] == 0x2E));
            at += length;
        }
    }

    void convert_block(std::size_t at) {
        if (!blocks_done_.insert(at).second) return;  // a frame that shares its text
        Block b;
        if (version_ == 2 ? !find_block2(at, b) : !find_block3(at, b)) return;
        close_paragraph();
        std::size_t next_attribute = 0, next_paragraph = 0, tokens = 0;
        const auto attribute = [&](std::size_t i) {
            return b.attributes + i * (version_ == 2 ? kAttribute2 : kAttribute3);
        };
        const auto paragraph = [&](std::size_t i) {
            return b.paragraphs + i * (version_ == 2 ? kParagraph2 : kParagraph3);
        };
        if (b.attribute_count > 0) apply_attribute(attribute(next_attribute++));
        if (b.paragraph_count > 0) apply_alignment(paragraph(next_paragraph++));
        int last = -1;
        for (std::size_t i = 0; i < b.length; ++i) {
            // Positions count the characters from 1; a record is applied
            // before the character it names (late, should records be out of
            // order).
            while (next_attribute < b.attribute_count && u16(attribute(next_attribute)) <= i + 1) {
                apply_attribute(attribute(next_attribute++));
            }
            const std::uint8_t c = data_[b.text + i];
            last = c;
            switch (c) {
                case 0x00:
                    if (next_paragraph < b.paragraph_count) {
                        apply_alignment(paragraph(next_paragraph++));
                    }
                    continue;
                case 0x09: out_.put(stream::kTab); continue;
                case 0x0B:
                case 0x0D:
                    all_styles_off(cs_, out_);
                    out_.put(stream::kParagraphEnd);
                    continue;
                default: break;
            }
            if (version_ == 2 && c == 0x03) {
                out_.put('#');
            } else if (version_ == 3 && c == 0x01) {
                if (tokens < b.page_tokens.size() && b.page_tokens[tokens]) code(stream::kPageNumber);
                ++tokens;
            } else if (version_ == 3 && c == 0xCA) {
                code(stream::kNonBreakingSpace);
            } else if (c >= 0x20) {
                write_source_char(table_, c, out_);
            }
        }
        const bool ended = last == 0x0B || last == 0x0D;
        if (b.cut) {
            paragraph_open_ = last != -1 && !ended;
            return;
        }
        if (version_ == 2 && !ended) out_.put(stream::kParagraphEnd);
        paragraph_open_ = version_ == 3 && !ended;
    }

    // Frames follow each other as paragraphs, never run together: a frame
    // whose text stops inside a paragraph (RagTime 3 writes no paragraph
    // end of its own, and a cut frame stops where the file does) has it
    // ended before what comes next.
    void close_paragraph() {
        if (paragraph_open_) out_.put(stream::kParagraphEnd);
        paragraph_open_ = false;
    }

    void code(std::uint8_t c) {
        out_.put(stream::kEscape);
        out_.put(c);
    }

    // The font of Macintosh font number `number`: Times, Helvetica and
    // Symbol have their own class or table, the rest are "other".
    void apply_font(unsigned number) {
        if (cs_.symbol_font == 1 && number != 23) {
            set_symbol_font(cs_, 0, out_);
            table_ = kMacintoshTable;
        }
        switch (number) {
            case 20: set_font_class(cs_, 1, out_); break;
            case 21: set_font_class(cs_, 2, out_); break;
            case 23:
                set_symbol_font(cs_, 1, out_);
                table_ = kSymbolTable;
                break;
            default: set_font_class(cs_, 0, out_); break;
        }
        const char* name = stream::mac_font_name(static_cast<int>(number));
        set_font_name(cs_, name ? name : "", out_);
    }

    void set_vertical(bool subscript, bool superscript) {
        if (subscript) style_on(cs_, kSubscript, 1, out_);
        else style_off(cs_, kSubscript, out_);
        if (superscript) style_on(cs_, kSuperscript, 1, out_);
        else style_off(cs_, kSuperscript, out_);
    }

    void apply_attribute(std::size_t a) {
        if (version_ == 2) {
            // Size (0x80: subscript), style byte (0x80: superscript), font
            // number, spacing, and a signed baseline shift.
            const unsigned size = data_[a + 2], style = data_[a + 3];
            const auto shift = static_cast<std::int8_t>(data_[a + 7]);
            set_font_size(cs_, static_cast<int>(size & 0x7F), out_);
            apply_font(u16(a + 4));
            if ((style & 0x7F) == 0) all_styles_off(cs_, out_);
            else match_styles(cs_, style & 0x7F, kStyleByteFlags, out_);
            set_vertical((size & 0x80) != 0 || shift > 0, (style & 0x80) != 0 || shift < 0);
            return;
        }
        // A style number (from 1) and a shift byte: 1-128 down, 129-255 up.
        all_styles_off(cs_, out_);
        const unsigned number = u16(a + 2);
        if (have_styles_) {
            if (number >= 1 && number <= styles_.size()) {
                const CharStyle& s = styles_[number - 1];
                match_styles(cs_, s.flags, kRagtimeFlags, out_);
                if (s.size < 128) set_font_size(cs_, static_cast<int>(s.size), out_);
                if (s.font >= 1 && s.font <= fonts_.size()) apply_font(fonts_[s.font - 1]);
            }
        } else {
            // A document without its own table: the numbers of a new one.
            switch (number & 0xFF) {
                case 2: style_on(cs_, kItalic, 1, out_); break;
                case 3:
                    style_on(cs_, kBold, 1, out_);
                    style_on(cs_, kUnderline, 1, out_);
                    break;
                case 4: style_on(cs_, kUnderline, 1, out_); break;
                case 5: style_on(cs_, kBold, 1, out_); break;
                case 6: style_on(cs_, kSubscript, 1, out_); break;
                case 7: style_on(cs_, kSuperscript, 1, out_); break;
                default: break;
            }
        }
        const unsigned shift = data_[a + 6];
        if (shift >= 1 && shift <= 128) style_on(cs_, kSubscript, 1, out_);
        else if (shift > 128) style_on(cs_, kSuperscript, 1, out_);
    }

    void apply_alignment(std::size_t p) {
        switch (data_[p + 6]) {
            case 0: set_alignment(ps_, kAlignLeft, out_); break;
            case 1: set_alignment(ps_, kAlignCentre, out_); break;
            case 2: set_alignment(ps_, kAlignRight, out_); break;
            case 3: set_alignment(ps_, kAlignJustify, out_); break;
            default: break;
        }
    }

    Conversion& conversion_;
    ByteFile& src_;
    ByteFile& out_;
    const int version_;
    std::vector<std::uint8_t> data_;
    CharState cs_;
    ParaState ps_;
    const std::uint16_t* table_ = kMacintoshTable;
    std::set<unsigned> entries_met_;
    std::set<std::size_t> blocks_done_;
    std::vector<unsigned> fonts_;
    std::vector<CharStyle> styles_;
    bool have_styles_ = false;
    bool paragraph_open_ = false;
};

}  // namespace

Status read_ragtime2(Conversion& conversion, ByteFile& source, ByteFile& work) {
    return Reader(conversion, source, work, 2).run();
}
Status read_ragtime3(Conversion& conversion, ByteFile& source, ByteFile& work) {
    return Reader(conversion, source, work, 3).run();
}

bool recognises_ragtime3(const SourceStart& s) {
    const long frames = static_cast<long>(s.u16(kFrameCount3));
    return s.u16(0) == 0 && static_cast<std::int16_t>(s.u16(4)) > 340 && s.byte(kVersionByte) == 1 && frames > 0 &&
           static_cast<long>(kTypes3 + kEntrySize3 * frames) <= s.size;
}

bool recognises_ragtime2(const SourceStart& s) {
    return s.u16(0) == 0 && s.byte(4) == 2 && s.byte(kVersionByte) == 0 && s.u16(kFirstPage2) != 0 &&
           static_cast<long>(kEntries2 + kEntrySize2) <= s.size;
}

// RagTime's creator is the same for both versions, and its documents come
// with several types: the content tells the version, and a file whose
// content says neither is taken for the later one.
int bid_ragtime2(const Evidence& e) {
    const bool marks = recognises_ragtime2(e.start);
    if (e.finder_says("????", "R#+A")) return marks ? kBidFinder + 1 : kNoBid;
    return marks ? kBidMarks + 1 : kNoBid;
}

int bid_ragtime3(const Evidence& e) {
    if (e.finder_says("????", "R#+A")) return recognises_ragtime2(e.start) ? kNoBid : kBidFinder + 1;
    return recognises_ragtime3(e.start) ? kBidMarks + 2 : kNoBid;
}

}  // namespace verbatra
