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

namespace {

void put_utf8(std::string& out, unsigned cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | cp >> 6);
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | cp >> 12);
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | cp >> 18);
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

bool hex4(const std::string& text, std::size_t at, unsigned& value) {
    if (at + 4 > text.size()) return false;
    value = 0;
    for (std::size_t i = at; i < at + 4; ++i) {
        const char c = text[i];
        const int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        if (d < 0) return false;
        value = value << 4 | static_cast<unsigned>(d);
    }
    return true;
}

// The value of "key" in a report line: a string, or empty for null or
// when the key is missing; false when the line is not well formed there.
bool field(const std::string& line, const char* key, std::string& value) {
    value.clear();
    const std::string quoted = std::string("\"") + key + "\"";
    std::size_t at = line.find(quoted);
    if (at == std::string::npos) return true;
    at += quoted.size();
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
    if (at >= line.size() || line[at] != ':') return false;
    ++at;
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
    if (line.compare(at, 4, "null") == 0) return true;
    return parse_json_string(line, at, value);
}

}  // namespace

bool parse_json_string(const std::string& text, std::size_t& at, std::string& out) {
    out.clear();
    if (at >= text.size() || text[at] != '"') return false;
    for (std::size_t i = at + 1; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            at = i + 1;
            return true;
        }
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i >= text.size()) return false;
        switch (text[i]) {
            case '"': out += '"'; break;
            case '\\': out += '\\'; break;
            case '/': out += '/'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'u': {
                unsigned cp;
                if (!hex4(text, i + 1, cp)) return false;
                i += 4;
                if (cp >= 0xDC80 && cp <= 0xDCFF) {
                    out += static_cast<char>(cp & 0xFF);  // a byte that was not UTF-8
                } else if (cp >= 0xD800 && cp <= 0xDBFF && i + 6 < text.size() && text[i + 1] == '\\' &&
                           text[i + 2] == 'u') {
                    unsigned low;
                    if (!hex4(text, i + 3, low) || low < 0xDC00 || low > 0xDFFF) return false;
                    i += 6;
                    put_utf8(out, 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00));
                } else {
                    put_utf8(out, cp);
                }
                break;
            }
            default: return false;
        }
    }
    return false;
}

bool read_report(const std::string& name, EarlierRun& run) {
    ByteFile f = ByteFile::open(name, "rb");
    if (!f.is_open()) return false;
    std::string line;
    for (int c = f.get();; c = f.get()) {
        if (c != ByteFile::kEnd && c != '\n') {
            line += static_cast<char>(c);
            continue;
        }
        std::string source, outcome, target;
        if (field(line, "source", source) && field(line, "outcome", outcome) && field(line, "target", target) &&
            !source.empty() && !outcome.empty() && line.find('}') != std::string::npos) {
            run.sources[source] = {outcome, target};
            if (!target.empty()) run.targets.insert(target);
        }
        line.clear();
        if (c == ByteFile::kEnd) break;
    }
    return !f.failed();
}

bool ReportFile::open(const std::string& name) {
    file_ = ByteFile::open(name, "a+b");
    if (!file_.is_open()) return false;
    // A run killed while it wrote a line left it cut short: the next line
    // starts on a line of its own.
    const long size = file_.size();
    if (size > 0) {
        file_.seek_to(size - 1);
        const int last = file_.get();
        if (last != '\n') {
            file_.put('\n');
            if (!file_.flush()) return false;
        }
    }
    return true;
}

bool ReportFile::add(const ReportLine& line) {
    const std::string text = report_line(line);
    file_.write(text.data(), text.size());
    return file_.flush() && !file_.failed();
}

bool ReportFile::sync() { return file_.flush() && platform::sync_file(file_.descriptor()); }

}  // namespace verbatra
