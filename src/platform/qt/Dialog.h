#pragma once
// A modal dialog with the life cycle the program's windows are written for:
// DoModal runs OnInitDialog once before the dialog shows and returns the result
// given to EndDialog. Esc and the window's close button end it with IDCANCEL.
#include <QDialog>

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;

class CDialog : public QDialog {
    Q_OBJECT
  public:
    explicit CDialog(QWidget* parent = nullptr);

    // Shows the dialog modally; returns the result passed to EndDialog.
    virtual int DoModal();
    // Ends the modal run (or hides a dialog shown without one) with `result`.
    void EndDialog(int result);
    int Result() const { return result_; }
    bool Initialised() const { return initialised_; }

    // Runs OnInitDialog unless it ran already; show() and DoModal() call it.
    void EnsureInitialised();

  protected:
    // The initialisation hook. Runs once, before the dialog is first shown.
    virtual bool OnInitDialog() { return true; }
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }

    void showEvent(QShowEvent* event) override;
    void accept() override { OnOK(); }
    void reject() override { OnCancel(); }

  private:
    bool initialised_ = false;
    int result_ = 0;
};
