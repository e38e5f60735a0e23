// Whole archives: each file's format recognised from its content, wrapped
// files (MacBinary, AppleSingle, BinHex) converted as their data forks, and
// the command-line runs an archivist makes over a tree.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>

#include "cli/report.h"
#include "pipeline/driver.h"
#include "pipeline/registry.h"
#include "pipeline/sha256.h"
#include "readers/binhex.h"
#include "readers/mac_forks.h"
#include "readers/source_bytes.h"
#include "readers/nisus.h"
#include "support.h"
#include "volume_fixture.h"
#include "nisus_fixture.h"

namespace verbatra {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

const fs::path kCorpus = test::corpus_dir();

// Converts `bytes` (held in a file named NAME) with the reader of `source`
// (null: recognised) into `target`; the target's bytes, or the reason.
std::string converted(const std::string& bytes, const FormatEntry* source, int* format = nullptr,
                      const std::string& name = "DOC") {
    test::TempDir dir;
    test::write_file(dir.file(name), bytes);
    ConversionResult r = prepare_conversion(ConversionRequest{dir.file(name), {}}, source, format_named("rtf-ansi", target_formats));
    publish_conversion(r);
    if (format) *format = r.format;
    if (r.outcome != Outcome::Converted) return "not converted: " + reason_not_converted(r, source, format_named("rtf-ansi", target_formats));
    return test::read_file(r.target_name);
}

// Every real document is recognised as the format of its folder, bare and
// in each wrapping, and converts as its bare data fork does; the Works
// spreadsheets, the resource forks and the Finder-info files are no
// document of ours.
TEST(Recognition, CorpusDocumentsAreTheirOwnFormatInEveryWrapping) {
    if (!test::have_corpus()) GTEST_SKIP() << "no corpus at " << kCorpus << "; skipped";
    const std::map<std::string, int> formats = {
        {"macwrite", 1}, {"clarisworks", 5}, {"ragtime", 7}, {"mactext", 0}, {"msworks_nonwp", -1}};
    int documents = 0, wrapped = 0;
    for (const auto& [folder, format] : formats) {
        for (const auto& e : fs::recursive_directory_iterator(kCorpus / folder)) {
            if (!e.is_regular_file()) continue;
            const std::string path = e.path().string();
            const std::string bytes = test::read_file(path);
            const bool fork_file = e.path().parent_path().filename() == "forks";
            const int expected = fork_file ? -1 : format;
            EXPECT_EQ(test::recognised_format(bytes), expected) << path;
            ++documents;
            if (fork_file || expected < 0) continue;
            // The same document bare: the data fork beside it, or the file
            // of the same name one folder up.
            std::string stem = e.path().filename().string();
            for (const char* ext : {".macbin", ".as", ".hqx", ".datafork"}) {
                if (stem.size() > std::strlen(ext) && stem.compare(stem.size() - std::strlen(ext), std::string::npos, ext) == 0) {
                    stem.resize(stem.size() - std::strlen(ext));
                }
            }
            const fs::path bare_candidates[] = {e.path().parent_path() / (stem + ".datafork"),
                                                e.path().parent_path().parent_path() / stem};
            for (const fs::path& bare : bare_candidates) {
                if (bare == e.path() || !fs::is_regular_file(bare)) continue;
                const std::string expected_target = converted(test::read_file(bare.string()), &source_formats[format]);
                int used = -2;
                EXPECT_EQ(converted(bytes, nullptr, &used), expected_target) << path;
                EXPECT_EQ(converted(bytes, &source_formats[format]), expected_target) << path;
                EXPECT_EQ(used, format) << path;
                ++wrapped;
                break;
            }
        }
    }
    EXPECT_GT(documents, 60);
    EXPECT_GT(wrapped, 30);
}

TEST(Recognition, WhatIsNoDocumentIsNotGuessed) {
    std::mt19937 random(7);
    for (std::size_t size : {1u, 200u, 600u, 5000u}) {
        std::string noise(size, '\0');
        for (char& c : noise) c = static_cast<char>(random());
        noise[0] = 0x01;  // not a NUL or a version number, so only the rest decides
        EXPECT_EQ(test::recognised_format(noise), -1) << size;
    }
    // Plain text only when it looks like text; a NUL or many control bytes
    // make it something else.
    EXPECT_EQ(test::recognised_format("Dear Sir,\rthe caf\x8E is \xD2open\xD3.\r"), 0);
    EXPECT_EQ(test::recognised_format(std::string("Dear\0Sir\r", 9)), -1);
    EXPECT_EQ(test::recognised_format("a\x01\x02\x03\x04\x05 b"), -1);
    EXPECT_EQ(test::recognised_format("%PDF-1.4\r\x01\x02\x03\x05\x06\x07\x08"), -1);
    // The Finder's word beats the look of the bytes: a Works spreadsheet in
    // AppleSingle is nothing of ours, though its data fork might pass.
    EXPECT_EQ(test::recognised_format(test::apple_file(true, "plain words\r", "", "AWSSPSI2")), -1);
    EXPECT_EQ(test::recognised_format(test::apple_file(true, "plain words\r", "", "TEXTttxt")), 0);
    // Empty: said as such.
    EXPECT_EQ(converted("", nullptr), "not converted: empty file");
    EXPECT_EQ(converted(std::string(300, '\0'), nullptr), "not converted: not a document of a known format");
}

// Where two formats could take a file, the stronger evidence wins: the
// Finder over the look of the bytes, a creator that names the program over
// a type alone, and a program's own version marks over its creator.
TEST(Recognition, TheStrongerEvidenceWins) {
    const struct {
        const char* finder;
        const char* format;
    } cases[] = {
        {"TEXTR#+A", "ragtime3"},  // RagTime's creator, though the type is TEXT
        {"TEXTNISI", "nisus"},
        {"ttrottxt", "text"},
        {"WORDMACA", "macwrite"},
        {"AWWPMSWK", "works3"},  // no version in the content: the creator tells
        {"AWWPPSI2", "works2"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(test::recognised_format(test::apple_file(true, "Caf\xC3\xA9 words\r", "", c.finder)),
                  lookup_format(c.format, source_formats))
            << c.finder;
    }
    // With no Finder info, UTF-8's sequences outbid the look of Macintosh
    // text, and the same bytes under a Finder type are that type's.
    EXPECT_EQ(test::recognised_format("Caf\xC3\xA9 words\r"), lookup_format("utf8", source_formats));
}

// Nisus Writer's text looks like any text: the Finder's type and creator
// decide, from the wrapping or from the AppleDouble sidecar beside it.
TEST(Recognition, NisusWriterByItsFinderInfo) {
    const std::string rsrc = test::resource_fork({test::nisus_version()});
    const int nisus = lookup_format("nisus", source_formats);
    EXPECT_EQ(test::recognised_format(test::nisus_macbinary("text\r", rsrc)), nisus);
    EXPECT_EQ(test::recognised_format(test::apple_file(true, "text\r", rsrc)), nisus);
    test::TempDir dir;
    test::write_file(dir.file("AD"), "text\r");
    test::write_file(dir.file("._AD"), test::apple_file(false, "", rsrc));
    ConversionResult r = prepare_conversion(ConversionRequest{dir.file("AD"), {}}, nullptr, format_named("dos", target_formats));
    EXPECT_EQ(r.format, nisus);
    discard_conversion(r);
    // The sidecar itself is no document.
    r = prepare_conversion(ConversionRequest{dir.file("._AD"), {}}, nullptr, format_named("dos", target_formats));
    EXPECT_EQ(r.outcome, Outcome::Sidecar);
    EXPECT_EQ(reason_not_converted(r, nullptr, format_named("dos", target_formats)), "an AppleDouble resource fork, not a document; skipped");
}

// A small BinHex 4.0 encoder, to make files the decoder has not seen: the
// run-length code (runs, a literal 0x90), the six-bit code, the CRCs (the
// CRC itself is checked against the real BinHex download below).
std::string binhex(const std::string& data, const std::string& rsrc = "", const char* type_creator = "TEXTttxt") {
    std::string header = std::string(1, '\x04') + "NAME" + '\0' + std::string(type_creator, 8) + std::string(2, '\0') +
                         test::be32(static_cast<long>(data.size())) + test::be32(static_cast<long>(rsrc.size()));
    auto with_crc = [](const std::string& s) {
        return s + test::be16(crc16(reinterpret_cast<const std::uint8_t*>(s.data()), s.size()));
    };
    const std::string plain = with_crc(header) + with_crc(data) + with_crc(rsrc);
    std::string coded;
    for (std::size_t i = 0; i < plain.size();) {
        std::size_t run = 1;
        while (i + run < plain.size() && plain[i + run] == plain[i] && run < 255) ++run;
        const char c = plain[i];
        coded += c;
        if (c == '\x90') coded += '\0';
        if (run >= 3) {
            coded += '\x90';
            coded += static_cast<char>(run);
            i += run;
        } else {
            ++i;
        }
    }
    static const char kAlphabet[] = "!\"#$%&'()*+,-012345689@ABCDEFGHIJKLMNPQRSTUVXYZ[`abcdefhijklmpqr";
    std::string text = "(This file must be converted with BinHex 4.0)\r\n:";
    unsigned acc = 0;
    int bits = 0, column = 1;
    for (unsigned char b : coded) {
        acc = acc << 8 | b;
        bits += 8;
        while (bits >= 6) {
            bits -= 6;
            text += kAlphabet[(acc >> bits) & 63];
            if (++column == 64) text += "\r\n", column = 0;
        }
    }
    if (bits > 0) text += kAlphabet[(acc << (6 - bits)) & 63];
    return text + ":\r\n";
}

// The data fork (and resource fork) of a BinHex file, as the driver finds
// them in the AppleSingle file the decoder writes; empty when it refuses.
std::string decoded_data(const std::string& hqx, std::string* why = nullptr, std::string* resource = nullptr) {
    test::TempDir dir;
    test::write_file(dir.file("in"), hqx);
    ByteFile in = ByteFile::open(dir.file("in"), "rb");
    ByteFile out = ByteFile::open(dir.file("out"), "w+b");
    const std::string problem = decode_binhex(in, out);
    if (why) *why = problem;
    if (!problem.empty()) return {};
    const MacForks forks = find_forks(out);
    EXPECT_EQ(forks.wrapping, Wrapping::AppleSingle);
    const auto fork = [&](ForkSpan span) {
        const std::vector<std::uint8_t> bytes = read_span(out, span);
        return std::string(bytes.begin(), bytes.end());
    };
    if (resource) *resource = fork(forks.resource);
    return fork(forks.data);
}

TEST(BinHex, DecodesRunsAndChecksEveryCrc) {
    const std::string data = "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\x90\x90\x90\x90" "caf\x8E\r" + std::string(600, 'z');
    std::string resource;
    EXPECT_EQ(decoded_data(binhex(data, "resource"), nullptr, &resource), data);
    EXPECT_EQ(resource, "resource");
    EXPECT_EQ(converted(binhex("Caf\x8E\r"), nullptr), converted("Caf\x8E\r", &format_named("text", source_formats)));

    std::string why;
    std::string varied;
    for (int i = 0; i < 600; ++i) varied += static_cast<char>(i * 7 % 251);
    const std::string good = binhex(varied);
    struct Case {
        const char* what;
        std::string text;
        const char* reason;
    };
    std::string flipped = good;
    flipped[good.size() / 2] = flipped[good.size() / 2] == 'A' ? 'B' : 'A';
    std::string lying = binhex(std::string(40, 'x'));
    const std::vector<Case> cases = {
        {"a changed character", flipped, "a damaged BinHex file (data fork)"},
        {"cut short", good.substr(0, good.size() - 30), "a damaged BinHex file (data fork)"},
        {"no data after the mark", "(This file must be converted with BinHex 4.0)\r\n", "not a BinHex 4.0 file"},
        {"a character BinHex lacks", "(This file must be converted with BinHex 4.0)\r\n:!!!~", "a damaged BinHex file (header)"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(decoded_data(c.text, &why), "") << c.what;
        EXPECT_EQ(why, c.reason) << c.what;
    }
    EXPECT_EQ(converted(flipped, nullptr), "not converted: a damaged BinHex file (data fork); not converted");
    // A real download, against the data fork it holds.
    const fs::path hqx = kCorpus / "mactext" / "LibreOffice__SimpleText_1.0.hqx";
    if (fs::exists(hqx)) {
        EXPECT_EQ(decoded_data(test::read_file(hqx.string())),
                  test::read_file((kCorpus / "mactext" / "LibreOffice__SimpleText_1.0.datafork").string()));
    }
}

TEST(Report, JsonStringsKeepEveryByte) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"plain.txt", "\"plain.txt\""},
        {"a \"b\" \\c", "\"a \\\"b\\\" \\\\c\""},
        {"tab\there\nline", "\"tab\\u0009here\\u000aline\""},
        {"caf\xC3\xA9", "\"caf\xC3\xA9\""},                 // UTF-8 passes
        {"caf\x8E", "\"caf\\udc8e\""},                      // a Mac Roman byte
        {"\xE2\x82", "\"\\udce2\\udc82\""},                 // a cut sequence
        {"\xED\xA0\x80", "\"\\udced\\udca0\\udc80\""},      // an encoded surrogate is no UTF-8
    };
    for (const auto& [in, out] : cases) {
        EXPECT_EQ(json_string(in), out) << in;
        // And read back to the same bytes, as --resume reads them.
        std::string back;
        std::size_t at = 0;
        EXPECT_TRUE(parse_json_string(out, at, back)) << out;
        EXPECT_EQ(back, in);
        EXPECT_EQ(at, out.size());
    }
    ReportLine line;
    line.source = "A";
    line.outcome = "refused";
    line.reason = "empty file";
    EXPECT_EQ(report_line(line), "{\"source\":\"A\",\"format\":null,\"outcome\":\"refused\",\"target\":null,"
                                 "\"reason\":\"empty file\",\"source_size\":0,\"target_size\":0,\"pictures_kept\":0,\"pictures_dropped\":0,"
                                 "\"target_format\":null,\"source_sha256\":null,\"data_fork_sha256\":null,"
                                 "\"resource_fork_sha256\":null,\"target_sha256\":null,\"program\":\"Verbatra\","
                                 "\"version\":\"5.1\",\"started\":null,\"ended\":null,\"format_version\":null,\"puid\":null,"
                                 "\"mime\":null,\"basis\":null,\"type\":null,\"creator\":null,\"wrapping\":null,"
                                 "\"wrapping_puid\":null,\"warnings\":[],\"losses\":null}\n");
}

