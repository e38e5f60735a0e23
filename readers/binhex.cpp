// The text holds a leading line "(This file must be converted with BinHex
// 4.0)", then the data between two colons: six bits a character, line
// breaks anywhere. The decoded bytes are run-length coded (0x90 N repeats
// the byte before N-1 more times; 0x90 0 is a literal 0x90) and hold a
// header (name length, name, version, type, creator, flags, data length,
// resource length, CRC), the data fork and its CRC, the resource fork and
// its CRC. The CRCs are CRC-16/XMODEM (crc16_step).
#include "readers/binhex.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "readers/source_bytes.h"

namespace verbatra {

namespace {

constexpr char kMark[] = "(This file must be converted with BinHex";
constexpr char kAlphabet[] = "!\"#$%&'()*+,-012345689@ABCDEFGHIJKLMNPQRSTUVXYZ[`abcdefhijklmpqr";
constexpr std::size_t kSearched = 4096;  // where the mark line must start
static_assert(kSearched + sizeof kMark <= kBinHexMarkWithin);

// Character to six-bit value; 0x40 skips (line ends, blanks), 0xFF is not
// BinHex at all.
constexpr std::array<std::uint8_t, 256> make_values() {
    std::array<std::uint8_t, 256> v{};
    for (auto& x : v) x = 0xFF;
    for (std::uint8_t i = 0; i < 64; ++i) v[static_cast<std::uint8_t>(kAlphabet[i])] = i;
    v['\r'] = v['\n'] = v[' '] = v['\t'] = 0x40;
    return v;
}
constexpr std::array<std::uint8_t, 256> kValues = make_values();

// The decoded bytes, one at a time, through the six-bit and run-length
// codes.
class Decoder {
public:
    explicit Decoder(ByteFile& in) : in_(in) {}

    // Past the mark line to the colon that opens the data.
    bool find_start() {
        std::vector<char> seen;
        for (int c = in_.get(); c != ByteFile::kEnd; c = in_.get()) {
            if (seen.size() < kSearched + sizeof kMark) seen.push_back(static_cast<char>(c));
            if (!marked_) {
                if (seen.size() > kSearched + sizeof kMark) return false;
                const std::size_t n = sizeof kMark - 1;
                marked_ = seen.size() >= n && std::memcmp(seen.data() + seen.size() - n, kMark, n) == 0;
                continue;
            }
            if (c == ':') return true;
        }
        return false;
    }

    // The next byte; false at the end of the data or on a character that
    // is not BinHex.
    bool next(std::uint8_t& byte) {
        while (repeat_ == 0) {
            std::uint8_t b;
            if (!raw(b)) return false;
            if (b != 0x90) {
                last_ = b;
                have_last_ = true;
                repeat_ = 1;
                break;
            }
            std::uint8_t count;
            if (!raw(count)) return false;
            if (count == 0) {
                last_ = 0x90;
                have_last_ = true;
                repeat_ = 1;
            } else {
                if (!have_last_) return false;  // a run of no byte
                repeat_ = count - 1u;           // the byte itself came before
            }
        }
        --repeat_;
        byte = last_;
        crc(byte);
        return true;
    }

    bool read(std::uint8_t* data, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            if (!next(data[i])) return false;
        }
        return true;
    }

    void start_crc() { crc_ = 0; }
    // True when the CRC BinHex stores next is that of what was read since
    // start_crc().
    bool check_crc() {
        const std::uint16_t want = crc_;
        std::uint8_t stored[2];
        if (!read(stored, 2)) return false;
        return be16(stored) == want;
    }

private:
    void crc(std::uint8_t b) { crc_ = crc16_step(crc_, b); }

    bool raw(std::uint8_t& byte) {
        while (bits_ < 8) {
            int c = in_.get();
            if (c == ByteFile::kEnd || c == ':') return false;
            const std::uint8_t v = kValues[static_cast<std::uint8_t>(c)];
            if (v == 0x40) continue;
            if (v == 0xFF) return false;
            acc_ = (acc_ << 6) | v;
            bits_ += 6;
        }
        bits_ -= 8;
        byte = static_cast<std::uint8_t>(acc_ >> bits_);
        acc_ &= (1u << bits_) - 1;
        return true;
    }

