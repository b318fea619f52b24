#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "config/ProfileFile.h"
#include "support/TempDir.h"

namespace {

const std::string kDecl = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n";

ProfileFile Xml(const std::string& body) {
    ProfileFile p(true);
    EXPECT_TRUE(p.SetText(kDecl + "<InitFile>\r\n" + body + "</InitFile>\r\n"));
    return p;
}

ProfileFile Plain(const std::string& text) {
    ProfileFile p(false);
    EXPECT_TRUE(p.SetText(text));
    return p;
}

}  // namespace

TEST(ProfileFile, MissingEmptyAndNonRegularFilesGiveDefaults) {
    TempDir t;
    for (bool xml : {true, false}) {
        ProfileFile p(xml);
        EXPECT_FALSE(p.Load(t.Sub("nothing-here.ini")));
        EXPECT_EQ(p.GetInt("Iterations", 5), 5);
        t.WriteFile("empty.ini", "");
        EXPECT_FALSE(p.Load(t.Sub("empty.ini")));
        EXPECT_EQ(p.GetInt("Iterations", 5), 5);
        EXPECT_EQ(p.Body(), "");
        // A folder and a FIFO are no files; the FIFO must not block the load.
        EXPECT_FALSE(p.Load(t.Path()));
        ASSERT_EQ(::mkfifo(t.Sub(xml ? "fifo1" : "fifo2").c_str(), 0600), 0);
        EXPECT_FALSE(p.Load(t.Sub(xml ? "fifo1" : "fifo2")));
        EXPECT_EQ(p.GetString("Iterations", "d"), "d");
    }
    // A failed load leaves an earlier document as it was.
    ProfileFile p(false);
    t.WriteFile("a.ini", "Iterations=\"3\"\r\n");
    ASSERT_TRUE(p.Load(t.Sub("a.ini")));
    EXPECT_FALSE(p.Load(t.Sub("empty.ini")));
    EXPECT_EQ(p.GetInt("Iterations", 5), 3);
    // An embedded NUL ends the text.
    t.WriteFile("nul.ini", std::string("A=\"1\"\r\n\0B=\"2\"\r\n", 15));
    ASSERT_TRUE(p.Load(t.Sub("nul.ini")));
    EXPECT_EQ(p.Body(), "A=\"1\"\r\n");
    EXPECT_EQ(p.GetString("B", "none"), "none");
}

TEST(ProfileFile, OversizedFilesAreRefused) {
    TempDir t;
    int fd = ::open(t.Sub("huge.ini").c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, ProfileFile::kMaxFileSize + 1), 0);  // sparse: no disk space
    ::close(fd);
    ProfileFile p(false);
    EXPECT_FALSE(p.Load(t.Sub("huge.ini")));
    EXPECT_EQ(p.Body(), "");
}

TEST(ProfileFile, EmptyValuesCountAsMissing) {
    ProfileFile x = Xml("  <Random></Random>\r\n");
    EXPECT_EQ(x.GetInt("Random", 1), 1);
    EXPECT_EQ(x.GetString("Random", "def"), "def");
    EXPECT_TRUE(x.GetBool("Random", true));
    ProfileFile p = Plain("Random=\"\"\r\n");
    EXPECT_EQ(p.GetInt("Random", 1), 1);
    EXPECT_FALSE(p.GetBool("Random", false));
}

TEST(ProfileFile, IntegerAndBooleanReadings) {
    ProfileFile p = Plain(
        "A=\" 7\"\r\nB=\"7x\"\r\nC=\"x\"\r\nD=\"-3\"\r\nE=\"99999999999\"\r\n"
        "F=\"-99999999999\"\r\nG=\"+12\"\r\n");
    EXPECT_EQ(p.GetInt("A", 9), 7);
    EXPECT_EQ(p.GetInt("B", 9), 7);
    EXPECT_EQ(p.GetInt("C", 9), 0) << "a letter alone is 0, not the default";
    EXPECT_EQ(p.GetInt("D", 9), -3);
    EXPECT_EQ(p.GetInt("E", 9), 2147483647);
    EXPECT_EQ(p.GetInt("F", 9), -2147483647 - 1);
    EXPECT_EQ(p.GetInt("G", 9), 12);
    EXPECT_EQ(p.GetInt("Missing", 9), 9);

    ProfileFile b = Plain(
        "T1=\"1\"\r\nT2=\"01\"\r\nF1=\"2\"\r\nF2=\"0\"\r\nF3=\"true\"\r\nE=\"\"\r\n"
        "S=\"4294967297\"\r\n");
    EXPECT_TRUE(b.GetBool("T1", false));
    EXPECT_TRUE(b.GetBool("T2", false));
    EXPECT_FALSE(b.GetBool("F1", true));
    EXPECT_FALSE(b.GetBool("F2", true));
    EXPECT_FALSE(b.GetBool("F3", true));
    EXPECT_TRUE(b.GetBool("E", true));
    EXPECT_FALSE(b.GetBool("E", false));
    EXPECT_TRUE(b.GetBool("Missing", true));
    // A value that wraps to 1 in 32 bits must not read as true.
    EXPECT_FALSE(b.GetBool("S", true));
}

