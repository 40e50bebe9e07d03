#include "ui/TestReport.h"

#include "evaluation/PermeationMetrics.h"
#include "evaluation/TestFiles.h"
#include "ui/CellColours.h"

#include <QAbstractTextDocumentLayout>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QDir>
#include <QPainter>
#include <QPicture>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTextDocument>
#include <qcustomplot.h>

namespace korvat {

namespace {

QString esc(const QString& s) { return s.toHtmlEscaped().replace(QLatin1Char('\n'), QStringLiteral("<br>")); }

QString pairTable(const std::vector<ReportPair>& rows) {
    QString html = QStringLiteral("<table cellspacing=0 cellpadding=2 width=100%>");
    for (const auto& [caption, value] : rows)
        html += QStringLiteral("<tr><td width=35%><b>%1</b></td><td>%2</td></tr>").arg(esc(caption), esc(value));
    return html + QStringLiteral("</table>");
}

QString h2(const QString& title) { return QStringLiteral("<h3>%1</h3>").arg(esc(title)); }

// What a grid table is fitted to: the page's width on the device the text is laid out for.
struct Fit {
    QPaintDevice* device = nullptr;
    QFont font;
    double width = 0; // device units
    double pad = 0;   // a column's padding and borders, device units, with room to spare
};

// The widest blank-separated word of `text`.
double longestWord(const QFontMetricsF& fm, const QString& text) {
    double w = 0;
    for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        w = std::max(w, fm.horizontalAdvance(word));
    return w;
}

// `text` broken at its blanks into lines no wider than `width` (a word wider than that stands
// alone on its line).
QStringList wrapAtBlanks(const QFontMetricsF& fm, const QString& text, double width) {
    QStringList lines;
    for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (!lines.isEmpty() && fm.horizontalAdvance(lines.last() + QLatin1Char(' ') + word) <= width)
            lines.last() += QLatin1Char(' ') + word;
        else
            lines << word;
    }
    return lines;
}

// A table with a border, its header cells wrapped at their blanks only. Each column is at least
// as wide as its header's longest word (and its values' longest, up to a third of the page); the
// type gets smaller until the columns fit the page. The headers are wrapped here rather than by
// the layout, which would also break "µg/cm²/min" after a slash.
QString gridTable(const QStringList& captions, const std::vector<QStringList>& rows, const Fit& fit) {
    const qsizetype n = captions.size();
    if (n == 0)
        return {};
    QFont head = fit.font, body = fit.font;
    head.setBold(true);
    std::vector<double> need(std::size_t(n), 0.0), natural(std::size_t(n), 0.0);
    double size = 7.5;
    for (;; size -= 0.5) {
        head.setPointSizeF(size);
        body.setPointSizeF(size);
        const QFontMetricsF hm(head, fit.device), bm(body, fit.device);
        double sum = 0;
        for (qsizetype c = 0; c < n; ++c) {
            const std::size_t i = std::size_t(c);
            need[i] = longestWord(hm, captions[c]);
            natural[i] = hm.horizontalAdvance(captions[c]);
            for (const QStringList& row : rows) {
                const QString v = row.value(c);
                need[i] = std::max(need[i], std::min(longestWord(bm, v), fit.width / 3));
                natural[i] = std::max(natural[i], bm.horizontalAdvance(v));
            }
            need[i] += fit.pad;
            natural[i] = std::max(natural[i] + fit.pad, need[i]);
            sum += need[i];
        }
        if (sum <= fit.width || size <= 5)
            break;
    }
    // What is left of the page goes to the columns that would take more, in proportion.
    double sum = 0, wanted = 0;
    for (std::size_t i = 0; i < need.size(); ++i) {
        sum += need[i];
        wanted += natural[i] - need[i];
    }
    const double spare = std::max(0.0, fit.width - sum);
    const double share = wanted > 0 ? std::min(1.0, spare / wanted) : 0.0;
    std::vector<double> widths(need.size());
    double total = 0;
    for (std::size_t i = 0; i < need.size(); ++i) {
        widths[i] = need[i] + share * (natural[i] - need[i]);
        total += widths[i];
    }
    // A table that fits with room to spare is spread over the page.
    const double stretch = total < fit.width ? fit.width / total : 1.0;
    const QFontMetricsF hm(head, fit.device);
    const QString font = QStringLiteral("<span style=\"font-size:%1pt\">").arg(size, 0, 'f', 1);
    QString html = QStringLiteral("<table border=1 cellspacing=0 cellpadding=2 width=100%><tr>");
    for (qsizetype c = 0; c < n; ++c) {
        const std::size_t i = std::size_t(c);
        QStringList lines = wrapAtBlanks(hm, captions[c], widths[i] - fit.pad);
        for (QString& l : lines)
            l = esc(l);
        html += QStringLiteral("<th width=\"%1%\">%2%3</span></th>")
                    .arg(100.0 * widths[i] * stretch / std::max(total * stretch, fit.width), 0, 'f', 3)
                    .arg(font, lines.join(QStringLiteral("<br>")));
    }
    html += QStringLiteral("</tr>");
    for (const QStringList& row : rows) {
        html += QStringLiteral("<tr>");
        for (const QString& v : row)
            html += QStringLiteral("<td>%1%2</span></td>").arg(font, esc(v));
        html += QStringLiteral("</tr>");
    }
    return html + QStringLiteral("</table>");
}

// The text sections before the curves (1 to 4) and after them (6, 7).
QString htmlBefore(const ReportData& d, const Fit& fit) {
    QString html = QStringLiteral("<h2>%1</h2>").arg(esc(d.title));
    html += h2(d.sectionTitles[0]) + pairTable(d.identification);
    html += h2(d.sectionTitles[1]) + pairTable(d.specimens);
    html += h2(d.sectionTitles[2]) + pairTable(d.conditions);
    html += h2(d.sectionTitles[3]);
    html += gridTable(d.resultCaptions, d.results, fit);
    for (const QString& n : d.remarks)
        html += QStringLiteral("<p>%1</p>").arg(esc(n));
    for (const ReportTable& t : d.labTables)
        html += QStringLiteral("<h4>%1</h4>").arg(esc(t.title)) + gridTable(t.captions, t.rows, fit);
    for (const QString& n : d.notes)
        html += QStringLiteral("<p><small>%1</small></p>").arg(esc(n));
    return html;
}

QString htmlAfter(const ReportData& d) {
    QString html = h2(d.sectionTitles[5]);
    if (d.events.isEmpty())
        html += QStringLiteral("<p>%1</p>").arg(esc(d.noEvents));
    for (const QString& e : d.events)
        html += QStringLiteral("<p><small>%1</small></p>").arg(esc(e));
    html += h2(d.sectionTitles[6]);
    html += QStringLiteral("<table cellspacing=0 cellpadding=12 width=100%>");
    for (const QString& s : d.signatures)
        html += QStringLiteral("<tr><td width=30%>%1</td><td>______________________________________</td></tr>").arg(esc(s));
    return html + QStringLiteral("</table>");
}

QFont reportFont() {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSizeF(9);
    return font;
}

// The pages of a report: the page's number at the foot of each, out of all of them.
class Pages {
public:
    Pages(QPdfWriter& pdf, QCPPainter& painter, const ReportData& d, int total, const QRectF& page, double foot)
        : pdf_(pdf), painter_(painter), d_(d), total_(total), page_(page), foot_(foot) {}
    // Starts the next page (the first is there already); false when the writer cannot.
    bool next() {
        if (number_ > 0 && !pdf_.newPage())
            return false;
        ++number_;
        painter_.save();
        QFont f = reportFont();
        f.setPointSizeF(8);
        painter_.setFont(f);
        painter_.setPen(Qt::black);
        painter_.drawText(QRectF(0, page_.height() - foot_, page_.width(), foot_), Qt::AlignRight | Qt::AlignBottom,
                          d_.pageOf.arg(number_).arg(total_));
        painter_.restore();
        return true;
    }

private:
    QPdfWriter& pdf_;
    QCPPainter& painter_;
    const ReportData& d_;
    int total_;
    QRectF page_;
    double foot_;
    int number_ = 0;
};

// Draws `doc` page by page, each on a new page; returns false when a new page fails.
bool drawDocument(Pages& pages, QCPPainter& painter, QTextDocument& doc, const QSizeF& body) {
    for (int p = 0; p < doc.pageCount(); ++p) {
        if (!pages.next())
            return false;
        painter.save();
        painter.translate(0, -p * body.height());
        QAbstractTextDocumentLayout::PaintContext ctx;
        ctx.clip = QRectF(0, p * body.height(), body.width(), body.height());
        doc.documentLayout()->draw(&painter, ctx);
        painter.restore();
    }
    return true;
}

// The rectangle of a text item as drawn.
QRectF labelRect(const QCPItemText* label) {
    return QRectF(label->topLeft->pixelPosition(), label->bottomRight->pixelPosition()).normalized();
}

// The thresholds' labels: the higher one above its line at the right; the lower one where it
// clears the higher one and stays inside the axes (above or below its line, right or left).
void placeLimitLabels(QCustomPlot& plot, QCPItemText* high, QCPItemText* low) {
    const QRectF axes = plot.axisRect()->rect();
    auto place = [](QCPItemText* label, bool right, bool above) {
        label->position->setCoords(right ? 0.995 : 0.005, label->position->coords().y());
        label->setPositionAlignment((right ? Qt::AlignRight : Qt::AlignLeft) | (above ? Qt::AlignBottom : Qt::AlignTop));
    };
    auto inside = [&axes](const QCPItemText* label) { return axes.contains(labelRect(label)); };
    place(high, true, true);
    if (!inside(high))
        place(high, true, false);
    for (const auto& [right, above] : {std::pair{true, true}, std::pair{true, false}, std::pair{false, true},
                                       std::pair{false, false}}) {
        place(low, right, above);
        if (inside(low) && !labelRect(low).intersects(labelRect(high)))
            return;
    }
}

void drawChart(QCPPainter& painter, const QRectF& rect, const ReportData& d, Detector detector, bool logScale) {
    // QCustomPlot lays out in screen pixels: record the chart as a picture at screen size, and
    // replay it on the page, which scales it to the page's resolution (still vector graphics, fonts sized as on the screen).
    QPicture picture;
    const double scale = painter.device()->logicalDpiX() / double(picture.logicalDpiX());
    const int w = int(rect.width() / scale), h = int(rect.height() / scale);
    QCustomPlot plot;
    buildReportChart(plot, d, detector, logScale, QSize(w, h));
    {
        QCPPainter recorder(&picture);
        plot.toPainter(&recorder, w, h);
    }
    painter.save();
    painter.translate(rect.topLeft());
    painter.drawPicture(0, 0, picture); // replayed at the page's resolution
    painter.restore();
}

} // namespace

