// The designed layout of the pages. Positions are in pixels inside each page; the page control
// is 272 pixels high, which leaves about 245 for a page's content, and the pages are about
// 1010 wide: a 1024 x 768 screen holds the window.
#include "ui/MeasurementChart.h"
#include "ui/StatusLed.h"
#include "ui/TForm1.h"
#include "ui/ValueListEditor.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolButton>

namespace korvat {

namespace {
constexpr auto kRight = Qt::AlignRight | Qt::AlignVCenter;
constexpr auto kLeft = Qt::AlignLeft | Qt::AlignVCenter;
constexpr int kEditHeight = 22;
constexpr int kButtonHeight = 24;
} // namespace

// ---- building blocks
// ------------------------------------------------------------------------------

void TForm1::registerControl(QWidget* widget, const QString& name, ControlKind kind, int tag,
                             QLabel* attachedLabel) {
    Q_ASSERT(!m_controls.contains(name));
    widget->setObjectName(name);
    widget->setProperty("Tag", tag);
    widget->setProperty("kind", static_cast<int>(kind));
    m_controls.insert(name, {widget, kind, attachedLabel});
    m_order << name;
}

template <class W>
W* TForm1::add(QWidget* parent, const QString& name, ControlKind kind, int tag,
               const QRect& geometry) {
    auto* widget = new W(parent);
    widget->setGeometry(geometry);
    registerControl(widget, name, kind, tag);
    return widget;
}

QWidget* TForm1::tabSheet(const QString& name, int tag) {
    auto* page = new QWidget;
    m_pages->addTab(page, name);
    registerControl(page, name, ControlKind::TabSheet, tag);
    return page;
}

QLabel* TForm1::label(QWidget* parent, const QString& name, int tag, const QRect& geometry,
                      Qt::Alignment alignment) {
    auto* label = add<QLabel>(parent, name, ControlKind::Label, tag, geometry);
    // Captions are never markup: a reply such as "<SN..." must show as typed.
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(alignment);
    return label;
}

QLineEdit* TForm1::edit(QWidget* parent, const QString& name, const QRect& geometry,
                        bool hasExitHandler) {
    auto* edit = add<QLineEdit>(parent, name, ControlKind::Edit, 0, geometry);
    if (hasExitHandler)
        m_exitEdits.insert(edit, name);
    connect(edit, &QLineEdit::textEdited, this, [this, name](const QString& text) { emit edited(name, text); });
    return edit;
}

QLineEdit* TForm1::labelledEdit(QWidget* parent, const QString& name, const QRect& geometry,
                                const QRect& labelGeometry, Qt::Alignment labelAlignment) {
    auto* edit = new QLineEdit(parent);
    edit->setGeometry(geometry);
    // The label belongs to the edit: it has no name of its own in the window and no Tag.
    auto* attached = new QLabel(parent);
    attached->setObjectName(name + QStringLiteral("_EditLabel"));
    attached->setTextFormat(Qt::PlainText);
    attached->setAlignment(labelAlignment);
    attached->setGeometry(labelGeometry);
    registerControl(edit, name, ControlKind::LabelledEdit, 0, attached);
    connect(edit, &QLineEdit::textEdited, this, [this, name](const QString& text) { emit edited(name, text); });
    return edit;
}

void TForm1::button(QWidget* parent, const QString& name, int tag, const QRect& geometry,
                    const QString& caption) {
    auto* button = add<QPushButton>(parent, name, ControlKind::PushButton, tag, geometry);
    button->setText(caption.isEmpty() ? name : caption);
    connect(button, &QPushButton::clicked, this, [this, name] { emit clicked(name); });
}

void TForm1::toggle(QWidget* parent, const QString& name, int tag, const QRect& geometry,
                    int groupIndex) {
    // A tool button, because like the speed button it stands for it never takes the focus.
    auto* toggle = add<QToolButton>(parent, name, ControlKind::SpeedButton, tag, geometry);
    toggle->setCheckable(true);
    toggle->setText(name);
    // Each toggle is alone in its group, so it is an independent on/off switch.
    toggle->setProperty("GroupIndex", groupIndex);
    connect(toggle, &QToolButton::clicked, this, [this, name] { emit clicked(name); });
}

StatusLed* TForm1::led(QWidget* parent, const QString& name, int tag, const QRect& geometry,
                       TLedColor colour, bool hasClickHandler, const QString& caption) {
    auto* led = add<StatusLed>(parent, name, ControlKind::Led, tag, geometry);
    led->setLedColor(colour);
    led->setCaption(caption);
    if (hasClickHandler)
        connect(led, &StatusLed::clicked, this, [this, name] { emit clicked(name); });
    return led;
}

QWidget* TForm1::group(QWidget* parent, const QString& name, int tag, const QRect& geometry) {
    auto* box = add<QGroupBox>(parent, name, ControlKind::GroupBox, tag, geometry);
    box->setTitle(name);
    return box;
}

void TForm1::checkBox(QWidget* parent, const QString& name, int tag, const QRect& geometry) {
    auto* box = add<QCheckBox>(parent, name, ControlKind::CheckBox, tag, geometry);
    box->setText(name);
    connect(box, &QCheckBox::clicked, this, [this, name](bool on) { emit checkToggled(name, on); });
}

// ---- run page
// -------------------------------------------------------------------------------------

void TForm1::buildStatusPage(QWidget* page) {
    // The range, cycles, limits and measuring time, one label and edit per row.
    const struct {
        const char* label;
        int tag;
        const char* edit;
    } parameters[] = {
        {"lblStart", 1, "editStart"},        {"lblAnzahl", 2, "editAnzahl"},
        {"lblZyklen", 4, "editZyklen"},      {"lblLimitFID", 5, "editLimitFID"},
        {"lblLimitFPD", 47, "editLimitFPD"}, {"lblMesszeit", 3, "editMesszeit"},
    };
    // The limits and the measuring time with their units beside the edits.
    const struct {
        const char* name;
        int tag;
        const char* text;
        int row;
    } units[] = {
        {"lblLimitFIDUnit", 0, "ug/cm\u00b2/min", 3},
        {"lblLimitFPDUnit", 0, "ug/cm\u00b2/min", 4},
        {"lblMesszeitUnit", 108, "", 5},
    };
    int y = 4;
    for (const auto& row : parameters) {
        label(page, QString::fromLatin1(row.label), row.tag, QRect(4, y, 118, kEditHeight));
        edit(page, QString::fromLatin1(row.edit), QRect(122, y, 48, kEditHeight), true);
        y += 27;
    }
    for (const auto& unit : units) {
        QLabel* shown = label(page, QString::fromLatin1(unit.name), unit.tag, QRect(172, 4 + unit.row * 27, 68, kEditHeight));
        if (!unit.tag)
            shown->setText(QString::fromUtf8(unit.text));
    }
    button(page, QStringLiteral("btnStart"), 29, QRect(4, 170, 84, 26));
    button(page, QStringLiteral("btnStop"), 30, QRect(90, 170, 84, 26));

    // Where the run stands, and per cell: its substance and trend, its latest rate, what its
    // time is, and when it is measured next.
    QWidget* cells = group(page, QStringLiteral("groupCells"), 348, QRect(242, 2, 266, 242));
    label(cells, QStringLiteral("lblProgress"), 0, QRect(6, 15, 170, 15));
    QLabel* position = label(cells, QStringLiteral("lblPosition"), 0, QRect(176, 15, 84, 15), kRight);
    label(cells, QStringLiteral("lblCycle"), 0, QRect(6, 29, 254, 15));
    QFont bold = position->font();
    bold.setBold(true);
    position->setFont(bold);
    label(cells, QStringLiteral("lblRunEnd"), 0, QRect(6, 43, 254, 15));
    for (int cell = 1; cell <= 3; ++cell) {
        const int rowY = 62 + (cell - 1) * 59;
        label(cells, QStringLiteral("lblCellName%1").arg(cell), 33 + cell, QRect(6, rowY, 56, 15))->setFont(bold);
        label(cells, QStringLiteral("lblInfoSample%1").arg(cell), 0, QRect(64, rowY, 108, 15));
        label(cells, QStringLiteral("lblCellTrend%1").arg(cell), 0, QRect(174, rowY, 86, 15), kRight);
        label(cells, QStringLiteral("lblCellRate%1").arg(cell), 0, QRect(6, rowY + 14, 254, 15));
        label(cells, QStringLiteral("lblRunToBreak%1").arg(cell), 39, QRect(6, rowY + 28, 254, 15));
        label(cells, QStringLiteral("lblCellNext%1").arg(cell), 0, QRect(6, rowY + 42, 254, 15));
    }

    label(page, QStringLiteral("lblStartrun"), 0, QRect(512, 186, 238, 18));
    QLabel* runtime = label(page, QStringLiteral("lblRuntime"), 98, QRect(512, 202, 238, 42));
    QFont large = runtime->font();
    large.setPointSize(20);
    large.setBold(true);
    runtime->setFont(large);

    QWidget* delay = group(page, QStringLiteral("groupDelay"), 97, QRect(754, 180, 252, 64));
    edit(delay, QStringLiteral("editStartdelay"), QRect(6, 24, 56, kEditHeight), true)
        ->setText(QStringLiteral("hh:mm"));
    label(delay, QStringLiteral("lblDelay"), 0, QRect(66, 24, 60, kEditHeight), Qt::AlignCenter);
    button(delay, QStringLiteral("btnDelay"), 87, QRect(130, 22, 116, 26));

    QWidget* status = group(page, QStringLiteral("groupStatus"), 40, QRect(512, 2, 238, 182));
    const auto ledAt = [](int column, int row) {
        // The last column holds the Events and Storage lamps, whose captions are the longest.
        return column < 3 ? QRect(6 + column * 55, 18 + row * 20, 54, 17) : QRect(172, 18 + row * 20, 62, 17);
    };
    led(status, QStringLiteral("ledZero"), 31, ledAt(0, 1), TLedColor::Green, false);
    led(status, QStringLiteral("ledPower"), 37, ledAt(0, 0), TLedColor::Green, false);
    led(status, QStringLiteral("ledCalgas"), 32, ledAt(1, 1), TLedColor::Green, false);
    led(status, QStringLiteral("ledCalcell"), 33, ledAt(2, 1), TLedColor::Green, false);
    for (int cell = 1; cell <= 3; ++cell)
        led(status, QStringLiteral("ledSample%1").arg(cell), 33 + cell, ledAt(cell - 1, 2),
            TLedColor::Green, false);
    led(status, QStringLiteral("ledLoop"), 38, ledAt(1, 0), TLedColor::Yellow, true);
    // Lit from the first event that touched the data until the event list is opened (a click).
    led(status, QStringLiteral("ledWarning"), 143, ledAt(3, 0), TLedColor::Red, true);
    // Lit while a row, raw-data file or journal line does not reach its file (or the disk does
    // not answer); the line below says which file, since when, how much waits and where it is
    // kept. A click opens the event list.
    led(status, QStringLiteral("ledStorage"), 168, ledAt(3, 1), TLedColor::Red, true);
    for (int cell = 1; cell <= 3; ++cell)
        led(status, QStringLiteral("ledSmpOff%1").arg(cell), 26, ledAt(cell - 1, 3), TLedColor::Red,
            false);
    // Beside the cells' lamps: whether a broken cell is measured on, and its curves.
    checkBox(status, QStringLiteral("chkboxKeepMeasuring"), 122, QRect(6, 97, 226, 20));
    button(status, QStringLiteral("btnPermeation"), 123, QRect(6, 118, 120, 22));
    // Past tests: the archive's own window.
    button(status, QStringLiteral("btnArchive"), 349, QRect(130, 118, 102, 22));
    QLabel* storage = label(status, QStringLiteral("lblStorage"), 0, QRect(6, 142, 226, 15));
    QFont small = storage->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    small.setBold(true);
    storage->setFont(small);
    storage->setStyleSheet(QStringLiteral("color: #b00000"));
    // On the chart's top left corner: the whole curves once, and back to the configured axes.
    button(m_chart, QStringLiteral("btnChartFit"), 145, QRect(4, 4, 72, 22));
    button(m_chart, QStringLiteral("btnChartAxes"), 146, QRect(80, 4, 72, 22));
    auto* statusLine = add<QStatusBar>(status, QStringLiteral("statusbarRun"),
                                       ControlKind::StatusBar, 0, QRect(4, 156, 230, 22));
    statusLine->setSizeGripEnabled(false);

    QWidget* calib = group(page, QStringLiteral("groupCalib"), 52, QRect(754, 2, 252, 176));
    const struct {
        const char* info;
        int infoTag;
        const char* factor;
        const char* amount;
        const char* check;
        const char* menge;
        const char* result;
        int x;
    } detectors[] = {
        {"lblFIDCalInfo", 7, "lblFIDCalFactor", "editIsobutan", "chkboxIsobutanCalib",
         "lblFIDMenge", "lblFIDInfo", 6},
        {"lblFPDCALInfo", 8, "lblFPDCalFactor", "editSulfur", "chkboxSulfurCalib", "lblFPDMenge",
         "lblFPDInfo", 128},
    };
    for (const auto& detector : detectors) {
        const int x = detector.x;
        label(calib, QString::fromLatin1(detector.info), detector.infoTag, QRect(x, 16, 118, 18));
        edit(calib, QString::fromLatin1(detector.amount), QRect(x, 36, 60, kEditHeight), true);
        label(calib, QString::fromLatin1(detector.factor), 0, QRect(x + 64, 36, 54, kEditHeight));
        checkBox(calib, QString::fromLatin1(detector.check), 44, QRect(x, 62, 118, 20));
        label(calib, QString::fromLatin1(detector.menge), 45, QRect(x, 88, 118, 18));
        label(calib, QString::fromLatin1(detector.result), 119, QRect(x, 110, 118, 18));
    }
}

// ---- configuration and service page
// ---------------------------------------------------------------

void TForm1::buildSettingsPage(QWidget* page) {
    page->setAutoFillBackground(true);
    QPalette windowColoured = page->palette();
    windowColoured.setColor(QPalette::Window, windowColoured.color(QPalette::Base));
    page->setPalette(windowColoured);

    m_log = add<QPlainTextEdit>(page, QStringLiteral("LMDMemo1"), ControlKind::Memo, 0,
                                QRect(4, 4, 150, 132));
    m_log->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_log->setLineWrapMode(QPlainTextEdit::NoWrap);
    connect(m_log, &QPlainTextEdit::textChanged, this, &TForm1::trimLog);
    edit(page, QStringLiteral("LMDEdit1"), QRect(4, 140, 86, kEditHeight));
    button(page, QStringLiteral("ServiceButton"), 0, QRect(92, 139, 62, kButtonHeight),
           QStringLiteral("Service"));

    // One group per setpoint: actual value, on/off toggle, set value, Set button.
    const struct {
        const char* group;
        int tag;
        const char* actual;
        const char* toggle;
        int groupIndex;
        const char* setValue;
        const char* set;
        bool setValueHasExit;
    } setpoints[] = {
        {"groupboxVentilblock", 13, "lblVentilblock", "btnVentilblockAn", 5, "editVentilblock",
         "btnVentilblockSet", true},
        {"groupboxMesskammer", 14, "lblMesskammer", "btnMesskammerAn", 4, "editMesskammer",
         "btnMesskammerSet", false},
        {"groupFPD", 15, "lblEmmision", "btnEmmisionAn", 1, "editEmmision", "btnEmmisionSet",
         false},
        {"groupTransferline", 16, "lblTransfer", "btnTransferAn", 2, "editTransfer",
         "btnTransferSet", false},
        {"groupZero", 19, "lblZero", nullptr, 0, "editZero", "btnZeroSet", false},
        {"groupHVoltage", 17, "lblHVoltage", "btnHVoltageAn", 3, "editHvoltage", "btnHVoltageSet",
         false},
    };
    for (int i = 0; i < 6; ++i) {
        const auto& setpoint = setpoints[i];
        const QRect frame(160 + (i % 3) * 196, 2 + (i / 3) * 56, 192, 54);
        QWidget* box = group(page, QString::fromLatin1(setpoint.group), setpoint.tag, frame);
        label(box, QString::fromLatin1(setpoint.actual), 0, QRect(4, 24, 48, kEditHeight), kRight);
        if (setpoint.toggle)
            toggle(box, QString::fromLatin1(setpoint.toggle), 23, QRect(56, 23, 36, kButtonHeight),
                   setpoint.groupIndex);
        edit(box, QString::fromLatin1(setpoint.setValue), QRect(96, 24, 38, kEditHeight),
             setpoint.setValueHasExit)
            ->setAlignment(kRight);
        button(box, QString::fromLatin1(setpoint.set), 22, QRect(138, 23, 34, kButtonHeight));
    }
    control(QStringLiteral("btnVentilblockAn"))->setEnabled(false);
    control(QStringLiteral("btnMesskammerAn"))->setEnabled(false);

    const struct {
        const char* group;
        int tag;
        int bank;
        const char* captions[6];
        int x;
    } banks[] = {
        {"LMDGroupBox2", 41, 1, {"V11", "V12", "V13", "V14", "V15", "V16"}, 160},
        {"LMDGroupBox3", 42, 2, {"V17", "V2", "V3", "V4", "V5", "V6"}, 356},
    };
    for (const auto& bank : banks) {
        QWidget* box =
            group(page, QString::fromLatin1(bank.group), bank.tag, QRect(bank.x, 114, 192, 50));
        for (int valve = 0; valve < 6; ++valve)
            led(box, QStringLiteral("ledV%1_%2").arg(bank.bank).arg(valve), 0,
                QRect(6 + valve * 30, 22, 29, 18), TLedColor::Green, true,
                QString::fromLatin1(bank.captions[valve]));
    }

    auto* standard = add<QGroupBox>(page, QStringLiteral("rgStandard"), ControlKind::RadioGroup, 11,
                                    QRect(552, 112, 192, 54));
    standard->setTitle(QStringLiteral("rgStandard"));
    auto* items = new QButtonGroup(standard);
    for (int item = 0; item < 2; ++item) {
        auto* radio = new QRadioButton(standard);
        radio->setObjectName(QStringLiteral("rgStandard_Item%1").arg(item));
        radio->setGeometry(8, 16 + item * 18, 180, 18);
        items->addButton(radio, item);
    }
    m_radioItems.insert(standard, items);
    // Toggled covers mouse and keyboard picks; setItemIndex raises the guard so a selection
    // made by code never runs the standard's action.
    connect(items, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked && !m_settingItemIndex)
            emit standardPicked(id);
    });

    auto* connectionLabel = new QLabel(QStringLiteral("COM Ports"), page);
    connectionLabel->setObjectName(QStringLiteral("clBoxConnection_Label"));
    connectionLabel->setGeometry(750, 2, 150, 16);
    button(page, QStringLiteral("btnPorts"), 324, QRect(902, 0, 100, 18));
    auto* connections = new QListWidget(page);
    connections->setGeometry(750, 18, 252, 40);
    connections->setSelectionMode(QAbstractItemView::NoSelection);
    connections->setFocusPolicy(Qt::NoFocus);
    registerControl(connections, QStringLiteral("clBoxConnection"), ControlKind::CheckListBox, 0,
                    connectionLabel);
    setConnectionItem(0, QStringLiteral("COM1"), false);
    setConnectionItem(1, QStringLiteral("COM2"), false);

    QWidget* view = group(page, QStringLiteral("groupView"), 56, QRect(750, 58, 252, 108));
    const struct {
        const char* label;
        int tag;
        const char* edit;
        bool isSetting; // an axis limit the operator types, not a live reading
    } viewRows[] = {
        {"lblScale", 43, "editScale", true},
        {"lblScaleMin", 93, "editScaleMin", true},
        {"lblFIDLevel", 53, "editFIDLevel", false},
        {"lblFPDLevel", 54, "editFPDLevel", false},
    };
    int y = 16;
    for (const auto& row : viewRows) {
        label(view, QString::fromLatin1(row.label), row.tag, QRect(4, y, 100, kEditHeight));
        QLineEdit* value = edit(view, QString::fromLatin1(row.edit), QRect(104, y, 46, kEditHeight),
                                row.isSetting);
        value->setReadOnly(!row.isSetting);
        y += 22;
    }
    button(view, QStringLiteral("btnMonitor"), 55, QRect(154, 16, 94, 44));
}

