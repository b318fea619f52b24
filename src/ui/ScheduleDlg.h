#pragma once
// Schedules of the window: the jobs with their calendar, next and last run and
// how the last one ended, and a new job made from the ticked entries of the list,
// the trash or chosen drives, daily, weekly or monthly at a time, or on a calendar
// expression. Everything is done by kelvane-cli (schedule add|list|remove|run),
// started as a separate process, so the window itself never touches a path and
// the jobs are the very same as on the command line.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/qt/Dialog.h"

class FontHolder;
class QButtonGroup;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProcess;
class QPushButton;
class QRadioButton;
class QTimeEdit;
class QTreeWidget;

class CScheduleDlg : public CDialog {
    Q_OBJECT
  public:
    using TextLookup = std::function<std::u16string(std::string_view key)>;
    // Asks the user for drives (the drive dialog); empty when cancelled.
    using DriveChooser = std::function<std::vector<std::string>()>;

    explicit CScheduleDlg(QWidget* parent = nullptr);
    ~CScheduleDlg() override;

    void SetTextLookup(TextLookup lookup) { lookup_ = std::move(lookup); }
    void SetDriveChooser(DriveChooser chooser) { chooseDrives_ = std::move(chooser); }
    // The ticked entries of the list (absolute paths, UTF-8) and the passes to run.
    int DoModal(FontHolder& fonts, std::vector<std::string> ticked, int passes);

    QTreeWidget* JobList() const { return jobs_; }
    QRadioButton* TickedChoice() const { return ticked_; }
    QRadioButton* TrashChoice() const { return trash_; }
    QRadioButton* DrivesChoice() const { return drives_; }
    QPushButton* ChooseDrivesButton() const { return chooseDrivesButton_; }
    QComboBox* EveryBox() const { return every_; }
    QTimeEdit* AtEdit() const { return at_; }
    QLineEdit* CalendarEdit() const { return calendar_; }
    QPushButton* AddButton() const { return add_; }
    QPushButton* RemoveButton() const { return remove_; }
    QPushButton* RunNowButton() const { return runNow_; }
    QPlainTextEdit* Messages() const { return messages_; }
    // True while kelvane-cli is working for the dialog.
    bool Busy() const { return busy_; }

    // ---- test hooks ----
    static void SetNextAction(std::function<void(CScheduleDlg&)> action);

  protected:
    bool OnInitDialog() override;

  private:
    std::u16string Text(std::string_view key) const;
    void Run(const std::vector<std::string>& args,
             std::function<void(int, const QByteArray&)> done);
    void Refresh();
    void OnAdd();
    void OnRemove();
    void OnRunNow();
    void UpdateControls();
    void Say(const QString& text);

    TextLookup lookup_;
    DriveChooser chooseDrives_;
    FontHolder* fonts_ = nullptr;
    std::vector<std::string> tickedPaths_;
    std::vector<std::string> chosenDrives_;
    int passes_ = 1;
    bool busy_ = false;
    std::function<void(CScheduleDlg&)> pendingAction_;

    QTreeWidget* jobs_;
    QRadioButton* ticked_;
    QRadioButton* trash_;
    QRadioButton* drives_;
    QButtonGroup* what_;
    QPushButton* chooseDrivesButton_;
    QLabel* drivesLabel_;
    QComboBox* every_;
    QTimeEdit* at_;
    QLineEdit* calendar_;
    QPushButton* add_;
    QPushButton* remove_;
    QPushButton* runNow_;
    QPushButton* close_;
    QPlainTextEdit* messages_;
    QProcess* process_ = nullptr;
};
