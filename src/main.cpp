#include <csignal>
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

}  // namespace

// The application: runs the main window modally; when it ends, so does the program.
class CKelvaneApp : public CWinApp {
  public:
    CKelvaneApp(int& argc, char** argv, bool unattended)
        : CWinApp(argc, argv), unattended_(unattended) {}

    bool InitInstance() override {
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
    // A file-size limit (ulimit -f) must fail the write that exceeds it, so that
    // the run can say so, instead of ending the program.
    std::signal(SIGXFSZ, SIG_IGN);
    const bool unattended = NoDisplay();
    if (unattended) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        InstallStopSignalHandlers();
    }
    CKelvaneApp app(argc, argv, unattended);
    return app.Run();
}
