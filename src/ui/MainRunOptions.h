#pragma once
// The run options of the main window: passes, random data, scrambled names, the
// changed size, the confirmation and what happens when the work is done. The
// window lays the controls out and asks this class for their values; the
// settings pass through here to and from the controls. UI thread only.
#include <QString>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "config/AppSettings.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QWidget;

class MainRunOptions final {
  public:
    using TextLookup = std::function<std::u16string(std::string_view key)>;
    // Control ids (the window's layout and tests find the controls by them).
    enum : int {
        kRandom = 1005,
        kIterationsLabel = 1007,
        kIterations = 1008,
        kConfirm = 1010,
        kShredNames = 1018,
        kModifySize = 1022,
        kSizeType = 1025,
        kEndActionLabel = 1048,
        kEndAction = 1049,
    };

    MainRunOptions(QWidget* parent, TextLookup text);

    // Every control with its id, for the window's layout and focus order.
    std::vector<std::pair<int, QWidget*>> Controls() const;

    // The state before any settings were read: random data, confirmation, 3 passes.
    void SetDefaults();
    void Load(const AppSettings& s);
    void Store(AppSettings& s) const;
    // A run holds the options it started with: all but the end action rest.
    void SetRunning(bool running);
    // Captions, drop-down items and spoken names in the language in use.
    void ApplyTexts();

    QString IterationsText() const;
    bool Confirm() const;
    int EndAction() const;

  private:
    // The size choice follows its box: "to zero" offered while "Modify filesize"
    // is off would look as if it applied.
    void FollowModifySize();

    TextLookup text_;
    QLabel* iterationsLabel_;
    QComboBox* iterations_;
    QCheckBox* random_;
    QCheckBox* shredNames_;
    QCheckBox* modifySize_;
    QComboBox* sizeType_;
    QCheckBox* confirm_;
    QLabel* endActionLabel_;
    QComboBox* endAction_;
};
