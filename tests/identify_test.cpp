// Identification: what each file is, in PRONOM's terms, on what evidence,
// and where the signs disagree; through the walk a conversion makes, disk
// images included, as JSON lines and as DROID's CSV.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "nisus_fixture.h"
#include "pipeline/identify.h"
#include "support.h"
#include "volume_fixture.h"

namespace verbatra {
namespace {

namespace fs = std::filesystem;
using test::be16;

const std::string kMacText = "Caf\x8E cr\x8Fme \xD2quotes\xD3\r";

struct Case {
    const char* name;
    std::string bytes;
    // What the record must hold, each a "key":value piece of its line.
    std::vector<std::string> fields;
};

std::vector<Case> cases() {
    const std::string macwrite_marks = be16(6) + std::string(296, '\0');  // a MacWrite 4.5 header, nothing in it
    const std::string volume = test::mfs_floppy({{"Letter", kMacText, "", "TEXTttxt"}});
    return {
        {"LETTER", kMacText,
         {R"("format":"Texte seul")", R"("version":"Mac OS Roman")", R"("puid":"x-fmt/14")", R"("mime":"text/plain")",
          R"("basis":"text statistics")", R"("wrapping":null)", R"("warnings":[])"}},
        {"letter.bin", test::macbinary(kMacText, "TEXTttxt"),
         {R"("format":"Texte seul")", R"("basis":"Finder type and creator")", R"("type":"TEXT")", R"("creator":"ttxt")",
          R"("wrapping":"MacBinary I")", R"("wrapping_puid":"fmt/1761")"}},
        {"notes.as", test::apple_file(true, "Read\x1C this.\r", test::resource_fork({test::nisus_version()})),
         {R"("format":"Nisus Writer")", R"("wrapping":"AppleSingle 2")", R"("wrapping_puid":"fmt/968")",
          R"("creator":"NISI")"}},
        {"utf8.txt", "Caf\xC3\xA9 r\xC3\xA9sum\xC3\xA9\r\n",
         {R"("format":"UTF-8 text")", R"("version":"UTF-8")", R"("puid":"x-fmt/111")"}},
        {"win.txt", "Caf\xE9 r\xE9sum\xE9 \xE0 l\xE0\r\n", {R"("format":"Windows text")", R"("version":"Windows-1252")"}},
        {"report.doc", kMacText,
         {R"("format":"Texte seul")", R"("warnings":["the extension .doc says a PC document, the bytes say Texte seul"])"}},
        {"cw.as", test::apple_file(true, macwrite_marks, "", "CWWPBOBO"),
         {R"("format":"ClarisWorks")", R"("basis":"Finder type and creator")",
          R"("warnings":["the Finder says ClarisWorks, the bytes say MacWrite 4.6"])"}},
        {"mw", macwrite_marks,
         {R"("format":"MacWrite 4.6")", "\"version\":\"MacWrite 4.5-5 (file version 6)\"", R"("basis":"the format's own marks")"}},
        {"doc.rtf", "{\\rtf1 hello}", {R"("format":null)", R"("problem":"already a PC document (RTF); skipped")"}},
        {"empty", "", {R"("problem":"empty file")"}},
        {"old.dsk", volume, {R"("format":"MFS disk image")", R"("puid":"fmt/2068")", R"("version":"MFS volume \"Olde\"")"}},
        {"old.dsk#:Letter", "", {R"("format":"Texte seul")", R"("wrapping":"MFS volume")", R"("wrapping_puid":"fmt/2068")"}},
        {"old.image", test::diskcopy(volume), {R"("format":"DiskCopy 4.2 disk image")", R"("puid":"fmt/625")"}},
        {"old.image#:Letter", "", {R"("wrapping":"MFS volume in DiskCopy 4.2")", R"("type":"TEXT")"}},
    };
}

std::string line_of(const std::string& out, const std::string& path) {
    const std::string key = "{\"path\":\"" + path + "\",";
    const std::size_t at = out.find(key);
    return at == std::string::npos ? std::string() : out.substr(at, out.find('\n', at) - at);
}

TEST(Identify, EachFileIsNamedInPronomTermsWithItsEvidence) {
    test::TempDir dir;
    std::string args;
    for (const Case& c : cases()) {
        if (std::string(c.name).find('#') != std::string::npos) continue;  // inside an image
        test::write_file(dir.file(c.name), c.bytes);
        args += std::string(" '") + c.name + "'";
    }
    const auto before = test::TempDir::list_of(dir.path());
    std::string out, err;
    EXPECT_EQ(test::run_in(dir, "--identify" + args, &out, &err), 0) << err;
    for (const Case& c : cases()) {
        const std::string line = line_of(out, c.name);
        ASSERT_FALSE(line.empty()) << c.name << "\n" << out;
        for (const std::string& field : c.fields) EXPECT_NE(line.find(field), std::string::npos) << field << "\n" << line;
    }
    // The digest is sha256sum's, and nothing was written.
    std::string sum;
    test::run_command("sha256sum '" + dir.file("LETTER") + "'", &sum);
    EXPECT_NE(line_of(out, "LETTER").find("\"sha256\":\"" + sum.substr(0, 64) + "\""), std::string::npos);
    EXPECT_EQ(test::TempDir::list_of(dir.path()), before);
    // Every line is JSON an outside reader takes.
    test::write_file(dir.file("../identify.jsonl"), out);
    EXPECT_EQ(test::run_command("python3 -c 'import json,sys; [json.loads(l) for l in open(sys.argv[1])]' " +
                                dir.file("../identify.jsonl")),
              0);
    fs::remove(dir.file("../identify.jsonl"));
}

// DROID's CSV: its header, one row a file, an image's files under its ID,
// read back by Python's csv module.
TEST(Identify, CsvIsReadAsDroidsExport) {
    test::TempDir dir;
    for (const Case& c : cases()) {
        if (std::string(c.name).find('#') == std::string::npos) test::write_file(dir.file(c.name), c.bytes);
    }
    std::string out, err;
    EXPECT_EQ(test::run_in(dir, "--identify --format csv -r .", &out, &err), 0) << err;
    test::TempDir keep;
    test::write_file(keep.file("droid.csv"), out);
    const std::string script =
        "import csv,sys\n"
        "rows = list(csv.reader(open(sys.argv[1], newline='')))\n"
        "assert rows[0] == ['ID','PARENT_ID','URI','FILE_PATH','NAME','METHOD','STATUS','SIZE','TYPE','EXT',"
        "'LAST_MODIFIED','EXTENSION_MISMATCH','SHA256_HASH','FORMAT_COUNT','PUID','MIME_TYPE','FORMAT_NAME',"
        "'FORMAT_VERSION'], rows[0]\n"
        "by_name = {r[4]: r for r in rows[1:]}\n"
        "ids = {r[0]: r for r in rows[1:]}\n"
        "for r in rows[1:]:\n"
        "    if r[1]: print(r[4], 'in', ids[r[1]][4], r[14])\n"
        "print('doc', by_name['report.doc'][11], by_name['report.doc'][9])\n"
        "print('image', by_name['old.image'][8], by_name['old.image'][14])\n";
    test::write_file(keep.file("check.py"), script);
    std::string printed, problems;
    ASSERT_EQ(test::run_command("python3 '" + keep.file("check.py") + "' '" + keep.file("droid.csv") + "'", &printed, &problems), 0)
        << problems << out;
    EXPECT_NE(printed.find("Letter in old.dsk x-fmt/14\n"), std::string::npos) << printed;
    EXPECT_NE(printed.find("Letter in old.image x-fmt/14\n"), std::string::npos) << printed;
    EXPECT_NE(printed.find("doc true doc\n"), std::string::npos) << printed;
    EXPECT_NE(printed.find("image Container fmt/625\n"), std::string::npos) << printed;
}

// Every real document of the corpus, bare and wrapped, is named as its
// own format, with the PUID PRONOM has for it.
TEST(Identify, EveryCorpusDocumentHasItsFormatAndPuid) {
    if (!test::have_corpus()) GTEST_SKIP() << "no corpus at " << test::corpus_dir();
    const std::set<std::string> clarisworks{"fmt/736", "fmt/846", "fmt/739", "fmt/744", "fmt/749"};
    int seen = 0;
    for (const auto& entry : fs::recursive_directory_iterator(test::corpus_dir())) {
        if (!entry.is_regular_file()) continue;
        const std::string path = entry.path().string(), ext = entry.path().extension().string();
        const bool wrapped = ext == ".macbin" || ext == ".as" || ext == ".hqx";
        const Identification id = identify_file(path);
        SCOPED_TRACE(path);
        if (path.find("/macwrite/") != std::string::npos && (ext == ".mw" || wrapped)) {
            EXPECT_EQ(id.format, "MacWrite 4.6");
            EXPECT_NE(id.version.find("MacWrite"), std::string::npos);
            ++seen;
        } else if (path.find("/clarisworks/") != std::string::npos && (ext == ".cwk" || wrapped)) {
            EXPECT_EQ(id.format, "ClarisWorks");
            EXPECT_TRUE(clarisworks.count(id.puid)) << id.puid << " " << id.version;
            ++seen;
        } else if (path.find("/ragtime/") != std::string::npos && (ext == ".datafork" || wrapped)) {
            EXPECT_EQ(id.puid, "fmt/1894") << id.format;
            ++seen;
        } else if (path.find("/mactext/") != std::string::npos && (ext == ".txt" || ext == ".datafork" || wrapped)) {
            EXPECT_EQ(id.puid, "x-fmt/14") << id.format;
            ++seen;
        } else {
            continue;
        }
        if (ext == ".macbin") {
            EXPECT_EQ(id.wrapping.rfind("MacBinary", 0), 0u) << id.wrapping;
        } else if (ext == ".as") {
            EXPECT_EQ(id.wrapping_puid, "fmt/968");
        } else if (ext == ".hqx") {
            EXPECT_EQ(id.wrapping_puid, "x-fmt/416");
        }
        EXPECT_TRUE(id.warnings.empty()) << id.warnings.front();
    }
    EXPECT_GT(seen, 20);
}

}  // namespace
}  // namespace verbatra
