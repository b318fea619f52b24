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
