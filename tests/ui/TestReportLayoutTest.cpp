// How the test report is laid out, German and English, for the golden one- and two-detector runs:
// every page carries "Seite n von m" / "Page n of m" with the right n and m; no table header is
// broken inside a word (checked on the lines the text layout actually made); the 0.1 and 1.0
// thresholds' labels lie inside the axes, clear of each other and of the curves' legend; each
// cell's curve has the colour the window's permeation view gives that cell.

#include "run/ReportData.h"
#include "shell/StringTable.h"
#include "support/AppFixture.h"
#include "ui/PermeationView.h"
#include "ui/TestReport.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QPdfWriter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextLayout>
#include <QTextTable>
#include <gtest/gtest.h>
#include <qcustomplot.h>

namespace korvat {
namespace {

QString copyGolden(const QString& which, const QString& dir) {
    const QDir src(QStringLiteral(KORVAT_TEST_SOURCE_DIR "/run/golden/") + which);
    for (const QString& name : src.entryList(QDir::Files)) {
        QFile in(src.filePath(name));
        EXPECT_TRUE(in.open(QIODevice::ReadOnly));
        test::writeFile(QDir(dir).filePath(name), in.readAll().replace("@DIR@", dir.toLocal8Bit()));
    }
    return QDir(dir).filePath(QStringLiteral("Golden.csv"));
}

struct Case {
    const char* golden;
    int ID;
};
const Case kCases[] = {{"fid", kGermanOffset}, {"fid", kEnglishOffset}, {"fidfpd", kGermanOffset}, {"fidfpd", kEnglishOffset}};

std::string name(const Case& c) { return std::string(c.golden) + (c.ID == kEnglishOffset ? " US" : " DE"); }

TEST(TestReportLayout, EveryPageCarriesItsNumberOutOfAll) {
    const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (pdftotext.isEmpty())
        GTEST_SKIP() << "poppler-utils missing";
    for (const Case& c : kCases) {
        SCOPED_TRACE(name(c));
        QTemporaryDir dir;
        const ReportData d = gatherReportData(copyGolden(QString::fromLatin1(c.golden), dir.path()), c.ID);
        ASSERT_TRUE(d.ok) << d.error.toStdString();
        const QString pdf = dir.filePath(QStringLiteral("r.pdf"));
        QString error;
        ASSERT_TRUE(writeTestReport(d, pdf, &error)) << error.toStdString();
        QProcess p;
        p.start(pdftotext, {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
        ASSERT_TRUE(p.waitForFinished(60000));
        QStringList pages = QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\f'));
        if (!pages.isEmpty() && pages.last().trimmed().isEmpty())
            pages.removeLast();
        // Text pages, a page of curves per calibrated detector, and the events and signatures.
        ASSERT_GE(pages.size(), 2 + int(d.chartDetectors.size()));
        const QString word = c.ID == kEnglishOffset ? QStringLiteral("Page") : QStringLiteral("Seite");
        for (int n = 1; n <= pages.size(); ++n) {
            const QString expected = c.ID == kEnglishOffset ? QStringLiteral("Page %1 of %2").arg(n).arg(pages.size())
                                                            : QStringLiteral("Seite %1 von %2").arg(n).arg(pages.size());
            EXPECT_TRUE(pages[n - 1].contains(expected)) << "page " << n << ":\n" << pages[n - 1].toStdString();
            EXPECT_EQ(pages[n - 1].count(word + QLatin1Char(' ')), 1) << "page " << n;
        }
    }
}

// The first row's cells of every table of `doc` that has a header (the ruled ones; the caption
// and value lines of sections 1 to 3 have none).
std::vector<QTextTableCell> headerCells(QTextDocument& doc) {
    std::vector<QTextTableCell> cells;
    for (QTextFrame* frame : doc.rootFrame()->childFrames())
        if (auto* table = qobject_cast<QTextTable*>(frame); table && table->format().border() > 0)
            for (int column = 0; column < table->columns(); ++column)
                cells.push_back(table->cellAt(0, column));
    return cells;
}

TEST(TestReportLayout, NoTableHeaderIsBrokenInsideAWord) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(name(c));
        QTemporaryDir dir;
        const ReportData d = gatherReportData(copyGolden(QString::fromLatin1(c.golden), dir.path()), c.ID);
        ASSERT_TRUE(d.ok) << d.error.toStdString();
        QBuffer sink;
        ASSERT_TRUE(sink.open(QIODevice::WriteOnly));
        QPdfWriter pdf(&sink);
        pdf.setPageSize(QPageSize(QPageSize::A4));
        pdf.setPageMargins(QMarginsF(18, 15, 15, 15), QPageLayout::Millimeter);
        pdf.setResolution(300);
        const ReportText text = layOutReportText(d, &pdf, QSizeF(pdf.width(), pdf.height() * 0.95));
        const std::vector<QTextTableCell> cells = headerCells(*text.before);
        // Section 4's results and the lab's tables, each with its header row.
        ASSERT_GE(cells.size(), std::size_t(d.resultCaptions.size()));
        int wrapped = 0;
        for (const QTextTableCell& cell : cells) {
            QString words;
            for (QTextBlock block = cell.firstCursorPosition().block();
                 block.isValid() && block.position() < cell.lastCursorPosition().position() + 1; block = block.next()) {
                const QString t = block.text();
                words += t;
                const QTextLayout* layout = block.layout();
                ASSERT_NE(layout, nullptr);
                for (int i = 1; i < layout->lineCount(); ++i) {
                    const int at = layout->lineAt(i).textStart();
                    ASSERT_GT(at, 0);
                    const QChar before = t.at(at - 1);
                    EXPECT_TRUE(before == QLatin1Char(' ') || before == QChar::LineSeparator)
                        << "header \"" << t.toStdString() << "\" broken at " << at;
                    ++wrapped;
                }
            }
            // The header says all of its caption.
            EXPECT_TRUE(d.resultCaptions.contains(words.replace(QChar::LineSeparator, QLatin1Char(' ')).trimmed()) ||
                        std::any_of(d.labTables.begin(), d.labTables.end(),
                                    [&](const ReportTable& t) { return t.captions.contains(words); }))
                << words.toStdString();
        }
        // The narrow columns of section 4 do wrap: the check above had lines to look at.
        EXPECT_GT(wrapped, 5);
    }
}

struct ChartCase {
    Detector detector;
    bool logScale;
};

QRectF rectOf(const QCPItemText* label) {
    return QRectF(label->topLeft->pixelPosition(), label->bottomRight->pixelPosition()).normalized();
}

TEST(TestReportLayout, ThresholdLabelsStayApartAndCurvesHaveTheWindowsColours) {
    for (const Case& c : kCases) {
        QTemporaryDir dir;
        const ReportData d = gatherReportData(copyGolden(QString::fromLatin1(c.golden), dir.path()), c.ID);
        ASSERT_TRUE(d.ok) << d.error.toStdString();
        PermeationView window;
        window.showSummaries(d.cells);
        for (Detector det : d.chartDetectors) {
            for (bool logScale : {true, false}) {
                SCOPED_TRACE(name(c) + (det == Detector::FID ? " FID" : " FPD") + (logScale ? " log" : " linear"));
                // The size the report's A4 page gives a chart on a 96 dpi screen.
                QCustomPlot plot;
                buildReportChart(plot, d, det, logScale, QSize(668, 466));
                const QCPItemText* low = nullptr;
                const QCPItemText* high = nullptr;
                for (int i = 0; i < plot.itemCount(); ++i)
                    if (auto* t = qobject_cast<QCPItemText*>(plot.item(i)))
                        (t->objectName() == QLatin1String("limitLow") ? low : high) = t;
                ASSERT_NE(low, nullptr);
                ASSERT_NE(high, nullptr);
                EXPECT_EQ(low->text(), d.limitLow);
                EXPECT_EQ(high->text(), d.limitHigh);
                EXPECT_TRUE(low->text().startsWith(c.ID == kEnglishOffset ? QStringLiteral("0.1 ") : QStringLiteral("0,1 ")));
                const QRectF axes = plot.axisRect()->rect();
                EXPECT_FALSE(rectOf(low).intersects(rectOf(high)));
                EXPECT_TRUE(axes.contains(rectOf(low)));
                EXPECT_TRUE(axes.contains(rectOf(high)));
                // Each label sits at its own line: the line's height lies on the label's edge.
                EXPECT_NEAR(std::min(std::abs(rectOf(low).bottom() - plot.yAxis->coordToPixel(kAstmThreshold)),
                                     std::abs(rectOf(low).top() - plot.yAxis->coordToPixel(kAstmThreshold))),
                            0, 1.5);
                EXPECT_NEAR(std::min(std::abs(rectOf(high).bottom() - plot.yAxis->coordToPixel(kEnThreshold)),
                                     std::abs(rectOf(high).top() - plot.yAxis->coordToPixel(kEnThreshold))),
                            0, 1.5);
                // The curves' names are outside the axes.
                EXPECT_FALSE(QRectF(plot.legend->outerRect()).intersects(axes));
                int curves = 0;
                for (const CellSummary& s : d.cells) {
                    if (s.detector != det || !s.calibrated)
                        continue;
                    const QCPGraph* mine = plot.graph(curves++);
                    ASSERT_TRUE(mine->name().startsWith(QString::number(s.cell) + QLatin1Char(' ')));
                    ASSERT_NE(window.rateGraph(s.cell, det), nullptr);
                    EXPECT_EQ(mine->pen().color(), window.rateGraph(s.cell, det)->pen().color()) << "cell " << s.cell;
                }
                EXPECT_EQ(curves, plot.graphCount());
            }
        }
    }
}

} // namespace
} // namespace korvat