ReportText::ReportText() = default;
ReportText::ReportText(ReportText&&) noexcept = default;
ReportText::~ReportText() = default;

ReportText layOutReportText(const ReportData& d, QPaintDevice* device, const QSizeF& pageSize) {
    ReportText text;
    const QFont font = reportFont();
    Fit fit{device, font, pageSize.width() * 0.97, 3.0 * device->logicalDpiX() / 25.4};
    auto document = [&](const QString& html) {
        auto doc = std::make_unique<QTextDocument>();
        doc->setDocumentMargin(0);
        doc->setDefaultFont(font);
        doc->documentLayout()->setPaintDevice(device);
        doc->setPageSize(pageSize);
        doc->setHtml(html);
        return doc;
    };
    text.before = document(htmlBefore(d, fit));
    text.after = document(htmlAfter(d));
    return text;
}

void buildReportChart(QCustomPlot& plot, const ReportData& d, Detector detector, bool logScale, const QSize& size) {
    plot.resize(size);
    plot.legend->setVisible(true);
    QFont small = plot.font();
    small.setPointSizeF(7);
    plot.legend->setFont(small);
    double maxT = 1, maxR = kEnThreshold * 2, minR = kAstmThreshold / 10;
    for (const CellSummary& s : d.cells) {
        if (s.detector != detector || !s.calibrated)
            continue;
        QCPGraph* g = plot.addGraph();
        g->setName(QStringLiteral("%1 %2").arg(s.cell).arg(s.sampleName));
        // The window's colour of the cell: the report's curve is the one seen on the screen.
        g->setPen(QPen(cellColour(s.cell), 1.5));
        g->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssCircle, 4));
        for (const RatePoint& p : s.series) {
            const double r = logScale ? std::max(p.rate, kAstmThreshold / 100) : p.rate;
            g->addData(p.minutes, r);
            maxT = std::max(maxT, p.minutes);
            maxR = std::max(maxR, p.rate);
        }
    }
    QCPItemText* labels[2] = {};
    int k = 0;
    for (const auto& [limit, caption] : {std::pair{kAstmThreshold, d.limitLow}, std::pair{kEnThreshold, d.limitHigh}}) {
        QCPItemStraightLine* line = new QCPItemStraightLine(&plot);
        line->point1->setCoords(0, limit);
        line->point2->setCoords(1, limit);
        line->setPen(QPen(Qt::gray, 1, Qt::DashLine));
        QCPItemText* label = new QCPItemText(&plot);
        label->setObjectName(limit == kAstmThreshold ? QStringLiteral("limitLow") : QStringLiteral("limitHigh"));
        label->position->setTypeX(QCPItemPosition::ptAxisRectRatio);
        label->position->setTypeY(QCPItemPosition::ptPlotCoords);
        label->position->setCoords(0.995, limit);
        label->setFont(small);
        label->setColor(Qt::darkGray);
        label->setText(caption);
        label->setPadding(QMargins(2, 1, 2, 1));
        labels[k++] = label;
    }
    plot.xAxis->setLabel(d.chartTime);
    plot.yAxis->setLabel(d.chartRate + QStringLiteral(", ") + (logScale ? d.chartLog : d.chartLinear));
    plot.xAxis->setRange(0, maxT * 1.03);
    if (logScale) {
        plot.yAxis->setScaleType(QCPAxis::stLogarithmic);
        plot.yAxis->setTicker(QSharedPointer<QCPAxisTickerLog>(new QCPAxisTickerLog));
        plot.yAxis->setRange(minR / 10, maxR * 2);
    } else {
        plot.yAxis->setRange(0, maxR * 1.1);
    }
    plot.plotLayout()->insertRow(0);
    plot.plotLayout()->addElement(0, 0, new QCPTextElement(&plot, (detector == Detector::FID ? d.fidCaption : d.fpdCaption) +
                                                                      QStringLiteral(" — ") + (logScale ? d.chartLog : d.chartLinear)));
    // The curves' names go below the axes, side by side: nothing inside the axes covers a curve
    // or a threshold's label.
    plot.axisRect()->insetLayout()->take(plot.legend);
    plot.plotLayout()->addElement(2, 0, plot.legend);
    plot.plotLayout()->setRowStretchFactor(2, 0.001);
    plot.legend->setFillOrder(QCPLegend::foColumnsFirst);
    plot.plotLayout()->setMargins(QMargins(0, 0, 1, 2)); // the legend's frame stays on the picture
    plot.replot(QCustomPlot::rpImmediateRefresh);
    placeLimitLabels(plot, labels[1], labels[0]);
}

