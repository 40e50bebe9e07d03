// The main window as designed, before start-up touches it: every control exists under its own
// name with its Tag and kind and the widget class that kind needs, the designed captions and
// contents, the designed states, and the page shown first.

#include "ui/MeasurementChart.h"
#include "ui/StatusLed.h"
#include "ui/TForm1.h"
#include "ui/ValueListEditor.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace korvat;
using K = ControlKind;

namespace {

struct Expected {
    const char* name;
    int tag;
    K kind;
};

// Every control of the window with its Tag (0 where it has none) and kind.
// clang-format off
const Expected kControls[] = {
    {"Chart1", 0, K::Other}, {"PageControl", 6, K::PageControl},
    // run page
    {"tabStatus", 6, K::TabSheet},
    {"lblStart", 1, K::Label}, {"editStart", 0, K::Edit},
    {"lblAnzahl", 2, K::Label}, {"editAnzahl", 0, K::Edit},
    {"lblZyklen", 4, K::Label}, {"editZyklen", 0, K::Edit},
    {"lblLimitFID", 5, K::Label}, {"editLimitFID", 0, K::Edit},
    {"lblLimitFPD", 47, K::Label}, {"editLimitFPD", 0, K::Edit},
    {"lblMesszeit", 3, K::Label}, {"editMesszeit", 0, K::Edit},
    {"lblRunToBreak1", 39, K::Label}, {"lblRunToBreak2", 39, K::Label}, {"lblRunToBreak3", 39, K::Label},
    {"lblInfoSample1", 0, K::Label}, {"lblInfoSample2", 0, K::Label}, {"lblInfoSample3", 0, K::Label},
    {"lblStartrun", 0, K::Label}, {"lblRuntime", 98, K::Label},
    {"groupStatus", 40, K::GroupBox},
    {"ledZero", 31, K::Led}, {"ledPower", 37, K::Led}, {"ledCalgas", 32, K::Led},
    {"ledCalcell", 33, K::Led}, {"ledSample1", 34, K::Led}, {"ledSample2", 35, K::Led},
    {"ledSample3", 36, K::Led}, {"ledLoop", 38, K::Led},
    {"ledSmpOff1", 26, K::Led}, {"ledSmpOff2", 26, K::Led}, {"ledSmpOff3", 26, K::Led},
    {"statusbarRun", 0, K::StatusBar},
    {"btnStart", 29, K::PushButton}, {"btnStop", 30, K::PushButton},
    {"groupCalib", 52, K::GroupBox},
    {"lblFIDCalInfo", 7, K::Label}, {"lblFPDCALInfo", 8, K::Label},
    {"lblFIDCalFactor", 0, K::Label}, {"lblFPDCalFactor", 0, K::Label},
    {"lblFIDMenge", 45, K::Label}, {"lblFPDMenge", 45, K::Label},
    {"lblFIDInfo", 119, K::Label}, {"lblFPDInfo", 119, K::Label},
    {"chkboxIsobutanCalib", 44, K::CheckBox}, {"chkboxSulfurCalib", 44, K::CheckBox},
    {"chkboxKeepMeasuring", 122, K::CheckBox}, {"btnPermeation", 123, K::PushButton}, {"ledWarning", 143, K::Led},
    {"ledStorage", 168, K::Led}, {"lblStorage", 0, K::Label},
    {"btnChartFit", 145, K::PushButton}, {"btnChartAxes", 146, K::PushButton},
    {"editIsobutan", 0, K::Edit}, {"editSulfur", 0, K::Edit},
    {"groupCells", 348, K::GroupBox}, {"lblProgress", 0, K::Label}, {"lblPosition", 0, K::Label}, {"lblCycle", 0, K::Label},
    {"lblRunEnd", 0, K::Label}, {"lblLimitFIDUnit", 0, K::Label}, {"lblLimitFPDUnit", 0, K::Label},
    {"lblMesszeitUnit", 108, K::Label},
    {"lblCellName1", 34, K::Label}, {"lblCellName2", 35, K::Label}, {"lblCellName3", 36, K::Label},
    {"lblCellRate1", 0, K::Label}, {"lblCellRate2", 0, K::Label}, {"lblCellRate3", 0, K::Label},
    {"lblCellTrend1", 0, K::Label}, {"lblCellTrend2", 0, K::Label}, {"lblCellTrend3", 0, K::Label},
    {"lblCellNext1", 0, K::Label}, {"lblCellNext2", 0, K::Label}, {"lblCellNext3", 0, K::Label},
    {"groupDelay", 97, K::GroupBox}, {"lblDelay", 0, K::Label},
    {"btnDelay", 87, K::PushButton}, {"editStartdelay", 0, K::Edit},
    // configuration and service page
    {"tabSettings", 12, K::TabSheet},
    {"LMDMemo1", 0, K::Memo}, {"LMDEdit1", 0, K::Edit}, {"ServiceButton", 0, K::PushButton},
    {"btnPorts", 324, K::PushButton},
    {"groupboxVentilblock", 13, K::GroupBox}, {"lblVentilblock", 0, K::Label},
    {"btnVentilblockAn", 23, K::SpeedButton}, {"editVentilblock", 0, K::Edit},
    {"btnVentilblockSet", 22, K::PushButton},
    {"groupboxMesskammer", 14, K::GroupBox}, {"lblMesskammer", 0, K::Label},
    {"btnMesskammerAn", 23, K::SpeedButton}, {"editMesskammer", 0, K::Edit},
    {"btnMesskammerSet", 22, K::PushButton},
    {"groupFPD", 15, K::GroupBox}, {"lblEmmision", 0, K::Label},
    {"btnEmmisionAn", 23, K::SpeedButton}, {"editEmmision", 0, K::Edit},
    {"btnEmmisionSet", 22, K::PushButton},
    {"groupTransferline", 16, K::GroupBox}, {"lblTransfer", 0, K::Label},
    {"btnTransferAn", 23, K::SpeedButton}, {"editTransfer", 0, K::Edit},
    {"btnTransferSet", 22, K::PushButton},
    {"groupZero", 19, K::GroupBox}, {"lblZero", 0, K::Label}, {"editZero", 0, K::Edit},
    {"btnZeroSet", 22, K::PushButton},
    {"groupHVoltage", 17, K::GroupBox}, {"lblHVoltage", 0, K::Label},
    {"btnHVoltageAn", 23, K::SpeedButton}, {"editHvoltage", 0, K::Edit},
    {"btnHVoltageSet", 22, K::PushButton},
    {"LMDGroupBox2", 41, K::GroupBox},
    {"ledV1_0", 0, K::Led}, {"ledV1_1", 0, K::Led}, {"ledV1_2", 0, K::Led},
    {"ledV1_3", 0, K::Led}, {"ledV1_4", 0, K::Led}, {"ledV1_5", 0, K::Led},
    {"LMDGroupBox3", 42, K::GroupBox},
    {"ledV2_0", 0, K::Led}, {"ledV2_1", 0, K::Led}, {"ledV2_2", 0, K::Led},
    {"ledV2_3", 0, K::Led}, {"ledV2_4", 0, K::Led}, {"ledV2_5", 0, K::Led},
    {"rgStandard", 11, K::RadioGroup}, {"clBoxConnection", 0, K::CheckListBox},
    {"groupView", 56, K::GroupBox},
    {"lblScale", 43, K::Label}, {"editScale", 0, K::Edit},
    {"lblScaleMin", 93, K::Label}, {"editScaleMin", 0, K::Edit},
    {"lblFIDLevel", 53, K::Label}, {"editFIDLevel", 0, K::Edit},
    {"lblFPDLevel", 54, K::Label}, {"editFPDLevel", 0, K::Edit},
    {"btnMonitor", 55, K::PushButton},
    // factors page
    {"tabFaktoren", 95, K::TabSheet},
    {"ValueListEditor1", 115, K::ValueListEditor}, {"ValueListEditor2", 117, K::ValueListEditor},
    {"groupboxFactors", 95, K::GroupBox},
    {"LMDLabel1", 109, K::Label}, {"LMDLabel2", 110, K::Label}, {"lmdlblFLOW", 111, K::Label},
    {"lbleditFIDCalFact", 0, K::LabelledEdit}, {"lblEditFact1", 0, K::LabelledEdit},
    {"lblEditFact2", 0, K::LabelledEdit}, {"lblEditFact3", 0, K::LabelledEdit},
    {"lbleditFPDCalFact", 0, K::LabelledEdit}, {"lbleditFPDFact1", 0, K::LabelledEdit},
    {"lblEditFPDFact2", 0, K::LabelledEdit}, {"lblEditFPDFact3", 0, K::LabelledEdit},
    {"editCalFlow", 0, K::Edit}, {"editSampleFlow1", 0, K::Edit},
    {"editSampleFlow2", 0, K::Edit}, {"editSampleFlow3", 0, K::Edit},
    // sample info page
    {"tabSampleInfo", 96, K::TabSheet},
    {"lblDateiname", 0, K::Label}, {"lblRawDataName", 0, K::PlatformLabel},
    {"btnSpeichern", 48, K::PushButton},
    {"lblInfoCell1", 34, K::Label}, {"lblInfoCell2", 35, K::Label}, {"lblInfoCell3", 36, K::Label},
    {"editInfo1", 0, K::Edit}, {"editInfo2", 94, K::Edit}, {"editInfo3", 0, K::Edit},
    {"lblContact", 160, K::Label},
    {"editContact1", 0, K::Edit}, {"editContact2", 0, K::Edit}, {"editContact3", 0, K::Edit},
    {"memoDescription", 51, K::LabelledMemo}, {"btnLaden", 0, K::PushButton}, {"btnBericht", 144, K::PushButton},
    // specimens' page
    {"tabProben", 192, K::TabSheet},
    {"lblSpecimenMaterial", 176, K::Label}, {"lblSpecimenThickness", 193, K::Label},
    {"lblSpecimenLot", 178, K::Label}, {"lblSpecimenArea", 194, K::Label},
    {"editMaterial1", 0, K::Edit}, {"editMaterial2", 0, K::Edit}, {"editMaterial3", 0, K::Edit},
    {"editThickness1", 0, K::Edit}, {"editThickness2", 0, K::Edit}, {"editThickness3", 0, K::Edit},
    {"editLot1", 0, K::Edit}, {"editLot2", 0, K::Edit}, {"editLot3", 0, K::Edit},
    {"editArea1", 0, K::Edit}, {"editArea2", 0, K::Edit}, {"editArea3", 0, K::Edit},
    {"lblChemical", 114, K::Label}, {"lblOperator", 205, K::Label}, {"editOperator", 0, K::Edit},
    {"lblRequirement", 190, K::Label}, {"editRequirement", 0, K::Edit}, {"lblDecisionRule", 191, K::Label},
};
// clang-format on

// Whether the widget is of the class that serves the kind.
bool servesKind(const QWidget* w, K kind) {
    switch (kind) {
    case K::Label:
    case K::PlatformLabel:
        return qobject_cast<const QLabel*>(w);
    case K::Edit:
    case K::LabelledEdit:
        return qobject_cast<const QLineEdit*>(w);
    case K::PushButton:
        return qobject_cast<const QPushButton*>(w);
    case K::SpeedButton:
        return qobject_cast<const QToolButton*>(w) &&
               qobject_cast<const QToolButton*>(w)->isCheckable();
    case K::CheckBox:
        return qobject_cast<const QCheckBox*>(w);
    case K::GroupBox:
    case K::RadioGroup:
        return qobject_cast<const QGroupBox*>(w);
    case K::Led:
        return qobject_cast<const StatusLed*>(w);
    case K::Memo:
    case K::LabelledMemo:
        return qobject_cast<const QPlainTextEdit*>(w);
    case K::StatusBar:
        return qobject_cast<const QStatusBar*>(w);
    case K::CheckListBox:
        return qobject_cast<const QListWidget*>(w);
    case K::ValueListEditor:
        return qobject_cast<const ValueListEditor*>(w);
    case K::PageControl:
        return qobject_cast<const QTabWidget*>(w);
    case K::TabSheet:
        return w->parentWidget() &&
               qobject_cast<const QTabWidget*>(w->parentWidget()->parentWidget());
    case K::Other:
        return qobject_cast<const MeasurementChart*>(w);
    }
    return false;
}

} // namespace

