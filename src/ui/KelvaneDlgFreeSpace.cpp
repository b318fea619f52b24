// The "Shred free space" command: the drive dialog, then the free-space run.
#include "runs/FreeSpaceRun.h"
#include "ui/DriveDlg.h"
#include "ui/FontHolder.h"
#include "ui/KelvaneDlg.h"

void CKelvaneDlg::OnShredFreeSpace() {
    // The button is disabled during a run; the command line may still get here.
    if (locked_ || closing_) return;
    StartFreeSpaceRun(workers_, *this, state_, [this] {
        CDriveDlg dlg(this);
        dlg.SetTextLookup([this](std::string_view key) { return Text(key); });
        return dlg.DoModal(*fonts_, state_.drivesTable) == IDOK;
    });
}
