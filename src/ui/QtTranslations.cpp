#include "ui/QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

QtTranslations::QtTranslations() = default;

QtTranslations::~QtTranslations() {
    if (translator_ && QCoreApplication::instance())
        QCoreApplication::removeTranslator(translator_.get());
}

bool QtTranslations::Use(const QString& locale, const QString& folder) {
    if (translator_) {
        QCoreApplication::removeTranslator(translator_.get());
        translator_.reset();
    }
    locale_.clear();
    if (locale.isEmpty() || locale == QLatin1String("en")) return true;
    const QString from =
        folder.isEmpty() ? QLibraryInfo::path(QLibraryInfo::TranslationsPath) : folder;
    auto translator = std::make_unique<QTranslator>();
    // "qtbase_de" holds the widgets' texts; a missing file leaves Qt in English.
    if (!translator->load(QStringLiteral("qtbase_") + locale, from)) return false;
    QCoreApplication::installTranslator(translator.get());
    translator_ = std::move(translator);
    locale_ = locale;
    return true;
}
