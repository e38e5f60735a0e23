// MacWrite II. The file is a sequence of 256-byte blocks; data that spans
// blocks is a chain, linked through the last word of each block or through
// runs of consecutive blocks. The document chain holds the character and
// paragraph style tables and the zone list; each text zone has its own
// chain of lists (text blocks, character runs, paragraph runs). Footnote
// texts are converted where their zone stands, behind the main text, and a
// second pass moves each one behind its reference.
//
// A damaged file must neither loop nor read outside itself: a chain stops
// at a block it has already visited, at a block outside the file and at a
// run of fewer than two blocks; style indexes outside their tables give
// plain text and left alignment.
#include "readers/macwrite2.h"

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

constexpr int kBlock = 256;
constexpr int kCharStyleSize = 10;
constexpr int kParaStyleSize = 202;
constexpr int kZoneSize = 76;
constexpr std::uint8_t kNoteMark = 0xA3;  // first-pass only: a footnote text starts
constexpr std::uint8_t kNotesEnd = 0xA4;  // first-pass only: the footnote texts of a zone end

struct CharStyle {
    int font = 0;
    int size = 0;
    std::uint8_t style_a = 0;
    std::uint8_t style_b = 0;
};

// Style A and B bits (see CharState) of a character style's style byte and
// extra style byte.
void style_bits(std::uint8_t style, std::uint8_t extra, CharStyle& cs) {
    std::uint8_t a = 0, b = 0;
    if (style & 0x01) a |= 1u << kBold;
    if (style & 0x02) a |= 1u << kItalic;
    if ((style & 0x04) || ((extra & 0x10) && !(extra & 0x20))) a |= 1u << kUnderline;
    if (style & 0x08) b |= 1u << (kOutline - 8);
    if (style & 0x10) b |= 1u << (kShadow - 8);
    if ((style & 0x20) || (extra & 0x01)) a |= 1u << kSuperscript;
    if (style & 0x40) a |= 1u << kSubscript;
    if (extra & 0x02) a |= 1u << kStrikethrough;
    if (extra & 0x04) a |= 1u << kAllCaps;
    if (extra & 0x08) b |= 1u << (kSmallCaps - 8);
    if (extra & 0x20) b |= 1u << (kDoubleUnderline - 8);
    cs.style_a = a;
    cs.style_b = b;
}

bool read_u32(ByteFile& f, std::uint32_t& v) {
    std::uint8_t b[4];
    if (!read_exact(f, b, 4)) return false;
    v = be32(b);
    return true;
}

class Reader {
public:
    Reader(Conversion& conversion, ByteFile& source, ByteFile& work)
        : conversion_(conversion), src_(source), out_(work) {}

    Status run() {
        if (reset_document_state(src_, cs_, ps_, &tabs_) == kEmptyInput) return kEmptyInput;
        const DocumentStart start = read_document_start(src_, "MW2DMWII");
        origin_ = start.origin;
        end_ = start.end;
        if (start.have < 4 || (start.header[1] != 0x2E && start.header[3] != 0x2E)) return kNotOfFormat;
        blocks_ = (end_ - origin_) / kBlock;
        visited_.assign(static_cast<std::size_t>(blocks_) + 1, false);
        text_used_.assign(static_cast<std::size_t>(blocks_) + 1, false);
        zone_used_.assign(static_cast<std::size_t>(blocks_) + 1, false);

        {
            ByteFile doc = open_scratch("ATT.###", "w+b");
            read_chain(3, doc);
            doc.rewind();
            if (read_style_tables(doc)) zone_list(doc);
        }
        remove_scratch("ATT.###");
        if (notes_ != 0) footnote_pass();
        return kConverted;
    }

private:
    // True for a block of the file; a block past its end is the mark of a
    // file cut short, and said so.
    bool block_inside(long b) const {
        if (b > blocks_) conversion_.note_cut_short("a block of the document", (end_ - origin_), b * kBlock);
        return b >= 1 && b <= blocks_;
    }

    bool read_block(long b, std::uint8_t* data) {
        if (!block_inside(b)) return false;
        src_.seek_to(origin_ + (b - 1) * kBlock);
        return read_exact(src_, data, kBlock);
    }

