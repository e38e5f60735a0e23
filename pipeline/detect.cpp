#include "pipeline/detect.h"

#include <cctype>
#include <cstring>
#include <string_view>

#include "pipeline/file_utils.h"
#include "platform/platform.h"
#include "readers/clarisworks.h"
#include "readers/macwrite.h"
#include "readers/macwrite2.h"
#include "readers/nisus.h"
#include "readers/pc_text.h"
#include "readers/ragtime.h"
#include "readers/source_bytes.h"
#include "readers/text_only.h"
#include "readers/works.h"

namespace verbatra {

namespace {

// Indexes in source_formats.
constexpr int kText = 0, kMacWrite = 1, kMacWrite2 = 2, kWorks2 = 3, kWorks3 = 4, kClarisWorks = 5, kRagtime2 = 6,
              kRagtime3 = 7, kNisus = 8, kUtf8Text = 9, kWindowsText = 10;

// The Finder's type and creator of the documents each program made ("????"
// matches any type); the first match decides.
struct FinderMatch {
    char type[5];
    char creator[5];
    int format;
};
constexpr FinderMatch kFinderMatches[] = {
    {"WORD", "MACA", kMacWrite},     {"MW2D", "MWII", kMacWrite2},    {"AWWP", "PSI2", kWorks2},
    {"AWWP", "MSWK", kWorks3},       {"CWWP", "BOBO", kClarisWorks},  {"CWW2", "BOBO", kClarisWorks},
    {"sWPP", "BOBO", kClarisWorks},  {"????", "R#+A", kRagtime3},     {"TEXT", "NISI", kNisus},
    {"TEXT", "????", kText},         {"ttro", "????", kText},
};

bool matches(const char* want, const char* have) { return std::memcmp(want, "????", 4) == 0 || std::memcmp(want, have, 4) == 0; }

int by_finder_info(const MacForks& f, const SourceStart& start) {
    for (const FinderMatch& m : kFinderMatches) {
        if (!matches(m.type, f.type) || !matches(m.creator, f.creator)) continue;
        if (m.format == kNisus && !recognises_nisus(f)) continue;
        // One program, two versions: the content tells which.
        if (m.format == kWorks2 || m.format == kWorks3) {
            const int version = works_version_of(start);
            return version == 2 ? kWorks2 : version == 3 ? kWorks3 : m.format;
        }
        if (m.format == kRagtime3) return recognises_ragtime2(start) ? kRagtime2 : kRagtime3;
        return m.format;
    }
    return -1;
}

// Each reader's own marks, strongest first; they exclude one another.
int by_content(const SourceStart& s) {
    if (recognises_clarisworks(s)) return kClarisWorks;
    if (recognises_macwrite(s)) return kMacWrite;
    if (recognises_macwrite2(s)) return kMacWrite2;
    if (const int version = works_version_of(s)) return version == 2 ? kWorks2 : kWorks3;
    if (recognises_ragtime3(s)) return kRagtime3;
    if (recognises_ragtime2(s)) return kRagtime2;
    return -1;
}

}  // namespace

bool finder_info_known(const MacForks& forks) {
    if (!forks.have_finder_info) return false;
    for (const FinderMatch& m : kFinderMatches) {
        if (matches(m.type, forks.type) && matches(m.creator, forks.creator) && std::memcmp(m.type, "????", 4) != 0) {
            return true;
        }
    }
    return std::memcmp(forks.creator, "R#+A", 4) == 0;
}

int detect_source_format(ByteFile& file, const MacForks& forks, const std::string& name) {
    const bool wrapped = forks.wrapping != Wrapping::Bare;
    MacForks finder = forks;
    if (!wrapped) {
        // A bare data fork copied off a Macintosh volume may keep its
        // Finder info in an AppleDouble sidecar beside it.
        finder = MacForks{};
        const std::string sidecar = sidecar_name(name);
        if (platform::exists_exactly(sidecar)) {
            ByteFile side = ByteFile::open(sidecar, "rb");
            if (side.is_open()) {
                const MacForks f = find_forks(side);
                if (f.wrapping == Wrapping::AppleDouble) finder = f;
            }
        }
    }
    std::uint8_t bytes[SourceStart::kSize];
    SourceStart start;
    start.bytes = bytes;
    start.size = wrapped ? forks.data.length : file.size();
    file.seek_to(wrapped ? forks.data.offset : 0);
    start.have = file.read(bytes, static_cast<std::size_t>(std::min<long>(start.size, sizeof bytes)));
    file.rewind();

    if (finder.have_finder_info) {
        const int format = by_finder_info(finder, start);
        if (format >= 0) return format;
    }
    const int format = by_content(start);
    if (format >= 0) return format;
    // Plain text has no marks of its own: only when the Finder says
    // nothing else, and the bytes look like text. UTF-8 is told by its
    // sequences, Windows text by where its letters lie; what is left is the
    // Macintosh's.
    if (finder.have_finder_info) return -1;
    if (recognises_utf8_text(start)) return kUtf8Text;
    if (recognises_windows_text(start)) return kWindowsText;
    if (recognises_text(start)) return kText;
    return -1;
}

namespace {

bool starts_with(const std::uint8_t* bytes, std::size_t have, std::string_view mark, std::size_t at = 0) {
    return have >= at + mark.size() && std::memcmp(bytes + at, mark.data(), mark.size()) == 0;
}

bool holds(const std::uint8_t* bytes, std::size_t have, std::string_view text) {
    for (std::size_t i = 0; i + text.size() <= have; ++i) {
        if (std::memcmp(bytes + i, text.data(), text.size()) == 0) return true;
    }
    return false;
}

// The first bytes of the files of DOS, Windows and later programs.
struct PcMark {
    std::string_view bytes;
    const char* kind;
};
using namespace std::string_view_literals;
constexpr PcMark kPcMarks[] = {
    {"{\\rtf"sv, "RTF"},
    {"%PDF-"sv, "PDF"},
    {"\xFFWPC"sv, "WordPerfect"},
    {"\x31\xBE\0\0\0\xAB"sv, "Word for DOS"},
    {"\x32\xBE\0\0\0\xAB"sv, "Word for DOS"},
    {"\xDB\xA5\x2D\0"sv, "Word for Windows"},
    {"\xDB\xA5\x2C\0"sv, "Word for Windows"},
    {"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"sv, "Microsoft Office"},
};

}  // namespace

const char* pc_document_kind(const std::uint8_t* b, std::size_t have) {
    for (const PcMark& m : kPcMarks) {
        if (starts_with(b, have, m.bytes)) return m.kind;
    }
    if (starts_with(b, have, "PK\x03\x04"sv)) {
        if (starts_with(b, have, "mimetypeapplication/vnd.oasis.opendocument"sv, 30)) return "OpenDocument";
        if (holds(b, have, "word/"sv)) return "DOCX";
        return nullptr;
    }
    // HTML, after a byte-order mark and white space, in any case.
    std::size_t i = starts_with(b, have, "\xEF\xBB\xBF"sv) ? 3 : 0;
    while (i < have && (b[i] == ' ' || b[i] == '\t' || b[i] == '\r' || b[i] == '\n')) ++i;
    for (const char* mark : {"<!doctype html", "<html"}) {
        const std::size_t n = std::strlen(mark);
        bool same = have >= i + n;
        for (std::size_t k = 0; same && k < n; ++k) same = std::tolower(b[i + k]) == mark[k];
        if (same) return "HTML";
    }
    return nullptr;
}

}  // namespace verbatra
