// The disk image readers on any bytes, one target a format: the MFS and
// HFS volume readers (readers/mfs.cpp, readers/hfs.cpp), and the containers
// of readers/disk_image.cpp with their DiskCopy 4.2 or partition map marks
// kept in place. Every extent lies in the image and within its fork, every
// file can be found by its path, and its AppleSingle form holds no more
// than its forks.
#include "fuzz/fuzz_support.h"
#include "pipeline/scratch.h"
#include "readers/disk_image.h"

using namespace verbatra;

namespace {

void check_volume(ByteFile& image, long size, const Volume& v, const DiskImage* whole) {
    fuzz::require(v.files.size() <= static_cast<std::size_t>(size) / 50 + 1, "more files than the image can hold");
    for (const VolumeFile& f : v.files) {
        for (const VolumeFork* fork : {&f.data, &f.resource}) {
            long total = 0;
            for (const Extent& e : fork->extents) {
                fuzz::require(e.offset >= 0 && e.length > 0 && e.offset + e.length <= size, "an extent outside the image");
                total += e.length;
            }
            fuzz::require(total <= static_cast<long>(fork->length), "extents beyond the fork's length");
        }
        ByteFile single = open_scratch("SINGLE.###", "w+b");
        write_apple_single(image, f, single);
        // The header, five entries (name, Finder info, dates, resource and
        // data forks) and their contents.
        const long most = 26 + 5 * 12 + static_cast<long>(f.name.size()) + 32 + 16 + f.data.readable() + f.resource.readable();
        fuzz::require(single.size() <= most, "an AppleSingle form larger than its forks");
        if (whole) fuzz::require(find_inside(*whole, inside_path(*whole, 0, f)) != nullptr || whole->volumes.size() > 1,
                                 "a file its own path does not find");
        fuzz::require(!host_safe_name(f.name).empty(), "an empty host name");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
#if VERBATRA_FUZZ_VOLUME == 2
    if (bytes.size() < 84) return 0;
    bytes[0] = static_cast<char>(1 + static_cast<std::uint8_t>(bytes[0]) % 63);
    bytes[82] = 1;
    bytes[83] = 0;
#elif VERBATRA_FUZZ_VOLUME == 3
    if (bytes.size() < 1024) return 0;
    bytes[512] = 'P';
    bytes[513] = 'M';
#endif
    ByteFile image = open_scratch("VOLUME.###", "w+b");
    image.write(bytes.data(), bytes.size());
    image.flush();
    const long length = image.size();
#if VERBATRA_FUZZ_VOLUME == 0
    check_volume(image, length, read_mfs_volume(image, 0, length), nullptr);
#elif VERBATRA_FUZZ_VOLUME == 1
    check_volume(image, length, read_hfs_volume(image, 0, length), nullptr);
#else
    const DiskImage whole = read_disk_image(image, true);
    for (const Volume& v : whole.volumes) check_volume(image, length, v, &whole);
#endif
    image.close();
    clear_scratch_files();
    return 0;
}
