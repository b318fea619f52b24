#pragma once
// Qt's own texts (file, folder and font dialogs, the standard buttons) in the
// language of the program. They come from Qt's translation files, which a system
// may lack (Debian ships them in qt6-translations-l10n): then those dialogs simply
// stay in English.
#include <QString>
#include <memory>

class QTranslator;

class QtTranslations {
  public:
    QtTranslations();
    ~QtTranslations();
    QtTranslations(const QtTranslations&) = delete;
    QtTranslations& operator=(const QtTranslations&) = delete;

    // Replaces the Qt texts in use by those of `locale` ("de", "fr"; "" or "en":
    // Qt's built-in English), read from `folder` (default: Qt's translations
    // folder). True when texts of that language are in use afterwards.
    bool Use(const QString& locale, const QString& folder = QString());
    const QString& Locale() const { return locale_; }

  private:
    std::unique_ptr<QTranslator> translator_;
    QString locale_;
};
