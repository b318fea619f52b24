#include "ui/FileDialogs.h"

#include <QFileDialog>
#include <QFontDatabase>
#include <QFontDialog>
#include <climits>
#include <cstdlib>
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

// The font dialog looks a font's style up by name; a font without one (as
// settings give it) would land on whatever style comes first, such as "Oblique".
// The family's own name for its weight and slant is given instead.
QFont FileDialogs::WithStyleName(const QFont& font) {
    if (!font.styleName().isEmpty()) return font;
    QString best;
    int bestDistance = INT_MAX;
    for (const QString& style : QFontDatabase::styles(font.family())) {
        if (QFontDatabase::italic(font.family(), style) != font.italic()) continue;
        int distance = std::abs(QFontDatabase::weight(font.family(), style) - font.weight());
        // Of equal weights, the plain face rather than a condensed or oblique one.
        if (style.contains(QStringLiteral("Condensed")) ||
            style.contains(QStringLiteral("Oblique")) != font.italic())
            distance += 1;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = style;
        }
    }
    QFont named = font;
    if (!best.isEmpty()) named.setStyleName(best);
    return named;
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
    QFont chosen = QFontDialog::getFont(&ok, WithStyleName(font), parent, caption);
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
