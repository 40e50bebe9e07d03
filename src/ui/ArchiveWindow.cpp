#include "ui/ArchiveWindow.h"

#include "shell/StringTable.h"
#include "ui/PermeationView.h"
#include "ui/TestReport.h"
#include "util/Dialogs.h"

#include <QCheckBox>
#include <algorithm>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSplitter>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>
#include <qcustomplot.h>

namespace korvat {

namespace {

// Window texts (the string table's numbers).
enum Text {
    kTitle = 349, kChemical, kMaterial, kInstrument, kFrom, kTo, kSearch, kOpen, kOverlayButton, kReport,
    kDate, kTest, kMaterials, kBreakthrough, kLevel, kUnreachable, kTestCount, kAsking, kReportWritten,
    kReportNotWritten, kTestTime, kRate, kNoneSelected, kOverlayTab, kCells = 348
};

// One colour per test, told apart also by the colour-blind (the permeation view's three first).
const QColor kTestColours[] = {QColor(0, 114, 178),  QColor(213, 94, 0),  QColor(0, 158, 115), QColor(204, 121, 167),
                               QColor(230, 159, 0), QColor(86, 180, 233), QColor(120, 120, 120), QColor(0, 0, 0)};
// A test's cells share its colour; their points tell them apart.
const QCPScatterStyle::ScatterShape kCellShapes[] = {QCPScatterStyle::ssCircle, QCPScatterStyle::ssSquare,
                                                     QCPScatterStyle::ssTriangle};

} // namespace

ArchiveWindow::ArchiveWindow(QWidget* owner, const QString& where, Dialogs& dialogs, int offset)
    : QWidget(owner, Qt::Window), m_dialogs(dialogs), m_offset(offset == kEnglishOffset ? kEnglishOffset : kGermanOffset),
      m_session(std::make_unique<ArchiveSession>(where)) {
    setObjectName(QStringLiteral("ArchiveWindow"));
    setWindowTitle(T(kTitle));
    resize(1100, 760);

    auto combo = [this](const QString& name) {
        auto* box = new QComboBox(this);
        box->setObjectName(name);
        box->setEditable(true);
        box->setInsertPolicy(QComboBox::NoInsert);
        box->setMinimumWidth(140);
        connect(box->lineEdit(), &QLineEdit::returnPressed, this, &ArchiveWindow::search);
        return box;
    };
    auto date = [this](const QString& name, const QDate& value) {
        auto* edit = new QDateEdit(value, this);
        edit->setObjectName(name);
        edit->setCalendarPopup(true);
        edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
        edit->setEnabled(false);
        return edit;
    };
    auto check = [this](const QString& name, int text, QDateEdit* edit) {
        auto* box = new QCheckBox(T(text), this);
        box->setObjectName(name);
        connect(box, &QCheckBox::toggled, edit, &QWidget::setEnabled);
        return box;
    };
    auto button = [this](const QString& name, int text, void (ArchiveWindow::*slot)()) {
        auto* b = new QPushButton(T(text), this);
        b->setObjectName(name);
        connect(b, &QPushButton::clicked, this, slot);
        return b;
    };

    m_chemical = combo(QStringLiteral("cmbArchiveChemical"));
    m_material = combo(QStringLiteral("cmbArchiveMaterial"));
    m_instrument = combo(QStringLiteral("cmbArchiveInstrument"));
    const QDate today = QDate::currentDate();
    m_from = date(QStringLiteral("dateArchiveFrom"), today.addMonths(-3));
    m_to = date(QStringLiteral("dateArchiveTo"), today);
    m_fromOn = check(QStringLiteral("chkboxArchiveFrom"), kFrom, m_from);
    m_toOn = check(QStringLiteral("chkboxArchiveTo"), kTo, m_to);

    auto* filters = new QHBoxLayout;
    for (const auto& [text, box] : {std::pair{kChemical, m_chemical}, {kMaterial, m_material}, {kInstrument, m_instrument}}) {
        filters->addWidget(new QLabel(T(text), this));
        filters->addWidget(box, 1);
    }
    filters->addWidget(m_fromOn);
    filters->addWidget(m_from);
    filters->addWidget(m_toOn);
    filters->addWidget(m_to);
    filters->addWidget(button(QStringLiteral("btnArchiveSearch"), kSearch, &ArchiveWindow::search));

    m_list = new QTableWidget(0, kColumnCount, this);
    m_list->setObjectName(QStringLiteral("tableArchive"));
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setAlternatingRowColors(true);
    m_list->setWordWrap(false);
    m_list->verticalHeader()->setVisible(false);
    m_list->horizontalHeader()->setStretchLastSection(true);
    m_list->setHorizontalHeaderLabels({T(kDate), T(kInstrument).remove(QLatin1Char(':')), T(kTest),
                                       T(kChemical).remove(QLatin1Char(':')), T(kMaterials), T(kCells),
                                       T(kBreakthrough), T(kLevel)});
    connect(m_list, &QTableWidget::cellDoubleClicked, this, [this] { openSelected(); });

    // The permeation view's own drawing and table, inside this window.
    m_view = new PermeationView(this);
    m_view->setWindowFlags(Qt::Widget);
    m_view->translate(m_offset);

    m_overlay = new QCustomPlot(this);
    m_overlay->setObjectName(QStringLiteral("chartArchiveOverlay"));
    m_overlay->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    m_overlay->legend->setVisible(true);
    m_overlay->xAxis->setLabel(T(kTestTime));
    m_overlay->yAxis->setLabel(T(kRate));

    // Rates of gloves side by side span decades: logarithmic unless asked otherwise.
    m_overlayLog = new QCheckBox(LoadLangText(m_offset, 127), this);
    m_overlayLog->setObjectName(QStringLiteral("chkboxArchiveLogarithmic"));
    m_overlayLog->setChecked(true);
    connect(m_overlayLog, &QCheckBox::toggled, this, [this] { showOverlay(std::vector<ArchivedTest>(m_overlaid)); });
    auto* overlayPage = new QWidget(this);
    auto* overlayLayout = new QVBoxLayout(overlayPage);
    overlayLayout->setContentsMargins(0, 0, 0, 0);
    overlayLayout->addWidget(m_overlayLog);
    overlayLayout->addWidget(m_overlay, 1);

    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("tabsArchive"));
    m_tabs->addTab(m_view, T(kTest));
    m_tabs->addTab(overlayPage, T(kOverlayTab));

    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->setChildrenCollapsible(false);
    splitter->addWidget(m_list);
    splitter->addWidget(m_tabs);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 3);

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("lblArchiveStatus"));
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* actions = new QHBoxLayout;
    actions->addWidget(button(QStringLiteral("btnArchiveOpen"), kOpen, &ArchiveWindow::openSelected));
    actions->addWidget(button(QStringLiteral("btnArchiveOverlay"), kOverlayButton, &ArchiveWindow::overlaySelected));
    actions->addWidget(button(QStringLiteral("btnArchiveReport"), kReport, &ArchiveWindow::reportSelected));
    actions->addWidget(m_status, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(splitter, 1);
    layout->addLayout(actions);
}

