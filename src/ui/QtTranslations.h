#pragma once
// Qt's own texts (file dialog, message box buttons, context menus) in the program's language:
// Qt speaks English by itself, so German needs the translations Debian ships for Qt
// (qt6-translations-l10n).

#include <QString>
#include <QTranslator>

namespace korvat {

class QtTranslations {
public:
    ~QtTranslations();
    // Language offset 0 German, 1000 English. Returns false when German was asked for and Qt's
    // translations are not in `folder` (Qt's texts then stay English); the empty folder is Qt's own.
    bool use(int languageOffset, const QString& folder = {});

private:
    QTranslator translator_;
    bool installed_ = false;
};

} // namespace korvat
