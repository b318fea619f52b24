#include <gtest/gtest.h>

#include "config/OptionsRules.h"
#include "config/TextConv.h"

namespace {

// The fields exactly as the dialog would show them for `s`.
OptionsFields Shown(AppSettings& s) {
    return OptionsFieldsOf(OptionsSettingsOf(s));
}

}  // namespace

TEST(OptionsRules, FieldsShowTheSettingsAsUnsignedNumbersAndTexts) {
    AppSettings s;
    s.shredBlockSize = 4294967295u;
    s.shredValue = "/tmp/pat\xE9rn file";  // not UTF-8: must come back unchanged
    s.diskShredLeaveFiles = true;
    s.ignoreProtect = true;
    OptionsFields f = Shown(s);
    EXPECT_EQ(f.shredBlockSize, u"4294967295");
    EXPECT_EQ(f.diskShredBlockSize, u"524288");
    EXPECT_EQ(f.diskShredFileSize, u"1073741824");
    EXPECT_EQ(f.diskShredFileName, u"Morvik.$$$temp$$$");
    EXPECT_TRUE(f.diskShredLeaveFiles);
    EXPECT_FALSE(f.fileShredLeaveFiles);
    EXPECT_FALSE(f.fileShredFileShred);
    EXPECT_TRUE(f.ignoreProtect);

    // OK without any edit stores exactly what was there.
    AppSettings before = s;
    StoreOptions(f, OptionsSettingsOf(s));
    EXPECT_EQ(s.shredValue, before.shredValue);
    EXPECT_EQ(s.shredBlockSize, before.shredBlockSize);
    EXPECT_EQ(s.diskShredBlockSize, before.diskShredBlockSize);
    EXPECT_EQ(s.diskShredFileSize, before.diskShredFileSize);
}

TEST(OptionsRules, SizesAreReadWithSignModuloTwoToTheThirtyTwo) {
    struct Case {
        std::u16string text;
        uint32_t expected;
    } cases[] = {
        {u"4096", 4096},
        {u"  +77", 77},
        {u"\t12abc", 12},
        {u"-1", 4294967295u},
        {u"4294967295", 4294967295u},
        {u"-4294967295", 1},
        {u"99999999999999999999", 4294967295u},
        {u"00042", 42},
    };
    for (const auto& c : cases) {
        uint32_t v = 123;
        ReadSizeField(c.text, 999, v);
        EXPECT_EQ(v, c.expected) << Utf8FromWide(c.text);
    }
}

TEST(OptionsRules, FieldsWithoutDigitsKeepTheirSettings) {
    for (std::u16string text : {u"", u"   ", u"abc", u"-", u"+ 5", u"KB 5"}) {
        uint32_t v = 777;
        ReadSizeField(text, 999, v);
        EXPECT_EQ(v, 777u) << Utf8FromWide(text);
    }
    AppSettings s;
    s.diskShredFileSize = 2000000;
    s.diskShredBlockSize = 4096;
    s.shredBlockSize = 8192;
    OptionsFields f = Shown(s);
    f.diskShredFileSize.clear();
    f.diskShredBlockSize = u"lots";
    f.shredBlockSize = u" ";
    StoreOptions(f, OptionsSettingsOf(s));
    EXPECT_EQ(s.diskShredFileSize, 2000000u);
    EXPECT_EQ(s.diskShredBlockSize, 4096u);
    EXPECT_EQ(s.shredBlockSize, 8192u);
}