ArchiveWindow::~ArchiveWindow() = default;

QString ArchiveWindow::T(int n) const { return LoadLangText(m_offset, n); }

QString ArchiveWindow::statusText() const { return m_status->text(); }

void ArchiveWindow::setStatus(const QString& text) {
    m_status->setText(text);
    m_status->setToolTip(text);
}

void ArchiveWindow::unreachable(const QString& error) { setStatus(T(kUnreachable).arg(error.simplified())); }

void ArchiveWindow::open() {
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
    if (!m_listedOnce)
        search();
}

ArchiveFilter ArchiveWindow::filter() const {
    ArchiveFilter f;
    f.chemical = m_chemical->currentText().trimmed();
    f.material = m_material->currentText().trimmed();
    f.serial = m_instrument->currentText().trimmed();
    // Whole days in local time: "to" takes in the day it names.
    if (m_fromOn->isChecked())
        f.since = m_from->date().startOfDay();
    if (m_toOn->isChecked())
        f.until = m_to->date().addDays(1).startOfDay();
    return f;
}

void ArchiveWindow::search() {
    m_listedOnce = true;
    const quint64 asked = ++m_listAsked;
    ++m_waiting;
    setStatus(T(kAsking));
    m_session->list(filter(), this, [this, asked](const ArchiveListAnswer& answer) {
        --m_waiting;
        if (asked != m_listAsked)
            return;
        showList(answer);
    });
}

