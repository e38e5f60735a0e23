#include "target_checks.h"

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

}  // namespace verbatra::test
