// MacWrite 1.0 to 5: file versions 3 and 6.
//
// Version 6 (MacWrite 4.5 to 5): the header holds three section
// records (footer, header, main text); each points at an array of 16-byte
// paragraph-information entries, which are rulers, text paragraphs or
// page breaks. A text paragraph is its text (plain or nibble-compressed)
// followed by its format runs. Every offset and length read from the file
// is checked against the end of the document's data before it is used.
//
// Version 3 (MacWrite 1.0 to 2.2): the header holds where the paragraphs
// start and how many each section has (main text, header, footer); from
// there each paragraph is a type word (0 ruler, 1 text, 2 page break), a
// length and its data, the sections one after the other. Rulers and text
// are laid out as in version 6, and text is never compressed.
#include "readers/macwrite.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <map>

#include <vector>

#include "pipeline/file_utils.h"
#include "pipeline/conversion.h"
#include "pipeline/scratch.h"
#include "stream/mac_charset.h"
#include "readers/source_bytes.h"
#include "stream/codes.h"
#include "stream/emitter.h"
#include "stream/symbol_tables.h"

namespace verbatra {

namespace {

constexpr int kEntrySize = 16;
constexpr int kRulerSize = 34;
constexpr int kRunSize = 6;
constexpr int kMaxRulerTabs = 12;

constexpr const char kCompressedChars[] = " etnroaisdlhcfp";

// Style bits of a format run, in the order they are applied, with the
// character style each drives.

struct FormatRun {
    int position;
    int size;
    std::uint8_t style;
    int font;
};

class Reader {
public:
    Reader(Conversion& conversion, ByteFile& source, ByteFile& work)
        : conversion_(conversion), src_(source), out_(work) {}

    Status run() {
        if (reset_document_state(src_, cs_, ps_, &tabs_) == kEmptyInput) return kEmptyInput;
        const DocumentStart start = read_document_start(src_, "WORDMACA");
        origin_ = start.origin;
        end_ = start.end;
        const std::uint8_t* header = start.header;
        if (start.have < 10 || header[0] != 0 || (header[1] != 6 && header[1] != 3)) return kNotOfFormat;
        if (header[1] == 3) return run_version3(header);

        write_section_code(stream::kHeaderAll, out_);
        section(be16(header + 4), header + 206);
        out_.put(stream::kEscape);
        out_.put(stream::kEndSection);
        write_section_code(stream::kFooterAll, out_);
        section(be16(header + 6), header + 160);
        out_.put(stream::kEscape);
        out_.put(stream::kEndSection);
        section(be16(header + 2), header + 252);
        remove_scratch("PAR.###");
        return kConverted;
    }

private:
    struct Paragraph3 {
        int type;
        long data;
    };

    // The three sections' paragraphs of a version-3 file, in the file's
    // order: main text, header, footer. A paragraph the file cuts short
    // ends them all: what came before it still converts.
    void read_paragraphs3(const std::uint8_t* header, std::vector<Paragraph3> (&sections)[3]) {
        long at = be16(header + 2);
        for (int s = 0; s < 3; ++s) {
            const int count = be16s(header + 4 + 2 * s);
            for (int i = 0; i < count; ++i) {
                std::uint8_t word[4];
                src_.seek_to(origin_ + at);
                if (!inside(at, 4) || !read_exact(src_, word, 4)) {
                    cut_short("a paragraph", at + 4);
                    return;
                }
                const long length = be16s(word + 2);
                if (length < 0 || !inside(at + 4, length)) {
                    cut_short("a paragraph", at + 4 + std::max(length, 0L));
                    return;
                }
                sections[s].push_back({be16(word) & 7, at + 4});
                at += 4 + length;
            }
        }
    }

