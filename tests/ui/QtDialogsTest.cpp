// The modal boxes show their text under the right title with a single OK button, and file
// filters in the "text|patterns" form reach the Qt dialogs in Qt's form.

#include "ui/QtDialogs.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

using namespace korvat;

namespace {

struct SeenBox {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int buttons = 0;
};

// Answers the next message box with OK once it is up, and tells what it showed.
void answerNextBox(SeenBox& seen) {
    QTimer::singleShot(0, [&seen] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            answerNextBox(seen);
            return;
        }
        seen = {box->windowTitle(), box->text(), box->icon(), int(box->buttons().size())};
        box->button(QMessageBox::Ok)->click();
    });
}

} // namespace

TEST(QtDialogs, BoxesShowTheirTextWithOneOkButton) {
    QApplication::setApplicationDisplayName(QStringLiteral("KORVAT-PC"));
    QtDialogs dialogs;
    const struct {
        std::function<void()> show;
        const char* title;
        QMessageBox::Icon icon;
    } cases[] = {
        {[&] { dialogs.message(QStringLiteral("Text <b>1</b>"), QStringLiteral("Caption")); },
         "Caption", QMessageBox::NoIcon},
        {[&] { dialogs.message(QStringLiteral("Text <b>1</b>")); }, "KORVAT-PC",
         QMessageBox::NoIcon},
        {[&] { dialogs.information(QStringLiteral("Text <b>1</b>")); }, "KORVAT-PC",
         QMessageBox::Information},
        {[&] { dialogs.error(QStringLiteral("Text <b>1</b>")); }, "KORVAT-PC",
         QMessageBox::Critical},
    };
    for (const auto& c : cases) {
        SeenBox seen;
        answerNextBox(seen);
        c.show();
        EXPECT_EQ(seen.title, QString::fromLatin1(c.title));
        EXPECT_EQ(seen.text, QStringLiteral("Text <b>1</b>"));
        EXPECT_EQ(seen.icon, c.icon);
        EXPECT_EQ(seen.buttons, 1);
    }
}

TEST(QtDialogs, FileFiltersInBothForms) {
    const struct {
        const char* given;
        const char* qt;
        const char* suffix;
    } cases[] = {
        {"*.csv | *.CSV", "*.csv (*.CSV)", "csv"},
        {"Text files|*.txt|All files|*.*", "Text files (*.txt);;All files (*.*)", "txt"},
        {"Raw data|*.txt;*.dat", "Raw data (*.txt *.dat)", "txt"},
        {"Results (*.csv);;All (*)", "Results (*.csv);;All (*)", "csv"},
        {"All|*.*", "All (*.*)", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(qtFileFilter(QString::fromLatin1(c.given)), QString::fromLatin1(c.qt)) << c.given;
        EXPECT_EQ(defaultSuffix(QString::fromLatin1(c.given)), QString::fromLatin1(c.suffix))
            << c.given;
    }
}