TEST(MainWindowControls, EveryControlExistsWithItsTagKindAndWidgetClass) {
    TForm1 form;
    for (const Expected& c : kControls) {
        SCOPED_TRACE(c.name);
        const QString name = QString::fromLatin1(c.name);
        QWidget* byName = form.findChild<QWidget*>(name);
        ASSERT_NE(byName, nullptr);
        EXPECT_EQ(form.control(name), byName);
        EXPECT_EQ(byName->property("Tag").toInt(), c.tag);
        EXPECT_EQ(form.tag(name), c.tag);
        EXPECT_EQ(form.kindOf(name), c.kind);
        EXPECT_TRUE(servesKind(byName, c.kind));
    }
    EXPECT_EQ(form.controlNames().size(), qsizetype(std::size(kControls)))
        << "no control beyond the designed ones";
}

TEST(MainWindowControls, PagesInOrderWithTheRunPageShownFirst) {
    TForm1 form;
    auto* pages = form.findChild<QTabWidget*>(QStringLiteral("PageControl"));
    ASSERT_NE(pages, nullptr);
    ASSERT_EQ(pages->count(), 5);
    const char* order[] = {"tabStatus", "tabSettings", "tabFaktoren", "tabSampleInfo", "tabProben"};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(pages->widget(i)->objectName(), QString::fromLatin1(order[i]));
    EXPECT_EQ(pages->currentIndex(), 0);
}

