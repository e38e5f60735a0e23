// Word for Windows 2.0 (nFib 45). The text goes straight into the target
// behind a 384-byte FIB placeholder; character and paragraph runs collect
// in 512-byte formatting pages kept one at a time in memory, full pages
// going to scratch files. Note bodies are set aside and converted after
// the main text, then the header and the footer; at the end the pages and
// the tables are appended and the FIB is written over the placeholder.
#include "writers/word_win2.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <cstring>
#include <vector>

#include "pipeline/file_utils.h"
#include "pipeline/conversion.h"
#include "pipeline/scratch.h"
#include "stream/decoder.h"
#include "stream/fonts.h"
#include "stream/emitter.h"
#include "writers/rich_walk.h"
#include "writers/target_tables.h"
#include "writers/word_common.h"

namespace verbatra {

namespace {

constexpr long kFib = 384;
// The FIB's fields, by their offsets: a position (fc) and, 4 bytes on, a
// length (cb) for each table; an empty table is a position with length 0.
namespace fib {
constexpr int wIdent = 0, nFib = 2, nProduct = 4, lid = 6, nFibBack = 12, fcMin = 24, fcMac = 28, cbMac = 32,
              ccpText = 52, ccpFtn = 56, ccpHdd = 60, fcStshfOrig = 88, cbStshfOrig = 92, fcStshf = 94, cbStshf = 98,
              fcPlcffndRef = 100, cbPlcffndRef = 104, fcPlcffndTxt = 106, cbPlcffndTxt = 110, fcPlcfandRef = 112,
              fcPlcfandTxt = 118, fcPlcfsed = 124, cbPlcfsed = 128, fcPlcfpgd = 130, cbPlcfpgd = 134, fcPlcfphe = 136,
              fcSttbfglsy = 142, fcPlcfglsy = 148, fcPlcfhdd = 154, cbPlcfhdd = 158, fcPlcfbteChpx = 160,
              cbPlcfbteChpx = 164, fcPlcfbtePapx = 166, cbPlcfbtePapx = 170, fcPlcfsea = 172, fcSttbfffn = 178,
              cbSttbfffn = 182, fcCmds = 232, cbCmds = 236, fcWss = 268, cbWss = 272, fcDop = 274, cbDop = 278,
              fcSttbfAssoc = 280, cbSttbfAssoc = 284, fcClx = 286, fcPlcfpgdFtn = 292, cbPlcfpgdFtn = 296, fcLastEmpty = 310,
              pnChpFirst = 318, pnPapFirst = 320, cpnBteChp = 322, cpnBtePap = 324;
// The field tables (fcPlcffldMom to fcPlcfbkl) and the macro and printer
// tables (fcPlcmcr to fcPrEnvLand): all empty, 6 bytes apart.
constexpr int kFieldTablesFirst = 184, kFieldTablesLast = 226, kMacroTablesFirst = 238, kMacroTablesLast = 262;
}  // namespace fib
constexpr int kPage = 512;
constexpr std::size_t kMaxTableEntries = 10921;  // (65535 - 4) / 6: 16-bit table lengths

// Character style word bits.
using word::kBold, word::kUnderline, word::kStrike, word::kSuper, word::kItalic, word::kCaps, word::kVariant,
    word::kSpecial;
// Paragraph flag bits, and the run argument that is not a flag.
using word::kRight, word::kCentre, word::kJustify, word::kIndent, word::kFirstIndent, word::kSpacing;
constexpr unsigned kSectionEnd = 0x80;
// Paragraph styles of the fixed style sheet.
constexpr int kNoteStyle = 0xF5, kHeaderStyle = 0xF3, kFooterStyle = 0xF2;
constexpr int kMaxTabStops = 76;

constexpr std::uint8_t kStyleSheet[106] = {
    0x0E, 0x00, 0x11, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
    0x00, 0x1F, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x0E,
    0x00, 0x00, 0x46, 0x00, 0x00, 0x00, 0x14, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x04, 0x18, 0x00, 0xFF, 0xFF,
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x07, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x0F, 0x00, 0xF2, 0x00, 0xF3, 0x00, 0x00, 0x00, 0xF5, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00,
    0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0x00, 0x00, 0xDE,
};
constexpr std::uint8_t kFontTable[55] = {
    0x37, 0x00, 0x12, 0x16, 0x00, 'T', 'i', 'm', 'e', 's', ' ', 'N', 'e', 'w', ' ', 'R', 'o', 'm', 'a',
    'n', 0x00, 0x09, 0x16, 0x02, 'S', 'y', 'm', 'b', 'o', 'l', 0x00, 0x08, 0x26, 0x00, 'A', 'r', 'i',
    'a', 'l', 0x00, 0x0E, 0x35, 0x00, 'C', 'o', 'u', 'r', 'i', 'e', 'r', ' ', 'N', 'e', 'w', 0x00,
};
constexpr std::uint8_t kSectionModifiers[6] = {0x8B, 0x82, 0x2E, 0x8C, 0xC6, 0x41};  // A4: 11906 x 16838 twips
constexpr std::uint8_t kClosingRun[15] = {0x0E, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0x14,
                                          0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x04};
constexpr std::uint8_t kBlock30[30] = {0x01, 0x80, 0x01, 0x00, 0x07, 0x00, 0x00, 0x00, 0x07, 0x00,
                                       0x00, 0x00, 0x07, 0x00, 0x00, 0x80, 0x00, 0x80, 0x07, 0x00,
                                       0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x07, 0x00, 0x00, 0x00};
// The document properties. The word at 2 numbers notes through the
// document from 1 (restart code 0, first number 1), as the sources do.
constexpr std::uint8_t kDocumentBlock[52] = {0x22, 0x00, 0x04, 0x00, 0x03, 0x03, 0x84, 0x00, 0x00, 0x00,
                                             0xC4, 0x02, 0x00, 0x00, 0xA9, 0x01, 0x00, 0x00, 0x00, 0x00,
                                             0xE5, 0x21, 0xD7, 0x05, 0x98, 0x29, 0xD7, 0x25, 0x00, 0x00,
                                             0x00, 0x00, 0x06, 0x00, 0x02, 0x00};
// Where its dates stand: when the document was made and last saved.
constexpr std::size_t kCreatedAt = 20, kRevisedAt = 24;

// A 512-byte formatting page being filled: run limits and block offsets
// kept apart until the page is written; property blocks from the end of
// the page down, each at an even offset, shared when identical.
class FormattingPage {
public:
    FormattingPage() { limits_.push_back(kFib); }