void ArchiveWindow::refill(QComboBox* box, const QStringList& names) {
    const QString kept = box->currentText();
    box->blockSignals(true);
    box->clear();
    box->addItem(QString());
    box->addItems(names);
    box->setCurrentText(kept);
    box->blockSignals(false);
}

void ArchiveWindow::showList(const ArchiveListAnswer& answer) {
    if (!answer.ok)
        return unreachable(answer.error);
    refill(m_chemical, answer.chemicals);
    refill(m_material, answer.materials);
    refill(m_instrument, answer.instruments);
    m_tests = answer.tests;
    // Newest first: the test just finished is the one looked for most.
    std::reverse(m_tests.begin(), m_tests.end());
    const QLocale locale = m_offset == kEnglishOffset ? QLocale::c() : QLocale(QLocale::German, QLocale::Germany);
    m_list->setRowCount(0);
    m_list->setRowCount(int(m_tests.size()));
    for (int row = 0; row < int(m_tests.size()); ++row) {
        const TestListing& t = m_tests[std::size_t(row)];
        QString breakthrough, level;
        if (t.lowestBt10)
            breakthrough = locale.toString(*t.lowestBt10, 'f', 1);
        else if (t.heldMinutes)
            breakthrough = QStringLiteral("> ") + locale.toString(*t.heldMinutes, 'f', 1);
        // The weakest cell's own level: it also knows a breakthrough before the first measurement.
        level = t.levelText;
        level.replace(QStringLiteral(">= "), QStringLiteral("\u2265 ")).replace(QStringLiteral(">="), QStringLiteral("\u2265 "));
        level.replace(QLatin1Char('-'), QChar(0x2013));
        const QString texts[kColumnCount] = {
            t.started.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")),
            t.instrument,
            testNameOf(t.resultsFile, t.fileRun),
            t.chemicals.join(QStringLiteral(", ")),
            t.materials.join(QStringLiteral(", ")),
            QString::number(t.cells),
            breakthrough,
            level,
        };
        for (int column = 0; column < kColumnCount; ++column) {
            auto* item = new QTableWidgetItem(texts[column]);
            if (column == TestColumn)
                item->setToolTip(t.resultsFile + QStringLiteral("\n") + t.testId);
            m_list->setItem(row, column, item);
        }
    }
    m_list->resizeColumnsToContents();
    setStatus(T(kTestCount).arg(m_tests.size()));
}

QStringList ArchiveWindow::selectedIds() const {
    QList<int> rows;
    for (const QModelIndex& index : m_list->selectionModel()->selectedRows())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    QStringList ids;
    for (int row : rows)
        if (row >= 0 && row < int(m_tests.size()))
            ids << m_tests[std::size_t(row)].testId;
    return ids;
}

// The selected tests (or the first of them) loaded off this thread, then `show`n; the window stays
// usable meanwhile and says when the archive cannot be reached.
void ArchiveWindow::loadSelected(bool all, const std::function<void(const std::vector<ArchivedTest>&)>& show) {
    const QStringList ids = selectedIds();
    if (ids.isEmpty())
        return setStatus(T(kNoneSelected));
    ++m_waiting;
    setStatus(T(kAsking));
    m_session->load(all ? ids : QStringList{ids.front()}, this, [this, show](const ArchiveLoadAnswer& answer) {
        --m_waiting;
        if (!answer.ok)
            return unreachable(answer.error);
        if (!answer.tests.empty())
            show(answer.tests);
    });
}

void ArchiveWindow::openSelected() {
    loadSelected(false, [this](const std::vector<ArchivedTest>& tests) { showTest(tests.front()); });
}