TEST(MainWindowControls, DesignedCaptionsAndContents) {
    TForm1 form;
    const struct {
        const char* name;
        const char* text;
    } texts[] = {
        {"ServiceButton", "Service"},
        {"btnLaden", "btnLaden"},
        {"editStartdelay", "hh:mm"},
        {"ledV1_0", "V11"},
        {"ledV1_1", "V12"},
        {"ledV1_2", "V13"},
        {"ledV1_3", "V14"},
        {"ledV1_4", "V15"},
        {"ledV1_5", "V16"},
        {"ledV2_0", "V17"},
        {"ledV2_1", "V2"},
        {"ledV2_2", "V3"},
        {"ledV2_3", "V4"},
        {"ledV2_4", "V5"},
        {"ledV2_5", "V6"},
        {"memoDescription", "Zeile 1\r\nZeile 2\r\nZeile 3\r\nZeile 4\r\nZeile 5\r\n"},
    };
    for (const auto& t : texts)
        EXPECT_EQ(form.text(QString::fromLatin1(t.name)), QString::fromUtf8(t.text)) << t.name;

    EXPECT_EQ(form.valueList(QStringLiteral("ValueListEditor1")), QStringList{"Aceton=2,05"});
    EXPECT_EQ(form.valueList(QStringLiteral("ValueListEditor2")), QStringList{"THT=1,00"});

    auto* connections = form.findChild<QListWidget*>(QStringLiteral("clBoxConnection"));
    ASSERT_NE(connections, nullptr);
    EXPECT_EQ(connections->count(), 2);
    auto* comPorts = form.findChild<QLabel*>(QStringLiteral("clBoxConnection_Label"));
    ASSERT_NE(comPorts, nullptr);
    EXPECT_EQ(comPorts->text(), QStringLiteral("COM Ports"));
}

