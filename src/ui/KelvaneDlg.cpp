#include "ui/KelvaneDlg.h"

CKelvaneDlg::CKelvaneDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Kelvane"));
    resize(640, 400);
}
