// What a report says against what the device holds: on the raw image after a
// run, where names or data of the shredded files remain the report says so (a
// user's run on ext4, whose journal it may not clear; the free lists xfs keeps
// for itself), and where nothing remains it claims nothing more. And the
// report event that scripts read. Needs root (mounts, and a run as another user).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <sstream>

#include "CliProcess.h"
#include "MiniJson.h"
#include "support/TempDir.h"
#include "support/TestMount.h"
#include "support/TestText.h"

namespace {

constexpr uid_t kNobody = 65534;

// Built at run time, so this program's own bytes never hold them.
std::string NameMarker() {
    std::string m = "kvtruth";
    for (char c : std::string("NAME")) m += static_cast<char>(c ^ 0x20);
    return m;
}
std::string DataMarker() {
    std::string m = "KELVANE-TRUTH-";
    for (char c : std::string("datamark")) m += static_cast<char>(c ^ 0x20);
    return m;
}

// How often `needle` is on the device or image, read past the page cache: with
// O_DIRECT where the file allows it, else after dropping its cached pages.
size_t CountOnDevice(const std::string& path, const std::string& needle) {
    int fd = ::open(path.c_str(), O_RDONLY | O_DIRECT | O_CLOEXEC);
    const bool direct = fd >= 0;
    if (!direct) {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return 0;
        ::fdatasync(fd);
        (void)::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    }
    constexpr size_t kChunk = 1 << 20;
    void* raw = nullptr;
    if (::posix_memalign(&raw, 4096, kChunk) != 0) {
        ::close(fd);
        return 0;
    }
    std::unique_ptr<char, decltype(&std::free)> buf(static_cast<char*>(raw), std::free);
    size_t count = 0;
    std::string carry;
    for (;;) {
        ssize_t n = ::read(fd, buf.get(), kChunk);
        if (n < 0 && direct && errno == EINVAL) {
            // A file system without direct reads: the cached way, pages dropped.
            ::close(fd);
            fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
            (void)::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
            n = ::read(fd, buf.get(), kChunk);
        }
        if (n <= 0) break;
        const std::string window = carry + std::string(buf.get(), static_cast<size_t>(n));
        for (size_t p = window.find(needle); p != std::string::npos; p = window.find(needle, p + 1))
            if (p + needle.size() > carry.size()) ++count;
        carry = window.substr(window.size() - std::min(window.size(), needle.size() - 1));
    }
    ::close(fd);
    return count;
}

// The report event of a --json run, and the report it names, parsed.
struct RunReport {
    Json event, report;
    std::vector<std::string> warnings;
    bool Warns(const std::string& start) const {
        for (const std::string& w : warnings)
            if (w.rfind(start, 0) == 0) return true;
        return false;
    }
};

RunReport ReportOf(const CliResult& run) {
    RunReport r;
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);) {
        Json j;
        std::string error;
        if (ParseJson(line, j, error) && j.Get("event") && j.Get("event")->text == "report")
            r.event = j;
    }
    EXPECT_TRUE(r.event.Get("written") && r.event.Get("written")->boolean) << run.out << run.err;
    if (!r.event.Get("json")) return r;
    std::string error;
    EXPECT_TRUE(ParseJson(ReadWholeFile(r.event.Get("json")->text), r.report, error)) << error;
    if (const Json* w = r.report.Get("warnings"))
        for (const Json& item : w->items) r.warnings.push_back(item.text);
    return r;
}

void Own(const std::string& path, uid_t uid) {
    ASSERT_EQ(::chown(path.c_str(), uid, uid), 0) << path;
}

}  // namespace

TEST(CliReportTruth, UserRunOnExt4SaysNamesAndEarlierVersionsRemain) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to mount and to run as another user";
    TestMount mount(TestMount::Kind::Ext4Image, 32 * 1024);
    KELVANE_REQUIRE_MOUNT(mount);
    TempDir home;
    ASSERT_EQ(::chmod(home.Path().c_str(), 0755), 0);
    home.MakeDir("config");
    Own(home.Sub("config"), kNobody);
    // The user reaches the mount through its test folder.
    const std::string mnt = mount.Path();
    ASSERT_EQ(::chmod(mnt.substr(0, mnt.size() - 4).c_str(), 0755), 0);
    ASSERT_EQ(::chmod(mnt.c_str(), 01777), 0);
    const std::string folder = mnt + "papers/";
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    Own(folder, kNobody);
    for (int i = 0; i < 40; ++i) {
        const std::string path = folder + NameMarker() + std::to_string(100 + i);
        TempDir::WriteFileAt(path, DataMarker() + std::string(5000, 'x'));
        Own(path, kNobody);
    }
    mount.Sync();
    const CliResult run =
        RunCliAs(kNobody, home.Sub("config"), {"shred", "-y", "-n", "1", "--json", folder});
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    const RunReport r = ReportOf(run);
    ASSERT_TRUE(mount.Unmount());
    // A user may not clear the journal, but the run writes it over: no old name
    // stays, and the report claims none; the earlier versions are not erased.
    EXPECT_EQ(CountOnDevice(mount.ImagePath(), NameMarker()), 0u);
    EXPECT_FALSE(r.Warns("Old names: the ext4 file system at " + mnt.substr(0, mnt.size() - 1)))
        << run.out;
    EXPECT_TRUE(r.Warns("Earlier versions of these files")) << run.out;
    // Folders have link counts of two and more: no hard links are claimed.
    for (const std::string& w : r.warnings)
        EXPECT_EQ(w.find("other names"), std::string::npos) << w;
}

