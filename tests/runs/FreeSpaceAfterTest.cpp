// "Then overwrite the free space of these drives": the earlier version of a file
// that an editor's save left in free space is gone only with it; the drives
// filled are those whose files were shredded; a stop ends everything.
#include <fcntl.h>
#include <linux/btrfs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/FillDrive.h"
#include "platform/FillSystem.h"
#include "runs/FileRunFixture.h"
#include "support/RawDevice.h"
#include "support/TestMount.h"

namespace {

// Built at run time, so that nothing but the test's files holds it.
std::string Marker(const char* kind) {
    std::string m = std::string("KELVANE-") + kind + "-VERSION-";
    for (char c = 'a'; c <= 'p'; ++c) m += static_cast<char>(c ^ 0x20);
    return m;
}

size_t Count(const std::string& haystack, const std::string& needle) {
    size_t n = 0;
    for (size_t at = haystack.find(needle); at != std::string::npos;
         at = haystack.find(needle, at + 1))
        ++n;
    return n;
}

void WriteSynced(const std::string& path, const std::string& unit, size_t bytes) {
    std::string content;
    while (content.size() < bytes) content += unit;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0) << path;
    ASSERT_EQ(::write(fd, content.data(), content.size()), static_cast<ssize_t>(content.size()));
    ASSERT_EQ(::fsync(fd), 0);
    ::close(fd);
}

// As editors save: the new version goes to a file of its own, which is then
// renamed over the old one. The old version's blocks are free, not overwritten.
void EditorSave(const std::string& path, const std::string& unit) {
    WriteSynced(path + ".swp", unit, 64 * 1024);
    ASSERT_EQ(::rename((path + ".swp").c_str(), path.c_str()), 0);
}

bool HasLineStarting(const std::vector<std::u16string>& lines, const std::string& start) {
    for (const std::u16string& l : lines)
        if (Utf8FromWide(l).rfind(start, 0) == 0) return true;
    return false;
}

std::string Joined(const std::vector<std::u16string>& lines) {
    std::string all;
    for (const std::u16string& l : lines) all += Utf8FromWide(l) + "\n";
    return all;
}

// Trimming a loop device punches holes into its image: the proof must come from
// the filler's own writes.
FillSystemCalls NoTrim() {
    FillSystemCalls calls = DefaultFillSystemCalls();
    calls.trim = [](int) { return EOPNOTSUPP; };
    return calls;
}

// One file at a time, so that a test can act between two files.
struct OneFileAtATime {
    OneFileAtATime() { ::setenv("KELVANE_FILES_AT_ONCE", "1", 1); }
    ~OneFileAtATime() { ::unsetenv("KELVANE_FILES_AT_ONCE"); }
};

}  // namespace

TEST_F(FileRunTest, EditorSavedEarlierVersionLeavesTheImageOnlyWithFreeSpaceAfter) {
    ScopedFillSystem noTrim(NoTrim());
    const std::string oldMarker = Marker("OLD"), newMarker = Marker("NEW");
    for (const bool after : {false, true}) {
        SCOPED_TRACE(after ? "with the free space after" : "without");
        TestMount m(TestMount::Kind::Ext4Image, 12 * 1024);
        KELVANE_REQUIRE_MOUNT(m);
        const std::string doc = m.Path() + "report.odt";
        WriteSynced(doc, oldMarker, 64 * 1024);
        EditorSave(doc, newMarker);
        m.Sync();
        ASSERT_GT(CountOnDevice(m.ImagePath(), oldMarker), 100u)
            << "the old version must lie in free space first";

        window.settings.freeSpaceAfter = after;
        window.AddRow(WideFromUtf8(doc));
        Run();
        // After a fill the status line also names what ext4 keeps for itself.
        EXPECT_EQ(window.status.rfind(Done().substr(0, Done().size() - 1), 0), 0u)
            << Joined(window.logLines);
        EXPECT_EQ(window.status.find(u"keeps for itself not reached") != std::u16string::npos,
                  after)
            << Utf8FromWide(window.status);
        EXPECT_EQ(state.lastOutcome.load(), RunOutcome::Done);
        EXPECT_EQ(HasLineStarting(window.logLines, m.Path() + " [done] "), after)
            << Joined(window.logLines);
        ASSERT_TRUE(m.Unmount());
        const std::string raw = ReadDeviceWhole(m.ImagePath());
        EXPECT_EQ(Count(raw, newMarker), 0u);
        if (after)
            EXPECT_EQ(Count(raw, oldMarker), 0u) << Joined(window.logLines);
        else
            EXPECT_GT(Count(raw, oldMarker), 100u);
    }
}

