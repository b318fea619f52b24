#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "config/NumberText.h"
#include "config/TextConv.h"

using namespace std::literals;

TEST(TextConv, ValidTextRoundTripsIncludingSupplementaryPlanes) {
    const std::string utf8 =
        "Gr\xC3\xBC\xC3\x9F"
        "e \xE2\x82\xAC \xF0\x9F\x98\x80";
    std::u16string wide = WideFromUtf8(utf8);
    EXPECT_EQ(wide, u"Grüße € 😀");
    EXPECT_EQ(Utf8FromWide(wide), utf8);
    EXPECT_EQ(Utf8FromWide(u""), "");
    EXPECT_EQ(WideFromUtf8(""), u"");
}

TEST(TextConv, InvalidBytesSurviveARoundTrip) {
    // Stray continuation, truncated sequence, overlong "/", encoded surrogate,
    // a byte never valid in UTF-8, and a sequence cut at the very end.
    const std::string bad[] = {"a\x80z",       "\xC3",   "\xC0\xAF",
                               "\xED\xA0\x80", "x\xFFy", "ok\xE2\x82"};
    for (const auto& b : bad) {
        std::u16string w = WideFromUtf8(b);
        for (char16_t u : w) EXPECT_FALSE(u >= 0xD800 && u <= 0xDBFF) << "no high surrogate";
        EXPECT_EQ(Utf8FromWide(w), b);
    }
    // Each invalid byte becomes exactly one escape unit.
    EXPECT_EQ(WideFromUtf8("\xC0\xAF"), std::u16string({char16_t(0xDCC0), char16_t(0xDCAF)}));
    // A lone surrogate that is no escape has no byte form and becomes U+FFFD.
    EXPECT_EQ(Utf8FromWide(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

TEST(TextConv, PrintableTextEscapesWhatCouldForgeOrHideALine) {
    // Control characters, the escaped bytes of names that are not UTF-8, lone
    // surrogates, line separators and bidirectional overrides.
    EXPECT_EQ(PrintableText(u"x\nforged.txt [done]"), u"x\\nforged.txt [done]");
    EXPECT_EQ(PrintableText(u"a\r\tb\x1b[2Jc\x7f\0d"sv), u"a\\r\\tb\\x1b[2Jc\\x7f\\x00d");
    EXPECT_EQ(PrintableText(WideFromUtf8("bad \xff\xfe\x80.txt")), u"bad \\xff\\xfe\\x80.txt");
    EXPECT_EQ(PrintableText(u"\x85|\u2028|\u202e|\u2066"), u"\\u0085|\\u2028|\\u202e|\\u2066");
    const char16_t lone[] = {u'a', 0xD800, u'b', 0xDC10, 0};
    EXPECT_EQ(PrintableText(lone), u"a\\ud800b\\udc10");
    // Everything else stays, pairs included; a backslash of the text's own is
    // doubled, so that it never reads as the start of an escape.
    const std::u16string kept = u"Grüße € 😀 ä/日記";
    EXPECT_EQ(PrintableText(kept), kept);
    EXPECT_EQ(PrintableText(u"C:\\x41\\"), u"C:\\\\x41\\\\");
    EXPECT_EQ(PrintableText(u""), u"");
    // The stored form shown again (the log in its viewer) stays as it was written.
    const std::u16string once = PrintableText(WideFromUtf8("a\\n\n\xff\x1b"));
    EXPECT_EQ(once, u"a\\\\n\\n\\xff\\x1b");
    EXPECT_EQ(PrintableStoredText(once), once);
    EXPECT_EQ(PrintableStoredText(u"a\nb\u202e"), u"a\\nb\\u202e");
}

TEST(TextConv, DifferentNamesNeverPrintAlike) {
    // Every text of up to four characters from those that escapes are made of,
    // and those that are escaped: no two print the same.
    const std::u16string alphabet = {u'\\', u'n', u'x',  u'u',   u'f',   u'2',
                                     u'e',  u'0', u'\n', 0xDCFF, 0x202E, 0x1B};
    std::map<std::u16string, std::u16string> seen;
    std::vector<std::u16string> texts{u""};
    for (size_t begin = 0, length = 0; length < 4; ++length) {
        const size_t end = texts.size();
        for (size_t i = begin; i < end; ++i)
            for (char16_t c : alphabet) texts.push_back(texts[i] + c);
        begin = end;
    }
    size_t clashes = 0;
    for (const std::u16string& t : texts) {
        const auto [it, added] = seen.emplace(PrintableText(t), t);
        if (!added && ++clashes <= 3)
            ADD_FAILURE() << Utf8FromWide(it->second) << " and " << Utf8FromWide(t)
                          << " both print as " << Utf8FromWide(it->first);
    }
    EXPECT_EQ(clashes, 0u);
    EXPECT_NE(PrintableText(u"a\nb"), PrintableText(u"a\\nb"));
    EXPECT_NE(PrintableText(WideFromUtf8("a\xff")), PrintableText(u"a\\xff"));
    EXPECT_NE(PrintableText(u"a\u202e"), PrintableText(u"a\\u202e"));
}

TEST(NumberText, DecimalPrefixesLikeTheCLibrary) {
    EXPECT_EQ(ParseInt32(" 7"), 7);
    EXPECT_EQ(ParseInt32("7a"), 7);
    EXPECT_EQ(ParseInt32("a"), 0);
    EXPECT_EQ(ParseInt32("-3"), -3);
    EXPECT_EQ(ParseInt32("99999999999"), 2147483647);
    EXPECT_EQ(ParseInt32("-99999999999999999999999"), -2147483647 - 1);
    EXPECT_EQ(ParseInt32(u"  +42x"), 42);

    uint32_t v = 5;
    EXPECT_FALSE(ParseUInt32Modulo("", v));
    EXPECT_FALSE(ParseUInt32Modulo("-", v));
    EXPECT_EQ(v, 5u);
    EXPECT_TRUE(ParseUInt32Modulo("-1", v));
    EXPECT_EQ(v, 4294967295u);
    EXPECT_TRUE(ParseUInt32Modulo(" 102400kb", v));
    EXPECT_EQ(v, 102400u);
    EXPECT_TRUE(ParseUInt32Modulo("99999999999", v));
    EXPECT_EQ(v, 4294967295u);
}
