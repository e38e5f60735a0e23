// Word for DOS (versions 3 to 5). The text goes straight into the target
// behind a 128-byte header placeholder; character and paragraph runs are
// collected in 128-byte formatting pages (FKPs) kept one at a time in
// memory, full pages going to scratch files; footnote bodies are set aside
// and converted after the main text. At the end the pages and the footnote
// table are appended and the header is written over the placeholder.
#include "writers/word_dos.h"

#include <algorithm>
#include <cstring>

#include "pipeline/file_utils.h"
#include "pipeline/conversion.h"
#include "pipeline/scratch.h"
#include "stream/decoder.h"
#include "stream/fonts.h"
#include "stream/emitter.h"
#include "writers/target_tables.h"
#include "writers/word_common.h"

namespace verbatra {

namespace {

constexpr int kPage = 128;

// The header page's fields, by their offsets.
namespace header {
constexpr int wIdent = 0, wTool = 4, fcMac = 14, pnPara = 18, pnFntb = 20, pnSep = 22, pnSetb = 24, pnPgtb = 26,
              pnFfntb = 28, szSsht = 30, codePage = 126;
}  // namespace header

// Character style word bits.
using word::kBold, word::kUnderline, word::kStrike, word::kSuper, word::kItalic, word::kCaps, word::kVariant,
    word::kSpecial;
// Paragraph flag bits, and the two run arguments that are not flags.
using word::kRight, word::kCentre, word::kJustify, word::kIndent, word::kFirstIndent, word::kSpacing;
constexpr unsigned kNoteEnd = 0x80, kEndOfText = 255;

constexpr int kDefaultGrid = 255, kExplicitTabs = 254;
constexpr int kMaxTabDescriptors = 19;

// A formatting page being filled: FODs upwards from byte 4, FPROPs
// downwards from byte 126, the FOD count in byte 127.
class FormattingPage {
public:
    explicit FormattingPage(const char* scratch) : scratch_(scratch) {
        std::memset(page_, 0, sizeof page_);
        put32(page_, 128);
    }

    // The fcLim of the last run, or fcFirst for an empty page.
    std::uint32_t last_limit() const { return page_[127] ? get32(page_ + fod_ - 6) : get32(page_); }

    // Adds a run ending at `limit`; `fprop` is the count byte and its
    // property bytes, or null for default properties.
    void add(std::uint32_t limit, const std::uint8_t* fprop, ByteFile& file) {
        const int cch = fprop ? fprop[0] : 0;
        if (top_ - fod_ < (fprop ? cch + 6 : 7)) flush(file);
        unsigned bfprop = 0xFFFF;
        if (fprop) {
            const int start = top_ - cch;
            std::memcpy(page_ + start, fprop, static_cast<std::size_t>(cch) + 1);
            top_ = start - 1;
            bfprop = static_cast<unsigned>(start - 4);
        }
        put32(page_ + fod_, limit);
        put16(page_ + fod_ + 4, bfprop);
        fod_ += 6;
        ++page_[127];
    }

    // Writes the page to its scratch file and starts the next one where
    // this one ends. The buffer keeps its old bytes in the free middle.
    void flush(ByteFile& file) {
        file.write(page_, kPage);
        put32(page_, last_limit());
        page_[127] = 0;
        fod_ = 4;
        top_ = 126;
    }

    const char* scratch() const { return scratch_; }
    const std::uint8_t* bytes() const { return page_; }

private:
    const char* scratch_;
    std::uint8_t page_[kPage];
    int fod_ = 4;
    int top_ = 126;
};

struct RunFont {
    unsigned style = 0;
    int symbol = 0;
    int font_class = 0;
    int size = -10;
};

class Writer : word::ParagraphState, word::TextOut {
public:
    Writer(ByteFile& work, ByteFile& target) : TextOut(target, kPage, kPage), work_(work) {}

