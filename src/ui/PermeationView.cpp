#include "ui/PermeationView.h"

#include "ui/CellColours.h"

#include "shell/StringTable.h"
#include "util/NumberText.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QScrollBar>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>
#include <qcustomplot.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace korvat {

const QString PermeationView::kNoFigure = QStringLiteral("\u2013");

namespace {

constexpr std::array<double, 2> kThresholds = {kAstmThreshold, kEnThreshold};
constexpr int kDefaultWidth = 1000;
constexpr int kDefaultHeight = 700;

int slotOf(int cell, Detector d) { return (cell - 1) * 2 + (d == Detector::FPD ? 1 : 0); }
int cellOf(int slot) { return slot / 2 + 1; }
Detector detectorOf(int slot) { return slot % 2 ? Detector::FPD : Detector::FID; }
bool validCell(int cell) { return cell >= 1 && cell <= 3; }

// Where the curve crossed a threshold: the interpolated crossing. A crossing before the first
// measurement has no place on the curve (only its bracket is known) and gets no diamond.
std::optional<double> crossingOf(const Breakthrough& b) { return b.interpolated; }

// The figures in the order of the curves (cell 1 FID, cell 1 FPD, cell 2 FID …), one per slot.
std::array<const CellSummary*, 6> bySlot(const std::vector<CellSummary>& summaries) {
    std::array<const CellSummary*, 6> out{};
    for (const CellSummary& s : summaries) {
        if (validCell(s.cell))
            out[slotOf(s.cell, s.detector)] = &s;
    }
    return out;
}

// A measurement's mark drawn once into a pixmap: thousands of marks are then copies of it rather
// than shapes stroked one by one, which cost the chart ten times what its curves cost.
QCPScatterStyle drawnOnce(const QCPScatterStyle& shape) {
    const int side = static_cast<int>(std::ceil(shape.size())) + 3;
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QCPPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    shape.applyTo(&painter, shape.pen());
    shape.drawShape(&painter, side / 2.0, side / 2.0);
    painter.end();
    return QCPScatterStyle(pixmap);
}

QString fixed(double value, int decimals) { return formatFixed(value, 12, decimals); }

// A column head over short lines, so fifteen columns fit a window: words joined up to
// kHeadLineLength characters a line, and the unit in brackets on a line of its own.
constexpr int kHeadLineLength = 15;
QString headLines(const QString& text) {
    QStringList lines;
    for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const bool unit = word.startsWith(QLatin1Char('('));
        if (!lines.isEmpty() && !unit && lines.last().size() + 1 + word.size() <= kHeadLineLength)
            lines.last() += QLatin1Char(' ') + word;
        else
            lines << word;
    }
    return lines.join(QLatin1Char('\n'));
}

// The columns whose "–" means a figure the test has not reached yet.
bool reachable(int column) {
    return column == PermeationView::Bt01FirstColumn || column == PermeationView::Bt01Column ||
           column == PermeationView::Bt10FirstColumn || column == PermeationView::Bt10Column ||
           column == PermeationView::SteadyStateColumn;
}

} // namespace

