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
#include "writers/docx.h"
#include "writers/html.h"
#include "writers/odt.h"
#include "writers/plain_text.h"
#include "writers/rtf.h"
#include "writers/utf8_text.h"
#include "writers/word_dos.h"
#include "writers/word_win2.h"
#include "writers/wp5.h"

namespace verbatra {

namespace {

// What sets a reader apart from the rest (FormatEntry says why each matters).
enum Reads { kDataFork, kForks, kText };

constexpr FormatEntry source(const char* name, const char* short_name, EntryPoint reader, Recogniser recognise,
                             Reads reads = kDataFork, Buffering buffering = Buffering::kBoth) {
    return {name, "", reader, nullptr, buffering, Buffering::kNeither, short_name, recognise, reads == kForks,
            reads == kText, false, {}};
}
enum Pictures { kPlaceholder, kKept };
constexpr FormatEntry target(const char* name, const char* short_name, const char* extension, EntryPoint writer,
                             TargetReach reach, Pictures pictures = kPlaceholder) {
    return {name,  extension, nullptr, writer, Buffering::kNeither, Buffering::kBoth, short_name, nullptr,
            false, false,     pictures == kKept, reach};
}
// What the targets hold: their code page (-1: every character), then the
// Symbol font, font sizes, colours and notes.
constexpr TargetReach kPlainDos{0, false, false, false, false}, kPlainWindows{1, false, false, false, false},
    kWordDos{0, true, true, false, true}, kWordWindows{1, true, true, false, true}, kRtfDos{0}, kRtfWindows{1},
    kUnicodeText{-1, true, false, false, false}, kEverything{};
constexpr FormatEntry kEnd{};

}  // namespace

// The MacWrite readers read their source through a record reader of their
// own, so only the work file is buffered.
constexpr FormatEntry source_formats[kSourceCount + 1] = {
    source("Texte seul", "text", read_text_only, bid_text, kText),
    source("MacWrite 4.6", "macwrite", read_macwrite, bid_macwrite, kDataFork, Buffering::kOutput),
    source("MacWrite II", "macwrite2", read_macwrite2, bid_macwrite2, kDataFork, Buffering::kOutput),
    source("MS-Works 2", "works2", read_works, bid_works2),
    source("MS-Works 3", "works3", read_works, bid_works3),
    source("ClarisWorks", "clarisworks", read_clarisworks, bid_clarisworks),
    source("Ragtime 2", "ragtime2", read_ragtime2, bid_ragtime2),
    source("Ragtime 3", "ragtime3", read_ragtime3, bid_ragtime3),
    source("Nisus Writer", "nisus", read_nisus, bid_nisus, kForks),
    // Text that came from other systems into a Macintosh archive.
    source("UTF-8 text", "utf8", read_utf8_text, bid_utf8_text, kText),
    source("Windows text", "windows-text", read_windows_text, bid_windows_text, kText),
    kEnd,
};

constexpr FormatEntry target_formats[kTargetCount + 1] = {
    target("Ascii (DOS)", "dos", "ASC", write_ascii_dos, kPlainDos),
    target("Ansi (Windows)", "ansi", "ASC", write_ansi_windows, kPlainWindows),
    target("Word 3/4/5 DOS", "word-dos", "DOC", write_word_dos, kWordDos),
    target("Wordperfect 5", "wp5", "WP5", write_wp5, kEverything),
    target("Word Windows 2", "word-win2", "DOC", write_word_win2, kWordWindows),
    target("RTF Ascii (DOS)", "rtf-dos", "RTF", write_rtf_dos, kRtfDos, kKept),
    target("RTF Ansi (Windows)", "rtf-ansi", "RTF", write_rtf_ansi, kRtfWindows, kKept),
    // The formats archives keep today.
    target("UTF-8 text", "utf8", "TXT", write_utf8_text, kUnicodeText),
    target("HTML", "html", "HTML", write_html, kEverything),
    target("OpenDocument Text", "odt", "ODT", write_odt, kEverything, kKept),
    target("Word 2007 (DOCX)", "docx", "DOCX", write_docx, kEverything),
    kEnd,
};

// A count that no longer fits its table is caught here, not by a row
// quietly left empty.
static_assert(source_formats[kSourceCount - 1].display_name && target_formats[kTargetCount - 1].display_name);

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

const FormatEntry& format_named(const char* short_name, const FormatEntry* table) {
    const int i = lookup_format(short_name, table);
    if (i < 0) stop_with_message(std::string("no format is named ") + short_name);
    return table[i];
}

int index_of(const FormatEntry* entry, const FormatEntry* table) {
    for (int i = 0; table[i].display_name; ++i) {
        if (&table[i] == entry) return i;
    }
    return -1;
}

bool is_available(const FormatEntry& entry) { return entry.reader || entry.writer; }

}  // namespace verbatra
