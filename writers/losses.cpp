#include "writers/losses.h"

#include "stream/decoder.h"
#include "writers/target_tables.h"

namespace verbatra {

Losses count_losses(ByteFile& work, const TargetReach& reach) {
    Losses losses;
    const TargetCharTable* table = reach.code_page < 0 ? nullptr : &target_table(reach.code_page);
    stream::Decoder decoder(work);
    for (stream::Event e; decoder.next(e);) {
        switch (e.kind) {
            case stream::Kind::kCharacter:
                if (table && e.code == stream::kSetChar) {
                    const std::uint16_t entry = table->lookup(e.args[0], e.args[1]);
                    if (entry >> 8 ? !reach.fonts : table->stands_in(e.args[0], e.args[1])) ++losses.stand_ins;
                }
                break;
            case stream::Kind::kCode:
                if (e.code == stream::kFontSize && !reach.sizes && e.new_value() != e.old_value()) ++losses.font_sizes;
                if (e.code == stream::kTextColour && !reach.colours && e.args[1] != e.args[0]) ++losses.colours;
                break;
            case stream::Kind::kSectionStart:
                if (e.section() == stream::Section::kNote && !reach.notes) ++losses.notes_as_text;
                break;
            default: break;
        }
    }
    return losses;
}

}  // namespace verbatra
