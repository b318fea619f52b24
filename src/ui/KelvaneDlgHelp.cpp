// The "?" menu: about box, help page, licence, read-me and update page. The
// documents and pages are handed to the desktop's default handler; what it
// answers is not looked at, so a missing handler simply opens nothing.
#include "config/HelpFile.h"
#include "config/TextConv.h"
#include "config/UpdateAddress.h"
#include "platform/Platform.h"
#include "platform/qt/QtText.h"
#include "ui/AboutDlg.h"
#include "ui/KelvaneDlg.h"

namespace {

void ShellOpen(const std::string& target) {
    if (target.empty() || !Platform().shellOpen) return;
    (void)Platform().shellOpen(WideFromUtf8(target));
}

}  // namespace

void CKelvaneDlg::OnHelp() {
    ShellOpen(ChooseHelpFile(ProgramFolder(), LanguageFile()));
}

void CKelvaneDlg::OnLicense() {
    ShellOpen(LicensePath());
}

void CKelvaneDlg::OnChanges() {
    ShellOpen(ReadMePath());
}

void CKelvaneDlg::OnCheckForUpdate() {
    ShellOpen(UpdatePageAddress());
}

void CKelvaneDlg::OnInfo() {
    CAboutDlg dlg(this);
    dlg.DoModal(Fonts(), ToQ(Text("FrmMain.m_acMBtnOk")));
}
