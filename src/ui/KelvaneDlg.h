#pragma once
#include <QDialog>

// The main window. For now an empty dialog; the controls come with the main window work.
class CKelvaneDlg : public QDialog {
    Q_OBJECT
public:
    explicit CKelvaneDlg(QWidget* parent = nullptr);
};
