#pragma once
// The files a run writes: the results file (header block once, one row per measurement) and, when
// asked for, one raw-data file per measurement beside it. Rows and raw-data files that cannot be
// written wait in memory and are written, in order, before the next ones; the operator is told in
// the status line and the log. A test runs overnight without anyone watching, and a lost row costs
// the whole run.

#include "evaluation/CellSummary.h"
#include "evaluation/ResultsFile.h"
#include "run/RawDataFile.h"
#include "shell/Config.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <map>

namespace korvat {

class Events;
class Link;
class LinkView;
struct MeasurementRecord;
struct Series;

class Records {
public:
    struct Deps {
        LinkView& view;
        Link& link;
        const Settings& settings;
        const TDeviceTyp& deviceTyp;
        Events& events;
        const int& ID; // the program's language: the decimal separator of the files
    };
    explicit Records(Deps deps) : d_(deps) {}

    // The results file chosen on the sample-info page; empty until one is chosen.
    QString sDateiname;

    // Writes the header block of a newly chosen file. A file that exists keeps its content
    // (`existed` says so). A header that cannot be written now is kept with its file and written
    // before that file's first row that gets through (also when another file is chosen meanwhile);
    // the call then returns false and `error` says why.
    bool createFile(const QString& path, const QStringList& header, QString* error, bool* existed);
    // A run starts into sDateiname as `plan` found it: the run's number names its raw-data files
    // and summary, and when the plan asks for it, `header` (the run's header block) goes below
    // what the file holds before the run's first row. A block that cannot be written waits with
    // the rows. A header block still waiting from the file's choice is replaced by `header`.
    void beginRun(const RunFilePlan& plan, const QStringList& header);
    // The run's number within its results file (1: the file's first run).
    int fileRun() const { return fileRun_; }
    void setFileRun(int fileRun) { fileRun_ = fileRun; }

    // The measurement's row in the results file (when one is chosen). `beforeWrite` is told,
    // before anything is written, the file's size and the bytes this append is to add (rows that
    // waited, then this one), so a run state can be saved that survives a kill between the two.
    using BeforeWrite = std::function<void(qint64 size, const QByteArray& bytes)>;
    void append(const MeasurementRecord& r, const BeforeWrite& beforeWrite = {});
    // The measurement's raw-data file beside the results file (when one is chosen and raw data
    // are to be kept).
    void writeRawData(const MeasurementRecord& r, const Series& fid, const Series& fpd, const EvaluationState& eval);
    // The lab's figures of every cell and detector, "<name>_summary.csv" beside the results file
    // ("<name>_run2_summary.csv" for the file's second run), replaced whole after every measurement (the results file's code page, line ends and
    // decimal separator). A file that cannot be written is said, and written with the next one.
    // The groups of replicates follow the cells (GroupSummary.h), judged against `requirement`.
    void writeSummary(const std::vector<CellSummary>& summaries, const Requirement& requirement = {});

    // A last try for whatever waits (the program is closing). False and `error` when something
    // still cannot be written.
    bool flushAtClose(QString* error);

    std::size_t rowsWaiting() const { return rows_.waiting(); }
    std::size_t rawFilesWaiting() const { return raw_.waiting(); }

    // Says what went wrong with a file: status line, log, debug log and the event list.
    void report(const QString& text);

private:
    void writePendingHeaders();

    Deps d_;
    ResultsWriter rows_;
    RawDataFile raw_;
    // Header blocks that could not be written when their file was chosen, by file.
    std::map<QString, QStringList> headersPending_;
    int fileRun_ = 1;
};

} // namespace korvat
