// The proof that counts: data deleted the ordinary way stays readable on the
// device until a free-space run overwrites it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <iostream>
#include <string>

#include "config/TextConv.h"
#include "platform/FillSystem.h"
#include "platform/Platform.h"
#include "runs/FreeSpaceRun.h"
#include "runs/RunState.h"
#include "runs/WorkerThreads.h"
#include "support/FakeRunWindow.h"
#include "support/RawDevice.h"
#include "support/TempDir.h"
#include "support/TestMount.h"

namespace {

const std::string kMarker = "KELVANE-RAW-MARKER-7f3a9c-";

size_t CountMarkers(const std::string& image) {
    return CountOnDevice(image, kMarker);
}

bool WriteMarkerFile(const std::string& path, size_t bytes) {
    std::string content;
    while (content.size() < bytes) content += kMarker;
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    bool ok = ::write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size()) &&
              ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

// Writes the marker until the file system is full (the root reserve too: tests
// run as root), as a file that filled the drive would have.
void FillWithMarker(const std::string& path) {
    std::string content;
    while (content.size() < 1024 * 1024) content += kMarker;
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    for (size_t len = content.size(); len >= 512;) {
        if (::write(fd, content.data(), len) <= 0) len /= 2;
    }
    ::fsync(fd);
    ::close(fd);
}

void RunFreeSpace(const std::string& root, FakeRunWindow& window) {
    window.settings.random = 1;
    window.iterationsText.assign(1, u'1');
    RunState state;
    state.drivesTable.AppendRow(root);
    WorkerThreads threads;
    ASSERT_TRUE(StartFreeSpaceRun(threads, window, state, [] { return true; }));
    threads.JoinAll();
}

std::string JoinLines(const std::vector<std::u16string>& lines) {
    std::string all;
    for (const auto& l : lines) all += Utf8FromWide(l) + "\n";
    return all;
}

}  // namespace

TEST(FreeSpaceRawImage, DeletedMarkerIsGoneFromTheImageAfterAFreeSpaceRun) {
    TestMount m(TestMount::Kind::Ext4Image, 32 * 1024);
    KELVANE_REQUIRE_MOUNT(m);
    ASSERT_TRUE(WriteMarkerFile(m.Path() + "secret.txt", 1024 * 1024));
    m.Sync();
    ASSERT_GT(CountMarkers(m.ImagePath()), 1000u) << "the marker must be on the device first";

    ASSERT_EQ(::unlink((m.Path() + "secret.txt").c_str()), 0);
    m.Sync();
    ASSERT_GT(CountMarkers(m.ImagePath()), 1000u) << "an ordinary delete leaves the data behind";

    FakeRunWindow window;
    RunFreeSpace(m.Path(), window);
    EXPECT_EQ(window.status.rfind(u"Shredding done.", 0), 0u);
    ASSERT_TRUE(m.Unmount());
    EXPECT_EQ(CountMarkers(m.ImagePath()), 0u);
}

// The drive as users have it: mkfs defaults keep 5 % back for root, which a run
// as root must fill too; with inline_data; and xfs.
TEST(FreeSpaceRawImage, MarkerThatFilledTheDriveIsGoneOnDefaultExt4InlineDataAndXfs) {
    struct Case {
        TestMount::Kind kind;
        uint64_t sizeKiB;
        const char* name;
    };
    for (Case c : {Case{TestMount::Kind::Ext4Defaults, 64 * 1024, "ext4 defaults"},
                   Case{TestMount::Kind::Ext4Inline, 64 * 1024, "ext4 inline_data"},
                   Case{TestMount::Kind::XfsImage, 300 * 1024, "xfs"}}) {
        SCOPED_TRACE(c.name);
        TestMount m(c.kind, c.sizeKiB);
        if (!m.Ok()) {
            std::cout << "[ SKIPPED  ] " << c.name << ": " << m.Error() << "\n";
            continue;
        }
        FillSystemCalls calls = DefaultFillSystemCalls();
        calls.trim = [](int) { return EOPNOTSUPP; };
        ScopedFillSystem noTrim(calls);
        FillWithMarker(m.Path() + "secret.bin");
        ASSERT_EQ(::unlink((m.Path() + "secret.bin").c_str()), 0);
        m.Sync();
        ASSERT_GT(CountMarkers(m.ImagePath()), 1000u) << "an ordinary delete leaves it behind";

        FakeRunWindow window;
        RunFreeSpace(m.Path(), window);
        EXPECT_EQ(window.status.rfind(u"Shredding done.", 0), 0u);
        ASSERT_TRUE(m.Unmount());
        EXPECT_EQ(CountMarkers(m.ImagePath()), 0u) << JoinLines(window.logLines);
    }
}

// Drives with 1 KiB blocks (mkfs on a small drive): where blocks are still
// free once the big files meet a full disk, small files go after them.
TEST(FreeSpaceRawImage, MarkerIsGoneFromTheLastBlocksOfAnExt4DriveWith1KiBBlocks) {
    TestMount m(
        "ext4", 64 * 1024,
        {"-q", "-F", "-b", "1024", "-E", "lazy_itable_init=0,lazy_journal_init=0,nodiscard"});
    KELVANE_REQUIRE_MOUNT(m);
    FillSystemCalls calls = DefaultFillSystemCalls();
    calls.trim = [](int) { return EOPNOTSUPP; };
    ScopedFillSystem noTrim(calls);
    FillWithMarker(m.Path() + "secret.bin");
    ASSERT_EQ(::unlink((m.Path() + "secret.bin").c_str()), 0);
    m.Sync();
    ASSERT_GT(CountMarkers(m.ImagePath()), 1000u);

    FakeRunWindow window;
    RunFreeSpace(m.Path(), window);
    EXPECT_EQ(window.status.rfind(u"Shredding done.", 0), 0u);
    const std::string log = JoinLines(window.logLines);
    EXPECT_NE(log.find(m.Path() + " [Small files: "), std::string::npos) << log;
    EXPECT_EQ(log.find("[Small files: not used"), std::string::npos) << log;
    ASSERT_TRUE(m.Unmount());
    EXPECT_EQ(CountMarkers(m.ImagePath()), 0u) << log;
}
