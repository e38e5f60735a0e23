// Big-endian numbers of Macintosh files, and whole-record reads.
#pragma once

#include <cstddef>
#include <algorithm>
#include <array>
#include <cstdint>
#include <new>
#include <vector>

#include "pipeline/byte_file.h"
#include "pipeline/fatal.h"

namespace verbatra {

inline std::uint16_t be16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] << 8 | p[1]); }
inline std::int16_t be16s(const std::uint8_t* p) { return static_cast<std::int16_t>(be16(p)); }
inline std::uint32_t be32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

// CRC-16/XMODEM (polynomial 0x1021, starting at 0), as MacBinary II
// headers and BinHex files keep it.
inline constexpr std::array<std::uint16_t, 256> kCrc16Table = [] {
    std::array<std::uint16_t, 256> t{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned c = i << 8;
        for (int b = 0; b < 8; ++b) c = (c & 0x8000) ? (c << 1) ^ 0x1021 : c << 1;
        t[i] = static_cast<std::uint16_t>(c);
    }
    return t;
}();
inline std::uint16_t crc16_step(std::uint16_t crc, std::uint8_t byte) {
    return static_cast<std::uint16_t>(crc << 8) ^ kCrc16Table[(crc >> 8) ^ byte];
}
inline std::uint16_t crc16(const std::uint8_t* data, std::size_t count) {
    std::uint16_t crc = 0;
    for (std::size_t i = 0; i < count; ++i) crc = crc16_step(crc, data[i]);
    return crc;
}

// Reads exactly `count` bytes; false (with the rest of `data` untouched)
// when the file ends first.
inline bool read_exact(ByteFile& file, void* data, std::size_t count) { return file.read(data, count) == count; }

// The start of a document that may come wrapped in MacBinary: its first
// 512 bytes, where its data begins (128 when bytes 65 to 72 of the file are
// the given type and creator, a '?' matching any byte, else 0) and where it ends (the end of the
// file, or of the MacBinary data fork, which the resource fork follows).
struct DocumentStart {
    static constexpr std::size_t kHeaderSize = 512;
    std::uint8_t header[kHeaderSize] = {};
    std::size_t have = 0;  // header bytes the file holds
    long origin = 0;
    long end = 0;
};

inline DocumentStart read_document_start(ByteFile& file, const char* type_creator) {
    DocumentStart d;
    const long size = file.size();
    file.rewind();
    d.have = file.read(d.header, DocumentStart::kHeaderSize);
    bool wrapped = d.have >= 73;
    for (int i = 0; wrapped && i < 8; ++i) {
        wrapped = type_creator[i] == '?' || d.header[65 + i] == static_cast<std::uint8_t>(type_creator[i]);
    }
    d.end = size;
    if (!wrapped) return d;
    d.origin = 128;
    const long fork = static_cast<long>(be32(d.header + 83));
    if (d.origin + fork < size) d.end = d.origin + fork;
    file.seek_to(d.origin);
    std::fill(d.header, d.header + DocumentStart::kHeaderSize, 0);
    d.have = file.read(d.header, DocumentStart::kHeaderSize);
    return d;
}

// Reads the whole document that `start` found into `data`; false when the
// file holds less than it said. A document too large for memory stops the
// run, as every later conversion would fail too.
inline bool read_whole_document(ByteFile& file, const DocumentStart& start, std::vector<std::uint8_t>& data) {
    try {
        data.resize(static_cast<std::size_t>(start.end - start.origin));
    } catch (const std::bad_alloc&) {
        stop_with_message("");
    }
    file.seek_to(start.origin);
    return file.read(data.data(), data.size()) == data.size();
}

// The start of a data fork, for recognising its format without reading
// further: its first bytes (at most kSize) and the fork's whole size. The
// numbers read beyond what the fork holds are 0.
struct SourceStart {
    static constexpr std::size_t kSize = 4096;
    const std::uint8_t* bytes = nullptr;
    std::size_t have = 0;
    long size = 0;
    unsigned byte(std::size_t at) const { return at < have ? bytes[at] : 0; }
    unsigned u16(std::size_t at) const { return at + 2 <= have ? be16(bytes + at) : 0; }
    std::uint32_t u32(std::size_t at) const { return at + 4 <= have ? be32(bytes + at) : 0; }
};

}  // namespace verbatra
