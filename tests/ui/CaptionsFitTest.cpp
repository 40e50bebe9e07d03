// Nothing of the window is cut: at 1024 x 768, on every page and in both languages, each label,
// button, check box, radio item, group title and lamp holds its caption, and so do the run page's
// progress and cell overview with long texts of a real run (a cell not calibrated, thousands of
// measurements). The event list's column titles fit their columns.

#include "run/RunProgress.h"
#include "shell/StringTable.h"
#include "ui/EventListWindow.h"
#include "ui/Presenter.h"
#include "ui/StatusLed.h"
#include "ui/TForm1.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace korvat;

namespace {

int widest(const QFontMetrics& metrics, const QString& text) {
    int width = 0;
    for (const QString& line : QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")).split(QLatin1Char('\n')))
        width = std::max(width, metrics.horizontalAdvance(line));
    return width;
}

// The room a widget's caption has, and the width the caption needs; nullopt: no caption to check.
struct Need {
    QString text;
    int needed = 0, room = 0;
};

std::optional<Need> needOf(QWidget* w) {
    const QFontMetrics m(w->font());
    if (auto* led = qobject_cast<StatusLed*>(w))
        return Need{led->caption(), widest(m, led->caption()) + 4, led->contentsRect().width()};
    if (auto* label = qobject_cast<QLabel*>(w)) {
        if (label->wordWrap() || label->text().isEmpty() || !label->pixmap().isNull())
            return std::nullopt;
        return Need{label->text(), widest(m, label->text()), label->contentsRect().width()};
    }
    if (auto* box = qobject_cast<QCheckBox*>(w))
        return Need{box->text(), box->sizeHint().width(), box->width()};
    if (auto* radio = qobject_cast<QRadioButton*>(w))
        return Need{radio->text(), radio->sizeHint().width(), radio->width()};
    if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        if (button->text().isEmpty())
            return std::nullopt;
        return Need{button->text(), widest(m, button->text()) + 8, button->width()};
    }
    if (auto* group = qobject_cast<QGroupBox*>(w))
        return Need{group->title(), widest(m, group->title()) + 12, group->width()};
    return std::nullopt;
}

// A run in its middle as the run page shows it: many measurements, the FPD without calibration,
// cell 1 broken through and measured on, cell 3 switched off.
RunProgress longProgress(int ID) {
    RunModel run;
    run.parameters.measuringSeconds = 900;
    run.runStart = 1;
    run.strtCount = 6;
    run.strtCycles = 999;
    run.runCycles = 500;
    run.runZelle = 3;
    run.runCount = 4;
    run.strtMessungen = 5994;
    run.runMessungen = 3000;
    run.setRunTag(RunTag::Acquire);
    CellState broken;
    broken.brokeThrough = true;
    broken.breakElapsedMs = 99 * 3600000LL + 59 * 60000;
    run.setCell(1, broken);
    broken.off = true;
    run.setCell(3, broken);
    for (int position : {4, 5, 6, 4, 5}) {
        MeasurementRecord r;
        r.runZelle = position;
        r.FIDMessMenge = 1234.56 * (position == 4 ? 2 : 1);
        r.elapsedMs = 99 * 3600000LL + 59 * 60000 + 59000;
        run.record(r);
    }
    ProgressContext context;
    context.ID = ID;
    context.sampleSeconds = 300;
    context.injectionSeconds = 300;
    context.twoDetectors = true;
    context.calibrated = {true, false};
    return runProgress(run, context);
}

} // namespace

TEST(CaptionsFit, EveryCaptionFitsItsControlOnEveryPageInBothLanguages) {
    for (int offset : {kGermanOffset, kEnglishOffset}) {
        TForm1 form;
        form.TranslateForm(offset);
        Presenter presenter(form);
        presenter.progressShown(longProgress(offset));
        for (const char* detector : {"lblFIDMenge", "lblFPDMenge"})
            form.setText(QString::fromLatin1(detector), LoadLangText(offset, 337));
        form.resize(1024, 768);
        form.show();
        auto* pages = form.findChild<QTabWidget*>(QStringLiteral("PageControl"));
        ASSERT_NE(pages, nullptr);
        for (int page = 0; page < pages->count(); ++page) {
            pages->setCurrentIndex(page);
            QWidget* sheet = pages->widget(page);
            for (QWidget* w : sheet->findChildren<QWidget*>()) {
                const std::optional<Need> need = needOf(w);
                if (!need)
                    continue;
                EXPECT_LE(need->needed, need->room)
                    << (offset ? "English, " : "German, ") << pages->tabText(page).toStdString() << ": "
                    << w->objectName().toStdString() << " \"" << need->text.toStdString() << "\"";
            }
        }
        // The chart's own buttons.
        for (const char* name : {"btnChartFit", "btnChartAxes"}) {
            const std::optional<Need> need = needOf(form.control(QString::fromLatin1(name)));
            ASSERT_TRUE(need);
            EXPECT_LE(need->needed, need->room) << name;
        }
    }
}

TEST(CaptionsFit, TheEventListsColumnTitlesFitTheirColumns) {
    for (bool german : {true, false}) {
        QWidget owner;
        EventListWindow list(&owner, german);
        list.open();
        auto* table = list.findChild<QTableWidget*>(QStringLiteral("tableEvents"));
        ASSERT_NE(table, nullptr);
        const QFontMetrics m(table->horizontalHeader()->font());
        for (int c = 0; c + 1 < table->columnCount(); ++c) {
            const QString title = table->horizontalHeaderItem(c)->text();
            EXPECT_LE(m.horizontalAdvance(title) + 16, table->columnWidth(c)) << title.toStdString();
        }
    }
}
