// What the window does on its own and what it reports: the log memo's nine lines, which clicks
// reach the core, operator picks of the standard against selections made by code, focus leaving
// edits, the factor page and the page control, the description's key rule, substance drops on
// the factor edits, the view interface's reads and writes, and a full-size render.

#include "ui/MeasurementChart.h"
#include "ui/TForm1.h"
#include "ui/ValueListEditor.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTextDocument>
#include <gtest/gtest.h>

using namespace korvat;

namespace {

// Records every signal the window raises towards the core, in order.
struct EventLog {
    QStringList events;

    explicit EventLog(TForm1& form) {
        QObject::connect(&form, &TForm1::clicked,
                         [this](const QString& c) { events << "click " + c; });
        QObject::connect(&form, &TForm1::editExited,
                         [this](const QString& c) { events << "exit " + c; });
        QObject::connect(&form, &TForm1::tabSheetExited,
                         [this](const QString& c) { events << "tab exit " + c; });
        QObject::connect(&form, &TForm1::pageControlExited,
                         [this] { events << QStringLiteral("PageControlExit"); });
        QObject::connect(&form, &TForm1::standardPicked,
                         [this](int i) { events << QStringLiteral("standard %1").arg(i); });
        QObject::connect(&form, &TForm1::substanceDropped,
                         [this](const QString& grid, const QString& edit, const QString& name,
                                const QString& factor) {
                             events << QStringList{"drop", grid, edit, name, factor}.join(' ');
                         });
        QObject::connect(&form, &TForm1::closing, [this] { events << QStringLiteral("closing"); });
    }
};

void clickWidget(QWidget* widget) {
    const QPoint at(3, 3);
    QMouseEvent press(QEvent::MouseButtonPress, at, widget->mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, widget->mapToGlobal(at), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &press);
    QCoreApplication::sendEvent(widget, &release);
}

void showActive(QWidget& window) {
    window.show();
    window.activateWindow();
    QApplication::processEvents();
}

void focus(TForm1& form, const char* name) {
    form.control(QString::fromLatin1(name))->setFocus(Qt::OtherFocusReason);
    QApplication::processEvents();
}

void typeKey(QWidget* target, int key, const QString& text) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(target, &press);
}

} // namespace

TEST(MainWindowLog, KeepsTheNineMostRecentLines) {
    TForm1 form;
    for (int i = 1; i <= 3; ++i)
        form.addLogLine(QStringLiteral("line %1").arg(i));
    EXPECT_EQ(form.text(QStringLiteral("LMDMemo1")), QStringLiteral("line 1\r\nline 2\r\nline 3"));

    for (int i = 4; i <= 12; ++i)
        form.addLogLine(QStringLiteral("line %1").arg(i));
    QStringList expected;
    for (int i = 4; i <= 12; ++i)
        expected << QStringLiteral("line %1").arg(i);
    EXPECT_EQ(form.text(QStringLiteral("LMDMemo1")), expected.join(QStringLiteral("\r\n")));

    // Whatever changes the memo, it never holds more than nine lines.
    form.setText(QStringLiteral("LMDMemo1"),
                 QStringLiteral("a\r\nb\r\nc\r\nd\r\ne\r\nf\r\ng\r\nh\r\ni\r\nj\r\nk"));
    EXPECT_EQ(form.text(QStringLiteral("LMDMemo1")),
              QStringLiteral("c\r\nd\r\ne\r\nf\r\ng\r\nh\r\ni\r\nj\r\nk"));
}

TEST(MainWindowLog, StaysSmallOverDaysOfLines) {
    // A week of status replies and notes: the memo's document holds nine lines and no history of
    // the changes that led there.
    TForm1 form;
    auto* memo = qobject_cast<QPlainTextEdit*>(form.control(QStringLiteral("LMDMemo1")));
    ASSERT_NE(memo, nullptr);
    for (int i = 1; i <= 20000; ++i) {
        form.addLogLine(QStringLiteral(":SG%1").arg(i, 4, 16, QLatin1Char('0')));
        if (i % 7 == 0)
            emit form.chart()->curvesRepainted(); // the lines are shown with the chart's repaints
    }
    EXPECT_TRUE(form.text(QStringLiteral("LMDMemo1")).endsWith(QStringLiteral(":SG4e20")));
    QTextDocument* document = memo->document();
    EXPECT_EQ(document->blockCount(), TForm1::kLogLines);
    EXPECT_EQ(document->availableUndoSteps(), 0);
    EXPECT_FALSE(document->isUndoAvailable());
    EXPECT_EQ(document->characterCount(), 9 * 8) << "seven characters and a line end per line";
}