    Status run() {
        CharState cs;
        ParaState ps;
        const bool empty = reset_document_state(work_, cs, ps, &tabs_) == kEmptyInput;
        set_tab_grid(tabs_, target_, 5, 5, 200, 0);  // the default grid; marker 255
        std::uint8_t header[kPage] = {};
        target_.write(header, kPage);
        att_ = open_scratch(chp_.scratch(), "w+b");
        par_ = open_scratch(pap_.scratch(), "w+b");
        if (!empty) main_loop(work_);
        if (column_ != 0) {
            paragraph_end_bytes();
            paragraph_run(pflags_);
        }
        if (notes_ != 0) note_pass();
        if (pos_ == 128) {
            // No text at all: one empty paragraph makes a document every
            // reader opens.
            paragraph_end_bytes();
            paragraph_run(pflags_);
        }
        if (too_large_) return finish_failed();
        int pad = static_cast<int>((kPage - pos_ % kPage) % kPage);
        for (int i = 0; i < pad; ++i) target_.put(0);
        const std::uint32_t fc_mac = static_cast<std::uint32_t>(pos_);
        character_run(0, 0);
        att_.write(chp_.bytes(), kPage);
        paragraph_run(kEndOfText);
        ++pos_;
        paragraph_run(kEndOfText);
        par_.write(pap_.bytes(), kPage);

        att_.rewind();
        copy_bytes(att_, target_, att_.size());
        const long pn_para = target_.size() / kPage;
        par_.rewind();
        copy_bytes(par_, target_, par_.size());
        const long pn_fntb = target_.size() / kPage;
        long pn_sep = pn_fntb;
        if (notes_ != 0) {
            std::uint8_t counts[4];
            put16(counts, static_cast<unsigned>(notes_ + 1));
            put16(counts + 2, static_cast<unsigned>(notes_ + 1));
            ft2_.rewind();
            ft2_.write(counts, 4);
            ft2_.rewind();
            copy_bytes(ft2_, target_, ft2_.size());
            pn_sep = target_.size() / kPage;
        }
        if (pn_sep > kMaxPages) return finish_failed();

        put16(header + header::wIdent, 0xBE31);
        put16(header + header::wTool, 0xAB00);
        put32(header + header::fcMac, fc_mac);
        put16(header + header::pnPara, static_cast<unsigned>(pn_para));
        put16(header + header::pnFntb, static_cast<unsigned>(pn_fntb));
        // No section, page or font table: each starts where the file ends.
        for (int at : {header::pnSep, header::pnSetb, header::pnPgtb, header::pnFfntb}) {
            put16(header + at, static_cast<unsigned>(pn_sep));
        }
        std::memcpy(header + header::szSsht, "NORMAL.STY", 10);
        put16(header + header::codePage, 437);
        target_.seek_to(0);
        target_.write(header, kPage);
        remove_scratch_files();
        return kConverted;
    }

private:
    // -- output ---------------------------------------------------------
    void paragraph_end_bytes() {
        text(0x0D);
        text(0x0A);
    }
    Status finish_failed() {
        remove_scratch_files();
        return kTooLarge;
    }
    void remove_scratch_files() {
        att_.close();
        par_.close();
        ft1_.close();
        ft2_.close();
        for (const char* name : {"ATT.###", "PAR.###", "FT1.###", "FT2.###"}) remove_scratch(name);
    }

    // -- tabs -----------------------------------------------------------
    void clear_tab_table() {
        tabs_.stops.fill(0);
    }

    // -- main loop --------------------------------------------------------
    void main_loop(ByteFile& in) {
        pflags_ = 0;
        style_ = 0;
        // The byte before: the last of the text, or the control byte; 0
        // after a code.
        int previous = 0;
        stream::Decoder decoder(in);
        for (stream::Event e; !too_large_ && decoder.next(e);) {
            switch (e.kind) {
                case stream::Kind::kText:
                    for (std::size_t i = 0; i < e.length; ++i) text(e.bytes[i]);
                    column_ += static_cast<int>(e.length);
                    previous = e.bytes[e.length - 1];
                    continue;
                case stream::Kind::kTab:
                    for (int n = tab(previous); n > 0; --n) text(0x09);
                    previous = stream::kTab;
                    continue;
                case stream::Kind::kLineEnd:
                    if (previous != 0x1A && previous != '-') text(0x20);
                    column_ = 0;
                    previous = stream::kLineEnd;
                    continue;
                case stream::Kind::kPageBreak:
                case stream::Kind::kParagraphEnd:
                    if (e.kind == stream::Kind::kPageBreak) text(0x0C);
                    paragraph_end_bytes();
                    paragraph_run(pflags_);
                    next_paragraph();
                    previous = e.kind == stream::Kind::kPageBreak ? stream::kPageBreak : stream::kParagraphEnd;
                    continue;
                case stream::Kind::kCharacter: character(e); break;
                case stream::Kind::kCode: code(e); break;
                case stream::Kind::kSectionStart: section_start(e, decoder); break;
                case stream::Kind::kSectionEnd: section_end(); break;
                case stream::Kind::kFontName: font_name(e); break;
                case stream::Kind::kPicture:
                    for (int i = 0; i < kPicturePlaceholderLength; ++i) text(static_cast<std::uint8_t>(kPicturePlaceholder[i]));
                    column_ += kPicturePlaceholderLength;
                    break;
            }
            previous = 0;
        }
    }

