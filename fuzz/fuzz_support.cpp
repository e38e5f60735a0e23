#include "fuzz/fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <unistd.h>

#include "pipeline/byte_file.h"
#include "pipeline/fatal.h"
#include "pipeline/registry.h"
#include "pipeline/scratch.h"
#include "stream/codes.h"
#include "writers/losses.h"
#include "tests/target_checks.h"

namespace verbatra::fuzz {

namespace fs = std::filesystem;

namespace {

// One directory per process for the input and output files, in memory
// where the system has it: the tests' run_entry() makes a directory per
// call, which would cost more than most runs of a target.
const std::string& work_directory() {
    static const std::string dir = [] {
        const fs::path base = fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
        const fs::path d = base / ("verbatra-fuzz-" + std::to_string(::getpid()));
        fs::create_directories(d);
        return d.string();
    }();
    return dir;
}

std::string read_whole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool is_section_start(int code) {
    return (code >= stream::kHeaderEven && code <= stream::kFooterAll) || code == stream::kNoteStart;
}

bool is_hex(int b) { return (b >= '0' && b <= '9') || (b >= 'A' && b <= 'F') || (b >= 'a' && b <= 'f'); }

}  // namespace

void require(bool ok, const std::string& what) {
    if (ok) return;
    std::fprintf(stderr, "fuzz property broken: %s\n", what.c_str());
    std::abort();
}

std::string run(EntryPoint entry, const std::string& input, int* result) {
    const std::string in_name = work_directory() + "/in", out_name = work_directory() + "/out";
    {
        std::ofstream f(in_name, std::ios::binary | std::ios::trunc);
        f.write(input.data(), static_cast<std::streamsize>(input.size()));
    }
    try {
        ByteFile in = ByteFile::open(in_name, "rb");
        ByteFile out = ByteFile::open(out_name, "w+b");
        require(in.is_open() && out.is_open(), "cannot open the fuzz files");
        Conversion conversion;
        conversion.source_name = in_name;
        *result = entry(conversion, in, out);
        out.close();
    } catch (const FatalStop& stop) {
        require(false, std::string("a fatal stop: ") + stop.what());
    }
    return read_whole(out_name);
}

std::string stream_problem(const std::string& s) {
    const std::size_t n = s.size();
    int open = 0;
    for (std::size_t i = 0; i < n;) {
        if (static_cast<unsigned char>(s[i]) != stream::kEscape) {
            ++i;
            continue;
        }
        const std::string at = " at " + std::to_string(i);
        if (i + 1 >= n) return "a lone 0x5C at the end";
        const int code = static_cast<unsigned char>(s[i + 1]);
        i += 2;
        if (!stream::code_name(static_cast<std::uint8_t>(code))) return "unknown code " + std::to_string(code) + at;
        if (code == stream::kPicture) {
            if (i + stream::kPictureHeaderBytes > n) return "a picture header cut short" + at;
            i += stream::kPictureHeaderBytes;
            while (i < n && is_hex(static_cast<unsigned char>(s[i]))) ++i;
            if (i + 2 > n || static_cast<unsigned char>(s[i]) != stream::kEscape ||
                static_cast<unsigned char>(s[i + 1]) != stream::kEndSection) {
                return "a picture without its end" + at;
            }
            i += 2;
            continue;
        }
        if (code == stream::kFontName) {
            if (i >= n || i + 1 + static_cast<unsigned char>(s[i]) > n) return "a font name cut short" + at;
            i += 1 + static_cast<unsigned char>(s[i]);
            continue;
        }
        if (i + stream::kArgCount[code] > n) return "code " + std::to_string(code) + " without its arguments" + at;
        if (code == stream::kSetChar) {
            const int set = static_cast<unsigned char>(s[i]);
            if (set < 1 || set > 14) return "a character of set " + std::to_string(set) + at;
        }
        i += stream::kArgCount[code];
        if (is_section_start(code)) {
            if (open) return "a section opened inside another" + at;
            open = code;
        } else if (code == stream::kEndSection) {
            if (!open) return "a section closed that is not open" + at;
            open = 0;
        }
    }
    if (open) return "a section left open";
    return "";
}

void require_no_scratch_left(const char* who) {
    const std::string& dir = scratch_directory();
    if (dir.empty()) return;
    for (const auto& e : fs::directory_iterator(dir)) {
        require(false, std::string(who) + " left the scratch file " + e.path().filename().string());
    }
    clear_scratch_files();
}

namespace {
EntryPoint entry_named(const char* name, const FormatEntry* table, bool reader) {
    const int i = lookup_format(name, table);
    require(i >= 0, std::string("no format ") + name);
    EntryPoint e = reader ? table[i].reader : table[i].writer;
    require(e != nullptr, std::string(name) + " is not built");
    return e;
}
}  // namespace

EntryPoint reader_named(const char* name) { return entry_named(name, source_formats, true); }
EntryPoint writer_named(const char* name) { return entry_named(name, target_formats, false); }

void check_reader_run(const char* name, const std::string& source, const std::string& stream, int result) {
    const std::string who = std::string("reader ") + name;
    require(result == kConverted || result == kNotOfFormat || result == kEmptyInput,
            who + " returned " + std::to_string(result));
    if (result != kConverted) require(stream.empty(), who + " refused the source but wrote a stream");
    if (result == kEmptyInput) require(source.empty(), who + " called a non-empty source empty");
    require(stream.size() <= kStreamPerSourceByte * source.size() + kStreamSlack,
            who + " wrote " + std::to_string(stream.size()) + " bytes for " + std::to_string(source.size()));
    const std::string problem = stream_problem(stream);
    require(problem.empty(), who + ": " + problem);
    require_no_scratch_left(who.c_str());
}

void check_writer_run(const char* name, const std::string& stream, const std::string& file, int result) {
    const std::string who = std::string("writer ") + name;
    require(result == kConverted || result == kEmptyInput || result == kTooLarge,
            who + " returned " + std::to_string(result));
    require(file.size() <= kTargetPerStreamByte * stream.size() + kTargetSlack,
            who + " wrote " + std::to_string(file.size()) + " bytes for " + std::to_string(stream.size()));
    if (result == kConverted && std::strncmp(name, "rtf", 3) == 0) require(test::rtf_braces_balance(file), who + ": braces unbalanced");
    if (result == kConverted && std::strcmp(name, "word-dos") == 0) {
        const test::WordDoc d = test::read_word_dos_file(file);
        require(d.problems.empty(), who + ": " + (d.problems.empty() ? "" : d.problems.front()));
    }
    if (result == kConverted && std::strcmp(name, "wp5") == 0) {
        const std::vector<std::string> problems = test::wp5_problems(file);
        require(problems.empty(), who + ": " + (problems.empty() ? "" : problems.front()));
    }
    if (result == kConverted && std::strcmp(name, "word-win2") == 0) {
        const test::Win2Doc d = test::read_word_win2_file(file);
        require(d.problems.empty(), who + ": " + (d.problems.empty() ? "" : d.problems.front()));
    }
    if (result == kConverted && (std::strcmp(name, "utf8") == 0 || std::strcmp(name, "html") == 0)) {
        require(test::valid_utf8(file), who + ": not UTF-8");
    }
    if (result == kConverted && (std::strcmp(name, "odt") == 0 || std::strcmp(name, "docx") == 0)) {
        const std::vector<std::string> problems = test::package_problems(file, name[0] == 'o');
        require(problems.empty(), who + ": " + (problems.empty() ? "" : problems.front()));
    }
    // The record's count of what the target lost reads the same stream.
    ByteFile in = ByteFile::open(work_directory() + "/in", "rb");
    const Losses lost = count_losses(in, format_named(name, target_formats).reach);
    const long total = static_cast<long>(lost.stand_ins) + lost.font_sizes + lost.colours + lost.notes_as_text;
    require(lost.stand_ins >= 0 && lost.font_sizes >= 0 && lost.colours >= 0 && lost.notes_as_text >= 0 &&
                total <= static_cast<long>(stream.size()),
            who + ": losses counted past the stream");
    require_no_scratch_left(who.c_str());
}

}  // namespace verbatra::fuzz
