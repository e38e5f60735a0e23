#include "pipeline/driver.h"

#include <cerrno>
#include <cstring>
#include <algorithm>
#include <utility>

#include "pipeline/detect.h"
#include "pipeline/fatal.h"
#include "pipeline/identify.h"
#include "pipeline/file_utils.h"
#include "pipeline/scratch.h"
#include "pipeline/sha256.h"
#include "platform/platform.h"
#include "readers/binhex.h"
#include "readers/mac_forks.h"

namespace verbatra {

namespace {

// Removes whatever the conversion in progress has put on disk unless the
// conversion got through; it also runs while a fatal stop unwinds.
class LeftoverGuard {
public:
    ~LeftoverGuard() {
        if (!target_.empty()) platform::remove_file(target_);
        clear_scratch_files();
    }
    void target(const std::string& name) { target_ = name; }
    void keep_target() { target_.clear(); }

private:
    std::string target_;
};

Outcome outcome_of(Status result) {
    switch (result) {
        case kConverted: return Outcome::Converted;
        case kEmptyInput: return Outcome::EmptySource;
        case kTooLarge: return Outcome::TooLarge;
        default: return Outcome::NotOfFormat;
    }
}

}  // namespace

namespace {
// The machine's name as it stands in a name of ours: one field, no path.
// Asked of the system once: every target and every leftover looked at
// needs it.
const std::string& host_field() {
    static const std::string host = [] {
        std::string h = platform::host_name();
        for (char& c : h) {
            if (c == '/' || c == '\\' || c == ':' || c == '-') c = '_';
        }
        return h;
    }();
    return host;
}
}  // namespace

// ".verbatra-HOST-PROCESS-N.part": the machine and process tell a file of a
// run that is gone from one of a run still going.
std::string partial_name_for(const std::string& name) {
    static unsigned counter = 0;
    const std::string& host = host_field();
    const std::string dir = name.substr(0, platform::file_name_start(name));
    return dir + kPartialPrefix + host + "-" + std::to_string(platform::process_id()) + "-" +
           std::to_string(++counter) + kPartialSuffix;
}

PartialName parse_partial_name(const std::string& name) {
    PartialName p;
    const std::size_t prefix = std::strlen(kPartialPrefix), suffix = std::strlen(kPartialSuffix);
    if (name.size() <= prefix + suffix || name.compare(0, prefix, kPartialPrefix) != 0 ||
        name.compare(name.size() - suffix, suffix, kPartialSuffix) != 0) {
        return p;
    }
    p.ours = true;
    const std::string middle = name.substr(prefix, name.size() - prefix - suffix);
    const std::size_t last = middle.rfind('-');
    const std::size_t before = last == std::string::npos || last == 0 ? std::string::npos : middle.rfind('-', last - 1);
    if (before == std::string::npos) return p;
    p.host = middle.substr(0, before);
    const std::string pid = middle.substr(before + 1, last - before - 1);
    if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos || pid.size() > 10) return p;
    p.pid = std::stoul(pid);
    return p;
}

bool is_leftover_of_ended_run(const std::string& name) {
    const PartialName p = parse_partial_name(name);
    return p.ours && p.pid != 0 && p.host == host_field() && p.pid != platform::process_id() && !platform::process_alive(p.pid);
}

std::string reason_not_converted(Outcome outcome, const FormatEntry& source, const FormatEntry& target) {
    ConversionResult r;
    r.outcome = outcome;
    return reason_not_converted(r, &source, target);
}

