// Nisus Writer: the data fork is the text, a footnote mark 0x1C standing
// where each note belongs; the notes themselves are the "FNTX" resources of
// the resource fork, taken together, each note starting with 0x1C.
#include "readers/nisus.h"

#include <cstring>
#include <vector>

#include "pipeline/file_utils.h"
#include "pipeline/conversion.h"
#include "stream/mac_charset.h"
#include "readers/mac_forks.h"
#include "stream/codes.h"
#include "stream/emitter.h"

namespace verbatra {

namespace {

constexpr std::uint8_t kNoteMark = 0x1C;

// Writes one byte of text or note: tab and paragraph end as they are, a
// line break as a paragraph end, a page break in the main text only, the
// other control bytes (pictures, fields, marks) not at all, the rest
// through the Macintosh table.
void write_text_byte(std::uint8_t c, bool main_text, ByteFile& out) {
    switch (c) {
        case 0x09: out.put(stream::kTab); return;
        case 0x0B:
        case 0x0D: out.put(stream::kParagraphEnd); return;
        case 0x0C:
            if (main_text) out.put(stream::kPageBreak);
            return;
        default:
            if (c >= 0x20) write_source_char(kMacintoshTable, c, out);
            return;
    }
}

class Reader {
public:
    Reader(Conversion& conversion, ByteFile& source, ByteFile& work)
        : conversion_(conversion), src_(source), out_(work) {}

    Status run() {
        if (src_.size() == 0) return kEmptyInput;
        const MacForks forks = find_forks(src_);
        std::vector<std::uint8_t> resources;
        switch (forks.wrapping) {
            case Wrapping::AppleDouble: return kNotOfFormat;  // a sidecar, not a document
            case Wrapping::MacBinary:
            case Wrapping::AppleSingle:
                if (!forks.creator_is("NISI")) return kNotOfFormat;
                resources = read_span(src_, forks.resource);
                // Footnotes live in the resource fork: one cut short loses them.
                if (forks.promised_resource > forks.resource.length) {
                    conversion_.note_cut_short("the resource fork", forks.resource.length, forks.promised_resource);
                }
                break;
            case Wrapping::Bare:
                if (!read_sidecar(resources)) return kNotOfFormat;
                break;
        }
        for (const auto& r : resources_of_type(resources, "FNTX")) notes_.insert(notes_.end(), r.begin(), r.end());
        const std::vector<std::uint8_t> text = read_span(src_, forks.data);
        for (std::uint8_t c : text) {
            if (c == kNoteMark) write_note();
            else write_text_byte(c, true, out_);
        }
        return kConverted;
    }

private:
    // The resource fork of a bare data fork, from its AppleDouble sidecar;
    // false when the sidecar names another program. Without a sidecar the
    // text converts alone, and the user is told.
    bool read_sidecar(std::vector<std::uint8_t>& resources) {
        const std::string name = sidecar_name(conversion_.source_name);
        ByteFile sidecar = file_exists(name) ? ByteFile::open(name, "rb") : ByteFile();
        const MacForks forks = sidecar.is_open() ? find_forks(sidecar) : MacForks();
        if (forks.wrapping != Wrapping::AppleDouble) {
            conversion_.note_for_user("no resource fork " + name.substr(name.find_last_of("/\\") + 1) +
                          " beside it: converted without footnotes");
            return true;
        }
        if (forks.have_finder_info && !forks.creator_is("NISI")) return false;
        resources = read_span(sidecar, forks.resource);
        return true;
    }

    // A note: its number, then the next note text of the resources (from
    // its 0x1C to the next), empty when there is none left.
    void write_note() {
        ++number_;
        out_.put(stream::kEscape);
        out_.put(stream::kNoteStart);
        out_.put(0);
        out_.put(number_);
        while (next_ < notes_.size() && notes_[next_] != kNoteMark) ++next_;
        if (next_ < notes_.size()) ++next_;
        for (; next_ < notes_.size() && notes_[next_] != kNoteMark; ++next_) write_text_byte(notes_[next_], false, out_);
        out_.put(stream::kEscape);
        out_.put(stream::kEndSection);
    }

    Conversion& conversion_;
    ByteFile& src_;
    ByteFile& out_;
    std::vector<std::uint8_t> notes_;
    std::size_t next_ = 0;
    std::uint8_t number_ = 0;  // one byte, as the note code holds it
};

}  // namespace

Status read_nisus(Conversion& conversion, ByteFile& source, ByteFile& work) {
    return Reader(conversion, source, work).run();
}

bool recognises_nisus(const MacForks& finder) {
    return finder.creator_is("NISI") && std::memcmp(finder.type, "TEXT", 4) == 0;
}

// Only the Finder tells a Nisus Writer document from plain text.
int bid_nisus(const Evidence& e) { return recognises_nisus(e.finder) ? kBidFinder + 1 : kNoBid; }

}  // namespace verbatra
