// Macintosh volumes built byte by byte for the tests: MFS floppies (which
// no tool of today writes) and DiskCopy 4.2 copies of any volume.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "support.h"

namespace verbatra::test {

// A document as the Mac kept it.
struct MacFile {
    std::string name;  // Mac Roman
    std::string data, rsrc;
    const char* type_creator;
};


// The 12-bit link of allocation block n in an MFS block map: three bytes
// hold two links.
inline void set_mfs_link(std::string& volume, unsigned n, unsigned link) {
    const std::size_t i = n - 2, at = 1024 + 64 + i * 3 / 2;
    if (i % 2 == 0) {
        volume[at] = static_cast<char>(link >> 4);
        volume[at + 1] = static_cast<char>((volume[at + 1] & 0x0F) | (link & 0x0F) << 4);
    } else {
        volume[at] = static_cast<char>((volume[at] & 0xF0) | (link >> 8));
        volume[at + 1] = static_cast<char>(link & 0xFF);
    }
}

// An MFS floppy of 400 KB: each file's blocks interleaved with the next
// one's, so that only the block map's links put them in order.
inline std::string mfs_floppy(const std::vector<MacFile>& files) {
    constexpr long kAlloc = 1024, kFirst = 16 * 512, kBlocks = 391;
    std::string volume(800 * 512, '\0');
    std::vector<unsigned> map(kBlocks + 2, 0);
    std::string dir;
    unsigned next_free = 2;
    std::vector<std::vector<unsigned>> chains;
    for (const MacFile& f : files) {
        for (const std::string* fork : {&f.data, &f.rsrc}) {
            const unsigned count = static_cast<unsigned>((fork->size() + kAlloc - 1) / kAlloc);
            std::vector<unsigned> chain;
            for (unsigned i = 0; i < count; ++i) chain.push_back(next_free + 2 * i);
            next_free += count > 0 ? 1 : 0;
            if (count > 0) next_free = std::max(next_free, chain.back() + 1);
            for (std::size_t i = 0; i < chain.size(); ++i) {
                map[chain[i]] = i + 1 < chain.size() ? chain[i + 1] : 1;
                volume.replace(static_cast<std::size_t>(kFirst + (chain[i] - 2) * kAlloc),
                               std::min<std::size_t>(kAlloc, fork->size() - i * kAlloc), fork->substr(i * kAlloc, kAlloc));
            }
            chains.push_back(chain);
        }
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        const MacFile& f = files[i];
        const auto& data = chains[2 * i];
        const auto& rsrc = chains[2 * i + 1];
        std::string e = std::string("\x80\0", 2) + std::string(f.type_creator, 8) + std::string(8, '\0') +
                        be32(static_cast<long>(i + 1)) + be16(data.empty() ? 0 : data[0]) +
                        be32(static_cast<long>(f.data.size())) + be32(static_cast<long>(data.size()) * kAlloc) +
                        be16(rsrc.empty() ? 0 : rsrc[0]) + be32(static_cast<long>(f.rsrc.size())) +
                        be32(static_cast<long>(rsrc.size()) * kAlloc) + std::string(8, '\0') +
                        static_cast<char>(f.name.size()) + f.name;
        if (e.size() % 2) e += '\0';
        dir += e;
    }
    volume.replace(4 * 512, dir.size(), dir);
    std::string mdb = be16(0xD2D7) + std::string(10, '\0') + be16(static_cast<int>(files.size())) + be16(4) + be16(12) +
                      be16(kBlocks) + be32(kAlloc) + be32(8192) + be16(16) + be32(100) + be16(0) + "\x04" "Olde";
    mdb.resize(64, '\0');
    volume.replace(1024, mdb.size(), mdb);
    for (unsigned n = 2; n < kBlocks + 2; ++n) set_mfs_link(volume, n, map[n]);
    return volume;
}

// A DiskCopy 4.2 file of `volume`: the 84-byte header, then the image.
inline std::string diskcopy(const std::string& volume, int checksum_error = 0) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 1 < volume.size(); i += 2) {
        sum += static_cast<std::uint8_t>(volume[i]) << 8 | static_cast<std::uint8_t>(volume[i + 1]);
        sum = sum >> 1 | sum << 31;
    }
    std::string h = std::string("\x06Rescue") + std::string(57, '\0');
    h += be32(static_cast<long>(volume.size())) + be32(0) + be32(static_cast<long>(sum + checksum_error)) + be32(0) +
         std::string(volume.size() > 800 * 1024 ? "\x03\x22" : "\x00\x12", 2) + be16(0x0100);
    return h + volume;
}

}  // namespace verbatra::test
