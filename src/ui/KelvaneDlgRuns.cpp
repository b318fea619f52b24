// Starting the file shredding run from the window.
#include "runs/FileRun.h"
#include "ui/KelvaneDlg.h"

void CKelvaneDlg::OnShredFiles() {
    // The button is disabled during a run; the command line may still get here.
    if (locked_ || closing_) return;
    StartFileRun(workers_, *this, state_);
}