    std::uint32_t last_limit() const { return limits_.back(); }

    void add(std::uint32_t limit, const std::uint8_t* block, int length, ByteFile& file) {
        int offset = length > 0 ? find(block, length) : 0;
        const int n = static_cast<int>(rgb_.size()) + 1;
        const int start = offset ? offset : (top_ - length) & ~1;
        const bool full = n > 48 || (length > 0 && start < 256) || 4 * (n + 1) + n > lowest(start, length);
        if (full) {
            flush(file);
            offset = 0;
        }
        if (length > 0 && offset == 0) {
            offset = (top_ - length) & ~1;
            std::memcpy(page_ + offset, block, static_cast<std::size_t>(length));
            top_ = offset;
        }
        rgb_.push_back(static_cast<std::uint8_t>(offset / 2));
        limits_.push_back(limit);
    }

    void flush(ByteFile& file) {
        file.write(bytes(), kPage);
        const std::uint32_t last = last_limit();
        std::memset(page_, 0, sizeof page_);
        limits_.assign(1, last);
        rgb_.clear();
        top_ = 510;
        ++pages_;
    }

    // The page as it stands.
    const std::uint8_t* bytes() {
        const std::size_t n = rgb_.size();
        for (std::size_t i = 0; i <= n; ++i) put32(page_ + 4 * i, limits_[i]);
        std::memcpy(page_ + 4 * (n + 1), rgb_.data(), n);
        page_[511] = static_cast<std::uint8_t>(n);
        return page_;
    }

    long pages() const { return pages_; }

private:
    // An identical block already on the page, or 0.
    int find(const std::uint8_t* block, int length) const {
        for (std::uint8_t r : rgb_) {
            if (r != 0 && 2 * r + length <= 511 && std::memcmp(page_ + 2 * r, block, static_cast<std::size_t>(length)) == 0) {
                return 2 * r;
            }
        }
        return 0;
    }
    // The lowest byte the blocks will take with this run.
    int lowest(int start, int length) const { return length > 0 ? std::min(start, top_) : top_; }

    std::uint8_t page_[kPage] = {};
    std::vector<std::uint32_t> limits_;
    std::vector<std::uint8_t> rgb_;
    int top_ = 510;
    long pages_ = 0;
};

struct RunFont {
    unsigned style = 0;
    int symbol = 0;
    int font_class = 0;
    int size = -10;
    int named = -1;  // the font table entry of the font the stream names, or -1
};

// The fonts of kFontTable by name, which a named font takes rather than an
// entry of its own.
constexpr const char* kTableFonts[] = {"Times New Roman", "Symbol", "Arial", "Courier New"};
constexpr std::size_t kMaxFonts = 255;  // ftc is a byte

// What a header or footer pass starts from: the state where its section
// began in the stream.
struct SectionStart {
    ByteFile content;  // the section's stream, its start and end codes included
    bool has_text = false;
    RunFont font;
    unsigned style = 0;
};

class Writer : word::ParagraphState, word::TextOut {
public:
    Writer(ByteFile& work, ByteFile& target, const Conversion& conversion)
        : TextOut(target, kFib, kPage), work_(work), conversion_(conversion) {}

