#pragma once
// The main window's file list: the table over the row store, its keys, sorting,
// the marks and tool tips of the rows' verdicts, and the width of its columns.
// The window owns the store and the commands; the list asks it through signals.
#include <QString>
#include <QVariant>
#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "filelist/SortListCtrl.h"
#include "platform/qt/ListCtrlView.h"
#include "runs/RowVerdicts.h"

class QTimer;

class MainFileList final : public ListCtrlView {
    Q_OBJECT
  public:
    using TextLookup = std::function<std::u16string(std::string_view key)>;
    // Columns of a file row.
    enum : int { kNameColumn = 0, kSizeColumn = 1, kDateColumn = 2, kPathColumn = 3 };

    MainFileList(CSortListCtrl& list, TextLookup text, QWidget* parent);
    ~MainFileList() override;

    // Headers, designed widths (`scale` above 96 dots per inch) and the spoken
    // name and description, in the language in use.
    void ApplyTexts(double scale);
    // Sorts by a column; again on the same column reverses the order. Refused
    // while `locked` says a run holds the list.
    void SortBy(int column);
    void SetLockedQuery(std::function<bool()> locked) { locked_ = std::move(locked); }
    // The files may have changed (after a run): their verdicts are looked at again.
    void ForgetVerdicts() { verdicts_.Clear(); }
    // Why the row of `path` failed in the last file run; its tool tip tells.
    void NoteFailure(const std::u16string& path, const std::u16string& reason) {
        failures_[path] = reason;
    }
    void ForgetFailures() { failures_.clear(); }
    // Where the row of `path` came from (the folder a trashed item was deleted
    // from); its tool tip tells.
    void NoteOrigin(const std::u16string& path, const std::u16string& folder) {
        origins_[path] = folder;
    }

  signals:
    // Delete pressed in the list.
    void RemoveRequested();

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    bool viewportEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    QString ToolTipOfRow(int row);
    QVariant MarkOfRow(int row);
    QString SpokenRow(int row);
    bool WarnedAbout(int row);
    void CollectVerdicts();
    void ToggleChecks();
    void NoteRows(int first, int last);
    void FitColumns();
    void ShowSortOrder();

    CSortListCtrl& list_;
    TextLookup text_;
    std::function<bool()> locked_;
    RowVerdicts verdicts_;
    // Why rows failed in the last file run, by path; kept until the next one.
    std::map<std::u16string, std::u16string> failures_;
    std::map<std::u16string, std::u16string> origins_;
    static constexpr int kVerdictPollMs = 50;
    QTimer* verdictsTimer_ = nullptr;
    // The longest size and date texts listed, so that those columns are never cut.
    int longestSize_ = 0;
    int longestDate_ = 0;
    int designed_[3] = {250, 85, 145};
};
