// Reading a results file back, as korvat-eval --summary does, and the lab's figures from it. The
// input is the file's bytes, with dates read under a German or the C locale.
// Checks: a file that does not read names the file and a line and gives no run; one that reads
// gives runs whose rows each have one field more than the run's column titles (14 or 16) when
// written again; the rows written again under a header of the run's own read back as one run with
// the same rows, and writing those once more gives the same text (nothing drifts); positions,
// marks, measurement numbers and elapsed times come back unchanged.

#include "FuzzCheck.h"
#include "evaluation/CellSummary.h"
#include "evaluation/ResultsFileReader.h"
#include "util/CodePage.h"

using namespace korvat;

namespace {

const QLocale kGerman(QLocale::German, QLocale::Germany);
const QLocale kEnglish(QLocale::English, QLocale::UnitedStates);

// The locale a run's numbers were written under: its decimal separator decides.
const QLocale& writerOf(const ResultsRun& run) {
    return run.decimalPoint == QLatin1Char(',') ? kGerman : kEnglish;
}

void checkRun(const ResultsRun& run) {
    const bool both = run.deviceTyp == TDeviceTyp::FIDFPD;
    FUZZ_CHECK(run.deviceTyp == TDeviceTyp::FID || both, "a configuration other than FID or FIDFPD");
    FUZZ_CHECK(run.rows.size() == run.rowLines.size(), "rows and their lines differ in number");
    FUZZ_CHECK(run.rows.empty() || run.firstLine == run.rowLines.front(), "the first row's line is not the run's");
    for (std::size_t k = 1; k < run.rows.size(); ++k) {
        FUZZ_CHECK(run.rowLines[k] > run.rowLines[k - 1], "rows out of the file's order");
        FUZZ_CHECK(run.rows[k].runAktiv > run.rows[k - 1].runAktiv, "measurement numbers that do not rise in a run");
    }

    const QLocale& locale = writerOf(run);
    QStringList lines;
    ResultsHeader header;
    header.Messzeit = run.measuringSeconds;
    header.LimitFID = 1;
    lines << resultsHeaderLines(header, run.ID, run.deviceTyp, locale);
    const auto titles = lines.size();
    for (const ResultRow& r : run.rows) {
        const QString text = resultRowText(r, run.deviceTyp, locale);
        FUZZ_CHECK(text.count(QLatin1Char(';')) + 1 == (both ? 16 : 14), "a row without the title line's field count");
        lines << text;
    }
    const ResultsFileRead again = parseResultsFile(QStringLiteral("again.csv"), toCp1252(lines.join(QStringLiteral("\r\n"))), locale);
    FUZZ_CHECK(again.ok, "rows written again do not read");
    FUZZ_CHECK(again.runs.size() == 1, "rows written again read as another number of runs");
    const ResultsRun& back = again.runs[0];
    FUZZ_CHECK(back.deviceTyp == run.deviceTyp && back.ID == run.ID && back.measuringSeconds == run.measuringSeconds &&
                   back.decimalPoint == run.decimalPoint,
               "the header written again reads differently");
    FUZZ_CHECK(back.rows.size() == run.rows.size(), "rows written again read as another number of rows");
    for (std::size_t k = 0; k < run.rows.size(); ++k) {
        const ResultRow& a = run.rows[k];
        const ResultRow& b = back.rows[k];
        FUZZ_CHECK(a.runZelle == b.runZelle && a.marker == b.marker && a.runAktiv == b.runAktiv && a.elapsedMs == b.elapsedMs,
                   "a position, mark, measurement number or elapsed time changed");
        FUZZ_CHECK(a.breakTime == b.breakTime && a.sampleName == b.sampleName && a.sChemikalie == b.sChemikalie,
                   "a text field changed");
        FUZZ_CHECK(resultRowText(b, run.deviceTyp, locale) == lines[titles + static_cast<qsizetype>(k)],
                   "a row written a second time differs from the first");
    }

    // The figures: no crash, no undefined behaviour, whatever the rows hold.
    std::vector<const ResultRow*> rows;
    for (const ResultRow& r : run.rows)
        rows.push_back(&r);
    // A cell that was measured but has no figures (its detector not calibrated, or measured only
    // before the contact) still gets its line, with an empty series.
    for (const CellSummary& s : summarizeCells(rows, run.parameters, both, DetectionSettings{})) {
        FUZZ_CHECK(s.cell >= 1 && s.cell <= 3, "a summary of no cell");
        FUZZ_CHECK(s.series.empty() || s.calibrated, "figures from a detector that is not calibrated");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const QString kName = QStringLiteral("Glove7.csv");
    const QLocale& locale = size % 2 ? kGerman : QLocale::c();
    const ResultsFileRead read = parseResultsFile(kName, fuzz::bytesOf(data, size), locale);
    if (!read.ok) {
        FUZZ_CHECK(read.error.startsWith(kName + QStringLiteral(", line ")), "a file that does not read without its line");
        FUZZ_CHECK(read.error == kName + read.detail, "the message is not the name and the detail");
        FUZZ_CHECK(read.runs.empty(), "a file that does not read gives runs");
        return 0;
    }
    FUZZ_CHECK(!read.runs.empty(), "a file that reads without a run");
    for (const ResultsRun& run : read.runs)
        checkRun(run);
    return 0;
}