// Live readings (a converter's level, a temperature) and the log's lines come several times a
// second: they are painted with the chart's next repaint, or after kReadingsDelayMs when the
// chart has nothing to repaint, never one paint each; what asks for a control's text gets the
// newest at once. A text set again unchanged leaves the edit alone (an operator's cursor stays).
TEST(MainWindowReadings, AreShownWithTheChartsRepaintAndUnchangedTextsAreLeftAlone) {
    TForm1 form;
    form.show();
    auto* pages = form.findChild<QTabWidget*>();
    auto* fid = form.findChild<QLineEdit*>(QStringLiteral("editFIDLevel"));
    auto* fpd = form.findChild<QLineEdit*>(QStringLiteral("editFPDLevel"));
    auto* memo = qobject_cast<QPlainTextEdit*>(form.control(QStringLiteral("LMDMemo1")));
    ASSERT_TRUE(pages && fid && fpd && memo);
    pages->setCurrentWidget(form.control(QStringLiteral("tabSettings")));
    ASSERT_TRUE(fid->isVisible());
    for (int v = 1; v <= 10; ++v)
        form.showReading(QStringLiteral("editFIDLevel"), QString::number(v * 1000));
    form.addLogLine(QStringLiteral(":SG0001"));
    EXPECT_EQ(fid->text(), QString()) << "not painted before the chart repaints";
    EXPECT_EQ(memo->toPlainText(), QString());
    emit form.chart()->curvesRepainted();
    EXPECT_EQ(fid->text(), QStringLiteral("10000"));
    EXPECT_EQ(memo->toPlainText(), QStringLiteral(":SG0001"));

    // Asked for, the newest is there at once; a text set directly replaces a reading that waits.
    form.showReading(QStringLiteral("editFPDLevel"), QStringLiteral("7"));
    EXPECT_EQ(form.text(QStringLiteral("editFPDLevel")), QStringLiteral("7"));
    form.showReading(QStringLiteral("editFIDLevel"), QStringLiteral("11"));
    form.setText(QStringLiteral("editFIDLevel"), QStringLiteral("12"));
    emit form.chart()->curvesRepainted();
    EXPECT_EQ(fid->text(), QStringLiteral("12"));

    // Without a chart repaint the reading still comes, a moment later.
    form.showReading(QStringLiteral("editFPDLevel"), QStringLiteral("8"));
    QElapsedTimer waited;
    waited.start();
    while (fpd->text() != QStringLiteral("8") && waited.elapsed() < 10000)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    EXPECT_EQ(fpd->text(), QStringLiteral("8"));

    auto* start = form.findChild<QLineEdit*>(QStringLiteral("editStart"));
    ASSERT_TRUE(start);
    form.setText(QStringLiteral("editStart"), QStringLiteral("15"));
    start->setCursorPosition(1);
    form.setText(QStringLiteral("editStart"), QStringLiteral("15"));
    EXPECT_EQ(start->cursorPosition(), 1);
    form.setText(QStringLiteral("editStart"), QStringLiteral("16"));
    EXPECT_EQ(start->text(), QStringLiteral("16"));

    // A reading of a page not in front waits for its page.
    pages->setCurrentWidget(form.control(QStringLiteral("tabStatus")));
    form.showReading(QStringLiteral("editFIDLevel"), QStringLiteral("20000"));
    form.addLogLine(QStringLiteral(":SG0002"));
    emit form.chart()->curvesRepainted();
    EXPECT_EQ(fid->text(), QStringLiteral("12"));
    EXPECT_EQ(memo->toPlainText(), QStringLiteral(":SG0001"));
    pages->setCurrentWidget(form.control(QStringLiteral("tabSettings")));
    EXPECT_EQ(fid->text(), QStringLiteral("20000"));
    EXPECT_EQ(memo->toPlainText(), QStringLiteral(":SG0001\n:SG0002"));
}

