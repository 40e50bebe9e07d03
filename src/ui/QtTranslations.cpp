#include "ui/QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>

namespace korvat {

QtTranslations::~QtTranslations() {
    if (installed_)
        QCoreApplication::removeTranslator(&translator_);
}

bool QtTranslations::use(int languageOffset, const QString& folder) {
    if (installed_) {
        QCoreApplication::removeTranslator(&translator_);
        installed_ = false;
    }
    if (languageOffset != 0)
        return true;
    const QString dir = folder.isEmpty() ? QLibraryInfo::path(QLibraryInfo::TranslationsPath) : folder;
    if (!translator_.load(QLocale(QLocale::German, QLocale::Germany), QStringLiteral("qtbase"), QStringLiteral("_"), dir))
        return false;
    installed_ = QCoreApplication::installTranslator(&translator_);
    return installed_;
}

} // namespace korvat
