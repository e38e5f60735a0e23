// The containers disk images come in, and what every volume format shares:
// fork clipping, the AppleSingle form a file is handed on in, and names.
#include "readers/disk_image.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "pipeline/dates.h"
#include "readers/mac_forks.h"
#include "readers/source_bytes.h"
#include "stream/mac_charset.h"
#include "stream/utf8.h"

namespace verbatra {

namespace {

constexpr long kMdbAt = 1024;
constexpr std::uint16_t kHfsMark = 0x4244, kMfsMark = 0xD2D7, kHfsPlusMark = 0x482B;
constexpr std::uint16_t kPartitionMark = 0x504D;
constexpr long kDiskCopyHeader = 84;
constexpr long kMapEntry = 512;
// More partitions than any real map holds.
constexpr std::uint32_t kMaxPartitions = 1024;

std::uint16_t u16_at(const std::uint8_t* p, std::size_t have, std::size_t at) { return at + 2 <= have ? be16(p + at) : 0; }
std::uint32_t u32_at(const std::uint8_t* p, std::size_t have, std::size_t at) { return at + 4 <= have ? be32(p + at) : 0; }

// An MFS or HFS master directory block at `mdb` that holds together:
// a block size of whole sectors, some blocks, a name.
std::uint16_t volume_mark(const std::uint8_t* p, std::size_t have, std::size_t mdb) {
    const std::uint16_t mark = u16_at(p, have, mdb);
    if (mark == kHfsPlusMark && u16_at(p, have, mdb + 2) == 4) return mark;
    if (mark != kHfsMark && mark != kMfsMark) return 0;
    const std::uint32_t block_size = u32_at(p, have, mdb + 20);
    const unsigned name = mdb + 36 < have ? p[mdb + 36] : 0;
    if (block_size == 0 || block_size % 512 != 0 || u16_at(p, have, mdb + 18) == 0 || name == 0 || name > 27) return 0;
    return mark;
}

bool partition_map_at(const std::uint8_t* p, std::size_t have, std::size_t at) {
    return u16_at(p, have, at + kMapEntry) == kPartitionMark && u32_at(p, have, at + kMapEntry + 4) != 0;
}

bool diskcopy_header(const std::uint8_t* p, std::size_t have) {
    return have >= kDiskCopyHeader && p[0] >= 1 && p[0] <= 63 && be16(p + 82) == 0x0100 && be32(p + 64) != 0 &&
           be32(p + 64) % 512 == 0;
}

bool volumes_at(const std::uint8_t* p, std::size_t have, std::size_t at) {
    return volume_mark(p, have, at + kMdbAt) != 0 || partition_map_at(p, have, at);
}

// DiskCopy 4.2's checksum: each big-endian word added, the sum rotated
// right by one after each.
std::uint32_t diskcopy_sum(ByteFile& image, long from, long length, bool& whole) {
    std::uint32_t sum = 0;
    std::vector<std::uint8_t> buf(64 * 1024);
    image.seek_to(from);
    whole = true;
    for (long left = length; left > 0;) {
        const std::size_t want = static_cast<std::size_t>(std::min<long>(left, static_cast<long>(buf.size())));
        const std::size_t got = image.read(buf.data(), want);
        for (std::size_t i = 0; i + 1 < got; i += 2) {
            sum += be16(&buf[i]);
            sum = sum >> 1 | sum << 31;
        }
        if (got < want) {
            whole = false;
            break;
        }
        left -= static_cast<long>(got);
    }
    return sum;
}

std::string hex32(std::uint32_t v) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string s = "0x";
    for (int shift = 28; shift >= 0; shift -= 4) s += kHex[v >> shift & 15];
    return s;
}

// The volume whose first block is at `at`, of the kind its mark says.
void add_volume(ByteFile& image, long at, long length, DiskImage& out) {
    std::uint8_t head[kMdbAt + 64] = {};
    image.seek_to(at);
    const std::size_t have = image.read(head, sizeof head);
    switch (volume_mark(head, have, kMdbAt)) {
        case kHfsMark: out.volumes.push_back(read_hfs_volume(image, at, length)); break;
        case kMfsMark: out.volumes.push_back(read_mfs_volume(image, at, length)); break;
        case kHfsPlusMark: out.note = "an HFS+ volume, which is not read"; break;
        default: break;
    }
}

void read_partition_map(ByteFile& image, long base, long size, DiskImage& out) {
    std::uint8_t entry[kMapEntry];
    std::uint32_t count = 1;
    for (std::uint32_t i = 1; i <= count && i <= kMaxPartitions; ++i) {
        if (!image.seek_to(base + static_cast<long>(i) * kMapEntry) || !read_exact(image, entry, sizeof entry) ||
            be16(entry) != kPartitionMark) {
            if (out.damage.empty()) out.damage = "the partition map ends before the entries it counts";
            break;
        }
        if (i == 1) count = be32(entry + 4);
        char type[33] = {};
        std::memcpy(type, entry + 48, 32);
        if (std::strcmp(type, "Apple_HFS") != 0) continue;
        const long start = base + static_cast<long>(be32(entry + 8)) * 512;
        const long length = static_cast<long>(be32(entry + 12)) * 512;
        if (start >= size) {
            if (out.damage.empty()) out.damage = "a partition lies past the end of the image";
            continue;
        }
        add_volume(image, start, length, out);
    }
}

void append_utf8_name(std::string& out, const std::string& mac) {
    for (unsigned char c : mac) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            append_utf8(out, kMacintoshUnicode[c - 0x80]);
        }
    }
}

}  // namespace

