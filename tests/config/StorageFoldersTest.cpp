#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <string>

#include "config/OwnerTrust.h"
#include "config/ProfileFile.h"
#include "config/SettingsFile.h"
#include "config/StorageFolders.h"
#include "log/ShredLog.h"
#include "support/TempDir.h"

namespace {

struct Folders {
    TempDir dir;
    Folders() {
        dir.MakeDir("prog");
        dir.MakeDir("home");
        dir.MakeDir("all");
    }
    StorageLocations Where() const {
        return {dir.Sub("prog/"), dir.Sub("home/.config/"), dir.Sub("all/")};
    }
    std::string Record() const { return dir.Sub("all/Tessarin/Kelvane/Installation.ini"); }
};

std::string Cwd() {
    char buf[PATH_MAX];
    return ::getcwd(buf, sizeof buf) ? buf : "";
}

bool IsDir(const std::string& p) {
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

TEST(StorageFolders, FirstStartMakesTheFoldersAndTheRecord) {
    Folders f;
    StoragePaths p = FindStoragePaths(f.Where(), 1700000000);
    EXPECT_FALSE(p.portable);
    EXPECT_EQ(p.programFolder, f.dir.Sub("prog/"));
    EXPECT_EQ(p.storageFolder, f.dir.Sub("home/.config/Tessarin/Kelvane/"));
    EXPECT_TRUE(IsDir(p.storageFolder));
    EXPECT_EQ(p.settingsFile, p.storageFolder + "Kelvane.ini");
    EXPECT_EQ(p.logFile, p.storageFolder + "KelvaneLog.txt");
    EXPECT_EQ(p.licenseFile, f.dir.Sub("prog/Kelvane_License.txt"));
    EXPECT_EQ(p.readMeFile, f.dir.Sub("prog/Kelvane_ReadMe.txt"));

    const std::string text = ReadWholeFile(f.Record());
    ProfileFile record(false);
    ASSERT_TRUE(record.Load(f.Record()));
    EXPECT_EQ(record.GetString("InstallationDirectory", ""), f.dir.Sub("prog/"));
    EXPECT_EQ(record.GetString("LanguageFile", ""), "Kelvane_Languages.ini");
    EXPECT_EQ(record.GetString("IniFile", ""), "Kelvane.ini");
    EXPECT_EQ(record.GetString("Version", ""), "Version 2.211 (26.01.2018)");
    const std::string date = record.GetString("InstallDate", "");
    ASSERT_EQ(date.size(), 19u) << date;
    EXPECT_EQ(date[4], '-');
    EXPECT_EQ(date[13], ':');
    // Five entries in this order, one per line.
    size_t a = text.find("InstallationDirectory="), b = text.find("LanguageFile="),
           c = text.find("IniFile="), d = text.find("Version="), e = text.find("InstallDate=");
    EXPECT_TRUE(a < b && b < c && c < d && d < e) << text;
}

TEST(StorageFolders, TheRecordIsRewrittenOnlyForAnotherVersion) {
    Folders f;
    FindStoragePaths(f.Where(), 1700000000);
    const std::string first = ReadWholeFile(f.Record());
    FindStoragePaths(f.Where(), 1800000000);
    EXPECT_EQ(ReadWholeFile(f.Record()), first) << "same version: untouched";

    f.dir.WriteFile(
        "all/Tessarin/Kelvane/Installation.ini",
        "Version=\"Version 2.100 (01.01.2010)\"\r\nInstallDate=\"old\"\r\nExtra=\"x\"\r\n");
    FindStoragePaths(f.Where(), 1800000000);
    ProfileFile record(false);
    ASSERT_TRUE(record.Load(f.Record()));
    EXPECT_EQ(record.GetString("Version", ""), "Version 2.211 (26.01.2018)");
    EXPECT_NE(record.GetString("InstallDate", ""), "old");
    EXPECT_EQ(record.GetString("Extra", ""), "") << "rewritten completely";
}

TEST(StorageFolders, SavePathMakesThePortableStore) {
    Folders f;
    f.dir.MakeDir("prog/data");
    f.dir.WriteFile("prog/SavePath.ini", "ApplicationStorage=\"data\"\r\n");
    const std::string cwd = Cwd();
    StoragePaths p = FindStoragePaths(f.Where(), 1700000000);
    EXPECT_TRUE(p.portable);
    EXPECT_EQ(p.storageFolder, f.dir.Sub("prog/data/"));
    EXPECT_EQ(p.settingsFile, f.dir.Sub("prog/data/Kelvane.ini"));
    EXPECT_FALSE(PathExists(f.dir.Sub("home/.config")));
    EXPECT_FALSE(PathExists(f.dir.Sub("all/Tessarin")));
    EXPECT_EQ(Cwd(), cwd) << "relative command-line paths keep their meaning";

    // An absolute folder works as well.
    f.dir.MakeDir("elsewhere");
    f.dir.WriteFile("prog/SavePath.ini", "ApplicationStorage=\"" + f.dir.Sub("elsewhere") + "\"");
    p = FindStoragePaths(f.Where(), 1700000000);
    EXPECT_TRUE(p.portable);
    EXPECT_EQ(p.storageFolder, f.dir.Sub("elsewhere/"));
}

TEST(StorageFolders, AnUnusableSavePathFallsBackToThePerUserFolder) {
    Folders f;
    const char* contents[] = {
        "ApplicationStorage=\"missing\"\r\n",  // no such folder
        "ApplicationStorage=\"\"\r\n",         // empty
        "Other=\"x\"\r\n",                     // no key
        "",                                    // empty file
    };
    for (const char* c : contents) {
        SCOPED_TRACE(c);
        f.dir.WriteFile("prog/SavePath.ini", c);
        StoragePaths p = FindStoragePaths(f.Where(), 1700000000);
        EXPECT_FALSE(p.portable);
        EXPECT_EQ(p.storageFolder, f.dir.Sub("home/.config/Tessarin/Kelvane/"));
        EXPECT_TRUE(PathExists(f.Record()));
    }
    // A file where the folder should be is not a storage folder either.
    f.dir.WriteFile("prog/notadir", "x");
    f.dir.WriteFile("prog/SavePath.ini", "ApplicationStorage=\"notadir\"");
    EXPECT_FALSE(FindStoragePaths(f.Where(), 1700000000).portable);
}

TEST(StorageFolders, FoldersThatCannotBeMadeAreIgnored) {
    Folders f;
    f.dir.WriteFile("blocker", "a file, not a folder");
    StorageLocations where{f.dir.Sub("prog/"), f.dir.Sub("blocker/.config/"),
                           f.dir.Sub("blocker/all/")};
    StoragePaths p = FindStoragePaths(where, 1700000000);
    EXPECT_FALSE(p.portable);
    EXPECT_EQ(p.storageFolder, f.dir.Sub("blocker/.config/Tessarin/Kelvane/"));
    EXPECT_FALSE(IsDir(p.storageFolder));
    // No bases at all: no folders, empty paths, no crash.
    StoragePaths none = FindStoragePaths(StorageLocations{}, 0);
    EXPECT_EQ(none.settingsFile, "");
    EXPECT_EQ(none.logFile, "");
}

TEST(StorageFolders, WhatTheUserShreddedStaysPrivate) {
    // With the usual umask, what the program makes is for its user only; the
    // installation record stays readable by all.
    const mode_t savedMask = ::umask(022);
    auto mode = [](const std::string& p) {
        struct stat st {};
        return ::lstat(p.c_str(), &st) == 0 ? st.st_mode & 07777 : 07777u;
    };
    Folders f;
    StoragePaths p = FindStoragePaths(f.Where(), 1700000000);
    EXPECT_EQ(mode(f.dir.Sub("home/.config")), 0700u);
    EXPECT_EQ(mode(f.dir.Sub("home/.config/Tessarin")), 0700u);
    EXPECT_EQ(mode(p.storageFolder), 0700u);
    EXPECT_EQ(mode(f.dir.Sub("all/Tessarin/Kelvane")), 0755u);
    EXPECT_EQ(mode(f.Record()), 0644u);

    ASSERT_TRUE(SaveSettings(p.settingsFile, AppSettings{}));
    EXPECT_EQ(mode(p.settingsFile), 0600u);
    ValueLogSwitches switches{true, true};
    ShredLog log(switches);
    log.SetStorageFolder(p.storageFolder);
    log.BeginRunLog();
    ASSERT_TRUE(log.AppendLog(u"/home/u/secret.txt [done]"));
    EXPECT_EQ(mode(p.logFile), 0600u);

    // An older version's folder, settings and log open to all: tightened, and the
    // archive copy of that log too. A stricter mode is never loosened.
    ASSERT_EQ(::chmod(p.storageFolder.c_str(), 0755), 0);
    ASSERT_EQ(::chmod(p.settingsFile.c_str(), 0644), 0);
    ASSERT_EQ(::chmod(p.logFile.c_str(), 0644), 0);
    FindStoragePaths(f.Where(), 1700000000);
    EXPECT_EQ(mode(p.storageFolder), 0700u);
    ASSERT_TRUE(SaveSettings(p.settingsFile, AppSettings{}));
    EXPECT_EQ(mode(p.settingsFile), 0600u);
    log.BeginRunLog();
    int archives = 0;
    for (const auto& e : std::filesystem::directory_iterator(p.storageFolder)) {
        if (!e.path().filename().string().starts_with("KelvaneLog_")) continue;
        ++archives;
        EXPECT_EQ(mode(e.path().string()), 0600u) << e.path();
    }
    EXPECT_EQ(archives, 1);
    ASSERT_EQ(::chmod(p.logFile.c_str(), 0640), 0);
    ASSERT_TRUE(log.AppendLog(u"x"));
    EXPECT_EQ(mode(p.logFile), 0600u);

    ASSERT_EQ(::chmod(p.storageFolder.c_str(), 0500), 0);
    ASSERT_EQ(::chmod(p.settingsFile.c_str(), 0200), 0);
    FindStoragePaths(f.Where(), 1700000000);
    EXPECT_EQ(mode(p.storageFolder), 0500u);
    ::chmod(p.storageFolder.c_str(), 0700);
    ASSERT_TRUE(SaveSettings(p.settingsFile, AppSettings{}));
    EXPECT_EQ(mode(p.settingsFile), 0200u);
    ::umask(savedMask);
}

TEST(StorageFolders, DefaultLocationsFollowTheEnvironment) {
    const char* saved = std::getenv("XDG_CONFIG_HOME");
    std::string keep = saved ? saved : "";
    ::setenv("XDG_CONFIG_HOME", "/tmp/xdg-test-base", 1);
    StorageLocations w = DefaultStorageLocations();
    EXPECT_EQ(w.userConfigBase, "/tmp/xdg-test-base/");
    EXPECT_EQ(w.allUsersBase, "/var/lib/");
    ASSERT_FALSE(w.programFolder.empty());
    EXPECT_EQ(w.programFolder.back(), '/');
    EXPECT_EQ(w.programFolder.front(), '/');
    ::setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
    const char* home = std::getenv("HOME");
    if (home && *home) {
        EXPECT_EQ(DefaultStorageLocations().userConfigBase, std::string(home) + "/.config/");
    }
    if (saved)
        ::setenv("XDG_CONFIG_HOME", keep.c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
}

// Folders and files that another user owns, or that others may change, steer
// nothing: the built-in settings hold and no store is used. Needs root to hand
// files to another user.
TEST(StorageFolders, PlacesOfAnotherUserAreNotUsed) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to give files to another user";
    constexpr uid_t kOther = 65534;
    Folders f;
    StoragePaths own = FindStoragePaths(f.Where(), 1700000000);
    ASSERT_TRUE(own.refusedPath.empty());
    ASSERT_TRUE(SaveSettings(own.settingsFile, AppSettings{}));

    // A storage folder of another user, and one inside another user's folder.
    ASSERT_EQ(::chown(own.storageFolder.c_str(), kOther, kOther), 0);
    StoragePaths p = FindStoragePaths(f.Where(), 1700000000);
    EXPECT_EQ(p.refusedPath, own.storageFolder);
    EXPECT_EQ(p.storageFolder, "");
    EXPECT_EQ(p.settingsFile, "");
    EXPECT_EQ(p.logFile, "");
    ASSERT_EQ(::chown(own.storageFolder.c_str(), 0, 0), 0);
    ASSERT_EQ(::chown(f.dir.Sub("home").c_str(), kOther, kOther), 0);
    EXPECT_EQ(FindStoragePaths(f.Where(), 1700000000).refusedPath, own.storageFolder);
    ASSERT_EQ(::chown(f.dir.Sub("home").c_str(), 0, 0), 0);
    EXPECT_EQ(FindStoragePaths(f.Where(), 1700000000).storageFolder, own.storageFolder);

    // A settings file of another user, open to the group, or a link: not read.
    f.dir.WriteFile("home/.config/Tessarin/Kelvane/Kelvane.ini",
                    "<?xml version=\"1.0\"?>\r\n<InitFile>\r\n  <Random>0</Random>\r\n"
                    "  <ShredValue>/etc/shadow</ShredValue>\r\n</InitFile>\r\n");
    ASSERT_FALSE(LoadSettings(own.settingsFile).refused);
    ASSERT_EQ(LoadSettings(own.settingsFile).values.random, 0);
    ASSERT_EQ(::chown(own.settingsFile.c_str(), kOther, kOther), 0);
    LoadedSettings s = LoadSettings(own.settingsFile);
    EXPECT_TRUE(s.refused);
    EXPECT_EQ(s.values.random, 1);
    EXPECT_EQ(s.values.shredValue, AppSettings{}.shredValue);
    ASSERT_EQ(::chown(own.settingsFile.c_str(), 0, 0), 0);
    ASSERT_EQ(::chmod(own.settingsFile.c_str(), 0620), 0);
    EXPECT_TRUE(LoadSettings(own.settingsFile).refused);
    ASSERT_EQ(::chmod(own.settingsFile.c_str(), 0600), 0);
    const std::string elsewhere = f.dir.Sub("home/real.ini");
    ASSERT_EQ(::rename(own.settingsFile.c_str(), elsewhere.c_str()), 0);
    ASSERT_EQ(::symlink(elsewhere.c_str(), own.settingsFile.c_str()), 0);
    EXPECT_TRUE(LoadSettings(own.settingsFile).refused);
    EXPECT_FALSE(LoadSettings(f.dir.Sub("home/missing.ini")).refused) << "missing is no refusal";

    // A portable "SavePath.ini" of another user, or one that others may change.
    f.dir.MakeDir("prog/data");
    f.dir.WriteFile("prog/SavePath.ini", "ApplicationStorage=\"data\"\r\n");
    ASSERT_TRUE(FindStoragePaths(f.Where(), 1700000000).portable);
    for (auto spoil : {+[](const char* p) { return ::chown(p, kOther, kOther); },
                       +[](const char* p) { return ::chmod(p, 0666); }}) {
        ASSERT_EQ(spoil(f.dir.Sub("prog/SavePath.ini").c_str()), 0);
        p = FindStoragePaths(f.Where(), 1700000000);
        EXPECT_FALSE(p.portable);
        EXPECT_EQ(p.refusedPath, f.dir.Sub("prog/SavePath.ini"));
        EXPECT_EQ(p.storageFolder, "") << "no store rather than one the user did not name";
        ASSERT_EQ(::chown(f.dir.Sub("prog/SavePath.ini").c_str(), 0, 0), 0);
        ASSERT_EQ(::chmod(f.dir.Sub("prog/SavePath.ini").c_str(), 0644), 0);
    }
    // ... or naming a folder that is another user's.
    ASSERT_EQ(::chown(f.dir.Sub("prog/data").c_str(), kOther, kOther), 0);
    p = FindStoragePaths(f.Where(), 1700000000);
    EXPECT_EQ(p.refusedPath, f.dir.Sub("prog/data/"));
    EXPECT_EQ(p.storageFolder, "");
}

// Run as root with another user's HOME (sudo -E), the store is root's own.
TEST(StorageFolders, AnotherUsersHomeGivesWayToOurOwn) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to give a folder to another user";
    const std::string own = EffectiveUserHome();
    ASSERT_FALSE(own.empty());
    TempDir other;
    other.MakeDir("home");
    ASSERT_EQ(::chown(other.Sub("home").c_str(), 65534, 65534), 0);
    struct Env {
        std::string name, value;
        bool set;
        explicit Env(const char* n) : name(n), set(std::getenv(n) != nullptr) {
            if (set) value = std::getenv(n);
        }
        ~Env() {
            set ? (void)::setenv(name.c_str(), value.c_str(), 1) : (void)::unsetenv(name.c_str());
        }
    } home("HOME"), xdg("XDG_CONFIG_HOME");
    ::unsetenv("XDG_CONFIG_HOME");
    ::setenv("HOME", other.Sub("home").c_str(), 1);
    EXPECT_EQ(DefaultStorageLocations().userConfigBase, WithTrailingSlash(own) + ".config/");
    ::setenv("XDG_CONFIG_HOME", other.Sub("home/.config").c_str(), 1);
    EXPECT_EQ(DefaultStorageLocations().userConfigBase, WithTrailingSlash(own) + ".config/");
    // Our own HOME is taken as it stands.
    ::setenv("HOME", other.Path().c_str(), 1);
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(DefaultStorageLocations().userConfigBase,
              WithTrailingSlash(other.Path()) + ".config/");
}