PermeationView::PermeationView(QWidget* owner) : QWidget(owner, Qt::Window) {
    setObjectName(QStringLiteral("PermeationView"));
    resize(kDefaultWidth, kDefaultHeight);

    m_logSwitch = new QCheckBox(this);
    m_logSwitch->setObjectName(QStringLiteral("chkboxLogarithmic"));
    m_cumulativeSwitch = new QCheckBox(this);
    m_cumulativeSwitch->setObjectName(QStringLiteral("chkboxCumulative"));
    connect(m_logSwitch, &QCheckBox::toggled, this, &PermeationView::setLogarithmic);
    connect(m_cumulativeSwitch, &QCheckBox::toggled, this, &PermeationView::setCumulativeShown);

    m_plot = new QCustomPlot(this);
    m_plot->setObjectName(QStringLiteral("chartPermeation"));
    m_plot->setMinimumHeight(240);
    m_plot->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    m_plot->axisRect()->setRangeDrag(Qt::Horizontal | Qt::Vertical);
    m_plot->axisRect()->setRangeZoom(Qt::Horizontal | Qt::Vertical);
    m_plot->setNoAntialiasingOnDrag(true);
    m_plot->yAxis2->setVisible(false);
    // The legend beside the chart rather than over it: with six curves it would hide a corner of
    // the very data it explains.
    m_plot->legend->setVisible(true);
    m_plot->axisRect()->insetLayout()->take(m_plot->legend);
    auto* side = new QCPLayoutGrid;
    m_plot->plotLayout()->addElement(0, 1, side);
    m_plot->plotLayout()->setColumnStretchFactor(1, 0.001);
    side->addElement(0, 0, m_plot->legend);
    side->addElement(1, 0, new QCPLayoutElement(m_plot));
    side->setRowStretchFactor(0, 0.001);
    side->setMargins(QMargins(0, 10, 6, 0));
    // The breakthrough diamonds sit above every curve, whichever cell came first.
    m_plot->addLayer(QStringLiteral("markers"), m_plot->layer(QStringLiteral("main")), QCustomPlot::limAbove);

    for (std::size_t i = 0; i < m_limits.size(); ++i) {
        Limit& limit = m_limits[i];
        limit.rate = kThresholds[i];
        limit.line = new QCPItemStraightLine(m_plot);
        limit.line->point1->setCoords(0, limit.rate);
        limit.line->point2->setCoords(1, limit.rate);
        limit.line->setPen(QPen(QColor(80, 80, 80), 1, Qt::DashDotLine));
        limit.label = new QCPItemText(m_plot);
        limit.label->position->setTypeX(QCPItemPosition::ptAxisRectRatio);
        limit.label->position->setCoords(0.995, limit.rate);
        limit.label->setPositionAlignment(Qt::AlignRight | Qt::AlignBottom);
        limit.label->setColor(QColor(80, 80, 80));
    }

    // Explains the diamonds once in the legend; it has no data of its own.
    m_markerLegend = m_plot->addGraph();
    m_markerLegend->setLineStyle(QCPGraph::lsNone);
    m_markerLegend->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssDiamond, QPen(Qt::black), QBrush(Qt::white), 10));

    m_table = new QTableWidget(0, kColumnCount, this);
    m_table->setObjectName(QStringLiteral("tablePermeation"));
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setAlternatingRowColors(true);
    m_table->setWordWrap(false);
    m_table->verticalHeader()->setVisible(false);
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 8);

    auto* switches = new QHBoxLayout;
    switches->addWidget(m_logSwitch);
    switches->addWidget(m_cumulativeSwitch);
    switches->addStretch();
    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->setChildrenCollapsible(false);
    splitter->addWidget(m_plot);
    splitter->addWidget(m_table);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(switches);
    layout->addWidget(splitter);

    for (QCPAxis* axis : {m_plot->xAxis, m_plot->yAxis, m_plot->yAxis2})
        connect(axis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this, &PermeationView::onRangeChanged);
    connect(m_plot, &QCustomPlot::mouseDoubleClick, this, [this] { showWholeTest(); });

    updateDragAxes();
    translate(kGermanOffset);
    fitWholeTest();
}

PermeationView::~PermeationView() = default;

QString PermeationView::T(int n) const { return LoadLangText(m_offset.value_or(kGermanOffset), n); }

void PermeationView::translate(int offset) {
    if (m_offset == offset)
        return;
    m_offset = offset;
    setWindowTitle(T(123));
    m_logSwitch->setText(T(127));
    m_cumulativeSwitch->setText(T(126));
    m_plot->xAxis->setLabel(T(125));
    m_plot->yAxis->setLabel(T(124));
    m_plot->yAxis2->setLabel(T(126));
    m_markerLegend->setName(T(141));
    for (const Limit& limit : m_limits)
        limit.label->setText(T(142).arg(fixed(limit.rate, 1)));
    for (int slot = 0; slot < kSlots; ++slot) {
        if (m_curves[slot].rate)
            m_curves[slot].rate->setName(curveName(slot));
    }
    applyHeaderTexts();
    updateTable();
    replotWhenShown();
}