TEST(MainWindowClicks, OnlyControlsWithAHandlerReportTheirClick) {
    TForm1 form;
    EventLog log(form);

    clickWidget(form.control(QStringLiteral("ledZero")));
    clickWidget(form.control(QStringLiteral("ledPower")));
    EXPECT_TRUE(log.events.isEmpty()) << qPrintable(log.events.join(", "));
    EXPECT_FALSE(form.ledOn(QStringLiteral("ledZero")));

    clickWidget(form.control(QStringLiteral("ledLoop")));
    clickWidget(form.control(QStringLiteral("ledV1_0")));
    clickWidget(form.control(QStringLiteral("ledV2_5")));
    for (const char* button : {"btnStart", "ServiceButton", "btnLaden", "btnMonitor", "btnZeroSet"})
        static_cast<QAbstractButton*>(form.control(QString::fromLatin1(button)))->click();
    EXPECT_EQ(log.events, QStringList({"click ledLoop", "click ledV1_0", "click ledV2_5",
                                       "click btnStart", "click ServiceButton", "click btnLaden",
                                       "click btnMonitor", "click btnZeroSet"}));
    EXPECT_FALSE(form.ledOn(QStringLiteral("ledLoop"))) << "the core decides what a click lights";
}

TEST(MainWindowClicks, ToggleIsDownWhenItsClickIsReported) {
    TForm1 form;
    bool downAtClick = false;
    QObject::connect(&form, &TForm1::clicked,
                     [&](const QString& name) { downAtClick = form.isDown(name); });
    auto* toggle = static_cast<QAbstractButton*>(form.control(QStringLiteral("btnHVoltageAn")));
    toggle->click();
    EXPECT_TRUE(downAtClick);
    toggle->click();
    EXPECT_FALSE(downAtClick);

    form.setDown(QStringLiteral("btnHVoltageAn"), true);
    EXPECT_TRUE(form.isDown(QStringLiteral("btnHVoltageAn")));
}

TEST(MainWindowClicks, ClosingTheWindowIsReported) {
    TForm1 form;
    EventLog log(form);
    form.show();
    form.close();
    EXPECT_EQ(log.events, QStringList{"closing"});
}

TEST(MainWindowStandard, OnlyTheOperatorsPickRunsTheAction) {
    TForm1 form;
    EventLog log(form);
    const QString rg = QStringLiteral("rgStandard");

    form.setItemIndex(rg, 1);
    EXPECT_EQ(form.itemIndex(rg), 1);
    form.setItemIndex(rg, -1);
    EXPECT_EQ(form.itemIndex(rg), -1);
    form.setItemIndex(rg, 0);
    EXPECT_EQ(form.itemIndex(rg), 0);
    EXPECT_TRUE(log.events.isEmpty()) << qPrintable(log.events.join(", "));

    auto* en = form.findChild<QRadioButton*>(QStringLiteral("rgStandard_Item1"));
    en->click();
    EXPECT_EQ(form.itemIndex(rg), 1);
    en->click(); // picking the standard already selected changes nothing
    EXPECT_EQ(log.events, QStringList{"standard 1"});
}

TEST(MainWindowFocus, LeavingEditsPagesAndThePageControl) {
    TForm1 form;
    showActive(form);
    ASSERT_TRUE(form.isActiveWindow());
    EventLog log(form);
    auto* pages = form.findChild<QTabWidget*>(QStringLiteral("PageControl"));

    focus(form, "editStart");
    focus(form, "editAnzahl");
    EXPECT_EQ(log.events, QStringList{"exit editStart"});

    log.events.clear();
    focus(form, "Chart1");
    EXPECT_EQ(log.events, QStringList({"exit editAnzahl", "PageControlExit"}));

    // An edit without an exit handler stays silent; the page control still reports.
    pages->setCurrentIndex(1);
    log.events.clear();
    focus(form, "editMesskammer");
    focus(form, "editVentilblock");
    focus(form, "Chart1");
    EXPECT_EQ(log.events, QStringList({"exit editVentilblock", "PageControlExit"}));

    // Switching away from the factor page leaves the page, not the page control.
    pages->setCurrentIndex(2);
    focus(form, "lblEditFact2");
    log.events.clear();
    pages->setCurrentIndex(3);
    QApplication::processEvents();
    EXPECT_EQ(log.events, QStringList{"tab exit tabFaktoren"});
}