TEST(ProfileFile, QuotesAndEndTagsInsideValues) {
    ProfileFile w(false);
    w.WriteString("Name", "say \"hi\" now");
    EXPECT_EQ(w.GetString("Name", ""), "say ");

    ProfileFile x(true);
    x.WriteString("Cut", "a</Cut>b");
    x.WriteString("Keep", "1 < 2 && x > y; &amp; <b>");
    ProfileFile y(true);
    ASSERT_TRUE(y.SetText(x.GetText()));
    EXPECT_EQ(y.GetString("Cut", ""), "a");
    EXPECT_EQ(y.GetString("Keep", ""), "1 < 2 && x > y; &amp; <b>");
    // Values may span lines.
    ProfileFile m = Xml("  <Multi>line1\r\nline2</Multi>\r\n");
    EXPECT_EQ(m.GetString("Multi", ""), "line1\r\nline2");
}

TEST(ProfileFile, SearchIsAPlainByteSubstringSearch) {
    // The key's tail finds another key's entry in the plain form.
    ProfileFile p = Plain("IniFile=\"x.ini\"\r\n");
    EXPECT_EQ(p.GetString("File", ""), "x.ini");
    EXPECT_EQ(p.GetString("file", "none"), "none") << "case-sensitive";
    // Sections, comments and blank lines mean nothing; blanks or single quotes hide an entry.
    ProfileFile q = Plain("[Section]\r\n; comment\r\n\r\nA = \"1\"\r\nB='2'\r\nC=\"3\"\r\n");
    EXPECT_EQ(q.GetString("A", "none"), "none");
    EXPECT_EQ(q.GetString("B", "none"), "none");
    EXPECT_EQ(q.GetString("C", "none"), "3");
    // An open tag without its end tag finds nothing and leaves the cursor alone.
    ProfileFile r = Xml("  <A>1</A>\r\n  <B>unterminated\r\n");
    EXPECT_EQ(r.GetString("A", ""), "1");
    const int32_t cursor = r.Cursor();
    EXPECT_EQ(r.GetString("B", "none"), "none");
    EXPECT_EQ(r.Cursor(), cursor);
    // Offsets outside the body find nothing and never fault.
    EXPECT_EQ(r.FindValue("A", -5), "1");
    EXPECT_EQ(r.FindValue("A", 1 << 30), "");
}