    void style(unsigned bits, bool on, int trigger) {
        if (on) style_ |= bits;
        else style_ &= ~bits;
        character_run(trigger, style_);
    }

    void character(const stream::Event& e) {
        switch (e.code) {
            case stream::kSetChar: {
                const std::uint16_t entry = kDosTable.lookup(e.args[0], e.args[1]);
                if (entry == 0) return;  // a pair no source produces
                if (entry >> 8) {
                    special_font_ = static_cast<std::uint8_t>(entry >> 8);
                    character_run(e.code, style_);
                }
                text(static_cast<std::uint8_t>(entry));
                ++column_;
                return;
            }
            case stream::kNonBreakingSpace: text(0xFF); return;
            case stream::kLeftGuillemet: text(0xAE); return;
            case stream::kRightGuillemet: text(0xAF); return;
            case stream::kBackslash: text(0x5C); return;
            default: return;
        }
    }

    // The file has no font table: a named font's family chooses among the
    // fonts of the printer (fixed pitch, roman or sans serif) as the font
    // class does; a name we do not know leaves the class's choice.
    void font_name(const stream::Event& e) {
        const stream::KnownFont* known =
            stream::known_font(std::string_view(reinterpret_cast<const char*>(e.bytes), e.length));
        if (!known) return;
        font_.font_class = stream::font_class_of(known->family);
        character_run(stream::kFontClass, style_);
    }

    void section_start(const stream::Event& e, stream::Decoder& decoder) {
        if (e.section() == stream::Section::kNote) {
            note(e, decoder);
            return;
        }
        static constexpr int kCodes[] = {12, 10, 14, 13, 11, 15};
        rhc_ = kCodes[e.code - stream::kHeaderEven];
    }

    void section_end() {
        if (rhc_ == 1) {
            // A note text that ended with its own paragraph end has nothing
            // left to close: an empty run here would hide the next note
            // from readers.
            if (pap_.last_limit() != static_cast<std::uint32_t>(pos_)) {
                paragraph_end_bytes();
                paragraph_run(kNoteEnd);
            }
        } else {
            paragraph_end_bytes();
            paragraph_run(pflags_);
        }
        rhc_ = 0;
    }

    void code(const stream::Event& e) {
        const int c = e.code;
        bool on = false;
        if (const unsigned bits = word::style_code_bits(c, on)) {
            style(bits, on, c);
            return;
        }
        switch (c) {
            case stream::kClearAllTabs:
                clear_tab_table();
                tabs_.changed = 0;
                tab_change_ = 1;
                return;
            case stream::kCentredOn: both(kCentre, kJustify); return;
            case stream::kCentredOff: alignment_off(kCentre); return;
            case stream::kPageNumber:
                style(kSpecial, true, c);
                text(0x01);
                style(kSpecial, false, c);
                return;
            case stream::kReserved35: text(0x08); return;
            case stream::kOptionalHyphen: text(0x1F); return;
            case stream::kJustifiedOn: both(kJustify); return;
            case stream::kJustifiedOff: both(0, kJustify); return;
            case stream::kRightOn:
                if (column_ == 0) both(kRight);
                else right_align_in_line();
                return;
            case stream::kRightOff: alignment_off(kRight); return;
            case stream::kSetTab:
            case stream::kClearTab:
                if (tabs_.changed == kDefaultGrid) {
                    clear_tab_table();
                    tabs_.changed = kExplicitTabs;
                }
                tabs_.stops[e.column()] = c == stream::kSetTab ? e.tab_kind() : 0;
                tab_change_ = 1;
                return;
            case stream::kIndentHere: indent_here(); return;
            case stream::kIndentOff: indent_off(); return;
            case stream::kFontClass:
                font_.font_class = e.new_value();
                character_run(c, style_);
                return;
            case stream::kFontSize:
                font_.size = e.new_value();
                character_run(c, style_);
                return;
            case stream::kSymbolFont:
                font_.symbol = e.new_value();
                character_run(c, style_);
                return;
            case stream::kReserved92: case stream::kReserved93: case stream::kReserved94: case stream::kReserved95:
            case stream::kLineSpacing:
                line_spacing_ = e.new_value();
                if (line_spacing_ == 8) carried_ &= ~kSpacing;
                else both(kSpacing);
                return;
            default: return;  // hidden text, shadow, outline and the reserved codes are not kept
        }
    }