// --- The command line over trees ---

using test::run_in;
using test::verbatra;

// Every file under `root` with its bytes, by relative path.
std::map<std::string, std::string> tree_of(const std::string& root) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        if (e.is_regular_file()) files[fs::relative(e.path(), root).string()] = test::read_file(e.path().string());
    }
    return files;
}

// A small archive: text and MacWrite-like names in folders, names that
// take the same target, an empty file, a sidecar and a __MACOSX folder.
void make_archive(const std::string& root) {
    fs::create_directories(root + "/letters/old");
    fs::create_directories(root + "/__MACOSX/letters");
    test::write_file(root + "/README", "Read me\r");
    test::write_file(root + "/README.TXT", "Read me too\r");  // both want README.asc
    test::write_file(root + "/EMPTY", "");
    test::write_file(root + "/BINARY", std::string("\0\1\2\3\4\5", 6));
    for (int i = 0; i < 12; ++i) {
        test::write_file(root + "/letters/L" + std::to_string(i), "Letter " + std::to_string(i) + " caf\x8E\r");
    }
    test::write_file(root + "/letters/old/OLD", "old\r");
    const std::string sidecar = test::apple_file(false, "", "", "TEXTttxt");
    test::write_file(root + "/letters/._L1", sidecar);
    test::write_file(root + "/__MACOSX/letters/._L1", sidecar);
}