    ByteFile& in_;
    bool marked_ = false;
    unsigned acc_ = 0;
    int bits_ = 0;
    std::uint8_t last_ = 0;
    bool have_last_ = false;
    unsigned repeat_ = 0;
    std::uint16_t crc_ = 0;
};

void put32(ByteFile& out, std::uint32_t v) {
    const std::uint8_t b[4] = {static_cast<std::uint8_t>(v >> 24), static_cast<std::uint8_t>(v >> 16),
                               static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)};
    out.write(b, 4);
}

// Copies one fork of `length` bytes and checks its CRC.
bool copy_fork(Decoder& d, std::uint32_t length, ByteFile& out) {
    d.start_crc();
    std::uint8_t block[4096];
    while (length > 0) {
        const std::size_t n = std::min<std::uint32_t>(length, sizeof block);
        if (!d.read(block, n)) return false;
        out.write(block, n);
        length -= static_cast<std::uint32_t>(n);
    }
    return d.check_crc();
}

}  // namespace

bool looks_like_binhex(const std::uint8_t* start, std::size_t size) {
    const std::size_t n = sizeof kMark - 1;
    const std::size_t last = std::min(size, kSearched + n);
    return std::search(start, start + last, kMark, kMark + n) != start + last;
}

std::string decode_binhex(ByteFile& in, ByteFile& out) {
    const long text_size = in.size();
    in.rewind();
    Decoder d(in);
    if (!d.find_start()) return "not a BinHex 4.0 file";
    const std::string damaged = "a damaged BinHex file";
    std::uint8_t name_length;
    if (!d.next(name_length) || name_length < 1 || name_length > 63) return damaged + " (header)";
    std::uint8_t header[63 + 1 + 4 + 4 + 2 + 4 + 4];
    if (!d.read(header, name_length + 19u)) return damaged + " (header)";
    const std::uint8_t* h = header + name_length + 1;  // past the name and the version byte
    const std::uint32_t data_length = be32(h + 10), resource_length = be32(h + 14);
    if (!d.check_crc()) return damaged + " (header CRC)";
    // Six bits a character and runs of at most 255 bytes for every two:
    // the forks cannot hold more than that, whatever the header says.
    const std::uint64_t bound = static_cast<std::uint64_t>(std::max<long>(text_size, 0)) * 3 / 4 * 128;
    if (static_cast<std::uint64_t>(data_length) + resource_length > bound) return damaged + " (fork lengths)";

    // AppleSingle: the header, three entries, the Finder info, the forks.
    constexpr std::uint8_t kMagic[8] = {0x00, 0x05, 0x16, 0x00, 0x00, 0x02, 0x00, 0x00};
    constexpr std::uint32_t kFinderInfo = 9, kDataFork = 1, kResourceFork = 2, kInfoLength = 16;
    const std::uint32_t info_at = 26 + 3 * 12, data_at = info_at + kInfoLength, resource_at = data_at + data_length;
    out.write(kMagic, sizeof kMagic);
    const std::uint8_t filler[16] = {};
    out.write(filler, 16);
    out.put(0);
    out.put(3);
    for (const auto& [id, at, length] : {std::array<std::uint32_t, 3>{kFinderInfo, info_at, kInfoLength},
                                         std::array<std::uint32_t, 3>{kDataFork, data_at, data_length},
                                         std::array<std::uint32_t, 3>{kResourceFork, resource_at, resource_length}}) {
        put32(out, id);
        put32(out, at);
        put32(out, length);
    }
    out.write(h, 8);       // type and creator
    out.write(h + 8, 2);   // Finder flags
    out.write(filler, 6);  // location and folder
    if (!copy_fork(d, data_length, out)) return damaged + " (data fork)";
    if (!copy_fork(d, resource_length, out)) return damaged + " (resource fork)";
    return {};
}

}  // namespace verbatra