    Status run() {
        CharState cs;
        ParaState ps;
        const bool empty = reset_document_state(work_, cs, ps, &tabs_) == kEmptyInput;
        set_tab_grid(tabs_, target_, 5, 5, 200, 0);
        std::uint8_t fib[kFib] = {};
        target_.write(fib, kFib);
        att_ = open_scratch("ATT.###", "w+b");
        par_ = open_scratch("PAR.###", "w+b");
        if (!empty) main_loop(work_);
        if (column_ != 0 || pos_ == kFib) {
            // A document with no main text gets one empty paragraph: readers
            // find no text in a file without one.
            paragraph_end_bytes();
            paragraph_run(pflags_);
        }
        const long ccp_text = pos_ - kFib;
        long ccp_ftn = 0, header_length = 0, footer_length = 0;
        if (!note_refs_.empty()) ccp_ftn = note_pass();
        if (header_.has_text) header_length = section_pass(header_, kHeaderStyle);
        if (footer_.has_text) footer_length = section_pass(footer_, kFooterStyle);
        long ccp_hdd = header_length + footer_length;
        if (ccp_hdd != 0) {
            paragraph_end_bytes();
            paragraph_run(0);
            ccp_hdd += 2;
        }
        text(0x0D);  // the last paragraph keeps its LF: nothing follows
        text(0x0A);
        paragraph_run(0);
        if (too_large_) return finish_failed();
        par_.write(pap_.bytes(), kPage);
        character_run(0);

        // The section's properties, behind the text.
        const std::uint32_t fc_mac = static_cast<std::uint32_t>(pos_);
        std::uint8_t sepx[9] = {};
        int sepx_length = 0;
        if (ccp_hdd != 0) {
            sepx[0] = 8;
            sepx[1] = 0x80;
            sepx[2] = static_cast<std::uint8_t>((header_length ? 2 : 0) + (footer_length ? 8 : 0));
            std::memcpy(sepx + 3, kSectionModifiers, 6);
            sepx_length = 9;
        } else {
            sepx[0] = 6;
            std::memcpy(sepx + 1, kSectionModifiers, 6);
            sepx_length = 7;
        }
        target_.write(sepx, static_cast<std::size_t>(sepx_length));
        pos_ += sepx_length;
        character_run(-1);
        att_.write(chp_.bytes(), kPage);
        while (pos_ % kPage != 0) {
            target_.put(0);
            ++pos_;
        }

        std::uint8_t* const f = fib;
        std::vector<std::uint8_t> bin_chp, bin_pap;
        const long pn_chp = append_pages(att_, bin_chp, fc_mac);
        const long pn_pap = append_pages(par_, bin_pap, fc_mac);
        if (bin_chp.size() > 65535 || bin_pap.size() > 65535 || target_.size() / kPage > kMaxPages) {
            return finish_failed();
        }
        long at = append(kStyleSheet, sizeof kStyleSheet);
        put32(f + fib::fcStshfOrig, static_cast<std::uint32_t>(at));
        put16(f + fib::cbStshfOrig, sizeof kStyleSheet);
        put32(f + fib::fcStshf, static_cast<std::uint32_t>(at));
        put16(f + fib::cbStshf, sizeof kStyleSheet);

        at = target_.size();
        put32(f + fib::fcPlcffndRef, static_cast<std::uint32_t>(at));
        put32(f + fib::fcPlcffndTxt, static_cast<std::uint32_t>(at));
        put32(f + fib::fcPlcfpgdFtn, static_cast<std::uint32_t>(at));
        if (!note_refs_.empty()) {
            std::vector<std::uint8_t> refs, texts;
            for (long cp : note_refs_) add32(refs, cp);
            add32(refs, notes_end_ - kFib);
            for (std::size_t i = 0; i < note_refs_.size(); ++i) add16(refs, 1);
            for (long cp : note_texts_) add32(texts, cp);
            add32(texts, ccp_ftn);
            add32(texts, ccp_ftn + 6);
            put32(f + fib::fcPlcffndRef, static_cast<std::uint32_t>(append(refs.data(), refs.size())));
            put16(f + fib::cbPlcffndRef, static_cast<unsigned>(refs.size()));
            put32(f + fib::fcPlcffndTxt, static_cast<std::uint32_t>(append(texts.data(), texts.size())));
            put16(f + fib::cbPlcffndTxt, static_cast<unsigned>(texts.size()));
            std::uint8_t page_table[18] = {0};
            put32(page_table + 4, static_cast<std::uint32_t>(ccp_ftn + 6));
            const std::uint8_t tail[10] = {0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00};
            std::memcpy(page_table + 8, tail, sizeof tail);
            put32(f + fib::fcPlcfpgdFtn, static_cast<std::uint32_t>(append(page_table, 18)));
            put16(f + fib::cbPlcfpgdFtn, 18);
        }

        at = target_.size();
        for (int o : {fib::fcPlcfandRef, fib::fcPlcfandTxt, fib::fcPlcfsed}) put32(f + o, static_cast<std::uint32_t>(at));
        std::uint8_t sed[14] = {};
        put32(sed + 4, fc_mac - kFib);
        sed[8] = 0x11;
        put32(sed + 10, fc_mac);
        append(sed, sizeof sed);
        put16(f + fib::cbPlcfsed, sizeof sed);

        std::uint8_t pgd[18] = {};
        put32(pgd + 4, fc_mac - kFib);
        const std::uint8_t pgd_tail[10] = {0x08, 0x02, 0xFF, 0xFF, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00};
        std::memcpy(pgd + 8, pgd_tail, sizeof pgd_tail);
        put32(f + fib::fcPlcfpgd, static_cast<std::uint32_t>(append(pgd, sizeof pgd)));
        put16(f + fib::cbPlcfpgd, sizeof pgd);

        at = target_.size();
        for (int o : {fib::fcPlcfphe, fib::fcSttbfglsy, fib::fcPlcfglsy, fib::fcPlcfhdd}) put32(f + o, static_cast<std::uint32_t>(at));
        if (ccp_hdd != 0) {
            // One entry for each story there is, in the order the section's
            // flags list them: header, then footer.
            std::vector<std::uint8_t> hdd;
            add32(hdd, 0);
            if (header_length) add32(hdd, header_length);
            if (footer_length) add32(hdd, header_length + footer_length);
            add32(hdd, header_length + footer_length + 6);
            append(hdd.data(), hdd.size());
            put16(f + fib::cbPlcfhdd, static_cast<unsigned>(hdd.size()));
        }
        at = append(bin_chp.data(), bin_chp.size());
        put32(f + fib::fcPlcfbteChpx, static_cast<std::uint32_t>(at));
        put16(f + fib::cbPlcfbteChpx, static_cast<unsigned>(bin_chp.size()));
        put32(f + fib::fcPlcfsea, static_cast<std::uint32_t>(at));
        put32(f + fib::fcPlcfbtePapx, static_cast<std::uint32_t>(append(bin_pap.data(), bin_pap.size())));
        put16(f + fib::cbPlcfbtePapx, static_cast<unsigned>(bin_pap.size()));
        const std::vector<std::uint8_t> fonts = font_table();
        put32(f + fib::fcSttbfffn, static_cast<std::uint32_t>(append(fonts.data(), fonts.size())));
        put16(f + fib::cbSttbfffn, static_cast<unsigned>(fonts.size()));
        at = target_.size();
        for (int o = fib::kFieldTablesFirst; o <= fib::kFieldTablesLast; o += 6) put32(f + o, static_cast<std::uint32_t>(at));
        put32(f + fib::fcCmds, static_cast<std::uint32_t>(at));
        const std::uint8_t cmds[2] = {};
        append(cmds, 2);
        put16(f + fib::cbCmds, 2);
        at = target_.size();
        for (int o = fib::kMacroTablesFirst; o <= fib::kMacroTablesLast; o += 6) put32(f + o, static_cast<std::uint32_t>(at));
        put32(f + fib::fcWss, static_cast<std::uint32_t>(append(kBlock30, sizeof kBlock30)));
        put16(f + fib::cbWss, sizeof kBlock30);
        const std::array<std::uint8_t, sizeof kDocumentBlock> dop = document_properties();
        put32(f + fib::fcDop, static_cast<std::uint32_t>(append(dop.data(), dop.size())));
        put16(f + fib::cbDop, sizeof kDocumentBlock);
        const std::vector<std::uint8_t> summary = summary_strings();
        put32(f + fib::fcSttbfAssoc, static_cast<std::uint32_t>(append(summary.data(), summary.size())));
        put16(f + fib::cbSttbfAssoc, static_cast<unsigned>(summary.size()));
        at = target_.size();
        for (int o : {fib::fcClx, fib::fcLastEmpty, fib::cbMac}) put32(f + o, static_cast<std::uint32_t>(at));

        put16(f + fib::wIdent, 0xA5DB);
        put16(f + fib::nFib, 45);
        put16(f + fib::nProduct, 0x4031);
        put16(f + fib::lid, 0x040C);
        put16(f + fib::nFibBack, 45);
        put32(f + fib::fcMin, kFib);
        put32(f + fib::fcMac, fc_mac);
        put32(f + fib::ccpText, static_cast<std::uint32_t>(ccp_text));
        put32(f + fib::ccpFtn, static_cast<std::uint32_t>(ccp_ftn));
        put32(f + fib::ccpHdd, static_cast<std::uint32_t>(ccp_hdd));
        put16(f + fib::pnChpFirst, static_cast<unsigned>(pn_chp));
        put16(f + fib::pnPapFirst, static_cast<unsigned>(pn_pap));
        put16(f + fib::cpnBteChp, static_cast<unsigned>(bin_chp.size() / 6));
        put16(f + fib::cpnBtePap, static_cast<unsigned>(bin_pap.size() / 6));
        target_.seek_to(0);
        target_.write(fib, kFib);
        remove_scratch_files();
        return kConverted;
    }

private:
    // -- output ---------------------------------------------------------
    // A paragraph ends with CR LF; readers take a paragraph to start where
    // the CR before it ends, so its run ends after the CR and the LF opens
    // the next one (the paragraph-run step writes it).
    void paragraph_end_bytes() {
        text(0x0D);
        line_feed_due_ = true;
    }
    // The fixed document properties, with the dates the Mac recorded for
    // the document where it recorded them (Word's Summary Info shows them).
    std::array<std::uint8_t, sizeof kDocumentBlock> document_properties() const {
        std::array<std::uint8_t, sizeof kDocumentBlock> dop{};
        std::copy(std::begin(kDocumentBlock), std::end(kDocumentBlock), dop.begin());
        const std::pair<std::size_t, std::int64_t> dates[] = {{kCreatedAt, conversion_.created},
                                                              {kRevisedAt, conversion_.modified}};
        for (const auto& [at, when] : dates) {
            const std::uint32_t dttm = date_and_time(when);
            if (dttm == 0) continue;
            for (int i = 0; i < 4; ++i) dop[at + i] = static_cast<std::uint8_t>(dttm >> (8 * i));
        }
        return dop;
    }
    // Word's packed date: minutes, hours, day, month, years since 1900,
    // weekday, from the low bits up; 0 where there is no date it can hold.
    static std::uint32_t date_and_time(std::int64_t when) {
        if (when == kNoDate) return 0;
        const CivilTime t = civil_of(when);
        if (t.year < 1900 || t.year > 1900 + 511) return 0;
        return t.minute | t.hour << 6 | t.day << 11 | t.month << 16 | static_cast<std::uint32_t>(t.year - 1900) << 20 |
               t.weekday << 29;
    }
    // The strings Word shows as the Summary Info: the table's length, then
    // counted strings (next file, template, title, subject, keywords,
    // comments, author, last saved by). The title is the document's name
    // where it is plain ASCII; the comments say where the document came from.
    std::vector<std::uint8_t> summary_strings() const {
        const std::string title = rich::title_of(conversion_);
        std::vector<std::string> strings(8);
        if (std::all_of(title.begin(), title.end(), [](char c) { return c >= 0x20 && c < 0x7F; })) strings[2] = title.substr(0, 255);
        strings[5] = rich::provenance_of(conversion_);
        std::vector<std::uint8_t> table(2);
        for (const std::string& s : strings) {
            table.push_back(static_cast<std::uint8_t>(s.size()));
            table.insert(table.end(), s.begin(), s.end());
        }
        table[0] = static_cast<std::uint8_t>(table.size());
        table[1] = static_cast<std::uint8_t>(table.size() >> 8);
        return table;
    }
    long append(const void* data, std::size_t length) {
        const long at = target_.size();
        target_.seek_to(at);
        target_.write(data, length);
        return at;
    }
    static void add16(std::vector<std::uint8_t>& v, unsigned x) {
        v.push_back(static_cast<std::uint8_t>(x));
        v.push_back(static_cast<std::uint8_t>(x >> 8));
    }
    static void add32(std::vector<std::uint8_t>& v, long x) {
        add16(v, static_cast<unsigned>(x) & 0xFFFF);
        add16(v, static_cast<unsigned>(static_cast<std::uint32_t>(x) >> 16));
    }
    // Appends the pages of `pages` and builds their bin table: the first
    // position of each page, `fc_mac`, then the page numbers. Returns the
    // first page number.
    long append_pages(ByteFile& pages, std::vector<std::uint8_t>& bin, std::uint32_t fc_mac) {
        const long first = target_.size() / kPage;
        pages.rewind();
        std::vector<long> numbers;
        std::uint8_t page[kPage];
        target_.seek_to(target_.size());
        while (pages.read(page, kPage) == kPage) {
            add32(bin, static_cast<long>(get32(page)));
            numbers.push_back(target_.size() / kPage);
            target_.write(page, kPage);
        }
        add32(bin, fc_mac);
        for (long n : numbers) add16(bin, static_cast<unsigned>(n));
        return first;
    }
    Status finish_failed() {
        remove_scratch_files();
        return kTooLarge;
    }
    void remove_scratch_files() {
        att_.close();
        par_.close();
        ftp_.close();
        header_.content.close();
        footer_.content.close();
        for (const char* name : {"ATT.###", "PAR.###", "FTP.###", "HDR.###", "FTR.###"}) remove_scratch(name);
    }

