#pragma once
// Where the program keeps its files: the program folder, the storage folder
// (portable: named by "SavePath.ini" next to the program; otherwise the per-user
// configuration folder + "Tessarin/Kelvane/"), and the installation record in the
// all-users folder. The bases are injectable so that tests never touch the real
// folders. Every folder path ends with "/".
#include <cstdint>
#include <string>

struct StorageLocations {
    std::string programFolder;   // folder of the running program
    std::string userConfigBase;  // $XDG_CONFIG_HOME, else ~/.config
    std::string allUsersBase;    // /var/lib
};

struct StoragePaths {
    std::string programFolder;
    std::string dataFolder;  // language files, help pages, documents (FindDataFolder)
    std::string storageFolder;
    std::string settingsFile;  // storage folder + "Kelvane.ini"
    std::string logFile;       // storage folder + "KelvaneLog.txt"
    std::string licenseFile;   // data folder + "Kelvane_License.txt"
    std::string readMeFile;    // data folder + "Kelvane_ReadMe.txt"
    bool portable = false;
    // A storage place that was not used because another user owns it or others
    // may change it (see OwnerTrust.h); the storage folder is then empty, so the
    // built-in settings hold and nothing is logged, recorded or recovered.
    std::string refusedPath;
};

inline constexpr const char* kVersionLine = "Version 2.211 (26.01.2018)";

// The folders of this process: /proc/self/exe, $XDG_CONFIG_HOME or $HOME/.config,
// /var/lib. A base that belongs to another user (root run with that user's HOME
// kept, as "sudo -E" does) gives way to the effective user's own home.
StorageLocations DefaultStorageLocations();

// Finds the storage folder. Without a usable "SavePath.ini" it creates the
// per-user folders and writes the installation record; failures are ignored.
// "SavePath.ini" and the storage folder count only when they are ours and
// nobody else may change them; otherwise `refusedPath` says which was not used.
// `now` is the calendar time for the record's date.
StoragePaths FindStoragePaths(const StorageLocations& where, int64_t now);

// Writes "Installation.ini" under allUsersBase + "Tessarin/Kelvane/" unless it
// already records this version. Failures are ignored.
void WriteInstallationRecord(const StorageLocations& where, int64_t now);

// "folder" + "/" unless it already ends with one; "" stays "".
std::string WithTrailingSlash(std::string folder);
