// Batch selection: named files, every file of the current directory that
// matches a pattern, or the same through every subdirectory below it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "pipeline/byte_file.h"
#include "pipeline/driver.h"
#include "pipeline/identify.h"
#include "pipeline/registry.h"

namespace verbatra {

// Selection modes.
inline constexpr int kOneFile = 0;
inline constexpr int kPattern = 1;
inline constexpr int kRecursive = 2;

// Told about each file of a batch, and about what had to be skipped.
class BatchObserver {
public:
    virtual ~BatchObserver() = default;
    // `path` is the file's name as given, or, for a pattern, its path
    // relative to the directory the batch started in (the pattern's own
    // directory part first).
    virtual void starting(const std::string& path) { (void)path; }
    virtual void finished(const std::string& path, const ConversionResult& result) = 0;
    // The outcome of `path`, in file order, before its target takes its
    // name result.target_name (told again when that changes: another file
    // took the name first, or the name could not be taken). finished()
    // follows.
    virtual void recording(const std::string& path, const ConversionResult& result) {
        (void)path;
        (void)result;
    }
    // The targets told of are about to take their names: whatever records
    // them must be on the disk now.
    virtual void records_done() {}
    // A directory that cannot be entered or read, a list that cannot be
    // made: reported, skipped, and the batch goes on.
    virtual void problem(const std::string& message) = 0;
    // True when `path` needs no conversion (an earlier run converted it);
    // `done` then holds what that run recorded (target, format, sizes), and
    // the file is reported in its turn as AlreadyConverted.
    virtual bool already_converted(const std::string& path, ConversionResult& done) {
        (void)path;
        (void)done;
        return false;
    }
    // A group of files is about to be told with recording(): a file told
    // again before records_done() replaces what was told of it.
    virtual void begin_records() {}
    // Every file of the batch has been added: `total` files in all.
    virtual void all_added(int total) { (void)total; }
    // True when `path` is no source of this run (a target an earlier run
    // wrote, the run's own report): passed over in silence.
    virtual bool passed_over(const std::string& path) {
        (void)path;
        return false;
    }
    // Something the user should know that is no problem (a leftover of an
    // ended run, removed).
    virtual void notice(const std::string& message) { (void)message; }
    // With BatchOptions::identify: what `path` is, in the order of the files.
    virtual void identified(const std::string& path, const Identification& id) {
        (void)path;
        (void)id;
    }
};

// How a batch converts: the formats, where targets go, how many files at once.
struct BatchOptions {
    const FormatEntry* source = nullptr;  // null: each file's format is recognised
    const FormatEntry* target = nullptr;
    // Empty: each target beside its source. Otherwise targets go into this
    // folder, as `cp -r` would place them: a named file or a pattern's files
    // in it, a named folder's tree under the folder's own name (its
    // contents alone for "." and ".."), a listed name at its path as listed.
    std::string output_dir;
    int jobs = 1;  // conversions running at once
    // Nothing is converted or written: each file met is identified, and a
    // disk image is a file of its own before its files.
    bool identify = false;
    // Each target takes its source's modification time.
    bool keep_dates = true;
    // The output folder is a transfer for Archivematica: each target goes
    // to manualNormalization/preservation/ at its source's path there, and
    // a copy of its source to that path in the folder itself.
    bool archivematica = false;
    // The run keeps a record: each conversion counts what its target lost.
    bool record_losses = false;
};

// Below the output folder of a transfer for Archivematica: where the
// targets go, and the list of copies and targets it reads.
inline constexpr char kPreservationFolder[] = "manualNormalization/preservation";
inline constexpr char kNormalizationList[] = "manualNormalization/normalization.csv";

class ConversionQueue;

// A run over named files, folders and patterns. Files are converted in the
// order they are given and found, and the observer hears of each in that
// order, however many run at once; targets take their names in that order
// too, so the never-overwrite naming is that of one file at a time.
class Batch {
public:
    Batch(const BatchOptions& options, BatchObserver& observer);
    ~Batch();  // on a fatal stop: what is not yet reported is removed
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;

    // One named file; with `recursive`, a folder converts its whole tree.
    void add_named(const std::string& path, bool recursive);
    // One name of a list of files: never a pattern, and its target keeps
    // the path as listed (in an output folder); with `recursive`, a folder
    // converts its whole tree.
    void add_listed(const std::string& path, bool recursive);
    // Something named that is not converted, told in its turn with the
    // whole line's reason ("no file matches").
    void add_skipped(const std::string& path, const std::string& reason);
    // The files of the current directory (or the pattern's own directory)
    // that match; with `recursive`, those of every subdirectory too.
    // False when nothing matched.
    bool add_pattern(const std::string& pattern, bool recursive);
    // Converts what was added, in order, and waits for every conversion.
    void finish();

private:
    // Where the target of `source` goes (without its extension).
    std::string target_base(const std::string& source) const;
    void add_file(const std::string& path);
    // Every file of `folder`'s tree; `keep_path` mirrors the path as given
    // into the output folder, else the folder goes in under its own name.
    void walk(const std::string& folder, bool keep_path);
    void select_here(const std::string& pattern, bool recursive, const std::string& dir);
    bool write_list(const std::string& pattern, const std::string& dir, struct ListFile& list);

    BatchOptions options_;
    BatchObserver& observer_;
    std::unique_ptr<ConversionQueue> queue_;  // none when identifying
    ImageShelf shelf_;  // the image identified files come out of
    // The part of the paths being added that stays out of the output
    // folder: everything above the argument they come from.
    std::string root_;
    // What the arguments name, in order, gathered before anything
    // converts: a file to convert (its result still Converted, the default),
    // or one whose outcome is known already (skipped, already converted).
    struct Item {
        std::string path, target_base;
        ConversionResult result;
        // A file inside a disk image: the image and where the file lies in it.
        std::string image = {}, inside = {};
    };
    // Where the copy of an item's source goes, or empty.
    std::string original_for(const Item& item) const;
    // When `path` is a disk image: each file inside it, and true.
    bool add_image(const std::string& path);
    void add_image_files(const std::string& path, const std::string& within, const std::string& base,
                         const DiskImage& image, ByteFile& file, bool open_inner, std::vector<Item>& lines);
    std::vector<Item> items_;
};

// Converts what `pattern` selects in `mode` with the reader of `source` and
// the writer of `target`, beside the sources, one file at a time. A pattern
// is expanded into a list file first, so the files a conversion creates are
// never picked up by the same pass; the files of a directory come before
// its subdirectories, and links to directories are never followed.
void convert_selection(const std::string& pattern, int mode, const FormatEntry& source,
                       const FormatEntry& target, BatchObserver& observer);

// The next name of a list file: a line of any length without its line end;
// empty lines are passed over. False at the end of the list.
bool read_list_name(ByteFile& list, std::string& name);

// Shows the next of the twelve busy cursors (12743 to 12754, then again)
// and returns its resource number.
int advance_busy_indicator();

}  // namespace verbatra