bool read_master_block(ByteFile& image, long offset, VolumeKind kind, std::uint8_t* mdb, std::size_t size, Volume& v) {
    v.kind = kind;
    v.offset = offset;
    const bool hfs = kind == VolumeKind::Hfs;
    if (!image.seek_to(offset + kMdbAt) || !read_exact(image, mdb, size) || be16(mdb) != (hfs ? kHfsMark : kMfsMark)) {
        v.damage = hfs ? "no HFS volume header" : "no MFS volume header";
        return false;
    }
    v.name.assign(reinterpret_cast<const char*>(mdb + 37), std::min<unsigned>(mdb[36], 27));
    const std::uint32_t block_size = be32(mdb + 20);
    if (block_size == 0 || block_size % 512 != 0) {
        v.damage = "the volume header gives no block size";
        return false;
    }
    return true;
}

long VolumeFork::readable() const {
    long total = 0;
    for (const Extent& e : extents) total += e.length;
    return std::min<long>(total, length);
}

void clip_fork(VolumeFork& fork, long limit) {
    long left = fork.length;
    std::size_t keep = 0;
    for (; keep < fork.extents.size() && left > 0; ++keep) {
        Extent& e = fork.extents[keep];
        e.length = std::min(e.length, left);
        if (e.offset < 0 || e.offset >= limit) break;
        if (e.offset + e.length > limit) {
            // What follows a gap cannot be placed: the fork ends here.
            e.length = limit - e.offset;
            ++keep;
            break;
        }
        left -= e.length;
    }
    fork.extents.resize(keep);
}

bool is_finder_database(const VolumeFile& file) {
    static constexpr const char* kFinderFiles[] = {"BTFLDMGR", "DTFLDMGR", "FNDRERIK"};
    for (const char* code : kFinderFiles) {
        if (std::memcmp(file.finder_info, code, 8) == 0) return true;
    }
    return false;
}

bool looks_like_disk_image(const std::uint8_t* start, std::size_t have) {
    if (volumes_at(start, have, 0)) return true;
    return diskcopy_header(start, have) && volumes_at(start, have, kDiskCopyHeader);
}

DiskImage read_disk_image(ByteFile& image, bool check_sum) {
    DiskImage out;
    const long size = image.size();
    std::uint8_t start[kDiskImageMarksWithin] = {};
    image.rewind();
    const std::size_t have = image.read(start, sizeof start);
    long base = 0, length = size;
    if (!volumes_at(start, have, 0) && diskcopy_header(start, have)) {
        out.container = "DiskCopy 4.2";
        base = kDiskCopyHeader;
        length = static_cast<long>(be32(start + 64));
        if (base + length > size) {
            out.damage = "the DiskCopy image ends at byte " + std::to_string(size) + " of " + std::to_string(base + length);
        } else if (check_sum) {
            bool whole = false;
            const std::uint32_t sum = diskcopy_sum(image, base, length, whole);
            if (whole && sum != be32(start + 72)) {
                out.damage = "its DiskCopy data checksum fails (recorded " + hex32(be32(start + 72)) + ", computed " +
                             hex32(sum) + ")";
            }
        }
    }
    if (partition_map_at(start, have, static_cast<std::size_t>(base))) {
        out.container = base == 0 ? "Apple partition map" : out.container;
        read_partition_map(image, base, size, out);
    } else {
        add_volume(image, base, length, out);
    }
    for (std::size_t v = 0; v < out.volumes.size(); ++v) {
        for (std::size_t f = 0; f < out.volumes[v].files.size(); ++f) {
            out.index.emplace(inside_path(out, v, out.volumes[v].files[f]), std::make_pair(v, f));
        }
    }
    return out;
}

