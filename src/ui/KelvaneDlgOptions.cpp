// The Options command: the options dialog over the window's settings fields and
// font holder; on OK the (possibly new) font is applied to the whole window.
#include "config/OptionsRules.h"
#include "ui/FontHolder.h"
#include "ui/KelvaneDlg.h"
#include "ui/OptionsDlg.h"

void CKelvaneDlg::OnOptions() {
    COptionsDlg dlg(this);
    dlg.SetLanguageFile(LanguageFile());
    if (dlg.DoModal(Fonts(), OptionsSettingsOf(Fields())) != IDOK) return;
    Fonts().Apply(nullptr, true);
    update();
}
