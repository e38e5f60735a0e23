#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "pipeline/driver.h"
#include "pipeline/fatal.h"
#include "pipeline/file_utils.h"
#include "pipeline/scratch.h"
#include "platform/platform.h"
#include "readers/text_only.h"
#include "support.h"
#include "writers/plain_text.h"

namespace verbatra {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using Names = std::vector<std::string>;

const FormatEntry& text_only() { return format_named("text", source_formats); }
const FormatEntry& dos() { return format_named("dos", target_formats); }
const FormatEntry& ansi() { return format_named("ansi", target_formats); }

FormatEntry source_with(EntryPoint reader) {
    return {"Test source", "", reader, nullptr, Buffering::kBoth, Buffering::kNeither, "test", nullptr, false, false, false, {}};
}
FormatEntry target_with(EntryPoint writer) {
    return {"Test target", "TST", nullptr, writer, Buffering::kNeither, Buffering::kBoth, "tst", nullptr, false, false, false, {}};
}

TEST(Driver, ConvertsBesideTheSourceAndRemovesTheWorkFile) {
    TempDir dir;
    test::write_file(dir.file("REPORT.TXT"), "Caf\x8E\r");
    ConversionResult r = convert_file(dir.file("REPORT.TXT"), text_only(), dos());
    EXPECT_EQ(r.outcome, Outcome::Converted);
    EXPECT_EQ(r.target_name, dir.file("REPORT.asc"));
    EXPECT_EQ(dir.list(), (Names{"REPORT.TXT", "REPORT.asc"}));
    EXPECT_EQ(test::read_file(dir.file("REPORT.asc")), "Caf\x82\r\n");
}

TEST(Driver, NeverOverwritesAnExistingTarget) {
    TempDir dir;
    // NOTES.ASC is itself the existing target of "Ansi (Windows)".
    test::write_file(dir.file("NOTES.ASC"), "na\x8Eve");
    ConversionResult r = convert_file(dir.file("NOTES.ASC"), text_only(), ansi());
    ASSERT_EQ(r.outcome, Outcome::Converted);
    EXPECT_NE(r.target_name, dir.file("NOTES.asc"));
    EXPECT_EQ(r.target_name.substr(0, dir.file("NOTES.").size()), dir.file("NOTES."));
    EXPECT_EQ(test::read_file(dir.file("NOTES.ASC")), "na\x8Eve");
    EXPECT_EQ(test::read_file(r.target_name), "na\xE9ve");
}

Status refuse_not_of_format(Conversion&, ByteFile&, ByteFile& out) {
    out.put('x');  // even a reader that wrote before refusing leaves nothing
    return kNotOfFormat;
}
Status refuse_empty(Conversion&, ByteFile&, ByteFile&) { return kEmptyInput; }

TEST(Driver, RefusedSourceLeavesNothingBehind) {
    TempDir dir;
    test::write_file(dir.file("DOC"), "abc");
    FormatEntry not_of_format = source_with(refuse_not_of_format);
    FormatEntry empty = source_with(refuse_empty);
    EXPECT_EQ(convert_file(dir.file("DOC"), not_of_format, dos()).outcome, Outcome::NotOfFormat);
    EXPECT_EQ(convert_file(dir.file("DOC"), empty, dos()).outcome, Outcome::EmptySource);
    // A reader or writer that is not built yet converts nothing.
    const FormatEntry* unbuilt = std::find_if(source_formats, source_formats + kSourceCount,
                                              [](const FormatEntry& e) { return e.reader == nullptr; });
    if (unbuilt != source_formats + kSourceCount) {
        EXPECT_EQ(convert_file(dir.file("DOC"), *unbuilt, dos()).outcome, Outcome::NotAvailable);
    }
    FormatEntry no_writer = format_named("dos", target_formats);
    no_writer.writer = nullptr;
    EXPECT_EQ(convert_file(dir.file("DOC"), text_only(), no_writer).outcome, Outcome::NotAvailable);
    EXPECT_EQ(dir.list(), (Names{"DOC"}));
}

Status writer_too_large(Conversion&, ByteFile&, ByteFile& out) {
    out.put_text("half a document");
    return kTooLarge;
}

TEST(Driver, WriterRefusalRemovesTheHalfWrittenTarget) {
    TempDir dir;
    test::write_file(dir.file("BIG"), "text");
    FormatEntry target = target_with(writer_too_large);
    EXPECT_EQ(convert_file(dir.file("BIG"), text_only(), target).outcome, Outcome::TooLarge);
    EXPECT_EQ(dir.list(), (Names{"BIG"}));
}

TEST(Driver, SourceWithTheWorkExtensionSurvives) {
    TempDir dir;
    const std::string original = "keep me \\ whole\r";
    test::write_file(dir.file("DATA.###"), original);
    // And a user's file that happens to have the work name is not touched.
    test::write_file(dir.file("LETTER"), "Dear\r");
    test::write_file(dir.file("LETTER.###"), "mine");
    ASSERT_EQ(convert_file(dir.file("DATA.###"), text_only(), dos()).outcome, Outcome::Converted);
    ASSERT_EQ(convert_file(dir.file("LETTER"), text_only(), dos()).outcome, Outcome::Converted);
    EXPECT_EQ(test::read_file(dir.file("DATA.###")), original);
    EXPECT_EQ(test::read_file(dir.file("DATA.asc")), "keep me \\ whole\r\n");
    EXPECT_EQ(test::read_file(dir.file("LETTER.###")), "mine");
    EXPECT_EQ(dir.list(), (Names{"DATA.###", "DATA.asc", "LETTER", "LETTER.###", "LETTER.asc"}));
}

int g_source_access = -1;
std::string g_names[4];

Status recording_reader(Conversion& conversion, ByteFile& in, ByteFile& out) {
    g_source_access = fcntl(in.descriptor(), F_GETFL) & O_ACCMODE;
    g_names[0] = conversion.source_name;
    return read_text_only(conversion, in, out);
}

Status recording_writer(Conversion& conversion, ByteFile& in, ByteFile& out) {
    g_names[1] = conversion.source_name;
    return write_ascii_dos(conversion, in, out);
}

TEST(Driver, OpensTheSourceForReadingOnlyAndNamesEachPass) {
    TempDir dir;
    test::write_file(dir.file("RO.TXT"), "read only\r");
    chmod(dir.file("RO.TXT").c_str(), 0444);
    FormatEntry source = source_with(recording_reader);
    FormatEntry target = target_with(recording_writer);
    ASSERT_EQ(convert_file(dir.file("RO.TXT"), source, target).outcome, Outcome::Converted);
    EXPECT_EQ(g_source_access, O_RDONLY);
    // Reader and writer are told of the source through the conversion.
    EXPECT_EQ(g_names[0], dir.file("RO.TXT"));
    EXPECT_EQ(g_names[1], dir.file("RO.TXT"));
    EXPECT_EQ(dir.list(), (Names{"RO.TXT", "RO.tst"}));
    EXPECT_EQ(test::read_file(dir.file("RO.tst")), "read only\r\n");
}

// The target takes its name only when it is whole: while the writer
// writes, the folder holds the source and a file of ours whose name starts
// with ".verbatra-", and no file of the target's name.
// A file that takes the target's name meanwhile is never replaced.
std::string g_folder;
std::vector<std::string> g_seen_while_writing;
Status writer_that_looks(Conversion&, ByteFile& in, ByteFile& out) {
    g_seen_while_writing = TempDir::list_of(g_folder);
    test::write_file(g_folder + "/DOC.tst", "someone else's");
    for (int b = in.get(); b != ByteFile::kEnd; b = in.get()) out.put(static_cast<std::uint8_t>(b));
    return kConverted;
}

TEST(Driver, TargetAppearsOnlyWhenWhole) {
    TempDir dir;
    g_folder = dir.path();
    test::write_file(dir.file("DOC"), "text\r");
    const ConversionResult r = convert_file(dir.file("DOC"), text_only(), target_with(writer_that_looks));
    ASSERT_EQ(r.outcome, Outcome::Converted);
    ASSERT_EQ(g_seen_while_writing.size(), 2u);
    EXPECT_EQ(g_seen_while_writing[0].rfind(".verbatra-", 0), 0u);
    EXPECT_EQ(g_seen_while_writing[1], "DOC");
    EXPECT_EQ(test::read_file(dir.file("DOC.tst")), "someone else's");
    EXPECT_NE(r.target_name, dir.file("DOC.tst"));
    EXPECT_EQ(test::read_file(r.target_name), "text\r");
    for (const std::string& name : dir.list()) EXPECT_NE(name.rfind(".verbatra-", 0), 0u) << name;
}

// Fatal stops in the middle of each pass, after output and scratch files
// have been written.
Status reader_that_stops(Conversion&, ByteFile&, ByteFile& out) {
    out.put_text("partial stream");
    ByteFile scratch = open_scratch("ATT.###", "w+b");
    for (std::size_t i = 0; i <= ByteFile::kMemoryLimit; ++i) scratch.put('s');  // to disk
    alloc_or_stop(0);
    return kConverted;
}

Status writer_that_stops(Conversion& conversion, ByteFile&, ByteFile& out) {
    out.put_text("partial target");
    ByteFile scratch = open_scratch("PAR.###", "w+b");
    open_or_stop(conversion.source_name + ".missing/x", "rb");
    return kConverted;
}

TEST(Driver, FatalStopLeavesNothingOfTheFileInProgress) {
    TempDir dir;
    test::write_file(dir.file("A"), "text\r");
    FormatEntry stopping_source = source_with(reader_that_stops);
    FormatEntry stopping_target = target_with(writer_that_stops);
    EXPECT_THROW(convert_file(dir.file("A"), stopping_source, dos()), FatalStop);
    EXPECT_EQ(dir.list(), (Names{"A"}));
    try {
        convert_file(dir.file("A"), text_only(), stopping_target);
        FAIL() << "no fatal stop";
    } catch (const FatalStop& stop) {
        EXPECT_NE(std::string(stop.what()).find(".missing/x"), std::string::npos);
    }
    EXPECT_EQ(dir.list(), (Names{"A"}));
    // The scratch directory holds nothing any more.
    ASSERT_FALSE(scratch_directory().empty());
    platform::DirSearch search;
    platform::DirEntry entry;
    ASSERT_TRUE(search.open(scratch_directory() + "/*"));
    while (search.next(entry)) EXPECT_TRUE(entry.name == "." || entry.name == "..") << entry.name;
}

// A source that cannot be read, or a folder, is that file's outcome, with
// the system's reason; nothing is written and the run can go on.
TEST(Driver, UnreadableSourceOrFolderIsTheFilesOutcome) {
    TempDir dir;
    ConversionResult missing = convert_file(dir.file("NOPE"), text_only(), dos());
    EXPECT_EQ(missing.outcome, Outcome::Unreadable);
    EXPECT_EQ(reason_not_converted(missing, &text_only(), dos()), "cannot be read (No such file or directory)");
    fs::create_directory(dir.file("SUB"));
    ConversionResult folder = convert_file(dir.file("SUB"), text_only(), dos());
    EXPECT_EQ(folder.outcome, Outcome::IsFolder);
    EXPECT_EQ(reason_not_converted(folder, &text_only(), dos()),
              "is a folder; skipped (use --recursive to convert what it holds)");
    test::write_file(dir.file("LOCKED"), "x");
    chmod(dir.file("LOCKED").c_str(), 0);
    if (geteuid() != 0) {  // root reads it anyway
        ConversionResult locked = convert_file(dir.file("LOCKED"), text_only(), dos());
        EXPECT_EQ(reason_not_converted(locked, &text_only(), dos()), "cannot be read (Permission denied)");
    }
    EXPECT_EQ(dir.list(), (Names{"LOCKED", "SUB"}));
}

// With a target path of its own (an output folder), the target goes there,
// its folders made as needed, and nothing is written beside the source.
TEST(Driver, TargetInAnOutputFolderLeavesTheSourceFolderAlone) {
    TempDir src, out;
    test::write_file(src.file("A.TXT"), "Caf\x8E\r");
    chmod(src.path().c_str(), 0555);
    ConversionResult r = prepare_conversion({src.file("A.TXT"), out.file("deep/er/A.TXT")}, &text_only(), dos());
    ASSERT_EQ(r.outcome, Outcome::Converted);
    EXPECT_EQ(TempDir::list_of(out.file("deep/er")).size(), 1u);  // the partial target, under a name of ours
    publish_conversion(r);
    EXPECT_EQ(r.target_name, out.file("deep/er/A.asc"));
    EXPECT_EQ(test::read_file(r.target_name), "Caf\x82\r\n");
    EXPECT_EQ(TempDir::list_of(out.file("deep/er")), (Names{"A.asc"}));
    EXPECT_EQ(src.list(), (Names{"A.TXT"}));
    chmod(src.path().c_str(), 0755);
}

TEST(Scratch, FilesLiveInAPrivateDirectoryNotTheCurrentOne) {
    TempDir dir;
    test::write_file(dir.file("ATT.###"), "the user's own file");
    std::string path = scratch_path("ATT.###");
    EXPECT_EQ(path.find(dir.path()), std::string::npos);
    EXPECT_EQ(path.find(platform::temp_directory()), 0u);
    {
        // A small scratch file never reaches the disk.
        ByteFile f = open_scratch("ATT.###", "w+b");
        f.put_text("scratch");
        f.rewind();
        EXPECT_EQ(f.get(), 's');
        EXPECT_FALSE(platform::exists_exactly(path));
    }
    {
        // A large one goes to the private directory.
        ByteFile f = open_scratch("ATT.###", "w+b");
        for (std::size_t i = 0; i <= ByteFile::kMemoryLimit; ++i) f.put('s');
    }
    EXPECT_EQ(test::read_file(path).size(), ByteFile::kMemoryLimit + 1);
    remove_scratch("ATT.###");
    EXPECT_FALSE(platform::exists_exactly(path));
    EXPECT_EQ(test::read_file(dir.file("ATT.###")), "the user's own file");
}

}  // namespace
}  // namespace verbatra