    void right_align_in_line() {
        for (int i = right_alignment_tabs(tabs_, column_, right_margin_); i > 0; --i) text(0x09);
    }

    // -- notes ------------------------------------------------------------
    void reference_mark() {
        character_run(stream::kNoteStart, kSpecial);
        text(0x05);
        character_run(stream::kNoteStart, style_);
    }

    void put_cp(ByteFile& file, long cp) {
        std::uint8_t b[4];
        put32(b, static_cast<std::uint32_t>(cp));
        file.write(b, 4);
    }

    void note(const stream::Event& start, stream::Decoder& decoder) {
        if (!main_pass_) {
            reference_mark();
            ft2_.seek_relative(4);
            put_cp(ft2_, pos_ - 129);
            rhc_ = 1;
            text(0x09);
            return;
        }
        if (notes_ == 0) {
            ft1_ = open_scratch("FT1.###", "w+b");
            ft2_ = open_scratch("FT2.###", "w+b");
            put_cp(ft2_, 0);
        }
        ++notes_;
        reference_mark();
        // The body goes aside, up to its end of section, to be written
        // after the main text.
        set_section_aside(start, decoder, ft1_);
        put_cp(ft2_, pos_ - 129);
        put_cp(ft2_, pos_ - 129);
    }

    void note_pass() {
        main_pass_ = false;
        ft1_.rewind();
        ft2_.seek_to(4);
        main_loop(ft1_);
        ft2_.seek_to(ft2_.size());
        put_cp(ft2_, pos_ - 128);
        put_cp(ft2_, pos_ - 128);
        for (long n = ft2_.size(); n % kPage != 0; ++n) ft2_.put(0);
    }

    // -- runs -----------------------------------------------------------
    void character_run(int trigger, unsigned new_style) {
        const RunFont next{new_style, font_.symbol, font_.font_class, font_.size};
        if (chp_.last_limit() == static_cast<std::uint32_t>(pos_)) {
            pending_ = next;
            return;
        }
        const unsigned s = pending_.style;
        if (s == 0 && pending_.size == -12) {
            chp_.add(static_cast<std::uint32_t>(pos_), nullptr, att_);
        } else {
            std::uint8_t b[8] = {};
            int cch = 0;
            auto at_least = [&cch](int n) { cch = std::max(cch, n); };
            if (s & kBold) { b[2] |= 0x01; at_least(2); }
            if (s & kUnderline) { b[4] |= (s & kVariant) ? 0x04 : 0x01; at_least(4); }
            if (s & kStrike) { b[4] |= 0x02; at_least(4); }
            if (s & kSuper) { cch = 6; b[6] = (s & kVariant) ? 0xF4 : 0x0C; }
            if (s & kItalic) { b[2] |= 0x02; at_least(2); }
            if (s & kCaps) { b[4] |= (s & kVariant) ? 0x20 : 0x10; at_least(4); }
            if (s & kSpecial) {
                b[4] |= 0x40;
                at_least(4);
                if (trigger == stream::kNoteStart) b[1] = 0x1B;
            }
            if (pending_.symbol == 1) {
                b[2] = special_font_;
                at_least(3);
            }
            if (pending_.font_class == 1) b[2] = static_cast<std::uint8_t>(b[2] + 0x40);
            if (pending_.font_class == 2) b[2] = static_cast<std::uint8_t>(b[2] + 0x44);
            if (cch > 2 || pending_.size != 0) {
                b[3] = static_cast<std::uint8_t>(-2 * pending_.size);
                at_least(3);
            }
            b[0] = static_cast<std::uint8_t>(cch);
            chp_.add(static_cast<std::uint32_t>(pos_), b, att_);
        }
        pending_ = next;
    }