std::string reason_not_converted(const ConversionResult& r, const FormatEntry* source, const FormatEntry& target) {
    const FormatEntry* used = r.format >= 0 && r.format < kSourceCount ? &source_formats[r.format] : source;
    switch (r.outcome) {
        case Outcome::Converted: return {};
        case Outcome::NotOfFormat:
            return used ? std::string("not a ") + used->display_name + " document" : "not a document of a known format";
        case Outcome::EmptySource: return "empty file";
        case Outcome::NotAvailable:
            return used && !used->reader ? std::string("the ") + used->display_name + " reader is not available yet"
                                         : std::string("the ") + target.display_name + " writer is not available yet";
        case Outcome::TooLarge: return std::string("too large for ") + target.display_name + "; not converted";
        case Outcome::WriteFailed:
            return r.reason.empty() ? "could not be read or written whole (disk full?); not converted"
                                    : r.reason + "; not converted";
        case Outcome::Unreadable: return "cannot be read (" + r.reason + ")";
        case Outcome::IsFolder: return "is a folder; skipped (use --recursive to convert what it holds)";
        case Outcome::Unrecognised: return "not a document of a known format";
        case Outcome::Sidecar: return "an AppleDouble resource fork, not a document; skipped";
        case Outcome::DamagedWrapping: return r.reason + "; not converted";
        case Outcome::AlreadyConverted: return "already converted";
        case Outcome::Damaged: return "damaged: " + r.damage + "; the readable part converted";
        case Outcome::NotRegular: return "not a regular file; skipped";
        case Outcome::PcDocument: return "already a PC document (" + r.reason + "); skipped";
        case Outcome::Skipped: return r.reason;
    }
    return {};
}

namespace {


// Why the source failed: the system's word for the last error.
std::string system_reason() { return std::strerror(errno); }

// A full disk, a quota reached or a read-only file system fails every
// later file the same way: the run stops once, naming the folder, and the
// unwinding removes what this file had written.
void stop_if_doomed(int err, const std::string& folder, bool beside_sources = false) {
    bool doomed = err == ENOSPC || err == EROFS;
#ifdef EDQUOT
    doomed = doomed || err == EDQUOT;
#endif
    if (!doomed) return;
    const std::string where = folder.empty() ? std::string("the temporary folder") : folder;
    if (err == EROFS && beside_sources) {
        stop_with_message("cannot write beside the sources in " + where + " (" + std::strerror(err) +
                          "); use -o DIR");
    }
    stop_with_message("cannot write in " + where + " (" + std::strerror(err) + ")");
}

// The folder part of a path, without its last separator; empty for a bare name.
std::string folder_of(const std::string& path) {
    const std::size_t start = platform::file_name_start(path);
    return start == 0 ? std::string() : path.substr(0, start - 1);
}

}  // namespace

const DiskImage& ImageShelf::image(const std::string& path, ByteFile& file) {
    const long size = file.size();
    if (path != path_ || size != size_) {
        path_ = path;
        size_ = size;
        image_ = read_disk_image(file, false);
        inner_at_.clear();
    }
    return image_;
}

const VolumeFile* ImageShelf::find(const std::string& path, ByteFile& file, const std::string& inside,
                                   ByteFile*& holder) {
    const DiskImage& outer = image(path, file);
    holder = &file;
    auto found = [&](const DiskImage& in, const std::string& at) -> const VolumeFile* {
        const auto it = in.index.find(at);
        if (it == in.index.end()) return nullptr;
        volume_ = &in.volumes[it->second.first];
        container_ = in.container;
        return &volume_->files[it->second.second];
    };
    if (const VolumeFile* f = found(outer, inside)) return f;
    // One image deep: the part before a '#' names the inner image's file.
    for (std::size_t hash = inside.find('#'); hash != std::string::npos; hash = inside.find('#', hash + 1)) {
        const std::string at = inside.substr(0, hash);
        const VolumeFile* carrier = find_inside(outer, at);
        if (!carrier) continue;
        if (at != inner_at_) {
            inner_at_.clear();
            inner_file_ = ByteFile::in_memory(scratch_path, "INNER.###");
            if (!copy_fork(file, carrier->data, inner_file_)) return nullptr;
            inner_ = read_disk_image(inner_file_, false);
            inner_at_ = at;
        }
        holder = &inner_file_;
        return found(inner_, inside.substr(hash + 1));
    }
    return nullptr;
}

