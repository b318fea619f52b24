#include <gtest/gtest.h>

#include "config/DialogFilter.h"

TEST(DialogFilter, PairsBecomeQtEntriesAndStarDotStarMatchesEveryName) {
    EXPECT_EQ(DialogFilterFromText(u"All files(*.*)|*.*||"), u"All files (*)");
    EXPECT_EQ(DialogFilterFromText(u"Alle Dateien (*.*)|*.*||"), u"Alle Dateien (*)");
    // Parentheses that hold no patterns are the description's own.
    EXPECT_EQ(DialogFilterFromText(u"Files (mine)|*.txt||"), u"Files (mine) (*.txt)");
    EXPECT_EQ(DialogFilterFromText(u"Text|*.txt;*.log|All|*.*||"), u"Text (*.txt *.log);;All (*)");
    // The closing bars are often forgotten in hand-written language files.
    EXPECT_EQ(DialogFilterFromText(u"Text|*.txt"), u"Text (*.txt)");
    EXPECT_EQ(DialogFilterFromText(u"Bin|  *.bin ; ;*.dat |"), u"Bin (*.bin *.dat)");
}

TEST(DialogFilter, BrokenTextsGiveNoFilterOrStopAtTheBreak) {
    EXPECT_EQ(DialogFilterFromText(u""), u"");
    EXPECT_EQ(DialogFilterFromText(u"|"), u"");
    EXPECT_EQ(DialogFilterFromText(u"||||"), u"");
    EXPECT_EQ(DialogFilterFromText(u"All files"), u"");
    EXPECT_EQ(DialogFilterFromText(u"All files|"), u"");
    EXPECT_EQ(DialogFilterFromText(u"|*.txt|Text|*.txt||"), u"");
    EXPECT_EQ(DialogFilterFromText(u"Text|*.txt||Other|*.o||"), u"Text (*.txt)");
    EXPECT_EQ(DialogFilterFromText(u"Text|;;|All|*||"), u"");
}
