#pragma once
// The application object: owns the QApplication (unless one exists already, as in
// the tests), runs InitInstance and ends the process when it returns.
#include <QApplication>
#include <memory>
#include <string>
#include <vector>

class QWidget;

class CWinApp {
  public:
    CWinApp(int& argc, char** argv);
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Creates and runs the main window. Returning false means "no message loop".
    virtual bool InitInstance() { return false; }

    // Runs InitInstance and returns the process exit code.
    int Run();

    // The command-line arguments as UTF-16, the program's own path first. Bytes that
    // are not UTF-8 survive the conversion (see TextConv.h).
    std::vector<std::u16string> WideArguments() const;

    QWidget* m_pMainWnd = nullptr;
    int m_nExitCode = 0;  // what Run returns

  private:
    std::unique_ptr<QApplication> app_;
    std::vector<std::string> args_;
};