ConversionResult open_source(const std::string& name, const std::string& inside, ImageShelf* shelf, OpenSource& o,
                             bool pc_check) {
    ConversionResult result;
    auto fail = [&](Outcome outcome, std::string reason = {}) {
        result.outcome = outcome;
        result.reason = std::move(reason);
        return result;
    };

    // Only regular files are sources: a FIFO would block the run for good
    // and a device never end. Looked at first, and again on the handle, in
    // case something else took the name in between.
    switch (platform::file_kind(name)) {
        case platform::FileKind::Directory: return fail(Outcome::IsFolder);
        case platform::FileKind::Other: return fail(Outcome::NotRegular);
        default: break;  // a missing file: the open says why
    }
    // The source is only read, so a write-protected or archived file converts.
    ByteFile& src = o.src;
    src = ByteFile::open(name, "rb");
    if (!src.is_open()) return fail(Outcome::Unreadable, system_reason());
    if (!platform::is_regular_file(src.descriptor())) return fail(Outcome::NotRegular);
    long& size = o.size;
    size = src.size();
    if (size < 0) return fail(Outcome::Unreadable, system_reason());
    result.source_size = static_cast<std::uint64_t>(size);
    if (inside.empty()) result.source_sha256 = sha256_of(src);

    // A file inside a disk image goes on as AppleSingle, as a loose copy
    // with its forks and Finder info would.
    if (!inside.empty()) {
        ImageShelf own;
        ByteFile* holder = nullptr;
        const VolumeFile* file = (shelf ? *shelf : own).find(name, src, inside, holder);
        if (!file) return fail(Outcome::Unreadable, "no such file in the image");
        ByteFile single = open_scratch("IMAGE.###", "w+b");
        if (!write_apple_single(*holder, *file, single)) {
            if (src.failed() || holder->failed()) return fail(Outcome::Unreadable, system_reason());
            stop_if_doomed(single.error_number(), {});
            return fail(Outcome::WriteFailed);
        }
        o.data_inside = file->data;
        o.title = mac_name_utf8(file->name);
        o.modified = mac_date_iso(file->modified);
        const ImageShelf& where = shelf ? *shelf : own;
        const bool hfs = where.volume()->kind == VolumeKind::Hfs;
        o.volume = std::string(hfs ? "HFS volume" : "MFS volume") +
                   (std::strcmp(where.container(), "raw") == 0 ? "" : std::string(" in ") + where.container());
        o.volume_puid = hfs ? "fmt/1105" : "fmt/2068";
        result.source_size = static_cast<std::uint64_t>(file->data.length) + file->resource.length;
        src.close();
        src = std::move(single);
        size = src.size();
    }
    // Emptiness is decided here, once, the same for every reader.
    if (size == 0) return fail(Outcome::EmptySource);

    // A wrapped file converts as the file it wraps.
    Unwrapped& u = o.u;
    u.wrapped = &src;
    {
        std::uint8_t start[kBinHexMarkWithin];
        src.rewind();
        const std::size_t have = src.read(start, sizeof start);
        if (looks_like_binhex(start, have)) {
            u.decoded = open_scratch("HQX.###", "w+b");
            const std::string why = decode_binhex(src, u.decoded);
            o.binhex = true;
            if (!why.empty()) return fail(Outcome::DamagedWrapping, why);
            if (!u.decoded.flush() || u.decoded.failed()) stop_if_doomed(u.decoded.error_number(), {});
            if (u.decoded.failed()) return fail(Outcome::WriteFailed);
            u.wrapped = &u.decoded;
        }
    }
    src.rewind();
    u.forks = find_forks(*u.wrapped);
    if (u.forks.wrapping == Wrapping::AppleDouble) return fail(Outcome::Sidecar);
    u.is_wrapped = u.forks.wrapping == Wrapping::AppleSingle ||
                   (u.forks.wrapping == Wrapping::MacBinary && (u.forks.certain || finder_info_known(u.forks)));
    // The forks' fixity, as they come out of any wrapping.
    if (u.is_wrapped || !inside.empty()) {
        result.data_sha256 = sha256_of(*u.wrapped, u.forks.data.offset, u.forks.data.length);
        if (u.forks.resource.length > 0) {
            result.resource_sha256 = sha256_of(*u.wrapped, u.forks.resource.offset, u.forks.resource.length);
        }
    } else {
        result.data_sha256 = result.source_sha256;
    }
    if (u.is_wrapped && u.forks.data.length == 0 && u.forks.promised_data == 0) return fail(Outcome::EmptySource);

    // A file a DOS, Windows or modern program made needs no conversion, and
    // a text reader would take it for text.
    if (pc_check) {
        std::uint8_t start[kPcMarksWithin];
        const long at = u.is_wrapped ? u.forks.data.offset : 0;
        const long length = u.is_wrapped ? u.forks.data.length : size;
        u.wrapped->seek_to(at);
        const std::size_t have = u.wrapped->read(start, static_cast<std::size_t>(std::min<long>(length, sizeof start)));
        u.wrapped->rewind();
        if (const char* kind = pc_document_kind(start, have)) return fail(Outcome::PcDocument, kind);
    }
    return result;
}

