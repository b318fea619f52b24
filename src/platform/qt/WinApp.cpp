#include "platform/qt/WinApp.h"

#include "config/TextConv.h"

CWinApp::CWinApp(int& argc, char** argv) {
    for (int i = 0; i < argc; ++i) args_.emplace_back(argv[i] ? argv[i] : "");
    if (!QApplication::instance()) app_ = std::make_unique<QApplication>(argc, argv);
}

CWinApp::~CWinApp() = default;

int CWinApp::Run() {
    InitInstance();
    return m_nExitCode;
}

std::vector<std::u16string> CWinApp::WideArguments() const {
    std::vector<std::u16string> out;
    out.reserve(args_.size());
    for (const auto& a : args_) out.push_back(WideFromUtf8(a));
    return out;
}