    void rebuild_tab_descriptors() {
        const int points = -pending_.size;
        tbd_len_ = 0;
        int stops = 0;
        for (int k = 0; k < 256 && stops < kMaxTabDescriptors; ++k) {
            const int kind = tabs_.stops[k];
            if (kind == 0) continue;
            const unsigned dxa = static_cast<unsigned>(points * k * 12) & 0xFFFF;
            tbd_[tbd_len_++] = 0;
            tbd_[tbd_len_++] = static_cast<std::uint8_t>(dxa);
            tbd_[tbd_len_++] = static_cast<std::uint8_t>(dxa >> 8);
            tbd_[tbd_len_++] = static_cast<std::uint8_t>(kind - 1);
            ++stops;
        }
        if (stops > 0 && tbd_[tbd_len_ - 1] == 0) --tbd_len_;
    }

    void paragraph_run(unsigned f) {
        if (f == kEndOfText || (f == 0 && rhc_ == 0 && tab_count_ == 0)) {
            pap_.add(static_cast<std::uint32_t>(pos_), nullptr, par_);
        } else {
            std::uint8_t b[98] = {};
            int cch = 0;
            auto at_least = [&cch](int n) { cch = std::max(cch, n); };
            if (rhc_ > 1) {
                cch = 17;
                b[2] = 0x20;
                b[17] = static_cast<std::uint8_t>(rhc_);
            }
            if (f & kRight) { b[2] = 2; at_least(2); }
            if (f & kCentre) { b[2] = 1; at_least(2); }
            if (f & kJustify) { b[2] = 3; at_least(2); }
            const int points = -pending_.size;
            if ((f & kIndent) && (f & kFirstIndent)) {
                const unsigned left = static_cast<unsigned>(points * indent_column_ * 12);
                put16(b + 7, left);
                put16(b + 9, (0u - left) & 0xFFFF);
                at_least(10);
                if (!indent_kept_) indent_column_ = 0;
            } else if (f & kIndent) {
                put16(b + 7, static_cast<unsigned>(points * indent_column_ * 12));
                at_least(8);
                if (!indent_kept_) indent_column_ = 0;
            } else if (f & kFirstIndent) {
                int first = first_tab(tabs_);
                if (first == 0) first = 5;
                put16(b + 9, static_cast<unsigned>(points * first * 12));
                at_least(10);
            }
            if (f & kSpacing) {
                put16(b + 11, static_cast<unsigned>(line_spacing_ * 30));
                at_least(12);
            }
            // Readers find a note's text by its paragraph style, so every
            // paragraph of a note carries it, not only the last.
            if ((f & kNoteEnd) || rhc_ == 1) {
                b[1] = 0x4F;
                at_least(1);
            } else {
                b[1] = 0x3C;
            }
            if (tab_count_ != 0 && tab_change_ != -1) {
                if (tab_change_ == 1) {
                    rebuild_tab_descriptors();
                    tab_change_ = 0;
                }
                if (tbd_len_ > 0) {
                    if (!(f & kSpacing)) put16(b + 11, 240);
                    std::memcpy(b + 22, tbd_, static_cast<std::size_t>(tbd_len_));
                    cch = 21 + tbd_len_;
                }
            }
            b[0] = static_cast<std::uint8_t>(cch);
            pap_.add(static_cast<std::uint32_t>(pos_), b, par_);
        }
        tab_count_ = 0;
        column_ = 0;
    }

    ByteFile& work_;
    ByteFile att_, par_, ft1_, ft2_;
    FormattingPage chp_{"ATT.###"};
    FormattingPage pap_{"PAR.###"};
    unsigned style_ = 0;
    RunFont font_;
    RunFont pending_;
    std::uint8_t special_font_ = 0;
    int tab_change_ = -1;
    std::uint8_t tbd_[4 * kMaxTabDescriptors] = {};
    int tbd_len_ = 0;
    int line_spacing_ = 8;
    int right_margin_ = 79;
    int rhc_ = 0;
    int notes_ = 0;
    bool main_pass_ = true;
};

}  // namespace

Status write_word_dos(Conversion&, ByteFile& work, ByteFile& target) { return Writer(work, target).run(); }

}  // namespace verbatra
