// Disk images: HFS floppies and hybrid CDs made with hfsutils and
// genisoimage, MFS floppies and DiskCopy 4.2 copies made here. Every
// document inside must convert exactly as a loose AppleSingle copy of it,
// the image must stay as it was, and damage must be told, never hang.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>

#include "nisus_fixture.h"
#include "volume_fixture.h"
#include "readers/disk_image.h"
#include "support.h"

namespace verbatra {
namespace {

using test::be16;
using test::be32;
using test::MacFile;
using test::mfs_floppy;
using test::diskcopy;
using test::set_mfs_link;

const std::string kLetter = "Ch\x8Fre Am\x8Elie,\r\rLe caf\x8E ferme \x88 18 h.\r";
const std::string kNisusRsrc = test::resource_fork({test::nisus_version(), {"FNTX", 128, "\x1COne\r"}});

std::vector<MacFile> documents() {
    return {{"Letter", kLetter, "", "TEXTttxt"},
            {"Read/Me", "Read\x1C this.\r", kNisusRsrc, "TEXTNISI"},
            {"Memo \x8E" "t\x8E", std::string(3000, 'x') + "\rend\r", "", "TEXTttxt"}};
}

using test::have;

// MacBinary II with its CRC, as hcopy -m takes it.
std::string macbinary2(const MacFile& f) {
    std::string h(128, '\0');
    h[1] = static_cast<char>(f.name.size());
    h.replace(2, f.name.size(), f.name);
    h.replace(65, 8, f.type_creator);
    h.replace(83, 4, be32(static_cast<long>(f.data.size())));
    h.replace(87, 4, be32(static_cast<long>(f.rsrc.size())));
    h[122] = h[123] = static_cast<char>(129);
    std::uint16_t crc = 0;
    for (int i = 0; i < 124; ++i) {
        crc ^= static_cast<std::uint8_t>(h[i]) << 8;
        for (int b = 0; b < 8; ++b) crc = static_cast<std::uint16_t>(crc & 0x8000 ? crc << 1 ^ 0x1021 : crc << 1);
    }
    h.replace(124, 2, be16(crc));
    return h + test::padded128(f.data) + test::padded128(f.rsrc);
}

// An HFS floppy of 1440 KB made by hfsutils: "Letter" and "Read/Me" in
// the folder "Docs", the memo at the root. hfsutils keeps its current
// volume in $HOME, so each run has its own.
std::string hfs_floppy(const test::TempDir& dir) {
    const std::string image = dir.file("floppy.img");
    test::write_file(image, std::string(1440 * 1024, '\0'));
    const std::string env = "HOME='" + dir.path() + "' ";
    std::string script = env + "hformat -l Rescue '" + image + "' && " + env + "hmkdir Docs";
    const std::vector<MacFile> docs = documents();
    for (std::size_t i = 0; i < docs.size(); ++i) {
        const std::string bin = dir.file("doc" + std::to_string(i) + ".bin");
        test::write_file(bin, macbinary2(docs[i]));
        const std::string at = (i < 2 ? ":Docs:" : ":") + docs[i].name;
        script += " && " + env + "hcopy -m '" + bin + "' '" + at + "' && rm '" + bin + "'";
    }
    script += " && " + env + "humount";
    EXPECT_EQ(test::run_command("(" + script + ")"), 0) << script;
    const std::string bytes = test::read_file(image);
    test::keep_fixture("disk-hfs", bytes.substr(0, 128 * 1024));  // the B-trees, for the fuzz seeds
    return bytes;
}


// Converts every file of `dir` given in `names` to `target` into OUT and
// returns the targets by their paths below OUT.
std::map<std::string, std::string> converted(const test::TempDir& dir, const std::string& args, int* status = nullptr,
                                             std::string* err = nullptr) {
    std::string out;
    const int s = test::run_in(dir, "--from auto -o out " + args, &out, err);
    if (status) *status = s;
    std::map<std::string, std::string> targets;
    std::function<void(const std::string&)> walk = [&](const std::string& rel) {
        for (const std::string& name : test::TempDir::list_of(dir.file("out" + rel))) {
            const std::string path = rel + "/" + name;
            if (test::run_command("test -d '" + dir.file("out" + path) + "'") == 0) {
                walk(path);
            } else {
                targets[path] = test::read_file(dir.file("out" + path));
            }
        }
    };
    walk("");
    return targets;
}

// What each document converts to from a loose AppleSingle copy, by its
// host name.
std::map<std::string, std::string> loose_targets(const std::vector<MacFile>& files, const std::string& target) {
    test::TempDir dir;
    for (const MacFile& f : files) test::write_file(dir.file(host_safe_name(f.name)), test::apple_file(true, f.data, f.rsrc, f.type_creator));
    std::map<std::string, std::string> out;
    for (const auto& [path, bytes] : converted(dir, "--to " + target + " -r .")) out[path.substr(1)] = bytes;
    return out;
}

std::string last_part(const std::string& path) { return path.substr(path.rfind('/') + 1); }

TEST(DiskImage, HfsFloppyAndItsDiskCopyConvertAsLooseCopies) {
    if (!have("hformat") || !have("hcopy")) GTEST_SKIP() << "hfsutils is not installed";
    test::TempDir dir;
    const std::string floppy = hfs_floppy(dir);
    test::write_file(dir.file("floppy.image"), diskcopy(floppy));
    for (const char* target : {"utf8", "rtf-ansi", "odt"}) {
        SCOPED_TRACE(target);
        test::run_command("rm -rf '" + dir.file("out") + "'");
        const auto loose = loose_targets(documents(), target);
        ASSERT_EQ(loose.size(), 3u);
        int status = -1;
        std::string err;
        const auto from_images = converted(dir, std::string("--to ") + target + " floppy.img floppy.image", &status, &err);
        EXPECT_EQ(status, 0) << err;
        ASSERT_EQ(from_images.size(), 6u) << err;
        for (const auto& [path, bytes] : from_images) {
            const auto same = loose.find(last_part(path));
            ASSERT_NE(same, loose.end()) << path;
            // An OpenDocument file names its title: "Read/Me" from the
            // image, where the loose copy's name cannot hold the '/'.
            if (target == std::string("odt") && path.find("Read_Me") != std::string::npos) continue;
            EXPECT_TRUE(bytes == same->second) << path;
        }
        // Folders mirrored, a '/' in a Mac name made safe.
        EXPECT_TRUE(from_images.count("/floppy.img/Docs/Read_Me" + std::string(target == std::string("utf8") ? ".txt" : target == std::string("odt") ? ".odt" : ".rtf")));
    }
    // Only ever read.
    EXPECT_EQ(test::read_file(dir.file("floppy.img")), floppy);
}

TEST(DiskImage, TheRecordNamesEachFileByTheImageAndItsMacPath) {
    if (!have("hformat") || !have("hcopy")) GTEST_SKIP() << "hfsutils is not installed";
    test::TempDir dir;
    hfs_floppy(dir);
    std::string out, err;
    for (const char* jobs : {"-j1", "-j3"}) {
        const std::string report = dir.file(std::string("report") + jobs);
        ASSERT_EQ(test::run_in(dir, std::string("--from auto --to utf8 -o out") + jobs + " " + jobs + " --report " + report + " floppy.img", &out, &err), 0) << err;
        const std::string lines = test::read_file(report);
        EXPECT_NE(lines.find("\"source\":\"floppy.img#:Docs:Read/Me\",\"format\":\"Nisus Writer\",\"outcome\":\"converted\""), std::string::npos) << lines;
        EXPECT_NE(lines.find("\"source\":\"floppy.img#:Memo \u00E9t\u00E9\""), std::string::npos) << lines;
        EXPECT_EQ(test::count_of(lines, "\"outcome\":\"converted\""), 3) << lines;
        // The footnote came from the resource fork.
        EXPECT_NE(test::read_file(dir.file(std::string("out") + jobs + "/floppy.img/Docs/Read_Me.txt")).find("One"), std::string::npos);
    }
    EXPECT_EQ(test::read_file(dir.file("out-j1/floppy.img/Docs/Letter.txt")), test::read_file(dir.file("out-j3/floppy.img/Docs/Letter.txt")));

    // One file inside, by its path: dumped, and converted on its own.
    ASSERT_EQ(test::run_in(dir, "--from nisus --dump-stream 'floppy.img#:Docs:Read/Me'", &out, &err), 0) << err;
    EXPECT_NE(out.find("One"), std::string::npos) << out;
    ASSERT_EQ(test::run_in(dir, "--from auto --to utf8 -o one 'floppy.img#:Docs:Letter'", &out, &err), 0) << err;
    EXPECT_EQ(test::TempDir::list_of(dir.file("one")), std::vector<std::string>{"Letter.txt"});
    EXPECT_EQ(test::run_in(dir, "--from auto --dump-stream 'floppy.img#:Docs:Nothing'", &out, &err), 3);
    EXPECT_NE(err.find("floppy.img#:Docs:Nothing: cannot be read (no such file in the image)"), std::string::npos) << err;
}

TEST(DiskImage, HybridCdConvertsItsHfsSide) {
    if (!have("genisoimage")) GTEST_SKIP() << "genisoimage is not installed";
    test::TempDir dir;
    ASSERT_EQ(test::run_command("mkdir -p '" + dir.file("cd/Letters") + "'"), 0);
    const std::vector<MacFile> docs{{"letter.txt", kLetter, "", "TEXTttxt"}, {"memo.txt", documents()[2].data, "", "TEXTttxt"}};
    test::write_file(dir.file("cd/Letters/letter.txt"), docs[0].data);
    test::write_file(dir.file("cd/memo.txt"), docs[1].data);
    test::write_file(dir.file("map"), ".txt Raw 'ttxt' 'TEXT' \"text\"\n");
    ASSERT_EQ(test::run_command("cd '" + dir.path() + "' && genisoimage -quiet -hfs -part -map map -o cd.iso cd && rm -r cd map"), 0);
    const std::string before = test::read_file(dir.file("cd.iso"));
    test::keep_fixture("disk-partition-map", before.substr(0, 128 * 1024));
    int status = -1;
    std::string err;
    const auto from_cd = converted(dir, "--to utf8 cd.iso", &status, &err);
    EXPECT_EQ(status, 0) << err;  // the Finder's Desktop files are passed over
    const auto loose = loose_targets(docs, "utf8");
    ASSERT_EQ(from_cd.size(), 2u) << err;
    EXPECT_EQ(from_cd.at("/cd.iso/Letters/letter.txt"), loose.at("letter.txt"));
    EXPECT_EQ(from_cd.at("/cd.iso/memo.txt"), loose.at("memo.txt"));
    EXPECT_EQ(test::read_file(dir.file("cd.iso")), before);
}

TEST(DiskImage, MfsFloppyFollowsItsBlockMap) {
    test::TempDir dir;
    const std::vector<MacFile> docs = documents();
    const std::string volume = mfs_floppy(docs);
    test::write_file(dir.file("old.dsk"), volume);
    test::write_file(dir.file("old.dc42"), diskcopy(volume));
    test::keep_fixture("disk-mfs", volume.substr(0, 64 * 1024));
    test::keep_fixture("disk-diskcopy", diskcopy(volume));
    const auto loose = loose_targets(docs, "rtf-ansi");
    int status = -1;
    std::string err;
    const auto from_images = converted(dir, "--to rtf-ansi -r .", &status, &err);  // images met in a walk open too
    EXPECT_EQ(status, 0) << err;
    ASSERT_EQ(from_images.size(), 6u) << err;
    for (const auto& [path, bytes] : from_images) {
        const auto same = loose.find(last_part(path));
        ASSERT_NE(same, loose.end()) << path;
        EXPECT_TRUE(bytes == same->second) << path;
    }
}

// A file in many pieces (its extents past the catalog's three in the
// extents overflow file), and every fork of the volume, read as hfsutils
// reads them.
TEST(DiskImage, FragmentedFilesReadAsHfsutilsReadsThem) {
    if (!have("hformat") || !have("hcopy")) GTEST_SKIP() << "hfsutils is not installed";
    test::TempDir dir;
    const std::string image = dir.file("frag.img");
    test::write_file(image, std::string(800 * 1024, '\0'));
    const std::string env = "HOME='" + dir.path() + "' ";
    std::string script = env + "hformat -l Frag '" + image + "' >/dev/null";
    // The volume filled with small files, every other one then deleted:
    // the big file can only go into the gaps.
    constexpr int kSmall = 180;
    for (int i = 0; i < kSmall; ++i) {
        test::write_file(dir.file("small" + std::to_string(i)), std::string(4096, static_cast<char>('a' + i % 26)));
        script += " && " + env + "hcopy -r '" + dir.file("small" + std::to_string(i)) + "' :s" + std::to_string(i);
    }
    for (int i = 0; i < kSmall; i += 2) script += " && " + env + "hdel :s" + std::to_string(i);
    std::string big;
    for (int i = 0; i < 60000; ++i) big += static_cast<char>('A' + i % 23);
    test::write_file(dir.file("big"), big);
    script += " && " + env + "hcopy -r '" + dir.file("big") + "' :Big";
    script += " && " + env + "hcopy -r :Big '" + dir.file("big.back") + "' && " + env + "humount";
    ASSERT_EQ(test::run_command("(" + script + ")"), 0) << script;
    ASSERT_EQ(test::read_file(dir.file("big.back")), big);  // what hfsutils reads back

    ByteFile file = ByteFile::open(image, "rb");
    const DiskImage read = read_disk_image(file, true);
    ASSERT_EQ(read.volumes.size(), 1u);
    EXPECT_EQ(read.volumes[0].damage, "");
    const VolumeFile* frag = find_inside(read, ":Big");
    ASSERT_NE(frag, nullptr);
    EXPECT_GT(frag->data.extents.size(), 3u) << "the file is not fragmented enough to need the overflow file";
    test::Capture got;
    ASSERT_TRUE(copy_fork(file, frag->data, got.out()));
    EXPECT_TRUE(got.bytes() == big);
    EXPECT_EQ(read.volumes[0].files.size(), static_cast<std::size_t>(kSmall / 2 + 1));
    for (int i = 1; i < kSmall; i += 2) {
        const VolumeFile* small = find_inside(read, ":s" + std::to_string(i));
        ASSERT_NE(small, nullptr) << i;
        test::Capture bytes;
        copy_fork(file, small->data, bytes.out());
        EXPECT_EQ(bytes.bytes(), std::string(4096, static_cast<char>('a' + i % 26))) << i;
    }
}

// An image inside an image opens, one level deep: the image inside that
// one is a file like any other.
TEST(DiskImage, AnImageInsideAnImageOpensOnce) {
    test::TempDir dir;
    const std::string innermost = mfs_floppy({{"Letter", kLetter, "", "TEXTttxt"}}).substr(0, 16 * 1024);
    const std::string inner = mfs_floppy({{"Letter", kLetter, "", "TEXTttxt"}, {"Deeper", innermost, "", "dImgdCpy"}}).substr(0, 40 * 1024);
    test::write_file(dir.file("outer.dsk"), mfs_floppy({{"Memo", "memo\r", "", "TEXTttxt"}, {"Disk", inner, "", "dImgdCpy"}}));
    std::string out, err;
    EXPECT_EQ(test::run_in(dir, "--from auto --to utf8 -o out outer.dsk", &out, &err), 3) << out << err;
    EXPECT_EQ(out, "outer.dsk#:Disk#:Letter -> out/outer.dsk/Disk/Letter.txt (Texte seul)\n"
                   "outer.dsk#:Memo -> out/outer.dsk/Memo.txt (Texte seul)\n");
    EXPECT_NE(err.find("outer.dsk#:Disk#:Deeper: not a document of a known format"), std::string::npos) << err;
    ASSERT_EQ(test::run_in(dir, "--from text --dump-stream 'outer.dsk#:Disk#:Letter'", &out, &err), 0) << err;
    EXPECT_NE(out.find("18 h."), std::string::npos) << out;
}

// A target takes its source's time, as cp -p gives it: the file's own, or
// the date the Mac recorded in the wrapping or the image; with
// --no-keep-dates, the time it was written.
TEST(DiskImage, TargetsKeepTheTimeTheMacRecorded) {
    test::TempDir dir;
    constexpr std::int64_t k1990 = 641977689;  // 1990-05-06T07:08:09Z
    const std::uint32_t mac = static_cast<std::uint32_t>(k1990 + 2082844800);
    std::string volume = mfs_floppy({{"Letter", kLetter, "", "TEXTttxt"}});
    volume.replace(4 * 512 + 46, 4, be32(static_cast<long>(mac)));  // the first entry's modification date
    test::write_file(dir.file("old.dsk"), volume);
    std::string wrapped = test::macbinary(kLetter, "TEXTttxt");
    wrapped.replace(95, 4, be32(static_cast<long>(mac)));
    test::write_file(dir.file("wrapped"), wrapped);
    test::write_file(dir.file("bare"), kLetter);
    ASSERT_EQ(test::run_command("touch -d '2001-02-03 04:05:06 UTC' '" + dir.file("bare") + "'"), 0);
    auto seconds_of = [&](const std::string& name) {
        std::string out;
        test::run_command("stat -c %Y '" + dir.file(name) + "'", &out);
        return std::stoll(out);
    };
    test::write_file(dir.file("bare2"), kLetter);  // four files: helpers take them with -j2
    for (const char* jobs : {"-j1", "-j2"}) {
        SCOPED_TRACE(jobs);
        test::run_command("rm -rf '" + dir.file("out") + "' '" + dir.file("now") + "'");
        std::string out, err;
        ASSERT_EQ(test::run_in(dir, std::string("--from auto --to rtf-ansi -o out ") + jobs + " old.dsk wrapped bare bare2", &out, &err), 0) << err;
        EXPECT_EQ(seconds_of("out/old.dsk/Letter.rtf"), k1990);
        EXPECT_EQ(seconds_of("out/wrapped.rtf"), k1990);
        EXPECT_EQ(seconds_of("out/bare.rtf"), 981173106);  // 2001-02-03T04:05:06Z
        ASSERT_EQ(test::run_in(dir, std::string("--from auto --to rtf-ansi --no-keep-dates -o now ") + jobs + " bare old.dsk wrapped bare2", &out, &err), 0) << err;
        EXPECT_GT(seconds_of("now/bare.rtf"), 1700000000);
        EXPECT_GT(seconds_of("now/old.dsk/Letter.rtf"), 1700000000);
    }
    // The RTF says where it came from.
    EXPECT_NE(test::read_file(dir.file("out/bare.rtf")).find("{\\info{\\doccomm converted from Texte seul by Verbatra 5.1}}"),
              std::string::npos);
}

// Where the catalog's first leaf node lies in an HFS image, and its number.
std::pair<std::size_t, std::size_t> first_catalog_leaf(const std::string& image) {
    auto u16 = [&](std::size_t at) { return static_cast<std::size_t>(static_cast<std::uint8_t>(image[at]) << 8 | static_cast<std::uint8_t>(image[at + 1])); };
    auto u32 = [&](std::size_t at) { return u16(at) << 16 | u16(at + 2); };
    const std::size_t catalog = u16(1024 + 28) * 512 + u16(1024 + 150) * u32(1024 + 20);
    return {catalog + u32(catalog + 14 + 10) * 512, u32(catalog + 14 + 10)};
}

TEST(DiskImage, DamageIsToldAndWhatCanBeReadConverts) {
    test::TempDir dir;
    const std::vector<MacFile> docs = documents();
    const std::string volume = mfs_floppy(docs);
    struct Case {
        const char* what;
        std::string image;
        int status;
        std::vector<std::string> lines;
    };
    std::vector<Case> cases;
    cases.push_back({"a DiskCopy checksum that fails", diskcopy(volume, 1), 4,
                     {"x.img: damaged: its DiskCopy data checksum fails", "x.img#:Letter -> ", "3 converted, 1 damaged"}});
    {
        // The memo's blocks are 5, 7 and 9: the second links back to the first.
        std::string looped = volume;
        set_mfs_link(looped, 7, 5);
        cases.push_back({"a block map that loops", looped, 4,
                         {"x.img: damaged: a file's blocks link outside the volume or in a loop",
                          "x.img#:Memo \u00E9t\u00E9 -> ", "the data fork ends at byte 2048 of 3005"}});
    }
    if (have("hformat") && have("hcopy")) {
        test::TempDir made;
        const std::string floppy = hfs_floppy(made);
        const std::size_t memo = floppy.find(std::string(3000, 'x'));
        ASSERT_NE(memo, std::string::npos);
        cases.push_back({"an image cut short", floppy.substr(0, memo + 1000), 4,
                         {"x.img#:Memo \u00E9t\u00E9 -> ", "the data fork ends at byte 1000 of 3005: its blocks lie outside the image",
                          "x.img#:Docs:Letter -> "}});
        std::string looped = floppy;
        const auto [leaf, number] = first_catalog_leaf(floppy);
        looped.replace(leaf, 4, be32(static_cast<long>(number)));
        cases.push_back({"a catalog leaf that links to itself", looped, 4,
                         {"x.img: damaged: the catalog has a loop in its leaves", "x.img#:Memo \u00E9t\u00E9 -> "}});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::write_file(dir.file("x.img"), c.image);
        std::string out, err;
        EXPECT_EQ(test::run_in(dir, "--from auto --to utf8 -o out x.img", &out, &err), c.status) << out << err;
        for (const std::string& line : c.lines) EXPECT_NE((out + err).find(line), std::string::npos) << line << "\n" << out << err;
        EXPECT_EQ(test::read_file(dir.file("x.img")), c.image);
        test::run_command("rm -rf '" + dir.file("out") + "'");
    }
}

// The bundled floppy, made here: an MFS volume with two documents.
TEST(DiskImage, TheBundledSampleIsMadeHere) {
    const std::string floppy = mfs_floppy({
        {"Read Me", "This floppy held the office's letters.\r", "", "TEXTttxt"},
        {"Shopping list", "Caf\x8E, th\x8E, cr\x8Fme.\r", "", "TEXTttxt"},
    });
    test::expect_sample("floppy.dsk", floppy, nullptr);
    const DiskImage image = [&] {
        test::TempDir dir;
        test::write_file(dir.file("f"), floppy);
        ByteFile file = ByteFile::open(dir.file("f"), "rb");
        return read_disk_image(file, true);
    }();
    ASSERT_EQ(image.volumes.size(), 1u);
    EXPECT_EQ(image.volumes[0].files.size(), 2u);
}

}  // namespace
}  // namespace verbatra