    Status run_version3(const std::uint8_t* header) {
        std::vector<Paragraph3> sections[3];
        read_paragraphs3(header, sections);
        const auto write = [&](const std::vector<Paragraph3>& paragraphs) {
            for (const Paragraph3& p : paragraphs) {
                if (p.type == 0) ruler(p.data);
                else if (p.type == 1) paragraph(p.data, 0);
                else if (p.type == 2) out_.put(stream::kPageBreak);
            }
        };
        write_section_code(stream::kHeaderAll, out_);
        write(sections[1]);
        out_.put(stream::kEscape);
        out_.put(stream::kEndSection);
        write_section_code(stream::kFooterAll, out_);
        write(sections[2]);
        out_.put(stream::kEscape);
        out_.put(stream::kEndSection);
        write(sections[0]);
        remove_scratch("PAR.###");
        return kConverted;
    }

    // True when `count` bytes from document offset `offset` lie inside the data.
    bool inside(long offset, long count) const { return offset >= 0 && count >= 0 && origin_ + offset + count <= end_; }

    void section(unsigned count, const std::uint8_t* record) {
        const long array = static_cast<long>(be32(record + 12));
        const long length = be16(record + 16);
        if (count == 0 || length < kEntrySize) return;
        if (!inside(array, length)) {
            cut_short("the paragraph list", array + length);
            return;
        }
        ByteFile par = open_scratch("PAR.###", "w+b");
        src_.seek_to(origin_ + array);
        copy_bytes(src_, par, length);
        par.rewind();
        // No more entries than the array holds, whatever the count says.
        unsigned entries = static_cast<unsigned>(length / kEntrySize);
        if (count < entries) entries = count;
        std::uint8_t e[kEntrySize];
        for (unsigned i = 0; i < entries && read_exact(par, e, kEntrySize); ++i) {
            const int height = be16s(e);
            const long data = static_cast<long>(e[9]) << 16 | static_cast<long>(e[10]) << 8 | e[11];
            if (height < 0) {
                // A picture; one of 22 bytes is MacWrite's page break.
                const long length = be16(e + 12);
                if (length == 22) out_.put(stream::kPageBreak);
                else picture(data, length, e[8]);
            } else if (height == 0) {
                ruler(data);
            } else {
                paragraph(data, e[8]);
            }
        }
    }

    void ruler(long data) {
        if (!inside(data, kRulerSize)) {
            cut_short("a ruler", data + kRulerSize);
            return;
        }
        std::uint8_t r[kRulerSize];
        src_.seek_to(origin_ + data);
        if (!read_exact(src_, r, kRulerSize)) return;
        int k = -cs_.size;
        if (k == 0) k = 10;
        const int margin = be16s(r) * 5 / (3 * k);
        ps_.left_margin = margin;
        ruler_justification_ = r[4];
        const int s = be16s(r + 6);
        const int spacing = (s / 2 + 1) * 8;
        if (spacing != ps_.line_spacing) set_line_spacing(ps_, spacing, out_);
        mark_tabs(tabs_);
        const int n = r[5] < kMaxRulerTabs ? r[5] : kMaxRulerTabs;
        for (int i = 0; i < n; ++i) {
            const unsigned t = be16(r + 10 + 2 * i);
            // Bit 15 marks a decimal tab; the position is in the low 15 bits.
            const int column = static_cast<int>((t & 0x7FFF) * static_cast<unsigned>(k) / 72) - margin;
            if (column <= 0 || column > 255) continue;
            set_tab_stop(tabs_, column, (t & 0x8000) ? stream::kTabDecimal : stream::kTabLeft, out_);
        }
        flush_marked_tabs(out_, tabs_);
    }

    // A picture paragraph: the frame (top, left, bottom, right, in points),
    // then the picture itself. MacWrite's own placeholder (526 bytes marked
    // "MAGICPIC") stands for no picture.
    void picture(long data, long length, std::uint8_t status) {
        constexpr long kFrame = 8, kPictureHeader = 10, kMagicSize = 526, kMagicAt = 514;
        if (length < kFrame + kPictureHeader) return;
        if (!inside(data, length)) {
            cut_short("a picture", data + length);
            return;
        }
        if (!claim(data, data + length)) return;
        std::uint8_t frame[kFrame];
        src_.seek_to(origin_ + data);
        if (!read_exact(src_, frame, kFrame)) return;
        if (length - kFrame == kMagicSize) {
            std::uint8_t mark[8];
            src_.seek_to(origin_ + data + kFrame + kMagicAt);
            if (read_exact(src_, mark, 8) && std::memcmp(mark, "MAGICPIC", 8) == 0) return;
            src_.seek_to(origin_ + data + kFrame);
        }
        align(status);
        write_picture(1, be16s(frame + 4) - be16s(frame), be16s(frame + 6) - be16s(frame + 2), src_, length - kFrame, out_);
        out_.put(stream::kParagraphEnd);
        ++conversion_.pictures;
    }

