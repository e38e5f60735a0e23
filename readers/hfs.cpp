// HFS volumes: the master directory block, the extents overflow B-tree and
// the catalog B-tree, read leaf by leaf along the leaf chain.
#include <algorithm>
#include <map>
#include <unordered_map>

#include "readers/disk_image.h"
#include "readers/source_bytes.h"

namespace verbatra {

namespace {

constexpr std::size_t kMdbSize = 162;
constexpr long kNodeSize = 512;
constexpr std::uint32_t kRootFolder = 2, kCatalogFile = 4;
constexpr std::uint8_t kLeafNode = 0xFF, kHeaderNode = 1;
constexpr std::uint8_t kFolderRecord = 1, kFileRecord = 2;
constexpr std::uint8_t kDataForkType = 0x00, kResourceForkType = 0xFF;
// A folder chain deeper than this is a loop.
constexpr int kMaxDepth = 256;

struct Geometry {
    long volume = 0, end = 0;  // the volume's bytes in the image
    long first_block = 0;      // of allocation block 0
    long block_size = 0;
    std::uint32_t blocks = 0;
};

// Three extent descriptors (start block, block count) as bytes of the image.
void add_extents(const Geometry& g, const std::uint8_t* rec, std::vector<Extent>& out) {
    for (int i = 0; i < 3; ++i) {
        const std::uint32_t start = be16(rec + 4 * i), count = be16(rec + 4 * i + 2);
        if (count == 0) continue;
        out.push_back({g.first_block + static_cast<long>(start) * g.block_size, static_cast<long>(count) * g.block_size});
    }
}

using OverflowKey = std::uint64_t;  // fork type, file number
OverflowKey overflow_key(std::uint8_t fork, std::uint32_t file) { return static_cast<OverflowKey>(fork) << 32 | file; }
// The extents of the overflow file, by their first block within the fork.
using Overflow = std::unordered_map<OverflowKey, std::map<std::uint16_t, std::vector<Extent>>>;

// A B-tree file's nodes, read through its extents.
class TreeFile {
public:
    TreeFile(ByteFile& image, std::vector<Extent> extents) : image_(image), extents_(std::move(extents)) {
        for (const Extent& e : extents_) nodes_ += e.length / kNodeSize;
    }
    std::uint32_t nodes() const { return static_cast<std::uint32_t>(std::min<long>(nodes_, 0xFFFFFFFF)); }
    bool node(std::uint32_t n, std::uint8_t (&buf)[kNodeSize]) {
        long at = static_cast<long>(n) * kNodeSize;
        for (const Extent& e : extents_) {
            if (at < e.length) {
                return at + kNodeSize <= e.length && image_.seek_to(e.offset + at) && read_exact(image_, buf, kNodeSize);
            }
            at -= e.length;
        }
        return false;
    }

private:
    ByteFile& image_;
    std::vector<Extent> extents_;
    long nodes_ = 0;
};

// The leaf records of a tree, in the order of the leaf chain; `visit`
// gets each record's bytes and their count. Returns what stopped the
// walk early, or empty.
template <typename Visit>
std::string for_each_leaf_record(TreeFile& tree, const char* what, Visit visit) {
    std::uint8_t node[kNodeSize];
    if (!tree.node(0, node) || node[8] != kHeaderNode) return std::string("the ") + what + " has no header node";
    const std::uint32_t first_leaf = be32(node + 14 + 10);
    if (be16(node + 14 + 18) != kNodeSize) return std::string("the ") + what + " has nodes of another size";
    std::vector<bool> seen(tree.nodes());
    for (std::uint32_t n = first_leaf; n != 0;) {
        if (n >= seen.size()) return std::string("the ") + what + " names a node outside it";
        if (seen[n]) return std::string("the ") + what + " has a loop in its leaves";
        seen[n] = true;
        if (!tree.node(n, node)) return std::string("the ") + what + " lies past the end of the image";
        if (node[8] != kLeafNode) return std::string("the ") + what + " has a leaf that is not one";
        // The offsets table cannot reach into the node descriptor.
        const unsigned records = std::min<unsigned>(be16(node + 10), (kNodeSize - 14) / 2 - 1);
        for (unsigned i = 0; i < records; ++i) {
            const unsigned at = be16(node + kNodeSize - 2 * (i + 1));
            const unsigned end = be16(node + kNodeSize - 2 * (i + 2));
            // Records lie between the descriptor and the offsets, in order.
            const unsigned limit = kNodeSize - 2 * (records + 1);
            if (at < 14 || end <= at || end > limit) break;
            visit(node + at, end - at);
        }
        n = be32(node);
    }
    return {};
}

// A catalog or extents record's data follows its key, at an even offset.
std::size_t data_start(const std::uint8_t* rec) { return (static_cast<std::size_t>(rec[0]) + 2) & ~std::size_t{1}; }

struct Folder {
    std::uint32_t parent = 0;
    std::string name;
};

}  // namespace

Volume read_hfs_volume(ByteFile& image, long offset, long length) {
    Volume v;
    std::uint8_t mdb[kMdbSize];
    if (!read_master_block(image, offset, VolumeKind::Hfs, mdb, sizeof mdb, v)) return v;
    Geometry g;
    g.volume = offset;
    g.end = std::min(image.size(), offset + length);
    g.block_size = static_cast<long>(be32(mdb + 20));
    g.blocks = be16(mdb + 18);
    g.first_block = offset + static_cast<long>(be16(mdb + 28)) * 512;
    if (be16(mdb + 124) == 0x482B) {
        v.damage = "an HFS+ volume inside an HFS wrapper, which is not read";
        return v;
    }
    const long volume_end = std::min(g.end, g.first_block + static_cast<long>(g.blocks) * g.block_size);
    auto fork_of = [&](std::uint32_t length_field, const std::uint8_t* extents) {
        VolumeFork f;
        f.length = length_field;
        add_extents(g, extents, f.extents);
        return f;
    };

    // The extents overflow file first: the catalog may continue in it.
    VolumeFork extents_fork = fork_of(be32(mdb + 130), mdb + 134);
    clip_fork(extents_fork, volume_end);
    Overflow overflow;
    {
        TreeFile tree(image, extents_fork.extents);
        const std::string why = for_each_leaf_record(tree, "extents file", [&](const std::uint8_t* rec, std::size_t size) {
            if (rec[0] < 7 || size < data_start(rec) + 12) return;
            const std::uint8_t* data = rec + data_start(rec);
            std::vector<Extent>& list = overflow[overflow_key(rec[1], be32(rec + 2))][be16(rec + 6)];
            list.clear();
            add_extents(g, data, list);
        });
        // An empty overflow file is common and no damage.
        if (!why.empty() && extents_fork.length != 0 && v.damage.empty()) v.damage = why;
    }
    auto complete = [&](VolumeFork& f, std::uint8_t type, std::uint32_t file) {
        const auto more = overflow.find(overflow_key(type, file));
        if (more != overflow.end()) {
            for (const auto& [start, list] : more->second) f.extents.insert(f.extents.end(), list.begin(), list.end());
        }
        clip_fork(f, volume_end);
    };

    VolumeFork catalog = fork_of(be32(mdb + 146), mdb + 150);
    complete(catalog, kDataForkType, kCatalogFile);
    std::unordered_map<std::uint32_t, Folder> folders;
    struct Found {
        std::uint32_t parent;
        VolumeFile file;
    };
    std::vector<Found> found;
    TreeFile tree(image, catalog.extents);
    const std::string why = for_each_leaf_record(tree, "catalog", [&](const std::uint8_t* rec, std::size_t size) {
        if (rec[0] < 6 || size < data_start(rec) + 2) return;
        const std::uint32_t parent = be32(rec + 2);
        std::string name(reinterpret_cast<const char*>(rec + 7), std::min<std::size_t>(rec[6], std::min<std::size_t>(31, rec[0] - 6u)));
        const std::uint8_t* data = rec + data_start(rec);
        const std::size_t left = size - data_start(rec);
        if (data[0] == kFolderRecord && left >= 70) {
            folders[be32(data + 6)] = Folder{parent, std::move(name)};
        } else if (data[0] == kFileRecord && left >= 102) {
            Found f{parent, {}};
            f.file.name = std::move(name);
            std::copy(data + 4, data + 20, f.file.finder_info);
            std::copy(data + 56, data + 72, f.file.finder_info + 16);
            f.file.created = be32(data + 44);
            f.file.modified = be32(data + 48);
            const std::uint32_t number = be32(data + 20);
            f.file.data = fork_of(be32(data + 26), data + 74);
            f.file.resource = fork_of(be32(data + 36), data + 86);
            complete(f.file.data, kDataForkType, number);
            complete(f.file.resource, kResourceForkType, number);
            found.push_back(std::move(f));
        }
    });
    if (!why.empty() && v.damage.empty()) v.damage = why;

    for (Found& f : found) {
        std::vector<std::string> path;
        std::uint32_t at = f.parent;
        int depth = 0;
        for (; at != kRootFolder && depth < kMaxDepth; ++depth) {
            const auto up = folders.find(at);
            if (up == folders.end()) break;
            path.push_back(up->second.name);
            at = up->second.parent;
        }
        if (at != kRootFolder) {
            // Its folder is lost or loops: the file is still read, at the root.
            if (v.damage.empty()) v.damage = "a file's folder is not in the catalog";
            path.clear();
        }
        std::reverse(path.begin(), path.end());
        f.file.folders = std::move(path);
        v.files.push_back(std::move(f.file));
    }
    return v;
}

}  // namespace verbatra