TEST(ArchiveRun, ReadOnlyTreeConvertsIntoAnOutputFolder) {
    test::TempDir base;
    const std::string tree = base.file("cdrom"), out = base.file("out");
    chmod(base.path().c_str(), 0755);
    make_archive(tree);
    const auto before = tree_of(tree);
    fs::create_directory(out);
    test::run_command("chmod -R a-w " + tree + " && chmod 777 " + out);
    // Root writes anywhere; the command runs as nobody then.
    const std::string as_user = geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
    if (!as_user.empty() && test::run_command("cd " + tree + " && " + as_user + verbatra("--help")) != 0) {
        test::run_command("chmod -R u+w " + tree);
        GTEST_SKIP() << "nobody cannot run " << VERBATRA_BINARY << " from here; skipped";
    }
    std::string o, e;
    const int status =
        test::run_command("cd " + tree + " && " + as_user + verbatra("--from auto --to ansi -j 2 -o " + out + " -r ."), &o, &e);
    test::run_command("chmod -R u+w " + tree);
    EXPECT_EQ(status, 3) << e;  // the empty and the binary file
    EXPECT_EQ(tree_of(tree), before);  // nothing written in the tree
    const auto targets = tree_of(out);
    EXPECT_EQ(targets.size(), 2u + 12u + 1u);
    EXPECT_EQ(targets.at("letters/L3.asc"), "Letter 3 caf\xE9\r\n");
    EXPECT_EQ(targets.at("letters/old/OLD.asc"), "old\r\n");
    // Both READMEs want README.asc: the second takes a counter name.
    ASSERT_TRUE(targets.count("README.asc") && targets.count("README.001")) << o;
    EXPECT_EQ(targets.at("README.asc") + targets.at("README.001") == "Read me\r\nRead me too\r\n" ||
                  targets.at("README.001") + targets.at("README.asc") == "Read me\r\nRead me too\r\n",
              true);
    EXPECT_NE(o.find("letters/L3 -> " + out + "/letters/L3.asc (Texte seul)\n"), std::string::npos) << o;
    EXPECT_NE(e.find("EMPTY: empty file\n"), std::string::npos) << e;
    EXPECT_NE(e.find("BINARY: not a document of a known format\n"), std::string::npos) << e;
    EXPECT_NE(e.find("15 converted, 2 refused, 0 failed\n"), std::string::npos) << e;
}

