// The conversion of one file: the reader pass into a work file, then the
// writer pass into the target.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "pipeline/identification.h"
#include "pipeline/registry.h"
#include "readers/disk_image.h"
#include "readers/mac_forks.h"

namespace verbatra {

enum class Outcome {
    Converted,     // the target was written
    NotOfFormat,   // the reader refused the source; nothing written
    EmptySource,   // the source is empty; nothing written
    NotAvailable,  // the reader or writer is not built yet; nothing written
    TooLarge,      // the writer cannot hold the document; nothing written
    WriteFailed,   // the work file or target could not be written whole
    Unreadable,    // the source cannot be opened or read (reason says why)
    IsFolder,      // the name is a folder
    Unrecognised,  // no reader recognises the source (format detection)
    Sidecar,       // an AppleDouble resource fork, not a document
    DamagedWrapping,   // a wrapping (BinHex) whose checks fail (reason says why)
    AlreadyConverted,  // an earlier run converted it and its target is there
    // The document promised more than the file holds (cut short, a part
    // outside the file): what could be read is converted and the target
    // written; `damage` says what was lost.
    Damaged,
    NotRegular,    // a FIFO, a device, a socket: never opened as a source
    PcDocument,    // already a DOS, Windows or modern document (reason: its kind)
    Skipped,       // met in a walk and passed over (reason: the whole line)
};

// True for the outcomes that leave a target: Converted and Damaged.
inline bool has_target(Outcome o) { return o == Outcome::Converted || o == Outcome::Damaged; }

struct ConversionResult {
    Outcome outcome = Outcome::Converted;
    std::string target_name;  // the file written, when converted
    std::string note;         // what the reader let the user know, or empty
    std::string reason;       // the system's word on a failure, or empty
    std::string damage;       // what of a damaged document was lost
    int format = -1;          // the source format used, when one was
    std::uint64_t source_size = 0, target_size = 0;
    int pictures_kept = 0, pictures_dropped = 0;
    // What the target could not carry (pictures aside).
    Losses losses;
    // Fixity, SHA-256 in hexadecimal: the source file as it is stored (empty
    // for a file inside a disk image, which is stored as its forks), its
    // data fork and its resource fork (empty: it has none), the target.
    std::string source_sha256, data_sha256, resource_sha256, target_sha256;
    // When the conversion started and ended, UTC, ISO 8601.
    std::string started, ended;
    // What the source is, as --identify tells it (its format's version,
    // PUID, the evidence, the wrapping, signs that disagree).
    Identification identity;
    // A target written whole but not yet under its own name (see
    // prepare_conversion).
    std::string partial;
    // Where the copy of the source went (ConversionRequest::original).
    std::string original;
};

// What to convert and where the target goes.
struct ConversionRequest {
    std::string source;
    // The target's name before its extension is set: empty for beside
    // the source; in an output folder, the mirrored path there.
    std::string target_base;
    // For a file inside the disk image `source`: its path there, as
    // inside_path writes it; else empty.
    std::string inside = {};
    // The target takes the source's modification time, as cp -p gives it.
    bool keep_date = true;
    // Where a copy of the source goes beside its target (an archive's
    // transfer holds both), or empty: the file as it stands, or for a file
    // inside a disk image its AppleSingle form, with its forks and dates.
    std::string original = {};
    // The record wants what the target lost (ConversionResult::losses):
    // one more pass over the stream, made only for it.
    bool count_losses = false;
};

// The disk image the files of a batch come out of, read once for all of
// them: the last one asked for is kept, and the last image inside it.
class ImageShelf {
public:
    // The image `path`, open as `file`, read when it is not the one kept.
    const DiskImage& image(const std::string& path, ByteFile& file);
    // The file at `inside` of the image `path` (open as `file`), or null;
    // `holder` is the image it lies in: `file`, or, for a file of an image
    // inside the image ("A.img#:Disks:B.img#:Docs:Report"), that image as
    // the shelf keeps it.
    const VolumeFile* find(const std::string& path, ByteFile& file, const std::string& inside, ByteFile*& holder);
    // Of the file find() found last: its volume, and the image that holds it.
    const Volume* volume() const { return volume_; }
    const char* container() const { return container_; }

private:
    const Volume* volume_ = nullptr;
    const char* container_ = nullptr;
    std::string path_;
    long size_ = -1;
    DiskImage image_;
    std::string inner_at_;  // where the inner image kept lies, or empty
    ByteFile inner_file_;
    DiskImage inner_;
};

// The name a target of `request` takes when it is free: the source's name
// (or the target base) with the extension of `target`.
std::string intended_target_name(const ConversionRequest& request, const FormatEntry& target);

// Why a file was not converted, as the user is told: "not a MacWrite 4.6
// document", "empty file", ... Empty for a converted file.
std::string reason_not_converted(Outcome outcome, const FormatEntry& source, const FormatEntry& target);
std::string reason_not_converted(const ConversionResult& result, const FormatEntry* source, const FormatEntry& target);

// Converts `name` with the reader of `source` and the writer of `target`.
// The source is only ever read. On any outcome but Converted, and on a fatal
// stop, nothing of this conversion is left on disk.
ConversionResult convert_file(const std::string& name, const FormatEntry& source, const FormatEntry& target);

// The reader pass alone, as a conversion makes it: the stream the reader
// of `source` (null: the format recognised) makes of `name`, unwrapped as
// for a conversion, into `work`, rewound. Converted when the stream is
// whole (or Damaged's words are in `damage`); nothing else is written.
// A source as every reader takes it: the file itself, or, for a wrapped
// source, its data fork (or the whole wrapping, for a reader that looks
// for the resource fork itself), with what the wrapping tells of it.
struct Unwrapped {
    ByteFile decoded;    // a BinHex source, as AppleSingle
    ByteFile data_fork;  // the data fork of a wrapped source
    ByteFile* wrapped = nullptr;
    MacForks forks;
    bool is_wrapped = false;
};
struct OpenSource {
    ByteFile src;              // the file (for a file inside an image, its AppleSingle form)
    Unwrapped u;
    long size = 0;
    bool binhex = false;       // it came as BinHex
    VolumeFork data_inside;    // for a file inside an image: its data fork there
    std::string title;         // for a file inside an image: its Mac name
    // For a file inside an image: the volume it lies in ("HFS volume in
    // DiskCopy 4.2") and the volume format's PUID.
    std::string volume, volume_puid;
    std::string modified;  // and when the Mac last changed it (ISO 8601, no zone)
};
// Opens `name` (or the file `inside` the image `name`) as a conversion
// does and finds its wrapping, with its size and fixity in the result:
// Converted when it goes on to recognition. With `pc_check`, a document a
// PC program made is refused.
ConversionResult open_source(const std::string& name, const std::string& inside, ImageShelf* shelf, OpenSource& o,
                             bool pc_check);

// With `inside`, the file at that path inside the disk image `name`
// (read through `shelf`, or afresh), handed on as AppleSingle with its
// Finder info and both forks.
ConversionResult read_source(const std::string& name, const FormatEntry* source, Conversion& conversion,
                             ByteFile& work, const std::string& inside = {}, ImageShelf* shelf = nullptr);

// The same in steps, so that conversions can run side by side while
// targets still take their names in a fixed order, and many targets reach
// the disk with one sync. `source` null recognises each file's format. A
// wrapped source (MacBinary, AppleSingle, BinHex) converts as its data
// fork. Converted means the target is written whole under `partial`, a
// name of ours beside where it goes; discard_conversion removes it instead.
ConversionResult prepare_conversion(const ConversionRequest& request, const FormatEntry* source,
                                    const FormatEntry& target, ImageShelf* shelf = nullptr);
// Puts the prepared targets on the disk: one sync of their file system
// where the system has one, else file by file. A target that cannot be
// synced is not converted.
void sync_conversions(const std::vector<ConversionResult*>& results);
// The name the target takes: its own, or the next counter name when a
// file has that name (without regard to case) or `chosen` holds it (the
// names, folded, chosen for the targets before it that have not taken
// them yet).
void choose_target_name(ConversionResult& result, const std::unordered_set<std::string>& chosen = {});
// Gives the target the chosen name, never replacing a file: false when a
// file took the name meanwhile (choose again with make_unique_name). Any
// other failure removes the target and makes the file WriteFailed.
bool take_target_name(ConversionResult& result);
// All three for one file.
void publish_conversion(ConversionResult& result);
void discard_conversion(ConversionResult& result);

// A target is written under a name of ours in its folder and takes its own
// name only when whole.
inline constexpr const char* kPartialPrefix = ".verbatra-";
inline constexpr const char* kPartialSuffix = ".part";
std::string partial_name_for(const std::string& name);
struct PartialName {
    bool ours = false;  // a name of that form
    std::string host;
    unsigned long pid = 0;
};
PartialName parse_partial_name(const std::string& name);
// A name of ours left by a run of this machine that has ended (killed, or
// the machine stopped): safe to remove.
bool is_leftover_of_ended_run(const std::string& name);


}  // namespace verbatra