ConversionResult read_source(const std::string& name, const FormatEntry* source, Conversion& conversion,
                             ByteFile& work, const std::string& inside, ImageShelf* shelf) {
    if (source && !source->reader) {
        ConversionResult result;
        result.outcome = Outcome::NotAvailable;
        return result;
    }
    OpenSource o;
    ConversionResult result = open_source(name, inside, shelf, o, !source || source->text_reader);
    result.identity = describe_source(name, inside, o, result);
    if (result.outcome != Outcome::Converted) return result;
    auto fail = [&](Outcome outcome, std::string reason = {}) {
        result.outcome = outcome;
        result.reason = std::move(reason);
        return result;
    };
    ByteFile& src = o.src;
    Unwrapped& u = o.u;
    const VolumeFork& data_inside = o.data_inside;
    conversion.title = o.title;
    // Only what the Mac recorded goes into the targets' properties: a bare
    // file's time is its copy's, and goes on the target file alone.
    if (u.is_wrapped) {
        conversion.created = u.forks.created;
        conversion.modified = u.forks.modified;
    }

    const FormatEntry* reader = source;
    if (!reader) {
        result.format = result.identity.format_index;  // recognised as it was described
        if (result.format < 0) return fail(Outcome::Unrecognised);
        reader = &source_formats[result.format];
        if (!reader->reader) return fail(Outcome::NotAvailable);
    } else {
        // A reader of the table is named in the report; another (a test's) is not.
        result.format = index_of(source, source_formats);
    }
    ByteFile* input = u.wrapped;
    if (u.is_wrapped && !reader->reads_forks) {
        u.data_fork = open_scratch("DATA.###", "w+b");
        u.wrapped->seek_to(u.forks.data.offset);
        if (copy_bytes(*u.wrapped, u.data_fork, u.forks.data.length) != 0 || u.wrapped->failed()) {
            return fail(Outcome::WriteFailed);
        }
        u.data_fork.rewind();
        input = &u.data_fork;
    }
    input->rewind();

    conversion.source_name = inside.empty() ? name : name + "#" + inside;
    conversion.source_format = reader->display_name;
    set_buffering(*input, work, static_cast<unsigned>(reader->reader_pass));
    if (u.is_wrapped && u.forks.promised_data > u.forks.data.length) {
        conversion.note_cut_short("the data fork", u.forks.data.length, u.forks.promised_data);
    }
    if (data_inside.readable() < static_cast<long>(data_inside.length)) {
        conversion.note_damage("the data fork ends at byte " + std::to_string(data_inside.readable()) + " of " +
                               std::to_string(data_inside.length) + ": its blocks lie outside the image");
    }
    const Status read_result = reader->reader(conversion, *input, work);
    result.note = conversion.note;
    result.damage = conversion.damage;
    const bool source_ok = !input->failed() && !src.failed();
    const bool work_ok = work.flush() && !work.failed();
    src.close();
    u.decoded.close();
    u.data_fork.close();
    if (!work_ok) stop_if_doomed(work.error_number(), "the temporary folder " + platform::temp_directory());
    if (read_result != kConverted) return fail(outcome_of(read_result));
    if (!work_ok || !source_ok) return fail(Outcome::WriteFailed);
    work.rewind();
    return result;
}

