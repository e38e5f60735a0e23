// Reads the intermediate stream as events: the one reader of stream bytes
// that every writer, the stream dump and the tests go through, so that a
// code cut short by the end of the stream, an argument byte that looks
// like a code, an unbalanced section or a picture without its end is dealt
// with once, the same for every target (the rules are in stream/codes.h).
//
//     stream::Decoder decoder(work);
//     for (stream::Event e; decoder.next(e);) switch (e.kind) { ... }
#pragma once

#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "pipeline/byte_file.h"
#include "pipeline/byte_runs.h"
#include "stream/codes.h"

namespace verbatra::stream {

enum class Kind : std::uint8_t {
    kText,          // bytes, length: text bytes, none of them a control byte
    kTab,
    kLineEnd,
    kPageBreak,
    kParagraphEnd,
    kCharacter,     // code kSetChar (set(), character()), or a dedicated one
    kCode,          // any other code, with its arguments
    kSectionStart,  // code, arguments: a header, footer or note opens
    kSectionEnd,
    kPicture,       // picture(): its header; bytes, length: its hexadecimal data
    kFontName,      // bytes, length: the name
};

enum class Section : std::uint8_t { kHeader, kFooter, kNote };
enum class Pages : std::uint8_t { kEven, kOdd, kAll };

struct PictureHeader {
    int kind = 0;  // 1 Macintosh picture, 2 Windows metafile (mapping mode 8), 3 Windows metafile
    int height = 0;
    int width = 0;
};

struct Event {
    Kind kind = Kind::kText;
    std::uint8_t code = 0;
    std::uint8_t args[2] = {0, 0};
    // Text, picture data, font name: valid until the next event.
    const std::uint8_t* bytes = nullptr;
    std::size_t length = 0;
    PictureHeader picture;
    // The optional hyphen took the line end after it.
    bool at_line_end = false;

    Role role() const { return role_of(code); }
    // A value code's new value (its second argument), as a signed byte.
    int new_value() const { return static_cast<std::int8_t>(args[1]); }
    int old_value() const { return static_cast<std::int8_t>(args[0]); }
    // A set character's set and character.
    int set() const { return args[0]; }
    int character() const { return args[1]; }
    // A tab-stop code's kind and column.
    int tab_kind() const { return args[0]; }
    int column() const { return args[1]; }
    // Section starts.
    Section section() const {
        return code == kNoteStart ? Section::kNote : code <= kHeaderAll ? Section::kHeader : Section::kFooter;
    }
    Pages pages() const {
        return static_cast<Pages>(code == kNoteStart ? 2 : (code - kHeaderEven) % 3);
    }
    int note_kind() const { return args[0]; }
};

class Decoder {
public:
    explicit Decoder(ByteFile& work) : in_(work) {}
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    // The next event; false at the end of the stream (after the end of a
    // section left open).
    bool next(Event& e) {
        std::size_t available = 0;
        const std::uint8_t* p = in_.window(available);
        if (available == 0) return finish(e);
        const std::uint8_t b = *p;
        switch (kByteClass[b]) {
            case kPlainByte: {
                const std::size_t n = plain_run(p, available);
                in_.skip(n);
                e.kind = Kind::kText;
                e.bytes = p;
                e.length = n;
                return true;
            }
            case kControlByte:
                in_.skip(1);
                e.kind = kControlKind[b & 0x0F];
                return true;
            default:
                in_.skip(1);
                return next_code(e);
        }
    }

    // The next byte of the stream, not taken; ByteFile::kEnd at its end.
    int peek() {
        std::size_t available = 0;
        const std::uint8_t* p = in_.window(available);
        return available == 0 ? ByteFile::kEnd : *p;
    }

    // The stream ended inside a code (a lone backslash, arguments or a
    // picture cut short).
    bool cut_short() const { return cut_; }

private:
    enum : std::uint8_t { kPlainByte, kControlByte, kEscapeByte };
    static constexpr std::array<std::uint8_t, 256> kByteClass = [] {
        std::array<std::uint8_t, 256> t{};
        t[kTab] = t[kLineEnd] = t[kPageBreak] = t[kParagraphEnd] = kControlByte;
        t[kEscape] = kEscapeByte;
        return t;
    }();
    static constexpr Kind kControlKind[16] = {
        Kind::kText, Kind::kText,    Kind::kText,      Kind::kText,    Kind::kText, Kind::kText,
        Kind::kText, Kind::kText,    Kind::kText,      Kind::kTab,     Kind::kLineEnd, Kind::kText,
        Kind::kPageBreak, Kind::kParagraphEnd, Kind::kText, Kind::kText,
    };

    // How many bytes from p[0] (a plain one) are plain, sixteen looked at
    // at once: text runs are long, and a test per byte would be most of
    // the cost of reading them. The window's slack makes the last sixteen
    // readable.
    static std::size_t plain_run(const std::uint8_t* p, std::size_t available) {
        std::size_t n = 1;
        while (n < available) {
            ByteVector v;
            std::memcpy(&v, p + n, 16);
            const ByteVector special = (v == kEscape) | ((v <= kParagraphEnd) & (v >= kTab) & (v != 0x0B));
            const unsigned bits = ::verbatra::detail::mark_bits(special);
            if (bits != 0) return std::min(available, n + static_cast<std::size_t>(__builtin_ctz(bits)));
            n += 16;
        }
        return available;
    }

    bool next_code(Event& e);
    bool finish(Event& e);
    bool cut(Event& e) {
        cut_ = true;
        return finish(e);
    }
    bool picture(Event& e);
    bool font_name(Event& e);

    ByteIn in_;
    bool cut_ = false;
    bool open_ = false;  // a section is open
    std::string content_;  // a picture's data, a font name
};

// The font names of the stream, each once, in the order they first come:
// for a target whose font table stands before the text. Found by a quick
// look for their code rather than by decoding the whole stream twice: a
// 0x5C 0xC1 that is not a font-name code (two argument bytes of a value
// code, say) would at worst add a font that no text uses.
// The work file is left at its start.
std::vector<std::string> font_names_of(ByteFile& work);

// Writes the event back as stream bytes: how a writer sets a section aside
// to read it again later.
void write_event(const Event& e, ByteFile& out);

}  // namespace verbatra::stream
