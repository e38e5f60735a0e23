#include "cli/report.h"

#include "platform/platform.h"

namespace verbatra {

namespace {

// The length of the valid UTF-8 sequence at `p` (of `left` bytes), or 0.
std::size_t utf8_length(const unsigned char* p, std::size_t left) {
    const unsigned c = p[0];
    std::size_t n;
    unsigned min;
    if (c < 0x80) return 1;
    if (c >= 0xC2 && c <= 0xDF) n = 2, min = 0x80;
    else if (c >= 0xE0 && c <= 0xEF) n = 3, min = 0x800;
    else if (c >= 0xF0 && c <= 0xF4) n = 4, min = 0x10000;
    else return 0;
    if (n > left) return 0;
    unsigned value = c & (0x7F >> n);
    for (std::size_t i = 1; i < n; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0;
        value = value << 6 | (p[i] & 0x3F);
    }
    if (value < min || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    return n;
}

void hex_escape(std::string& out, unsigned value) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += "\\u";
    for (int s = 12; s >= 0; s -= 4) out += kHex[(value >> s) & 15];
}

}  // namespace

std::string json_string(const std::string& text) {
    std::string out = "\"";
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = p[i];
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
            ++i;
        } else if (c < 0x20 || c == 0x7F) {
            hex_escape(out, c);
            ++i;
        } else if (const std::size_t n = utf8_length(p + i, text.size() - i)) {
            out.append(text, i, n);
            i += n;
        } else {
            hex_escape(out, 0xDC00 | c);
            ++i;
        }
    }
    return out + "\"";
}

std::string report_line(const ReportLine& l) {
    auto optional = [](const std::string& s) { return s.empty() ? std::string("null") : json_string(s); };
    return "{\"source\":" + json_string(l.source) + ",\"format\":" + optional(l.format) +
           ",\"outcome\":" + json_string(l.outcome) + ",\"target\":" + optional(l.target) +
           ",\"reason\":" + optional(l.reason) + ",\"source_size\":" + std::to_string(l.source_size) +
           ",\"target_size\":" + std::to_string(l.target_size) + "}\n";
}

bool ReportFile::open(const std::string& name) {
    file_ = ByteFile::open(name, "a+b");
    return file_.is_open();
}

bool ReportFile::add(const ReportLine& line) {
    const std::string text = report_line(line);
    file_.write(text.data(), text.size());
    return file_.flush() && !file_.failed();
}

}  // namespace verbatra
