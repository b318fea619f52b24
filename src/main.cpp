#include "platform/qt/WinApp.h"
#include "ui/KelvaneDlg.h"

// The application: runs the main window modally; when it ends, so does the program.
class CKelvaneApp : public CWinApp {
  public:
    using CWinApp::CWinApp;
    bool InitInstance() override {
        CKelvaneDlg dlg;
        m_pMainWnd = &dlg;
        dlg.DoModal();
        m_pMainWnd = nullptr;
        return false;
    }
};

int main(int argc, char** argv) {
    CKelvaneApp app(argc, argv);
    return app.Run();
}