    // -- main loop --------------------------------------------------------
    void main_loop(ByteFile& in) {
        pflags_ = 0;
        // The byte before: the last of the text, or the control byte; 0
        // after a code.
        int previous = 0;
        stream::Decoder decoder(in);
        for (stream::Event e; !too_large_ && decoder.next(e);) {
            switch (e.kind) {
                case stream::Kind::kText:
                    plain_text_follows();
                    for (std::size_t i = 0; i < e.length; ++i) text(e.bytes[i]);
                    column_ += static_cast<int>(e.length);
                    previous = e.bytes[e.length - 1];
                    continue;
                case stream::Kind::kTab:
                    plain_text_follows();
                    for (int n = tab(previous); n > 0; --n) text(0x09);
                    previous = stream::kTab;
                    continue;
                case stream::Kind::kLineEnd:
                    if (previous != 0x1A && previous != '-') text(0x20);
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
                case stream::Kind::kCode:
                    if (!state_code(e) && !alignment_code(e.code)) code(e);
                    break;
                case stream::Kind::kSectionStart:
                    if (e.section() == stream::Section::kNote) {
                        note(e, decoder);
                    } else if (pass_ == Pass::Main) {
                        // Only the main text has running heads.
                        set_head_aside(e, decoder, e.section() == stream::Section::kHeader ? header_ : footer_);
                    }
                    break;
                case stream::Kind::kSectionEnd:
                    if (pos_ != paragraph_start_) paragraph_end_bytes();
                    paragraph_run(kSectionEnd);
                    section_style_ = 0;
                    break;
                case stream::Kind::kFontName:
                    font_.named = font_entry(e);
                    character_run(style_);
                    break;
                case stream::Kind::kPicture:
                    plain_text_follows();
                    for (int i = 0; i < kPicturePlaceholderLength; ++i) text(static_cast<std::uint8_t>(kPicturePlaceholder[i]));
                    column_ += kPicturePlaceholderLength;
                    break;
            }
            previous = 0;
        }
    }