bool write_apple_single(ByteFile& image, const VolumeFile& file, ByteFile& out) {
    using namespace apple_file;
    struct Entry {
        std::uint32_t id, length;
    };
    std::vector<Entry> entries{{kRealName, static_cast<std::uint32_t>(file.name.size())}, {kFinderInfo, 32}};
    // The dates the Mac recorded, where it recorded any, as AppleSingle
    // keeps them: seconds from 2000, the Mac's clock taken for UTC.
    if (file.created != 0 || file.modified != 0) entries.push_back({kFileDates, 16});
    if (file.resource.readable() > 0) entries.push_back({kResourceFork, static_cast<std::uint32_t>(file.resource.readable())});
    entries.push_back({kDataFork, static_cast<std::uint32_t>(file.data.readable())});
    auto put32 = [&](std::uint32_t v) {
        for (int s = 24; s >= 0; s -= 8) out.put(static_cast<std::uint8_t>(v >> s));
    };
    out.write(kSingleMagic, sizeof kSingleMagic);
    put32(kVersion2);
    for (int i = 0; i < 16; ++i) out.put(0);
    out.put(0);
    out.put(static_cast<std::uint8_t>(entries.size()));
    std::uint32_t at = static_cast<std::uint32_t>(kHeader + kEntry * entries.size());
    for (const Entry& e : entries) {
        put32(e.id);
        put32(at);
        put32(e.length);
        at += e.length;
    }
    out.write(file.name.data(), file.name.size());
    out.write(file.finder_info, sizeof file.finder_info);
    if (file.created != 0 || file.modified != 0) {
        auto since_2000 = [](std::uint32_t mac) {
            return mac == 0 ? kUnknownDate
                            : static_cast<std::uint32_t>(static_cast<std::int64_t>(mac) + kMacEpoch - kAppleSingleEpoch);
        };
        put32(since_2000(file.created));
        put32(since_2000(file.modified));
        put32(kUnknownDate);  // backed up, accessed
        put32(kUnknownDate);
    }
    return copy_fork(image, file.resource, out) && copy_fork(image, file.data, out) && out.flush() && !out.failed();
}

bool copy_fork(ByteFile& image, const VolumeFork& fork, ByteFile& out) {
    std::vector<std::uint8_t> buf(64 * 1024);
    for (const Extent& e : fork.extents) {
        image.seek_to(e.offset);
        for (long left = e.length; left > 0;) {
            const std::size_t want = static_cast<std::size_t>(std::min<long>(left, static_cast<long>(buf.size())));
            const std::size_t got = image.read(buf.data(), want);
            out.write(buf.data(), got);
            if (got < want) return false;
            left -= static_cast<long>(got);
        }
    }
    return !out.failed();
}

std::size_t read_fork_start(ByteFile& image, const VolumeFork& fork, std::uint8_t* buf, std::size_t count) {
    std::size_t have = 0;
    for (const Extent& e : fork.extents) {
        if (have == count) break;
        image.seek_to(e.offset);
        const std::size_t want = std::min<std::size_t>(count - have, static_cast<std::size_t>(e.length));
        const std::size_t got = image.read(buf + have, want);
        have += got;
        if (got < want) break;
    }
    return have;
}

std::string mac_date_iso(std::uint32_t seconds) {
    return seconds == 0 ? std::string() : iso8601(static_cast<std::int64_t>(seconds) + kMacEpoch, false);
}

std::string mac_name_utf8(const std::string& mac) {
    std::string out;
    append_utf8_name(out, mac);
    return out;
}

std::string host_safe_name(const std::string& mac) {
    std::string out;
    for (unsigned char c : mac) {
#ifdef _WIN32
        const bool forbidden = std::strchr("\\:*?\"<>|", c) != nullptr;
#else
        const bool forbidden = false;
#endif
        if (c == '/' || c < 0x20 || c == 0x7F || (forbidden && c != 0)) {
            out += '_';
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            append_utf8(out, kMacintoshUnicode[c - 0x80]);
        }
    }
    if (out.empty() || out == "." || out == "..") out = "_" + out;
#ifdef _WIN32
    // Windows drops a name's trailing dots and spaces, and keeps device names.
    while (!out.empty() && (out.back() == '.' || out.back() == ' ')) out.back() = '_';
    std::string stem = out.substr(0, out.find('.'));
    for (char& ch : stem) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    for (const char* device : {"CON", "PRN", "AUX", "NUL", "COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7",
                               "COM8", "COM9", "LPT1", "LPT2", "LPT3", "LPT4", "LPT5", "LPT6", "LPT7", "LPT8", "LPT9"}) {
        if (stem == device) out = "_" + out;
    }
#endif
    return out;
}

std::string inside_path(const DiskImage& image, std::size_t volume, const VolumeFile& file) {
    std::string path = image.volumes.size() > 1 ? std::to_string(volume + 1) : std::string();
    for (const std::string& folder : file.folders) {
        path += ':';
        append_utf8_name(path, folder);
    }
    path += ':';
    append_utf8_name(path, file.name);
    return path;
}

const VolumeFile* find_inside(const DiskImage& image, const std::string& inside) {
    const auto it = image.index.find(inside);
    return it == image.index.end() ? nullptr : &image.volumes[it->second.first].files[it->second.second];
}

bool split_inside_path(const std::string& name, bool (*exists)(const std::string&), std::string& image,
                       std::string& inside) {
    for (std::size_t hash = name.rfind('#'); hash != std::string::npos && hash > 0; hash = name.rfind('#', hash - 1)) {
        std::size_t at = hash + 1;
        while (at < name.size() && name[at] >= '0' && name[at] <= '9') ++at;
        if (at >= name.size() || name[at] != ':') continue;
        if (!exists(name.substr(0, hash))) continue;
        image = name.substr(0, hash);
        inside = name.substr(hash + 1);
        return true;
    }
    return false;
}

}  // namespace verbatra
