#pragma once
// A main window whose program, per-user and all-users folders are inside a
// temporary folder, with every dialog and platform action replaced: nothing a
// test does reaches the real settings, a browser or the shutdown command.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <memory>
#include <vector>

#include "config/StorageFolders.h"
#include "platform/Platform.h"
#include "support/TempDir.h"
#include "ui/FileDialogs.h"
#include "ui/KelvaneDlg.h"
#include "ui/MessageBoxes.h"

class MainWindowFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_.MakeDir("program");
        dir_.MakeDir("home");
        dir_.MakeDir("all");
        MessageBoxes::ResetHooks();
        MessageBoxes::SetDefaultAnswer(MessageBoxes::kCancel);
        FileDialogs::ResetHooks();
        FileDialogs::SetCancelWhenNothingQueued(true);
        PlatformServices fake;
        fake.shellOpen = [this](const std::u16string& t) {
            opened.push_back(t);
            return true;
        };
        fake.shutdown = [this] {
            ++shutdowns;
            return true;
        };
        fake.now = [] { return int64_t{1700000000}; };
        platform_ = std::make_unique<ScopedPlatform>(fake);
    }
    void TearDown() override {
        platform_.reset();
        MessageBoxes::ResetHooks();
        FileDialogs::ResetHooks();
    }

    StorageLocations Where() const {
        return {dir_.Sub("program/"), dir_.Sub("home/.config/"), dir_.Sub("all/")};
    }
    std::string SettingsFile() const {
        return dir_.Sub("home/.config/Tessarin/Kelvane/Kelvane.ini");
    }

    // A shown main window of the test folders.
    std::unique_ptr<CKelvaneDlg> Open() {
        auto dlg = std::make_unique<CKelvaneDlg>(Where());
        dlg->show();
        QApplication::setActiveWindow(dlg.get());
        (void)QTest::qWaitForWindowActive(dlg.get(), 2000);
        QApplication::processEvents();
        return dlg;
    }

    TempDir dir_;
    std::vector<std::u16string> opened;
    int shutdowns = 0;

  private:
    std::unique_ptr<ScopedPlatform> platform_;
};