TEST(CliReportTruth, RootRunWithFreeSpaceAfterClaimsOnlyWhatItCouldNotReach) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to mount";
    TestMount mount(TestMount::Kind::Ext4Image, 32 * 1024);
    KELVANE_REQUIRE_MOUNT(mount);
    TempDir home;
    const std::string folder = mount.Path() + "papers/";
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    for (int i = 0; i < 40; ++i)
        TempDir::WriteFileAt(folder + NameMarker() + std::to_string(100 + i),
                             DataMarker() + std::string(5000, 'x'));
    // An earlier version of a file, deleted the ordinary way before the run.
    TempDir::WriteFileAt(mount.Path() + "draft", DataMarker() + std::string(70000, 'y'));
    mount.Sync();
    ASSERT_EQ(::unlink((mount.Path() + "draft").c_str()), 0);
    mount.Sync();
    const CliResult run = RunCli(
        home.Sub("config"), {"shred", "-y", "-n", "1", "--json", "--free-space-after", folder});
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    const RunReport r = ReportOf(run);
    ASSERT_TRUE(mount.Unmount());
    EXPECT_EQ(CountOnDevice(mount.ImagePath(), NameMarker()), 0u);
    EXPECT_EQ(CountOnDevice(mount.ImagePath(), DataMarker()), 0u);
    // Nothing remains, and the report claims nothing more: no old names, no
    // earlier versions, no other names. (What the device underneath may do,
    // flash for one, is a verdict of its own.) What it could not reach it
    // names, and only that: the clusters ext4 keeps for its metadata, which no
    // file is given, so the drive is not called erased.
    for (const std::string& w : r.warnings)
        for (const char* claim : {"Old names", "Earlier versions", "other names", "still free"})
            EXPECT_EQ(w.find(claim), std::string::npos) << w;
    const Json* drives = r.report.Get("drives");
    ASSERT_TRUE(drives && drives->items.size() == 1u) << run.out;
    EXPECT_EQ(drives->items[0].Get("result")->text, "erased-with-exceptions");
    const Json* notReached = drives->items[0].Get("notReached");
    ASSERT_EQ(notReached->items.size(), 1u) << ReadWholeFile(r.event.Get("json")->text);
    EXPECT_EQ(notReached->items[0].Get("what")->text, "ext4-reserved-clusters");
    EXPECT_GT(notReached->items[0].Get("bytes")->number, 0);
    EXPECT_EQ(r.report.Get("totals")->Get("notErased")->number, 0);
}

TEST(CliReportTruth, XfsFreeSpaceNamesTheBlocksItKeepsForItself) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to mount";
    TestMount mount(TestMount::Kind::XfsImage, 320 * 1024);
    KELVANE_REQUIRE_MOUNT(mount);
    TempDir home;
    for (int i = 0; i < 300; ++i)
        TempDir::WriteFileAt(mount.Path() + "old" + std::to_string(i),
                             DataMarker() + std::string(3000 + 97 * i, 'z'));
    mount.Sync();
    for (int i = 0; i < 300; ++i) ::unlink((mount.Path() + "old" + std::to_string(i)).c_str());
    mount.Sync();
    const CliResult run =
        RunCli(home.Sub("config"), {"free-space", "-y", "-n", "1", "--json", mount.Path()});
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    const RunReport r = ReportOf(run);
    ASSERT_TRUE(mount.Unmount());
    const size_t left = CountOnDevice(mount.ImagePath(), DataMarker());
    std::cout << "[xfs] " << left << " copies of the marker left in free space\n";
    // Whatever is left, the blocks xfs keeps for itself were not written, and
    // the drive is not called erased: 8 blocks of 4 KiB in each of its 4 groups.
    const Json& d = r.report.Get("drives")->items.at(0);
    EXPECT_EQ(d.Get("result")->text, "erased-with-exceptions");
    bool named = false;
    for (const Json& n : d.Get("notReached")->items)
        if (n.Get("what")->text == "xfs-free-lists") {
            named = true;
            EXPECT_EQ(n.Get("bytes")->number, 4 * 8 * 4096);
        }
    EXPECT_TRUE(named) << ReadWholeFile(r.event.Get("json")->text);
    EXPECT_TRUE(r.Warns("drive 1: 131072 bytes not reached (the blocks xfs sets aside")) << run.out;
}

