// The three places the program runs from: its build folder, a portable folder
// (data next to the program) and an installed tree (bin/ with share/kelvane/).
#include <gtest/gtest.h>

#include "config/DataFolder.h"
#include "config/StorageFolders.h"
#include "support/TempDir.h"

TEST(DataFolder, NextToTheProgramThenTheInstalledShareFolderElseTheProgramFolder) {
    TempDir t;
    // Installed: bin/ holds only the program.
    t.WriteFile("usr/bin/kelvane", "");
    t.WriteFile("usr/share/kelvane/Kelvane_Languages.ini", "");
    EXPECT_EQ(FindDataFolder(t.Sub("usr/bin/")), t.Sub("usr/share/kelvane/"));
    EXPECT_EQ(FindDataFolder(t.Sub("usr/bin")), t.Sub("usr/share/kelvane/")) << "no slash";

    // Build or portable folder: the data beside the program wins over an installed
    // copy, so that a build tree or an unpacked folder uses its own texts.
    t.WriteFile("usr/bin/Kelvane_Languages.ini", "");
    EXPECT_EQ(FindDataFolder(t.Sub("usr/bin/")), t.Sub("usr/bin/"));

    // A folder by the marker's name is no data; nothing found: the program folder.
    t.MakeDir("odd/bin/Kelvane_Languages.ini");
    t.MakeDir("odd/share/kelvane/Kelvane_Languages.ini");
    EXPECT_EQ(FindDataFolder(t.Sub("odd/bin/")), t.Sub("odd/bin/"));
    EXPECT_EQ(FindDataFolder(""), "");
    EXPECT_EQ(FindDataFolder("/"), "/");

    // The documents follow the data; settings stay where they were.
    const StorageLocations where{t.Sub("inst/bin/"), t.Sub("home/"), t.Sub("all/")};
    t.WriteFile("inst/share/kelvane/Kelvane_Languages.ini", "");
    StoragePaths p = FindStoragePaths(where, 1700000000);
    EXPECT_EQ(p.programFolder, t.Sub("inst/bin/"));
    EXPECT_EQ(p.dataFolder, t.Sub("inst/share/kelvane/"));
    EXPECT_EQ(p.licenseFile, t.Sub("inst/share/kelvane/Kelvane_License.txt"));
    EXPECT_EQ(p.readMeFile, t.Sub("inst/share/kelvane/Kelvane_ReadMe.txt"));
    EXPECT_EQ(p.storageFolder, t.Sub("home/Tessarin/Kelvane/"));
}