TEST(ProfileFile, NextStringWalksRepeatedKeysAndRecords) {
    ProfileFile p = Plain("K=\"first\"\r\nK=\"second\"\r\n");
    EXPECT_EQ(p.GetString("K", ""), "first");
    ProfileFile fresh = Plain("K=\"first\"\r\nK=\"second\"\r\n");
    EXPECT_EQ(fresh.GetNextString("K"), "first");
    EXPECT_EQ(fresh.GetNextString("K"), "second");
    EXPECT_EQ(fresh.GetNextString("K"), "");
    EXPECT_EQ(fresh.GetNextString("K"), "") << "stays at the end";

    ProfileFile rec(false);
    rec.WriteString("LanguageName", "A");
    rec.WriteString("LanguageFile", "a.lng");
    rec.WriteString("LanguageName", "B");
    rec.WriteString("LanguageFile", "b.lng");
    EXPECT_EQ(rec.GetNextString("LanguageName"), "A");
    EXPECT_EQ(rec.GetNextString("LanguageFile"), "a.lng");
    EXPECT_EQ(rec.GetNextString("LanguageName"), "B");
    EXPECT_EQ(rec.GetNextString("LanguageFile"), "b.lng");
    EXPECT_EQ(rec.GetNextString("LanguageName"), "");

    // Record A without its file: A's name pairs with B's file, B's name is passed over.
    ProfileFile gap(false);
    gap.WriteString("LanguageName", "A");
    gap.WriteString("LanguageName", "B");
    gap.WriteString("LanguageFile", "b.lng");
    EXPECT_EQ(gap.GetNextString("LanguageName"), "A");
    EXPECT_EQ(gap.GetNextString("LanguageFile"), "b.lng");
    EXPECT_EQ(gap.GetNextString("LanguageName"), "");

    // A lookup moves the cursor too: the walk goes on after what was found last.
    ProfileFile mix = Plain("X=\"1\"\r\nK=\"a\"\r\nX=\"2\"\r\nK=\"b\"\r\n");
    EXPECT_EQ(mix.GetInt("X", 0), 1);
    EXPECT_EQ(mix.GetNextString("K"), "a");
    EXPECT_EQ(mix.GetString("K", ""), "a");
    EXPECT_EQ(mix.GetNextString("X"), "2");
}

TEST(ProfileFile, RootNamesAttributesAndMalformedDocuments) {
    TempDir t;
    t.WriteFile("s.ini", kDecl + "<Settings>\r\n  <A>1</A>\r\n</Settings>\r\n");
    ProfileFile p(true);
    ASSERT_TRUE(p.Load(t.Sub("s.ini")));
    EXPECT_EQ(p.RootName(), "Settings");
    EXPECT_EQ(p.GetInt("A", 0), 1);
    ASSERT_TRUE(p.Save(t.Sub("out.ini")));
    EXPECT_EQ(ReadWholeFile(t.Sub("out.ini")),
              kDecl + "<Settings>\r\n  <A>1</A>\r\n</Settings>\r\n");

    // An attribute becomes part of the name, so the end tag is never found.
    ProfileFile a(true);
    EXPECT_FALSE(a.SetText(kDecl + "<InitFile a=\"1\">\r\n  <A>1</A>\r\n</InitFile>\r\n"));
    EXPECT_EQ(a.Body(), "");
    EXPECT_EQ(a.RootName(), "InitFile a=\"1\"");
    EXPECT_EQ(a.GetInt("A", 7), 7);

    ProfileFile noEnd(true);
    EXPECT_FALSE(noEnd.SetText(kDecl + "<InitFile>\r\n  <A>1</A>\r\n"));
    EXPECT_EQ(noEnd.Body(), "");

    // No declaration end or no root tag: the root name goes back to InitFile and
    // the body stays as it was.
    ProfileFile bad(true);
    bad.WriteString("Old", "v");
    const std::string before = bad.Body();
    bad.SetRootName("Other");
    EXPECT_FALSE(bad.SetText("<InitFile>\r\n</InitFile>\r\n"));
    EXPECT_EQ(bad.RootName(), "InitFile");
    EXPECT_EQ(bad.Body(), before);
    EXPECT_FALSE(bad.SetText(kDecl));
    EXPECT_FALSE(bad.SetText(kDecl + "<Open"));
    EXPECT_EQ(bad.Body(), before);
    EXPECT_EQ(bad.GetText(), kDecl + "<InitFile>\r\n  <Old>v</Old>\r\n</InitFile>\r\n");

    // Whatever follows the root end tag is dropped; the declaration is not examined.
    ProfileFile tail(true);
    ASSERT_TRUE(tail.SetText("junk?>\n<R>\n  <A>1</A>\r\n</R>\r\ntrailing <B>2</B>"));
    EXPECT_EQ(tail.Body(), "  <A>1</A>\r\n");
    EXPECT_EQ(tail.GetString("B", "none"), "none");

    // The plain form has no frame at all.
    ProfileFile plain(false);
    plain.SetRootName("Ignored");
    EXPECT_EQ(plain.RootName(), "InitFile");
    EXPECT_EQ(plain.GetText(), "");
}