void PermeationView::applyHeaderTexts() {
    const QString astm = fixed(kAstmThreshold, 1);
    const QString en = fixed(kEnThreshold, 1);
    QStringList heads(kColumnCount);
    heads[CellColumn] = T(77);
    heads[DetectorColumn] = T(128);
    heads[SampleColumn] = T(129);
    heads[Bt01FirstColumn] = headLines(T(130).arg(astm) + QLatin1Char(' ') + T(131));
    heads[Bt01Column] = headLines(T(130).arg(astm) + QLatin1Char(' ') + T(132));
    heads[Bt10FirstColumn] = headLines(T(130).arg(en) + QLatin1Char(' ') + T(131));
    heads[Bt10Column] = headLines(T(130).arg(en) + QLatin1Char(' ') + T(132));
    heads[ResolutionColumn] = headLines(T(133));
    heads[LevelColumn] = headLines(T(134));
    heads[SteadyStateColumn] = headLines(T(135));
    heads[CumulativeColumn] = headLines(T(136));
    heads[Cumulative60Column] = headLines(T(137).arg(60));
    heads[Cumulative480Column] = headLines(T(137).arg(480));
    heads[DetectionLimitColumn] = headLines(T(138));
    heads[TestTimeColumn] = headLines(T(125));
    heads[MolarMassColumn] = headLines(T(155));
    heads[UBt10Column] = headLines(T(130).arg(en) + QStringLiteral(" ± U (k = 2)"));
    heads[DecisionColumn] = headLines(T(201));
    m_table->setHorizontalHeaderLabels(heads);
}

QString PermeationView::curveName(int slot) const {
    QString name = QStringLiteral("%1 %2 %3").arg(T(77)).arg(cellOf(slot)).arg(T(detectorOf(slot) == Detector::FID ? 109 : 110));
    if (!m_curves[slot].sampleName.isEmpty())
        name += QStringLiteral(" (%1)").arg(m_curves[slot].sampleName);
    return name;
}

// ---- the figures ----------------------------------------------------------------------------------

void PermeationView::showSummaries(const std::vector<CellSummary>& summaries) {
    const auto incoming = bySlot(summaries);
    bool structure = false;
    bool data = false;
    for (int slot = 0; slot < kSlots; ++slot) {
        const CellSummary* s = incoming[slot];
        Curve& c = m_curves[slot];
        // A detector without a calibration has only its row in the table, no curve of zeros.
        if (!s || !s->calibrated) {
            if (c.rate) {
                removeCurve(slot);
                structure = true;
            }
            continue;
        }
        if (!c.rate) {
            addCurve(slot);
            structure = true;
        }
        if (c.series != s->series || c.contactRate != s->metrics.contactRate) {
            c.series = s->series;
            c.contactRate = s->metrics.contactRate;
            fillRateGraph(c);
            QVector<double> x, y;
            for (const RatePoint& p : cumulativeCurve(c.series, c.contactRate)) {
                x << p.minutes;
                y << p.rate;
            }
            c.cumulative->setData(x, y, true);
            data = true;
        }
        const std::array<std::optional<double>, 2> crossings = {crossingOf(s->metrics.bt01), crossingOf(s->metrics.bt10)};
        if (crossings != c.crossings) {
            c.crossings = crossings;
            QVector<double> x, y;
            for (std::size_t i = 0; i < crossings.size(); ++i) {
                if (crossings[i]) {
                    x << *crossings[i];
                    y << kThresholds[i];
                }
            }
            c.markers->setData(x, y);
            data = true;
        }
        if (c.sampleName != s->sampleName) {
            c.sampleName = s->sampleName;
            c.rate->setName(curveName(slot));
            structure = true;
        }
    }
    m_summaries = summaries;
    if (structure)
        rebuildLegend();
    updateTable();
    if (structure || data) {
        if (!m_operatorMoved)
            fitWholeTest();
        replotWhenShown();
    }
}

void PermeationView::addCurve(int slot) {
    Curve& c = m_curves[slot];
    const QColor colour = cellColour(cellOf(slot));
    const bool fpd = detectorOf(slot) == Detector::FPD;
    const Qt::PenStyle style = fpd ? Qt::DashLine : Qt::SolidLine;

    c.rate = m_plot->addGraph(m_plot->xAxis, m_plot->yAxis);
    // A thin pen: a wider one is stroked as an outline, several times dearer for a long curve.
    c.rate->setPen(QPen(colour, 1, style));
    c.rate->setScatterStyle(drawnOnce(fpd ? QCPScatterStyle(QCPScatterStyle::ssCircle, QPen(colour, 1.2), QBrush(Qt::white), 6)
                                          : QCPScatterStyle(QCPScatterStyle::ssDisc, colour, 5)));
    c.rate->setName(curveName(slot));

    QColor faint = colour;
    faint.setAlpha(150);
    c.cumulative = m_plot->addGraph(m_plot->xAxis, m_plot->yAxis2);
    c.cumulative->setPen(QPen(faint, 1, fpd ? Qt::DashLine : Qt::DotLine));
    c.cumulative->setVisible(cumulativeShown());
    c.cumulative->removeFromLegend();

    c.markers = m_plot->addGraph(m_plot->xAxis, m_plot->yAxis);
    c.markers->setLayer(QStringLiteral("markers"));
    c.markers->setLineStyle(QCPGraph::lsNone);
    c.markers->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssDiamond, QPen(Qt::black), QBrush(colour), 10));
    c.markers->removeFromLegend();
}