// ---- factors page
// ---------------------------------------------------------------------------------

void TForm1::buildFactorsPage(QWidget* page) {
    m_exitPages << page;

    const struct {
        const char* name;
        int tag;
        int x;
        int keyWidth;
        int valueWidth;
        const char* designed;
    } grids[] = {
        {"ValueListEditor1", 115, 4, 138, 96, "Aceton=2,05"},
        {"ValueListEditor2", 117, 246, 150, 84, "THT=1,00"},
    };
    for (const auto& grid : grids) {
        auto* editor = add<ValueListEditor>(
            page, QString::fromLatin1(grid.name), ControlKind::ValueListEditor, grid.tag,
            QRect(grid.x, 4, grid.keyWidth + grid.valueWidth + 4, 160));
        editor->setColumnWidth(0, grid.keyWidth);
        editor->setColumnWidth(1, grid.valueWidth);
        editor->setLines({QString::fromLatin1(grid.designed)});
    }

    QWidget* factors = group(page, QStringLiteral("groupboxFactors"), 95, QRect(490, 2, 474, 162));
    label(factors, QStringLiteral("LMDLabel1"), 109, QRect(8, 16, 140, 18));
    label(factors, QStringLiteral("LMDLabel2"), 110, QRect(160, 16, 144, 18), kRight);
    label(factors, QStringLiteral("lmdlblFLOW"), 111, QRect(318, 16, 150, 18));

    // FID factors carry their substance on the right, FPD factors on the left, so the two
    // names meet in the middle of the group.
    const char* fid[] = {"lbleditFIDCalFact", "lblEditFact1", "lblEditFact2", "lblEditFact3"};
    const char* fpd[] = {"lbleditFPDCalFact", "lbleditFPDFact1", "lblEditFPDFact2",
                         "lblEditFPDFact3"};
    const char* flows[] = {"editCalFlow", "editSampleFlow1", "editSampleFlow2", "editSampleFlow3"};
    for (int row = 0; row < 4; ++row) {
        const int rowY = 36 + row * 30;
        QLineEdit* fidEdit =
            labelledEdit(factors, QString::fromLatin1(fid[row]), QRect(8, rowY, 54, kEditHeight),
                         QRect(66, rowY, 90, kEditHeight), kLeft);
        QLineEdit* fpdEdit =
            labelledEdit(factors, QString::fromLatin1(fpd[row]), QRect(250, rowY, 54, kEditHeight),
                         QRect(156, rowY, 90, kEditHeight), kRight);
        for (QLineEdit* factor : {fidEdit, fpdEdit}) {
            factor->setAcceptDrops(true);
            factor->installEventFilter(this);
            m_factorEdits << factor;
        }
        edit(factors, QString::fromLatin1(flows[row]), QRect(318, rowY, 60, kEditHeight));
    }
}

