#include <QApplication>
#include <QIcon>
#include <cstdlib>

#include "platform/StopSignals.h"
#include "platform/qt/WinApp.h"
#include "ui/KelvaneDlg.h"

namespace {

// Without a display the program still runs "-exec" and "-drives" from a terminal
// or a scheduler: on Qt's offscreen platform, with the terminal in place of the boxes.
bool NoDisplay() {
    const char* x = std::getenv("DISPLAY");
    const char* w = std::getenv("WAYLAND_DISPLAY");
    return (!x || !*x) && (!w || !*w);
}

// The program's own icon, built in so that the window shows it wherever the program
// runs from; the installed copies under share/icons are for the menu and the file
// managers.
QIcon KelvaneIcon() {
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/kelvane-%1.png").arg(size), QSize(size, size));
    return icon;
}

}  // namespace

// The application: runs the main window modally; when it ends, so does the program.
class CKelvaneApp : public CWinApp {
  public:
    CKelvaneApp(int& argc, char** argv, bool unattended)
        : CWinApp(argc, argv), unattended_(unattended) {}

    bool InitInstance() override {
        QApplication::setWindowIcon(KelvaneIcon());
        CKelvaneDlg dlg;
        dlg.SetCommandLine(WideArguments());
        dlg.SetUnattended(unattended_);
        m_pMainWnd = &dlg;
        dlg.DoModal();
        m_pMainWnd = nullptr;
        m_nExitCode = dlg.ExitCode();
        return false;
    }

  private:
    bool unattended_;
};

int main(int argc, char** argv) {
    const bool unattended = NoDisplay();
    if (unattended) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        InstallStopSignalHandlers();
    }
    // Ties the window to its desktop entry (Wayland app id, task bar grouping).
    QGuiApplication::setDesktopFileName(QStringLiteral(KELVANE_APP_ID));
    CKelvaneApp app(argc, argv, unattended);
    return app.Run();
}