void PermeationView::removeCurve(int slot) {
    Curve& c = m_curves[slot];
    for (QCPGraph* graph : {c.rate, c.cumulative, c.markers})
        m_plot->removeGraph(graph);
    c = Curve{};
}

void PermeationView::fillRateGraph(const Curve& c) {
    QVector<double> x, y;
    x.reserve(static_cast<qsizetype>(c.series.size()));
    y.reserve(static_cast<qsizetype>(c.series.size()));
    const bool log = logarithmic();
    for (const RatePoint& p : c.series) {
        if (log && !(p.rate > 0))
            continue;
        x << p.minutes;
        y << p.rate;
    }
    c.rate->setData(x, y, true);
}

void PermeationView::rebuildLegend() {
    // Cell by cell, whatever order the curves came in; the diamonds' explanation last.
    m_plot->legend->clearItems();
    for (const Curve& c : m_curves) {
        if (c.rate)
            c.rate->addToLegend();
    }
    m_markerLegend->addToLegend();
}

// ---- the table ------------------------------------------------------------------------------------

bool PermeationView::updateTable() {
    std::vector<const CellSummary*> rows;
    for (const CellSummary* s : bySlot(m_summaries)) {
        if (s)
            rows.push_back(s);
    }
    bool changed = false;
    if (m_table->rowCount() != static_cast<int>(rows.size())) {
        m_table->setRowCount(static_cast<int>(rows.size()));
        changed = true;
    }
    for (int row = 0; row < static_cast<int>(rows.size()); ++row) {
        const QStringList texts = rowTexts(*rows[row]);
        for (int column = 0; column < kColumnCount; ++column) {
            const QString tip = tipOf(*rows[row], column, texts[column]);
            QTableWidgetItem* item = m_table->item(row, column);
            if (item && item->text() == texts[column] && item->toolTip() == tip)
                continue;
            if (!item) {
                item = new QTableWidgetItem;
                const bool words = column == SampleColumn || column == LevelColumn || column == DetectorColumn ||
                                   column == MolarMassColumn;
                item->setTextAlignment(Qt::AlignVCenter | (words ? Qt::AlignLeft : Qt::AlignRight));
                m_table->setItem(row, column, item);
            }
            item->setText(texts[column]);
            item->setToolTip(tip);
            changed = true;
        }
    }
    if (changed) {
        m_table->resizeColumnsToContents();
        // Every row in sight: the chart gives way, not the figures.
        const int rows = std::max(1, m_table->rowCount());
        m_table->setMinimumHeight(m_table->horizontalHeader()->sizeHint().height() +
                                  rows * m_table->verticalHeader()->defaultSectionSize() +
                                  m_table->horizontalScrollBar()->sizeHint().height() + 2 * m_table->frameWidth());
    }
    return changed;
}

QString PermeationView::tipOf(const CellSummary& s, int column, const QString& text) const {
    const CellMetrics& m = s.metrics;
    if (!s.calibrated)
        return column == LevelColumn ? T(159) : QString();
    if (column == LevelColumn) {
        switch (m.level.kind) {
        case PerformanceLevel::Kind::AtLeast:
            return T(164).arg(fixed(m.level.boundMinutes, 1)).arg(m.level.lowest);
        case PerformanceLevel::Kind::Range:
            return m.level.lowest == m.level.highest ? QString() : T(163).arg(m.level.lowest).arg(m.level.highest);
        case PerformanceLevel::Kind::None:
            return m.measurements > 0 && !s.seesChemical ? T(161).arg(T(s.detector == Detector::FID ? 109 : 110)) : QString();
        case PerformanceLevel::Kind::Exact:
            return {};
        }
    }
    const Breakthrough* b = column == Bt01Column ? &m.bt01 : column == Bt10Column ? &m.bt10 : nullptr;
    if (b && b->first && !b->interpolated)
        return T(162).arg(fixed(*b->first, 1));
    if (b && b->interpolated && b->lastBelow)
        return T(167).arg(fixed(*b->lastBelow, 1), fixed(*b->first, 1));
    if (column == CumulativeColumn && m.measurements > 0)
        return s.blankMeasured ? T(165).arg(fixed(m.contactRate, 4)) : T(166);
    if (reachable(column) && text == kNoFigure)
        return T(139);
    return {};
}

