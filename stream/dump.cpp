#include "stream/dump.h"

#include "stream/decoder.h"

namespace verbatra {

void dump_stream(ByteFile& work, std::FILE* out) {
    stream::Decoder decoder(work);
    for (stream::Event e; decoder.next(e);) {
        switch (e.kind) {
            case stream::Kind::kText:
                for (std::size_t i = 0; i < e.length; ++i) {
                    const int b = e.bytes[i];
                    if (b >= 0x20 && b < 0x7F) std::fputc(b, out);
                    else std::fprintf(out, "<x%02X>", b);
                }
                break;
            case stream::Kind::kTab: std::fputs("<tab>", out); break;
            case stream::Kind::kLineEnd: std::fputs("<lf>", out); break;
            case stream::Kind::kPageBreak: std::fputs("<page>", out); break;
            case stream::Kind::kParagraphEnd: std::fputs("<para>\n", out); break;
            case stream::Kind::kPicture:
                std::fprintf(out, "{picture kind %d height %d width %d, %zu hex digits}", e.picture.kind,
                             e.picture.height, e.picture.width, e.length);
                break;
            case stream::Kind::kFontName:
                std::fputs("{font ", out);
                std::fwrite(e.bytes, 1, e.length, out);
                std::fputc('}', out);
                break;
            default: {
                const char* name = stream::code_name(e.code);
                if (name) std::fprintf(out, "{%s", name);
                else std::fprintf(out, "{code 0x%02X", e.code);
                for (int i = 0; i < stream::kArgCount[e.code]; ++i) {
                    if (e.code == stream::kFontSize) std::fprintf(out, " %d", static_cast<signed char>(e.args[i]));
                    else if (e.code == stream::kSetChar && i == 1) std::fprintf(out, " 0x%02X", e.args[i]);
                    else std::fprintf(out, " %d", e.args[i]);
                }
                if (e.at_line_end) std::fputs(" <lf>", out);
                std::fputc('}', out);
                break;
            }
        }
    }
    if (decoder.cut_short()) std::fputs("{cut short}", out);
    std::fputc('\n', out);
}

}  // namespace verbatra