    // Symbol applies to the characters the Windows table sets in it, and
    // ends at the next plain byte.
    void plain_text_follows() {
        if (!symbol_mark_) return;
        symbol_mark_ = false;
        font_.symbol = 0;
        character_run(style_);
    }

    void style(unsigned bits, bool on) {
        if (on) style_ |= bits;
        else style_ &= ~bits;
        character_run(style_);
    }

    // The codes that change what the text after them looks like: applied
    // in the main text, and also where the main pass skips a header or a
    // footer, whose settings hold for the body after it.
    bool state_code(const stream::Event& e) {
        const int c = e.code;
        bool on = false;
        if (const unsigned bits = word::style_code_bits(c, on)) {
            style(bits, on);
            return true;
        }
        switch (c) {
            case stream::kClearAllTabs:
                tabs_.stops.fill(0);
                tabs_.changed = 0;
                tab_change_ = 1;
                return true;
            case stream::kSetTab:
            case stream::kClearTab:
                if (tabs_.changed == 255) {
                    tabs_.stops.fill(0);
                    tabs_.changed = 254;
                }
                tabs_.stops[e.column()] = c == stream::kSetTab ? e.tab_kind() : 0;
                tab_change_ = 1;
                return true;
            case stream::kFontClass: font_.font_class = e.new_value(); character_run(style_); return true;
            case stream::kFontSize: font_.size = e.new_value(); character_run(style_); return true;
            case stream::kSymbolFont: font_.symbol = e.new_value(); character_run(style_); return true;
            case stream::kReserved92: case stream::kReserved93: case stream::kReserved94: case stream::kReserved95:
            case stream::kLineSpacing:
                line_spacing_ = e.new_value();
                if (line_spacing_ == 8) carried_ &= ~kSpacing;
                else both(kSpacing);
                return true;
            default: return false;
        }
    }