QString PermeationView::decisionText(Decision d) const {
    switch (d) {
    case Decision::Pass: return T(202);
    case Decision::Fail: return T(203);
    case Decision::NotDecidable: return T(204);
    case Decision::None: break;
    }
    return {};
}

QStringList PermeationView::rowTexts(const CellSummary& s) const {
    const CellMetrics& m = s.metrics;
    auto figure = [](std::optional<double> v, int decimals, const QString& missing) {
        return v ? fixed(*v, decimals) : missing;
    };
    QStringList texts(kColumnCount);
    texts[CellColumn] = QString::number(s.cell);
    texts[DetectorColumn] = T(s.detector == Detector::FID ? 109 : 110);
    texts[SampleColumn] = s.sampleName;
    if (s.molarMass)
        texts[MolarMassColumn] = fixed(*s.molarMass, 2) + QStringLiteral(" g/mol");
    else
        texts[MolarMassColumn] = s.detector == Detector::FID ? T(157) : T(158).arg(fixed(kFpdMassPerPpm, 5));
    if (!s.calibrated) {
        // No figures: the words say why, in the level column.
        for (int column = Bt01FirstColumn; column <= TestTimeColumn; ++column)
            texts[column] = kNoFigure;
        texts[UBt10Column] = kNoFigure;
        texts[DecisionColumn] = decisionText(s.decision);
        texts[LevelColumn] = T(159);
        return texts;
    }
    // A crossing before the first measurement is a bracket, not a time.
    auto crossing = [&](const Breakthrough& b) {
        if (b.interpolated)
            return fixed(*b.interpolated, 1);
        return b.first ? QStringLiteral("\u2264 ") + fixed(*b.first, 1) : kNoFigure;
    };
    texts[Bt01FirstColumn] = figure(m.bt01.first, 1, kNoFigure);
    texts[Bt01Column] = crossing(m.bt01);
    texts[Bt10FirstColumn] = figure(m.bt10.first, 1, kNoFigure);
    texts[Bt10Column] = crossing(m.bt10);
    texts[ResolutionColumn] = figure(m.resolution, 1, kNoFigure);
    // A level, a range of levels, or the lower bound "≥ n"; the words are in the tooltip, so the
    // column stays narrow. None where the detector cannot see the chemical.
    texts[LevelColumn] = m.level.kind == PerformanceLevel::Kind::None ? kNoFigure : performanceLevelText(m.level);
    texts[SteadyStateColumn] = m.steady ? fixed(m.steady->rate, 4) : kNoFigure;
    texts[CumulativeColumn] = m.measurements > 0 ? fixed(m.cumulative, 3) : kNoFigure;
    texts[Cumulative60Column] = figure(m.cumulative60, 3, kNoFigure);
    texts[Cumulative480Column] = figure(m.cumulative480, 3, kNoFigure);
    texts[DetectionLimitColumn] =
        figure(m.detectionLimit ? std::optional<double>(m.detectionLimit->rate) : std::nullopt, 4, kNoFigure);
    texts[TestTimeColumn] = m.measurements > 0 ? fixed(m.testMinutes, 1) : kNoFigure;
    texts[UBt10Column] = s.uBt10 ? QStringLiteral("± ") + fixed(kCoverage * s.uBt10->value, 1) : kNoFigure;
    texts[DecisionColumn] = decisionText(s.decision);
    return texts;
}

// ---- the axes ---------------------------------------------------------------------------------------

bool PermeationView::logarithmic() const { return m_plot->yAxis->scaleType() == QCPAxis::stLogarithmic; }
bool PermeationView::cumulativeShown() const { return m_plot->yAxis2->visible(); }

