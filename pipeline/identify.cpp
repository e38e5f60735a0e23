#include "pipeline/identify.h"

#include <cctype>
#include <cstring>

#include "pipeline/detect.h"
#include "pipeline/registry.h"
#include "pipeline/sha256.h"
#include "platform/platform.h"
#include "readers/recognition.h"
#include "readers/disk_image.h"
#include "readers/source_bytes.h"
#include "readers/works.h"

namespace verbatra {

namespace {

// PRONOM's identifiers and the MIME types of the source formats, by the
// registry's short names; the version the content states picks among them.
struct Known {
    const char* short_name;
    const char* puid;
    const char* mime;
};
constexpr Known kKnown[] = {
    {"text", "x-fmt/14", "text/plain"},
    {"macwrite", nullptr, nullptr},
    {"macwrite2", nullptr, "application/macwriteii"},
    {"works2", nullptr, nullptr},
    {"works3", nullptr, nullptr},  // the version picks it: describe_version
    {"clarisworks", nullptr, nullptr},
    {"ragtime2", "fmt/1894", nullptr},
    {"ragtime3", "fmt/1894", nullptr},
    {"nisus", nullptr, "text/plain"},
    {"utf8", "x-fmt/111", "text/plain; charset=utf-8"},
    {"windows-text", "x-fmt/111", "text/plain; charset=windows-1252"},
};

// ClarisWorks names its version in its first byte; PRONOM has one
// identifier for each version of the word processor.
constexpr struct {
    const char* version;
    const char* puid;
} kClarisWorks[7] = {{nullptr, nullptr},        {"ClarisWorks 1", "fmt/736"}, {"ClarisWorks 2", "fmt/846"},
                     {"ClarisWorks 3", "fmt/846"}, {"ClarisWorks 4", "fmt/739"}, {"ClarisWorks 5 / AppleWorks 5", "fmt/744"},
                     {"AppleWorks 6", "fmt/749"}};

// The extensions of the files PC programs make: on a Macintosh document
// they say the file was taken for one.
constexpr const char* kPcExtensions[] = {"doc", "docx", "rtf", "wpd", "wp5", "wp", "pdf", "odt", "htm", "html", "wri"};

std::string printable(const char* four) {
    std::string s(four, 4);
    for (char& c : s) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    }
    return s;
}

// The extension of the file's own name (inside an image, of its Mac
// name), in lower case; a name that starts with its only dot has none.
std::string lower_extension(const std::string& name, const std::string& inside) {
    const std::string own = inside.empty() ? name.substr(platform::file_name_start(name))
                                           : inside.substr(inside.rfind(':') == std::string::npos ? 0 : inside.rfind(':') + 1);
    const std::size_t dot = own.rfind('.');
    if (dot == std::string::npos || dot == 0) return {};
    std::string ext = own.substr(dot + 1);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

void describe_wrapping(const OpenSource& o, Identification& id) {
    if (o.binhex) {
        id.wrapping = "BinHex 4.0";
        id.wrapping_puid = "x-fmt/416";
        return;
    }
    if (!o.volume.empty()) {
        id.wrapping = o.volume;
        id.wrapping_puid = o.volume_puid;
        return;
    }
    if (!o.u.is_wrapped) return;
    std::uint8_t head[128] = {};
    ByteFile& f = *o.u.wrapped;
    f.seek_to(0);
    const std::size_t have = f.read(head, sizeof head);
    f.rewind();
    if (o.u.forks.wrapping == Wrapping::AppleSingle) {
        const bool first = have >= 8 && be32(head + 4) == 0x00010000;
        id.wrapping = first ? "AppleSingle 1" : "AppleSingle 2";
        id.wrapping_puid = first ? "fmt/967" : "fmt/968";
    } else if (o.u.forks.wrapping == Wrapping::MacBinary && have == sizeof head) {
        const bool crc = head[122] >= 129 && crc16(head, 124) == be16(head + 124);
        if (crc && std::memcmp(head + 102, "mBIN", 4) == 0) {
            id.wrapping = "MacBinary III";
            id.wrapping_puid = "fmt/1763";
        } else if (crc) {
            id.wrapping = "MacBinary II";
            id.wrapping_puid = "fmt/1762";
        } else {
            id.wrapping = "MacBinary I";
            id.wrapping_puid = "fmt/1761";
        }
    }
}

// The version the content states, and what it changes of the PUID.
void describe_version(const FormatEntry& row, const SourceStart& s, Identification& id) {
    const std::string name = row.short_name;
    if (name == "macwrite") {
        if (s.u16(0) == 3) id.version = "MacWrite 1.0-2.2 (file version 3)";
        if (s.u16(0) == 6) id.version = "MacWrite 4.5-5 (file version 6)";
    } else if (name == "clarisworks") {
        const unsigned v = s.byte(0);
        if (v >= 1 && v <= 6) {
            id.version = kClarisWorks[v].version;
            id.puid = kClarisWorks[v].puid;
        }
    } else if (name == "works2" || name == "works3") {
        const int v = works_version_of(s);
        if (v != 0) id.version = "Microsoft Works " + std::to_string(v);
        id.puid = v == 3 ? "fmt/272" : "";
    } else if (name == "text" || name == "nisus") {
        id.version = "Mac OS Roman";
    } else if (name == "utf8") {
        id.version = "UTF-8";
    } else if (name == "windows-text") {
        id.version = "Windows-1252";
    } else if (name == "ragtime2") {
        id.version = "RagTime 2";
    } else if (name == "ragtime3") {
        id.version = "RagTime 3";
    }
}

// A disk image, as the file an archive holds: what holds what, and each
// PUID there is.
bool describe_image(const std::string& name, Identification& id) {
    if (platform::file_kind(name) != platform::FileKind::Regular) return false;
    ByteFile file = ByteFile::open(name, "rb");
    std::uint8_t start[kDiskImageMarksWithin];
    if (!file.is_open() || !looks_like_disk_image(start, file.read(start, sizeof start))) return false;
    const DiskImage image = read_disk_image(file, true);
    id.size = static_cast<std::uint64_t>(std::max<long>(file.size(), 0));
    id.sha256 = sha256_of(file);
    id.container = true;
    id.extension = lower_extension(name, {});
    id.basis = "the format's own marks";
    std::string volumes;
    for (const Volume& v : image.volumes) {
        volumes += (volumes.empty() ? "" : ", ") + std::string(v.kind == VolumeKind::Hfs ? "HFS" : "MFS") + " volume \"" +
                   mac_name_utf8(v.name) + "\"";
    }
    const bool hfs = !image.volumes.empty() && image.volumes[0].kind == VolumeKind::Hfs;
    if (std::strcmp(image.container, "DiskCopy 4.2") == 0) {
        id.format = "DiskCopy 4.2 disk image";
        id.puid = "fmt/625";
    } else if (std::strcmp(image.container, "raw") == 0) {
        id.format = hfs ? "HFS disk image" : "MFS disk image";
        id.puid = image.volumes.empty() ? "" : hfs ? "fmt/1105" : "fmt/2068";
    } else {
        id.format = "Apple partitioned disk image";
    }
    id.version = volumes.empty() ? image.note : volumes;
    if (!image.damage.empty()) id.warnings.push_back(image.damage);
    return true;
}

}  // namespace

Identification identify_file(const std::string& name, const std::string& inside, ImageShelf* shelf) {
    Identification id;
    if (inside.empty() && describe_image(name, id)) {
        id.modified = iso8601(platform::modified_seconds(name));
        return id;
    }
    OpenSource o;
    const ConversionResult opened = open_source(name, inside, shelf, o, true);
    id = describe_source(name, inside, o, opened);
    id.modified = inside.empty() ? iso8601(platform::modified_seconds(name)) : o.modified;
    id.size = opened.source_size;
    id.sha256 = inside.empty() ? opened.source_sha256 : opened.data_sha256;
    return id;
}

Identification describe_source(const std::string& name, const std::string& inside, OpenSource& o,
                               const ConversionResult& opened) {
    Identification id;
    id.extension = lower_extension(name, inside);
    id.unreadable = opened.outcome == Outcome::Unreadable;
    describe_wrapping(o, id);
    if (o.u.forks.have_finder_info && (o.u.is_wrapped || !inside.empty())) {
        id.type = printable(o.u.forks.type);
        id.creator = printable(o.u.forks.creator);
    }
    if (opened.outcome == Outcome::Sidecar) {
        id.wrapping = "AppleDouble";
        id.wrapping_puid = "fmt/503";
    }
    if (opened.outcome != Outcome::Converted) {
        id.problem = reason_not_converted(opened, nullptr, target_formats[0]);
        return id;
    }

    int bid = kNoBid;
    const int format = detect_source_format(*o.u.wrapped, o.u.is_wrapped ? o.u.forks : MacForks{}, name, &bid);
    if (format < 0) {
        id.problem = "not a document of a known format";
        return id;
    }
    const FormatEntry& row = source_formats[format];
    id.format = row.display_name;
    id.format_index = format;
    for (const Known& k : kKnown) {
        if (std::strcmp(k.short_name, row.short_name) != 0) continue;
        id.puid = k.puid ? k.puid : "";
        id.mime = k.mime ? k.mime : "";
    }
    id.basis = bid >= kBidFinder ? "Finder type and creator" : bid >= kBidMarks ? "the format's own marks" : "text statistics";

    std::uint8_t bytes[SourceStart::kSize];
    SourceStart start;
    start.bytes = bytes;
    start.size = o.u.is_wrapped ? o.u.forks.data.length : o.size;
    o.u.wrapped->seek_to(o.u.is_wrapped ? o.u.forks.data.offset : 0);
    start.have = o.u.wrapped->read(bytes, static_cast<std::size_t>(std::min<long>(start.size, sizeof bytes)));
    o.u.wrapped->rewind();
    describe_version(row, start, id);

    // Signs that disagree: the Finder names a format whose marks the
    // bytes do not have; the name says a PC program made it.
    if (bid >= kBidFinder && row.recognise) {
        const int marks = format_by_content(start);
        if (marks >= 0 && marks != format && !source_formats[marks].text_reader) {
            id.warnings.push_back(std::string("the Finder says ") + row.display_name + ", the bytes say " +
                                  source_formats[marks].display_name);
        }
    }
    for (const char* pc : kPcExtensions) {
        if (id.extension != pc) continue;
        id.extension_mismatch = true;
        id.warnings.push_back("the extension ." + id.extension + " says a PC document, the bytes say " + row.display_name);
    }
    return id;
}

}  // namespace verbatra
