// The one traversal the archive targets share (UTF-8 text, HTML,
// OpenDocument, DOCX): it reads the stream's events, keeps what the codes
// mean for the text that follows (character and paragraph properties, the
// part of the document the text belongs to) and hands a renderer text as
// Unicode in runs of one set of properties, paragraphs that open with the
// properties they have, and the places of notes, running heads and
// pictures. A renderer writes one format and knows nothing of the codes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "pipeline/byte_file.h"
#include "pipeline/conversion.h"
#include "stream/decoder.h"

namespace verbatra::rich {

struct CharProps {
    bool bold = false, italic = false, underline = false, double_underline = false, strike = false;
    bool superscript = false, subscript = false, small_caps = false, all_caps = false;
    bool outline = false, shadow = false, hidden = false;
    std::string font;  // empty: the document's default
    int points = 10;   // the stream's size before any size code
    int colour = 0;    // 0: none (automatic), 1-16: the palette
    bool operator==(const CharProps&) const = default;
};

enum class Align : std::uint8_t { kLeft, kCentre, kRight, kJustify };

struct TabStop {
    int points;  // from the left margin
    int kind;    // stream::TabKind
    bool operator==(const TabStop&) const = default;
};

struct ParaProps {
    Align align = Align::kLeft;
    std::vector<TabStop> tabs;
    int line_spacing = 8;  // the stream's measure: 8 is single spacing
    int indent_points = 0;  // left indent
    bool page_break_before = false;
    bool operator==(const ParaProps&) const = default;
};

enum class Part : std::uint8_t { kBody, kHeader, kFooter, kNote };

// The 16 text colours of the stream (index 1-16), as RGB.
inline constexpr std::uint8_t kPalette[17][3] = {
    {0, 0, 0},     {0, 0, 0},     {0, 0, 255},     {0, 255, 255}, {0, 255, 0},   {255, 0, 255},
    {255, 0, 0},   {255, 255, 0}, {255, 255, 255}, {0, 0, 127},   {0, 127, 127}, {0, 127, 0},
    {127, 0, 127}, {127, 0, 0},   {127, 127, 0},   {127, 127, 127}, {192, 192, 192},
};

// "RRGGBB" of a palette colour.
std::string colour_hex(int colour);

// The title a target records: the source's file name; and how it came
// to be: "converted from FORMAT by Verbatra VERSION".
std::string title_of(const Conversion& c);
std::string provenance_of(const Conversion& c);

// `text` with &, <, > and " as XML's entities (for text and attributes).
void append_escaped(std::string& out, std::string_view text);

class Renderer {
public:
    virtual ~Renderer() = default;
    // A paragraph opens (at its first content, or at its end when it has
    // none) and ends; paragraphs of a note or running head open and end
    // inside its section. A page break ends its paragraph: the next one
    // starts on a new page. A line end inside a paragraph (where the
    // source wrapped a line) is a space.
    virtual void paragraph_start(const ParaProps& p) = 0;
    virtual void paragraph_end() = 0;
    // UTF-8 text of one set of properties; never empty.
    virtual void text(std::string_view utf8, const CharProps& c) = 0;
    virtual void tab(const CharProps& c) = 0;
    virtual void page_number(const CharProps& c) = 0;
    // A header, footer or note: its text, then its end. A note stands in
    // the paragraph of its reference (still open) and is numbered from 1
    // in each document; a running head stands between paragraphs.
    virtual void section_start(Part part, int note_number) = 0;
    virtual void section_end(Part part) = 0;
    // A picture: its header and its data (hexadecimal digits).
    virtual void picture(const stream::PictureHeader& header, std::string_view hex, const CharProps& c) = 0;
};

// Walks the stream of `work` for `renderer`; a section the stream leaves
// open is closed at its end.
void walk(ByteFile& work, Renderer& renderer);

// The Unicode text of what the stream holds as plain bytes: ASCII as it
// is, the bytes from 0x80 as Windows-1252 (as a reader of text from other
// systems leaves them), control bytes left out.
void append_stream_bytes(std::string& out, const std::uint8_t* bytes, std::size_t n);

}  // namespace verbatra::rich