namespace {
// The copy of the source a request asks for, written whole under a name of
// ours and then given its own: a file already there with the same bytes
// (an earlier run's copy) is kept, and another file is never replaced.
bool copy_original(const ConversionRequest& request, ImageShelf* shelf, std::string& why) {
    // A loose file is copied as it is stored; a file inside a disk image is
    // opened again as a conversion opens it, into its AppleSingle form.
    OpenSource o;
    if (request.inside.empty()) {
        o.src = ByteFile::open(request.source, "rb");
    } else if (open_source(request.source, request.inside, shelf, o, false).outcome == Outcome::Unreadable) {
        o.src.close();
    }
    if (!o.src.is_open()) {
        why = "cannot read it again to copy it (" + system_reason() + ")";
        return false;
    }
    const std::string& to = request.original;
    const std::string folder = folder_of(to);
    if (!folder.empty() && !platform::make_directories(folder)) {
        stop_if_doomed(errno, folder);
        why = "cannot make the folder " + folder + " (" + system_reason() + ")";
        return false;
    }
    const std::string partial = partial_name_for(to);
    {
        ByteFile copy = ByteFile::open(partial, "w+bx");
        o.src.rewind();
        const bool copied = copy.is_open() && copy_bytes(o.src, copy, o.src.size()) == 0 && copy.flush() && !copy.failed();
        if (!copied) {
            stop_if_doomed(copy.is_open() ? copy.error_number() : errno, folder);
            why = "cannot copy it to " + to + " (" + system_reason() + ")";
            copy.close();
            platform::remove_file(partial);
            return false;
        }
        copy.close();
    }
    const std::int64_t when = request.inside.empty() ? platform::modified_seconds(request.source) : o.u.forks.modified;
    if (when != kNoDate) platform::set_modified_seconds(partial, when);
    if (platform::rename_no_replace(partial, to)) return true;
    ByteFile there = ByteFile::open(to, "rb");
    ByteFile mine = ByteFile::open(partial, "rb");
    const bool same = there.is_open() && mine.is_open() && there.size() == mine.size() && sha256_of(there) == sha256_of(mine);
    there.close();
    mine.close();
    platform::remove_file(partial);
    if (!same) why = to + " already holds another file; the copy of the source is not put there";
    return same;
}
}  // namespace

ConversionResult prepare_conversion(const ConversionRequest& request, const FormatEntry* source,
                                    const FormatEntry& target, ImageShelf* shelf) {
    if (!target.writer) {
        ConversionResult result;
        result.outcome = Outcome::NotAvailable;
        return result;
    }
    const std::string started = utc_now();
    LeftoverGuard guard;
    // The work file lives in the private folder, never beside the source;
    // the folder is only made if the work file outgrows memory.
    ByteFile work = open_scratch("WORK.###", "w+b");
    Conversion conversion;
    ConversionResult result = read_source(request.source, source, conversion, work, request.inside, shelf);
    result.started = started;
    if (result.outcome != Outcome::Converted) {
        result.ended = utc_now();
        return result;
    }
    auto fail = [&](Outcome outcome, std::string reason = {}) {
        result.outcome = outcome;
        result.reason = std::move(reason);
        result.ended = utc_now();
        return result;
    };

    std::string target_name = intended_target_name(request, target);
    const std::string folder = folder_of(target_name);
    const bool beside = request.target_base.empty();
    const std::string shown_folder = folder.empty() ? std::string("the current folder") : folder;
    if (!beside && !folder.empty() && !platform::make_directories(folder)) {
        stop_if_doomed(errno, folder);
        return fail(Outcome::WriteFailed, "cannot make the folder " + folder + " (" + system_reason() + ")");
    }
    // The target is written under a name of ours where it goes and takes
    // its own name only when it is whole and on the disk: a run that is
    // killed leaves no half-written file that looks converted.
    std::string partial;
    ByteFile out;
    for (int tries = 0; !out.is_open(); ++tries) {
        partial = partial_name_for(target_name);
        out = ByteFile::open(partial, "w+bx");
        if (!out.is_open() && (errno != EEXIST || tries > 8)) {
            stop_if_doomed(errno, shown_folder, beside);
            return fail(Outcome::WriteFailed, "cannot write in " + shown_folder + " (" + system_reason() + ")");
        }
    }
    guard.target(partial);

    set_buffering(work, out, static_cast<unsigned>(target.writer_pass));
    out.write_behind();
    const Status write_result = target.writer(conversion, work, out);
    // A target that cannot hold a picture has "[picture]" in its place.
    result.pictures_kept = target.keeps_pictures ? conversion.pictures : 0;
    result.pictures_dropped = conversion.pictures_dropped + (target.keeps_pictures ? 0 : conversion.pictures);
    if (write_result == kConverted && request.count_losses) {
        work.rewind();
        result.losses = count_losses(work, target.reach);
    }
    work.close();
    bool target_ok = out.flush() && !out.failed();
    result.target_size = static_cast<std::uint64_t>(std::max<long>(out.size(), 0));
    target_ok = out.close() && target_ok;
    if (!target_ok) stop_if_doomed(out.error_number(), shown_folder, beside);
    if (write_result != kConverted) {
        const Outcome o = outcome_of(write_result);
        return fail(o == Outcome::NotOfFormat ? Outcome::WriteFailed : o);
    }
    if (!target_ok) return fail(Outcome::WriteFailed);
    {
        ByteFile written = ByteFile::open(partial, "rb");
        result.target_sha256 = written.is_open() ? sha256_of(written) : std::string();
        if (result.target_sha256.empty()) return fail(Outcome::WriteFailed, "cannot read the target back (" + system_reason() + ")");
    }
    // The target keeps the source's time, as cp -p gives it: the Mac's, where
    // the wrapping or image recorded one, else the file's own.
    if (request.keep_date) {
        const std::int64_t when = conversion.modified != kNoDate || !request.inside.empty()
                                      ? conversion.modified
                                      : platform::modified_seconds(request.source);
        if (when != kNoDate) platform::set_modified_seconds(partial, when);
    }
    if (!request.original.empty()) {
        std::string why;
        if (!copy_original(request, shelf, why)) return fail(Outcome::WriteFailed, why);
        result.original = request.original;
    }
    result.ended = utc_now();
    guard.keep_target();
    result.partial = partial;
    result.target_name = target_name;
    if (!result.damage.empty()) result.outcome = Outcome::Damaged;
    return result;
}

