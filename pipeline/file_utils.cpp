#include "pipeline/file_utils.h"

#include <utility>

#include <memory>
#include <new>

#include "platform/platform.h"

namespace verbatra {

namespace {

// Windows (ANSI) to DOS code page 437 for file names; 0 ends the name.
constexpr std::uint8_t kFileNameChars[256] = {
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // 00
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // 10
    0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27, 0x28, 0x29, 0x2A, 0x2B, 0x2C, 0x2D, 0x2E, 0x2F,  // 20
    0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x00, 0x3B, 0x3C, 0x3D, 0x3E, 0x3F,  // 30
    0x40, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4A, 0x4B, 0x4C, 0x4D, 0x4E, 0x4F,  // 40
    0x50, 0x51, 0x52, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5A, 0x5B, 0x5C, 0x5D, 0x5E, 0x5F,  // 50
    0x60, 0x61, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6A, 0x6B, 0x6C, 0x6D, 0x6E, 0x6F,  // 60
    0x70, 0x71, 0x72, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7A, 0x7B, 0x7C, 0x7D, 0x7E, 0x7F,  // 70
    0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F,  // 80
    0x5F, 0x27, 0x27, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F,  // 90
    0x5F, 0xAD, 0x9B, 0x9C, 0x5F, 0x9D, 0x7C, 0x15, 0x5F, 0x5F, 0xA6, 0xAE, 0xAA, 0x2D, 0x5F, 0x5F,  // A0
    0xF8, 0xF1, 0xFD, 0x5F, 0x27, 0xE6, 0x14, 0xFA, 0x5F, 0x5F, 0xA7, 0xAF, 0xAC, 0xAB, 0x5F, 0xA8,  // B0
    0x41, 0x41, 0x41, 0x41, 0x8E, 0x8F, 0x92, 0x80, 0x45, 0x90, 0x45, 0x45, 0x49, 0x49, 0x49, 0x49,  // C0
    0x44, 0xA5, 0x4F, 0x4F, 0x4F, 0x4F, 0x99, 0x5F, 0x4F, 0x55, 0x55, 0x55, 0x9A, 0x59, 0x5F, 0xE1,  // D0
    0x85, 0xA0, 0x83, 0x61, 0x84, 0x86, 0x91, 0x87, 0x8A, 0x82, 0x88, 0x89, 0x8D, 0xA1, 0x8C, 0x8B,  // E0
    0x64, 0xA4, 0x95, 0xA2, 0x93, 0x6F, 0x94, 0x5F, 0x6F, 0x97, 0xA3, 0x96, 0x81, 0x79, 0x5F, 0x98,  // F0
};

unsigned g_unique_counter = 0;
std::string g_current_names[2];

}  // namespace

void replace_extension(std::string& name, const char* ext) {
    std::size_t base = platform::file_name_start(name);
    std::size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot >= base && dot + 4 >= name.size()) {
        name.resize(dot + 1);
    } else {
        name += '.';
    }
    if (ext) {
        for (const char* p = ext; *p; ++p) {
            char c = *p;
            name += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        }
    }
}

bool file_exists(const std::string& name) {
    return platform::exists_exactly(name) || platform::exists_ignoring_case(name);
}

std::string counter_extension(unsigned n) {
    static constexpr char kDigits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUV";
    return {kDigits[(n >> 10) & 31], kDigits[(n >> 5) & 31], kDigits[n & 31]};
}

void make_unique_name(std::string& name) {
    do {
        ++g_unique_counter;
        replace_extension(name, counter_extension(g_unique_counter).c_str());
    } while (file_exists(name));
}

void map_name_chars(std::string& text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint8_t mapped = kFileNameChars[static_cast<std::uint8_t>(text[i])];
        if (mapped == 0) {
            text.resize(i);
            return;
        }
        text[i] = static_cast<char>(mapped);
    }
}

void strip_line_end(std::string& text) {
    std::size_t cr = text.find_last_of('\r');
    if (cr != std::string::npos) text.resize(cr);
    std::size_t lf = text.find_last_of('\n');
    if (lf != std::string::npos) text.resize(lf);
}

int copy_bytes(ByteFile& from, ByteFile& to, long count) {
    constexpr long kChunk = 40960;
    std::unique_ptr<std::uint8_t[]> buffer(new (std::nothrow) std::uint8_t[kChunk]());
    if (!buffer) return -1;
    while (count > 0) {
        long want = count < kChunk ? count : kChunk;
        long got = static_cast<long>(from.read(buffer.get(), static_cast<std::size_t>(want)));
        if (got == 0) break;
        to.write(buffer.get(), static_cast<std::size_t>(got));
        count -= got;
    }
    return 0;
}

void set_buffering(ByteFile& first, ByteFile& second, unsigned mode) {
    if (mode & 1) first.set_full_buffering();
    if (mode & 2) second.set_full_buffering();
}

const std::string& current_name(int which) { return g_current_names[which == 0 ? 0 : 1]; }

void set_current_names(const std::string& input, const std::string& output) {
    g_current_names[0] = input;
    g_current_names[1] = output;
}

namespace {
ReaderNotes g_notes;
}  // namespace

void note_for_user(const std::string& text) { g_notes.note = text; }
void note_damage(const std::string& text) {
    if (g_notes.damage.empty()) g_notes.damage = text;
}
ReaderNotes take_reader_notes() { return std::exchange(g_notes, ReaderNotes{}); }

void note_cut_short(const char* what, long file_end, long needed_end) {
    note_damage(std::string(what) + " ends at byte " + std::to_string(file_end) + " of " + std::to_string(needed_end) +
                ": file cut short");
}

}  // namespace verbatra