    // The alignment codes, as far as they hold for what follows.
    bool alignment_code(int c) {
        switch (c) {
            case stream::kCentredOn: both(kCentre, kJustify); return true;
            case stream::kCentredOff: alignment_off(kCentre); return true;
            case stream::kJustifiedOn: both(kJustify); return true;
            case stream::kJustifiedOff: alignment_off(kJustify); return true;
            case stream::kRightOff: alignment_off(kRight); return true;
            default: return false;
        }
    }

    void character(const stream::Event& e) {
        switch (e.code) {
            case stream::kSetChar: {
                const std::uint16_t entry = kWindowsTable.lookup(e.args[0], e.args[1]);
                if (entry == 0) return;  // a pair no source produces, or a set the table lacks
                if (entry >> 8) {
                    symbol_mark_ = true;
                    font_.symbol = 1;
                    character_run(style_);
                } else {
                    plain_text_follows();
                }
                text(static_cast<std::uint8_t>(entry));
                ++column_;
                return;
            }
            case stream::kNonBreakingSpace: text(0xA0); return;
            case stream::kLeftGuillemet: text(0xAB); return;
            case stream::kRightGuillemet: text(0xBB); return;
            case stream::kBackslash: plain_text_follows(); text(0x5C); ++column_; return;
            default: return;
        }
    }

    void code(const stream::Event& e) {
        switch (e.code) {
            case stream::kRightOn:
                if (column_ == 0) both(kRight);
                else right_align_in_line();
                return;
            case stream::kReserved35: text(0x08); return;
            case stream::kOptionalHyphen: text(0x1F); return;
            case stream::kIndentHere: indent_here(); return;
            case stream::kIndentOff: indent_off(); return;
            case stream::kParagraphStyle: style_override_ = static_cast<std::int8_t>(e.args[0]); return;
            default: return;
        }
    }

    void right_align_in_line() {
        for (int i = right_alignment_tabs(tabs_, column_, right_margin_); i > 0; --i) text(0x09);
    }

    // A header or footer in the main pass: its stream and the state it
    // starts in are set aside for its own pass (the last one of each kind
    // counts); its text is skipped, but the settings in it hold for the
    // body too. An empty one makes no story.
    void set_head_aside(const stream::Event& start, stream::Decoder& decoder, SectionStart& s) {
        SectionStart here{open_scratch(&s == &header_ ? "HDR.###" : "FTR.###", "w+b"), false, font_, style_};
        stream::write_event(start, here.content);
        for (stream::Event e; decoder.next(e);) {
            stream::write_event(e, here.content);
            switch (e.kind) {
                case stream::Kind::kSectionEnd: s = std::move(here); return;
                case stream::Kind::kText: case stream::Kind::kTab: case stream::Kind::kCharacter:
                    here.has_text = true;
                    break;
                case stream::Kind::kCode:
                    if (!state_code(e)) alignment_code(e.code);
                    break;
                case stream::Kind::kFontName:
                    font_.named = font_entry(e);
                    character_run(style_);
                    break;
                default: break;
            }
        }
        s = std::move(here);
    }

    // A header or footer pass: its section, from the state it started in,
    // in its paragraph style. Returns the length of text it wrote.
    long section_pass(SectionStart& s, int section_style) {
        const long start = pos_;
        pass_ = Pass::RunningHead;
        s.content.rewind();
        const RunFont body_font = font_;
        const unsigned body_style = style_;
        font_ = s.font;
        style_ = s.style;
        character_run(style_);
        section_style_ = section_style;
        column_ = 0;
        tab_count_ = 0;
        carried_ = 0;  // a story of its own: its alignment is its own
        main_loop(s.content);
        if (section_style_ != 0 || column_ != 0) {
            // A section the stream did not close.
            paragraph_end_bytes();
            paragraph_run(kSectionEnd);
            section_style_ = 0;
        }
        font_ = body_font;
        style_ = body_style;
        character_run(style_);
        return pos_ - start;
    }

    // -- notes ------------------------------------------------------------
    void reference_mark() {
        character_run(kSpecial);
        text(0x02);
        character_run(style_);
    }

    void note(const stream::Event& start, stream::Decoder& decoder) {
        if (pass_ != Pass::Main) {
            note_texts_.push_back(pos_ - note_start_);
            reference_mark();
            section_style_ = kNoteStyle;
            const int next = decoder.peek();
            if (next != 0x09 && next != 0x20 && next != stream::kEscape) {
                text(0x09);
                column_ = next_stop_after(tabs_, column_);
            }
            return;
        }
        if (note_refs_.size() >= kMaxTableEntries) {
            too_large_ = true;
            return;
        }
        if (note_refs_.empty()) ftp_ = open_scratch("FTP.###", "w+b");
        reference_mark();
        note_refs_.push_back(pos_ - kFib - 1);
        set_section_aside(start, decoder, ftp_);
    }