std::string intended_target_name(const ConversionRequest& request, const FormatEntry& target) {
    std::string name = request.target_base.empty() ? request.source : request.target_base;
    replace_extension(name, target.extension);
    return name;
}

void sync_conversions(const std::vector<ConversionResult*>& results) {
    // One sync a folder's file system where the system has one (a batch
    // writes into a folder or a few), else one a file.
    std::vector<std::string> synced, unsyncable;
    for (ConversionResult* r : results) {
        if (!has_target(r->outcome) || r->partial.empty()) continue;
        const std::string folder = folder_of(r->partial);
        if (std::find(synced.begin(), synced.end(), folder) != synced.end()) continue;
        if (std::find(unsyncable.begin(), unsyncable.end(), folder) == unsyncable.end()) {
            if (platform::sync_file_system(folder)) {
                synced.push_back(folder);
                continue;
            }
            unsyncable.push_back(folder);
        }
        if (platform::sync_path(r->partial)) continue;
        r->reason = "cannot put the target on the disk (" + system_reason() + ")";
        discard_conversion(*r);
        r->outcome = Outcome::WriteFailed;
    }
}

void choose_target_name(ConversionResult& result, const std::unordered_set<std::string>& chosen) {
    std::string& name = result.target_name;
    if (!file_exists(name) && !chosen.count(platform::folded_name(name))) return;
    // The counter steps as it would with the earlier targets already named.
    do {
        make_unique_name(name);
    } while (chosen.count(platform::folded_name(name)));
}

bool take_target_name(ConversionResult& result) {
    if (platform::rename_no_replace(result.partial, result.target_name)) {
        result.partial.clear();
        return true;
    }
    if (errno == EEXIST) return false;
    result.reason = "cannot give the target its name " + result.target_name + " (" + system_reason() + ")";
    discard_conversion(result);
    result.outcome = Outcome::WriteFailed;
    return true;
}

void publish_conversion(ConversionResult& result) {
    if (!has_target(result.outcome) || result.partial.empty()) return;
    sync_conversions({&result});
    if (!has_target(result.outcome)) return;
    choose_target_name(result);
    while (!take_target_name(result)) make_unique_name(result.target_name);  // a file of that name appeared meanwhile
}

void discard_conversion(ConversionResult& result) {
    if (!result.partial.empty()) platform::remove_file(result.partial);
    result.partial.clear();
    result.target_name.clear();
}

ConversionResult convert_file(const std::string& name, const FormatEntry& source, const FormatEntry& target) {
    ConversionResult result = prepare_conversion(ConversionRequest{name, {}}, &source, target);
    publish_conversion(result);
    return result;
}

}  // namespace verbatra