TEST(OptionsRules, DiskBlockSizeNotBelowTheFileSizeBecomesTheDefault) {
    AppSettings s;
    OptionsFields f = Shown(s);
    // Larger.
    f.diskShredFileSize = u"1000000";
    f.diskShredBlockSize = u"2000000";
    StoreOptions(f, OptionsSettingsOf(s));
    EXPECT_EQ(s.diskShredFileSize, 1000000u);
    EXPECT_EQ(s.diskShredBlockSize, 524288u);
    // Equal.
    f.diskShredFileSize = u"65536";
    f.diskShredBlockSize = u"65536";
    StoreOptions(f, OptionsSettingsOf(s));
    EXPECT_EQ(s.diskShredFileSize, 65536u);
    EXPECT_EQ(s.diskShredBlockSize, 524288u);
    // One below is kept.
    f.diskShredFileSize = u"65536";
    f.diskShredBlockSize = u"65535";
    StoreOptions(f, OptionsSettingsOf(s));
    EXPECT_EQ(s.diskShredBlockSize, 65535u);
    // The file size is stored first, so the block is compared with the new one even
    // when the block field itself was left without digits.
    s.diskShredBlockSize = 300000;
    f.diskShredFileSize = u"100000";
    f.diskShredBlockSize = u"";
    StoreOptions(f, OptionsSettingsOf(s));
    EXPECT_EQ(s.diskShredFileSize, 100000u);
    EXPECT_EQ(s.diskShredBlockSize, 524288u);
}

TEST(OptionsRules, ZeroSizesBecomeDefaultsSoTheFreeSpaceFillCanEnd) {
    AppSettings s;
    s.diskShredFileSize = 5000000;
    s.diskShredBlockSize = 4096;
    s.shredBlockSize = 8192;
    OptionsFields f = Shown(s);
    f.diskShredFileSize = u"0";
    StoreOptions(f, OptionsSettingsOf(s));
    EXPECT_EQ(s.diskShredFileSize, 1073741824u);
    EXPECT_EQ(s.diskShredBlockSize, 4096u);

    f.diskShredFileSize = u"5000000";
    f.diskShredBlockSize = u"-0";
    f.shredBlockSize = u"0";
    StoreOptions(f, OptionsSettingsOf(s));
    EXPECT_EQ(s.diskShredBlockSize, 524288u);
    EXPECT_EQ(s.shredBlockSize, 102400u);

    // 2^32 wraps to 0 and is caught the same way.
    f.diskShredBlockSize = u"-4294967296";
    StoreOptions(f, OptionsSettingsOf(s));
    EXPECT_GT(s.diskShredBlockSize, 0u);
    EXPECT_LT(s.diskShredBlockSize, s.diskShredFileSize);

    // Whatever is typed, both free-space sizes end up non-zero.
    for (std::u16string a : {u"0", u"1", u"524288", u"-1", u""}) {
        for (std::u16string b : {u"0", u"1", u"524288", u"-1", u""}) {
            f.diskShredFileSize = a;
            f.diskShredBlockSize = b;
            StoreOptions(f, OptionsSettingsOf(s));
            EXPECT_GT(s.diskShredFileSize, 0u);
            EXPECT_GT(s.diskShredBlockSize, 0u);
        }
    }
}

TEST(OptionsRules, TextsAreStoredAsTheyStandAndSwitchesFollowTheBoxes) {
    AppSettings s;
    OptionsFields f = Shown(s);
    f.shredValue = u"  /home/u/pattern file.bin \n";
    f.diskShredFileName = u"";
    f.diskShredLeaveFiles = true;
    f.fileShredLeaveFiles = true;
    f.fileShredFileShred = true;
    f.ignoreProtect = false;
    s.ignoreProtect = true;
    StoreOptions(f, OptionsSettingsOf(s));
    EXPECT_EQ(s.shredValue, "  /home/u/pattern file.bin \n");
    EXPECT_EQ(s.diskShredFileName, "");
    EXPECT_TRUE(s.diskShredLeaveFiles);
    EXPECT_TRUE(s.fileShredLeaveFiles);
    EXPECT_TRUE(s.fileShredFileShred);
    EXPECT_FALSE(s.ignoreProtect);

    // Non-UTF-8 bytes in a path survive the trip through the field.
    s.shredValue = "/tmp/\xFF\xFE.bin";
    f = Shown(s);
    StoreOptions(f, OptionsSettingsOf(s));
    EXPECT_EQ(s.shredValue, "/tmp/\xFF\xFE.bin");
    // Settings outside the dialog are not touched.
    AppSettings other;
    other.iterations = 42;
    other.languageName = "Deutsch";
    StoreOptions(Shown(other), OptionsSettingsOf(other));
    EXPECT_EQ(other.iterations, 42);
    EXPECT_EQ(other.languageName, "Deutsch");
}
