// The file managers' "Shred with Kelvane" entries as they are installed: what
// their Exec line hands over ends up in the window's list, and nothing is shredded
// before the user says so.
#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <fstream>
#include <sstream>

#include "config/TextConv.h"
#include "ui/MainWindowFixture.h"

namespace {

std::string ExecLine(const std::string& actionFile) {
    std::ifstream in(actionFile);
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("Exec=", 0) == 0) return line.substr(5);
    return {};
}

// The arguments a file manager starts the program with: "%F" stands for every
// selected path, each one whole (spaces and all).
std::vector<std::u16string> Expand(const std::string& exec,
                                   const std::vector<std::string>& selected) {
    std::vector<std::u16string> args;
    std::istringstream words(exec);
    for (std::string w; words >> w;) {
        if (w == "%F") {
            for (const auto& s : selected) args.push_back(WideFromUtf8(s));
        } else {
            args.push_back(WideFromUtf8(w));
        }
    }
    return args;
}

bool WaitIdle(CKelvaneDlg& dlg) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!(dlg.Workers().AllDone() && !dlg.IsLocked())) {
        if (std::chrono::steady_clock::now() > end) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    QCoreApplication::processEvents();
    return true;
}

}  // namespace

using DesktopActions = MainWindowFixture;

TEST_F(DesktopActions, TheSelectionOfEveryFileManagerLandsInTheListUnshredded) {
    TempDir sel;
    sel.WriteFile("report 2025.txt", "a");
    sel.WriteFile("folder/x.txt", "b");
    sel.WriteFile("folder/sub/y.txt", "c");
    const std::vector<std::string> selected{sel.Sub("report 2025.txt"), sel.Sub("folder")};
    std::vector<std::u16string> expected{sel.WSub("report 2025.txt"), sel.WSub("folder/x.txt"),
                                         sel.WSub("folder/sub/y.txt"), sel.WSub("folder/sub/"),
                                         sel.WSub("folder/")};
    std::sort(expected.begin(), expected.end());

    const std::string generated = std::string(KELVANE_BUILD_DIR) + "/packaging/";
    for (const char* action : {"kio/kelvane-shred.desktop", "kelvane-shred.nemo_action",
                               "file-manager/kelvane-shred.desktop"}) {
        SCOPED_TRACE(action);
        const auto args = Expand(ExecLine(generated + action), selected);
        ASSERT_EQ(args.size(), 3u);
        EXPECT_EQ(args.front(), u"kelvane");

        auto dlg = std::make_unique<CKelvaneDlg>(Where());
        dlg->SetCommandLine(args);
        dlg->show();
        ASSERT_TRUE(WaitIdle(*dlg));
        std::vector<std::u16string> rows;
        for (int i = 0; i < dlg->List().GetItemCount(); ++i)
            rows.push_back(dlg->List().GetItemText(i, 3));
        std::sort(rows.begin(), rows.end());
        EXPECT_EQ(rows, expected);
        EXPECT_FALSE(dlg->State().exitAfterFileRun.load());
        dlg.reset();
        EXPECT_EQ(ReadWholeFile(sel.Sub("report 2025.txt")), "a");
        EXPECT_EQ(ReadWholeFile(sel.Sub("folder/sub/y.txt")), "c");
    }
}
