// The start-up caption walk over the real window, in German and in English: which controls take
// their caption from the table and how (tab texts, group and radio items, grid column titles, the
// memo's label), and which stay as they are although tagged or untagged.

#include "shell/StringTable.h"
#include "ui/TForm1.h"
#include "ui/ValueListEditor.h"

#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <gtest/gtest.h>

using namespace korvat;

namespace {

QString tabText(TForm1& form, const char* page) {
    auto* pages = form.findChild<QTabWidget*>(QStringLiteral("PageControl"));
    return pages->tabText(pages->indexOf(form.control(QString::fromLatin1(page))));
}

QString radioItem(TForm1& form, int item) {
    return form.findChild<QRadioButton*>(QStringLiteral("rgStandard_Item%1").arg(item))->text();
}

QString columnTitle(TForm1& form, const char* grid, int column) {
    return form.findChild<ValueListEditor*>(QString::fromLatin1(grid))->title(column);
}

} // namespace

TEST(TranslateForm, GermanCaptions) {
    TForm1 form;
    form.TranslateForm(kGermanOffset);

    const struct {
        const char* control;
        const char* caption;
    } captions[] = {
        {"lblStart", "Startzelle"},
        {"lblLimitFPD", "Durchbruch FPD"},
        {"lblRunToBreak3", "Laufzeit --:-- "},
        {"lblRuntime", "00:00:00"},
        {"groupStatus", "Messzustand"},
        {"ledZero", "Nullgas"},
        {"ledSmpOff2", "Aus"},
        {"btnStart", "Start"},
        {"chkboxSulfurCalib", "Kalibrierung"},
        {"btnVentilblockAn", "An"},
        {"btnZeroSet", "Set"},
        {"groupFPD", "Temperatur Emissionskammer"},
        {"rgStandard", "Prüfstandard"},
        {"lmdlblFLOW", "(ml/min)"},
        {"btnDelay", "Verz. Start"},
        {"btnMonitor", "Monitoring\r\n      An"},
    };
    for (const auto& c : captions)
        EXPECT_EQ(form.text(QString::fromLatin1(c.control)), QString::fromUtf8(c.caption))
            << c.control;

    EXPECT_EQ(tabText(form, "tabStatus"), QStringLiteral("Messparameter"));
    EXPECT_EQ(tabText(form, "tabSampleInfo"), QStringLiteral("Probeninfo  / Speichern..."));
    EXPECT_EQ(radioItem(form, 0), QString::fromUtf8("ASTM F 739 (27°C)"));
    EXPECT_EQ(radioItem(form, 1), QString::fromUtf8("EN16523-1 (23°C)"));
    EXPECT_EQ(columnTitle(form, "ValueListEditor1", 0), QStringLiteral("CH - Chemikalie"));
    EXPECT_EQ(columnTitle(form, "ValueListEditor1", 1), QStringLiteral("CH - Faktor"));
    EXPECT_EQ(columnTitle(form, "ValueListEditor2", 0), QStringLiteral("S - Chemikalie"));
    EXPECT_EQ(form.editLabel(QStringLiteral("memoDescription")),
              QStringLiteral("Versuchsbeschreibung"));
    EXPECT_EQ(form.text(QStringLiteral("memoDescription")),
              QStringLiteral("Zeile 1\r\nZeile 2\r\nZeile 3\r\nZeile 4\r\nZeile 5\r\n"))
        << "the memo's own text is not a caption";

    // Text 55 breaks the button caption into two lines, so the button needs more height than a
    // one-line caption would.
    auto* monitor = form.findChild<QPushButton*>(QStringLiteral("btnMonitor"));
    auto* start = form.findChild<QPushButton*>(QStringLiteral("btnStart"));
    EXPECT_GT(monitor->sizeHint().height(), start->sizeHint().height());
}