QString defaultReportPath(const QString& resultsPath, int fileRun) {
    return besideRun(resultsPath, fileRun, QStringLiteral("_report.pdf"));
}

bool writeTestReport(const ReportData& d, const QString& pdfPath, QString* error) {
    auto fail = [&](const QString& why) {
        if (error)
            *error = pdfPath + QStringLiteral(": ") + why;
        return false;
    };
    if (!d.ok)
        return fail(d.error);
    QSaveFile file(pdfPath);
    if (!file.open(QIODevice::WriteOnly))
        return fail(file.errorString());
    {
        QPdfWriter pdf(&file);
        pdf.setPageSize(QPageSize(QPageSize::A4));
        pdf.setPageMargins(QMarginsF(18, 15, 15, 15), QPageLayout::Millimeter);
        pdf.setResolution(300);
        pdf.setTitle(d.title);
        pdf.setCreator(QStringLiteral("korvat"));
        QCPPainter painter;
        if (!painter.begin(&pdf))
            return fail(QStringLiteral("cannot draw the PDF"));
        const QRectF page(QPointF(0, 0), QSizeF(pdf.width(), pdf.height()));
        // The foot of every page holds its number; the text and the curves stay above it.
        const double foot = 6.0 * pdf.logicalDpiY() / 25.4;
        const QSizeF body(page.width(), page.height() - foot);
        ReportText text = layOutReportText(d, &pdf, body);
        const std::vector<Detector>& detectors = d.chartDetectors;
        const int total = text.before->pageCount() + int(detectors.size()) + text.after->pageCount();
        Pages pages(pdf, painter, d, total, page, foot);

        if (!drawDocument(pages, painter, *text.before, body))
            return fail(QStringLiteral("cannot start a new page"));

        // The curves: one page per detector, logarithmic above, linear below.
        QFont headFont = reportFont();
        headFont.setPointSizeF(12);
        headFont.setBold(true);
        for (Detector det : detectors) {
            if (!pages.next())
                return fail(QStringLiteral("cannot start a new page"));
            painter.setFont(headFont);
            const double head = body.height() * 0.05;
            painter.drawText(QRectF(0, 0, body.width(), head), Qt::AlignLeft | Qt::AlignVCenter, d.sectionTitles[4]);
            const double h = (body.height() - head) / 2;
            for (int k = 0; k < 2; ++k) {
                const QRectF rect(0, head + k * h, body.width(), h * 0.95);
                drawChart(painter, rect, d, det, k == 0);
            }
        }
        if (!drawDocument(pages, painter, *text.after, body))
            return fail(QStringLiteral("cannot start a new page"));
        painter.end();
    }
    if (!file.commit())
        return fail(file.errorString());
    return true;
}

} // namespace korvat
