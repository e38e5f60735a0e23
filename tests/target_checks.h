// Checks of the files our writers make, for the tests and the fuzz
// targets: a small reader of the Word for DOS layout (header, formatting
// pages, FODs, FPROPs, footnote table) that tells what a file holds and
// every way in which it breaks the layout, and the braces of RTF.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace verbatra::test {

struct FormatRun {
    std::uint32_t first, lim;
    bool has_fprop;
    std::string fprop;  // the property bytes after the count byte
    int byte(int n) const { return n <= static_cast<int>(fprop.size()) ? static_cast<unsigned char>(fprop[n - 1]) : 0; }
};

struct WordDoc {
    std::string file, text;
    std::uint32_t fc_mac = 0;
    unsigned pn_char = 0, pn_para = 0, pn_fntb = 0, pn_sep = 0;
    std::vector<FormatRun> chars, paras;
    unsigned cfnd = 0, cfnd_max = 0;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> notes;  // cpRef, cpFtn
    std::vector<std::string> problems;  // empty for a well-formed file
};

WordDoc read_word_dos_file(const std::string& file);

// A Word for Windows 2 file as far as our writer uses the layout: the FIB,
// the text and its three parts, the formatting pages (through their bin
// tables), the note, section and header tables, the fixed tables.
struct Win2Run {
    std::uint32_t first, lim;
    std::string block;  // the property bytes after the count byte; empty: none
    int byte(int n) const { return n <= static_cast<int>(block.size()) ? static_cast<unsigned char>(block[n - 1]) : 0; }
};
struct Win2Doc {
    std::string file, text;  // text: every byte from fcMin to fcMac
    std::uint32_t fc_mac = 0, ccp_text = 0, ccp_ftn = 0, ccp_hdd = 0;
    std::vector<Win2Run> chars, paras;
    std::vector<std::uint32_t> note_refs, note_texts, headers;  // the CPs of the tables
    std::string sepx;
    // The dates of the document properties (Word's packed form) and the
    // Summary Info's strings (title at 2, comments at 5).
    std::uint32_t created = 0, revised = 0;
    std::vector<std::string> summary;
    std::vector<std::string> problems;  // empty for a well-formed file
    std::string main_text() const { return text.substr(0, ccp_text); }
    std::string note_text() const { return text.substr(ccp_text, ccp_ftn); }
    std::string header_text() const { return text.substr(ccp_text + ccp_ftn, ccp_hdd); }
};

Win2Doc read_word_win2_file(const std::string& file);

// What breaks the layout of a WordPerfect 5 file: the prefix, and every
// function of the document area walked to its end (fixed-length functions
// closed by their own code, groups with the same length, subfunction and
// code at both ends). Empty for a well-formed file.
std::vector<std::string> wp5_problems(const std::string& file);

// A zip package read back: each entry's name and inflated bytes, in the
// order of the central directory, and every way the package breaks the
// format (a local header that disagrees with the directory, a checksum or
// size that is wrong, data that does not inflate).
struct ZipEntry {
    std::string name;
    std::string data;
    bool stored = false;
    std::uint32_t offset = 0;
};
struct ZipFile {
    std::vector<ZipEntry> entries;
    std::vector<std::string> problems;
    const ZipEntry* find(const std::string& name) const;
};
ZipFile read_zip(const std::string& file);

// The ways `xml` is not well-formed XML 1.0 (one element at the top, every
// tag closed in order, attributes quoted and unique, references known, no
// character XML forbids); empty when it is.
std::vector<std::string> xml_problems(const std::string& xml);

// What breaks an OpenDocument or DOCX package: the zip, each XML part, and
// the parts the format needs (ODT: "mimetype" first and stored, with its
// type; the manifest naming every part).
std::vector<std::string> package_problems(const std::string& file, bool odt);

// Whether `text` is well-formed UTF-8 (no overlong forms, no surrogates).
bool valid_utf8(const std::string& text);

// Whether the braces of an RTF file balance, with the outer group open
// from the first byte to the last (escaped braces are text).
bool rtf_braces_balance(const std::string& rtf);

}  // namespace verbatra::test
