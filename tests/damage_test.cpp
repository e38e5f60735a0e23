// Documents that promise more than the file holds: cut short, or with a
// part outside the file. What can be read is converted, and the outcome
// says the file is damaged and what was lost.
#include <gtest/gtest.h>

#include <filesystem>

#include "cli/report.h"
#include "pipeline/driver.h"
#include "pipeline/registry.h"
#include "support.h"

namespace verbatra {
namespace {

namespace fs = std::filesystem;

struct Converted {
    ConversionResult result;
    std::string target;  // its bytes
};

// Converts `file` with --from auto to Ansi (Windows) beside it.
Converted convert_auto(const std::string& file) {
    Converted c;
    c.result = prepare_conversion(ConversionRequest{file, {}}, nullptr, format_named("ansi", target_formats));
    publish_conversion(c.result);
    if (has_target(c.result.outcome)) c.target = test::read_file(c.result.target_name);
    return c;
}

int format_index(const char* short_name) { return lookup_format(short_name, source_formats); }

// Every real document, cut at a tenth, half and nine tenths of its length,
// bare and (a MacWrite or ClarisWorks one) in MacBinary: still recognised
// as its format, damaged, and converted as far as it goes. Whole, it is
// converted with no word of damage.
TEST(Damage, RealDocumentsCutShort) {
    if (!test::have_corpus()) GTEST_SKIP() << "no corpus at " << test::corpus_dir() << "; skipped";
    struct Kind {
        const char* folder;
        const char* extension;
        const char* format;
    };
    const Kind kinds[] = {{"macwrite", ".mw", "macwrite"}, {"clarisworks", ".cwk", "clarisworks"},
                          {"ragtime", ".datafork", "ragtime3"}, {"macwrite/wrapped", ".macbin", "macwrite"},
                          {"clarisworks/wrapped", ".macbin", "clarisworks"}};
    test::TempDir dir;
    int cut = 0;
    for (const Kind& k : kinds) {
        for (const auto& e : fs::directory_iterator(fs::path(test::corpus_dir()) / k.folder)) {
            if (e.path().extension() != k.extension) continue;
            const std::string name = e.path().filename().string();
            const std::string whole = test::read_file(e.path().string());
            const std::string copy = dir.file(name);
            test::write_file(copy, whole);
            const Converted full = convert_auto(copy);
            // The ClarisWorks 1 and 2 files, which have no closing marks,
            // are not of this test.
            if (full.result.format != format_index(k.format) || full.result.outcome == Outcome::NotOfFormat) continue;
            if (k.format == std::string("clarisworks") && static_cast<unsigned char>(whole[whole[0] == 0 ? 128 : 0]) < 4) continue;
            EXPECT_EQ(full.result.outcome, Outcome::Converted) << name << ": " << full.result.damage;
            for (int tenths : {1, 5, 9}) {
                const std::string part = whole.substr(0, whole.size() * tenths / 10);
                const std::string cut_name = dir.file(name + "." + std::to_string(tenths));
                test::write_file(cut_name, part);
                const Converted c = convert_auto(cut_name);
                EXPECT_EQ(c.result.format, format_index(k.format)) << name << " cut at " << tenths;
                EXPECT_EQ(c.result.outcome, Outcome::Damaged) << name << " cut at " << tenths;
                EXPECT_NE(c.result.damage.find("file cut short"), std::string::npos) << c.result.damage;
                EXPECT_TRUE(fs::exists(c.result.target_name)) << name << " cut at " << tenths;
                ++cut;
            }
        }
    }
    EXPECT_GT(cut, 30);
}

// What the reader could read of a document cut inside its text is there.
TEST(Damage, TheReadablePartIsConverted) {
    if (!test::have_corpus()) GTEST_SKIP() << "no corpus at " << test::corpus_dir() << "; skipped";
    const fs::path doc = fs::path(test::corpus_dir()) / "clarisworks" / "appleworks-parser__lorem_5.0v1_win.cwk";
    test::TempDir dir;
    const std::string whole = test::read_file(doc.string());
    test::write_file(dir.file("WHOLE"), whole);
    test::write_file(dir.file("CUT"), whole.substr(0, whole.size() / 2));
    const Converted full = convert_auto(dir.file("WHOLE"));
    const Converted cut = convert_auto(dir.file("CUT"));
    ASSERT_EQ(cut.result.outcome, Outcome::Damaged);
    EXPECT_EQ(cut.result.damage.rfind("text ends at byte ", 0), 0u) << cut.result.damage;
    EXPECT_GT(cut.target.size(), 200u);
    EXPECT_EQ(full.target.compare(0, 200, cut.target, 0, 200), 0);
}

// On the command line: a line of its own on standard error, counted apart
// in the summary, exit status 4 when nothing worse happened, "damaged" in
// the report with what was lost.
TEST(Damage, TheRunTellsDamagedFilesApart) {
    test::TempDir dir;
    // A MacWrite header whose main text's paragraph list lies past the end.
    std::string doc(298, '\0');
    doc[1] = 6;
    doc[2] = 0, doc[3] = 3;                                     // three paragraphs
    doc[252 + 12] = 0, doc[252 + 13] = 0, doc[252 + 14] = 0x10;  // the list at 4096,
    doc[252 + 16] = 0, doc[252 + 17] = 48;                      // 48 bytes long
    test::write_file(dir.file("CUT"), doc);
    test::write_file(dir.file("TEXT"), "whole\r");
    std::string out, err;
    const std::string command = "-f auto -t dos --report run.jsonl";
    EXPECT_EQ(test::run_in(dir, command + " CUT TEXT", &out, &err), 4) << err;
    EXPECT_EQ(out, "TEXT -> TEXT.asc (Texte seul)\n");
    const std::string damage = "the paragraph list ends at byte 298 of 4144: file cut short";
    EXPECT_EQ(err, "CUT -> CUT.asc (MacWrite 4.6, damaged: " + damage + "; the readable part converted)\n"
                   "1 converted, 1 damaged, 0 refused, 0 failed\n");
    const std::string report = test::read_file(dir.file("run.jsonl"));
    EXPECT_NE(report.find("{\"source\":\"CUT\",\"format\":\"MacWrite 4.6\",\"outcome\":\"damaged\",\"target\":\"CUT.asc\","
                          "\"reason\":" + json_string(damage)),
              std::string::npos)
        << report;
    // A refusal beside it outweighs the damage.
    test::write_file(dir.file("EMPTY"), "");
    EXPECT_EQ(test::run_in(dir, command + " CUT EMPTY", &out, &err), 3) << err;
}

}  // namespace
}  // namespace verbatra
