#include "cli/command_line.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "pipeline/driver.h"
#include "pipeline/fatal.h"
#include "pipeline/registry.h"
#include "pipeline/scratch.h"
#include "platform/platform.h"
#include "stream/dump.h"

namespace verbatra {

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFatal = 1;
constexpr int kExitUsage = 2;
constexpr int kExitRefused = 3;

const char kUsage[] =
    "usage: verbatra --from SOURCE --to TARGET FILE...\n"
    "       verbatra --from SOURCE --dump-stream FILE\n"
    "       verbatra --list-formats | --help\n"
    "\n"
    "Converts old Macintosh word-processor documents into files that DOS and\n"
    "Windows programs read. Each FILE is read as a SOURCE document and the\n"
    "result is written beside it, named like it with the target's extension\n"
    "(LETTER becomes LETTER.asc). An existing file is never overwritten: a\n"
    "counter extension (.001, .002, ...) is used instead. The source itself is\n"
    "only read.\n"
    "\n"
    "SOURCE and TARGET are format names as --list-formats shows them, full\n"
    "(\"Texte seul\", \"Ascii (DOS)\", any case) or short (text, dos).\n"
    "\n"
    "Every file gets one line: \"NAME -> TARGET\" when converted, or the reason\n"
    "it was not. Exit status: 0 all converted, 3 some not converted, 1 a fatal\n"
    "stop (a file that cannot be opened), 2 a usage error.\n"
    "\n"
    "  --from SOURCE        the format of the documents\n"
    "  --to TARGET          the format to write\n"
    "  --dump-stream FILE   print the intermediate stream a SOURCE reader makes\n"
    "                       of FILE, codes by name (a debugging aid)\n"
    "  --list-formats       list the source and target formats\n"
    "  --help               this text\n";

void list_formats(std::FILE* out) {
    std::fputs("Source formats (--from):\n", out);
    for (int i = 0; source_formats[i].display_name; ++i) {
        const FormatEntry& e = source_formats[i];
        std::fprintf(out, "  %-14s \"%s\"%s\n", e.short_name, e.display_name,
                     is_available(e) ? "" : "  (not available yet)");
    }
    std::fputs("Target formats (--to):\n", out);
    for (int i = 0; target_formats[i].display_name; ++i) {
        const FormatEntry& e = target_formats[i];
        std::fprintf(out, "  %-14s \"%s\"  .%s%s\n", e.short_name, e.display_name, e.extension,
                     is_available(e) ? "" : "  (not available yet)");
    }
}

// Looks a format name up; on failure says what the valid names are.
int find_or_complain(const char* option, const std::string& text, const FormatEntry* table) {
    int index = lookup_format(text, table);
    if (index >= 0) return index;
    std::fprintf(stderr, "verbatra: unknown format for %s: \"%s\"; valid names are:\n", option, text.c_str());
    for (int i = 0; table[i].display_name; ++i) {
        std::fprintf(stderr, "  %-14s \"%s\"\n", table[i].short_name, table[i].display_name);
    }
    return -1;
}

std::string bare_name(const std::string& path) { return path.substr(platform::file_name_start(path)); }

// Reports one file's outcome; true when it was converted.
bool report(const std::string& name, const ConversionResult& r, const FormatEntry& source,
            const FormatEntry& target) {
    switch (r.outcome) {
        case Outcome::Converted:
            std::printf("%s -> %s\n", name.c_str(), bare_name(r.target_name).c_str());
            return true;
        case Outcome::NotOfFormat:
            std::fprintf(stderr, "%s: not a %s document\n", name.c_str(), source.display_name);
            break;
        case Outcome::EmptySource:
            std::fprintf(stderr, "%s: empty file\n", name.c_str());
            break;
        case Outcome::NotAvailable:
            if (!source.reader) {
                std::fprintf(stderr, "%s: the %s reader is not available yet\n", name.c_str(),
                             source.display_name);
            } else {
                std::fprintf(stderr, "%s: the %s writer is not available yet\n", name.c_str(),
                             target.display_name);
            }
            break;
        case Outcome::TooLarge:
            std::fprintf(stderr, "%s: too large for %s; not converted\n", name.c_str(), target.display_name);
            break;
        case Outcome::WriteFailed:
            std::fprintf(stderr, "%s: could not be read or written whole (disk full?); not converted\n",
                         name.c_str());
            break;
    }
    std::fflush(stdout);
    return false;
}

int dump(const std::string& name, const FormatEntry& source) {
    if (!source.reader) {
        std::fprintf(stderr, "%s: the %s reader is not available yet\n", name.c_str(), source.display_name);
        return kExitRefused;
    }
    ByteFile src = open_or_stop(name, "rb");
    ByteFile work = open_scratch("DUMP.###", "w+b");
    src.set_full_buffering();
    work.set_full_buffering();
    int result = source.reader(src, work);
    if (result != kConverted) {
        std::fprintf(stderr, "%s: %s\n", name.c_str(),
                     result == kEmptyInput ? "empty file"
                                           : (std::string("not a ") + source.display_name + " document").c_str());
        return kExitRefused;
    }
    work.rewind();
    dump_stream(work, stdout);
    return kExitOk;
}

struct ScratchCleanup {
    ~ScratchCleanup() { remove_scratch_directory(); }
};

int run(int argc, char** argv) {
    std::string from, to, dump_file;
    bool have_from = false, have_to = false, have_dump = false;
    std::vector<std::string> files;
    bool options_done = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&](std::string& slot, bool& flag) {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "verbatra: %s needs a value\n%s", arg.c_str(), kUsage);
                return false;
            }
            slot = argv[++i];
            flag = true;
            return true;
        };
        if (options_done || arg.empty() || arg[0] != '-' || arg == "-") {
            files.push_back(arg);
        } else if (arg == "--") {
            options_done = true;
        } else if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return kExitOk;
        } else if (arg == "--list-formats") {
            list_formats(stdout);
            return kExitOk;
        } else if (arg == "--from") {
            if (!value(from, have_from)) return kExitUsage;
        } else if (arg == "--to") {
            if (!value(to, have_to)) return kExitUsage;
        } else if (arg == "--dump-stream") {
            if (!value(dump_file, have_dump)) return kExitUsage;
        } else {
            std::fprintf(stderr, "verbatra: unknown option %s\n%s", arg.c_str(), kUsage);
            return kExitUsage;
        }
    }
    if (!have_from) {
        std::fprintf(stderr, "verbatra: --from SOURCE is missing\n%s", kUsage);
        return kExitUsage;
    }
    int source = find_or_complain("--from", from, source_formats);
    if (source < 0) return kExitUsage;
    if (have_dump) return dump(dump_file, source_formats[source]);
    if (!have_to || files.empty()) {
        std::fprintf(stderr, "verbatra: %s\n%s", have_to ? "no FILE given" : "--to TARGET is missing", kUsage);
        return kExitUsage;
    }
    int target = find_or_complain("--to", to, target_formats);
    if (target < 0) return kExitUsage;

    bool all_converted = true;
    for (const std::string& name : files) {
        ConversionResult r = convert_file(name, source_formats[source], target_formats[target]);
        if (!report(name, r, source_formats[source], target_formats[target])) all_converted = false;
    }
    return all_converted ? kExitOk : kExitRefused;
}

}  // namespace

int run_command_line(int argc, char** argv) {
    ScratchCleanup cleanup;
    try {
        return run(argc, argv);
    } catch (const FatalStop& stop) {
        std::fflush(stdout);
        const char* text = stop.what();
        std::fprintf(stderr, "%s: %s\n", kCaption, *text ? text : "not enough memory");
        return kExitFatal;
    }
}

}  // namespace verbatra