    long note_pass() {
        pass_ = Pass::Notes;
        ftp_.rewind();
        note_start_ = pos_;
        carried_ = 0;
        main_loop(ftp_);
        // Every reference has its note text, however the bodies were cut.
        while (note_texts_.size() < note_refs_.size()) {
            if (pos_ != paragraph_start_) paragraph_end_bytes();
            paragraph_run(0);
            note_texts_.push_back(pos_ - note_start_);
            reference_mark();
        }
        paragraph_end_bytes();
        paragraph_run(0);
        paragraph_end_bytes();
        paragraph_run(0);
        notes_end_ = pos_;
        ftp_.close();
        remove_scratch("FTP.###");
        return pos_ - note_start_;
    }

    // -- fonts ----------------------------------------------------------
    // The entry of the font the stream names: one of the table's own, or
    // a new one after them; -1 for a font of no known name (its class's
    // font stands in) or when the table is full.
    int font_entry(const stream::Event& e) {
        if (e.length == 0) return -1;
        const std::string name(reinterpret_cast<const char*>(e.bytes), e.length);
        for (std::size_t i = 0; i < std::size(kTableFonts); ++i) {
            if (name == kTableFonts[i]) return static_cast<int>(i);
        }
        const auto at = std::find(names_.begin(), names_.end(), name);
        if (at != names_.end()) return static_cast<int>(std::size(kTableFonts) + (at - names_.begin()));
        if (std::size(kTableFonts) + names_.size() >= kMaxFonts) return -1;
        names_.push_back(name);
        return static_cast<int>(std::size(kTableFonts) + names_.size() - 1);
    }

    // The font table: its length, the four fonts of the classes, then each
    // named font with its pitch and family (not TrueType: the reader's
    // system finds the nearest it has).
    std::vector<std::uint8_t> font_table() const {
        std::vector<std::uint8_t> t(kFontTable + 2, kFontTable + sizeof kFontTable);
        for (const std::string& name : names_) {
            const stream::KnownFont* known = stream::known_font(name);
            static constexpr std::uint8_t kFamilies[] = {0, 1, 2, 3, 4, 5, 5};  // by stream::FontFamily
            const int family = kFamilies[static_cast<int>(known ? known->family : stream::FontFamily::kUnknown)];
            std::string bytes;
            for (const char c : name) {
                const auto b = static_cast<std::uint8_t>(c);
                const std::uint8_t w = b >= 0x80 ? static_cast<std::uint8_t>(kMacintoshToWindows[b]) : b;
                if (w >= 0x20 && w != 0x7F) bytes += static_cast<char>(w);
            }
            t.push_back(static_cast<std::uint8_t>(3 + bytes.size()));
            t.push_back(static_cast<std::uint8_t>((known && known->fixed_pitch ? 1 : 2) | family << 4));
            t.push_back(known && known->family == stream::FontFamily::kTechnical ? 2 : 0);  // the symbol character set
            t.insert(t.end(), bytes.begin(), bytes.end());
            t.push_back(0);
        }
        const std::size_t total = t.size() + 2;
        t.insert(t.begin(), {static_cast<std::uint8_t>(total), static_cast<std::uint8_t>(total >> 8)});
        return t;
    }

    // -- runs -----------------------------------------------------------
    void character_run(int new_style) {
        const RunFont next{static_cast<unsigned>(new_style), font_.symbol, font_.font_class, font_.size, font_.named};
        if (chp_.last_limit() == static_cast<std::uint32_t>(pos_)) {
            pending_ = next;
            return;
        }
        if (new_style == -1) {
            chp_.add(static_cast<std::uint32_t>(pos_), kClosingRun, sizeof kClosingRun, att_);
            return;
        }
        const unsigned s = pending_.style;
        std::uint8_t b[12] = {};
        int cb = 0;
        auto at_least = [&cb](int n) { cb = std::max(cb, n); };
        if (s & kBold) { b[1] |= 0x01; at_least(1); }
        if (s & kUnderline) { at_least(10); b[10] |= (s & kVariant) ? 0x60 : 0x20; }
        if (s & kStrike) { b[2] |= 0x04; at_least(2); }
        if (s & kSuper) { cb = 11; b[11] = (s & kVariant) ? 0xFA : 6; }
        if (s & kItalic) { b[1] |= 0x02; at_least(1); }
        if (s & kCaps) { b[1] |= (s & kVariant) ? 0x20 : 0x40; at_least(1); }
        if (s & kSpecial) {
            at_least(11);
            b[2] = 0x02;
            b[7] = static_cast<std::uint8_t>(2 * (held_points_ - 2));
            b[11] = 6;
        }
        if (style_override_ == 0) {
            if (pending_.symbol == 1) b[5] = 1;
            else if (pending_.symbol == 0 && pending_.named >= 0) b[5] = static_cast<std::uint8_t>(pending_.named);
            else if (pending_.symbol == 0) b[5] = pending_.font_class == 1 ? 0 : pending_.font_class == 2 ? 2 : 3;
        }
        if (b[7] == 0) b[7] = static_cast<std::uint8_t>(-2 * pending_.size);
        at_least(7);
        b[3] = static_cast<std::uint8_t>((pending_.size == -10 ? 2 : 6) + (b[11] ? 0x10 : 0) + ((s & kUnderline) ? 0x08 : 0));
        b[0] = static_cast<std::uint8_t>(cb);
        chp_.add(static_cast<std::uint32_t>(pos_), b, cb + 1, att_);
        held_points_ = -pending_.size;
        symbol_mark_ = font_.symbol == 1;
        pending_ = next;
    }

