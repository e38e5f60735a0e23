#include <gtest/gtest.h>

#include "readers/text_only.h"
#include "support.h"

namespace verbatra {
namespace {

using test::bytes;

struct Case {
    const char* what;
    std::string source;
    std::string stream;
};

TEST(TextOnlyReader, Cases) {
    const std::string e_acute = bytes({0x5C, 0x20, 0x01, 0x29});
    const Case cases[] = {
        {"plain text and CR", "Hello\rw", "Hello\rw"},
        {"LF before CR dropped", "\n\r", "\r"},
        {"CR LF line ends", "a\r\nb\r\n", "a\rb\r"},
        // A file with LF line ends keeps its lines (and its word breaks).
        {"LF line ends", "a\nb\n\nc", "a\rb\r\rc"},
        {"LF CR LF", "a\n\r\nb", "a\rb"},
        {"controls", bytes({0x09, 0x0B, 0x0C, 0x1A, 0x00, 0x7F}), bytes({0x09, 0x0D, 0x0C, 0x7F})},
        {"Macintosh e acute", "\x8E", e_acute},
        {"non-breaking space", "\xCA", " "},
        {"en dash", "\xD0", "-"},
        {"bullet", "\xA5", bytes({0x5C, 0x20, 0x04, 0x03})},
        {"backslash", "a\\b", "a\\\\b"},
        {"controls below 0x20 other than those", "\x06\x11x", "x"},
        {"letter, backspace, accent", "e\b'", e_acute},
        {"accent, backspace, letter", "'\be", e_acute},
        {"upper case", "E\b'", bytes({0x5C, 0x20, 0x01, 0x28})},
        {"tilde on n", "n\b~", bytes({0x5C, 0x20, 0x01, 0x39})},
        {"tilde on N", "N\b~", bytes({0x5C, 0x20, 0x01, 0x38})},
        {"tilde gives diaeresis", "a\b~", bytes({0x5C, 0x20, 0x01, 0x1F})},
        {"y acute", "y\b'", bytes({0x5C, 0x20, 0x01, 0x55})},
        {"Y grave", "Y\b`", bytes({0x5C, 0x20, 0x01, 0xE2})},
        {"no composed form", "x\b^", "^x"},
        {"no composed form, grave", "G\b`", "`G"},
        {"accent after composition", "e\b'\b'", e_acute + "'"},
        // A backspace after something that is not one plain stream byte is
        // dropped instead of cutting into the code before it.
        {"after a set character", "\x8E\b'", e_acute + "'"},
        {"after a backslash", "\\\b'", "\\\\'"},
        {"after a paragraph end", "\r\b'", "\r'"},
        {"after a dropped control", "\x01\be", "e"},
        {"first byte", "\be", "e"},
        {"last byte", "ab\b", "ab"},
        {"special character as the accent", "x\b\x8E", e_acute + "x"},
        {"backslash as the accent", "e\b\\", "\\\\e"},
        {"line end after the backspace", "e\b\nz", "e\rz"},
        {"tab after the backspace", "e\b\tz", "e\tz"},
    };
    for (const Case& c : cases) {
        int result = 99;
        EXPECT_EQ(test::run_entry(read_text_only, c.source, &result), c.stream) << c.what;
        EXPECT_EQ(result, 0) << c.what;
    }
}

TEST(TextOnlyReader, EmptySourceGivesEmptyStream) {
    int result = 99;
    EXPECT_EQ(test::run_entry(read_text_only, "", &result), "");
    EXPECT_EQ(result, 0);
}

}  // namespace
}  // namespace verbatra
