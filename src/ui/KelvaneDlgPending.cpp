// Command handlers whose work is not built yet. Whoever builds one moves its
// definition into a file of their own and deletes it here.
#include "ui/KelvaneDlg.h"

void CKelvaneDlg::OnAddFiles() {}
void CKelvaneDlg::OnAddFolder() {}
void CKelvaneDlg::OnRemoveSelected() {}
void CKelvaneDlg::OnClearList() {}
void CKelvaneDlg::OnSelectAll() {}
void CKelvaneDlg::OnInvertSelection() {}
void CKelvaneDlg::OnDropPaths(const std::vector<std::u16string>&) {}
void CKelvaneDlg::OnViewLog() {}
void CKelvaneDlg::OnEnableLog() {}
void CKelvaneDlg::OnArchiveLog() {}
void CKelvaneDlg::OnClearLog() {}
void CKelvaneDlg::OnLanguage() {}
void CKelvaneDlg::ApplyLanguageByName(const std::string&) {}
void CKelvaneDlg::BeginRunLog() {}
void CKelvaneDlg::AppendLog(const std::u16string&) {}
