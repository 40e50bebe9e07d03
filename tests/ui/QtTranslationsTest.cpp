// Qt's own texts follow the program's language: the file dialog's and the message box's words
// in German once German is chosen, English again after English, English when the translations
// are missing.

#include "ui/QtTranslations.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace korvat;

namespace {
QString qt(const char* context, const char* text) { return QCoreApplication::translate(context, text); }
} // namespace

TEST(QtTranslations, QtsOwnTextsFollowTheProgramsLanguage) {
    QTemporaryDir empty;
    const struct {
        const char* name;
        int language;
        QString folder;
        bool loaded;
        const char* saveAs;
        const char* cancel;
    } steps[] = {
        {"German", 0, {}, true, "Speichern unter", "Abbrechen"},
        {"English after German", 1000, {}, true, "Save As", "Cancel"},
        {"German again", 0, {}, true, "Speichern unter", "Abbrechen"},
        {"German without the translations", 0, empty.path(), false, "Save As", "Cancel"},
    };
    QtTranslations translations;
    for (const auto& s : steps) {
        SCOPED_TRACE(s.name);
        EXPECT_EQ(translations.use(s.language, s.folder), s.loaded);
        EXPECT_EQ(qt("QFileDialog", "Save As"), QString::fromUtf8(s.saveAs));
        EXPECT_EQ(qt("QPlatformTheme", "Cancel"), QString::fromUtf8(s.cancel));
    }
}