// Helpers change nothing a user sees: the same lines in the same order,
// the same summary, the same names (the counter extensions included) and
// bytes.
TEST(ArchiveRun, JobsGiveTheLinesNamesAndBytesOfOneAtATime) {
    test::TempDir a, b;
    make_archive(a.path());
    make_archive(b.path());
    for (int i = 0; i < 120; ++i) {
        // Many files that all want the same target name: more than are held
        // back at once, so the run must make room while it goes.
        for (const test::TempDir* d : {&a, &b}) test::write_file(d->file("letters/L1." + std::to_string(100 + i)), "x\r");
    }
    std::string out1, err1, out4, err4;
    const int s1 = run_in(a.path(), "--from text --to rtf-ansi -j 1 -r '*'", &out1, &err1);
    const int s4 = run_in(b.path(), "--from text --to rtf-ansi -j 4 -r '*'", &out4, &err4);
    EXPECT_EQ(s1, s4);
    EXPECT_EQ(out1, out4);
    EXPECT_EQ(err1, err4);
    const auto tree = tree_of(a.path());
    EXPECT_EQ(tree, tree_of(b.path()));
    // L1 and its 120 namesakes: 121 sources, 121 targets, none overwritten.
    EXPECT_EQ(std::count_if(tree.begin(), tree.end(), [](const auto& f) {
                  return f.first == "letters/L1" || f.first.rfind("letters/L1.", 0) == 0;
              }),
              242);
    // The sidecars and the __MACOSX folder were passed over.
    EXPECT_EQ(out1.find("._L1"), std::string::npos);
    EXPECT_EQ(err1.find("._L1"), std::string::npos);
    EXPECT_EQ(out1.find("__MACOSX"), std::string::npos);
}

TEST(ArchiveRun, ReportAndListOfFiles) {
    test::TempDir dir;
    make_archive(dir.path());
    test::write_file(dir.file("list"), "README\nletters/L2\nMISSING\n\nletters\n");
    std::string out, err;
    // The list from standard input; the folder in it converts its tree
    // with --recursive; the output folder inside the tree is not walked.
    EXPECT_EQ(test::run_command("cd " + dir.path() + " && (cat list | " +
                                    verbatra("--from text --to dos -o out --report run.jsonl -r --files-from -") + ")",
                                &out, &err),
              3)
        << err;
    EXPECT_EQ(out.find("out/letters/L2.asc (Texte seul)"), std::string::npos);  // not recognised: chosen
    EXPECT_NE(out.find("letters/L2 -> out/letters/L2.asc\n"), std::string::npos) << out;
    EXPECT_NE(err.find("MISSING: cannot be read (No such file or directory)\n"), std::string::npos) << err;
    const std::string report = test::read_file(dir.file("run.jsonl"));
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; (end = report.find('\n', at)) != std::string::npos; at = end + 1) {
        lines.push_back(report.substr(at, end - at));
    }
    // The run, then README, L2, MISSING, then the tree of letters (13
    // files, L2 again).
    ASSERT_EQ(lines.size(), 1u + 3u + 13u);
    EXPECT_EQ(lines[0].substr(0, lines[0].find(",\"started\":")),
              "{\"run\":{\"program\":\"Verbatra\",\"version\":\"5.1\",\"from\":\"Texte seul\",\"to\":\"Ascii (DOS)\","
              "\"output_dir\":" + json_string(fs::canonical(dir.path()).string() + "/out") + ",\"recursive\":true");
    EXPECT_EQ(test::without_fixity(lines[1]), "{\"source\":\"README\",\"format\":\"Texte seul\",\"outcome\":\"converted\",\"target\":\"out/README.asc\","
                        "\"reason\":null,\"source_size\":8,\"target_size\":9,\"pictures_kept\":0,\"pictures_dropped\":0}");
    EXPECT_EQ(test::without_fixity(lines[3]), "{\"source\":\"MISSING\",\"format\":null,\"outcome\":\"failed\",\"target\":null,"
                        "\"reason\":\"cannot be read (No such file or directory)\",\"source_size\":0,\"target_size\":0,\"pictures_kept\":0,\"pictures_dropped\":0}");
    // Every line is JSON an outside reader takes.
    EXPECT_EQ(test::run_command("python3 -c 'import json,sys; [json.loads(l) for l in open(sys.argv[1])]' " +
                                dir.file("run.jsonl")),
              0);
    // A second run into the same folder: the report grows, the targets take
    // counter names, nothing in out/ is taken for a source, and what a run
    // that was killed left in the output folder goes.
    const std::string mine = partial_name_for("x");
    const std::string dead = ".verbatra-" + parse_partial_name(mine).host + "-2147483646-3.part";
    // A named folder goes in under its own name, whatever lies above it.
    fs::create_directories(dir.file("out/old"));
    test::write_file(dir.file("out/old/" + dead), "half");
    EXPECT_EQ(run_in(dir.path(), "--from text --to dos -o out --report run.jsonl -r letters/old", &out, &err), 0) << err;
    EXPECT_EQ(out, "letters/old/OLD -> out/old/OLD.asc\n");
    EXPECT_EQ(err, "out/old/" + dead + ": left by a run that ended before it was done; removed\n"
                   "1 converted, 0 refused, 0 failed\n");
    EXPECT_FALSE(fs::exists(dir.file("out/old/" + dead)));
    EXPECT_EQ(run_in(dir.path(), "--from text --to dos -o out --report run.jsonl -r letters/old", &out, &err), 0) << err;
    EXPECT_EQ(out, "letters/old/OLD -> out/old/OLD.001\n");
    const std::string grown = test::read_file(dir.file("run.jsonl"));
    EXPECT_EQ(std::count(grown.begin(), grown.end(), '\n'), 17 + 2 + 2);
}

