#include "support.h"

#include "stream/codes.h"

#include <iconv.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <gtest/gtest.h>

#include "pipeline/byte_file.h"
#include "pipeline/driver.h"
#include "pipeline/file_utils.h"
#include "pipeline/scratch.h"
#include "platform/platform.h"

namespace verbatra::test {

namespace fs = std::filesystem;

TempDir::TempDir() {
    path_ = platform::make_private_directory("vrbtest");
    if (path_.empty()) throw std::runtime_error("cannot make a temporary directory");
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

std::vector<std::string> TempDir::list() const { return list_of(path_); }

std::vector<std::string> TempDir::list_of(const std::string& path) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(path)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

void write_file(const std::string& path, const std::string& data) {
    std::ofstream f(path, std::ios::binary);
    f.write(data.data(), static_cast<std::streamsize>(data.size()));
    if (!f) throw std::runtime_error("cannot write " + path);
}

std::string read_file(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    if (!f) throw std::runtime_error("cannot read " + path);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

Capture::Capture() : file_(ByteFile::open(dir_.file("capture"), "w+b")) {}

std::string Capture::bytes() {
    file_.flush();
    return read_file(dir_.file("capture"));
}

Source::Source(const std::string& data) {
    write_file(dir_.file("source"), data);
    file_ = ByteFile::open(dir_.file("source"), "rb");
}

std::string without_font_names(const std::string& stream) {
    std::string out;
    for (std::size_t i = 0; i < stream.size();) {
        const auto b = static_cast<std::uint8_t>(stream[i]);
        if (b != stream::kEscape || i + 1 >= stream.size()) {
            out += stream[i++];
            continue;
        }
        const auto code = static_cast<std::uint8_t>(stream[i + 1]);
        std::size_t length = 2 + stream::kArgCount[code];
        if (code == stream::kFontName) {
            length = i + 2 < stream.size() ? 3 + static_cast<std::uint8_t>(stream[i + 2]) : 2;
        } else if (code == stream::kPicture) {
            const std::size_t end = stream.find("\\\x7F", i + 2 + stream::kPictureHeaderBytes);
            length = end == std::string::npos ? stream.size() - i : end + 2 - i;
        }
        if (code != stream::kFontName) out += stream.substr(i, length);
        i += length;
    }
    return out;
}

std::string run_entry(EntryPoint entry, const std::string& input, int* result, Conversion* conversion) {
    TempDir dir;
    write_file(dir.file("in"), input);
    ByteFile in = ByteFile::open(dir.file("in"), "rb");
    ByteFile out = ByteFile::open(dir.file("out"), "w+b");
    Conversion own;
    Conversion& c = conversion ? *conversion : own;
    if (c.source_name.empty()) c.source_name = dir.file("in");
    int r = entry(c, in, out);
    if (result) *result = r;
    out.close();
    return read_file(dir.file("out"));
}

std::string read_fixture(EntryPoint entry, const char* name, const std::string& file, int* result) {
    keep_fixture(name, file);
    int r = 0;
    std::string stream = run_entry(entry, file, &r);
    if (result) *result = r;
    if (r == kConverted) expect_recognised_as(entry, file);
    return stream;
}

int recognised_format(const std::string& file) {
    TempDir dir;
    write_file(dir.file("DOC"), file);
    ConversionResult r = prepare_conversion(ConversionRequest{dir.file("DOC"), {}}, nullptr, format_named("dos", target_formats));
    discard_conversion(r);
    return r.outcome == Outcome::Unrecognised ? -1 : r.format;
}

int DamagedFixtures::depth_ = 0;

void expect_recognised_as(EntryPoint entry, const std::string& file) {
    const int format = recognised_format(file);
    if (format >= 0 && source_formats[format].reader == entry) return;
    if (format < 0 && DamagedFixtures::active()) return;
    ADD_FAILURE() << "a document its reader takes is recognised as "
                  << (format < 0 ? "nothing" : source_formats[format].display_name);
}

void keep_fixture(const std::string& name, const std::string& data) {
    static int counter = 0;
    const char* dir = std::getenv("VERBATRA_KEEP_FIXTURES");
    if (dir && *dir) write_file(std::string(dir) + "/" + name + "-" + std::to_string(++counter), data);
}

void expect_sample(const std::string& name, const std::string& data, EntryPoint entry) {
    const std::string path = std::string(VERBATRA_SOURCE_DIR) + "/samples/" + name;
    const char* write = std::getenv("VERBATRA_WRITE_SAMPLES");
    if (write && *write) write_file(path, data);
    std::string have;
    try {
        have = read_file(path);
    } catch (const std::exception&) {
        have = "(missing)";
    }
    EXPECT_TRUE(have == data) << path << " is not what the builders make: "
                              << "run the tests with VERBATRA_WRITE_SAMPLES=1 to make it anew";
    if (!entry) return;
    expect_recognised_as(entry, data);
    EXPECT_EQ(damage_noted(entry, data), "") << name << " is whole";
}

std::string bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values) s += static_cast<char>(v);
    return s;
}

std::string be16(int value) { return bytes({(value >> 8) & 0xFF, value & 0xFF}); }

std::string be32(long value) {
    return be16(static_cast<int>((value >> 16) & 0xFFFF)) + be16(static_cast<int>(value & 0xFFFF));
}

std::string macbinary(const std::string& data_fork, const char* type_creator) {
    std::string h(128, '\0');
    h[1] = 4;
    h.replace(2, 4, "TEST");
    h.replace(65, 8, type_creator);
    h.replace(83, 4, be32(static_cast<long>(data_fork.size())));
    std::string padded = data_fork;
    padded.resize((data_fork.size() + 127) / 128 * 128, '\0');
    return h + padded + std::string(256, '\x5A');
}

std::u32string decode(const std::string& bytes, const char* charset) {
    iconv_t cd = iconv_open("UTF-32LE", charset);
    if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error(std::string("no iconv for ") + charset);
    std::u32string out(bytes.size() + 1, U'\0');
    char* in = const_cast<char*>(bytes.data());
    std::size_t in_left = bytes.size();
    char* o = reinterpret_cast<char*>(out.data());
    std::size_t out_left = out.size() * 4;
    while (in_left > 0) {
        if (iconv(cd, &in, &in_left, &o, &out_left) == static_cast<std::size_t>(-1)) {
            ++in;
            --in_left;
            *reinterpret_cast<char32_t*>(o) = U' ';
            o += 4;
            out_left -= 4;
        }
    }
    iconv_close(cd);
    out.resize(out.size() - out_left / 4);
    return out;
}

namespace {
bool word_char(char32_t c) {
    return (c >= U'0' && c <= U'9') || (c >= U'A' && c <= U'Z') || (c >= U'a' && c <= U'z') ||
           (c >= 0xC0 && c <= 0x24F && c != 0xD7 && c != 0xF7) || (c >= 0x391 && c <= 0x3C9);
}
}  // namespace

std::vector<std::u32string> words(const std::u32string& text) {
    std::vector<std::u32string> result;
    std::u32string w;
    for (char32_t c : text + U' ') {
        if (c == 0xAD) continue;  // a soft hyphen (RTF's optional hyphen) joins
        if (word_char(c)) {
            w += c;
        } else if (!w.empty()) {
            result.push_back(w);
            w.clear();
        }
    }
    return result;
}

int run_command(const std::string& command, std::string* out, std::string* err) {
    TempDir dir;
    std::string full = command + " >" + dir.file("out") + " 2>" + dir.file("err") + " </dev/null";
    int status = std::system(full.c_str());
    if (out) *out = read_file(dir.file("out"));
    if (err) *err = read_file(dir.file("err"));
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace verbatra::test

namespace {
// The tests' conversions share one scratch directory; it goes at the end.
class ScratchEnvironment : public ::testing::Environment {
public:
    void TearDown() override { verbatra::remove_scratch_directory(); }
};
const auto* const g_scratch_environment = ::testing::AddGlobalTestEnvironment(new ScratchEnvironment);
}  // namespace

namespace verbatra::test {

std::string corpus_dir() {
    const char* set = std::getenv("VERBATRA_CORPUS");
    if (set && *set) return set;
    return std::string(VERBATRA_SOURCE_DIR) + "/../shared/corpus";
}

bool have_corpus() {
    std::error_code ec;
    return std::filesystem::is_directory(corpus_dir(), ec) && !std::filesystem::is_empty(corpus_dir(), ec);
}

std::string verbatra(const std::string& args) { return std::string(VERBATRA_BINARY) + " " + args; }

int run_in(const std::string& dir, const std::string& args, std::string* out, std::string* err) {
    return run_command("cd '" + dir + "' && " + verbatra(args), out, err);
}

int run_in(const TempDir& dir, const std::string& args, std::string* out, std::string* err) {
    return run_in(dir.path(), args, out, err);
}

std::string damage_noted(EntryPoint entry, const std::string& input, int* result) {
    Conversion conversion;
    run_entry(entry, input, result, &conversion);
    return conversion.damage;
}

}  // namespace verbatra::test