    // Takes block b into the chain: false when it is outside the file or
    // the chain has been there before (a damaged link), which ends the chain.
    bool visit(long b, std::uint8_t* data) {
        if (!block_inside(b) || visited_[static_cast<std::size_t>(b)]) return false;
        visited_[static_cast<std::size_t>(b)] = true;
        return read_block(b, data);
    }

    // Appends the chain that starts at block `start` to `out`. Every block
    // is read once at most, so no chain outgrows the file.
    void read_chain(long start, ByteFile& out) {
        std::fill(visited_.begin(), visited_.end(), false);
        std::uint8_t block[kBlock];
        if (!visit(start, block)) return;
        for (;;) {
            out.write(block, kBlock - 2);
            const int link = be16s(block + kBlock - 2);
            if (link == 0) return;
            if (link > 0) {
                if (!visit(link, block)) return;
                continue;
            }
            const long run = -static_cast<long>(link);
            if (!visit(run, block)) return;
            const long count = be16(block);
            if (count < 2) return;  // not a run of blocks: the chain ends
            out.write(block + 2, kBlock - 2);
            for (long i = 1; i < count - 1; ++i) {
                if (!visit(run + i, block)) return;
                out.write(block, kBlock);
            }
            if (!visit(run + count - 1, block)) return;
        }
    }

    bool read_style_tables(ByteFile& doc) {
        std::uint32_t length;
        if (!read_u32(doc, length)) return false;
        skip_bytes(static_cast<long>(length), doc);
        skip_bytes(4, doc);
        std::uint8_t word[2];
        if (!read_exact(doc, word, 2)) return false;
        const int records = be16s(word);
        if (records > 0) skip_bytes(42L * records, doc);

        if (!read_u32(doc, length)) return false;
        std::uint8_t c[kCharStyleSize];
        for (std::uint32_t i = 0; i < length / kCharStyleSize && read_exact(doc, c, kCharStyleSize); ++i) {
            CharStyle s;
            s.font = c[3];
            s.size = be16s(c + 4) / 4;
            style_bits(c[7], c[6], s);
            char_styles_.push_back(s);
        }
        if (!read_u32(doc, length)) return false;
        std::uint8_t p[kParaStyleSize];
        for (std::uint32_t i = 0; i < length / kParaStyleSize && read_exact(doc, p, kParaStyleSize); ++i) {
            para_styles_.push_back(be16s(p + 2));
        }
        return true;
    }

    void zone_list(ByteFile& doc) {
        std::uint8_t zone[kZoneSize];
        for (;;) {
            skip_bytes(10, doc);  // 4 bytes, a word, 4 bytes
            for (;;) {
                const long at = doc.tell();
                if (!read_exact(doc, zone, kZoneSize)) break;
                const int type = be16s(zone);
                if (type > 2) break;
                if (type == 2) {
                    doc.seek_to(at);
                    break;
                }
                const bool tail = be32(zone + 72) == 0;
                const int first = be16s(zone + 28);
                if (tail && first != 0) {
                    if (!block_inside(first)) break;  // ends this group
                    // A zone, and a text block, is converted once at most,
                    // so a damaged zone list cannot repeat text without end.
                    if (!zone_used_[static_cast<std::size_t>(first)]) {
                        zone_used_[static_cast<std::size_t>(first)] = true;
                        text_zone(first);
                    }
                }
                if (tail) skip_bytes(first == 0 ? 15 : 3, doc);
            }
            if (doc.get() == ByteFile::kEnd || doc.get() == ByteFile::kEnd) return;
        }
    }

    // Copies a list (its 4-byte length, then that many bytes) into `to`.
    static void copy_list(ByteFile& from, ByteFile& to) {
        std::uint32_t length;
        if (read_u32(from, length)) copy_bytes(from, to, static_cast<long>(length));
        to.rewind();
    }

    void text_zone(long first) {
        {
            ByteFile par = open_scratch("PAR.###", "w+b");
            ByteFile blocks = open_scratch("FT1.###", "w+b");
            ByteFile char_runs = open_scratch("FT2.###", "w+b");
            ByteFile para_runs = open_scratch("FTP.###", "w+b");
            read_chain(first, par);
            par.rewind();
            skip_bytes(4, par);
            copy_list(par, blocks);
            copy_list(par, char_runs);
            copy_list(par, para_runs);
            convert_zone(blocks, char_runs, para_runs);
            // The zone's last footnote ends with it: text of a zone after
            // it is main text again.
            if (note_open_) {
                code(stream::kEndSection);
                code(kNotesEnd);
                note_open_ = false;
            }
        }
        for (const char* name : {"PAR.###", "FT1.###", "FT2.###", "FTP.###"}) remove_scratch(name);
    }