// A transfer for Archivematica: each target below
// manualNormalization/preservation, a copy of its source at the same path
// in the transfer (for a file inside a disk image, its AppleSingle form),
// and normalization.csv, read back by Python's csv module, naming both.
TEST(ArchiveRun, ArchivematicaTransferHoldsCopiesTargetsAndTheirList) {
    test::TempDir dir;
    make_archive(dir.file("tree"));
    test::write_file(dir.file("tree/Memo, \"v2\".old"), "Memo\r");
    test::write_file(dir.file("tree/floppy.dsk"), test::mfs_floppy({{"Letter", "Dear Anne\r", "", "TEXTttxt"}}));
    std::string out, err;
    EXPECT_EQ(run_in(dir.path(), "--from auto --to odt -j1 -r -o T1 --layout archivematica --report r.jsonl tree", &out, &err), 3) << err;
    EXPECT_EQ(run_in(dir.path(), "--from auto --to odt -j4 -r -o T4 --layout archivematica tree", &out, &err), 3) << err;
    const auto transfer = tree_of(dir.file("T1"));
    const auto helped = tree_of(dir.file("T4"));
    ASSERT_EQ(transfer.size(), helped.size());
    for (const auto& [name, bytes] : transfer) {
        EXPECT_TRUE(helped.count(name) == 1 && helped.at(name) == bytes) << name << " differs with helpers";
    }
    const auto sources = tree_of(dir.file("tree"));

    std::string rows;
    ASSERT_EQ(test::run_command("cd '" + dir.file("T1") + "' && python3 -c 'import csv; r = list(csv.reader(open("
                                "\"manualNormalization/normalization.csv\", newline=\"\"))); "
                                "print(r[0]); [print(row[0] + \"|\" + row[1] + \"|\" + row[2]) for row in r[1:]]'",
                                &rows, &err),
              0)
        << err;
    EXPECT_EQ(rows.substr(0, rows.find('\n')), "['original', 'access', 'preservation']");
    std::map<std::string, std::string> listed;
    for (std::size_t at = rows.find('\n') + 1, end; (end = rows.find('\n', at)) != std::string::npos; at = end + 1) {
        const std::string row = rows.substr(at, end - at);
        const std::size_t bar = row.find('|');
        EXPECT_EQ(row.substr(bar, 2), "||") << row;  // no access copy of ours
        listed[row.substr(0, bar)] = row.substr(bar + 2);
    }
    // Every copy in the transfer has its row, and every row a copy and a
    // target that are there; a copy is its source byte for byte.
    int copies = 0;
    for (const auto& [name, bytes] : transfer) {
        if (name.rfind("manualNormalization/", 0) == 0) continue;
        ++copies;
        ASSERT_EQ(listed.count(name), 1u) << name;
        EXPECT_EQ(transfer.count(listed[name]), 1u) << listed[name];
        EXPECT_EQ(listed[name].rfind("manualNormalization/preservation/tree/", 0), 0u) << listed[name];
        if (name.rfind("tree/floppy.dsk/", 0) == 0) {
            EXPECT_EQ(bytes.substr(0, 4), std::string("\0\5\x16\0", 4)) << "AppleSingle";
        } else {
            EXPECT_EQ(bytes, sources.at(name.substr(5))) << name;
        }
    }
    EXPECT_EQ(copies, static_cast<int>(listed.size()));
    EXPECT_EQ(listed["tree/Memo, \"v2\".old"], "manualNormalization/preservation/tree/Memo, \"v2\".odt");
    EXPECT_EQ(listed["tree/floppy.dsk/Letter"], "manualNormalization/preservation/tree/floppy.dsk/Letter.odt");
    // README and README.TXT want the same target: one takes a counter name.
    EXPECT_EQ(listed["tree/README.TXT"].substr(0, 40) + listed["tree/README"].substr(0, 40),
              "manualNormalization/preservation/tree/RE" "manualNormalization/preservation/tree/RE");
    EXPECT_NE(listed["tree/README.TXT"], listed["tree/README"]);
    EXPECT_EQ(transfer.count("tree/EMPTY"), 0u);  // refused: no copy, no row

    // Resumed, the run adds no row twice; a file of its own where a copy
    // goes is never replaced, and that source has no target.
    test::write_file(dir.file("tree/NEW"), "New\r");
    test::write_file(dir.file("T1/tree/letters/L3"), "another file\r");
    fs::remove(dir.file("T1/manualNormalization/preservation/tree/letters/L3.odt"));
    EXPECT_EQ(run_in(dir.path(), "--from auto --to odt -r -o T1 --layout archivematica --resume r.jsonl tree", &out, &err), 3) << err;
    EXPECT_NE(err.find("tree/letters/L3: T1/tree/letters/L3 already holds another file"), std::string::npos) << err;
    EXPECT_EQ(test::read_file(dir.file("T1/tree/letters/L3")), "another file\r");
    EXPECT_FALSE(fs::exists(dir.file("T1/manualNormalization/preservation/tree/letters/L3.odt")));
    const std::string list = test::read_file(dir.file("T1/manualNormalization/normalization.csv"));
    EXPECT_EQ(test::count_of(list, "original,access,preservation"), 1);
    EXPECT_EQ(test::count_of(list, "\ntree/NEW,,manualNormalization/preservation/tree/NEW.odt\n"), 1);
    EXPECT_EQ(test::count_of(list, "\ntree/letters/L3,"), 1);  // the first run's row, and no other
    EXPECT_EQ(test::count_of(list, "\ntree/letters/L0,"), 1);

    EXPECT_EQ(run_in(dir.path(), "--from auto --to odt --layout archivematica tree/NEW", &out, &err), 2);
    EXPECT_NE(err.find("--layout archivematica needs an output folder (-o DIR)"), std::string::npos) << err;
    EXPECT_EQ(run_in(dir.path(), "--from auto --to odt -o X --layout dspace tree/NEW", &out, &err), 2);
    EXPECT_NE(err.find("--layout takes \"archivematica\", not \"dspace\""), std::string::npos) << err;
}

