#pragma once
// The lab's archive of tests: every run's parameters, specimens, calibration, measurements and
// per-cell figures in one database, so "which gloves did we test against toluene, and how did they
// do?" is one query. By default a SQLite file in the user's data folder; for a lab with several
// instruments a PostgreSQL server, named in the settings (`[Archive] Database=postgresql://host/db`)
// with its credentials where libpq looks for them (~/.pgpass, readable by the user only, or the
// service file), never in Korvat.ini. Both through Qt SQL with the same statements; every value is
// bound as a parameter.
//
// A test is stored in one transaction, and only once: its id (a UUID) is the key, so storing it
// again, importing the same results file again, changes nothing. The schema carries its version;
// an older one is migrated forward when opened, a newer one is refused.

#include "evaluation/MeasurementExport.h"
#include "shell/ProgramFolders.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <vector>

namespace korvat {

inline constexpr int kArchiveSchemaVersion = 1;

// A sample cell's figures as the archive keeps them (one row per cell and detector).
struct ArchivedCell {
    int cell = 0;
    QString detector; // "FID" or "FPD"
    QString sample, material, lot, chemical;
    std::optional<double> thicknessMm, areaCm2, molarMass;
    double contactMinutes = 0;
    bool calibrated = true;
    std::optional<double> bt01Minutes, bt10Minutes; // interpolated breakthrough times
    bool brokeThrough = false;                      // at 1.0 ug/cm²/min
    double heldMinutes = 0;                         // exposure without breakthrough
    QString level;                                  // EN ISO 374-1 level as the summary writes it
    int levelLowest = 0, levelHighest = 0;          // 0: no level
    std::optional<double> steadyRate;
    double cumulative = 0;
    int measurements = 0;
    QString decision;
    bool operator==(const ArchivedCell&) const = default;
};

struct ArchivedTest {
    QString testId;
    QString instrument;
    QString resultsFile; // where it was written (or imported from)
    int fileRun = 1;
    QDateTime started;
    QString detector;    // "FID" or "FID+FPD"
    int measuringSeconds = 0;
    double plannedMinutes = 0;
    std::optional<double> sampleArea;
    double fidCalPpm = 0, fpdCalPpm = 0;
    qint64 fidCalArea = 0, fpdCalArea = 0;
    QString requirement;
    QString source; // "run" (written as it went) or "import"
    std::vector<ArchivedCell> cells;
    std::vector<ExportRecord> measurements;
};

// What a list or find shows of a test.
struct TestListing {
    QString testId, instrument, resultsFile;
    int fileRun = 1;
    QDateTime started;
    QStringList chemicals, materials;
    int measurements = 0;
    // The sample cells (the FID's figures) and how the weakest of them did: its breakthrough at
    // 1.0 ug/cm²/min, or with none broken through the shortest time they all held; the EN ISO
    // 374-1 level of that (a lower bound when nothing broke through; 0: none).
    int cells = 0;
    std::optional<double> lowestBt10;
    std::optional<double> heldMinutes;
    int level = 0;
    bool levelAtLeast = false;
    // The weakest cell's level as its figures give it ("3", ">= 5", "0-1" for a breakthrough at
    // or before its first measurement, which has no interpolated time); empty: none.
    QString levelText;
};

struct ArchiveFilter {
    QString chemical, material, serial; // compared without case; empty: any
    std::optional<QDateTime> since;
    std::optional<QDateTime> until; // tests started before it
};

// One line of the chemical resistance chart: a material against a chemical over every test.
struct ChartLine {
    QString material, chemical;
    int specimens = 0, tests = 0;
    std::optional<double> lowestBt10; // minutes; none: no specimen broke through
    double heldMinutes = 0;           // without breakthrough: the shortest exposure that held
    int level = 0;                    // EN ISO 374-1 level of the weakest specimen (0: none)
    bool levelAtLeast = false;        // no specimen broke through: the level is a lower bound
    // A specimen broke through by its first measurement: there is no time to interpolate, and
    // the level is the one its cell was given.
    bool brokeUntimed = false;
};

class Archive {
public:
    // Opens (and creates or migrates) the archive `where`: a SQLite file path (or
    // "sqlite:PATH"), or "postgresql://[user@]host[:port]/db" (host may be a socket folder,
    // percent-encoded) or "postgresql:///db?service=NAME". nullptr with `error` said.
    static std::unique_ptr<Archive> open(const QString& where, QString* error);
    ~Archive();
    Archive(const Archive&) = delete;
    Archive& operator=(const Archive&) = delete;

    // The default place: $XDG_DATA_HOME/korvat/archive.sqlite.
    static QString defaultLocation();
    // The program's own archive file: beside the settings of a program that keeps its files
    // together, in the user's data folder for an installed one.
    static QString localFileFor(const ProgramFolders& folders);
    // The database's schema version (after opening: kArchiveSchemaVersion).
    int schemaVersion() const;
    bool isPostgres() const;

    // A test already there gets the measurements it lacks (a write a kill cut off): Completed,
    // with their number in `filled`; with none lacking, AlreadyThere and nothing changes.
    enum class Stored { Added, Completed, AlreadyThere, Failed };
    Stored store(const ArchivedTest& test, QString* error, int* filled = nullptr);
    // A run as it goes: the test once, `rows` each once (again: nothing), its cells' figures as
    // they stand now; one transaction. False with `error` said.
    bool update(const ArchivedTest& test, const std::vector<ExportRecord>& rows, QString* error);
    // Sends every test changed since it was last sent to `remote` (the lab's server), each
    // measurement exactly once however often a pass is cut off. The number sent, -1 on a failure.
    int syncTo(Archive& remote, QString* error);
    // Tests changed since they were last sent.
    int unsent() const;
    bool contains(const QString& testId) const;

    std::vector<TestListing> find(const ArchiveFilter& filter, QString* error = nullptr) const;
    // A test with its measurements after number `after`.
    std::optional<ArchivedTest> load(const QString& testId, QString* error = nullptr, int after = 0) const;
    // The highest measurement number stored for the test (0: none), -1 when the database fails.
    int lastMeasurement(const QString& testId) const;
    // How many of its measurements numbered up to `upTo` are stored, -1 when the database fails.
    int countUpTo(const QString& testId, int upTo) const;
    // Tests whose id begins with `prefix` (an id can be given shortened).
    QStringList idsStartingWith(const QString& prefix) const;
    std::vector<ChartLine> chart(const ArchiveFilter& filter, QString* error = nullptr) const;
    // The names a filter can be given: every chemical, material and instrument in the archive.
    enum class Names { Chemicals, Materials, Instruments };
    QStringList names(Names which, QString* error = nullptr) const;

    struct Impl;

private:
    explicit Archive(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> d_;
};

// The chart as CSV (UTF-8, comma-separated, decimal point).
QByteArray chartCsv(const std::vector<ChartLine>& lines);

} // namespace korvat