    // A list of character or paragraph runs being walked through the text:
    // the characters left in the current run, and whether the list is done.
    struct RunList {
        ByteFile& runs;
        long left = 0;
        bool done = false;

        // When the current run is used up, the style index of the next run
        // with at least one character; false while the run goes on and once
        // the list is done.
        bool next(int& index) {
            if (left != 0 || done) return false;
            std::uint8_t r[6];
            while (read_exact(runs, r, 6)) {
                index = be16s(r);
                left = static_cast<long>(be32(r + 2) & 0x7FFFFFFF);
                if (left > 0) return true;
            }
            done = true;
            return false;
        }
        bool last() const { return left == 1; }
        void step() {
            if (left > 0) --left;
        }
    };

    void apply_char_style(int index) {
        all_styles_off(cs_, out_);
        if (index < 0 || index >= static_cast<int>(char_styles_.size())) return;  // plain text
        const CharStyle& s = char_styles_[static_cast<std::size_t>(index)];
        set_font_size(cs_, s.size, out_);
        table_ = source_table_for_font(cs_, s.font, out_);
        cs_.style_a = s.style_a;
        cs_.style_b = s.style_b;
        cs_.style_count = (s.style_a | s.style_b) ? 1 : 0;
        reemit_styles(cs_, out_);
    }

    void apply_para_style(int index) {
        alignments_off(ps_, out_);
        if (index < 0 || index >= static_cast<int>(para_styles_.size())) return;  // left
        switch (para_styles_[static_cast<std::size_t>(index)]) {
            case 1: ps_.centred = 1; break;
            case 2: ps_.right_aligned = 1; break;
            case 3: ps_.justified = 1; break;
            default: break;
        }
        reemit_alignment(ps_, out_);
    }

    void convert_zone(ByteFile& blocks, ByteFile& char_runs, ByteFile& para_runs) {
        RunList chars{char_runs};
        RunList paras{para_runs};
        std::uint8_t entry[4];
        std::uint8_t block[kBlock];
        while (read_exact(blocks, entry, 4)) {
            const long number = be16(entry);
            long n = be16s(entry + 2);
            if (n > kBlock) n = kBlock;
            if (n <= 0 || !block_inside(number) || text_used_[static_cast<std::size_t>(number)]) continue;
            text_used_[static_cast<std::size_t>(number)] = true;
            if (!read_block(number, block)) continue;
            for (long i = 0; i < n; ++i) {
                int index;
                if (chars.next(index)) apply_char_style(index);
                if (paras.next(index)) apply_para_style(index);
                text_byte(block[i], chars.last(), paras.last());
                chars.step();
                paras.step();
            }
        }
    }

    void code(std::uint8_t c) {
        out_.put(stream::kEscape);
        out_.put(c);
    }

    void text_byte(std::uint8_t b, bool last_of_char_run, bool last_of_para_run) {
        switch (b) {
            case 2:
            case 23:
                return;
            case 3:  // a footnote text starts
                if (note_open_) code(stream::kEndSection);
                note_open_ = true;
                ++notes_;
                code(kNoteMark);
                code(kNoteMark);
                return;
            case 5:  // a footnote reference
                write_section_code(stream::kNoteStart, out_);
                code(stream::kEndSection);
                return;
            case 9:
            case 12:
                out_.put(b);
                return;
            case 13:
                if (last_of_char_run) all_styles_off(cs_, out_);
                if (last_of_para_run) alignments_off(ps_, out_);
                out_.put(stream::kParagraphEnd);
                column_ = 0;
                return;
            case 32:
                if (column_ > ps_.right_margin - ps_.left_margin) {
                    out_.put(stream::kLineEnd);
                    column_ = 0;
                } else {
                    out_.put(' ');
                }
                return;
            case 0x5C:
                code(stream::kBackslash);
                ++column_;
                return;
            default:
                write_source_char(table_, b, out_);
                ++column_;
                return;
        }
    }