TEST_F(FileRunTest, FreeSpaceAfterFillsTheDrivesShreddedOnAndNothingAfterAStop) {
    ScopedFillSystem noTrim(NoTrim());
    OneFileAtATime sequential;
    TestMount a(TestMount::Kind::Ext4Image, 8 * 1024), b(TestMount::Kind::Ext4Image, 8 * 1024),
        c(TestMount::Kind::Ext4Image, 8 * 1024), memory(TestMount::Kind::Tmpfs, 1024);
    KELVANE_REQUIRE_MOUNT(a);
    KELVANE_REQUIRE_MOUNT(b);
    KELVANE_REQUIRE_MOUNT(c);
    KELVANE_REQUIRE_MOUNT(memory);
    window.settings.freeSpaceAfter = true;

    // Shredded on a (twice), b and in memory; c only lists an empty folder, and b
    // goes away once its file is done.
    TempDir::WriteFileAt(b.Path() + "b.txt", "b");
    TempDir::WriteFileAt(a.Path() + "a1.txt", "a1");
    TempDir::WriteFileAt(a.Path() + "a2.txt", "a2");
    TempDir::WriteFileAt(memory.Path() + "m.txt", "m");
    ASSERT_EQ(::mkdir((c.Path() + "empty").c_str(), 0700), 0);
    for (const std::string& p :
         {b.Path() + "b.txt", a.Path() + "a1.txt", a.Path() + "a2.txt", memory.Path() + "m.txt"})
        window.AddRow(WideFromUtf8(p));
    window.AddRow(WideFromUtf8(c.Path() + "empty/"), u"FOLDER");
    window.onStatus = [&](const std::u16string& text) {
        if (text.find(u"a1.txt") != std::u16string::npos) (void)b.Unmount();
    };
    Run();
    const std::string log = Joined(window.logLines);
    EXPECT_EQ(Count(log, "Shredding free disk space with 1 iterations"), 1u) << log;
    EXPECT_EQ(Count(log, a.Path() + " [done] "), 1u) << log;
    EXPECT_EQ(Count(log, "[FAILED!] no longer mounted"), 1u) << log;
    EXPECT_EQ(Count(log, memory.Path() + " [free space not overwritten"), 1u) << log;
    EXPECT_EQ(log.find(c.Path() + " ["), std::string::npos) << log;
    EXPECT_NE(log.find(c.Path() + "empty/ [FOLDER, removed]"), std::string::npos) << log;
    EXPECT_EQ(window.beginRunLogCalls, 1);
    EXPECT_EQ(window.RowCount(), 0);
    EXPECT_EQ(state.lastOutcome.load(), RunOutcome::Partly);
    EXPECT_EQ(window.status.rfind(Partly().substr(0, Partly().size() - 1), 0), 0u)
        << Utf8FromWide(window.status);

    // A fill never goes into what lies under a drive that is gone or replaced.
    FillParams params;
    params.device = 1;
    FillRun fill(params);
    const std::atomic<bool> goOn{false};
    const FillOutcome replaced = FillDrive(a.WPath(), params, fill, {}, goOn);
    EXPECT_EQ(replaced.failure, FillFailure::DriveGone);
    EXPECT_EQ(replaced.written, 0u);

    // Stopped after the first file: the free space is left alone.
    window.onStatus = [&](const std::u16string&) { state.stop = true; };
    TempDir::WriteFileAt(a.Path() + "a3.txt", "a3");
    TempDir::WriteFileAt(a.Path() + "a4.txt", "a4");
    window.AddRow(WideFromUtf8(a.Path() + "a3.txt"));
    window.AddRow(WideFromUtf8(a.Path() + "a4.txt"));
    Run();
    EXPECT_EQ(state.lastOutcome.load(), RunOutcome::Interrupted);
    EXPECT_EQ(window.status, Interrupted());
    EXPECT_EQ(Joined(window.logLines).find("free disk space"), std::string::npos)
        << Joined(window.logLines);
}

// btrfs shows each subvolume, the mounted one too, under a device number of its
// own that no mount lists: the drive is still the mount that holds them, and
// the folder for its metadata is one that is still there.
TEST_F(FileRunTest, FreeSpaceAfterReachesBtrfsAndItsSubvolumes) {
    ScopedFillSystem noTrim(NoTrim());
    TestMount disk("btrfs", 128 * 1024, {"-q", "-f"});
    KELVANE_REQUIRE_MOUNT(disk);
    btrfs_ioctl_vol_args sub{};
    std::snprintf(sub.name, sizeof sub.name, "sub");
    const int top = ::open(disk.Path().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_EQ(::ioctl(top, BTRFS_IOC_SUBVOL_CREATE, &sub), 0) << std::strerror(errno);
    ::close(top);
    ASSERT_EQ(::mkdir((disk.Path() + "sub/inner").c_str(), 0700), 0);
    TempDir::WriteFileAt(disk.Path() + "sub/inner/in.txt", "in");
    TempDir::WriteFileAt(disk.Path() + "top.txt", "top");
    window.AddRow(WideFromUtf8(disk.Path() + "sub/inner/in.txt"));
    window.AddRow(WideFromUtf8(disk.Path() + "top.txt"));
    window.settings.freeSpaceAfter = true;
    Run();
    const std::string log = Joined(window.logLines);
    EXPECT_EQ(Count(log, disk.Path() + " [done] "), 1u) << log;
    EXPECT_EQ(log.find("no longer mounted"), std::string::npos) << log;
    // The folder and the subvolume above it went with the file: the metadata
    // space is overwritten from a folder further up.
    EXPECT_EQ(log.find("could not be overwritten"), std::string::npos) << log;
    EXPECT_EQ(state.lastOutcome.load(), RunOutcome::Done) << log;
}