void PermeationView::setLogarithmic(bool on) {
    if (on == logarithmic())
        return;
    QCPAxis* axis = m_plot->yAxis;
    axis->setScaleType(on ? QCPAxis::stLogarithmic : QCPAxis::stLinear);
    if (on)
        axis->setTicker(QSharedPointer<QCPAxisTicker>(new QCPAxisTickerLog));
    else
        axis->setTicker(QSharedPointer<QCPAxisTicker>(new QCPAxisTicker));
    m_logSwitch->setChecked(on);
    for (const Curve& c : m_curves) {
        if (c.rate)
            fillRateGraph(c);
    }
    // A linear range from 0 has no place on a logarithmic axis: the rates are fitted again, while
    // a time range the operator chose stays.
    const bool moved = m_operatorMoved;
    const QCPRange time = m_plot->xAxis->range();
    const QCPRange cumulative = m_plot->yAxis2->range();
    fitWholeTest();
    if (moved) {
        setRanges(time, m_plot->yAxis->range(), cumulative);
        m_operatorMoved = true;
    }
    replotWhenShown();
}

void PermeationView::setCumulativeShown(bool on) {
    if (on == cumulativeShown())
        return;
    m_plot->yAxis2->setVisible(on);
    m_cumulativeSwitch->setChecked(on);
    for (const Curve& c : m_curves) {
        if (c.cumulative)
            c.cumulative->setVisible(on);
    }
    updateDragAxes();
    replotWhenShown();
}

void PermeationView::updateDragAxes() {
    QList<QCPAxis*> values = {m_plot->yAxis};
    if (cumulativeShown())
        values << m_plot->yAxis2;
    m_plot->axisRect()->setRangeDragAxes({m_plot->xAxis}, values);
    m_plot->axisRect()->setRangeZoomAxes({m_plot->xAxis}, values);
}

void PermeationView::showWholeTest() {
    fitWholeTest();
    replotWhenShown();
}

void PermeationView::fitWholeTest() {
    double lastMinutes = 0;
    double topRate = kEnThreshold;
    double lowestRate = kAstmThreshold;
    double topCumulative = 0;
    for (const Curve& c : m_curves) {
        for (const RatePoint& p : c.series) {
            lastMinutes = std::max(lastMinutes, p.minutes);
            if (std::isfinite(p.rate)) {
                topRate = std::max(topRate, p.rate);
                if (p.rate > 0)
                    lowestRate = std::min(lowestRate, p.rate);
            }
        }
        if (c.cumulative) {
            for (const QCPGraphData& d : *c.cumulative->data()) {
                if (std::isfinite(d.value))
                    topCumulative = std::max(topCumulative, d.value);
            }
        }
    }
    // A little before the start, so a diamond at 0 (a first measurement far above both limits)
    // shows whole.
    const double timeEnd = lastMinutes > 0 ? lastMinutes * 1.03 : 60;
    const QCPRange time(-timeEnd * 0.015, timeEnd);
    const QCPRange rate = logarithmic() ? QCPRange(lowestRate / 2, topRate * 2) : QCPRange(0, topRate * 1.1);
    const QCPRange cumulative(0, topCumulative > 0 ? topCumulative * 1.1 : 1);
    setRanges(time, rate, cumulative);
    m_operatorMoved = false;
}

void PermeationView::setRanges(const QCPRange& time, const QCPRange& rate, const QCPRange& cumulative) {
    m_settingRanges = true;
    m_plot->xAxis->setRange(time);
    m_plot->yAxis->setRange(rate);
    m_plot->yAxis2->setRange(cumulative);
    m_settingRanges = false;
}

void PermeationView::onRangeChanged() {
    // Only the operator's zoom and drag reach here outside setRanges.
    if (!m_settingRanges)
        m_operatorMoved = true;
}

// ---- the window -----------------------------------------------------------------------------------

void PermeationView::open() {
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
}

void PermeationView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Measurements that came in while the window was closed were not drawn.
    m_plot->replot(QCustomPlot::rpQueuedReplot);
}

void PermeationView::replotWhenShown() {
    if (isVisible())
        m_plot->replot(QCustomPlot::rpQueuedReplot);
}

const PermeationView::Curve* PermeationView::curve(int cell, Detector detector) const {
    return validCell(cell) ? &m_curves[slotOf(cell, detector)] : nullptr;
}

QCPGraph* PermeationView::rateGraph(int cell, Detector detector) const {
    const Curve* c = curve(cell, detector);
    return c ? c->rate : nullptr;
}

QCPGraph* PermeationView::cumulativeGraph(int cell, Detector detector) const {
    const Curve* c = curve(cell, detector);
    return c ? c->cumulative : nullptr;
}

QCPGraph* PermeationView::breakthroughMarkers(int cell, Detector detector) const {
    const Curve* c = curve(cell, detector);
    return c ? c->markers : nullptr;
}

} // namespace korvat
