#pragma once
// A results file the program ever wrote, read into the archive's form: one test per run of the
// file, its figures computed as korvat-eval computes them, its measurements from the run's
// locale-free export when it has one (every digit, the flags, the raw-data files' hashes) and
// from the results file's rows otherwise. A run's id is its export's; a run without one gets an
// id derived from what identifies it (instrument, start, file name, run number), so importing the
// same file again, from wherever it lies, gives the same id.

#include "run/Archive.h"

#include <QString>
#include <vector>

namespace korvat {

struct ImportedFile {
    bool ok = false;
    QString error; // the file and, for a fault inside it, the line
    std::vector<ArchivedTest> tests;
};

ImportedFile archivedTestsOf(const QString& resultsFile);

struct CellSummary;
// A cell's figures as the archive keeps them.
ArchivedCell archivedCellOf(const CellSummary& summary);

} // namespace korvat
