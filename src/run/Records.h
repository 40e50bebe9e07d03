#pragma once
// The files a run writes, as the tick sees them: the results file (header block once, one row
// per measurement), one raw-data file per measurement when asked for, the summary. Records
// makes their contents; the recorder (Recorder.h) writes them off the tick, and what cannot be
// written waits there, in order, kept in the run state. Records watches how that stands, once a
// tick, and tells the operator: the window shows it until it is over, the event list and journal
// get its beginning and end, Korvat.ini points at the run state wherever it is kept. A test runs
// overnight without anyone watching, and a lost row costs the whole run.

#include "evaluation/CellSummary.h"
#include "evaluation/ResultsFile.h"
#include "run/RawDataFile.h"
#include "run/Recorder.h"
#include "run/RunView.h"
#include "shell/Config.h"
#include "util/Clock.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace korvat {

class Events;
class IniFile;
class Link;
class LinkView;
struct MeasurementRecord;
struct Series;

class Records {
public:
    struct Deps {
        RunView& view;
        Link& link;
        const Settings& settings;
        const TDeviceTyp& deviceTyp;
        Events& events;
        const int& ID; // the program's language: the decimal separator of the files
        IniFile& ini;
        Clock& clock;
        Recorder& recorder;
    };
    explicit Records(Deps deps) : d_(deps) {}

    // The results file chosen on the sample-info page; empty until one is chosen.
    QString sDateiname;

    // The results file chosen: its header block is written when the file is made (once; a file
    // that exists keeps its content, `existed` says so). When its folder or the file cannot be
    // written now, the header waits with the file, the call returns false and `error` says why.
    bool createFile(const QString& path, const QStringList& header, QString* error, bool* existed);
    // A run starts into sDateiname as `plan` found it: the run's number names its raw-data files
    // and summary, and when the plan asks for it, `header` (the run's header block) goes below
    // what the file holds before the run's first row. A file that is not there any more gets
    // it as its first lines. A header block still waiting from the file's choice is replaced.
    void beginRun(const RunFilePlan& plan, const QStringList& header);
    // The run's number within its results file (1: the file's first run).
    int fileRun() const { return fileRun_; }
    void setFileRun(int fileRun) { fileRun_ = fileRun; }

    // The measurement's row as it goes into the results file (Windows-1252, CR LF).
    QByteArray rowBytes(const MeasurementRecord& r) const;
    // The measurement's raw-data file beside the results file, when one is chosen and raw data
    // are kept. A file that would not load again is not written: nullopt and `why`.
    struct RawData {
        QString path;
        QByteArray bytes;
    };
    std::optional<RawData> rawData(const MeasurementRecord& r, const Series& fid, const Series& fpd,
                                   const EvaluationState& eval, QString* why) const;
    // The lab's figures of every cell and detector, "<name>_summary.csv" beside the results file
    // ("<name>_run2_summary.csv" for the file's second run), replaced whole after every
    // measurement (the results file's code page, line ends and decimal separator). The groups of
    // replicates follow the cells (GroupSummary.h), judged against `requirement`.
    QString summaryPath() const;
    // The run's locale-free export beside the results file (empty without a results file), and
    // taking it for the run's rows: made with its title line, or taken as it is.
    QString exportPath() const;
    void takeExport();
    QByteArray summaryBytes(const std::vector<CellSummary>& summaries, const Requirement& requirement = {}) const;

    // Hands a measurement's files (and the run's state) to the recorder; never waits.
    void commit(FinishedMeasurement m);
    quint64 recorderStateEpoch() const;
    // The run is over: its state goes once nothing of it waits.
    void runOver();

    // The program is closing: a last try, bounded; what still waits is kept in a run state and
    // said. False and `error` (the text for the operator) when something waits.
    bool flushAtClose(QString* error);

    std::size_t rowsWaiting() const { return d_.recorder.rowsWaiting(); }
    std::size_t rawFilesWaiting() const { return d_.recorder.rawFilesWaiting(); }
    const StorageState& storage() const { return storage_; }

    // Says what went wrong with a file: status line, log, debug log and the event list.
    void report(const QString& text);
    // Once a tick (and after anything handed over outside it): how the files stand, told to the
    // window, the event list and Korvat.ini; whatever waits is tried again every few seconds.
    void watch();

private:
    QString T(int n) const;
    void show(const RecorderHealth& h, bool notAnswering);

    Deps d_;
    int fileRun_ = 1;
    quint64 healthSerial_ = ~quint64(0);
    RecorderHealth health_;
    StorageState storage_;
    QString stateInIni_;
    bool stateInIniRead_ = false;
    Millis lastRetry_{0};
    // A write that has not come back: which operation, seen since when.
    quint64 busySerial_ = 0;
    Millis busySince_{0};
    QDateTime busySinceWall_;
    QString busyFile_;
    bool notAnswering_ = false;
    bool kept_ = false;
};

} // namespace korvat
