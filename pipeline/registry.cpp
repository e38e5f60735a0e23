#include "pipeline/registry.h"

#include <cctype>

#include "pipeline/file_utils.h"
#include "readers/clarisworks.h"
#include "readers/macwrite.h"
#include "readers/macwrite2.h"
#include "readers/nisus.h"
#include "readers/pc_text.h"
#include "readers/ragtime.h"
#include "readers/text_only.h"
#include "readers/works.h"
#include "writers/plain_text.h"
#include "writers/rtf.h"
#include "writers/word_dos.h"
#include "writers/word_win2.h"
#include "writers/wp5.h"

namespace verbatra {

const FormatEntry source_formats[kSourceCount + 1] = {
    {"Texte seul", "", read_text_only, nullptr, 0x3D | kTextReader, "text"},
    {"MacWrite 4.6", "", read_macwrite, nullptr, 0x39, "macwrite"},
    {"MacWrite II", "", read_macwrite2, nullptr, 0x39, "macwrite2"},
    {"MS-Works 2", "", read_works, nullptr, 0x3D, "works2"},
    {"MS-Works 3", "", read_works, nullptr, 0x3D, "works3"},
    {"ClarisWorks", "", read_clarisworks, nullptr, 0x3D, "clarisworks"},
    {"Ragtime 2", "", read_ragtime2, nullptr, 0x3D, "ragtime2"},
    {"Ragtime 3", "", read_ragtime3, nullptr, 0x3D, "ragtime3"},
    {"Nisus Writer", "", read_nisus, nullptr, 0x3D | kReadsForks, "nisus"},
    // Text that came from other systems into a Macintosh archive.
    {"UTF-8 text", "", read_utf8_text, nullptr, 0x3D | kTextReader, "utf8"},
    {"Windows text", "", read_windows_text, nullptr, 0x3D | kTextReader, "windows-text"},
    {nullptr, nullptr, nullptr, nullptr, 0, nullptr},
};

const FormatEntry target_formats[kTargetCount + 1] = {
    {"Ascii (DOS)", "ASC", nullptr, write_ascii_dos, 0x3E, "dos"},
    {"Ansi (Windows)", "ASC", nullptr, write_ansi_windows, 0x3E, "ansi"},
    {"Word 3/4/5 DOS", "DOC", nullptr, write_word_dos, 0x3E, "word-dos"},
    {"Wordperfect 5", "WP5", nullptr, write_wp5, 0x3E, "wp5"},
    {"Word Windows 2", "DOC", nullptr, write_word_win2, 0x3E, "word-win2"},
    {"RTF Ascii (DOS)", "RTF", nullptr, write_rtf_dos, 0x3E, "rtf-dos"},
    {"RTF Ansi (Windows)", "RTF", nullptr, write_rtf_ansi, 0x3E, "rtf-ansi"},
    {nullptr, nullptr, nullptr, nullptr, 0, nullptr},
};

int find_format(std::string text, const FormatEntry* table) {
    map_name_chars(text);
    for (int i = 0; table[i].display_name; ++i) {
        if (text == table[i].display_name) return i;
    }
    return 0;
}

namespace {
bool equal_folded(const std::string& a, const char* b) {
    std::size_t i = 0;
    for (; i < a.size() && b[i]; ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return i == a.size() && b[i] == 0;
}
}  // namespace

int lookup_format(const std::string& text, const FormatEntry* table) {
    for (int i = 0; table[i].display_name; ++i) {
        if (equal_folded(text, table[i].display_name) || equal_folded(text, table[i].short_name)) return i;
    }
    return -1;
}

bool is_available(const FormatEntry& entry) { return entry.reader || entry.writer; }

}  // namespace verbatra
