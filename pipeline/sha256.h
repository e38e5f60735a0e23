// SHA-256 (FIPS 180-4), the fixity archives record for every file before
// and after migration.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "pipeline/byte_file.h"

namespace verbatra {

class Sha256 {
public:
    Sha256();
    void add(const void* data, std::size_t count);
    // The digest in lower-case hexadecimal, as sha256sum prints it; ends
    // the hashing.
    std::string hex();

private:
    void block(const std::uint8_t* p);
    std::uint32_t state_[8];
    std::uint8_t buffer_[64];
    std::size_t buffered_ = 0;
    std::uint64_t length_ = 0;
};

// The digest of `count` bytes of `file` from `offset` (to its end when
// negative); empty when the file cannot be read that far.
std::string sha256_of(ByteFile& file, long offset = 0, long count = -1);

}  // namespace verbatra
