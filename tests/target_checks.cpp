#include "target_checks.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>

#include "stream/utf8.h"

namespace verbatra::test {

namespace {

unsigned u16(const std::string& f, std::size_t at) {
    if (at + 2 > f.size()) return 0;
    return static_cast<unsigned char>(f[at]) | static_cast<unsigned char>(f[at + 1]) << 8;
}
std::uint32_t u32(const std::string& f, std::size_t at) { return u16(f, at) | u16(f, at + 2) << 16; }

// Reads the formatting pages from page `from` to page `to`; they must chain,
// their runs must be contiguous and their FPROPs inside the page.
std::vector<FormatRun> read_pages(const std::string& f, unsigned from, unsigned to, std::vector<std::string>& problems) {
    std::vector<FormatRun> runs;
    std::uint32_t expected_first = 128;
    for (unsigned pn = from; pn < to; ++pn) {
        const std::size_t page = static_cast<std::size_t>(pn) * 128;
        const std::string where = "page " + std::to_string(pn) + ": ";
        if (page + 128 > f.size()) {
            problems.push_back(where + "beyond the end of the file");
            break;
        }
        std::uint32_t first = u32(f, page);
        if (first != expected_first) problems.push_back(where + "does not start where the last one ended");
        const int cfod = static_cast<unsigned char>(f[page + 127]);
        if (cfod == 0) problems.push_back(where + "is empty");
        if (4 + 6 * cfod > 127) {
            problems.push_back(where + "more FODs than fit");
            break;
        }
        for (int i = 0; i < cfod; ++i) {
            const std::size_t fod = page + 4 + 6 * static_cast<std::size_t>(i);
            FormatRun r{first, u32(f, fod), u16(f, fod + 4) != 0xFFFF, ""};
            if (r.lim < r.first) problems.push_back(where + "a run ends before it starts");
            if (r.has_fprop) {
                const unsigned b = u16(f, fod + 4);
                const std::size_t at = page + 4 + b;
                if (4 + b >= 127 || 4 + b + 1 + static_cast<unsigned char>(f[at]) > 127) {
                    problems.push_back(where + "an FPROP outside its page");
                } else {
                    r.fprop = f.substr(at + 1, static_cast<unsigned char>(f[at]));
                }
            }
            runs.push_back(r);
            first = r.lim;
        }
        expected_first = first;
    }
    return runs;
}

}  // namespace

WordDoc read_word_dos_file(const std::string& f) {
    WordDoc d;
    d.file = f;
    auto& p = d.problems;
    if (f.size() < 256) p.push_back("shorter than 256 bytes");
    if (f.size() % 128 != 0) p.push_back("not whole 128-byte pages");
    if (f.size() < 128) return d;
    if (u16(f, 0) != 0xBE31u) p.push_back("wIdent is not 0xBE31");
    if (u16(f, 4) != 0xAB00u) p.push_back("wTool is not 0xAB00");
    if (u16(f, 126) != 437u) p.push_back("the code page is not 437");
    if (f.substr(30, 11) != std::string("NORMAL.STY\0", 11)) p.push_back("no style sheet name");
    if (u16(f, 96) != 0) p.push_back("the word at 96 is not 0");
    d.fc_mac = u32(f, 14);
    d.pn_para = u16(f, 18);
    d.pn_fntb = u16(f, 20);
    d.pn_sep = u16(f, 22);
    for (int at : {24, 26, 28}) {
        if (u16(f, at) != d.pn_sep) p.push_back("the word at " + std::to_string(at) + " is not pnSep");
    }
    if (d.pn_sep * 128u != f.size()) p.push_back("pnSep is not the end of the file");
    if (d.fc_mac < 128 || d.fc_mac > f.size()) {
        p.push_back("fcMac outside the file");
        return d;
    }
    d.text = f.substr(128, d.fc_mac - 128);
    d.pn_char = (d.fc_mac + 127) / 128;
    if (d.pn_char > d.pn_para || d.pn_para > d.pn_fntb || d.pn_fntb > d.pn_sep) {
        p.push_back("the page numbers are out of order");
        return d;
    }
    d.chars = read_pages(f, d.pn_char, d.pn_para, p);
    d.paras = read_pages(f, d.pn_para, d.pn_fntb, p);
    // Runs must reach the end of the text, or readers cut it off there.
    if (d.chars.empty() || d.chars.back().lim < d.fc_mac) p.push_back("character runs stop short of fcMac");
    if (d.paras.empty() || d.paras.back().lim < d.fc_mac) p.push_back("paragraph runs stop short of fcMac");
    if (d.pn_fntb < d.pn_sep) {
        const std::size_t t = static_cast<std::size_t>(d.pn_fntb) * 128;
        d.cfnd = u16(f, t);
        d.cfnd_max = u16(f, t + 2);
        if (t + 4 + 8 * static_cast<std::size_t>(d.cfnd) > f.size()) {
            p.push_back("the footnote table runs past the end of the file");
            return d;
        }
        for (unsigned i = 0; i < d.cfnd; ++i) d.notes.push_back({u32(f, t + 4 + 8 * i), u32(f, t + 8 + 8 * i)});
        for (const auto& [ref, ftn] : d.notes) {
            if (ref > d.fc_mac - 128 || ftn > d.fc_mac - 128) p.push_back("a footnote outside the text");
        }
    }
    return d;
}

namespace {

// The runs of the pages a bin table names: the pages must chain, each
// start where the last one ended, and keep their blocks inside the page.
std::vector<Win2Run> read_win2_pages(const std::string& f, std::size_t bin, unsigned length, std::uint32_t fc_mac,
                                     bool paragraphs, std::vector<std::string>& p) {
    std::vector<Win2Run> runs;
    if (length < 4 || (length - 4) % 6 != 0 || bin + length > f.size()) {
        p.push_back("a bin table outside the file or of a wrong length");
        return runs;
    }
    const unsigned n = (length - 4) / 6;
    if (u32(f, bin + 4 * n) != fc_mac) p.push_back("a bin table does not end at fcMac");
    std::uint32_t expected = 384;
    for (unsigned i = 0; i < n; ++i) {
        const std::size_t page = static_cast<std::size_t>(u16(f, bin + 4 * (n + 1) + 2 * i)) * 512;
        const std::string where = "page at " + std::to_string(page) + ": ";
        if (page + 512 > f.size()) {
            p.push_back(where + "beyond the end of the file");
            break;
        }
        if (u32(f, bin + 4 * i) != u32(f, page)) p.push_back(where + "its bin table entry is not its first position");
        const unsigned crun = static_cast<unsigned char>(f[page + 511]);
        if (crun == 0 || crun > 48) p.push_back(where + "a run count of " + std::to_string(crun));
        if (u32(f, page) != expected) p.push_back(where + "does not start where the last one ended");
        for (unsigned r = 0; r < crun && 4 * (crun + 1) + crun <= 511; ++r) {
            Win2Run run{u32(f, page + 4 * r), u32(f, page + 4 * (r + 1)), ""};
            if (run.lim < run.first) p.push_back(where + "a run ends before it starts");
            const unsigned b = static_cast<unsigned char>(f[page + 4 * (crun + 1) + r]);
            if (b != 0) {
                const std::size_t at = page + 2 * b;
                // A character block counts its bytes, a paragraph block its
                // words.
                const unsigned count = static_cast<unsigned char>(f[at]) * (paragraphs ? 2 : 1);
                if (2 * b < 4 * (crun + 1) + crun || 2 * b + 1 > 511) p.push_back(where + "a block outside its room");
                else if (2 * b + count >= 511) p.push_back(where + "a block runs past the run count");
                else run.block = f.substr(at + 1, count);
            }
            runs.push_back(run);
            expected = run.lim;
        }
    }
    return runs;
}

}  // namespace

Win2Doc read_word_win2_file(const std::string& f) {
    Win2Doc d;
    d.file = f;
    auto& p = d.problems;
    if (f.size() < 384) {
        p.push_back("shorter than the FIB");
        return d;
    }
    if (u16(f, 0) != 0xA5DB || u16(f, 2) != 45) p.push_back("not wIdent 0xA5DB, nFib 45");
    if (u32(f, 24) != 384) p.push_back("fcMin is not 384");
    if (u32(f, 32) != f.size()) p.push_back("cbMac is not the length of the file");
    d.fc_mac = u32(f, 28);
    d.ccp_text = u32(f, 52);
    d.ccp_ftn = u32(f, 56);
    d.ccp_hdd = u32(f, 60);
    if (d.fc_mac < 384 || d.fc_mac > f.size()) {
        p.push_back("fcMac outside the file");
        return d;
    }
    d.text = f.substr(384, d.fc_mac - 384);
    if (static_cast<std::uint64_t>(d.ccp_text) + d.ccp_ftn + d.ccp_hdd > d.text.size()) {
        p.push_back("the text parts are longer than the text");
        return d;
    }
    // A table named by its position and 16-bit length, inside the file.
    auto table = [&](std::size_t at, const char* name) -> std::pair<std::size_t, unsigned> {
        const std::size_t pos = u32(f, at);
        const unsigned length = u16(f, at + 4);
        if (pos + length > f.size()) p.push_back(std::string(name) + " outside the file");
        return {pos, length};
    };
    const auto [chp, chp_length] = table(160, "the character bin table");
    const auto [pap, pap_length] = table(166, "the paragraph bin table");
    d.chars = read_win2_pages(f, chp, chp_length, d.fc_mac, false, p);
    d.paras = read_win2_pages(f, pap, pap_length, d.fc_mac, true, p);
    if (d.paras.empty() || d.paras.back().lim < d.fc_mac) p.push_back("paragraph runs stop short of fcMac");
    if (u16(f, 322) * 6u + 4 != chp_length || u16(f, 324) * 6u + 4 != pap_length) p.push_back("page counts differ from the bin tables");
    // The document properties' dates, and the Summary Info's strings: the
    // table's length, then counted strings that fill it exactly.
    const auto [dop, dop_length] = table(274, "the document properties");
    if (dop_length != 52) p.push_back("the document properties are not 52 bytes");
    else {
        d.created = u32(f, dop + 20);
        d.revised = u32(f, dop + 24);
    }
    const auto [assoc, assoc_length] = table(280, "the summary strings");
    if (assoc_length != 0) {
        if (assoc_length < 2 || u16(f, assoc) != assoc_length) p.push_back("the summary strings' length");
        std::size_t at = assoc + 2;
        while (at < assoc + assoc_length && at < f.size()) {
            const std::size_t n = static_cast<unsigned char>(f[at]);
            d.summary.push_back(f.substr(at + 1, n));
            at += 1 + n;
        }
        if (at != assoc + assoc_length) p.push_back("a summary string runs past its table");
    }
    const auto [font, font_length] = table(178, "the font table");
    if (font_length < 2 || u16(f, font) != font_length) p.push_back("the font table's length");
    const auto [sheet, sheet_length] = table(88, "the style sheet");
    if (sheet_length == 0 || sheet != u32(f, 94)) p.push_back("the style sheet");
    const auto [sed, sed_length] = table(124, "the section table");
    if (sed_length != 14 || u32(f, sed + 4) != d.fc_mac - 384) {
        p.push_back("the section table");
    } else {
        const std::size_t at = u32(f, sed + 10);
        if (at != d.fc_mac || at >= f.size()) p.push_back("the section properties are not at fcMac");
        else d.sepx = f.substr(at + 1, static_cast<unsigned char>(f[at]));
    }
    const auto [refs, refs_length] = table(100, "the note reference table");
    const auto [texts, texts_length] = table(106, "the note text table");
    if (refs_length != 0 || d.ccp_ftn != 0) {
        const unsigned n = (refs_length - 4) / 6;
        if (refs_length < 10 || refs_length != 6 * n + 4 || texts_length != 4 * (n + 2)) {
            p.push_back("the note tables' lengths");
        } else {
            for (unsigned i = 0; i < n; ++i) d.note_refs.push_back(u32(f, refs + 4 * i));
            for (unsigned i = 0; i < n + 2; ++i) d.note_texts.push_back(u32(f, texts + 4 * i));
            for (std::uint32_t cp : d.note_refs) {
                if (cp >= d.ccp_text || d.text[cp] != '\x02') p.push_back("a note reference is not on a mark");
            }
            for (unsigned i = 0; i < n; ++i) {
                const std::uint32_t cp = d.note_texts[i];
                if (cp >= d.ccp_ftn || d.text[d.ccp_text + cp] != '\x02') p.push_back("a note text does not start at its mark");
            }
            if (d.note_texts[n] != d.ccp_ftn) p.push_back("the note text table does not end at ccpFtn");
        }
    }
    const auto [hdd, hdd_length] = table(154, "the header table");
    if ((hdd_length != 0) != (d.ccp_hdd != 0)) p.push_back("a header table without header text, or the reverse");
    for (unsigned i = 0; i + 4 <= hdd_length; i += 4) d.headers.push_back(u32(f, hdd + i));
    for (std::size_t i = 1; i < d.headers.size(); ++i) {
        if (d.headers[i] < d.headers[i - 1]) p.push_back("header table CPs out of order");
    }
    return d;
}

std::vector<std::string> wp5_problems(const std::string& f) {
    std::vector<std::string> p;
    if (f.size() < 66 || f.compare(0, 4, "\xFF" "WPC") != 0 || f[9] != 10 ||
        f.compare(16, 6, std::string("\xFB\xFF\x05\x00\x32\x00", 6)) != 0) {
        p.push_back("not a WordPerfect 5 prefix");
        return p;
    }
    // The document area starts after the index block and its packets, and
    // every packet the block lists lies between the two.
    const std::size_t document = u32(f, 4);
    if (document < 66 || document > f.size()) {
        p.push_back("the document area starts at " + std::to_string(document));
        return p;
    }
    for (std::size_t entry = 26; entry < 66; entry += 10) {
        const std::size_t type = u16(f, entry), size = u32(f, entry + 2), offset = u32(f, entry + 6);
        if (type != 0 && (offset < 66 || offset + size > document)) {
            p.push_back("packet " + std::to_string(type) + " lies outside the prefix");
            return p;
        }
    }
    // The lengths of the fixed-length functions 0xC0 to 0xCF.
    static constexpr int kFixed[16] = {4, 9, 11, 3, 3, 5, 6, 7, 4, 5, 3, 3, 3, 3, 3, 3};
    std::size_t i = document;
    while (i < f.size()) {
        const unsigned c = static_cast<unsigned char>(f[i]);
        const std::string at = " at " + std::to_string(i);
        if (c >= 0xC0 && c <= 0xCF) {
            const std::size_t n = static_cast<std::size_t>(kFixed[c - 0xC0]);
            if (i + n > f.size() || static_cast<unsigned char>(f[i + n - 1]) != c) {
                p.push_back("a fixed-length function not closed" + at);
                return p;
            }
            i += n;
        } else if (c >= 0xD0) {
            if (i + 4 > f.size()) {
                p.push_back("a group cut short" + at);
                return p;
            }
            const unsigned sub = static_cast<unsigned char>(f[i + 1]);
            const std::size_t length = u16(f, i + 2);
            const std::size_t end = i + 4 + length;  // past the group
            if (length < 4 || end > f.size() || u16(f, end - 4) != length ||
                static_cast<unsigned char>(f[end - 2]) != sub || static_cast<unsigned char>(f[end - 1]) != c) {
                p.push_back("a group whose two ends differ" + at);
                return p;
            }
            i = end;
        } else {
            ++i;
        }
    }
    return p;
}

bool rtf_braces_balance(const std::string& rtf) {
    long depth = 0;
    for (std::size_t i = 0; i < rtf.size(); ++i) {
        if (rtf[i] == '\\') {
            ++i;  // an escaped brace or backslash is text
            continue;
        }
        if (rtf[i] == '{') ++depth;
        if (rtf[i] == '}' && --depth <= 0 && i + 1 < rtf.size()) return false;  // closed before the end
    }
    return depth == 0;
}


const ZipEntry* ZipFile::find(const std::string& name) const {
    for (const ZipEntry& e : entries) {
        if (e.name == name) return &e;
    }
    return nullptr;
}

ZipFile read_zip(const std::string& f) {
    ZipFile z;
    auto& p = z.problems;
    // The end record: the last 22 bytes (we write no comment).
    if (f.size() < 22 || u32(f, f.size() - 22) != 0x06054B50u) {
        p.push_back("no end record");
        return z;
    }
    const std::size_t count = u16(f, f.size() - 12);
    const std::size_t dir_size = u32(f, f.size() - 10), dir_at = u32(f, f.size() - 6);
    if (dir_at + dir_size != f.size() - 22) p.push_back("the directory does not end where the end record starts");
    std::size_t at = dir_at;
    for (std::size_t i = 0; i < count; ++i) {
        if (at + 46 > f.size() || u32(f, at) != 0x02014B50u) {
            p.push_back("directory entry " + std::to_string(i) + " is broken");
            return z;
        }
        const unsigned method = u16(f, at + 10);
        const std::uint32_t crc = u32(f, at + 16), csize = u32(f, at + 20), size = u32(f, at + 24);
        const std::size_t name_length = u16(f, at + 28), extra = u16(f, at + 30), comment = u16(f, at + 32);
        const std::uint32_t local = u32(f, at + 42);
        ZipEntry e;
        e.name = f.substr(at + 46, name_length);
        e.stored = method == 0;
        e.offset = local;
        at += 46 + name_length + extra + comment;
        if (local + 30 > f.size() || u32(f, local) != 0x04034B50u) {
            p.push_back(e.name + ": no local header");
            continue;
        }
        if (u32(f, local + 14) != crc || u32(f, local + 18) != csize || u32(f, local + 22) != size ||
            u16(f, local + 26) != name_length || f.compare(local + 30, name_length, e.name) != 0) {
            p.push_back(e.name + ": the local header differs from the directory");
        }
        const std::size_t data_at = local + 30 + name_length + u16(f, local + 28);
        if (data_at + csize > f.size()) {
            p.push_back(e.name + ": data past the end");
            continue;
        }
        if (method == 0) {
            e.data = f.substr(data_at, csize);
        } else if (method == 8) {
            e.data.resize(size);
            z_stream s{};
            inflateInit2(&s, -MAX_WBITS);
            s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(f.data() + data_at));
            s.avail_in = csize;
            s.next_out = reinterpret_cast<Bytef*>(e.data.data());
            s.avail_out = size;
            const int r = inflate(&s, Z_FINISH);
            if (r != Z_STREAM_END || s.avail_out != 0 || s.avail_in != 0) p.push_back(e.name + ": does not inflate to its size");
            inflateEnd(&s);
        } else {
            p.push_back(e.name + ": unknown method " + std::to_string(method));
        }
        if (crc32(0, reinterpret_cast<const Bytef*>(e.data.data()), static_cast<uInt>(e.data.size())) != crc) {
            p.push_back(e.name + ": wrong checksum");
        }
        z.entries.push_back(std::move(e));
    }
    return z;
}

