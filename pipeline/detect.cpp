#include "pipeline/detect.h"

#include <cctype>
#include <cstring>
#include <string_view>

#include "pipeline/file_utils.h"
#include "pipeline/registry.h"
#include "platform/platform.h"
#include "readers/recognition.h"

namespace verbatra {

namespace {

struct Winner {
    int format = -1;  // -1 when no row bids
    int bid = kNoBid;
};

// The row whose recogniser bids highest, the first of equals.
Winner highest_bid(const Evidence& evidence) {
    Winner w;
    for (int i = 0; source_formats[i].display_name; ++i) {
        const Recogniser recognise = source_formats[i].recognise;
        const int bid = recognise ? recognise(evidence) : kNoBid;
        if (bid > w.bid) w = {i, bid};
    }
    return w;
}

}  // namespace

bool finder_info_known(const MacForks& forks) {
    // Asked with no content at all, only the Finder's word can bid.
    const SourceStart nothing;
    return forks.have_finder_info && highest_bid(Evidence{nothing, forks}).bid >= kBidFinder;
}

int detect_source_format(ByteFile& file, const MacForks& forks, const std::string& name, int* bid) {
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

    const Winner w = highest_bid(Evidence{start, finder});
    if (bid) *bid = w.bid;
    return w.format;
}

int format_by_content(const SourceStart& start) {
    const MacForks none;
    return highest_bid(Evidence{start, none}).format;
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