// ---- sample info page
// -----------------------------------------------------------------------------

void TForm1::buildSampleInfoPage(QWidget* page) {
    label(page, QStringLiteral("lblDateiname"), 0, QRect(130, 7, 460, 18));
    auto* rawDataName = add<QLabel>(page, QStringLiteral("lblRawDataName"),
                                    ControlKind::PlatformLabel, 0, QRect(130, 133, 460, 18));
    rawDataName->setTextFormat(Qt::PlainText);
    button(page, QStringLiteral("btnSpeichern"), 48, QRect(4, 4, 120, 26));
    // The sample names, each labelled with its cell ("Zelle 1", as its lamp reads).
    for (int cell = 1; cell <= 3; ++cell)
        label(page, QStringLiteral("lblInfoCell%1").arg(cell), 33 + cell, QRect(4, 14 + 26 * cell, 56, kEditHeight));
    edit(page, QStringLiteral("editInfo1"), QRect(62, 40, 250, kEditHeight), true);
    edit(page, QStringLiteral("editInfo2"), QRect(62, 66, 250, kEditHeight), true)
        ->setProperty("Tag", 94);
    edit(page, QStringLiteral("editInfo3"), QRect(62, 92, 250, kEditHeight), true);
    // Beside the sample names, clear of the report button: when the chemical met each specimen,
    // in minutes before Start (the figures count from it).
    label(page, QStringLiteral("lblContact"), 160, QRect(442, 25, 156, 15));
    for (int cell = 1; cell <= 3; ++cell)
        edit(page, QStringLiteral("editContact%1").arg(cell), QRect(442, 14 + 26 * cell, 60, kEditHeight), true);

    auto* descriptionLabel = new QLabel(page);
    descriptionLabel->setObjectName(QStringLiteral("memoDescription_Label"));
    descriptionLabel->setTextFormat(Qt::PlainText);
    descriptionLabel->setGeometry(600, 2, 360, 16);
    descriptionLabel->setText(QStringLiteral("memoDescription"));
    m_description = new QPlainTextEdit(page);
    m_description->setGeometry(600, 18, 360, 146);
    m_description->setLineWrapMode(QPlainTextEdit::NoWrap);
    registerControl(m_description, QStringLiteral("memoDescription"), ControlKind::LabelledMemo, 51,
                    descriptionLabel);
    setText(QStringLiteral("memoDescription"),
            QStringLiteral("Zeile 1\r\nZeile 2\r\nZeile 3\r\nZeile 4\r\nZeile 5\r\n"));
    m_description->installEventFilter(this);
    m_exitEdits.insert(m_description, QStringLiteral("memoDescription"));
    connect(m_description, &QPlainTextEdit::textChanged, this, [this] {
        const QString name = QStringLiteral("memoDescription");
        emit edited(name, text(name));
    });

    button(page, QStringLiteral("btnLaden"), 0, QRect(4, 130, 120, 26));
    // The test report of the chosen results file, as a PDF beside it.
    button(page, QStringLiteral("btnBericht"), 144, QRect(318, 40, 120, 26));
}

} // namespace korvat
