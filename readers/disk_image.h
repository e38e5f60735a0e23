// Macintosh disk images: the MFS and HFS volumes in a raw image, a
// DiskCopy 4.2 file, an Apple partition map or a hybrid ISO 9660/HFS CD,
// and the files they hold with their Finder info and both forks.
//
// Everything here only reads the image, through bounded reads: every
// extent is clipped to the image, every B-tree node is visited once, and a
// damaged part is a named outcome ("damage") with what could be read kept.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "pipeline/byte_file.h"

namespace verbatra {

// A run of bytes of the image.
struct Extent {
    long offset = 0;
    long length = 0;
};

struct VolumeFork {
    std::uint32_t length = 0;     // the logical length the volume records
    std::vector<Extent> extents;  // in order; they hold less than `length` when damaged
    long readable() const;        // the bytes the extents hold, at most `length`
};

struct VolumeFile {
    std::vector<std::string> folders;  // the folders above it, from the volume's root (Mac Roman)
    std::string name;                  // Mac Roman, as the volume keeps it
    std::uint8_t finder_info[32] = {};  // FInfo then FXInfo: type, creator, flags, ...
    // Seconds since 1904 on the Mac's clock; 0: not recorded.
    std::uint32_t created = 0, modified = 0;
    VolumeFork data, resource;
};

enum class VolumeKind { Mfs, Hfs };

struct Volume {
    VolumeKind kind = VolumeKind::Hfs;
    std::string name;   // Mac Roman
    long offset = 0;    // of the volume's first block in the image
    std::vector<VolumeFile> files;
    std::string damage;  // what of the volume could not be read, or empty
};

struct DiskImage {
    const char* container = "raw";  // "raw", "DiskCopy 4.2", "Apple partition map"
    std::vector<Volume> volumes;
    // What is wrong with the image as a whole (a DiskCopy checksum that
    // fails, a partition outside the image), or empty.
    std::string damage;
    // What the image holds that is not read (an HFS+ volume), or empty.
    std::string note;
    // Each file by its inside_path: (volume, file).
    std::unordered_map<std::string, std::pair<std::size_t, std::size_t>> index;
};

// How much of an image's start looks_like_disk_image wants.
inline constexpr std::size_t kDiskImageMarksWithin = 4096;

// True when the first bytes of a file are those of a volume we read: an
// MFS or HFS master directory block at 1024, a DiskCopy 4.2 header around
// one, or an Apple partition map. Cheap enough for every file of a walk.
bool looks_like_disk_image(const std::uint8_t* start, std::size_t have);

// Every volume of the image and its files. `check_sum` adds the DiskCopy
// data checksum (a read of the whole image).
DiskImage read_disk_image(ByteFile& image, bool check_sum);

// One volume whose first block is at `offset` of `image`, `length` bytes
// long; what cannot be read is in the volume's damage.
Volume read_hfs_volume(ByteFile& image, long offset, long length);
Volume read_mfs_volume(ByteFile& image, long offset, long length);

// The Finder's own files ("Desktop", "Desktop DB", "Desktop DF"): its
// database of icons and comments, never a document.
bool is_finder_database(const VolumeFile& file);

// The volume of `kind` at `offset` as far as its master directory block
// at 1024, whose start MFS and HFS share (mark, block count at 18, block
// size at 20, the first block at 28, the name at 36): `size` bytes of it
// into `mdb`, and the volume's name. False, with the volume's damage said,
// when it is not there or gives no block size.
bool read_master_block(ByteFile& image, long offset, VolumeKind kind, std::uint8_t* mdb, std::size_t size, Volume& v);

// Clips the extents of a fork to what lies in the volume and the image,
// up to the fork's length.
void clip_fork(VolumeFork& fork, long limit);

// The file as an AppleSingle file: real name, Finder info, resource fork,
// data fork. Reads only the fork's extents; false when `out` fails.
bool write_apple_single(ByteFile& image, const VolumeFile& file, ByteFile& out);

// Copies the bytes of `fork` to `out`; false when the image ends first or
// `out` fails.
bool copy_fork(ByteFile& image, const VolumeFork& fork, ByteFile& out);
// The first bytes of `fork`, at most `count`, into `buf`: how many.
std::size_t read_fork_start(ByteFile& image, const VolumeFork& fork, std::uint8_t* buf, std::size_t count);

// A Macintosh date (seconds since 1 January 1904, on the Mac's own clock,
// which kept local time with no zone) as ISO 8601; empty for 0.
std::string mac_date_iso(std::uint32_t seconds);

// A Mac Roman name in UTF-8, byte for byte of meaning.
std::string mac_name_utf8(const std::string& mac);

// A Mac Roman name as a name the host can hold: UTF-8, with '/', control
// characters (and on Windows the characters it forbids) as '_', and "."
// and ".." made names of their own.
std::string host_safe_name(const std::string& mac);

// Where a file lies inside an image, as the user sees it and names it:
// ":Docs:Report" for an image of one volume, "2:Docs:Report" for the
// file in the second volume of several.
std::string inside_path(const DiskImage& image, std::size_t volume, const VolumeFile& file);

// The file at `inside` (as inside_path writes it), or null.
const VolumeFile* find_inside(const DiskImage& image, const std::string& inside);

// Splits "IMAGE#INSIDE" where INSIDE is as inside_path writes it and the
// text before the last such '#' that `exists` accepts names the image:
// false when `name` is no such path.
bool split_inside_path(const std::string& name, bool (*exists)(const std::string&), std::string& image,
                       std::string& inside);

}  // namespace verbatra
