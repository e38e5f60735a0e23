#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "pipeline/byte_file.h"
#include "support.h"

namespace verbatra {
namespace {

// Buffer sizes small enough that every operation crosses buffer edges.
class ByteFileTest : public ::testing::TestWithParam<std::size_t> {};

// Writes through a cursor with steps back, reads back, writes in the
// middle of what was read and reads on: what any byte file, on disk or in
// memory, must do. Leaves "abcDefgHij" in `f`.
void step_back_and_read(ByteFile& f) {
    {
        ByteOut out(f);
        out.put_text("abcdefgh");
        out.seek_relative(-1);  // take back the h
        out.put('H');
        out.put_text("ij");
        out.seek_relative(-3);  // step back without writing over: nothing is lost
    }
    EXPECT_EQ(f.tell(), 7);
    EXPECT_EQ(f.size(), 10);
    f.rewind();
    std::string got;
    for (int c; (c = f.get()) != ByteFile::kEnd;) got += static_cast<char>(c);
    EXPECT_EQ(got, "abcdefgHij");

    // Reading, then writing in the middle, then reading on.
    f.seek_to(2);
    EXPECT_EQ(f.get(), 'c');
    f.put('D');
    EXPECT_EQ(f.get(), 'e');
    f.seek_relative(-2);
    EXPECT_EQ(f.get(), 'D');
    f.unget();
    EXPECT_EQ(f.get(), 'D');
}

TEST_P(ByteFileTest, WriteStepBackReadBack) {
    test::TempDir dir;
    ByteFile f = ByteFile::open(dir.file("f"), "w+b");
    ASSERT_TRUE(f.is_open());
    f.set_full_buffering(GetParam());
    step_back_and_read(f);
    char buf[16] = {};
    f.rewind();
    EXPECT_EQ(f.read(buf, sizeof buf), 10u);
    EXPECT_EQ(std::string(buf), "abcDefgHij");
    EXPECT_TRUE(f.close());
    EXPECT_EQ(test::read_file(dir.file("f")), "abcDefgHij");
}

TEST_P(ByteFileTest, CursorsReadAndWriteAcrossBuffers) {
    test::TempDir dir;
    std::string data;
    for (int i = 0; i < 1000; ++i) data += static_cast<char>(i * 7);
    test::write_file(dir.file("in"), data);
    ByteFile in = ByteFile::open(dir.file("in"), "rb");
    ByteFile out = ByteFile::open(dir.file("out"), "w+b");
    in.set_full_buffering(GetParam());
    out.set_full_buffering(GetParam());
    {
        ByteIn r(in);
        ByteOut w(out);
        for (int c; (c = r.get()) != ByteFile::kEnd;) w.put(static_cast<std::uint8_t>(c));
    }
    EXPECT_EQ(in.get(), ByteFile::kEnd);
    EXPECT_TRUE(out.close());
    EXPECT_EQ(test::read_file(dir.file("out")), data);
}

INSTANTIATE_TEST_SUITE_P(BufferSizes, ByteFileTest, ::testing::Values(1, 3, 5120));

// Files kept in memory behave as files on disk do, also when they outgrow
// their limit in the middle of any operation and move to disk.
class MemoryFileTest : public ::testing::TestWithParam<std::size_t> {
protected:
    static std::string spill_to(const std::string& name) { return spill_dir_ + "/" + name; }
    static std::string spill_dir_;
};
std::string MemoryFileTest::spill_dir_;

TEST_P(MemoryFileTest, BehavesAsAFileAndMovesToDiskBeyondItsLimit) {
    test::TempDir dir;
    spill_dir_ = dir.path();
    const std::size_t limit = GetParam();
    ByteFile f = ByteFile::in_memory(spill_to, "M.###", limit);
    ASSERT_TRUE(f.is_open());
    EXPECT_EQ(f.get(), ByteFile::kEnd);  // empty at first
    step_back_and_read(f);
    f.seek_to(12);  // past the end: the gap reads as zeros
    f.put('!');
    char buf[16] = {};
    f.rewind();
    EXPECT_EQ(f.read(buf, sizeof buf), 13u);
    EXPECT_EQ(std::string(buf, 13), std::string("abcDefgHij\0\0!", 13));
    f.seek_to(4);
    EXPECT_TRUE(f.truncate_here());
    EXPECT_EQ(f.size(), 4);
    {
        // A long run through the cursors, read back.
        ByteOut out(f);
        for (int i = 0; i < 3000; ++i) out.put(static_cast<std::uint8_t>(i * 7));
    }
    f.rewind();
    {
        ByteIn in(f);
        for (int i = 0; i < 4; ++i) EXPECT_EQ(in.get(), "abcD"[i]);
        for (int i = 0; i < 3000; ++i) ASSERT_EQ(in.get(), static_cast<std::uint8_t>(i * 7)) << i;
        EXPECT_EQ(in.get(), ByteFile::kEnd);
    }
    EXPECT_EQ(f.in_memory(), limit >= 3004);
    EXPECT_TRUE(f.close());
    // Only a file that outgrew its limit reached the disk, whole.
    EXPECT_EQ(dir.list().empty(), limit >= 3004);
    if (limit < 3004) {
        EXPECT_EQ(test::read_file(dir.file("M.###")).size(), 3004u);
    }
}

INSTANTIATE_TEST_SUITE_P(Limits, MemoryFileTest, ::testing::Values(1, 5, 11, 64, ByteFile::kMemoryLimit));

TEST(ByteFile, OpenModes) {
    test::TempDir dir;
    EXPECT_FALSE(ByteFile::open(dir.file("missing"), "rb").is_open());
    test::write_file(dir.file("a"), "one");
    {
        ByteFile a = ByteFile::open(dir.file("a"), "a+b");
        a.put_text("two");
    }
    EXPECT_EQ(test::read_file(dir.file("a")), "onetwo");
    ByteFile x = ByteFile::open(dir.file("a"), "w+bx");  // must not exist yet
    EXPECT_FALSE(x.is_open());
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(test::read_file(dir.file("a")), "onetwo");
    ByteFile ro = ByteFile::open(dir.file("a"), "rb");
    ro.put('z');  // a read-only file takes no bytes, and says so
    EXPECT_FALSE(ro.close());
    EXPECT_EQ(test::read_file(dir.file("a")), "onetwo");
}

}  // namespace
}  // namespace verbatra
