#include "writers/zip_package.h"

#include <limits>

namespace verbatra {

namespace {

constexpr std::uint32_t kLocalSignature = 0x04034B50, kCentralSignature = 0x02014B50, kEndSignature = 0x06054B50;
constexpr std::uint16_t kVersion = 20;  // 2.0: deflate
constexpr std::uint16_t kStored = 0, kDeflated = 8;
constexpr std::uint16_t kTime = 0, kDate = (2000 - 1980) << 9 | 1 << 5 | 1;  // 2000-01-01 00:00
constexpr std::size_t kBufferSize = 1 << 16;
// Deflate's fastest level: XML this repetitive still shrinks about ten
// times, and the deflate stays a small part of a conversion.
constexpr int kLevel = Z_BEST_SPEED;

void le16(std::string& s, std::uint32_t v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>((v >> 8) & 0xFF);
}
void le32(std::string& s, std::uint32_t v) {
    le16(s, v & 0xFFFF);
    le16(s, v >> 16);
}

}  // namespace

// The checksum and the two sizes, as both headers and the patch behind a
// deflated entry write them.
void ZipPackage::append_sums(std::string& s, const Entry& e) {
    le32(s, e.crc);
    le32(s, static_cast<std::uint32_t>(e.compressed));
    le32(s, static_cast<std::uint32_t>(e.size));
}

// What the local header and the directory entry share, from the version
// needed to the name's length.
void ZipPackage::append_common(std::string& s, const Entry& e) {
    le16(s, kVersion);
    le16(s, 0);  // flags: sizes in the header
    le16(s, e.method);
    le16(s, kTime);
    le16(s, kDate);
    append_sums(s, e);
    le16(s, static_cast<std::uint32_t>(e.name.size()));
}

ZipPackage::ZipPackage(ByteFile& out) : out_(out), buffer_(kBufferSize) {}

ZipPackage::~ZipPackage() {
    if (ready_) deflateEnd(&z_);
}

void ZipPackage::local_header(const Entry& e) {
    std::string h;
    le32(h, kLocalSignature);
    append_common(h, e);
    le16(h, 0);  // no extra field
    h += e.name;
    out_.write(h.data(), h.size());
}

void ZipPackage::add_stored(const std::string& name, std::string_view data) {
    Entry e{name, kStored};
    e.offset = static_cast<std::uint64_t>(out_.tell());
    e.crc = static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
    e.compressed = e.size = data.size();
    local_header(e);
    out_.write(data.data(), data.size());
    entries_.push_back(std::move(e));
}

void ZipPackage::begin(const std::string& name) {
    Entry e{name, kDeflated};
    e.offset = static_cast<std::uint64_t>(out_.tell());
    local_header(e);  // sizes and checksum follow at end()
    entries_.push_back(std::move(e));
    // One deflate state serves every entry: setting it up costs more than
    // a small entry's whole deflate.
    if (ready_) {
        deflateReset(&z_);
    } else {
        z_ = z_stream{};
        ready_ = deflateInit2(&z_, kLevel, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) == Z_OK;
    }
    deflating_ = ready_;
}

void ZipPackage::deflate_out(int flush) {
    Entry& e = entries_.back();
    do {
        z_.next_out = buffer_.data();
        z_.avail_out = static_cast<uInt>(buffer_.size());
        deflate(&z_, flush);
        const std::size_t n = buffer_.size() - z_.avail_out;
        out_.write(buffer_.data(), n);
        e.compressed += n;
    } while (z_.avail_out == 0);
}

void ZipPackage::write(std::string_view data) {
    if (!deflating_ || data.empty()) return;
    Entry& e = entries_.back();
    // zlib counts in 32 bits: long data goes in pieces.
    while (!data.empty()) {
        const std::size_t n = std::min<std::size_t>(data.size(), std::numeric_limits<uInt>::max() / 2);
        e.crc = static_cast<std::uint32_t>(crc32(e.crc, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(n)));
        e.size += n;
        z_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
        z_.avail_in = static_cast<uInt>(n);
        deflate_out(Z_NO_FLUSH);
        data.remove_prefix(n);
    }
}

void ZipPackage::end() {
    if (!deflating_) return;
    z_.next_in = nullptr;
    z_.avail_in = 0;
    deflate_out(Z_FINISH);
    deflating_ = false;
    const Entry& e = entries_.back();
    if (e.size > 0xFFFFFFFFu || e.compressed > 0xFFFFFFFFu) too_large_ = true;
    const long end = out_.tell();
    std::string fields;
    append_sums(fields, e);
    out_.seek_to(static_cast<long>(e.offset) + 14);
    out_.write(fields.data(), fields.size());
    out_.seek_to(end);
}

bool ZipPackage::finish() {
    end();
    const std::uint64_t directory = static_cast<std::uint64_t>(out_.tell());
    std::string d;
    for (const Entry& e : entries_) {
        le32(d, kCentralSignature);
        le16(d, kVersion);  // made by: MS-DOS attributes, version 2.0
        append_common(d, e);
        le16(d, 0);  // extra
        le16(d, 0);  // comment
        le16(d, 0);  // disk
        le16(d, 0);  // internal attributes
        le32(d, 0);  // external attributes
        le32(d, static_cast<std::uint32_t>(e.offset));
        d += e.name;
    }
    const std::size_t directory_size = d.size();
    le32(d, kEndSignature);
    le16(d, 0);
    le16(d, 0);
    le16(d, static_cast<std::uint32_t>(entries_.size()));
    le16(d, static_cast<std::uint32_t>(entries_.size()));
    le32(d, static_cast<std::uint32_t>(directory_size));
    le32(d, static_cast<std::uint32_t>(directory));
    le16(d, 0);  // comment
    out_.write(d.data(), d.size());
    return !too_large_ && directory <= 0xFFFFFFFFu && entries_.size() <= 0xFFFF;
}

}  // namespace verbatra
