#include "config/StorageFolders.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "config/DataFolder.h"
#include "config/OwnerTrust.h"
#include "config/ProfileFile.h"

namespace {

bool IsFolder(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Creates one folder level with `mode`; an existing folder is fine, a failure is
// ignored.
void MakeFolder(const std::string& path, mode_t mode) {
    (void)::mkdir(path.c_str(), mode);
}

// Creates every missing level of `path`, private to the user as the base directory
// rules of the desktop ask for folders that a program creates there.
void MakeFolders(const std::string& path) {
    for (size_t i = 1; i <= path.size(); ++i)
        if (i == path.size() || path[i] == '/') MakeFolder(path.substr(0, i), 0700);
}

// Our own folder under the user's configuration folder: created 0700, and an
// existing one of ours that others may read or enter (older versions made it
// 0755) loses the group's and others' permissions. A stricter mode is kept; a
// folder of another owner, or a link, is left alone.
void MakePrivateFolder(const std::string& path) {
    MakeFolder(path, 0700);
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return;
    if (st.st_uid != ::geteuid() || (st.st_mode & 077) == 0) return;
    (void)::chmod(path.c_str(), st.st_mode & 07700);
}

// The absolute, lexically cleaned form of `path`, relative ones taken against
// `base`; symbolic links are resolved where the path exists.
std::string FullPath(const std::string& path, const std::string& base) {
    std::string joined = !path.empty() && path[0] == '/' ? path : WithTrailingSlash(base) + path;
    std::vector<char> buf(PATH_MAX + 1);
    if (::realpath(joined.c_str(), buf.data())) return buf.data();
    return joined;
}

std::string Stamp(int64_t now) {
    time_t t = static_cast<time_t>(now);
    struct tm tmv {};
    if (!::localtime_r(&t, &tmv)) return {};
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", tmv.tm_year + 1900,
                  tmv.tm_mon + 1, tmv.tm_mday, tmv.tm_hour, tmv.tm_min, tmv.tm_sec);
    return text;
}

}  // namespace

std::string WithTrailingSlash(std::string folder) {
    if (!folder.empty() && folder.back() != '/') folder.push_back('/');
    return folder;
}

StorageLocations DefaultStorageLocations() {
    StorageLocations where;
    std::vector<char> buf(PATH_MAX + 1);
    ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    if (n > 0) {
        std::string exe(buf.data(), static_cast<size_t>(n));
        size_t slash = exe.rfind('/');
        where.programFolder = slash == std::string::npos ? exe : exe.substr(0, slash + 1);
    }
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    if (xdg && xdg[0] == '/' && !BelongsToAnotherUser(xdg)) {
        where.userConfigBase = WithTrailingSlash(xdg);
    } else if (home && home[0] && !BelongsToAnotherUser(home)) {
        where.userConfigBase = WithTrailingSlash(home) + ".config/";
    } else if (const std::string own = EffectiveUserHome(); !own.empty()) {
        where.userConfigBase = WithTrailingSlash(own) + ".config/";
    }
    where.allUsersBase = "/var/lib/";
    return where;
}

StoragePaths FindStoragePaths(const StorageLocations& where, int64_t now) {
    StoragePaths paths;
    paths.programFolder = WithTrailingSlash(where.programFolder);
    paths.dataFolder = FindDataFolder(paths.programFolder);
    paths.licenseFile = paths.dataFolder + "Kelvane_License.txt";
    paths.readMeFile = paths.dataFolder + "Kelvane_ReadMe.txt";

    ProfileFile savePath(false);
    const std::string savePathFile = paths.programFolder + "SavePath.ini";
    bool refusedFile = false;
    if (!paths.programFolder.empty() && savePath.LoadOwned(savePathFile, refusedFile)) {
        std::string value = savePath.GetString("ApplicationStorage", "");
        // A relative folder is taken relative to the program folder. We resolve it
        // ourselves rather than changing the current directory, which would make
        // relative paths on the command line point into the program folder.
        if (!value.empty()) {
            std::string full = FullPath(value, paths.programFolder);
            if (!IsTrustedFolder(paths.programFolder)) {
                paths.refusedPath = savePathFile;
            } else if (IsFolder(full)) {
                paths.storageFolder = WithTrailingSlash(full);
                paths.portable = true;
                if (!IsTrustedFolder(full)) paths.refusedPath = paths.storageFolder;
            }
        }
    }
    if (refusedFile) paths.refusedPath = savePathFile;
    // A portable copy whose store cannot be trusted keeps no store at all rather
    // than leave its traces in the per-user folder.
    if (!paths.portable && paths.refusedPath.empty()) {
        std::string base = WithTrailingSlash(where.userConfigBase);
        if (!base.empty()) {
            MakeFolders(base);
            MakePrivateFolder(base + "Tessarin");
            MakePrivateFolder(base + "Tessarin/Kelvane");
            paths.storageFolder = base + "Tessarin/Kelvane/";
            // Both of our own levels must be real folders (no links) of ours, and
            // so must everything above them.
            struct stat st {};
            for (const std::string& own : {base + "Tessarin", base + "Tessarin/Kelvane"}) {
                if (::lstat(own.c_str(), &st) == 0 &&
                    (!S_ISDIR(st.st_mode) || !IsOwnedAndPrivate(st)))
                    paths.refusedPath = paths.storageFolder;
            }
            if (IsFolder(paths.storageFolder) && !IsTrustedFolder(paths.storageFolder))
                paths.refusedPath = paths.storageFolder;
        }
        WriteInstallationRecord(where, now);
    }
    if (!paths.refusedPath.empty()) {
        paths.storageFolder.clear();
        paths.portable = false;
    }
    paths.settingsFile = paths.storageFolder.empty() ? "" : paths.storageFolder + "Kelvane.ini";
    paths.logFile = paths.storageFolder.empty() ? "" : paths.storageFolder + "KelvaneLog.txt";
    return paths;
}

void WriteInstallationRecord(const StorageLocations& where, int64_t now) {
    std::string base = WithTrailingSlash(where.allUsersBase);
    if (base.empty()) return;
    // The record tells where the program is installed, nothing about the user:
    // readable by all, as an all-users record is meant to be.
    MakeFolder(base + "Tessarin", 0755);
    MakeFolder(base + "Tessarin/Kelvane", 0755);
    const std::string path = base + "Tessarin/Kelvane/Installation.ini";
    ProfileFile record(false);
    if (IsRegularFile(path) && record.Load(path) && record.GetString("Version", "") == kVersionLine)
        return;
    record.Clear();
    record.WriteString("InstallationDirectory", WithTrailingSlash(where.programFolder));
    record.WriteString("LanguageFile", "Kelvane_Languages.ini");
    record.WriteString("IniFile", "Kelvane.ini");
    record.WriteString("Version", kVersionLine);
    record.WriteString("InstallDate", Stamp(now));
    (void)record.Save(path, 0644);
}
