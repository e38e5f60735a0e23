// Fonts by name: the names of the Macintosh's own font numbers, and what a
// target needs to stand in for a font it may not have (its family, and
// whether every character is as wide as the next).
#pragma once

#include <cstdint>
#include <string_view>

namespace verbatra::stream {

enum class FontFamily : std::uint8_t { kUnknown, kRoman, kSwiss, kModern, kScript, kDecorative, kTechnical };

struct KnownFont {
    int number;  // the Macintosh font number, -1 for a name alone
    const char* name;
    FontFamily family;
    bool fixed_pitch;
};

inline constexpr KnownFont kKnownFonts[] = {
    {0, "Chicago", FontFamily::kSwiss, false},
    {2, "New York", FontFamily::kRoman, false},
    {3, "Geneva", FontFamily::kSwiss, false},
    {4, "Monaco", FontFamily::kModern, true},
    {5, "Venice", FontFamily::kScript, false},
    {6, "London", FontFamily::kDecorative, false},
    {7, "Athens", FontFamily::kDecorative, false},
    {8, "San Francisco", FontFamily::kDecorative, false},
    {9, "Toronto", FontFamily::kRoman, false},
    {11, "Cairo", FontFamily::kDecorative, false},
    {12, "Los Angeles", FontFamily::kScript, false},
    {13, "Zapf Dingbats", FontFamily::kDecorative, false},
    {14, "Bookman", FontFamily::kRoman, false},
    {15, "Helvetica Narrow", FontFamily::kSwiss, false},
    {16, "Palatino", FontFamily::kRoman, false},
    {18, "Zapf Chancery", FontFamily::kScript, false},
    {20, "Times", FontFamily::kRoman, false},
    {21, "Helvetica", FontFamily::kSwiss, false},
    {22, "Courier", FontFamily::kModern, true},
    {23, "Symbol", FontFamily::kTechnical, false},
    {24, "Mobile", FontFamily::kDecorative, false},
    {33, "Avant Garde", FontFamily::kSwiss, false},
    {34, "New Century Schlbk", FontFamily::kRoman, false},
    {-1, "Times New Roman", FontFamily::kRoman, false},
    {-1, "Arial", FontFamily::kSwiss, false},
    {-1, "Courier New", FontFamily::kModern, true},
    {-1, "Wingdings", FontFamily::kTechnical, false},
    {-1, "Optima", FontFamily::kSwiss, false},
    {-1, "Futura", FontFamily::kSwiss, false},
    {-1, "Gill Sans", FontFamily::kSwiss, false},
    {-1, "Garamond", FontFamily::kRoman, false},
    {-1, "Lucida Grande", FontFamily::kSwiss, false},
    {-1, "Verdana", FontFamily::kSwiss, false},
    {-1, "Georgia", FontFamily::kRoman, false},
    {-1, "Andale Mono", FontFamily::kModern, true},
    {-1, "Lucida Console", FontFamily::kModern, true},
};

// The name of Macintosh font number `number` (1 is the application font,
// Geneva); null for a number of no known font.
constexpr const char* mac_font_name(int number) {
    if (number == 1) number = 3;
    for (const KnownFont& f : kKnownFonts) {
        if (f.number == number && number >= 0) return f.name;
    }
    return nullptr;
}

// What is known of the font named `name`; null for a name we do not know.
constexpr const KnownFont* known_font(std::string_view name) {
    for (const KnownFont& f : kKnownFonts) {
        if (name == f.name) return &f;
    }
    return nullptr;
}

// The font class of the stream for a family: roman 1, sans serif 2, else 0.
constexpr int font_class_of(FontFamily family) {
    return family == FontFamily::kRoman ? 1 : family == FontFamily::kSwiss ? 2 : 0;
}

}  // namespace verbatra::stream
