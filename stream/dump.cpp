#include "stream/dump.h"

#include "stream/codes.h"

namespace verbatra {

namespace {

void dump_picture(ByteFile& work, std::FILE* out) {
    int header[stream::kPictureHeaderBytes];
    for (int& h : header) {
        h = work.get();
        if (h == ByteFile::kEnd) {
            std::fputs("{picture truncated}", out);
            return;
        }
    }
    long digits = 0;
    int b = work.get();
    while (b != ByteFile::kEnd) {
        if (b == stream::kEscape) {
            b = work.get();
            if (b == stream::kEndSection) break;
            continue;
        }
        ++digits;
        b = work.get();
    }
    std::fprintf(out, "{picture kind %d height %d width %d, %ld hex digits%s}", header[0],
                 header[4] << 8 | header[5], header[8] << 8 | header[9], digits,
                 b == ByteFile::kEnd ? ", unterminated" : "");
}

}  // namespace

void dump_stream(ByteFile& work, std::FILE* out) {
    for (;;) {
        int b = work.get();
        if (b == ByteFile::kEnd) break;
        switch (b) {
            case stream::kTab: std::fputs("<tab>", out); continue;
            case stream::kLineEnd: std::fputs("<lf>", out); continue;
            case stream::kPageBreak: std::fputs("<page>", out); continue;
            case stream::kParagraphEnd: std::fputs("<para>\n", out); continue;
            case stream::kEscape: break;
            default:
                if (b >= 0x20 && b < 0x7F) std::fputc(b, out);
                else std::fprintf(out, "<x%02X>", b);
                continue;
        }
        int code = work.get();
        if (code == ByteFile::kEnd) {
            std::fputs("{lone backslash at end}", out);
            break;
        }
        if (code == stream::kPicture) {
            dump_picture(work, out);
            continue;
        }
        const char* name = stream::code_name(static_cast<std::uint8_t>(code));
        if (name) std::fprintf(out, "{%s", name);
        else std::fprintf(out, "{code 0x%02X", code);
        bool truncated = false;
        for (int i = 0; i < stream::kArgCount[code]; ++i) {
            int arg = work.get();
            if (arg == ByteFile::kEnd) {
                truncated = true;
                break;
            }
            if (code == stream::kFontSize) std::fprintf(out, " %d", static_cast<signed char>(arg));
            else if (code == stream::kSetChar && i == 1) std::fprintf(out, " 0x%02X", arg);
            else std::fprintf(out, " %d", arg);
        }
        std::fputs(truncated ? " truncated}" : "}", out);
    }
    std::fputc('\n', out);
}

}  // namespace verbatra
