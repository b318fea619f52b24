#include <gtest/gtest.h>

#include "ui/KelvaneDlg.h"
#include "uisupport/Screenshot.h"

TEST(MainWindowSmoke, OpensOffscreen) {
    CKelvaneDlg dlg;
    dlg.show();
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_FALSE(SaveScreenshot(&dlg, QStringLiteral("smoke")).isEmpty());
}
