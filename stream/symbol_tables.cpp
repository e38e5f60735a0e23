#include "stream/symbol_tables.h"

#include "stream/mac_charset.h"
#include "stream/emitter.h"
#include "stream/fonts.h"

namespace verbatra {

namespace {
const std::uint16_t* table_and_class(CharState& cs, int font_number, ByteFile& out) {
    switch (font_number) {
        case 13:
            set_font_class(cs, 4, out);
            return kDingbatsTable.data();
        case 14:
        case 20:
        case 156:
            set_font_class(cs, 1, out);
            return kMacintoshTable;
        case 21:
            set_font_class(cs, 2, out);
            return kMacintoshTable;
        case 23:
            set_font_class(cs, 3, out);
            return kSymbolTable;
        default:
            set_font_class(cs, 0, out);
            return kMacintoshTable;
    }
}
}  // namespace

const std::uint16_t* source_table_for_font(CharState& cs, int font_number, ByteFile& out, const char* name) {
    const std::uint16_t* table = table_and_class(cs, font_number, out);
    if (!name) name = stream::mac_font_name(font_number);
    set_font_name(cs, name ? name : "", out);
    return table;
}

}  // namespace verbatra
