// The proof that counts: data deleted the ordinary way stays readable on the
// device until a free-space run overwrites it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "platform/Platform.h"
#include "runs/FreeSpaceRun.h"
#include "runs/RunState.h"
#include "runs/WorkerThreads.h"
#include "support/FakeRunWindow.h"
#include "support/TempDir.h"
#include "support/TestMount.h"

namespace {

const std::string kMarker = "KELVANE-RAW-MARKER-7f3a9c-";

size_t CountMarkers(const std::string& image) {
    const std::string raw = ReadWholeFile(image);
    size_t n = 0;
    for (size_t at = raw.find(kMarker); at != std::string::npos; at = raw.find(kMarker, at + 1))
        ++n;
    return n;
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
    window.settings.random = 1;
    window.iterationsText.assign(1, u'1');
    RunState state;
    state.drivesTable.AppendRow(m.Path());
    {
        WorkerThreads threads;
        ASSERT_TRUE(StartFreeSpaceRun(threads, window, state, [] { return true; }));
        threads.JoinAll();
    }
    EXPECT_EQ(window.status.rfind(u"Shredding done.", 0), 0u);
    ASSERT_TRUE(m.Unmount());
    EXPECT_EQ(CountMarkers(m.ImagePath()), 0u);
}
