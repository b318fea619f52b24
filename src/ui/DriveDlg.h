#pragma once
// The drive selection of the free-space run: lists the drives that can be
// filled, with their labels and free megabytes, and on OK puts the checked ones
// (or all of them) into the drives table.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/qt/Dialog.h"
#include "runs/OfferedDrives.h"

class FontHolder;
class QCheckBox;
class QLabel;
class QPushButton;
class QTreeWidget;
class StringTable;

class CDriveDlg : public CDialog {
    Q_OBJECT
  public:
    enum : int { IDC_DRIVES = 1000, IDC_SELECT_LABEL = 1021, IDC_ALL_DRIVES = 1024 };
    // Column widths at 96 dots per inch.
    static constexpr int kColumnWidths[3] = {150, 125, 150};

    using TextLookup = std::function<std::u16string(std::string_view key)>;

    explicit CDriveDlg(QWidget* parent = nullptr);
    ~CDriveDlg() override;

    // Where the texts come from: the current language with built-in defaults.
    // Without a lookup every text is its default.
    void SetTextLookup(TextLookup lookup) { lookup_ = std::move(lookup); }

    // Runs the dialog modally with the window's fonts. OK empties `drives` and fills
    // it with the chosen roots (UTF-8); returns IDOK or IDCANCEL.
    virtual int DoModal(FontHolder& fonts, StringTable& drives);

    // "Overwrite the space reserved for root too": shown only when `offered`
    // (a run that cannot take the reserve itself), checked as `checked`; after
    // OK, Reserve() is the box's state.
    void SetReserveChoice(bool offered, bool checked);
    bool Reserve() const;
    bool ReserveOffered() const;
    QCheckBox* ReserveBox() const { return reserve_; }

    QTreeWidget* DriveList() const { return list_; }
    QCheckBox* AllDrivesBox() const { return allDrives_; }
    QLabel* SelectLabel() const { return label_; }
    // Names the drives not offered, each with the reason; hidden when none is.
    QLabel* LeftOutLabel() const { return leftOut_; }
    QPushButton* OkButton() const { return ok_; }
    QPushButton* CancelButton() const { return cancel_; }

    // ---- test hooks ----
    // The next DoModal calls `action` with the shown dialog once its drives are
    // listed; the action clicks, checks and ends it like a user would.
    static void SetNextAction(std::function<void(CDriveDlg&)> action);
    // Where the offered drives come from (default: OfferedDrives()); called on a
    // worker thread.
    static void SetDriveSource(std::function<std::vector<OfferedDrive>()> source);
    // The same with the drives left out (default: OfferDrives()).
    static void SetOfferSource(std::function<DriveOffer()> source);

  protected:
    bool OnInitDialog() override;
    void OnOK() override;

  private:
    std::u16string Text(std::string_view key) const;
    void LookAtDrives();
    void FillList(const DriveOffer& offer);
    void OnAllDrivesClicked();

    static constexpr int kPollMs = 30;
    TextLookup lookup_;
    std::function<void(CDriveDlg&)> pendingAction_;
    FontHolder* fonts_ = nullptr;
    StringTable* drives_ = nullptr;
    QTreeWidget* list_ = nullptr;
    QLabel* label_ = nullptr;
    QLabel* leftOut_ = nullptr;
    QCheckBox* allDrives_ = nullptr;
    QCheckBox* reserve_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
};
