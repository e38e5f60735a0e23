// Where the data fork, the resource fork and the Finder's type and creator
// of a Macintosh file lie, in the wrappings files come in from Macintosh
// archives: MacBinary, AppleSingle, AppleDouble (the resource fork in a
// sidecar "._NAME" beside the data fork), or a bare data fork. Every span
// found lies inside the file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pipeline/byte_file.h"

namespace verbatra {

enum class Wrapping { Bare, MacBinary, AppleSingle, AppleDouble };

// The layout of AppleSingle and AppleDouble, for those that read it and
// the one that writes it: the header (magic, version, 16 bytes, the entry
// count), then 12-byte entries of an id, an offset and a length.
namespace apple_file {
inline constexpr std::uint8_t kSingleMagic[4] = {0x00, 0x05, 0x16, 0x00};
inline constexpr std::uint8_t kDoubleMagic[4] = {0x00, 0x05, 0x16, 0x07};
inline constexpr std::uint32_t kVersion2 = 0x00020000;
inline constexpr std::size_t kHeader = 26, kEntry = 12;
inline constexpr std::uint32_t kDataFork = 1, kResourceFork = 2, kRealName = 3, kFileDates = 8, kFinderInfo = 9;
// A date the file dates entry does not know.
inline constexpr std::uint32_t kUnknownDate = 0x80000000u;
}  // namespace apple_file

struct ForkSpan {
    long offset = 0;
    long length = 0;  // 0: the file has no such fork
};

struct MacForks {
    Wrapping wrapping = Wrapping::Bare;
    ForkSpan data, resource;  // a bare file is all data fork
    bool have_finder_info = false;
    // MacBinary whose header CRC holds (MacBinary II and III), or whose
    // unused bytes are zero and whose forks fill the file exactly
    // (MacBinary I): a bare document is never taken for one.
    bool certain = false;
    char type[4] = {}, creator[4] = {};
    // The data fork's length as the header gives it, where the file ends
    // before it (a file cut short): `data` is then what is left of it.
    long promised_data = -1;
    long promised_resource = -1;  // the same for the resource fork
    // The dates the wrapping records (MacBinary's header, AppleSingle's
    // file dates), seconds since 1970 with the Mac's clock taken for UTC;
    // INT64_MIN where it records none.
    std::int64_t created = INT64_MIN, modified = INT64_MIN;
    bool creator_is(const char* code) const;
};

// Recognises the wrapping of `file` by its own marks: MacBinary by the zero
// bytes 0, 74 and 82, a name of 1 to 63 bytes and a data fork that fits the
// file; AppleSingle and AppleDouble by their magic numbers. An entry that
// does not lie inside the file is left out.
MacForks find_forks(ByteFile& file);

// The AppleDouble sidecar of `path`: "._NAME" in the same folder.
std::string sidecar_name(const std::string& path);

// The bytes of `span` of `file`; fewer when the file ends first.
std::vector<std::uint8_t> read_span(ByteFile& file, ForkSpan span);

// The data of every resource of type `type` in the resource fork `fork`, in
// the order of the map, each once however many references name it. Every
// offset and count is checked against the fork: a damaged map gives fewer
// resources, never bytes from outside it.
std::vector<std::vector<std::uint8_t>> resources_of_type(const std::vector<std::uint8_t>& fork, const char* type);

}  // namespace verbatra
