#include <QApplication>

#include "ui/KelvaneDlg.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    CKelvaneDlg dlg;
    return dlg.exec() == QDialog::Accepted ? 0 : 0;
}
