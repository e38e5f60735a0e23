#include "readers/mac_forks.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "pipeline/dates.h"
#include "readers/source_bytes.h"

namespace verbatra {

namespace {

constexpr std::size_t kMacBinaryHeader = 128;
using namespace apple_file;

bool inside(long size, std::uint64_t offset, std::uint64_t length) {
    return offset <= static_cast<std::uint64_t>(size) && length <= static_cast<std::uint64_t>(size) - offset;
}

void read_apple_entries(ByteFile& file, long size, MacForks& forks) {
    std::uint8_t head[kHeader];
    file.rewind();
    if (!read_exact(file, head, sizeof head)) return;
    const unsigned count = be16(head + 24);
    for (unsigned i = 0; i < count; ++i) {
        std::uint8_t e[kEntry];
        if (!read_exact(file, e, sizeof e)) break;
        const std::uint32_t id = be32(e), offset = be32(e + 4), length = be32(e + 8);
        if (!inside(size, offset, length)) continue;
        const ForkSpan span{static_cast<long>(offset), static_cast<long>(length)};
        if (id == kDataFork && forks.wrapping == Wrapping::AppleSingle) {
            forks.data = span;
        } else if (id == kResourceFork) {
            forks.resource = span;
        } else if (id == kFileDates && length >= 8) {
            const long back = file.tell();
            std::uint8_t dates[8];
            file.seek_to(static_cast<long>(offset));
            if (read_exact(file, dates, sizeof dates)) {
                for (int k = 0; k < 2; ++k) {
                    const std::uint32_t v = be32(dates + 4 * k);
                    if (v == kUnknownDate) continue;
                    (k == 0 ? forks.created : forks.modified) =
                        static_cast<std::int64_t>(static_cast<std::int32_t>(v)) + kAppleSingleEpoch;
                }
            }
            file.seek_to(back);
        } else if (id == kFinderInfo && length >= 8) {
            // Type and creator lead the Finder info, however long it is.
            const long back = file.tell();
            std::uint8_t info[8];
            file.seek_to(static_cast<long>(offset));
            if (read_exact(file, info, sizeof info)) {
                std::memcpy(forks.type, info, 4);
                std::memcpy(forks.creator, info + 4, 4);
                forks.have_finder_info = true;
            }
            file.seek_to(back);
        }
    }
}

// The header's own marks, whatever the file's length: the CRC of MacBinary
// II and III, or, for MacBinary I, zero bytes where later versions keep
// their fields and a type and creator of printable characters.
bool macbinary_header_holds(const std::uint8_t* h) {
    if (h[122] >= 129 && crc16(h, 124) == be16(h + 124)) return true;
    for (int i = 99; i < 126; ++i) {
        if (h[i] != 0) return false;
    }
    for (int i = 65; i < 73; ++i) {
        if (h[i] < 0x20 || h[i] > 0x7E) return false;
    }
    return true;
}

bool macbinary_is_certain(const std::uint8_t* h, long size, std::uint32_t data, std::uint32_t resource) {
    if (h[122] >= 129 && crc16(h, 124) == be16(h + 124)) return true;
    if (!macbinary_header_holds(h)) return false;
    const std::uint64_t padded = kMacBinaryHeader + (data + 127ull) / 128 * 128 + (resource + 127ull) / 128 * 128;
    const std::uint64_t exact = kMacBinaryHeader + (data + 127ull) / 128 * 128 + resource;
    const auto s = static_cast<std::uint64_t>(size);
    return s == padded || s == exact || (resource == 0 && s == kMacBinaryHeader + data);
}

}  // namespace

bool MacForks::creator_is(const char* code) const { return have_finder_info && std::memcmp(creator, code, 4) == 0; }

MacForks find_forks(ByteFile& file) {
    MacForks forks;
    const long size = file.size();
    forks.data = {0, size};
    std::uint8_t h[kMacBinaryHeader] = {};
    file.rewind();
    const std::size_t have = file.read(h, sizeof h);
    if (have >= 4 && (std::memcmp(h, kSingleMagic, 4) == 0 || std::memcmp(h, kDoubleMagic, 4) == 0)) {
        forks.wrapping = h[3] == 0x00 ? Wrapping::AppleSingle : Wrapping::AppleDouble;
        forks.data = {};
        read_apple_entries(file, size, forks);
        return forks;
    }
    if (have == kMacBinaryHeader && h[0] == 0 && h[74] == 0 && h[82] == 0 && h[1] >= 1 && h[1] <= 63) {
        std::uint32_t data = be32(h + 83);
        const std::uint32_t resource = be32(h + 87);
        // A header that is surely one, of a file cut inside its data fork:
        // what is left of the fork is the document, cut short.
        long promised = -1;
        if (!inside(size, kMacBinaryHeader, data) && size > static_cast<long>(kMacBinaryHeader) &&
            macbinary_header_holds(h)) {
            promised = static_cast<long>(data);
            data = static_cast<std::uint32_t>(size - static_cast<long>(kMacBinaryHeader));
        }
        if (inside(size, kMacBinaryHeader, data)) {
            forks.promised_data = promised;
            forks.wrapping = Wrapping::MacBinary;
            forks.data = {static_cast<long>(kMacBinaryHeader), static_cast<long>(data)};
            const std::uint64_t at = kMacBinaryHeader + (static_cast<std::uint64_t>(data) + 127) / 128 * 128;
            if (inside(size, at, 0)) {
                const long left = size - static_cast<long>(at);
                forks.resource = {static_cast<long>(at), std::min<long>(left, resource)};
                if (left < static_cast<long>(resource)) forks.promised_resource = static_cast<long>(resource);
            }
            forks.have_finder_info = true;
            forks.certain = promised >= 0 ? h[122] >= 129 && crc16(h, 124) == be16(h + 124)
                                          : macbinary_is_certain(h, size, data, resource);
            std::memcpy(forks.type, h + 65, 4);
            std::memcpy(forks.creator, h + 69, 4);
            if (be32(h + 91) != 0) forks.created = static_cast<std::int64_t>(be32(h + 91)) + kMacEpoch;
            if (be32(h + 95) != 0) forks.modified = static_cast<std::int64_t>(be32(h + 95)) + kMacEpoch;
        }
    }
    return forks;
}

std::string sidecar_name(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    const std::size_t start = slash == std::string::npos ? 0 : slash + 1;
    return path.substr(0, start) + "._" + path.substr(start);
}

std::vector<std::uint8_t> read_span(ByteFile& file, ForkSpan span) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(std::max<long>(span.length, 0)));
    file.seek_to(span.offset);
    bytes.resize(file.read(bytes.data(), bytes.size()));
    return bytes;
}