// SHA-256 as sha256sum computes it, across the block boundaries.
TEST(Fixity, Sha256AgreesWithSha256sum) {
    test::TempDir dir;
    for (const std::size_t size : {0ul, 3ul, 55ul, 56ul, 63ul, 64ul, 65ul, 1000000ul}) {
        std::string bytes(size, 'a');
        for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7 + i / 251);
        test::write_file(dir.file("f"), bytes);
        std::string out;
        ASSERT_EQ(test::run_command("sha256sum '" + dir.file("f") + "'", &out), 0);
        Sha256 sum;
        sum.add(bytes.data(), bytes.size() / 3);  // in pieces, as files are read
        sum.add(bytes.data() + bytes.size() / 3, bytes.size() - bytes.size() / 3);
        EXPECT_EQ(sum.hex(), out.substr(0, 64)) << size;
    }
}

// The report records the fixity of every source (as stored, and each fork
// out of its wrapping) and of every target: sha256sum agrees.
TEST(Fixity, TheReportRecordsWhatSha256sumFinds) {
    test::TempDir dir;
    const std::string data = "Caf\x8E notes\r", rsrc = std::string(300, 'r');
    test::write_file(dir.file("bare"), data);
    test::write_file(dir.file("wrapped"), test::macbinary(data, "TEXTttxt"));
    test::write_file(dir.file("forks"), test::apple_file(true, data, rsrc, "TEXTttxt"));
    test::write_file(dir.file("data.fork"), data);
    test::write_file(dir.file("rsrc.fork"), rsrc);
    test::write_file(dir.file("bare2"), data);  // four files: helpers take them with -j2
    std::string out, err;
    ASSERT_EQ(run_in(dir.path(), "--from auto --to rtf-ansi -o out -j1 --report r.jsonl bare wrapped forks bare2", &out, &err), 0) << err;
    ASSERT_EQ(run_in(dir.path(), "--from auto --to rtf-ansi -o out2 -j2 --report r2.jsonl bare wrapped forks bare2", &out, &err), 0) << err;
    auto sum_of = [&](const std::string& name) {
        std::string printed;
        test::run_command("sha256sum '" + dir.file(name) + "'", &printed);
        return "\"" + printed.substr(0, 64) + "\"";
    };
    // With helpers, the lines are those of a run without, times aside.
    auto without_times = [](std::string text) {
        for (const char* key : {"\"started\":\"", "\"ended\":\""}) {
            for (std::size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + 1)) {
                text.replace(at + std::strlen(key), 20, "");
            }
        }
        return text;
    };
    const std::string report = test::read_file(dir.file("r.jsonl"));
    std::string helped = test::read_file(dir.file("r2.jsonl"));
    for (std::size_t at; (at = helped.find("out2/")) != std::string::npos;) helped.replace(at, 5, "out/");
    EXPECT_EQ(without_times(helped.substr(helped.find('\n'))), without_times(report.substr(report.find('\n'))));
    // What the source is, as --identify tells it.
    EXPECT_NE(report.find("\"format_version\":\"Mac OS Roman\",\"puid\":\"x-fmt/14\",\"mime\":\"text/plain\","
                          "\"basis\":\"Finder type and creator\",\"type\":\"TEXT\",\"creator\":\"ttxt\","
                          "\"wrapping\":\"AppleSingle 2\",\"wrapping_puid\":\"fmt/968\",\"warnings\":[]"),
              std::string::npos) << report;
    for (const char* name : {"bare", "wrapped", "forks"}) {
        SCOPED_TRACE(name);
        const std::size_t at = report.find(std::string("{\"source\":\"") + name + "\"");
        ASSERT_NE(at, std::string::npos) << report;
        const std::string line = report.substr(at, report.find('\n', at) - at);
        EXPECT_NE(line.find("\"source_sha256\":" + sum_of(name)), std::string::npos) << line;
        EXPECT_NE(line.find("\"data_fork_sha256\":" + sum_of("data.fork")), std::string::npos) << line;
        EXPECT_NE(line.find("\"target_sha256\":" + sum_of(std::string("out/") + name + ".rtf")), std::string::npos) << line;
        EXPECT_NE(line.find(std::string("\"resource_fork_sha256\":") +
                            (name == std::string("forks") ? sum_of("rsrc.fork") : "null")),
                  std::string::npos) << line;
        EXPECT_NE(line.find("\"target_format\":\"RTF Ansi (Windows)\""), std::string::npos) << line;
        EXPECT_NE(line.find("\"started\":\"20"), std::string::npos) << line;
        EXPECT_NE(line.find("Z\",\"ended\":\"20"), std::string::npos) << line;
    }
}