    void align(std::uint8_t status) {
        const int j = (status & 0x40) ? (status & 3) : ruler_justification_;
        static constexpr int kAlignmentOf[4] = {kAlignLeft, kAlignCentre, kAlignRight, kAlignJustify};
        set_alignment(ps_, j >= 0 && j < 4 ? kAlignmentOf[j] : kAlignLeft, out_);
    }

    void paragraph(long data, std::uint8_t status) {
        if (!inside(data, 2)) {
            cut_short("text", data + 2);
            return;
        }
        std::uint8_t word[2];
        src_.seek_to(origin_ + data);
        if (!read_exact(src_, word, 2)) return;
        const long n = be16(word);
        if (n == 0) return;
        if (n == 1) {
            out_.put(stream::kParagraphEnd);
            return;
        }
        const bool compressed = (status & 0x08) != 0;
        // Plain text the file cuts short converts as far as it goes;
        // compressed text is shorter than n, and its expansion stops at the
        // end of the file.
        long have = n;
        if (!compressed && !inside(data + 2, n)) {
            cut_short("text", data + 2 + n);
            have = end_ - origin_ - (data + 2);
            if (have <= 0) return;
        }

        align(status);

        if (!compressed) {
            const long text = src_.tell();
            if (have == n) {
                src_.seek_relative(n + (n & 1));
                read_runs();
            }
            if (!claim(data, have < n ? end_ - origin_ : src_.tell() - origin_)) return;
            src_.seek_to(text);
            emit(src_, have);
            return;
        }
        ByteFile att = open_scratch("ATT.###", "w+b");
        if (!expand(n, att)) cut_short("compressed text", data + 2 + n / 2);
        if (src_.tell() & 1) src_.seek_relative(1);
        read_runs();
        if (!claim(data, src_.tell() - origin_)) return;
        att.rewind();
        emit(att, n);
        att.close();
        remove_scratch("ATT.###");
    }

    // Marks the bytes [begin, end) of the document as the paragraph being
    // converted; false when a paragraph already converted holds any of
    // them. A damaged paragraph array can name the same text, or text
    // inside other text, many times over: each byte of the file is then
    // still converted once, and the stream stays in proportion to the file.
    bool claim(long begin, long end) {
        auto next = claimed_.lower_bound(end);
        if (next != claimed_.begin() && std::prev(next)->second > begin) return false;
        claimed_.emplace(begin, end);
        return true;
    }

    // Reads the format length and the runs that lie whole within it.
    void read_runs() {
        runs_.clear();
        std::uint8_t word[2];
        if (!read_exact(src_, word, 2)) return;
        const long m = be16(word);
        std::uint8_t run[kRunSize];
        for (long used = 0; used + kRunSize <= m && read_exact(src_, run, kRunSize); used += kRunSize) {
            runs_.push_back({be16s(run), static_cast<std::int8_t>(run[2]), run[3], be16s(run + 4)});
        }
    }

    // Expands nibble-compressed text: 0-14 stand for " etnroaisdlhcfp",
    // 15 takes the next two nibbles as one character.
    bool expand(long n, ByteFile& att) {
        int pending = -1;  // the low nibble of the last byte, not yet used
        auto nibble = [&]() -> int {
            if (pending >= 0) {
                int v = pending;
                pending = -1;
                return v;
            }
            int b = src_.get();
            if (b == ByteFile::kEnd) return -1;
            pending = b & 0x0F;
            return b >> 4;
        };
        for (long produced = 0; produced < n; ++produced) {
            int v = nibble();
            if (v < 0) return false;
            if (v < 15) {
                att.put(static_cast<std::uint8_t>(kCompressedChars[v]));
                continue;
            }
            int hi = nibble();
            int lo = hi < 0 ? -1 : nibble();
            if (lo < 0) return false;
            att.put(static_cast<std::uint8_t>(hi << 4 | lo));
        }
        return true;
    }

