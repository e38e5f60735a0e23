// Batch selection: one named file, every file of the current directory that
// matches a pattern, or the same through every subdirectory below it.
#pragma once

#include <string>

#include "pipeline/byte_file.h"
#include "pipeline/driver.h"
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
    // relative to the directory the batch started in.
    virtual void starting(const std::string& path) { (void)path; }
    virtual void finished(const std::string& path, const ConversionResult& result) = 0;
    // A directory that cannot be entered or read, a list that cannot be
    // made: reported, skipped, and the batch goes on.
    virtual void problem(const std::string& message) = 0;
    // Something the user should know that is no problem (a leftover of an
    // ended run, removed).
    virtual void notice(const std::string& message) { (void)message; }
};

// Converts what `pattern` selects in `mode` with the reader of `source` and
// the writer of `target`. A pattern is expanded into a list file first, so
// the files a conversion creates are never picked up by the same pass; the
// files of a directory come before its subdirectories, and links to
// directories are never followed. The current directory is the same
// afterwards.
void convert_selection(const std::string& pattern, int mode, const FormatEntry& source,
                       const FormatEntry& target, BatchObserver& observer);

// The next name of a list file: a line of any length without its line end;
// empty lines are passed over. False at the end of the list.
bool read_list_name(ByteFile& list, std::string& name);

// Shows the next of the twelve busy cursors (12743 to 12754, then again)
// and returns its resource number.
int advance_busy_indicator();

}  // namespace verbatra