// The record says what each target could not carry: here the dagger and
// the trade mark DOS lacks (its e acute is DOS's own), and of a file cut
// short the part that was not read; the same through helpers.
TEST(Fixity, TheReportSaysWhatTheTargetLost) {
    test::TempDir dir;
    const std::string text = "Caf\x8E \xA0 \xAA\r";
    for (const char* name : {"a", "b", "c"}) test::write_file(dir.file(name), text);
    const std::string wrapped = test::macbinary(text + "and more text\r", "TEXTttxt");
    test::write_file(dir.file("cut"), wrapped.substr(0, 128 + 8));
    for (const char* jobs : {"-j1", "-j2"}) {
        SCOPED_TRACE(jobs);
        std::string out, err;
        const std::string report = dir.file(std::string("r") + jobs);
        EXPECT_EQ(run_in(dir.path(), std::string("--from auto --to dos -o out") + jobs + " " + jobs + " --report " + report + " a b c cut", &out, &err), 4) << err;  // damaged
        const std::string lines = test::read_file(report);
        EXPECT_EQ(test::count_of(lines, "\"losses\":{\"pictures\":0,\"stand_ins\":2,\"font_sizes\":0,\"colours\":0,"
                                        "\"notes_as_text\":0,\"unread\":null}"), 3) << lines;
        EXPECT_NE(lines.find("\"stand_ins\":2,\"font_sizes\":0,\"colours\":0,\"notes_as_text\":0,"
                             "\"unread\":\"the data fork ends at byte 8 of 23: file cut short\"}"), std::string::npos) << lines;
    }
}

// What an interrupted run left, taken up again: the files the report
// records as converted are passed over, their targets are no sources, and
// the rest converts.
TEST(ArchiveRun, ResumePassesOverWhatWasConverted) {
    test::TempDir dir;
    for (const char* name : {"A", "B", "C"}) test::write_file(dir.file(name), std::string(name) + "\r");
    std::string out, err;
    ASSERT_EQ(run_in(dir.path(), "--from text --to dos --report run.jsonl A", &out, &err), 0) << err;
    // A line cut short by a kill ends the report.
    test::write_file(dir.file("run.jsonl"), test::read_file(dir.file("run.jsonl")) + "{\"source\":\"B\",\"outc");
    EXPECT_EQ(run_in(dir.path(), "--from text --to dos --resume run.jsonl A B C", &out, &err), 0) << err;
    EXPECT_EQ(out, "A -> A.asc (already converted)\nB -> B.asc\nC -> C.asc\n");
    EXPECT_EQ(err, "2 converted, 1 already converted, 0 refused, 0 failed\n");
    const std::string report = test::read_file(dir.file("run.jsonl"));
    // The resumed run's line, then one line a file; the one passed over
    // keeps what the first run recorded of it.
    const std::string resumed = report.substr(report.find("\"outc\n") + 6);
    EXPECT_EQ(resumed.substr(0, resumed.find(",\"started\":")),
              "{\"run\":{\"program\":\"Verbatra\",\"version\":\"5.1\",\"from\":\"Texte seul\",\"to\":\"Ascii (DOS)\","
              "\"output_dir\":null,\"recursive\":false");
    EXPECT_EQ(test::without_fixity(resumed.substr(resumed.find('\n') + 1)),
              "{\"source\":\"A\",\"format\":\"Texte seul\",\"outcome\":\"already converted\",\"target\":\"A.asc\","
              "\"reason\":null,\"source_size\":2,\"target_size\":3,\"pictures_kept\":0,\"pictures_dropped\":0}\n"
              "{\"source\":\"B\",\"format\":\"Texte seul\",\"outcome\":\"converted\",\"target\":\"B.asc\","
              "\"reason\":null,\"source_size\":2,\"target_size\":3,\"pictures_kept\":0,\"pictures_dropped\":0}\n"
              "{\"source\":\"C\",\"format\":\"Texte seul\",\"outcome\":\"converted\",\"target\":\"C.asc\","
              "\"reason\":null,\"source_size\":2,\"target_size\":3,\"pictures_kept\":0,\"pictures_dropped\":0}\n");
    // A target that is gone converts again, under its own name; over a
    // folder, the earlier targets and the report are no sources.
    fs::remove(dir.file("B.asc"));
    EXPECT_EQ(run_in(dir.path(), "--from text --to dos --resume run.jsonl '*'", &out, &err), 0) << err;
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; (end = out.find('\n', at)) != std::string::npos; at = end + 1) {
        lines.push_back(out.substr(at, end - at));
    }
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(lines, (Names{"A -> A.asc (already converted)", "B -> B.asc", "C -> C.asc (already converted)"}));
    EXPECT_EQ(dir.list(), (Names{"A", "A.asc", "B", "B.asc", "C", "C.asc", "run.jsonl"}));
    EXPECT_EQ(run_in(dir.path(), "--from text --to dos --resume nothing.jsonl A", &out, &err), 1);

    // A report that cannot be written stops the run, and nothing of the
    // files held back for it is left.
    for (int j : {1, 2}) {
        test::TempDir full;
        for (const char* name : {"A", "B", "C"}) test::write_file(full.file(name), "x\r");
        EXPECT_EQ(run_in(full.path(), "--from text --to dos -j " + std::to_string(j) + " --report /dev/full A B C", &out, &err), 1);
        EXPECT_EQ(err, "Verbatra v. 5.1: cannot write the report file (disk full?)\n0 converted, 0 refused, 0 failed; stopped\n");
        EXPECT_EQ(full.list(), (Names{"A", "B", "C"})) << j;
    }
}

