#include "ui/CalibrationPanel.h"

#include "shell/StringTable.h"
#include "util/NumberText.h"

#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <algorithm>

namespace korvat {

namespace {

constexpr int kCurveCaption = 180, kNumberCaption = 181, kChartCaption = 186, kRepeatabilityCaption = 185;

QString detectorName(Detector d) { return d == Detector::FID ? QStringLiteral("FID") : QStringLiteral("FPD"); }

} // namespace

ControlChartView::ControlChartView(QWidget* parent) : QWidget(parent) { setMinimumSize(120, 60); }

void ControlChartView::show(const ControlChart& chart) {
    chart_ = chart;
    update();
}

void ControlChartView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    p.setPen(Qt::gray);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    if (chart_.points.empty())
        return;
    // The scale holds every point and the ±3 s lines.
    double lo = chart_.points.front().responseFactor, hi = lo;
    for (const ControlChart::Point& pt : chart_.points) {
        lo = std::min(lo, pt.responseFactor);
        hi = std::max(hi, pt.responseFactor);
    }
    if (chart_.centre && chart_.sd) {
        lo = std::min(lo, *chart_.centre - 3 * *chart_.sd);
        hi = std::max(hi, *chart_.centre + 3 * *chart_.sd);
    }
    if (!(hi > lo)) {
        lo -= 1;
        hi += 1;
    }
    const QRectF area = QRectF(rect()).adjusted(4, 4, -4, -4);
    auto y = [&](double v) { return area.bottom() - (v - lo) / (hi - lo) * area.height(); };
    const std::size_t n = chart_.points.size();
    auto x = [&](std::size_t i) { return n > 1 ? area.left() + area.width() * static_cast<double>(i) / static_cast<double>(n - 1) : area.center().x(); };
    if (chart_.centre && chart_.sd) {
        p.setPen(QPen(Qt::darkGreen, 1));
        p.drawLine(QPointF(area.left(), y(*chart_.centre)), QPointF(area.right(), y(*chart_.centre)));
        for (const auto& [k, colour] : {std::pair{2.0, QColor(230, 160, 0)}, std::pair{3.0, QColor(Qt::red)}}) {
            p.setPen(QPen(colour, 1, Qt::DashLine));
            for (double sign : {-1.0, 1.0}) {
                const double v = *chart_.centre + sign * k * *chart_.sd;
                p.drawLine(QPointF(area.left(), y(v)), QPointF(area.right(), y(v)));
            }
        }
    }
    p.setPen(QPen(Qt::black, 1));
    for (std::size_t i = 1; i < n; ++i)
        p.drawLine(QPointF(x(i - 1), y(chart_.points[i - 1].responseFactor)), QPointF(x(i), y(chart_.points[i].responseFactor)));
    p.setBrush(Qt::black);
    for (std::size_t i = 0; i < n; ++i) {
        const bool newest = i + 1 == n;
        if (newest && chart_.state == ControlChart::State::OutOfControl)
            p.setBrush(Qt::red);
        else if (newest && chart_.state == ControlChart::State::Warning)
            p.setBrush(QColor(230, 160, 0));
        p.drawEllipse(QPointF(x(i), y(chart_.points[i].responseFactor)), newest ? 3.5 : 2.0, newest ? 3.5 : 2.0);
    }
}

CalibrationPanel::CalibrationPanel(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("CalibrationPanel"));
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(2);
    for (Detector d : {Detector::FID, Detector::FPD}) {
        Column& c = columns_[static_cast<std::size_t>(d)];
        const int column = static_cast<int>(d) * 2;
        c.title = new QLabel(this);
        c.curve = new QLabel(this);
        c.curve->setTextFormat(Qt::PlainText);
        c.curve->setWordWrap(true);
        c.points = new QListWidget(this);
        c.points->setObjectName(QStringLiteral("lstCalibrationPoints") + detectorName(d));
        c.chart = new ControlChartView(this);
        c.chart->setObjectName(QStringLiteral("ControlChart") + detectorName(d));
        grid->addWidget(c.title, 0, column, 1, 2);
        grid->addWidget(c.curve, 1, column, 1, 2);
        grid->addWidget(c.points, 2, column);
        grid->addWidget(c.chart, 2, column + 1);
        connect(c.points, &QListWidget::itemChanged, this, [this, d](QListWidgetItem* item) {
            if (filling_)
                return;
            const int index = columns_[static_cast<std::size_t>(d)].points->row(item);
            emit pointChosen(static_cast<int>(d), index, item->checkState() == Qt::Checked);
        });
    }
    grid->setRowStretch(2, 1);
    translate(0);
}

