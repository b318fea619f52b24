// Old names, checked on the device after a run by an ordinary user (a test user
// made for the test), who may not clear a journal: on ext4 none is left, on xfs
// none outside its log, and fewer inside it than were planted.
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <map>
#include <memory>
#include <string>

#include "runs/FileRunFixture.h"
#include "support/TestMount.h"

namespace {

constexpr const char* kTestUser = "kvtestnames";

// Built at run time, so the test program's own bytes never hold it.
std::string Marker() {
    std::string m = "kvu";
    for (char c : std::string("SERMARK")) m += static_cast<char>(c ^ 0x20);
    return m;  // "kvusermark"
}

size_t Count(const std::string& data, const std::string& needle) {
    size_t n = 0;
    for (size_t p = data.find(needle); p != std::string::npos; p = data.find(needle, p + 1)) ++n;
    return n;
}

// The image as the device holds it: the page cache of the image file may be
// older than what the loop device wrote.
std::string ReadPastCache(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        (void)::fsync(fd);
        (void)::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        ::close(fd);
    }
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

// The byte range of xfs's internal log in its image; {0, 0} when not told.
std::pair<size_t, size_t> XfsLog(const std::string& image) {
    const std::string cmd =
        "xfs_db -r -c 'sb 0' -c 'print logstart logblocks blocksize agblocks agblklog' '" + image +
        "' 2>/dev/null";
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) return {0, 0};
    std::map<std::string, uint64_t> v;
    char key[64];
    unsigned long long value = 0;
    while (std::fscanf(p, "%63s = %llu", key, &value) == 2) v[key] = value;
    ::pclose(p);
    if (v.size() != 5) return {0, 0};
    const uint64_t ag = v["logstart"] >> v["agblklog"];
    const uint64_t block = v["logstart"] & ((uint64_t{1} << v["agblklog"]) - 1);
    const uint64_t start = (ag * v["agblocks"] + block) * v["blocksize"];
    return {start, start + v["logblocks"] * v["blocksize"]};
}

// The test user, made when missing; false (with why) where that is not allowed.
bool TestUser(uid_t& uid, gid_t& gid, std::string& why) {
    if (::geteuid() != 0) {
        why = "not root: no other user to act as";
        return false;
    }
    if (!::getpwnam(kTestUser))
        (void)std::system(("useradd -r -M -d /nonexistent -s /usr/sbin/nologin " +
                           std::string(kTestUser) + " >/dev/null 2>&1")
                              .c_str());
    const passwd* pw = ::getpwnam(kTestUser);
    if (!pw) {
        why = "the test user could not be made (useradd)";
        return false;
    }
    uid = pw->pw_uid;
    gid = pw->pw_gid;
    return true;
}

// `body` in a child process as the user; its exit status, or -1.
int AsUser(uid_t uid, gid_t gid, const std::function<int()>& body) {
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setresgid(gid, gid, gid) != 0 ||
            ::setresuid(uid, uid, uid) != 0)
            ::_exit(99);
        ::_exit(body());
    }
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

TEST_F(FileRunTest, OldNamesLeaveTheRawImageForAnOrdinaryUser) {
    uid_t uid = 0;
    gid_t gid = 0;
    std::string why;
    if (!TestUser(uid, gid, why)) GTEST_SKIP() << why;
    const std::string marker = Marker();
    int ran = 0;
    for (const bool xfs : {false, true}) {
        SCOPED_TRACE(xfs ? "xfs" : "ext4");
        TestMount mount(xfs ? TestMount::Kind::XfsImage : TestMount::Kind::Ext4Image,
                        xfs ? 320 * 1024 : 32 * 1024);
        if (!mount.Ok()) {
            std::cout << "[user names] not tried: " << mount.Error() << "\n";
            continue;
        }
        ++ran;
        // The user reaches the mount, and owns a home on it that stays.
        const std::string above = mount.Path().substr(0, mount.Path().size() - 4);
        ASSERT_EQ(::chmod(above.c_str(), 0755), 0);
        const std::string home = mount.Path() + "home/";
        const std::string secret = home + "secret/";
        ASSERT_EQ(::mkdir(home.c_str(), 0700), 0);
        ASSERT_EQ(::mkdir(secret.c_str(), 0700), 0);
        TempDir::WriteFileAt(home + "keep.txt", "stays");
        while (window.RowCount() > 0) window.DeleteRow(0);
        for (int d = 0; d < 6; ++d) {
            const std::string folder = secret + "d" + std::to_string(d) + "/";
            ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
            for (int i = 0; i < 50; ++i) {
                const std::string path =
                    folder + marker + "-" + std::to_string(1000 + d * 50 + i) + ".txt";
                TempDir::WriteFileAt(path, std::string(4096, 'x'));
                window.AddRow(WideFromUtf8(path));
            }
            window.AddRow(WideFromUtf8(folder), u"FOLDER");
        }
        window.AddRow(WideFromUtf8(secret), u"FOLDER");
        ASSERT_EQ(std::system(("chown -R " + std::string(kTestUser) + " '" + home + "'").c_str()),
                  0);
        mount.Sync();
        const size_t planted = Count(ReadPastCache(mount.ImagePath()), marker);
        ASSERT_GE(planted, 200u);  // the names did reach the device
        window.settings.shredNames = 1;
        window.settings.random = 1;

        const int status = AsUser(uid, gid, [&] {
            Run();
            if (window.status != Done()) return 1;
            for (const std::u16string& line : window.logLines)
                if (line.find(u"could not be cleared") != std::u16string::npos) return 2;
            return PathExists(secret) ? 3 : 0;
        });
        // 1: not done; 2: the journal was not written over; 3: the folder stayed.
        EXPECT_EQ(status, 0);
        EXPECT_TRUE(PathExists(home + "keep.txt"));

        ASSERT_TRUE(mount.Unmount());
        const std::string image = ReadPastCache(mount.ImagePath());
        const size_t left = Count(image, marker);
        std::cout << "[user names] " << (xfs ? "xfs" : "ext4") << ": " << left << " of " << planted
                  << " left\n";
        if (!xfs) {
            EXPECT_EQ(left, 0u);
            continue;
        }
        const auto [from, to] = XfsLog(mount.ImagePath());
        ASSERT_LT(from, to);
        const std::string outside = image.substr(0, from) + std::string(1, '\0') + image.substr(to);
        EXPECT_EQ(Count(outside, marker), 0u);
        EXPECT_LT(left, planted / 2) << "the log was not written over";
    }
    if (ran == 0) GTEST_SKIP() << "no test file system could be mounted";
}