    int rebuild_tab_block() {
        const int points = held_points_;
        int n = 0;
        std::uint8_t kinds[kMaxTabStops];
        std::uint8_t positions[2 * kMaxTabStops];
        for (int k = 0; k < 256 && n < kMaxTabStops; ++k) {
            const int kind = tabs_.stops[k];
            if (kind == 0) continue;
            put16(positions + 2 * n, static_cast<unsigned>(points * k * 12) & 0xFFFF);
            kinds[n] = static_cast<std::uint8_t>(kind - 1);
            ++n;
        }
        tab_block_len_ = 0;
        if (n == 0) return 0;
        tab_block_[0] = static_cast<std::uint8_t>(3 + 3 * n);
        tab_block_[1] = 0;
        tab_block_[2] = static_cast<std::uint8_t>(n);
        std::memcpy(tab_block_ + 3, positions, static_cast<std::size_t>(2 * n));
        std::memcpy(tab_block_ + 3 + 2 * n, kinds, static_cast<std::size_t>(n));
        tab_block_len_ = 3 + 3 * n;
        return tab_block_len_;
    }

    void paragraph_run(unsigned f) {
        if (pos_ != paragraph_start_ && pap_.last_limit() != static_cast<std::uint32_t>(pos_)) {
            std::uint8_t b[256] = {};
            int end = 8;  // after the count byte, the style and six zero bytes
            b[1] = static_cast<std::uint8_t>(f == kSectionEnd ? section_style_ : 0);
            if (style_override_ != 0) {
                b[1] = static_cast<std::uint8_t>(style_override_);
            } else {
                if (f & (kRight | kCentre | kJustify)) {
                    b[end++] = 5;
                    b[end++] = (f & kJustify) ? 3 : (f & kCentre) ? 1 : 2;
                }
                const unsigned points = static_cast<unsigned>(held_points_);
                if (f & (kIndent | kFirstIndent)) {
                    if ((f & kIndent) && indent_column_ == 0) indent_column_ = 5;
                    if (f & kIndent) {
                        const unsigned left = points * static_cast<unsigned>(indent_column_) * 12;
                        b[end++] = 17;
                        put16(b + end, left & 0xFFFF);
                        end += 2;
                        if (f & kFirstIndent) {
                            b[end++] = 19;
                            put16(b + end, (0u - left) & 0xFFFF);
                            end += 2;
                            indent_column_ = 0;
                        } else if (!indent_kept_) {
                            indent_column_ = 0;
                        }
                    } else {
                        int first = first_tab(tabs_);
                        if (first == 0) first = 5;
                        b[end++] = 19;
                        put16(b + end, (points * static_cast<unsigned>(first) * 12) & 0xFFFF);
                        end += 2;
                    }
                }
                if (f & kSpacing) {
                    b[end++] = 20;
                    put16(b + end, static_cast<unsigned>(line_spacing_ * 30) & 0xFFFF);
                    end += 2;
                }
                if (tab_count_ != 0 && tab_change_ != -1) {
                    if (tab_change_ == 1) {
                        rebuild_tab_block();
                        tab_change_ = 0;
                    }
                    if (tab_block_len_ > 0) {
                        b[end++] = 15;
                        std::memcpy(b + end, tab_block_, static_cast<std::size_t>(tab_block_len_));
                        end += tab_block_len_;
                    }
                }
            }
            const int cw = std::max(4, (end + 1) / 2);
            b[0] = static_cast<std::uint8_t>(cw);
            pap_.add(static_cast<std::uint32_t>(pos_), b, 2 * cw + 1, par_);
        }
        if (line_feed_due_) text(0x0A);
        line_feed_due_ = false;
        paragraph_start_ = pos_;
        tab_count_ = 0;
        column_ = 0;
    }

    ByteFile& work_;
    const Conversion& conversion_;
    ByteFile att_, par_, ftp_;
    FormattingPage chp_;
    FormattingPage pap_;
    unsigned style_ = 0;
    RunFont font_;
    RunFont pending_;
    std::vector<std::string> names_;  // the named fonts after kTableFonts
    int held_points_ = 10;
    bool symbol_mark_ = false;
    bool line_feed_due_ = false;
    long paragraph_start_ = kFib;  // where the text of the paragraph in progress starts
    int tab_change_ = -1;
    std::uint8_t tab_block_[3 + 3 * kMaxTabStops] = {};
    int tab_block_len_ = 0;
    int line_spacing_ = 8;
    int right_margin_ = 79;
    int section_style_ = 0;
    int style_override_ = 0;
    SectionStart header_, footer_;
    std::vector<long> note_refs_, note_texts_;
    long note_start_ = 0, notes_end_ = 0;
    enum class Pass { Main, Notes, RunningHead } pass_ = Pass::Main;
};

}  // namespace

Status write_word_win2(Conversion& conversion, ByteFile& work, ByteFile& target) {
    return Writer(work, target, conversion).run();
}

}  // namespace verbatra
