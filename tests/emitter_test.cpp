#include <gtest/gtest.h>

#include "stream/emitter.h"
#include "support.h"

namespace verbatra {
namespace {

using test::bytes;

TEST(Emitter, FontSizeWritesChangesOnly) {
    test::Capture c;
    CharState cs;
    set_font_size(cs, 10, c.out());
    set_font_size(cs, 0, c.out());
    EXPECT_EQ(c.bytes(), "");
    set_font_size(cs, 12, c.out());
    set_font_size(cs, 12, c.out());
    set_font_size_if_given(cs, 0, c.out());
    set_font_size(cs, 9, c.out());
    EXPECT_EQ(c.bytes(), bytes({0x5C, 0x90, 0xF6, 0xF4, 0x5C, 0x90, 0xF4, 0xF7}));
    EXPECT_EQ(cs.size, -9);
}

TEST(Emitter, StylesCountAndSwitchOffInOrder) {
    test::Capture c;
    CharState cs;
    style_on(cs, kBold, 1, c.out());
    style_on(cs, kBold, 1, c.out());
    EXPECT_EQ(cs.style_count, 1);
    all_styles_off(cs, c.out());
    EXPECT_EQ(c.bytes(), bytes({0x5C, 0x23, 0x5C, 0x24}));
    EXPECT_EQ(cs.style_count, 0);
    EXPECT_EQ(cs.style_a, 0);

    test::Capture d;
    for (int bit : {kShadow, kSubscript, kItalic, kBold, kOutline}) style_on(cs, bit, 1, d.out());
    style_off(cs, kUnderline, d.out());  // not set: nothing
    all_styles_off(cs, d.out());
    // Off order: bold, ..., subscript, ..., italic, ..., outline, shadow.
    EXPECT_EQ(d.bytes().substr(10), bytes({0x5C, 0x24, 0x5C, 0x28, 0x5C, 0x30, 0x5C, 0x4A, 0x5C, 0x3E}));
    EXPECT_EQ(cs.style_b, 0);
}

TEST(Emitter, ReemitWritesSetStylesAgainAndCounts) {
    test::Capture c;
    CharState cs;
    style_on(cs, kStyleB1, 1, c.out());
    style_on(cs, kUnderline, 1, c.out());
    reemit_styles(cs, c.out());
    EXPECT_EQ(c.bytes(), bytes({0x5C, 0x3F, 0x5C, 0x25, 0x5C, 0x25, 0x5C, 0x3F}));
    EXPECT_EQ(cs.style_count, 4);
}

TEST(Emitter, Alignment) {
    test::Capture c;
    ParaState ps;
    set_alignment(ps, kAlignLeft, c.out());
    set_alignment(ps, kAlignLeft, c.out());
    EXPECT_EQ(c.bytes(), bytes({0x5C, 0x53}));  // the left mark once per document
    test::Capture d;
    set_alignment(ps, kAlignJustify, d.out());
    set_alignment(ps, kAlignCentre, d.out());
    set_alignment(ps, kAlignCentre, d.out());
    reemit_alignment(ps, d.out());
    set_alignment(ps, kAlignRight, d.out());
    alignments_off(ps, d.out());
    EXPECT_EQ(d.bytes(), bytes({0x5C, 0x43, 0x5C, 0x44, 0x5C, 0x2B, 0x5C, 0x2B, 0x5C, 0x2C, 0x5C, 0x45, 0x5C, 0x46}));
    EXPECT_EQ(ps.centred + ps.justified + ps.right_aligned, 0);
}

TEST(Emitter, ValuesWriteOldAndNew) {
    test::Capture c;
    CharState cs;
    ParaState ps;
    set_line_spacing(ps, -16, c.out());
    set_line_spacing(ps, 16, c.out());
    set_font_class(cs, 3, c.out());
    set_font_class(cs, 3, c.out());
    set_symbol_font(cs, 1, c.out());
    write_section_code(0x9E, c.out());
    EXPECT_EQ(write_repeated(0, 'x', c.out()), 0);
    EXPECT_EQ(write_repeated(3, 'x', c.out()), 3);
    EXPECT_EQ(c.bytes(), bytes({0x5C, 0x96, 0x08, 0x10, 0x5C, 0x8F, 0x00, 0x03, 0x5C, 0x91, 0x00, 0x01,
                                0x5C, 0x9E, 0x00, 0x00, 'x', 'x', 'x'}));
}

TEST(Emitter, TabGridAndQueries) {
    test::Capture c;
    TabState tabs;
    EXPECT_EQ(first_tab(tabs), 0);
    set_tab_grid(tabs, c.out(), 5, 5, 20, 1);
    EXPECT_EQ(c.bytes(), bytes({0x5C, 0x80, 1, 5, 0x5C, 0x80, 1, 10, 0x5C, 0x80, 1, 15, 0x5C, 0x80, 1, 20}));
    EXPECT_EQ(tabs.changed, 255);
    EXPECT_EQ(first_tab(tabs), 5);
    EXPECT_EQ(next_tab(tabs, 5, 1), 10);
    EXPECT_EQ(next_tab(tabs, 20, 1), -1);
    EXPECT_EQ(next_tab_kind(tabs, 0, 1), 1);
    EXPECT_EQ(next_tab_kind(tabs, 20, 1), -1);
    EXPECT_EQ(count_tabs(tabs, 5, 20), 3);
    EXPECT_EQ(count_tabs(tabs, 20, 5), 0);

    TabState many;
    test::Capture quiet;
    set_tab_grid(many, quiet.out(), 1, 1, 60, 0);
    EXPECT_EQ(quiet.bytes(), "");
    EXPECT_EQ(count_tabs(many, 0, 60), 1);  // more than 50 counts as one
    EXPECT_EQ(count_tabs(many, 0, 50), 50);
}

TEST(Emitter, NewRulerClearsOnlyWhatItLacks) {
    test::Capture c;
    TabState tabs;
    set_tab_grid(tabs, c.out(), 10, 10, 30, 0);  // stops at 10, 20, 30
    mark_tabs(tabs);
    set_tab_stop(tabs, 10, 1, c.out());  // kept: nothing written
    set_tab_stop(tabs, 20, 3, c.out());  // kind changes: cleared, then set
    set_tab_stop(tabs, 40, 4, c.out());  // new
    flush_marked_tabs(c.out(), tabs);   // 30 is gone
    EXPECT_EQ(c.bytes(), bytes({0x5C, 0x81, 1, 20, 0x5C, 0x80, 3, 20, 0x5C, 0x80, 4, 40, 0x5C, 0x81, 1, 30}));
    EXPECT_EQ(tabs.stops[10], 1);
    EXPECT_EQ(tabs.stops[20], 3);
    EXPECT_EQ(tabs.stops[30], 0);
    EXPECT_EQ(tabs.stops[40], 4);
}

TEST(Emitter, ResetRefusesAnEmptyInputAndLeavesStateAlone) {
    CharState cs;
    ParaState ps;
    TabState tabs;
    cs.size = -14;
    ps.centred = 1;
    tabs.stops[3] = 2;
    test::Source empty("");
    EXPECT_EQ(reset_document_state(empty.in(), cs, ps, &tabs), -2);
    EXPECT_EQ(cs.size, -14);
    test::Source some("ab");
    some.in().get();
    EXPECT_EQ(reset_document_state(some.in(), cs, ps, &tabs), 0);
    EXPECT_EQ(cs.size, -10);
    EXPECT_EQ(ps.centred, 0);
    EXPECT_EQ(ps.right_margin, 79);
    EXPECT_EQ(ps.line_spacing, 8);
    EXPECT_EQ(ps.measure_97, 6);
    EXPECT_EQ(tabs.stops[3], 0);
    EXPECT_EQ(some.in().get(), 'a');  // rewound
}

TEST(InputOperations, MoveThroughASource) {
    test::Source s("xxDSETabcdefghij\rrest");
    EXPECT_EQ(find_text("DSET", s.in()), 7);
    EXPECT_EQ(s.in().get(), 'a');
    skip_bytes(2, s.in());
    EXPECT_EQ(s.in().get(), 'd');
    EXPECT_EQ(advance_to(0, 13, s.in()), 10);  // from position 10 to 13
    EXPECT_EQ(s.in().get(), 'h');
    advance_to(14, 11, s.in());                // backwards, by a seek
    EXPECT_EQ(s.in().get(), 'f');
    EXPECT_EQ(skip_past_byte('\r', s.in()), 5);
    EXPECT_EQ(s.in().get(), 'r');
    EXPECT_EQ(skip_past_byte('\r', s.in()), -1);
    EXPECT_EQ(find_text("nothing", s.in()), -1);

    test::Source overlap("DDSET");  // a false start right before the match
    EXPECT_EQ(find_text("DSET", overlap.in()), 6);
    EXPECT_EQ(overlap.in().get(), ByteFile::kEnd);

    EXPECT_EQ(swap16(0x1234), 0x3412u);
    EXPECT_EQ(swap16(0xABCD1234), 0xABCD3412u);
    EXPECT_EQ(swap32(0x12345678), 0x78563412u);
}

}  // namespace
}  // namespace verbatra
