#include "stream/codes.h"

namespace verbatra::stream {

const char* code_name(std::uint8_t code) {
    switch (code) {
        case kSetChar: return "char";
        case 0x21: return "reserved-21";
        case kClearAllTabs: return "clear-all-tabs";
        case kBoldOn: return "bold";
        case kBoldOff: return "/bold";
        case kUnderlineOn: return "underline";
        case kUnderlineOff: return "/underline";
        case kSubscriptOn: return "subscript";
        case kSubscriptOff: return "/subscript";
        case kSuperscriptOn: return "superscript";
        case kSuperscriptOff: return "/superscript";
        case kCentredOn: return "centred";
        case kCentredOff: return "/centred";
        case kStrikeOn: return "strike";
        case kStrikeOff: return "/strike";
        case kItalicOn: return "italic";
        case kItalicOff: return "/italic";
        case kHiddenOn: return "hidden";
        case kHiddenOff: return "/hidden";
        case kPageNumber: return "page-number";
        case kNonBreakingSpace: return "nbsp";
        case kReserved35: return "reserved-35";
        case kOptionalHyphen: return "optional-hyphen";
        case kAllCapsOn: return "all-caps";
        case kAllCapsOff: return "/all-caps";
        case kShadowOn: return "shadow";
        case kShadowOff: return "/shadow";
        case kStyleB1On: return "style-b1";
        case kStyleB1Off: return "/style-b1";
        case kDoubleUnderlineOn: return "double-underline";
        case kDoubleUnderlineOff: return "/double-underline";
        case kJustifiedOn: return "justified";
        case kJustifiedOff: return "/justified";
        case kRightOn: return "right";
        case kRightOff: return "/right";
        case kSmallCapsOn: return "small-caps";
        case kSmallCapsOff: return "/small-caps";
        case kOutlineOn: return "outline";
        case kOutlineOff: return "/outline";
        case kLeftGuillemet: return "left-guillemet";
        case kRightGuillemet: return "right-guillemet";
        case kLeftAligned: return "left";
        case kBackslash: return "backslash";
        case kEndSection: return "end-section";
        case kSetTab: return "set-tab";
        case kClearTab: return "clear-tab";
        case kLeftMargin: return "left-margin";
        case kRightMargin: return "right-margin";
        case kIndentHere: return "indent-here";
        case kIndent2: return "indent-2";
        case kIndentOff: return "indent-off";
        case kFontClass: return "font-class";
        case kFontSize: return "font-size";
        case kSymbolFont: return "symbol-font";
        case kLineSpacing: return "line-spacing";
        case kMeasure97: return "measure-97";
        case kHeaderEven: return "header-even";
        case kHeaderOdd: return "header-odd";
        case kHeaderAll: return "header";
        case kFooterEven: return "footer-even";
        case kFooterOdd: return "footer-odd";
        case kFooterAll: return "footer";
        case kNoteStart: return "note";
        case kParagraphBorder: return "border";
        case kParagraphReset: return "paragraph-reset";
        case kPicture: return "picture";
        case kTextColour: return "colour";
        default: return nullptr;
    }
}

}  // namespace verbatra::stream