void CalibrationPanel::translate(int offset) {
    offset_ = offset;
    for (Detector d : {Detector::FID, Detector::FPD}) {
        columns_[static_cast<std::size_t>(d)].title->setText(LoadLangText(offset_, kCurveCaption) + QLatin1Char(' ') +
                                                             detectorName(d));
        refresh(d);
    }
}

void CalibrationPanel::show(const CalibrationDisplay& display) {
    columns_[static_cast<std::size_t>(display.detector)].shown = display;
    refresh(display.detector);
}

void CalibrationPanel::refresh(Detector d) {
    Column& c = columns_[static_cast<std::size_t>(d)];
    const CalibrationDisplay& shown = c.shown;
    const QLocale locale = offset_ == 0 ? QLocale(QLocale::German) : QLocale(QLocale::English);
    auto number = [&locale](double v, int decimals) { return formatFixed(v, 12, decimals, locale); };
    QString text;
    if (const auto& curve = shown.inForce.curve) {
        text = LoadLangText(offset_, kNumberCaption) + QLatin1Char(' ') + QString::number(curve->number) +
               QStringLiteral(": area = ") + number(curve->slope, 2) + QStringLiteral(" \u00b7 ppm ") +
               (curve->offset < 0 ? QStringLiteral("\u2212 ") : QStringLiteral("+ ")) + number(std::fabs(curve->offset), 0);
        if (curve->rSquared)
            text += QStringLiteral(", R\u00b2 ") + formatFixed(*curve->rSquared, 12, 6, locale);
        if (shown.inForce.repeatability)
            text += QStringLiteral(", ") + LoadLangText(offset_, kRepeatabilityCaption) + QLatin1Char(' ') +
                    number(100 * shown.inForce.repeatability->relative, 2) + QStringLiteral(" %");
    }
    const QString state = controlChartToken(shown.chart.state);
    if (!state.isEmpty())
        text += (text.isEmpty() ? QString() : QStringLiteral("\n")) + LoadLangText(offset_, kChartCaption) +
                QStringLiteral(" (") + number(shown.chart.level, 2) + QStringLiteral(" ppm): ") + state;
    c.curve->setText(text);

    filling_ = true;
    c.points->clear();
    // Residuals of the points the curve goes through; a point left out has none.
    std::vector<double> residuals;
    if (shown.inForce.curve)
        residuals = shown.inForce.curve->residuals();
    std::size_t used = 0;
    for (const CalibrationPoint& p : shown.current) {
        QString line = number(p.ppm, 2) + QStringLiteral(" ppm: ") + number(p.area, 0);
        if (p.used && shown.inForce.multiLevel() && used < residuals.size())
            line += QStringLiteral(" (") + (residuals[used] >= 0 ? QStringLiteral("+") : QString()) +
                    number(residuals[used], 0) + QLatin1Char(')');
        if (p.used)
            ++used;
        auto* item = new QListWidgetItem(line, c.points);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(p.used ? Qt::Checked : Qt::Unchecked);
    }
    filling_ = false;
    c.chart->show(shown.chart);
}

QString CalibrationPanel::curveText(Detector d) const { return columns_[static_cast<std::size_t>(d)].curve->text(); }

QStringList CalibrationPanel::pointTexts(Detector d) const {
    QStringList out;
    const QListWidget* list = columns_[static_cast<std::size_t>(d)].points;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

void CalibrationPanel::choosePoint(Detector d, int index, bool used) {
    if (QListWidgetItem* item = columns_[static_cast<std::size_t>(d)].points->item(index))
        item->setCheckState(used ? Qt::Checked : Qt::Unchecked);
}

} // namespace korvat