    // Copies the text of the next footnote in `notes` to the work stream:
    // what follows the next note mark, up to its end of section. A note
    // cannot hold a note: a reference inside a footnote text (a damaged
    // file has them) is left out with its end of section, so the note's
    // own end still closes it.
    void copy_next_note(ByteFile& notes) {
        static const std::string kMarks = {'\x5C', static_cast<char>(kNoteMark), '\x5C', static_cast<char>(kNoteMark)};
        if (find_text(kMarks, notes) < 0) return;
        for (int b = notes.get(); b != ByteFile::kEnd; b = notes.get()) {
            if (b != stream::kEscape) {
                out_.put(static_cast<std::uint8_t>(b));
                continue;
            }
            const int c = notes.get();
            if (c == stream::kNoteStart) {
                skip_bytes(2, notes);
                if (notes.get() == stream::kEscape && notes.get() == stream::kEndSection) continue;
                return;  // the first pass always closes a reference at once
            }
            if (c == ByteFile::kEnd || c == stream::kEndSection || !copy_code(c, notes, out_)) return;
        }
    }

    // Passes over the footnote texts of a zone, up to their end; false when
    // the stream ends first.
    static bool skip_note_texts(ByteFile& main) {
        for (int b = main.get(); b != ByteFile::kEnd; b = main.get()) {
            if (b != stream::kEscape) continue;
            const int c = main.get();
            if (c == kNotesEnd) return true;
            if (c == ByteFile::kEnd) return false;
            if (c != kNoteMark) skip_bytes(stream::kArgCount[c], main);
        }
        return false;
    }

    // Moves each footnote text behind its reference. The first-pass stream
    // goes to two scratch copies: one is read in order, the other is
    // searched for the footnote texts; the work stream is written anew.
    void footnote_pass() {
        {
            ByteFile main = open_scratch("NOTES.$$$", "w+b");
            ByteFile notes = open_scratch("NOTES.@@@", "w+b");
            out_.rewind();
            copy_bytes(out_, main, out_.size());
            out_.rewind();
            copy_bytes(out_, notes, out_.size());
            main.rewind();
            notes.rewind();
            out_.rewind();
            int counter = 0;
            for (int b = main.get(); b != ByteFile::kEnd; b = main.get()) {
                if (b != stream::kEscape) {
                    out_.put(static_cast<std::uint8_t>(b));
                    continue;
                }
                const int c = main.get();
                if (c == ByteFile::kEnd) break;
                if (c == kNoteMark) {  // footnote texts: they go behind their references
                    if (!skip_note_texts(main)) break;
                    continue;
                }
                if (c == stream::kNoteStart) {
                    ++counter;
                    out_.put(stream::kEscape);
                    out_.put(stream::kNoteStart);
                    out_.put(0);
                    out_.put(static_cast<std::uint8_t>(counter));
                    skip_bytes(2, main);
                    copy_next_note(notes);
                    continue;
                }
                if (!copy_code(c, main, out_)) break;
            }
            out_.truncate_here();
        }
        remove_scratch("NOTES.$$$");
        remove_scratch("NOTES.@@@");
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
    long blocks_ = 0;
    std::vector<bool> visited_;    // blocks of the chain being read
    std::vector<bool> text_used_;  // text blocks already converted
    bool note_open_ = false;  // the first pass is inside a footnote text
    std::vector<bool> zone_used_;  // zones (by first block) already converted
    std::vector<CharStyle> char_styles_;
    std::vector<int> para_styles_;
    int notes_ = 0;
    int column_ = 0;
};

}  // namespace

Status read_macwrite2(Conversion& conversion, ByteFile& source, ByteFile& work) {
    return Reader(conversion, source, work).run();
}

bool recognises_macwrite2(const SourceStart& s) {
    return s.byte(0) == 0 && s.byte(2) == 0 && (s.byte(1) == 0x2E || s.byte(3) == 0x2E) &&
           s.size >= static_cast<long>(kBlock);
}

int bid_macwrite2(const Evidence& e) {
    if (e.finder_says("MW2D", "MWII")) return kBidFinder + 1;
    return recognises_macwrite2(e.start) ? kBidMarks + 4 : kNoBid;
}

}  // namespace verbatra
