// The run's promise, checked on the device itself: after shredding, the data the
// files held is found nowhere in the raw image of their file system.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>

#include "runs/FileRunFixture.h"
#include "support/RawDevice.h"
#include "support/TestMount.h"

namespace {

// The marker is built at run time, so this program's own bytes never hold it.
std::string Marker() {
    std::string m = "KELVANE-RAW-IMAGE-MARKER-";
    for (char c = 'a'; c <= 'z'; ++c) m += static_cast<char>(c ^ 0x20);
    return m;
}

std::string Repeat(const std::string& unit, size_t bytes) {
    std::string s;
    while (s.size() < bytes) s += unit;
    s.resize(bytes);
    return s;
}

void Write(const std::string& path, const std::string& content) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0) << path;
    ASSERT_EQ(::write(fd, content.data(), content.size()), static_cast<ssize_t>(content.size()));
    ASSERT_EQ(::fsync(fd), 0);
    ::close(fd);
}

}  // namespace

TEST_F(FileRunTest, NoMarkerRemainsInTheRawImage) {
    TestMount mount(TestMount::Kind::Ext4Image, 32 * 1024);
    KELVANE_REQUIRE_MOUNT(mount);
    const std::string root = mount.Path();
    const std::string marker = Marker();
    ASSERT_EQ(::mkdir((root + "docs").c_str(), 0700), 0);
    ASSERT_EQ(::mkdir((root + "docs/deep").c_str(), 0700), 0);
    // Small, block-sized, odd-sized and multi-megabyte files.
    Write(root + "docs/small.txt", marker);
    Write(root + "docs/block.bin", Repeat(marker, 4096));
    Write(root + "docs/deep/odd.bin", Repeat(marker, 12345));
    Write(root + "docs/deep/large.bin", Repeat(marker, 3 << 20));
    Write(root + "top level.txt", Repeat(marker, 1000));
    mount.Sync();
    // The test only means something when the data did reach the device.
    ASSERT_GT(CountOnDevice(mount.ImagePath(), marker), 1000u);

    window.iterationsText = u"3";
    window.settings.random = 1;
    window.settings.shredNames = 1;
    for (const char* rel : {"docs/small.txt", "docs/block.bin", "docs/deep/odd.bin",
                            "docs/deep/large.bin", "top level.txt"})
        window.AddRow(WideFromUtf8(root + rel));
    window.AddRow(WideFromUtf8(root + "docs/deep/"), u"FOLDER");
    window.AddRow(WideFromUtf8(root + "docs/"), u"FOLDER");
    Run();
    EXPECT_EQ(window.status, Done());
    EXPECT_TRUE(window.Paths().empty());
    EXPECT_FALSE(PathExists(root + "docs"));

    ASSERT_TRUE(mount.Unmount());
    EXPECT_EQ(CountOnDevice(mount.ImagePath(), marker), 0u);
}

TEST_F(FileRunTest, MarkerScanFindsWhatIsThere) {
    // The scanner itself: markers across chunk borders are each counted once, and
    // a file whose size is no whole number of blocks is read to its last byte.
    const std::string marker = Marker();
    std::string content = std::string((1 << 20) - 10, 'x') + marker + "yy" + marker;
    dir.WriteFile("scan.bin", content);
    EXPECT_EQ(CountOnDevice(dir.Sub("scan.bin"), marker), 2u);
    dir.WriteFile("tail.bin", std::string((3 << 20) + 4096 + 7, 'x') + marker);
    EXPECT_EQ(CountOnDevice(dir.Sub("tail.bin"), marker), 1u);
    dir.WriteFile("none.bin", std::string(3 << 20, 'x'));
    EXPECT_EQ(CountOnDevice(dir.Sub("none.bin"), marker), 0u);
}