TEST(CliReportTruth, ReportEventNamesTheFilesOrWhyThereAreNone) {
    TempDir tmp;
    tmp.WriteFile("work/a.txt", "secret a");
    CliResult run =
        RunCli(tmp.Sub("config"), {"shred", "-y", "-n", "1", "--json", tmp.Sub("work")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const RunReport r = ReportOf(run);
    ASSERT_TRUE(r.event.Get("json"));
    EXPECT_EQ(r.event.Get("json")->text.rfind(tmp.Sub("config/Tessarin/Kelvane/Reports/"), 0), 0u);
    // The JSON and the OpenSSH signature beside it.
    ASSERT_EQ(r.event.Get("files")->items.size(), 2u);
    ASSERT_TRUE(r.event.Get("signature"));
    EXPECT_TRUE(r.event.Get("problems")->items.empty());
    // The report event comes before the end.
    EXPECT_LT(run.out.find("\"event\":\"report\""), run.out.find("\"event\":\"end\""));

    // A --report place that cannot be written: said on standard error and in the event.
    tmp.WriteFile("work/b.txt", "secret b");
    tmp.WriteFile("blocker", "a file where a folder would be");
    run = RunCli(tmp.Sub("config"), {"shred", "-y", "-n", "1", "--json", "--report",
                                     tmp.Sub("blocker/sub/"), tmp.Sub("work/b.txt")});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("kelvane-cli: report not written: "), std::string::npos) << run.err;
    const RunReport second = ReportOf(run);
    ASSERT_EQ(second.event.Get("problems")->items.size(), 1u) << run.out;
    EXPECT_NE(second.event.Get("problems")->items[0].text.find(tmp.Sub("blocker")),
              std::string::npos);
}

TEST(CliReportTruth, VerifyReportPathFindsAHiddenNameWithTheSecretOnly) {
    TempDir tmp;
    tmp.WriteFile("config/Tessarin/Kelvane/Kelvane.ini",
                  SettingsXml(SettingsEntry("ReportHideNames", "1")));
    ::chmod(tmp.Sub("config/Tessarin/Kelvane").c_str(), 0700);
    ::chmod(tmp.Sub("config/Tessarin/Kelvane/Kelvane.ini").c_str(), 0600);
    tmp.WriteFile("work/private-letter.txt", "secret");
    const CliResult run =
        RunCli(tmp.Sub("config"), {"shred", "-y", "-n", "1", "--json", tmp.Sub("work")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const RunReport r = ReportOf(run);
    ASSERT_TRUE(r.event.Get("json"));
    const std::string report = r.event.Get("json")->text;
    const std::string text = ReadWholeFile(report);
    EXPECT_EQ(text.find("private-letter"), std::string::npos);
    EXPECT_TRUE(r.report.Get("namesHidden")->boolean);
    // Device models, serials and mount sources are hidden with the names.
    const Json& e = r.report.Get("entries")->items.at(0);
    EXPECT_EQ(e.Get("path")->text.rfind("hmac-sha256:", 0), 0u);
    const std::string source = e.Get("place")->Get("mountSource")->text;
    EXPECT_TRUE(source.empty() || source.rfind("hmac-sha256:", 0) == 0) << source;
    for (const Json& d : e.Get("place")->Get("devices")->items)
        for (const char* key : {"model", "serial"})
            EXPECT_TRUE(d.Get(key)->text.empty() || d.Get(key)->text.rfind("hmac-sha256:", 0) == 0)
                << d.Get(key)->text;

    const CliResult found = RunCli(
        tmp.Sub("config"), {"verify-report", "--path", tmp.Sub("work/private-letter.txt"), report});
    EXPECT_EQ(found.exitCode, 0) << found.out;
    EXPECT_NE(found.out.find("FOUND: " + tmp.Sub("work/private-letter.txt")), std::string::npos)
        << found.out;
    const CliResult missing = RunCli(
        tmp.Sub("config"), {"verify-report", "--path=" + tmp.Sub("work/public.txt"), report});
    EXPECT_NE(missing.out.find("NOT FOUND: "), std::string::npos) << missing.out;
    // Another user (another storage folder): no secret of this report, no answer.
    const CliResult other =
        RunCli(tmp.Sub("elsewhere"),
               {"verify-report", "--path", tmp.Sub("work/private-letter.txt"), report});
    EXPECT_EQ(other.out.find("FOUND: "), std::string::npos) << other.out;
    EXPECT_NE(other.out.find("cannot look for"), std::string::npos) << other.out;
    EXPECT_EQ(RunCli(tmp.Sub("config"), {"verify-report", "--path", "", report}).exitCode, 4);
}