    // The document promised bytes up to document offset `needed`.
    void cut_short(const char* what, long needed) { conversion_.note_cut_short(what, end_ - origin_, needed); }

    void apply(const FormatRun& run) {
        set_font_size(cs_, run.size, out_);
        table_ = source_table_for_font(cs_, run.font, out_);
        if (run.style == 0) {
            all_styles_off(cs_, out_);
            return;
        }
        match_styles(cs_, run.style, kMacintoshStyleFlags, out_);
    }

    void emit(ByteFile& text, long n) {
        std::size_t next_run = 0;
        for (long counter = 0; counter < n; ++counter) {
            if (next_run < runs_.size() && runs_[next_run].position == counter) apply(runs_[next_run++]);
            const int c = text.get();
            if (c == ByteFile::kEnd) return;
            if (c == 0x09) {
                out_.put(stream::kTab);
            } else if (c == 0x0D) {
                all_styles_off(cs_, out_);
                out_.put(stream::kParagraphEnd);
                return;
            } else if (c == 0x5C) {
                out_.put(stream::kEscape);
                out_.put(stream::kBackslash);
            } else {
                write_source_char(table_, static_cast<std::uint8_t>(c), out_);
            }
        }
    }

    Conversion& conversion_;
    ByteFile& src_;
    ByteFile& out_;
    CharState cs_;
    ParaState ps_;
    TabState tabs_;
    const std::uint16_t* table_ = kMacintoshTable;
    long origin_ = 0;
    long end_ = 0;
    int ruler_justification_ = 0;
    std::vector<FormatRun> runs_;
    std::map<long, long> claimed_;  // paragraphs converted: first byte -> end
};

}  // namespace

Status read_macwrite(Conversion& conversion, ByteFile& source, ByteFile& work) {
    return Reader(conversion, source, work).run();
}

bool recognises_macwrite(const SourceStart& s) {
    if (s.u16(0) == 3) {
        // The paragraphs start where the header (20 bytes), the print
        // record (120), three window records (34 each) and an 8-byte
        // entry a paragraph end.
        constexpr unsigned kEntries = 242, kEntry3 = 8;
        const unsigned main = s.u16(4), header = s.u16(6), footer = s.u16(8);
        if (main == 0 || main > 0x7FFF || header > 0x7FFF || footer > 0x7FFF) return false;
        return s.u16(2) == kEntries + kEntry3 * (main + header + footer);
    }
    // The header ends with the main section's record, at 298.
    constexpr std::size_t kCounts[3] = {2, 4, 6}, kRecords[3] = {252, 206, 160}, kHeaderEnd = 298;
    if (s.u16(0) != 6 || s.size < static_cast<long>(kHeaderEnd)) return false;
    // A file cut short may have lost its paragraph arrays; the header still
    // says what it is when each array is one entry a paragraph.
    for (int i = 0; i < 3; ++i) {
        const unsigned count = s.u16(kCounts[i]);
        if (count == 0) continue;
        const std::uint64_t array = s.u32(kRecords[i] + 12), length = s.u16(kRecords[i] + 16);
        if (length == 0 || array < kHeaderEnd) return false;
        if (array >= static_cast<std::uint64_t>(s.size) && (length != std::uint64_t{count} * kEntrySize || array > (1u << 24))) {
            return false;
        }
    }
    return true;
}

int bid_macwrite(const Evidence& e) {
    if (e.finder_says("WORD", "MACA")) return kBidFinder + 1;
    return recognises_macwrite(e.start) ? kBidMarks + 5 : kNoBid;
}

}  // namespace verbatra
