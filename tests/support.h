// Helpers shared by the tests: temporary directories, whole-file reads and
// writes, and running one reader or writer on bytes held in memory.
#pragma once

#include <string>
#include <vector>

#include "pipeline/byte_file.h"
#include "pipeline/registry.h"

namespace verbatra::test {

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes away.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    // The names in the directory, sorted.
    std::vector<std::string> list() const;
    static std::vector<std::string> list_of(const std::string& path);

private:
    std::string path_;
};

void write_file(const std::string& path, const std::string& bytes);
std::string read_file(const std::string& path);

// A byte file to write into, and what was written so far.
class Capture {
public:
    Capture();
    ByteFile& out() { return file_; }
    std::string bytes();

private:
    TempDir dir_;
    ByteFile file_;
};

// A byte file opened for reading on `data`, kept in a temporary directory.
class Source {
public:
    explicit Source(const std::string& data);
    ByteFile& in() { return file_; }

private:
    TempDir dir_;
    ByteFile file_;
};

// Runs `entry` with a file holding `input` and returns what it wrote.
// The stream without its font-name codes: for tests of what is not fonts.
std::string without_font_names(const std::string& stream);

std::string run_entry(EntryPoint entry, const std::string& input, int* result = nullptr,
                      Conversion* conversion = nullptr);

// Runs reader `entry` on fixture `file` (kept as `name` with
// VERBATRA_KEEP_FIXTURES, below) and returns the stream.
std::string read_fixture(EntryPoint entry, const char* name, const std::string& file, int* result = nullptr);

// The format the driver recognises in `file` (an index in source_formats),
// or -1.
int recognised_format(const std::string& file);
// Checks that a document reader `entry` takes is recognised as that
// reader's format (read_fixture does so for every fixture it reads).
// While a DamagedFixtures lives, a document may also go unrecognised (a
// reader that makes the best of a damaged file is no reason to guess one),
// but never be taken for another format.
void expect_recognised_as(EntryPoint entry, const std::string& file);
class DamagedFixtures {
public:
    DamagedFixtures() { ++depth_; }
    ~DamagedFixtures() { --depth_; }
    static bool active() { return depth_ > 0; }

private:
    static int depth_;
};

// With VERBATRA_KEEP_FIXTURES=DIR in the environment, writes a fixture
// into DIR (NAME-1, NAME-2, ...), so that other programs can read it too.
void keep_fixture(const std::string& name, const std::string& data);

// The bundled sample samples/NAME is `data`, as the fixture builders make
// it; with VERBATRA_WRITE_SAMPLES=1 in the environment it is written anew.
// The sample must also be recognised as the format `entry` reads, and
// read whole (null entry: no format's document, a disk image).
void expect_sample(const std::string& name, const std::string& data, EntryPoint entry);

// Bytes from a list of values, for readable fixtures.
std::string bytes(std::initializer_list<int> values);

// Big-endian numbers, as Macintosh files hold them.
std::string be16(int value);
std::string be32(long value);

// `data_fork` wrapped in MacBinary with the given type and creator, with a
// resource fork behind it.
std::string macbinary(const std::string& data_fork, const char* type_creator);

// `bytes` in `charset` (an iconv name) as UTF-32; a byte the charset
// leaves undefined reads as a space.
std::u32string decode(const std::string& bytes, const char* charset);

// The words of a text: runs of letters (Latin and Greek) and digits. A soft
// hyphen joins.
std::vector<std::u32string> words(const std::u32string& text);

// The folder of real documents: $VERBATRA_CORPUS, else ../shared/corpus
// beside the project. Tests that need it skip when it holds nothing.
std::string corpus_dir();
bool have_corpus();

// Runs reader `entry` on `input` and returns what it said of damage (empty:
// the document held all it promised).
std::string damage_noted(EntryPoint entry, const std::string& input, int* result = nullptr);

// The program with `args`, as a shell command; run in folder `dir`, its
// exit status, with what it printed in `out` and `err`.
std::string verbatra(const std::string& args);
int run_in(const std::string& dir, const std::string& args, std::string* out, std::string* err);
int run_in(const TempDir& dir, const std::string& args, std::string* out, std::string* err);

// Runs a shell command; returns its exit status, with its standard output
// and standard error in `out` and `err`.
int run_command(const std::string& command, std::string* out = nullptr, std::string* err = nullptr);
// True when `tool` is a command on the PATH.
inline bool have(const char* tool) { return run_command(std::string("command -v ") + tool) == 0; }

// How many times `what` stands in `text`.
// Report lines without what changes from run to run (the fixity, the
// times and the target format after pictures_dropped): every line of `text`.
inline std::string without_fixity(const std::string& text) {
    std::string out;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find('\n', at);
        const bool newline = end != std::string::npos;
        if (!newline) end = text.size();
        std::string line = text.substr(at, end - at);
        const std::size_t cut = line.find(",\"target_format\":");
        if (cut != std::string::npos) line = line.substr(0, cut) + "}";
        out += line + (newline ? "\n" : "");
        at = end + 1;
    }
    return out;
}

inline int count_of(const std::string& text, const std::string& what) {
    int n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

}  // namespace verbatra::test
