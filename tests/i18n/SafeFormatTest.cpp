#include <gtest/gtest.h>

#include "i18n/SafeFormat.h"

TEST(SafeFormat, FillsTheProgramsFormats) {
    EXPECT_EQ(
        SafeFormat(u"%s [%d / %d - %d %c]: %s", {u"Shredding", 3, 8, 37, u'%', u"/data/a.txt"}),
        u"Shredding [3 / 8 - 37 %]: /data/a.txt");
    EXPECT_EQ(SafeFormat(u"%02d:%02d:%02d", {1, 2, 3}), u"01:02:03");
    EXPECT_EQ(SafeFormat(u"%s%04x", {u"ab", 0xbeef}), u"abbeef");
    EXPECT_EQ(SafeFormat(u"%04x", {0x1f}), u"001f");
    EXPECT_EQ(SafeFormat(u"%u", {-1}), u"4294967295");
    EXPECT_EQ(SafeFormat(u"%s%s%04d", {u"/mnt/", u"Morvik.$$$temp$$$", 12345}),
              u"/mnt/Morvik.$$$temp$$$12345");
    EXPECT_EQ(SafeFormat(u"100%% %-4d|", {7}), u"100% 7   |");
    EXPECT_EQ(SafeFormat(u"%05d", {-42}), u"-0042");
    EXPECT_EQ(SafeFormat("Amount of files: %d", {12}), u"Amount of files: 12");
}

TEST(SafeFormat, HostileTextsNeverCrash) {
    EXPECT_EQ(SafeFormat(u"Sure to shred '%s'? %n", {u"/a"}), u"Sure to shred '/a'? %n");
    EXPECT_EQ(SafeFormat(u"%s%s%s", {u"x"}), u"x%s%s");
    EXPECT_EQ(SafeFormat(u"%d items", {u"many"}), u"many items");
    EXPECT_EQ(SafeFormat(u"%s", {5}), u"5");
    EXPECT_EQ(SafeFormat(u"only text", {1, 2, 3}), u"only text");
    EXPECT_EQ(SafeFormat(u"trailing %", {}), u"trailing %");
    EXPECT_EQ(SafeFormat(u"%99999999999d", {1}).size(), 1000u);  // width is capped
    EXPECT_EQ(SafeFormat(u"%p %f %lld", {1, 2}), u"%p %f 1");
}
