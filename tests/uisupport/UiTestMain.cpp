// Runs the UI tests inside one QApplication on the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "platform/qt/DesktopNotify.h"

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    // No test reaches the desktop's notification service.
    SetDesktopNotifier([](const QString&, const QString&, const QString&) { return false; });
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