bool valid_utf8(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size()) {
        char32_t cp = 0;
        const std::size_t n = utf8_sequence(reinterpret_cast<const std::uint8_t*>(text.data()) + i, text.size() - i, cp);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

namespace {
bool name_start(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_' || c == ':' || (c & 0x80); }
bool name_char(char c) { return name_start(c) || std::isdigit(static_cast<unsigned char>(c)) || c == '-' || c == '.'; }
}  // namespace

std::vector<std::string> xml_problems(const std::string& x) {
    std::vector<std::string> p;
    if (!valid_utf8(x)) {
        p.push_back("not UTF-8");
        return p;
    }
    for (const unsigned char c : x) {
        if (c < 0x20 && c != 9 && c != 10 && c != 13) {
            p.push_back("a control character");
            return p;
        }
    }
    std::vector<std::string> open;
    bool root_seen = false;
    std::size_t i = 0;
    const auto fail = [&](const std::string& what) {
        p.push_back(what + " at " + std::to_string(i));
        return p;
    };
    const auto reference = [&](std::size_t& at) {
        const std::size_t end = x.find(';', at);
        if (end == std::string::npos) return false;
        const std::string r = x.substr(at + 1, end - at - 1);
        const bool ok = r == "amp" || r == "lt" || r == "gt" || r == "quot" || r == "apos" ||
                        (r.size() > 1 && r[0] == '#');
        at = end + 1;
        return ok;
    };
    while (i < x.size()) {
        if (x[i] == '&') {
            if (!reference(i)) return fail("an unknown reference");
            continue;
        }
        if (x[i] != '<') {
            if (open.empty() && !std::isspace(static_cast<unsigned char>(x[i]))) return fail("text outside the root");
            ++i;
            continue;
        }
        if (x.compare(i, 5, "<?xml") == 0 || x.compare(i, 2, "<?") == 0) {
            const std::size_t end = x.find("?>", i);
            if (end == std::string::npos) return fail("an unclosed declaration");
            i = end + 2;
            continue;
        }
        if (x.compare(i, 4, "<!--") == 0) {
            const std::size_t end = x.find("-->", i);
            if (end == std::string::npos) return fail("an unclosed comment");
            i = end + 3;
            continue;
        }
        if (x.compare(i, 2, "</") == 0) {
            std::size_t j = i + 2;
            while (j < x.size() && name_char(x[j])) ++j;
            const std::string name = x.substr(i + 2, j - i - 2);
            while (j < x.size() && std::isspace(static_cast<unsigned char>(x[j]))) ++j;
            if (j >= x.size() || x[j] != '>') return fail("a broken end tag");
            if (open.empty() || open.back() != name) return fail("</" + name + "> closes nothing open");
            open.pop_back();
            i = j + 1;
            continue;
        }
        // A start tag.
        std::size_t j = i + 1;
        if (j >= x.size() || !name_start(x[j])) return fail("a broken tag");
        while (j < x.size() && name_char(x[j])) ++j;
        const std::string name = x.substr(i + 1, j - i - 1);
        std::vector<std::string> attributes;
        for (;;) {
            while (j < x.size() && std::isspace(static_cast<unsigned char>(x[j]))) ++j;
            if (j >= x.size()) return fail("an unclosed tag");
            if (x[j] == '>' || x.compare(j, 2, "/>") == 0) break;
            const std::size_t a = j;
            if (!name_start(x[j])) return fail("a broken attribute");
            while (j < x.size() && name_char(x[j])) ++j;
            const std::string attribute = x.substr(a, j - a);
            if (std::find(attributes.begin(), attributes.end(), attribute) != attributes.end()) {
                return fail("attribute " + attribute + " twice");
            }
            attributes.push_back(attribute);
            if (j >= x.size() || x[j] != '=' || j + 1 >= x.size() || (x[j + 1] != '"' && x[j + 1] != '\'')) {
                return fail("an unquoted attribute");
            }
            const char quote = x[j + 1];
            j += 2;
            while (j < x.size() && x[j] != quote) {
                if (x[j] == '<') return fail("< in an attribute");
                if (x[j] != '&') {
                    ++j;
                } else if (!reference(j)) {
                    return fail("an unknown reference");
                }
            }
            if (j >= x.size()) return fail("an unclosed attribute");
            ++j;
        }
        if (open.empty()) {
            if (root_seen) return fail("a second root element");
            root_seen = true;
        }
        if (x[j] == '>') {
            open.push_back(name);
            i = j + 1;
        } else {
            i = j + 2;
        }
    }
    if (!open.empty()) p.push_back("<" + open.back() + "> never closed");
    if (!root_seen) p.push_back("no root element");
    return p;
}

std::vector<std::string> package_problems(const std::string& file, bool odt) {
    const ZipFile z = read_zip(file);
    std::vector<std::string> p = z.problems;
    for (const ZipEntry& e : z.entries) {
        if (e.name.size() < 4 || (e.name.compare(e.name.size() - 4, 4, ".xml") != 0 && e.name.compare(e.name.size() - 5, 5, ".rels") != 0)) {
            continue;
        }
        for (const std::string& q : xml_problems(e.data)) p.push_back(e.name + ": " + q);
    }
    const std::vector<const char*> needed =
        odt ? std::vector<const char*>{"mimetype", "content.xml", "styles.xml", "meta.xml", "META-INF/manifest.xml"}
            : std::vector<const char*>{"[Content_Types].xml", "_rels/.rels", "word/document.xml", "word/styles.xml",
                                       "word/footnotes.xml", "word/_rels/document.xml.rels"};
    for (const char* name : needed) {
        if (!z.find(name)) p.push_back(std::string("no ") + name);
    }
    if (odt) {
        if (z.entries.empty() || z.entries.front().name != "mimetype" || !z.entries.front().stored ||
            z.entries.front().offset != 0 || z.entries.front().data != "application/vnd.oasis.opendocument.text") {
            p.push_back("mimetype is not the first entry, stored, with the text type");
        }
        if (const ZipEntry* m = z.find("META-INF/manifest.xml")) {
            for (const ZipEntry& e : z.entries) {
                if (e.name != "mimetype" && e.name != "META-INF/manifest.xml" &&
                    m->data.find("manifest:full-path=\"" + e.name + "\"") == std::string::npos) {
                    p.push_back("the manifest lacks " + e.name);
                }
            }
        }
    }
    return p;
}
}  // namespace verbatra::test