TEST(MainWindowFocus, ExactlyTheEditsWithAnExitHandlerReportLeaving) {
    TForm1 form;
    showActive(form);
    EventLog log(form);
    auto* pages = form.findChild<QTabWidget*>(QStringLiteral("PageControl"));
    for (const QString& name : form.controlNames()) {
        const ControlKind kind = form.kindOf(name);
        if (kind != ControlKind::Edit && kind != ControlKind::LabelledEdit)
            continue;
        QWidget* edit = form.control(name);
        for (int page = 0; page < pages->count(); ++page) {
            if (pages->widget(page)->isAncestorOf(edit))
                pages->setCurrentIndex(page);
        }
        edit->setFocus();
        focus(form, "Chart1");
    }
    QStringList exits = log.events.filter(QRegularExpression(QStringLiteral("^exit ")));
    exits.sort();
    QStringList expected{"editStart",    "editAnzahl",     "editZyklen",     "editLimitFID",
                         "editLimitFPD", "editMesszeit",   "editIsobutan",   "editSulfur",
                         "editInfo1",    "editInfo2",      "editInfo3",      "editScale",
                         "editScaleMin", "editStartdelay", "editVentilblock", "editContact1",
                         "editContact2", "editContact3"};
    for (const char* field : {"editMaterial", "editThickness", "editLot", "editArea"})
        for (int cell = 1; cell <= 3; ++cell)
            expected << QString::fromLatin1(field) + QString::number(cell);
    expected << QStringLiteral("editRequirement") << QStringLiteral("editOperator");
    for (QString& name : expected)
        name.prepend(QStringLiteral("exit "));
    expected.sort();
    EXPECT_EQ(exits, expected);
}

TEST(MainWindowFocus, AnotherWindowTakingTheFocusIsNoExit) {
    TForm1 form;
    showActive(form);
    EventLog log(form);
    focus(form, "editStart");

    QLineEdit other;
    showActive(other);
    other.setFocus();
    QApplication::processEvents();
    showActive(form);
    EXPECT_TRUE(log.events.isEmpty()) << qPrintable(log.events.join(", "));

    focus(form, "editZyklen");
    EXPECT_EQ(log.events, QStringList{"exit editStart"});
}

TEST(MainWindowDescription, KeyRuleSeesCaretAndDecidesTheKey) {
    TForm1 form;
    auto* memo = form.findChild<QPlainTextEdit*>(QStringLiteral("memoDescription"));
    memo->setPlainText(QStringLiteral("ab\ncdef"));
    QTextCursor caret = memo->textCursor();
    caret.setPosition(5); // line 1, column 2
    memo->setTextCursor(caret);

    struct Call {
        bool enter;
        int line;
        int column;
    };
    QVector<Call> calls;
    TForm1::KeyAction answer = TForm1::KeyAction::Keep;
    form.setDescriptionKeyRule([&](bool enter, int line, int column) {
        calls.push_back({enter, line, column});
        return answer;
    });

    typeKey(memo, Qt::Key_X, QStringLiteral("x"));
    ASSERT_EQ(calls.size(), 1);
    EXPECT_FALSE(calls[0].enter);
    EXPECT_EQ(calls[0].line, 1);
    EXPECT_EQ(calls[0].column, 2);
    EXPECT_EQ(memo->toPlainText(), QStringLiteral("ab\ncdxef"));

    answer = TForm1::KeyAction::Discard;
    typeKey(memo, Qt::Key_Return, QStringLiteral("\r"));
    EXPECT_TRUE(calls.back().enter);
    EXPECT_EQ(memo->toPlainText(), QStringLiteral("ab\ncdxef"));

    answer = TForm1::KeyAction::ReplaceWithEnter;
    typeKey(memo, Qt::Key_Y, QStringLiteral("y"));
    EXPECT_EQ(memo->toPlainText(), QStringLiteral("ab\ncdx\nef"));

    const auto asked = calls.size();
    typeKey(memo, Qt::Key_Left, QString());
    EXPECT_EQ(calls.size(), asked) << "keys that type nothing are not asked about";
}