// Killed outright at random moments, helpers and all (as by a power cut),
// and looked at after each kill: besides the sources only complete targets
// (each the bytes of a clean conversion) and files of ours. Resumed each
// time, the runs end with exactly one complete target per source.
TEST(ArchiveRun, KilledRunsResumeToExactlyOneTargetPerSource) {
    test::TempDir dir, clean;
    std::mt19937 random(11);
    std::map<std::string, std::string> expected;  // target path -> bytes
    for (int i = 0; i < 48; ++i) {
        const std::string folder = std::string("F0\0F1\0F2", 8).substr(static_cast<std::size_t>(i % 3) * 3, 2);
        fs::create_directories(dir.file(folder));
        fs::create_directories(clean.file(folder));
        std::string text;
        const int lines = i % 7 == 0 ? 6000 : 20;  // some long enough to be killed inside
        for (int l = 0; l < lines; ++l) text += "Line " + std::to_string(l) + " of the caf\x8E document\r";
        const std::string name = folder + "/DOC" + std::to_string(i) + ".TXT";
        test::write_file(dir.file(name), text);
        test::write_file(clean.file(name), text);
    }
    std::string out, err;
    // How long a whole run takes here, so that the kills land inside runs
    // however fast the machine.
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(run_in(clean.path(), "--from text --to rtf-ansi -j 1 -r '*.TXT'", &out, &err), 0) << err;
    const auto whole = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
    const unsigned long window = std::max<unsigned long>(1000, static_cast<unsigned long>(whole.count()) * 2 / 5);
    for (const auto& [path, bytes] : tree_of(clean.path())) {
        if (path.size() > 4 && path.compare(path.size() - 4, 4, ".rtf") == 0) expected[path] = bytes;
    }
    ASSERT_EQ(expected.size(), 48u);

    auto look = [&](int round) {
        for (const auto& [path, bytes] : tree_of(dir.path())) {
            const std::string name = fs::path(path).filename().string();
            if (name == "run.jsonl" || name.rfind(".verbatra-", 0) == 0) continue;
            if (name.size() > 4 && name.compare(name.size() - 4, 4, ".TXT") == 0) continue;
            ASSERT_TRUE(expected.count(path)) << "round " << round << ": " << path;
            EXPECT_TRUE(bytes == expected.at(path)) << "round " << round << ": a target not whole: " << path;
        }
    };
    int killed = 0;
    for (int round = 0; round < 16; ++round) {
        const bool have_report = fs::exists(dir.file("run.jsonl"));
        const std::string report = have_report ? "--resume" : "--report";
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            setpgid(0, 0);
            if (chdir(dir.path().c_str()) != 0) _exit(2);
            const int devnull = open("/dev/null", O_WRONLY);
            dup2(devnull, 1);
            dup2(devnull, 2);
            execl(VERBATRA_BINARY, VERBATRA_BINARY, "--from", "text", "--to", "rtf-ansi", "-j", "2", "-r",
                  report.c_str(), "run.jsonl", "*.TXT", static_cast<char*>(nullptr));
            _exit(2);
        }
        setpgid(child, child);
        usleep(static_cast<useconds_t>(random() % window));
        int status = 0;
        if (waitpid(child, &status, WNOHANG) == 0) {
            kill(-child, SIGKILL);
            waitpid(child, &status, 0);
            ++killed;
        }
        usleep(20000);  // the helpers, killed with it, are gone
        look(round);
    }
    EXPECT_GT(killed, 5);
    EXPECT_EQ(run_in(dir.path(), "--from text --to rtf-ansi -r --resume run.jsonl '*.TXT'", &out, &err), 0) << err;
    Names names, wanted;
    const auto tree = tree_of(dir.path());
    for (const auto& [path, bytes] : tree) {
        if (path.size() > 4 && path.compare(path.size() - 4, 4, ".TXT") == 0) continue;
        if (path != "run.jsonl") names.push_back(path);
    }
    for (const auto& [path, bytes] : expected) wanted.push_back(path);
    EXPECT_EQ(names, wanted);
    for (const auto& [path, bytes] : expected) {
        EXPECT_TRUE(tree.count(path) && tree.at(path) == bytes) << path << " is not the clean conversion";
    }
}

}  // namespace
}  // namespace verbatra