void ArchiveWindow::showTest(const ArchivedTest& test) {
    m_view->showSummaries(summariesOf(test));
    m_view->showWholeTest();
    m_tabs->setCurrentWidget(m_view);
    setStatus(overlayLabelOf(test) + QStringLiteral("  ") + test.started.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")) +
              QStringLiteral("  ") + test.instrument);
}

void ArchiveWindow::overlaySelected() {
    loadSelected(true, [this](const std::vector<ArchivedTest>& tests) { showOverlay(tests); });
}

void ArchiveWindow::showOverlay(const std::vector<ArchivedTest>& tests) {
    m_overlaid = tests;
    const bool logarithmic = m_overlayLog->isChecked();
    m_overlay->yAxis->setScaleType(logarithmic ? QCPAxis::stLogarithmic : QCPAxis::stLinear);
    if (logarithmic)
        m_overlay->yAxis->setTicker(QSharedPointer<QCPAxisTickerLog>::create());
    else
        m_overlay->yAxis->setTicker(QSharedPointer<QCPAxisTicker>::create());
    m_overlay->clearGraphs();
    m_overlay->clearItems();
    int shown = -1;
    for (const OverlayCurve& c : overlayCurves(tests)) {
        QCPGraph* g = m_overlay->addGraph();
        const QColor colour = kTestColours[std::size_t(c.test) % std::size(kTestColours)];
        g->setPen(QPen(colour, 1.6));
        g->setScatterStyle(QCPScatterStyle(kCellShapes[std::size_t(std::max(0, c.cell - 1)) % 3], colour, 5));
        g->setName(c.label);
        QVector<double> x, y;
        for (const RatePoint& p : c.points) {
            // No place for a rate of 0 on a logarithmic axis (as in the permeation view).
            if (logarithmic && p.rate <= 0)
                continue;
            x << p.minutes;
            y << p.rate;
        }
        g->setData(x, y, true);
        // One legend line per test.
        if (c.test == shown)
            g->removeFromLegend();
        shown = c.test;
    }
    // The breakthrough rate EN 16523-1 times to, as in the permeation view.
    auto* line = new QCPItemStraightLine(m_overlay);
    line->point1->setCoords(0, kEnThreshold);
    line->point2->setCoords(1, kEnThreshold);
    line->setPen(QPen(QColor(80, 80, 80), 1, Qt::DashDotLine));
    m_overlay->rescaleAxes();
    const QCPRange rates = m_overlay->yAxis->range();
    if (logarithmic)
        m_overlay->yAxis->setRange(std::min(rates.lower, kAstmThreshold) / 2, std::max(rates.upper, kEnThreshold) * 2);
    else
        m_overlay->yAxis->setRange(0, std::max(rates.upper, kEnThreshold) * 1.1);
    m_overlay->replot();
    m_tabs->setCurrentWidget(m_overlay->parentWidget());
    QStringList labels;
    for (const ArchivedTest& t : tests)
        labels << overlayLabelOf(t);
    setStatus(labels.join(QStringLiteral("  |  ")));
}

void ArchiveWindow::reportSelected() {
    loadSelected(false, [this](const std::vector<ArchivedTest>& tests) { writeReport(tests.front()); });
}

void ArchiveWindow::writeReport(const ArchivedTest& test) {
    // Beside the results file when its folder is on this PC, else in the user's documents.
    const QFileInfo results(test.resultsFile);
    const QString folder = results.isAbsolute() && results.absoluteDir().exists()
                               ? results.absolutePath()
                               : QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString suggested =
        QDir(folder).filePath(QFileInfo(defaultReportPath(QStringLiteral("/") + testNameOf(test.resultsFile, 1) +
                                                              QStringLiteral(".csv"),
                                                          test.fileRun))
                                  .fileName());
    const QString pdf = m_dialogs.saveFileName(suggested, QStringLiteral("PDF (*.pdf)"));
    if (pdf.isEmpty())
        return setStatus(QString());
    const ReportData data = archivedReportData(test, m_offset);
    QString error = data.error;
    if (!data.ok || !writeTestReport(data, pdf, &error))
        return setStatus(T(kReportNotWritten).arg(error));
    setStatus(T(kReportWritten).arg(pdf));
}

} // namespace korvat