TEST(ProfileFile, WrittenDocumentsAreByteExactAndRoundTrip) {
    ProfileFile x(true);
    x.WriteString("ShredBlockSize", "102400");
    x.WriteInt("Iterations", -7);
    x.WriteBool("Random", true);
    x.WriteBool("Log", false);
    x.WriteString("Path", "C:\\a b\\\xC3\xA4.txt");
    x.AppendLine("<Raw>r</Raw>\r\n");
    const std::string expected = kDecl +
                                 "<InitFile>\r\n"
                                 "  <ShredBlockSize>102400</ShredBlockSize>\r\n"
                                 "  <Iterations>-7</Iterations>\r\n"
                                 "  <Random>1</Random>\r\n"
                                 "  <Log>0</Log>\r\n"
                                 "  <Path>C:\\a b\\\xC3\xA4.txt</Path>\r\n"
                                 "  <Raw>r</Raw>\r\n"
                                 "</InitFile>\r\n";
    EXPECT_EQ(x.GetText(), expected);

    TempDir t;
    ASSERT_TRUE(x.Save(t.Sub("Kelvane.ini")));
    EXPECT_EQ(ReadWholeFile(t.Sub("Kelvane.ini")), expected);
    ProfileFile y(true);
    ASSERT_TRUE(y.Load(t.Sub("Kelvane.ini")));
    EXPECT_EQ(y.Body(), x.Body());
    EXPECT_EQ(y.GetText(), expected);
    EXPECT_EQ(y.GetInt("Iterations", 0), -7);
    EXPECT_EQ(y.GetString("Path", ""), "C:\\a b\\\xC3\xA4.txt");

    ProfileFile p(false);
    p.WriteString("SavePath", "/home/u/k");
    p.WriteInt("N", 2147483647);
    EXPECT_EQ(p.GetText(), "SavePath=\"/home/u/k\"\r\nN=\"2147483647\"\r\n");

    // Clear keeps the form and the root name.
    y.Clear();
    EXPECT_EQ(y.Body(), "");
    EXPECT_EQ(y.Cursor(), 0);
    EXPECT_EQ(y.GetText(), kDecl + "<InitFile>\r\n</InitFile>\r\n");
}

TEST(ProfileFile, LineEndsAndByteOrderMarks) {
    TempDir t;
    t.WriteFile("lf.lng", "LanguageName=\"Deutsch\"\nLanguageFile=\"de.lng\"\n");
    ProfileFile p(false);
    ASSERT_TRUE(p.Load(t.Sub("lf.lng")));
    EXPECT_EQ(p.GetString("LanguageName", ""), "Deutsch");
    EXPECT_EQ(p.GetString("LanguageFile", ""), "de.lng");

    const std::string bom = "\xEF\xBB\xBF";
    t.WriteFile("bom.lng", bom + "LanguageName=\"English\"\r\n");
    ProfileFile b(false);
    ASSERT_TRUE(b.Load(t.Sub("bom.lng")));
    EXPECT_EQ(b.Body().substr(0, 3), bom);
    EXPECT_EQ(b.GetString("LanguageName", ""), "English");

    t.WriteFile("bom.ini", bom + kDecl + "<InitFile>\r\n  <A>5</A>\r\n</InitFile>\r\n");
    ProfileFile x(true);
    ASSERT_TRUE(x.Load(t.Sub("bom.ini")));
    EXPECT_EQ(x.Body(), "  <A>5</A>\r\n");

    // An XML file with LF line ends: only one LF after the root tag is taken off.
    ProfileFile lf(true);
    ASSERT_TRUE(lf.SetText("<?xml?>\n<InitFile>\n  <A>6</A>\n</InitFile>\n"));
    EXPECT_EQ(lf.Body(), "  <A>6</A>\n");
    EXPECT_EQ(lf.GetInt("A", 0), 6);
}