// The resource fork: a 16-byte header (data area offset, map offset, data
// length, map length); the map holds the type list at 28 (the count of
// types minus 1, then 8-byte entries: type, count minus 1, offset of the
// reference list from the type list), and each reference (12 bytes) the
// 24-bit offset of its data from the data area, where a 4-byte length
// precedes the bytes.
std::vector<std::vector<std::uint8_t>> resources_of_type(const std::vector<std::uint8_t>& fork, const char* type) {
    std::vector<std::vector<std::uint8_t>> found;
    const long size = static_cast<long>(fork.size());
    if (fork.size() < 16) return found;
    const std::uint8_t* f = fork.data();
    const std::uint32_t data_at = be32(f), map_at = be32(f + 4);
    if (!inside(size, data_at, 0) || !inside(size, map_at, 0)) return found;
    const std::uint32_t data_length = std::min<std::uint32_t>(be32(f + 8), static_cast<std::uint32_t>(size) - data_at);
    const std::uint32_t map_length = std::min<std::uint32_t>(be32(f + 12) & 0xFFFF, static_cast<std::uint32_t>(size) - map_at);
    const std::uint8_t* map = f + map_at;
    const std::uint8_t* area = f + data_at;
    constexpr std::uint32_t kTypeList = 28;
    if (map_length < kTypeList + 2) return found;
    const int types = be16s(map + kTypeList) + 1;  // none: stored as -1
    std::set<std::uint32_t> taken;
    for (int t = 0; t < types; ++t) {
        const std::uint32_t entry = kTypeList + 2 + 8 * static_cast<std::uint32_t>(t);
        if (entry + 8 > map_length) break;
        if (std::memcmp(map + entry, type, 4) != 0) continue;
        const int count = be16s(map + entry + 4) + 1;
        const std::uint32_t list = kTypeList + be16(map + entry + 6);
        for (int r = 0; r < count; ++r) {
            const std::uint32_t ref = list + 12 * static_cast<std::uint32_t>(r);
            if (ref + 12 > map_length) break;
            const std::uint32_t offset = be32(map + ref + 4) & 0xFFFFFF;
            if (offset + 4ull > data_length || !taken.insert(offset).second) continue;
            const std::uint32_t length = std::min<std::uint32_t>(be32(area + offset), data_length - offset - 4);
            found.emplace_back(area + offset + 4, area + offset + 4 + length);
        }
    }
    return found;
}

}  // namespace verbatra
