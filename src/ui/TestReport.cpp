#include "ui/TestReport.h"

#include "evaluation/PermeationMetrics.h"
#include "evaluation/TestFiles.h"

#include <QAbstractTextDocumentLayout>
#include <QFileInfo>
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

// The text sections before the curves (1 to 4) and after them (6, 7).
QString htmlBefore(const ReportData& d) {
    QString html = QStringLiteral("<h2>%1</h2>").arg(esc(d.title));
    html += h2(d.sectionTitles[0]) + pairTable(d.identification);
    html += h2(d.sectionTitles[1]) + pairTable(d.specimens);
    html += h2(d.sectionTitles[2]) + pairTable(d.conditions);
    html += h2(d.sectionTitles[3]);
    html += QStringLiteral("<table border=1 cellspacing=0 cellpadding=2 width=100%><tr>");
    for (const QString& c : d.resultCaptions)
        html += QStringLiteral("<th><small>%1</small></th>").arg(esc(c));
    html += QStringLiteral("</tr>");
    for (const QStringList& row : d.results) {
        html += QStringLiteral("<tr>");
        for (const QString& v : row)
            html += QStringLiteral("<td><small>%1</small></td>").arg(esc(v));
        html += QStringLiteral("</tr>");
    }
    html += QStringLiteral("</table>");
    for (const QString& n : d.remarks)
        html += QStringLiteral("<p>%1</p>").arg(esc(n));
    for (const ReportTable& t : d.labTables) {
        html += QStringLiteral("<h4>%1</h4><table border=1 cellspacing=0 cellpadding=2 width=100%><tr>").arg(esc(t.title));
        for (const QString& c : t.captions)
            html += QStringLiteral("<th><small>%1</small></th>").arg(esc(c));
        html += QStringLiteral("</tr>");
        for (const QStringList& row : t.rows) {
            html += QStringLiteral("<tr>");
            for (const QString& v : row)
                html += QStringLiteral("<td><small>%1</small></td>").arg(esc(v));
            html += QStringLiteral("</tr>");
        }
        html += QStringLiteral("</table>");
    }
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

// Draws `doc` page by page from the painter's current page; returns false when a new page fails.
bool drawDocument(QPdfWriter& pdf, QCPPainter& painter, QTextDocument& doc, const QRectF& page, bool newPageFirst) {
    doc.setPageSize(page.size());
    const int pages = doc.pageCount();
    for (int p = 0; p < pages; ++p) {
        if ((p > 0 || newPageFirst) && !pdf.newPage())
            return false;
        painter.save();
        painter.translate(0, -p * page.height());
        QAbstractTextDocumentLayout::PaintContext ctx;
        ctx.clip = QRectF(0, p * page.height(), page.width(), page.height());
        doc.documentLayout()->draw(&painter, ctx);
        painter.restore();
    }
    return true;
}

void drawChart(QCPPainter& painter, const QRectF& rect, const ReportData& d, Detector detector, bool logScale) {
    QCustomPlot plot;
    plot.legend->setVisible(true);
    QFont small = plot.font();
    small.setPointSizeF(7);
    plot.legend->setFont(small);
    static const QColor colours[3] = {Qt::blue, Qt::darkGreen, Qt::darkRed};
    double maxT = 1, maxR = kEnThreshold * 2, minR = kAstmThreshold / 10;
    for (const CellSummary& s : d.cells) {
        if (s.detector != detector || !s.calibrated)
            continue;
        QCPGraph* g = plot.addGraph();
        g->setName(QStringLiteral("%1 %2").arg(s.cell).arg(s.sampleName));
        g->setPen(QPen(colours[(s.cell - 1) % 3], 1.5));
        g->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssCircle, 4));
        for (const RatePoint& p : s.series) {
            const double r = logScale ? std::max(p.rate, kAstmThreshold / 100) : p.rate;
            g->addData(p.minutes, r);
            maxT = std::max(maxT, p.minutes);
            maxR = std::max(maxR, p.rate);
        }
    }
    for (double limit : {kAstmThreshold, kEnThreshold}) {
        QCPItemStraightLine* line = new QCPItemStraightLine(&plot);
        line->point1->setCoords(0, limit);
        line->point2->setCoords(1, limit);
        line->setPen(QPen(Qt::gray, 1, Qt::DashLine));
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
    // QCustomPlot lays out in screen pixels: record the chart as a picture at screen size, and
    // replay it on the page, which scales it to the page's resolution (still vector graphics, fonts sized as on the screen).
    QPicture picture;
    const double scale = painter.device()->logicalDpiX() / double(picture.logicalDpiX());
    const int w = int(rect.width() / scale), h = int(rect.height() / scale);
    plot.resize(w, h);
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
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPointSizeF(9);

        QTextDocument before;
        before.setDocumentMargin(0);
        before.setDefaultFont(font);
        before.documentLayout()->setPaintDevice(&pdf);
        before.setHtml(htmlBefore(d));
        if (!drawDocument(pdf, painter, before, page, false))
            return fail(QStringLiteral("cannot start a new page"));

        // The curves: one page per detector, logarithmic above, linear below.
        const std::vector<Detector>& detectors = d.chartDetectors;
        QFont headFont = font;
        headFont.setPointSizeF(12);
        headFont.setBold(true);
        for (Detector det : detectors) {
            if (!pdf.newPage())
                return fail(QStringLiteral("cannot start a new page"));
            painter.setFont(headFont);
            const double head = page.height() * 0.05;
            painter.drawText(QRectF(0, 0, page.width(), head), Qt::AlignLeft | Qt::AlignVCenter, d.sectionTitles[4]);
            const double h = (page.height() - head) / 2;
            for (int k = 0; k < 2; ++k) {
                const QRectF rect(0, head + k * h, page.width(), h * 0.95);
                drawChart(painter, rect, d, det, k == 0);
            }
        }
        QTextDocument after;
        after.setDocumentMargin(0);
        after.setDefaultFont(font);
        after.documentLayout()->setPaintDevice(&pdf);
        after.setHtml(htmlAfter(d));
        if (!drawDocument(pdf, painter, after, page, true))
            return fail(QStringLiteral("cannot start a new page"));
        painter.end();
    }
    if (!file.commit())
        return fail(file.errorString());
    return true;
}

} // namespace korvat
