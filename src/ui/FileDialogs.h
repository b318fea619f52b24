#pragma once
// The file dialog (open several files), the folder browser and the font dialog,
// with hooks for tests in the same manner as MessageBoxes: a queued result is
// returned without showing a dialog, and every request is recorded.
#include <QFont>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

class QWidget;

class FileDialogs {
  public:
    struct Request {
        enum class Kind { OpenFiles, Folder, Font } kind;
        QString caption;
        QString start;   // start folder or file
        QString filter;  // Qt filter text ("All files (*)")
    };

    // The chosen files; empty when cancelled.
    static QStringList OpenFiles(QWidget* parent, const QString& caption, const QString& start,
                                 const QString& filter);
    // The chosen folder; empty when cancelled.
    static QString ChooseFolder(QWidget* parent, const QString& caption, const QString& start);
    // True and the chosen font in `font`, or false when cancelled.
    static bool ChooseFont(QWidget* parent, const QString& caption, QFont& font);
    // `font` with the style name its family gives its weight and slant.
    static QFont WithStyleName(const QFont& font);

    // ---- test hooks ----
    static void SetNextOpenFiles(const QStringList& files);     // empty list: cancel
    static void SetNextFolder(const QString& folder);           // empty: cancel
    static void SetNextFont(const std::optional<QFont>& font);  // nullopt: cancel
    // With no queued result, return "cancelled" without showing anything.
    static void SetCancelWhenNothingQueued(bool on);
    static const std::vector<Request>& Requests();
    static void ResetHooks();
};
