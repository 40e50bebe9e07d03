// The archive window, offscreen, over an archive two runs wrote as they went: it lists them with
// their figures, each filter narrows the list, a test opens in the permeation view's drawing,
// two tests overlay on one chart in colours of their own with one legend line each, and Report
// writes a PDF with pages from the archive alone. A server that never answers leaves the window
// working and says the archive is not reachable. The main window's button opens it.

#include "app/KorvatApp.h"
#include "model/InProcessInstrument.h"
#include "support/AppFixture.h"
#include "support/ArchiveRun.h"
#include "shell/StringTable.h"
#include "support/RecordingDialogs.h"
#include "ui/ArchiveWindow.h"
#include "ui/PermeationView.h"
#include "ui/Presenter.h"
#include "ui/TForm1.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <cstring>
#include <gtest/gtest.h>
#include <qcustomplot.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace korvat;
using korvat::test::AppFixture;

namespace {

bool settle(const ArchiveWindow& w) {
    QElapsedTimer timer;
    timer.start();
    while (w.waiting() && timer.elapsed() < 60'000)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    QApplication::processEvents();
    return !w.waiting();
}

void click(ArchiveWindow& w, const char* name) {
    auto* button = w.findChild<QAbstractButton*>(QString::fromLatin1(name));
    ASSERT_NE(button, nullptr) << name;
    button->click();
}

QStringList listedTests(const ArchiveWindow& w) {
    QStringList names;
    for (int row = 0; row < w.list()->rowCount(); ++row)
        names << w.list()->item(row, ArchiveWindow::TestColumn)->text();
    names.sort();
    return names;
}

void selectRows(ArchiveWindow& w, std::initializer_list<int> rows) {
    w.list()->clearSelection();
    for (int row : rows)
        w.list()->selectionModel()->select(w.list()->model()->index(row, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

int rowOf(const ArchiveWindow& w, const QString& test) {
    for (int row = 0; row < w.list()->rowCount(); ++row)
        if (w.list()->item(row, ArchiveWindow::TestColumn)->text() == test)
            return row;
    return -1;
}

QString tool(const QString& program, const QStringList& arguments) {
    QProcess p;
    p.start(program, arguments);
    if (!p.waitForFinished(60'000))
        return {};
    return QString::fromLocal8Bit(p.readAllStandardOutput());
}

} // namespace

TEST(ArchiveWindow, FiltersOpensOverlaysAndReports) {
    QTemporaryDir folder;
    const QString archive = folder.path() + "/archive.sqlite";
    AppFixture nitril, latex;
    korvat::test::runWithArchive(nitril, nitril.dir + "Nitril.csv", {"Nitril", "Nitril", "Nitril"}, archive);
    korvat::test::runWithArchive(latex, latex.dir + "Latex.csv", {"Latex", "Latex", "Latex"}, archive);

    korvat::test::RecordingDialogs dialogs;
    ArchiveWindow w(nullptr, archive, dialogs, kEnglishOffset);
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Archive"));
    w.open();
    ASSERT_TRUE(settle(w));
    ASSERT_EQ(listedTests(w), (QStringList{"Latex", "Nitril"})) << w.statusText().toStdString();
    EXPECT_EQ(w.statusText(), QStringLiteral("2 tests"));
    const TestListing first = w.listed().front(); // a copy: the list is replaced by every search
    const int latexRow = rowOf(w, "Latex");
    EXPECT_EQ(w.list()->item(latexRow, ArchiveWindow::MaterialsColumn)->text(), QStringLiteral("Latex"));
    EXPECT_EQ(w.list()->item(latexRow, ArchiveWindow::CellsColumn)->text(), QStringLiteral("3"));
    EXPECT_EQ(w.list()->item(latexRow, ArchiveWindow::InstrumentColumn)->text(), first.instrument);
    EXPECT_FALSE(w.list()->item(latexRow, ArchiveWindow::LevelColumn)->text().isEmpty());
    // The filters offer what the archive holds.
    EXPECT_GE(w.materialFilter()->findText(QStringLiteral("Latex")), 0);
    EXPECT_GE(w.instrumentFilter()->findText(first.instrument), 0);

    // Each filter, then back to all.
    const QDate day = first.started.toLocalTime().date();
    const struct {
        const char* what;
        std::function<void()> set;
        QStringList expected;
    } cases[] = {
        {"material", [&] { w.materialFilter()->setCurrentText("latex"); }, {"Latex"}},
        {"chemical of none", [&] { w.chemicalFilter()->setCurrentText("Benzol"); }, {}},
        {"instrument", [&] { w.instrumentFilter()->setCurrentText(first.instrument); }, {"Latex", "Nitril"}},
        {"other instrument", [&] { w.instrumentFilter()->setCurrentText("SN-OTHER"); }, {}},
        {"from the day", [&] { w.fromSwitch()->setChecked(true); w.fromDate()->setDate(day); }, {"Latex", "Nitril"}},
        {"to the day before", [&] { w.toSwitch()->setChecked(true); w.toDate()->setDate(day.addDays(-1)); }, {}},
        {"to the day", [&] { w.toSwitch()->setChecked(true); w.toDate()->setDate(day); }, {"Latex", "Nitril"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        for (QComboBox* box : {w.chemicalFilter(), w.materialFilter(), w.instrumentFilter()})
            box->setCurrentText(QString());
        w.fromSwitch()->setChecked(false);
        w.toSwitch()->setChecked(false);
        c.set();
        click(w, "btnArchiveSearch");
        ASSERT_TRUE(settle(w));
        EXPECT_EQ(listedTests(w), c.expected);
    }
    w.toSwitch()->setChecked(false);
    w.fromSwitch()->setChecked(false);
    for (QComboBox* box : {w.chemicalFilter(), w.materialFilter(), w.instrumentFilter()})
        box->setCurrentText(QString());
    click(w, "btnArchiveSearch");
    ASSERT_TRUE(settle(w));
    ASSERT_EQ(w.list()->rowCount(), 2);

    // Open: the permeation view's curves of the test's cells, as its run measured them.
    selectRows(w, {rowOf(w, "Nitril")});
    click(w, "btnArchiveOpen");
    ASSERT_TRUE(settle(w));
    EXPECT_EQ(w.tabs()->currentWidget(), w.permeationView());
    const std::vector<CellSummary> live = nitril.app().run().summaries();
    ASSERT_FALSE(live.empty());
    for (const CellSummary& s : live) {
        QCPGraph* g = w.permeationView()->rateGraph(s.cell, s.detector);
        ASSERT_NE(g, nullptr) << s.cell;
        EXPECT_EQ(g->data()->size(), int(s.series.size()));
    }
    EXPECT_EQ(w.permeationView()->table()->rowCount(), int(live.size()));

    // Overlay: both tests on one chart, a colour each, one legend line each naming test and material.
    selectRows(w, {0, 1});
    click(w, "btnArchiveOverlay");
    ASSERT_TRUE(settle(w));
    EXPECT_EQ(w.tabs()->currentWidget(), w.overlayPlot()->parentWidget());
    QCustomPlot* plot = w.overlayPlot();
    ASSERT_GE(plot->graphCount(), 2);
    QStringList legend;
    for (int i = 0; i < plot->legend->itemCount(); ++i)
        if (auto* item = qobject_cast<QCPPlottableLegendItem*>(plot->legend->item(i)))
            legend << item->plottable()->name();
    legend.sort();
    EXPECT_EQ(legend, (QStringList{"Latex: Latex", "Nitril: Nitril"}));
    QSet<QRgb> colours;
    for (int i = 0; i < plot->graphCount(); ++i)
        colours.insert(plot->graph(i)->pen().color().rgb());
    EXPECT_EQ(colours.size(), 2);
    // Logarithmic at first (rates of gloves span decades), linear when asked, the same curves.
    EXPECT_EQ(plot->yAxis->scaleType(), QCPAxis::stLogarithmic);
    const int graphs = plot->graphCount();
    w.overlayLogarithmic()->setChecked(false);
    EXPECT_EQ(plot->yAxis->scaleType(), QCPAxis::stLinear);
    EXPECT_EQ(plot->graphCount(), graphs);

    // Report: the PDF of the selected test, with pages, from the archive (its results file gone).
    QFile::remove(latex.dir + "Latex.csv");
    selectRows(w, {rowOf(w, "Latex")});
    const QString pdf = folder.path() + "/Latex_report.pdf";
    dialogs.nextFileName = pdf;
    click(w, "btnArchiveReport");
    ASSERT_TRUE(settle(w));
    ASSERT_TRUE(QFile::exists(pdf)) << w.statusText().toStdString();
    EXPECT_EQ(w.statusText(), QStringLiteral("Report written: ") + pdf);
    QFile f(pdf);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.read(5) == "%PDF-");
    const QRegularExpressionMatch pages =
        QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(tool(QStringLiteral("pdfinfo"), {pdf}));
    ASSERT_TRUE(pages.hasMatch());
    EXPECT_GE(pages.captured(1).toInt(), 1);
    const QString text = tool(QStringLiteral("pdftotext"), {QStringLiteral("-raw"), pdf, QStringLiteral("-")});
    EXPECT_TRUE(text.contains(latex.app().run().testId)) << text.left(400).toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("From the archive")));

    // Nothing selected: said, nothing asked.
    w.list()->clearSelection();
    click(w, "btnArchiveOpen");
    EXPECT_FALSE(w.waiting());
    EXPECT_EQ(w.statusText(), QStringLiteral("No test selected"));
}

// A lab server that takes the connection and never answers: the window opens and keeps working
// while the question waits, then says the archive is not reachable and why.
TEST(ArchiveWindow, SaysWhenTheArchiveIsNotReachable) {
    QTemporaryDir folder;
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray path = QFile::encodeName(folder.path() + "/.s.PGSQL.5432");
    ASSERT_LT(std::size_t(path.size()), sizeof(address.sun_path));
    std::memcpy(address.sun_path, path.constData(), std::size_t(path.size()));
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ASSERT_EQ(::listen(listener, 4), 0);

    korvat::test::RecordingDialogs dialogs;
    ArchiveWindow w(nullptr, QStringLiteral("postgresql://lab@/korvat?host=%1&connect_timeout=2").arg(folder.path()),
                    dialogs, kGermanOffset);
    w.open();
    EXPECT_TRUE(w.waiting());
    EXPECT_EQ(w.statusText(), QStringLiteral("Archiv wird abgefragt \u2026"));
    // The window still answers the operator meanwhile.
    w.materialFilter()->setCurrentText(QStringLiteral("Nitril"));
    QApplication::processEvents();
    EXPECT_EQ(w.materialFilter()->currentText(), QStringLiteral("Nitril"));
    ASSERT_TRUE(settle(w));
    EXPECT_TRUE(w.statusText().startsWith(QStringLiteral("Archiv nicht erreichbar: "))) << w.statusText().toStdString();
    EXPECT_EQ(w.list()->rowCount(), 0);
    ::close(listener);
}

// The main window's Archive button opens the window (once, raised again on the next click).
TEST(ArchiveWindow, OpensFromTheMainWindow) {
    QTemporaryDir folder;
    const QString dir = folder.path() + "/";
    korvat::test::writeFile(dir + "CH-Substanzen.txt", "Aceton=2,05\r\n");
    korvat::test::writeFile(dir + "S-Substanzen.txt", "THT=1,00\r\n");
    ManualClock clock;
    sim::InProcessInstrument instrument;
    instrument.follow(clock);
    IniFile(dir + "Korvat.ini")
        .writeEntries({{"Language", "Code", "US"},
                       {"Communication", "ComPortA", instrument.mainLine().deviceName()},
                       {"Archive", "Database", dir + "lab.sqlite"}});
    TForm1 form;
    Presenter presenter{form};
    korvat::test::RecordingDialogs dialogs;
    KorvatApp app{{presenter, dialogs, clock, instrument.mainLine(), instrument.fpdLine(), dir}};
    presenter.attach(app);
    ASSERT_EQ(app.FormCreate([&](int offset) { form.TranslateForm(offset); }), StartupOutcome::Running);
    EXPECT_EQ(app.archiveInUse(), dir + "lab.sqlite");
    auto* button = qobject_cast<QAbstractButton*>(form.control(QStringLiteral("btnArchive")));
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->text(), QStringLiteral("Archive"));
    EXPECT_EQ(presenter.archiveWindow(), nullptr);
    button->click();
    ArchiveWindow* w = presenter.archiveWindow();
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->isVisible());
    ASSERT_TRUE(settle(*w));
    EXPECT_EQ(w->statusText(), QStringLiteral("0 tests"));
    button->click();
    EXPECT_EQ(presenter.archiveWindow(), w);
    app.FormClose();
}
