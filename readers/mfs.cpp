// MFS volumes (the 400K floppies of 1984-86): the master directory block,
// its map of 12-bit allocation block links and the flat file directory.
// MFS folders are the Finder's own fiction, kept in its Desktop file: every
// file lies at the root.
#include <algorithm>

#include "readers/disk_image.h"
#include "readers/source_bytes.h"

namespace verbatra {

namespace {

constexpr std::size_t kMdbSize = 64;
constexpr long kBlock = 512;
constexpr std::size_t kEntryFixed = 51;  // an entry's bytes before its name
constexpr std::uint8_t kEntryUsed = 0x80;
constexpr unsigned kFirstBlock = 2, kLastLink = 1;

struct Map {
    std::vector<std::uint8_t> bytes;
    unsigned blocks = 0;
    // The link of allocation block n: the next block of its file, 1 for the
    // last, 0 for a free block.
    unsigned next(unsigned n) const {
        const std::size_t i = n - kFirstBlock, at = i * 3 / 2;
        if (at + 1 >= bytes.size()) return 0;
        return i % 2 == 0 ? (bytes[at] << 4 | bytes[at + 1] >> 4) : ((bytes[at] & 0x0F) << 8 | bytes[at + 1]);
    }
};

}  // namespace

Volume read_mfs_volume(ByteFile& image, long offset, long length) {
    Volume v;
    std::uint8_t mdb[kMdbSize];
    if (!read_master_block(image, offset, VolumeKind::Mfs, mdb, sizeof mdb, v)) return v;
    const unsigned dir_start = be16(mdb + 14), dir_blocks = be16(mdb + 16);
    const long block_size = static_cast<long>(be32(mdb + 20));
    const long first_block = offset + static_cast<long>(be16(mdb + 28)) * kBlock;
    Map map;
    map.blocks = be16(mdb + 18);
    const long limit = std::min(image.size(), offset + length);
    map.bytes.resize((map.blocks * 12 + 7) / 8);
    if (!read_exact(image, map.bytes.data(), map.bytes.size())) {
        v.damage = "the block map lies past the end of the image";
        return v;
    }

    auto fork_of = [&](unsigned start, std::uint32_t logical) {
        VolumeFork f;
        f.length = logical;
        long have = 0;
        std::vector<bool> seen(map.blocks + kFirstBlock);
        for (unsigned n = start; n >= kFirstBlock && have < static_cast<long>(logical);) {
            if (n >= seen.size() || seen[n]) {
                if (v.damage.empty()) v.damage = "a file's blocks link outside the volume or in a loop";
                break;
            }
            seen[n] = true;
            const long at = first_block + static_cast<long>(n - kFirstBlock) * block_size;
            if (!f.extents.empty() && f.extents.back().offset + f.extents.back().length == at) {
                f.extents.back().length += block_size;
            } else {
                f.extents.push_back({at, block_size});
            }
            have += block_size;
            const unsigned next = map.next(n);
            if (next == kLastLink) break;
            n = next;
        }
        clip_fork(f, limit);
        return f;
    };

    std::uint8_t block[kBlock];
    for (unsigned b = 0; b < dir_blocks; ++b) {
        if (!image.seek_to(offset + static_cast<long>(dir_start + b) * kBlock) || !read_exact(image, block, sizeof block)) {
            if (v.damage.empty()) v.damage = "the file directory lies past the end of the image";
            break;
        }
        for (std::size_t at = 0; at + kEntryFixed <= kBlock;) {
            const std::uint8_t* e = block + at;
            if (!(e[0] & kEntryUsed)) break;  // the rest of the block is unused
            const std::size_t name_length = e[50];
            if (at + kEntryFixed + name_length > kBlock) break;
            VolumeFile f;
            f.name.assign(reinterpret_cast<const char*>(e + 51), name_length);
            std::copy(e + 2, e + 18, f.finder_info);
            f.created = be32(e + 42);
            f.modified = be32(e + 46);
            f.data = fork_of(be16(e + 22), be32(e + 24));
            f.resource = fork_of(be16(e + 32), be32(e + 34));
            v.files.push_back(std::move(f));
            at += (kEntryFixed + name_length + 1) & ~std::size_t{1};
        }
    }
    return v;
}

}  // namespace verbatra
