#include "stream/decoder.h"

#include <algorithm>
#include <cstring>

namespace verbatra::stream {

bool Decoder::finish(Event& e) {
    if (!open_) return false;
    open_ = false;
    e.kind = Kind::kSectionEnd;
    e.code = kEndSection;
    e.args[0] = e.args[1] = 0;
    return true;
}

bool Decoder::next_code(Event& e) {
    for (;;) {
        const int c = in_.get();
        if (c == ByteFile::kEnd) return cut(e);  // a lone backslash ends the stream
        e.code = static_cast<std::uint8_t>(c);
        e.args[0] = e.args[1] = 0;
        e.at_line_end = false;
        const Role role = role_of(e.code);
        if (role == Role::kPicture) return picture(e);
        if (role == Role::kFontName) return font_name(e);
        for (int i = 0; i < kArgCount[c]; ++i) {
            const int a = in_.get();
            if (a == ByteFile::kEnd) return cut(e);  // cut short: the code is dropped
            e.args[i] = static_cast<std::uint8_t>(a);
        }
        switch (role) {
            case Role::kSectionStart:
                if (open_) break;  // inside another: dropped
                open_ = true;
                e.kind = Kind::kSectionStart;
                return true;
            case Role::kSectionEnd:
                if (!open_) break;  // none open
                open_ = false;
                e.kind = Kind::kSectionEnd;
                return true;
            case Role::kCharacter:
                e.kind = Kind::kCharacter;
                return true;
            default:
                if (e.code == kOptionalHyphen) {
                    const int after = in_.get();
                    if (after == kLineEnd) e.at_line_end = true;
                    else if (after != ByteFile::kEnd) in_.unget();
                }
                e.kind = Kind::kCode;
                return true;
        }
        // A dropped code: the event is what follows it.
        std::size_t available = 0;
        const std::uint8_t* p = in_.window(available);
        if (available == 0) return finish(e);
        if (*p != kEscape) return next(e);
        in_.skip(1);
    }
}

bool Decoder::picture(Event& e) {
    std::uint8_t h[kPictureHeaderBytes];
    for (std::uint8_t& byte : h) {
        const int v = in_.get();
        if (v == ByteFile::kEnd) return cut(e);  // no picture to speak of
        byte = static_cast<std::uint8_t>(v);
    }
    e.picture = {h[0], h[4] << 8 | h[5], h[8] << 8 | h[9]};
    // The data, up to the first 0x5C 0x7F; what the stream holds of it when
    // the stream ends first.
    content_.clear();
    for (;;) {
        std::size_t available = 0;
        const std::uint8_t* p = in_.window(available);
        if (available == 0) {
            cut_ = true;
            break;
        }
        const void* at = std::memchr(p, kEscape, available);
        const std::size_t n = at ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(at) - p) : available;
        content_.append(reinterpret_cast<const char*>(p), n);
        in_.skip(n);
        if (!at) continue;
        in_.skip(1);
        const int after = in_.get();
        if (after == kEndSection) break;
        if (after == ByteFile::kEnd) {
            cut_ = true;
            break;
        }
        content_.push_back(static_cast<char>(kEscape));
        in_.unget();  // it may begin the end
    }
    e.kind = Kind::kPicture;
    e.bytes = reinterpret_cast<const std::uint8_t*>(content_.data());
    e.length = content_.size();
    return true;
}

bool Decoder::font_name(Event& e) {
    const int n = in_.get();
    if (n == ByteFile::kEnd) return cut(e);
    content_.clear();
    for (int i = 0; i < n; ++i) {
        const int b = in_.get();
        if (b == ByteFile::kEnd) return cut(e);
        content_.push_back(static_cast<char>(b));
    }
    e.kind = Kind::kFontName;
    e.bytes = reinterpret_cast<const std::uint8_t*>(content_.data());
    e.length = content_.size();
    return true;
}

std::vector<std::string> font_names_of(ByteFile& work) {
    std::vector<std::string> names;
    work.rewind();
    {
        ByteIn in(work);
        for (;;) {
            std::size_t available = 0;
            const std::uint8_t* p = in.window(available);
            if (available == 0) break;
            const void* at = std::memchr(p, kEscape, available);
            if (!at) {
                in.skip(available);
                continue;
            }
            in.skip(static_cast<std::size_t>(static_cast<const std::uint8_t*>(at) - p) + 1);
            if (in.get() != kFontName) continue;
            const int n = in.get();
            if (n == ByteFile::kEnd) break;
            std::string name;
            for (int i = 0; i < n; ++i) {
                const int b = in.get();
                if (b == ByteFile::kEnd) break;
                name.push_back(static_cast<char>(b));
            }
            if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
        }
    }
    work.rewind();
    return names;
}

void write_event(const Event& e, ByteFile& out) {
    switch (e.kind) {
        case Kind::kText: out.write(e.bytes, e.length); return;
        case Kind::kTab: out.put(kTab); return;
        case Kind::kLineEnd: out.put(kLineEnd); return;
        case Kind::kPageBreak: out.put(kPageBreak); return;
        case Kind::kParagraphEnd: out.put(kParagraphEnd); return;
        case Kind::kPicture: {
            const PictureHeader& p = e.picture;
            const std::uint8_t header[] = {kEscape, kPicture, static_cast<std::uint8_t>(p.kind), 0, 0, 0,
                                           static_cast<std::uint8_t>(p.height >> 8), static_cast<std::uint8_t>(p.height),
                                           0, 0, static_cast<std::uint8_t>(p.width >> 8), static_cast<std::uint8_t>(p.width)};
            out.write(header, sizeof header);
            out.write(e.bytes, e.length);
            out.put(kEscape);
            out.put(kEndSection);
            return;
        }
        case Kind::kFontName:
            out.put(kEscape);
            out.put(kFontName);
            out.put(static_cast<std::uint8_t>(e.length));
            out.write(e.bytes, e.length);
            return;
        default:
            out.put(kEscape);
            out.put(e.code);
            for (int i = 0; i < kArgCount[e.code]; ++i) out.put(e.args[i]);
            if (e.at_line_end) out.put(kLineEnd);
            return;
    }
}

}  // namespace verbatra::stream
