#pragma once
// The summary before a file run: what is about to be shredded, how, and which
// files overwriting cannot be guaranteed to erase, grouped by reason with advice
// and a few example paths. Start goes on, Cancel leaves everything as it is.
#include <QDialog>
#include <QString>
#include <functional>
#include <utility>
#include <vector>

#include "runs/RunSummary.h"

class QCheckBox;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

class CRunSummaryDlg final : public QDialog {
    Q_OBJECT
  public:
    // `hideSeen`: the state of "do not show again for these warnings".
    CRunSummaryDlg(const RunSummary& summary, const TextLookup& text, bool hideSeen,
                   QWidget* parent = nullptr);

    bool HideSeen() const;
    bool FreeSpaceAfter() const;
    bool OverwriteReserve() const;
    QPushButton* StartButton() const { return start_; }
    QPushButton* CancelButton() const { return cancel_; }
    QCheckBox* HideSeenBox() const { return hideSeen_; }
    QCheckBox* FreeSpaceAfterBox() const { return freeSpaceAfter_; }
    QCheckBox* OverwriteReserveBox() const { return overwriteReserve_; }
    QTreeWidget* Warnings() const { return warnings_; }

    // Tests: called once the dialog is on screen, to look at it and answer it.
    static void SetShownHook(std::function<void(CRunSummaryDlg&)> hook);

  protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QPushButton* start_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QCheckBox* hideSeen_ = nullptr;
    QCheckBox* freeSpaceAfter_ = nullptr;
    QCheckBox* overwriteReserve_ = nullptr;
    QTreeWidget* warnings_ = nullptr;
    bool hooked_ = false;
    void WrapAdvice();
    std::vector<std::pair<QTreeWidgetItem*, QString>> advice_;  // the advice, unbroken
};
