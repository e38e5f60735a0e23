// A zip package written as it goes, for the formats that are one
// (OpenDocument, DOCX): entries one after the other, each deflated as its
// bytes come (or stored, as OpenDocument wants its "mimetype"), its sizes
// and checksum filled in behind it, then the central directory. Every
// entry has the same fixed time, so the same document gives the same
// bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <zlib.h>

#include "pipeline/byte_file.h"

namespace verbatra {

class ZipPackage {
public:
    explicit ZipPackage(ByteFile& out);
    ~ZipPackage();
    ZipPackage(const ZipPackage&) = delete;
    ZipPackage& operator=(const ZipPackage&) = delete;

    // A whole entry, stored as it is.
    void add_stored(const std::string& name, std::string_view data);
    // A deflated entry: begin, its bytes in any number of writes, end.
    void begin(const std::string& name);
    void write(std::string_view data);
    void end();
    // Writes the central directory; false when the package outgrew what
    // a zip file without its 64-bit extension holds (4 GB, 65,535 entries).
    bool finish();

private:
    struct Entry {
        std::string name;
        std::uint16_t method;
        std::uint32_t crc = 0;
        std::uint64_t compressed = 0, size = 0, offset = 0;
    };
    static void append_sums(std::string& s, const Entry& e);
    static void append_common(std::string& s, const Entry& e);
    void local_header(const Entry& e);
    void deflate_out(int flush);

    ByteFile& out_;
    std::vector<Entry> entries_;
    z_stream z_{};
    bool ready_ = false;      // z_ is set up
    bool deflating_ = false;  // an entry is open
    std::vector<std::uint8_t> buffer_;
    bool too_large_ = false;
};

}  // namespace verbatra