TEST(MainWindowFactors, SubstanceRowDroppedOnAFactorEdit) {
    TForm1 form;
    EventLog log(form);
    form.setValueList(QStringLiteral("ValueListEditor1"), {"Aceton=2,05", "Toluol=0,85"});
    auto* grid = form.findChild<ValueListEditor*>(QStringLiteral("ValueListEditor1"));
    grid->setCurrentCell(1, 1);
    QWidget* edit = form.control(QStringLiteral("lblEditFact2"));

    QMimeData substance;
    substance.setData(QLatin1String(ValueListEditor::kSubstanceMimeType), "ValueListEditor1");
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &substance, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(edit, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &substance, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(edit, &drop);
    EXPECT_TRUE(drop.isAccepted());
    EXPECT_EQ(log.events, QStringList{"drop ValueListEditor1 lblEditFact2 Toluol 0,85"});
    EXPECT_EQ(form.text(QStringLiteral("lblEditFact2")), QString()) << "the core applies a drop";

    // Text from anywhere else is not typed into a factor.
    QMimeData text;
    text.setText(QStringLiteral("3,5"));
    QDragEnterEvent textEnter(QPoint(5, 5), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(edit, &textEnter);
    EXPECT_FALSE(textEnter.isAccepted());
    QDropEvent textDrop(QPointF(5, 5), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(edit, &textDrop);
    EXPECT_EQ(form.text(QStringLiteral("lblEditFact2")), QString());
    EXPECT_EQ(log.events.size(), 1);
}

TEST(MainWindowView, WritesAndReadsBackThroughControlNames) {
    TForm1 form;
    const struct {
        const char* control;
        const char* text;
    } texts[] = {
        {"editIsobutan", "100"},          {"lblStartrun", "<SN1234"},
        {"groupCalib", "Kalibrierdaten"}, {"chkboxIsobutanCalib", "Kalibrierung"},
        {"ledSample1", "Zelle 1"},        {"statusbarRun", "Gestoppt"},
        {"tabSettings", "Konfiguration"}, {"btnVentilblockAn", "Aus"},
        {"lbleditFPDCalFact", "1,00"},    {"memoDescription", "one\r\ntwo"},
    };
    for (const auto& t : texts) {
        form.setText(QString::fromLatin1(t.control), QString::fromLatin1(t.text));
        EXPECT_EQ(form.text(QString::fromLatin1(t.control)), QString::fromLatin1(t.text))
            << t.control;
    }
    EXPECT_EQ(form.findChild<QPlainTextEdit*>(QStringLiteral("memoDescription"))->blockCount(), 2);

    form.setEditLabel(QStringLiteral("lbleditFPDCalFact"), QStringLiteral("THT"));
    EXPECT_EQ(form.editLabel(QStringLiteral("lbleditFPDCalFact")), QStringLiteral("THT"));

    form.setBackground(QStringLiteral("editIsobutan"), QColor(254, 169, 148));
    EXPECT_EQ(form.control(QStringLiteral("editIsobutan"))->palette().color(QPalette::Base),
              QColor(254, 169, 148));

    form.setLedOn(QStringLiteral("ledSmpOff3"), true);
    EXPECT_TRUE(form.ledOn(QStringLiteral("ledSmpOff3")));
    form.setEnabled(QStringLiteral("btnStop"), false);
    EXPECT_FALSE(form.control(QStringLiteral("btnStop"))->isEnabled());
    form.setChecked(QStringLiteral("chkboxSulfurCalib"), true);
    EXPECT_TRUE(form.isChecked(QStringLiteral("chkboxSulfurCalib")));

    form.setConnectionItem(0, QStringLiteral("/dev/ttyUSB0 4711"), true);
    form.setConnectionItem(1, QStringLiteral("/dev/ttyUSB1 --------"), false);
    auto* list = form.findChild<QListWidget*>(QStringLiteral("clBoxConnection"));
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->item(0)->text(), QStringLiteral("/dev/ttyUSB0 4711"));
    EXPECT_EQ(list->item(0)->checkState(), Qt::Checked);
    EXPECT_EQ(list->item(1)->checkState(), Qt::Unchecked);
    EXPECT_FALSE(list->item(0)->flags() & Qt::ItemIsUserCheckable) << "read-only for the operator";

    form.setWindowCaption(QStringLiteral("KORVAT-PC Version 1.1.0"));
    EXPECT_EQ(form.windowTitle(), QStringLiteral("KORVAT-PC Version 1.1.0"));

    // A name that is not in the window is reported in the log and changes nothing.
    form.setText(QStringLiteral("noSuchControl"), QStringLiteral("x"));
    EXPECT_EQ(form.text(QStringLiteral("noSuchControl")), QString());
}

TEST(MainWindowRender, FullWindowRendersAtItsDesignedSize) {
    TForm1 form;
    form.TranslateForm(0);
    form.setSeriesData(0, {0.0, 1.0, 2.0}, {0.0, 5000.0, 1000.0});
    form.resize(TForm1::kDesignedWidth, TForm1::kDesignedHeight);
    form.show();
    const QImage image = form.grab().toImage();
    ASSERT_EQ(image.size(), QSize(TForm1::kDesignedWidth, TForm1::kDesignedHeight));
    EXPECT_GT(form.chart()->height(), TForm1::kDesignedHeight * 6 / 10);
    // Something was painted: the picture is not one flat colour.
    const QRgb corner = image.pixel(0, 0);
    bool varied = false;
    for (int y = 0; y < image.height() && !varied; y += 7)
        for (int x = 0; x < image.width() && !varied; x += 7)
            varied = image.pixel(x, y) != corner;
    EXPECT_TRUE(varied);
    if (const QByteArray path = qgetenv("KORVAT_UI_SCREENSHOT"); !path.isEmpty())
        image.save(QString::fromLocal8Bit(path));
}
