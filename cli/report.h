// The run's record for archivists: one JSON object a line for every file,
// written as the run goes, so that an interrupted run keeps the lines of
// the files it did.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "pipeline/byte_file.h"
#include "pipeline/conversion.h"
#include "pipeline/identify.h"

namespace verbatra {

// `text` as a JSON string, quotes included. UTF-8 passes as it is; a byte
// that is not part of valid UTF-8 (a name in a Macintosh or DOS character
// set) becomes \udcXX, as Python's "surrogateescape" reads it back, so
// every name survives byte for byte.
std::string json_string(const std::string& text);

struct ReportLine {
    std::string source;
    std::string format;   // empty: none known
    // "converted", "damaged", "refused", "failed", "skipped", "already converted"
    std::string outcome;
    std::string target;   // empty: none
    std::string reason;   // empty: none
    std::uint64_t source_size = 0, target_size = 0;
    // Of a converted file: its pictures written as pictures, and left out.
    int pictures_kept = 0, pictures_dropped = 0;
    // What the target could not carry; written only with a target.
    Losses losses;
    std::string target_format;  // empty: nothing was written
    // SHA-256 of the source as stored, its forks and the target; empty: none.
    std::string source_sha256, data_fork_sha256, resource_fork_sha256, target_sha256;
    std::string started, ended;  // UTC, ISO 8601; empty: not converted in this run
    Identification identity;     // what the source is, as --identify tells it
};

std::string report_line(const ReportLine& line);

// An identification as one JSON object a line.
std::string identity_line(const std::string& path, const Identification& id);
// The same as a row of DROID's CSV export, under kDroidHeader: `number`
// and `parent` (0: none) its ID and PARENT_ID, `absolute` its full path.
extern const char* const kDroidHeader;
std::string droid_row(long number, long parent, const std::string& absolute, const Identification& id);

// What the first line of a run's lines records: the program, and what
// shapes the targets, so that a run resumed from the report makes the same.
struct RunRecord {
    std::string from, to;   // format names as the run was given them
    std::string output_dir; // absolute; empty beside the sources
    bool recursive = false;
    std::string started;    // UTC, ISO 8601
};
std::string run_line(const RunRecord& run);

// True when `name` may take report lines: missing, empty, not a regular
// file (a device, a pipe), or a report of ours (its first line a run's, or
// a file's as earlier versions wrote).
bool may_hold_report(const std::string& name);

// Reads the JSON string that starts at text[at] (a quote) into `out` and
// moves `at` past it; \udcXX gives back the byte XX. False when it is not
// a well-formed string.
bool parse_json_string(const std::string& text, std::size_t& at, std::string& out);

// What an earlier run's report says of each source: the outcome and target
// of its last line. Lines that cannot be read (the last line of a run that
// was killed while writing it) are passed over.
struct EarlierOutcome {
    std::string outcome, target, format;
    std::uint64_t source_size = 0, target_size = 0;
};
struct EarlierRun {
    std::unordered_map<std::string, EarlierOutcome> sources;
    std::unordered_set<std::string> targets;  // of every line with a target
    bool have_run = false;  // a run's line was read (reports of earlier versions have none)
    RunRecord run;          // the last one
};
// False (errno tells why) when the file cannot be read.
bool read_report(const std::string& name, EarlierRun& run);

// A report file: lines are added at its end (it is made when missing) and
// each is on the disk before the next file is reported.
class ReportFile {
public:
    // False, with errno, when the file cannot be opened for adding.
    bool open(const std::string& name);
    bool is_open() const { return file_.is_open(); }
    // False when the line could not be written.
    bool add(const ReportLine& line);
    bool add_text(const std::string& line);
    // Puts the lines added so far on the disk; false when it cannot.
    bool sync();
    // The report's length now, and cutting it back to such a length (to
    // write a group's lines anew).
    long length();
    bool cut_to(long length);

private:
    std::string name_;
    ByteFile file_;
};

// The list Archivematica reads beside the copies a transfer holds
// (manualNormalization/normalization.csv): a header, then a row a
// converted source, "original,access,preservation", the names relative to
// the transfer's folder. A run that goes on in the same folder adds the
// rows it lacks, once each.
class NormalizationList {
public:
    // False, with errno, when the file cannot be opened for adding.
    bool open(const std::string& name);
    // False when the row could not be written.
    bool add(const std::string& original, const std::string& preservation);
    bool sync();

private:
    ByteFile file_;
    std::unordered_set<std::string> rows_;
};

}  // namespace verbatra