TEST(MainWindowControls, DesignedStates) {
    TForm1 form;
    for (const char* name : {"btnVentilblockAn", "btnMesskammerAn"})
        EXPECT_FALSE(form.control(QString::fromLatin1(name))->isEnabled()) << name;
    for (const char* name : {"btnEmmisionAn", "btnTransferAn", "btnHVoltageAn", "btnStart",
                             "btnStop", "editStart", "ledLoop"})
        EXPECT_TRUE(form.control(QString::fromLatin1(name))->isEnabled()) << name;
    for (const char* name :
         {"btnVentilblockAn", "btnMesskammerAn", "btnEmmisionAn", "btnTransferAn", "btnHVoltageAn"})
        EXPECT_FALSE(form.isDown(QString::fromLatin1(name))) << name;

    for (const char* name : {"editFIDLevel", "editFPDLevel"})
        EXPECT_TRUE(form.findChild<QLineEdit*>(QString::fromLatin1(name))->isReadOnly()) << name;
    EXPECT_FALSE(form.findChild<QLineEdit*>(QStringLiteral("editScale"))->isReadOnly());

    for (const QString& name : form.controlNames()) {
        if (form.kindOf(name) == ControlKind::Led) {
            EXPECT_FALSE(form.ledOn(name)) << qPrintable(name);
        }
    }
    EXPECT_EQ(form.itemIndex(QStringLiteral("rgStandard")), -1);

    const struct {
        const char* name;
        TLedColor colour;
    } colours[] = {{"ledZero", TLedColor::Green},
                   {"ledLoop", TLedColor::Yellow},
                   {"ledSmpOff2", TLedColor::Red},
                   {"ledWarning", TLedColor::Red},
                   {"ledStorage", TLedColor::Red},
                   {"ledV2_3", TLedColor::Green}};
    for (const auto& c : colours)
        EXPECT_EQ(form.findChild<StatusLed*>(QString::fromLatin1(c.name))->ledColor(), c.colour)
            << c.name;

    // Each toggle is alone in its group, so the five work as independent switches.
    const struct {
        const char* name;
        int group;
    } groups[] = {{"btnVentilblockAn", 5},
                  {"btnMesskammerAn", 4},
                  {"btnEmmisionAn", 1},
                  {"btnTransferAn", 2},
                  {"btnHVoltageAn", 3}};
    for (const auto& g : groups)
        EXPECT_EQ(form.control(QString::fromLatin1(g.name))->property("GroupIndex").toInt(),
                  g.group)
            << g.name;
}

TEST(MainWindowControls, FactorEditLabelsSitRightForFidAndLeftForFpd) {
    TForm1 form;
    form.resize(TForm1::kDesignedWidth, TForm1::kDesignedHeight);
    for (const char* name : {"lbleditFIDCalFact", "lblEditFact1", "lblEditFact2", "lblEditFact3"}) {
        const QWidget* edit = form.control(QString::fromLatin1(name));
        const QWidget* label = form.findChild<QLabel*>(QString::fromLatin1(name) + "_EditLabel");
        ASSERT_NE(label, nullptr) << name;
        EXPECT_GE(label->geometry().left(), edit->geometry().right()) << name;
    }
    for (const char* name :
         {"lbleditFPDCalFact", "lbleditFPDFact1", "lblEditFPDFact2", "lblEditFPDFact3"}) {
        const QWidget* edit = form.control(QString::fromLatin1(name));
        const QWidget* label = form.findChild<QLabel*>(QString::fromLatin1(name) + "_EditLabel");
        ASSERT_NE(label, nullptr) << name;
        EXPECT_LE(label->geometry().right(), edit->geometry().left()) << name;
    }
}
