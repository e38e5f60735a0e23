#include "cli/report.h"

#include <cctype>
#include <cstring>

#include "pipeline/conversion.h"
#include "platform/platform.h"
#include "stream/utf8.h"

namespace verbatra {

namespace {

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
        } else if (char32_t cp; const std::size_t n = utf8_sequence(p + i, text.size() - i, cp)) {
            out.append(text, i, n);
            i += n;
        } else {
            hex_escape(out, 0xDC00 | c);
            ++i;
        }
    }
    return out + "\"";
}

namespace {
// A JSON string, or null for an empty one.
std::string json_or_null(const std::string& text) { return text.empty() ? std::string("null") : json_string(text); }

// A CSV field, quoted (RFC 4180): always, as DROID writes them, or only
// where the field must be.
std::string csv_field(const std::string& v, bool always = true) {
    if (!always && v.find_first_of(",\"\r\n") == std::string::npos) return v;
    std::string out = "\"";
    for (char c : v) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

// The fields of an identification a conversion's line shares with
// --identify's: after the format, what an archive records of it. A
// report line keeps "version" for the program's, so the format's
// version goes under another key there.
std::string identity_fields(const Identification& id, const char* version_key) {
    std::string warnings = "[";
    for (const std::string& w : id.warnings) {
        if (warnings.size() > 1) warnings += ',';
        warnings += json_string(w);
    }
    warnings += "]";
    return ",\"" + std::string(version_key) + "\":" + json_or_null(id.version) + ",\"puid\":" + json_or_null(id.puid) +
           ",\"mime\":" + json_or_null(id.mime) + ",\"basis\":" + json_or_null(id.basis) + ",\"type\":" + json_or_null(id.type) + ",\"creator\":" + json_or_null(id.creator) +
           ",\"wrapping\":" + json_or_null(id.wrapping) + ",\"wrapping_puid\":" + json_or_null(id.wrapping_puid) +
           ",\"warnings\":" + warnings;
}

// What the target lost, for a line with a target: the pictures it does not
// hold as pictures, characters written as stand-ins, changes of font size
// and colour it cannot carry, notes written as text, and for a damaged
// file the part that could not be read.
std::string losses_field(const ReportLine& l) {
    if (l.target.empty() || l.started.empty()) return "null";  // no target, or one an earlier run wrote
    const Losses& n = l.losses;
    return "{\"pictures\":" + std::to_string(l.pictures_dropped) + ",\"stand_ins\":" + std::to_string(n.stand_ins) +
           ",\"font_sizes\":" + std::to_string(n.font_sizes) + ",\"colours\":" + std::to_string(n.colours) +
           ",\"notes_as_text\":" + std::to_string(n.notes_as_text) +
           ",\"unread\":" + (l.outcome == "damaged" ? json_string(l.reason) : std::string("null")) + "}";
}
}  // namespace

std::string report_line(const ReportLine& l) {
    return "{\"source\":" + json_string(l.source) + ",\"format\":" + json_or_null(l.format) +
           ",\"outcome\":" + json_string(l.outcome) + ",\"target\":" + json_or_null(l.target) +
           ",\"reason\":" + json_or_null(l.reason) + ",\"source_size\":" + std::to_string(l.source_size) +
           ",\"target_size\":" + std::to_string(l.target_size) +
           ",\"pictures_kept\":" + std::to_string(l.pictures_kept) +
           ",\"pictures_dropped\":" + std::to_string(l.pictures_dropped) +
           ",\"target_format\":" + json_or_null(l.target_format) + ",\"source_sha256\":" + json_or_null(l.source_sha256) +
           ",\"data_fork_sha256\":" + json_or_null(l.data_fork_sha256) +
           ",\"resource_fork_sha256\":" + json_or_null(l.resource_fork_sha256) +
           ",\"target_sha256\":" + json_or_null(l.target_sha256) + ",\"program\":\"Verbatra\",\"version\":" +
           json_string(kProgramVersion) + ",\"started\":" + json_or_null(l.started) + ",\"ended\":" + json_or_null(l.ended) +
           identity_fields(l.identity, "format_version") + ",\"losses\":" + losses_field(l) + "}\n";
}

std::string identity_line(const std::string& path, const Identification& id) {
    return "{\"path\":" + json_string(path) + ",\"size\":" + std::to_string(id.size) +
           ",\"modified\":" + json_or_null(id.modified) + ",\"sha256\":" + json_or_null(id.sha256) +
           ",\"format\":" + json_or_null(id.format) + identity_fields(id, "version") + ",\"problem\":" + json_or_null(id.problem) + "}\n";
}

const char* const kDroidHeader =
    "\"ID\",\"PARENT_ID\",\"URI\",\"FILE_PATH\",\"NAME\",\"METHOD\",\"STATUS\",\"SIZE\",\"TYPE\",\"EXT\","
    "\"LAST_MODIFIED\",\"EXTENSION_MISMATCH\",\"SHA256_HASH\",\"FORMAT_COUNT\",\"PUID\",\"MIME_TYPE\","
    "\"FORMAT_NAME\",\"FORMAT_VERSION\"\n";

namespace {
// A file: URI of an absolute path, each byte outside the unreserved
// characters and '/' percent-encoded.
std::string file_uri(const std::string& path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out = path.empty() || path[0] != '/' ? "file:///" : "file://";
    for (unsigned char c : path) {
        const bool plain = std::isalnum(c) || std::strchr("-._~/", c) != nullptr;
        if (c == '\\') {
            out += '/';
        } else if (plain && c != 0) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}
}  // namespace

std::string droid_row(long number, long parent, const std::string& absolute, const Identification& id) {
    // A file inside an image is named by its Mac path after the image's.
    const std::size_t mac = absolute.rfind(':'), hash = absolute.rfind('#');
    const bool inside = hash != std::string::npos && mac != std::string::npos && mac > hash;
    const std::string name = inside ? absolute.substr(mac + 1) : absolute.substr(platform::file_name_start(absolute));
    const std::string fields[] = {
        std::to_string(number),
        parent > 0 ? std::to_string(parent) : std::string(),
        file_uri(absolute),
        absolute,
        name,
        id.format.empty() ? std::string() : "Signature",
        id.unreadable ? "Access denied" : "Done",
        std::to_string(id.size),
        id.container ? "Container" : "File",
        id.extension,
        id.modified,
        id.extension_mismatch ? "true" : "false",
        id.sha256,
        id.format.empty() ? "0" : "1",
        id.puid,
        id.mime,
        id.format,
        id.version,
    };
    std::string row;
    for (const std::string& f : fields) {
        if (!row.empty()) row += ',';
        row += csv_field(f);
    }
    return row + "\n";
}

std::string run_line(const RunRecord& r) {
    return "{\"run\":{\"program\":\"Verbatra\",\"version\":" + json_string(kProgramVersion) + ",\"from\":" + json_string(r.from) +
           ",\"to\":" + json_string(r.to) + ",\"output_dir\":" + json_or_null(r.output_dir) +
           ",\"recursive\":" + (r.recursive ? "true" : "false") + ",\"started\":" + json_string(r.started) + "}}\n";
}

namespace {

constexpr char kRunMark[] = "{\"run\":{\"program\":\"Verbatra\"";
constexpr char kFileMark[] = "{\"source\":";

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
    if (line.compare(at, 4, "true") == 0 || line.compare(at, 5, "false") == 0 ||
        (at < line.size() && line[at] >= '0' && line[at] <= '9')) {
        const std::size_t end = line.find_first_of(",}", at);
        value = line.substr(at, end == std::string::npos ? std::string::npos : end - at);
        return true;
    }
    return parse_json_string(line, at, value);
}

std::uint64_t number(const std::string& text) {
    std::uint64_t n = 0;
    for (char c : text) {
        if (c < '0' || c > '9') break;
        n = n * 10 + static_cast<unsigned>(c - '0');
    }
    return n;
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
                    append_utf8(out, 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00));
                } else {
                    append_utf8(out, cp);
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
        std::string source, outcome, target, format, source_size, target_size;
        if (line.compare(0, sizeof kRunMark - 1, kRunMark) == 0) {
            RunRecord r;
            std::string recursive;
            if (field(line, "from", r.from) && field(line, "to", r.to) && field(line, "output_dir", r.output_dir) &&
                field(line, "recursive", recursive) && field(line, "started", r.started) &&
                line.find("}}") != std::string::npos) {
                r.recursive = recursive == "true";
                run.run = r;
                run.have_run = true;
            }
        } else if (field(line, "source", source) && field(line, "outcome", outcome) && field(line, "target", target) &&
                   field(line, "format", format) && field(line, "source_size", source_size) &&
                   field(line, "target_size", target_size) && !source.empty() && !outcome.empty() &&
                   line.find('}') != std::string::npos) {
            run.sources[source] = {outcome, target, format, number(source_size), number(target_size)};
            if (!target.empty()) run.targets.insert(target);
        }
        line.clear();
        if (c == ByteFile::kEnd) break;
    }
    return !f.failed();
}

