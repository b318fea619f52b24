#include "ui/FileDialogs.h"

#include <QFileDialog>
#include <QFontDialog>
#include <deque>

namespace {
struct Hooks {
    std::deque<QStringList> files;
    std::deque<QString> folders;
    std::deque<std::optional<QFont>> fonts;
    bool cancelWhenEmpty = false;
    std::vector<FileDialogs::Request> requests;
};
Hooks& TheHooks() {
    static Hooks hooks;
    return hooks;
}
}  // namespace

QStringList FileDialogs::OpenFiles(QWidget* parent, const QString& caption, const QString& start,
                                   const QString& filter) {
    Hooks& h = TheHooks();
    h.requests.push_back({Request::Kind::OpenFiles, caption, start, filter});
    if (!h.files.empty()) {
        QStringList r = h.files.front();
        h.files.pop_front();
        return r;
    }
    if (h.cancelWhenEmpty) return {};
    return QFileDialog::getOpenFileNames(parent, caption, start, filter);
}

QString FileDialogs::ChooseFolder(QWidget* parent, const QString& caption, const QString& start) {
    Hooks& h = TheHooks();
    h.requests.push_back({Request::Kind::Folder, caption, start, {}});
    if (!h.folders.empty()) {
        QString r = h.folders.front();
        h.folders.pop_front();
        return r;
    }
    if (h.cancelWhenEmpty) return {};
    return QFileDialog::getExistingDirectory(parent, caption, start);
}

bool FileDialogs::ChooseFont(QWidget* parent, const QString& caption, QFont& font) {
    Hooks& h = TheHooks();
    h.requests.push_back({Request::Kind::Font, caption, font.family(), {}});
    if (!h.fonts.empty()) {
        std::optional<QFont> r = h.fonts.front();
        h.fonts.pop_front();
        if (!r) return false;
        font = *r;
        return true;
    }
    if (h.cancelWhenEmpty) return false;
    bool ok = false;
    QFont chosen = QFontDialog::getFont(&ok, font, parent, caption);
    if (ok) font = chosen;
    return ok;
}

void FileDialogs::SetNextOpenFiles(const QStringList& files) {
    TheHooks().files.push_back(files);
}
void FileDialogs::SetNextFolder(const QString& folder) {
    TheHooks().folders.push_back(folder);
}
void FileDialogs::SetNextFont(const std::optional<QFont>& font) {
    TheHooks().fonts.push_back(font);
}
void FileDialogs::SetCancelWhenNothingQueued(bool on) {
    TheHooks().cancelWhenEmpty = on;
}
const std::vector<FileDialogs::Request>& FileDialogs::Requests() {
    return TheHooks().requests;
}
void FileDialogs::ResetHooks() {
    TheHooks() = Hooks{};
}