TEST(ProfileFile, SaveReplacesTheFileWholeOrNotAtAll) {
    TempDir t;
    const std::string file = t.Sub("Kelvane.ini");
    t.WriteFile("Kelvane.ini", "old contents");
    ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
    ProfileFile x(true);
    x.WriteString("A", "1");
    ASSERT_TRUE(x.Save(file));
    EXPECT_EQ(ReadWholeFile(file), x.GetText());
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u) << "the old file's permissions stay";

    // No folder to write into.
    EXPECT_FALSE(x.Save(t.Sub("no/such/folder/Kelvane.ini")));
    // The path is a folder: nothing is replaced and no temporary file stays behind.
    t.MakeDir("dir.ini");
    EXPECT_FALSE(x.Save(t.Sub("dir.ini")));
    int entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(t.Path())) {
        (void)e;
        ++entries;
    }
    EXPECT_EQ(entries, 2);

    // A settings file kept as a link is written at its target; the link stays.
    TempDir real;
    real.WriteFile("target.ini", "old");
    ASSERT_EQ(::symlink(real.Sub("target.ini").c_str(), t.Sub("link.ini").c_str()), 0);
    ASSERT_TRUE(x.Save(t.Sub("link.ini")));
    struct stat lst {};
    ASSERT_EQ(::lstat(t.Sub("link.ini").c_str(), &lst), 0);
    EXPECT_TRUE(S_ISLNK(lst.st_mode));
    EXPECT_EQ(ReadWholeFile(real.Sub("target.ini")), x.GetText());
}

TEST(ProfileFile, FailedSaveOnAFullDiskKeepsTheOldFile) {
    TempDir t;
    const std::string mnt = t.Sub("small");
    t.MakeDir("small");
    if (::mount("kelvane-test", mnt.c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs here (needs root): full-disk save not tested";
    struct Unmount {
        std::string m;
        ~Unmount() { ::umount2(m.c_str(), MNT_DETACH); }
    } unmount{mnt};

    const std::string file = mnt + "/Kelvane.ini";
    ProfileFile small(true);
    small.WriteString("Iterations", "3");
    ASSERT_TRUE(small.Save(file));
    const std::string old = ReadWholeFile(file);

    // Fill what is left, then save a document larger than the free space.
    {
        std::string chunk(4096, 'x');
        int fd = ::open((mnt + "/filler").c_str(), O_CREAT | O_WRONLY, 0600);
        ASSERT_GE(fd, 0);
        while (::write(fd, chunk.data(), chunk.size()) > 0) {
        }
        ::close(fd);
    }
    ProfileFile big(true);
    big.WriteString("Big", std::string(200000, 'b'));
    EXPECT_FALSE(big.Save(file));
    EXPECT_EQ(ReadWholeFile(file), old);
    int entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(mnt)) {
        (void)e;
        ++entries;
    }
    EXPECT_EQ(entries, 2) << "no temporary file is left behind";
}

TEST(ProfileFile, SaveLeavesAReadOnlyFileAsItIs) {
    TempDir t;
    ProfileFile x(true);
    x.WriteString("A", "new");
    const std::string file = t.Sub("Kelvane.ini");
    auto mode = [](const std::string& p) {
        struct stat st {};
        return ::stat(p.c_str(), &st) == 0 ? st.st_mode & 07777 : 07777u;
    };
    // No write bit at all: read-only for everybody, root included.
    for (mode_t readOnly : {0444u, 0400u, 0000u}) {
        t.WriteFile("Kelvane.ini", "old contents");
        ASSERT_EQ(::chmod(file.c_str(), readOnly), 0);
        EXPECT_FALSE(x.Save(file)) << std::oct << readOnly;
        EXPECT_EQ(ReadWholeFile(file), "old contents");
        EXPECT_EQ(mode(file), readOnly);
        ::chmod(file.c_str(), 0600);
    }
    // Written by its owner only, saved by someone else who may write the folder: the
    // rename would get past the file's mode, the save must not.
    if (::geteuid() == 0) {
        ASSERT_EQ(::chmod(t.Path().c_str(), 0777), 0);
        t.WriteFile("Kelvane.ini", "old contents");
        ASSERT_EQ(::chmod(file.c_str(), 0644), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const bool dropped = ::setgid(65534) == 0 && ::setuid(65534) == 0;
            ::_exit(!dropped ? 3 : x.Save(file) ? 1 : 0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        EXPECT_EQ(ReadWholeFile(file), "old contents");
    }
    // A writable file is still replaced, keeping a mode stricter than asked for.
    ::chmod(file.c_str(), 0600);
    EXPECT_TRUE(x.Save(file, 0644));
    EXPECT_EQ(ReadWholeFile(file), x.GetText());
    EXPECT_EQ(mode(file), 0600u);
}
