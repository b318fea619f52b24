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

// Drop-downs tell their name as their name. Qt's own on Linux gives the current
// item instead, whatever name was set, so a reader walking the window hears
// "3" or "Do nothing" and never what they choose. With this, a name set on the
// box (or its label's caption) is the name and the current item its value, as
// GTK does. Installed once for the application; later calls do nothing.
void UseNamedComboBoxes();
