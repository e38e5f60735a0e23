// Nisus Writer documents built from the layouts, in every wrapping; the
// wrappings of other programs' files from the corpus; damaged resource maps.
#include <gtest/gtest.h>

#include <filesystem>

#include "nisus_fixture.h"
#include "pipeline/driver.h"
#include "pipeline/file_utils.h"
#include "readers/mac_forks.h"
#include "readers/nisus.h"
#include "stream_builder.h"
#include "support.h"

namespace verbatra {
namespace {

namespace fs = std::filesystem;
using test::bytes;
using test::StreamBuilder;

// Reads `path` as the driver would: with its name known, for the sidecar.
std::string read_path(const std::string& path, int* result) {
    ByteFile in = ByteFile::open(path, "rb");
    test::Capture work;
    Conversion conversion;
    conversion.source_name = path;
    *result = read_nisus(conversion, in, work.out());
    return work.bytes();
}

// Three marks and two notes; a backslash, Macintosh letters, control bytes
// that are fields and pictures, a line break, and a last byte that counts.
constexpr char kTextBytes[] = "Caf\x8E\x1C and \\ tea\x1C.\x01\x0F\x11\x14\x1D\x00\x0Bnext\x1C!";
const std::string kText(kTextBytes, sizeof kTextBytes - 1);
constexpr char kNotesBytes[] = "\x1COne \x87\r\x1CTwo\x10\r";
const std::string kNotes(kNotesBytes, sizeof kNotesBytes - 1);

std::string expected_stream() {
    return StreamBuilder()
        .text("Caf").mac("\x8E")
        .code(0xA2, {0, 1}).text("One ").mac("\x87").para().code(0x7F)
        .text(" and \\ tea")
        .code(0xA2, {0, 2}).text("Two").para().code(0x7F)
        .text(".").para().text("next")
        .code(0xA2, {0, 3}).code(0x7F)
        .text("!")
        .str();
}

TEST(NisusReader, EveryWrappingGivesTheSameStream) {
    const std::string rsrc = test::resource_fork({test::nisus_version(), {"FNTX", 128, kNotes}});
    test::TempDir dir;
    test::write_file(dir.file("MB"), test::nisus_macbinary(kText, rsrc));
    test::write_file(dir.file("AS"), test::apple_file(true, kText, rsrc));
    test::write_file(dir.file("AD"), kText);
    test::write_file(dir.file("._AD"), test::apple_file(false, "", rsrc));
    for (const char* name : {"MB", "AS", "AD"}) {
        int result = 99;
        EXPECT_EQ(read_path(dir.file(name), &result), expected_stream()) << name;
        EXPECT_EQ(result, 0) << name;
    }
    test::keep_fixture("nisus", test::apple_file(true, kText, rsrc));
}

// FNTX resources are taken in the order of the map, each once however many
// references name it; the map's counts and offsets never lead outside it.
TEST(NisusReader, ResourceMaps) {
    const std::string two = test::resource_fork({{"FNTX", 1, "\x1C" "A"}, {"STYL", 1, "x"}, {"FNTX", 2, "\x1C" "B"}});
    EXPECT_EQ(resources_of_type(std::vector<std::uint8_t>(two.begin(), two.end()), "FNTX").size(), 2u);

    // Two references to one resource.
    std::string twice = test::resource_fork({{"FNTX", 1, "\x1C" "A"}, {"FNTX", 2, "\x1C" "B"}});
    const std::size_t second = twice.size() - 12;  // the last reference
    twice.replace(second + 5, 3, std::string(3, '\0'));
    const auto once = resources_of_type(std::vector<std::uint8_t>(twice.begin(), twice.end()), "FNTX");
    ASSERT_EQ(once.size(), 1u);
    EXPECT_EQ(std::string(once[0].begin(), once[0].end()), "\x1C" "A");

    // An empty map stores its type count as 0xFFFF; damaged maps claim more
    // types, references and data than they hold.
    std::string empty = test::resource_fork({});
    ASSERT_EQ(empty.substr(empty.size() - 2), test::be16(0xFFFF));
    std::string overlong = test::resource_fork({{"FNTX", 1, "\x1C" "A"}});
    overlong.replace(overlong.size() - 22, 2, test::be16(0x7FFF));  // type count
    std::string past_area = test::resource_fork({{"FNTX", 1, "\x1C" "A"}});
    past_area.replace(past_area.size() - 7, 3, "\x7F\xFF\xFF");  // data offset
    const std::pair<std::string, bool> maps[] = {{empty, false}, {overlong, true}, {past_area, false}};
    for (const auto& [fork, note_found] : maps) {
        int result = 99;
        const std::string stream = test::run_entry(read_nisus, test::nisus_macbinary("Hi\x1C", fork), &result);
        EXPECT_EQ(result, 0);
        EXPECT_EQ(stream.substr(0, 2), "Hi");
        EXPECT_EQ(stream.find('A') != std::string::npos, note_found);
    }
}

// Only Nisus Writer files in the wrappings: other creators, sidecars given
// as documents, and the wrapped documents of other programs are refused.
TEST(NisusReader, OtherFilesAreRefused) {
    const std::string rsrc = test::resource_fork({{"FNTX", 1, "\x1C" "A"}});
    std::vector<std::pair<std::string, std::string>> files = {
        {"MacBinary of another program", test::nisus_macbinary("text", rsrc, "TEXTttxt")},
        {"AppleSingle of another program", test::apple_file(true, "text", rsrc, "TEXTttxt")},
        {"an AppleDouble sidecar", test::apple_file(false, "", rsrc)},
    };
    const fs::path corpus = test::corpus_dir();
    if (fs::is_directory(corpus)) {
        for (const auto& e : fs::recursive_directory_iterator(corpus)) {
            const std::string ext = e.path().extension().string();
            if (e.is_regular_file() && (ext == ".as" || ext == ".macbin")) {
                files.push_back({e.path().filename().string(), test::read_file(e.path().string())});
            }
        }
    }
    for (const auto& [what, data] : files) {
        int result = 99;
        EXPECT_EQ(test::run_entry(read_nisus, data, &result), "") << what;
        EXPECT_EQ(result, -1) << what;
    }
    // The wrapped corpus documents are of other programs, when they are here.
    if (test::have_corpus()) {
        EXPECT_GT(files.size(), 10u);
    }

    // A data fork whose sidecar names another program.
    test::TempDir dir;
    test::write_file(dir.file("D"), "text");
    test::write_file(dir.file("._D"), test::apple_file(false, "", rsrc, "TEXTttxt"));
    int result = 99;
    read_path(dir.file("D"), &result);
    EXPECT_EQ(result, -1);
}

// A data fork without its sidecar converts, and the line says so.
TEST(NisusReader, MissingSidecarIsSaid) {
    test::TempDir dir;
    test::write_file(dir.file("LETTER"), "Dear\x1C you\r");
    const FormatEntry& nisus = source_formats[lookup_format("nisus", source_formats)];
    const ConversionResult r = convert_file(dir.file("LETTER"), nisus, format_named("ansi", target_formats));
    ASSERT_EQ(r.outcome, Outcome::Converted);
    EXPECT_EQ(r.note, "no resource fork ._LETTER beside it: converted without footnotes");
    const std::string text = test::read_file(r.target_name);
    EXPECT_EQ(text.rfind("Dear", 0), 0u);
    EXPECT_NE(text.find(" you\r\n"), std::string::npos);
}

// The bundled sample of the format, made here: AppleSingle, so that the
// resource fork with its notes travels with the text.
TEST(NisusReader, TheBundledSampleIsMadeHere) {
    const std::string text = "Nisus Writer essay\rOld disks fail slowly\x1C, then all at once.\r";
    const std::string notes = "\x1CMost of ours were fine.\r";
    const std::string rsrc = test::resource_fork({test::nisus_version(), {"FNTX", 128, notes}});
    const std::string file = test::apple_file(true, text, rsrc);
    test::expect_sample("Nisus Writer essay", file, read_nisus);
    test::TempDir dir;
    test::write_file(dir.file("essay"), file);
    int result = 99;
    EXPECT_NE(read_path(dir.file("essay"), &result).find("Most of ours were fine."), std::string::npos);
    EXPECT_EQ(result, 0);
}

}  // namespace
}  // namespace verbatra

namespace verbatra {
namespace {

// The footnotes live in the resource fork: a MacBinary file cut inside it
// converts its text and says what was lost.
TEST(NisusReader, CutResourceForkIsDamage) {
    const std::string rsrc = test::resource_fork({test::nisus_version(), {"FNTX", 128, "\x1C" "A note"}});
    const std::string whole = test::nisus_macbinary("text", rsrc);
    EXPECT_EQ(test::damage_noted(read_nisus, whole), "");
    int result = 9;
    const std::size_t inside_fork = 128 + 128 + rsrc.size() - 10;  // header, padded data fork, most of the fork
    const std::string damage = test::damage_noted(read_nisus, whole.substr(0, inside_fork), &result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(damage.rfind("the resource fork ends at byte ", 0), 0u) << damage;
}

}  // namespace
}  // namespace verbatra
