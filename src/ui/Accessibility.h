#pragma once
// What a screen reader is told besides what the controls show.
#include <QString>
#include <functional>

class QWidget;

// A caption as it is read: without the "&" of its mnemonic, "&&" as one "&".
QString SpokenCaption(const QString& caption);

// Says `text` once, politely, as the end of a run. `source` shows that text (a
// status line): where Qt cannot announce, a change of its name is reported.
void AnnounceToScreenReaders(QWidget* source, const QString& text);

// Tests: sees every announcement (with its source) besides the screen reader;
// nullptr ends that. Qt hands its events to a reader only while one listens.
void SetAnnouncementHook(std::function<void(QWidget* source, const QString& text)> hook);
