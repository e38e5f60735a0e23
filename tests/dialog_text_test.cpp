// What the dialogs compute: centring, the shortened path, drive entries.
#include <gtest/gtest.h>

#include "ui/dialog_text.h"

namespace verbatra::ui {
namespace {

TEST(DialogText, Centring) {
    struct Case {
        int ref_start, ref_size, size, screen, want;
    } cases[] = {
        {0, 1024, 400, 1024, 312},    // on the screen
        {100, 600, 200, 1024, 300},   // over a window
        {900, 600, 200, 1024, 824},   // kept from running past the right edge
        {-300, 200, 100, -1, 0},      // nor past the left one
        {0, 1024, 1300, 1024, 0},     // larger than the screen: at 0
    };
    for (const Case& c : cases) {
        EXPECT_EQ(centred_position(c.ref_start, c.ref_size, c.size, c.screen < 0 ? 1024 : c.screen), c.want)
            << c.ref_start << " " << c.size;
    }
}

TEST(DialogText, ShortenedPaths) {
    struct Case {
        const char* path;
        const char* shown;
    } cases[] = {
        {"c:\\texts\\letters\\1998\\march\\week12\\", "c:\\texts\\...\\1998\\march\\week12\\"},
        {"c:\\documents\\clients\\archives\\1998\\march\\", "c:\\documents\\...\\march\\"},
        {"c:\\short\\path\\", "c:\\short\\path\\"},
        // Nothing to leave out: the last directory stays visible.
        {"c:\\aaaaaaaaaaaaaaaa\\bbbbbbbbbbbbbbbbbbbb\\", "c:\\aaaaaaaaaaaaaaaa\\bbbbbbbbbbbbbbbbbbbb\\"},
        // Fewer than three backslashes: shown whole.
        {"c:\\a-very-long-directory-name-here\\", "c:\\a-very-long-directory-name-here\\"},
        {"c:\\one\\two\\a-last-directory-with-a-long-name\\",
         "c:\\one\\...\\a-last-directory-with-a-long-name\\"},
    };
    for (const Case& c : cases) EXPECT_EQ(shortened_path(c.path), c.shown) << c.path;
}

TEST(DialogText, DriveEntries) {
    EXPECT_EQ(drive_entry('A', ""), "[A:]");
    EXPECT_EQ(drive_entry('C', "SYSTEM"), "System [C:]");
    // A long label is cut, never the drive.
    const std::string long_entry = drive_entry('D', std::string(40, 'X'));
    EXPECT_EQ(long_entry.size(), 31u);
    EXPECT_EQ(long_entry.substr(long_entry.size() - 5), " [D:]");
    EXPECT_EQ(drive_of_entry(long_entry), "d:");
    // A label that holds brackets of its own: the last "[" is the drive.
    EXPECT_EQ(drive_of_entry(drive_entry('F', "Backup [E:] copy")), "f:");
    EXPECT_EQ(drive_of_entry("no drive"), "");
}

TEST(DialogText, ParentPaths) {
    EXPECT_EQ(parent_path("c:\\texts\\letters\\"), "c:\\texts\\");
    EXPECT_EQ(parent_path("c:\\texts\\"), "c:\\");
    EXPECT_EQ(parent_path("c:\\"), "c:\\");  // a root stays
}

}  // namespace
}  // namespace verbatra::ui
