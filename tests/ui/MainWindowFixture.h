#pragma once
// A main window whose program, per-user and all-users folders are inside a
// temporary folder, with every dialog and platform action replaced: nothing a
// test does reaches the real settings, a browser or the shutdown command.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QTest>
#include <functional>
#include <memory>
#include <vector>

#include "config/StorageFolders.h"
#include "platform/Platform.h"
#include "support/TempDir.h"
#include "ui/DriveDlg.h"
#include "ui/FileDialogs.h"
#include "ui/KelvaneDlg.h"
#include "ui/MessageBoxes.h"
#include "uisupport/Captions.h"

// Keeps the window's events going until `done` holds; false after the limit.
inline bool WaitUntil(const std::function<bool()>& done, int milliseconds = 30000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > milliseconds) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// The caption of a button or label as shown (mnemonic marks left out), or the
// current text of a drop-down.
inline QString TextOf(QWidget* w) {
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return Caption(b->text());
    if (auto* l = qobject_cast<QLabel*>(w)) return Caption(l->text());
    if (auto* c = qobject_cast<QComboBox*>(w)) return c->currentText();
    return {};
}

// The items of a drop-down.
inline QStringList ItemsOf(QWidget* w) {
    QStringList out;
    auto* c = qobject_cast<QComboBox*>(w);
    for (int i = 0; c && i < c->count(); ++i) out << c->itemText(i);
    return out;
}

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
        CDriveDlg::SetDriveSource(nullptr);
        CDriveDlg::SetNextAction(nullptr);
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
