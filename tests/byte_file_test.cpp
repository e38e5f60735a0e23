#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "pipeline/byte_file.h"
#include "support.h"

namespace verbatra {
namespace {

// Buffer sizes small enough that every operation crosses buffer edges.
class ByteFileTest : public ::testing::TestWithParam<std::size_t> {};

TEST_P(ByteFileTest, WriteStepBackReadBack) {
    test::TempDir dir;
    ByteFile f = ByteFile::open(dir.file("f"), "w+b");
    ASSERT_TRUE(f.is_open());
    f.set_full_buffering(GetParam());
    {
        ByteOut out(f);
        out.put_text("abcdefgh");
        out.seek_relative(-1);  // take back the h
        out.put('H');
        out.put_text("ij");
        out.seek_relative(-3);  // step back without writing over: nothing is lost
    }
    EXPECT_EQ(f.tell(), 7);
    f.rewind();
    std::string got;
    for (int c; (c = f.get()) != ByteFile::kEnd;) got += static_cast<char>(c);
    EXPECT_EQ(got, "abcdefgHij");
    EXPECT_EQ(f.size(), 10);

    // Reading, then writing in the middle, then reading on.
    f.seek_to(2);
    EXPECT_EQ(f.get(), 'c');
    f.put('D');
    EXPECT_EQ(f.get(), 'e');
    f.seek_relative(-2);
    EXPECT_EQ(f.get(), 'D');
    f.unget();
    EXPECT_EQ(f.get(), 'D');
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