TEST(TranslateForm, EnglishCaptions) {
    TForm1 form;
    form.TranslateForm(kEnglishOffset);

    const struct {
        const char* control;
        const char* caption;
    } captions[] = {
        {"lblLimitFPD", "Break amount THT"},
        {"ledCalcell", "Ref.Cell"},
        {"groupboxMesskammer", "Temperature Samplechamber"},
        {"btnMonitor", "Monitoring On"},
        {"lblFIDLevel", "FID channel (µV)"},
        {"lmdlblFLOW", "Gas flow (ml/min)"},
        {"btnSpeichern", "Save File"},
        {"rgStandard", "Standard"},
    };
    for (const auto& c : captions)
        EXPECT_EQ(form.text(QString::fromLatin1(c.control)), QString::fromUtf8(c.caption))
            << c.control;

    EXPECT_EQ(tabText(form, "tabStatus"), QStringLiteral("Measure parameter"));
    EXPECT_EQ(tabText(form, "tabFaktoren"), QStringLiteral("Factors and Gasflows"));
    EXPECT_EQ(radioItem(form, 0), QString::fromUtf8("ASTM F 739 (27°C)"));
    EXPECT_EQ(radioItem(form, 1), QString::fromUtf8("EN16523-1 (23°C)"));
    EXPECT_EQ(columnTitle(form, "ValueListEditor1", 0), QStringLiteral("CH - Chemical"));
    EXPECT_EQ(columnTitle(form, "ValueListEditor1", 1), QStringLiteral("CH - Factor"));
    EXPECT_EQ(columnTitle(form, "ValueListEditor2", 1), QStringLiteral("S - Factor"));
    EXPECT_EQ(form.editLabel(QStringLiteral("memoDescription")),
              QStringLiteral("Experiment description"));
}

TEST(TranslateForm, LeavesUntranslatedKindsAndUntaggedControlsAlone) {
    for (const int offset : {kGermanOffset, kEnglishOffset}) {
        SCOPED_TRACE(offset);
        TForm1 form;
        form.setText(QStringLiteral("editInfo2"), QStringLiteral("SampleInfo2"));
        form.setEditLabel(QStringLiteral("lblEditFact1"), QStringLiteral("Isobutan"));
        form.setStatusText(QStringLiteral("running"));
        form.setText(QStringLiteral("lblRawDataName"), QStringLiteral("raw.txt"));

        form.TranslateForm(offset);

        const struct {
            const char* control;
            const char* text;
        } unchanged[] = {
            {"editInfo2", "SampleInfo2"}, // an edit, although tagged with 94
            {"btnLaden", "btnLaden"},     {"ServiceButton", "Service"},
            {"statusbarRun", "running"},  {"lblRawDataName", "raw.txt"},
            {"ledV1_0", "V11"},           {"ledV1_5", "V16"},
            {"ledV2_0", "V17"},           {"ledV2_5", "V6"},
            {"editStartdelay", "hh:mm"},
        };
        for (const auto& u : unchanged)
            EXPECT_EQ(form.text(QString::fromLatin1(u.control)), QString::fromLatin1(u.text))
                << u.control;
        EXPECT_EQ(form.editLabel(QStringLiteral("lblEditFact1")), QStringLiteral("Isobutan"));
        EXPECT_EQ(form.findChild<QLabel*>(QStringLiteral("clBoxConnection_Label"))->text(),
                  QStringLiteral("COM Ports"));
        EXPECT_EQ(tabText(form, "tabStatus"), LoadLangText(offset, 6))
            << "the page with the same Tag as the page control is translated";
        EXPECT_EQ(tabText(form, "tabSettings"), LoadLangText(offset, 12))
            << "the page control's Tag does not spill over to its other pages";
    }
}

TEST(TranslateForm, ReadsEachTagWhenItRuns) {
    TForm1 form;
    form.setTag(QStringLiteral("btnMonitor"), 57);
    form.setTag(QStringLiteral("lblStartrun"), 94);
    form.TranslateForm(kGermanOffset);
    EXPECT_EQ(form.text(QStringLiteral("btnMonitor")), QStringLiteral("Monitoring\r\n     Aus"));
    EXPECT_EQ(form.text(QStringLiteral("lblStartrun")), QStringLiteral("Start um"));
}