bool may_hold_report(const std::string& name) {
    if (!platform::exists_exactly(name)) return true;
    // A device or a pipe (/dev/stdout) takes lines without losing anything.
    if (platform::file_kind(name) != platform::FileKind::Regular) return true;
    ByteFile f = ByteFile::open(name, "rb");
    if (!f.is_open()) return true;  // the open for adding says why
    char start[sizeof kRunMark] = {};
    const std::size_t have = f.read(start, sizeof start - 1);
    if (have == 0) return true;
    return std::strncmp(start, kRunMark, sizeof kRunMark - 1) == 0 ||
           std::strncmp(start, kFileMark, sizeof kFileMark - 1) == 0;
}

bool ReportFile::open(const std::string& name) {
    name_ = name;
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

bool ReportFile::add(const ReportLine& line) { return add_text(report_line(line)); }

bool ReportFile::add_text(const std::string& text) {
    file_.write(text.data(), text.size());
    return file_.flush() && !file_.failed();
}

bool ReportFile::sync() { return file_.flush() && platform::sync_file(file_.descriptor()); }

long ReportFile::length() {
    if (!file_.flush()) return -1;
    return file_.size();
}

bool ReportFile::cut_to(long length) {
    if (!file_.flush() || !file_.close()) return false;
    {
        ByteFile f = ByteFile::open(name_, "r+b");
        if (!f.is_open() || !f.seek_to(length) || !f.truncate_here() || !f.close()) return false;
    }
    file_ = ByteFile::open(name_, "a+b");
    return file_.is_open();
}

bool NormalizationList::open(const std::string& name) {
    file_ = ByteFile::open(name, "a+b");
    if (!file_.is_open()) return false;
    file_.rewind();
    std::string text;
    for (int c; (c = file_.get()) != EOF;) text += static_cast<char>(c);
    for (std::size_t at = 0, end; at < text.size(); at = end + 1) {
        end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        rows_.insert(text.substr(at, end - at));
    }
    const std::string start = text.empty() ? "original,access,preservation\n" : text.back() != '\n' ? "\n" : "";
    return file_.write(start.data(), start.size()) == start.size() && file_.flush();
}

bool NormalizationList::add(const std::string& original, const std::string& preservation) {
    const std::string row = csv_field(original, false) + ",," + csv_field(preservation, false);
    if (!rows_.insert(row).second) return true;
    const std::string line = row + "\n";
    return file_.write(line.data(), line.size()) == line.size() && file_.flush();
}

bool NormalizationList::sync() { return file_.flush() && platform::sync_file(file_.descriptor()); }

}  // namespace verbatra
