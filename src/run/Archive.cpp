#include "run/Archive.h"

#include "evaluation/PermeationMetrics.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStandardPaths>
#include <QUrl>
#include <QUrlQuery>
#include <QVariant>
#include <algorithm>
#include <atomic>
#include <map>

namespace korvat {

namespace {

std::atomic<int> connections{0};

// The statements that make schema version n from n - 1 (the first from nothing). Types both
// SQLite and PostgreSQL take; times as ISO text with their offset plus milliseconds since the
// epoch for ranges.
const std::vector<QStringList>& migrations() {
    static const std::vector<QStringList> steps = {
        {
            QStringLiteral("CREATE TABLE schema_info (version INTEGER NOT NULL)"),
            QStringLiteral("INSERT INTO schema_info (version) VALUES (0)"),
        },
        {
            QStringLiteral("CREATE TABLE tests (test_id TEXT PRIMARY KEY, instrument TEXT NOT NULL, "
                           "results_file TEXT NOT NULL, file_run INTEGER NOT NULL, started TEXT NOT NULL, "
                           "started_ms BIGINT NOT NULL, detector TEXT NOT NULL, measuring_s INTEGER NOT NULL, "
                           "planned_min DOUBLE PRECISION NOT NULL, sample_area DOUBLE PRECISION, "
                           "fid_cal_ppm DOUBLE PRECISION NOT NULL, fid_cal_area BIGINT NOT NULL, "
                           "fpd_cal_ppm DOUBLE PRECISION NOT NULL, fpd_cal_area BIGINT NOT NULL, "
                           "requirement TEXT NOT NULL, source TEXT NOT NULL, archived_ms BIGINT NOT NULL, "
                           "updated_ms BIGINT NOT NULL DEFAULT 0, synced_ms BIGINT NOT NULL DEFAULT 0, "
                           "measurement_count INTEGER NOT NULL DEFAULT 0)"),
            QStringLiteral("CREATE TABLE cells (test_id TEXT NOT NULL REFERENCES tests(test_id), cell INTEGER NOT NULL, "
                           "detector TEXT NOT NULL, sample TEXT NOT NULL, material TEXT NOT NULL, "
                           "material_key TEXT NOT NULL, lot TEXT NOT NULL, chemical TEXT NOT NULL, "
                           "chemical_key TEXT NOT NULL, thickness_mm DOUBLE PRECISION, area_cm2 DOUBLE PRECISION, "
                           "molar_mass DOUBLE PRECISION, contact_min DOUBLE PRECISION NOT NULL, "
                           "calibrated INTEGER NOT NULL, bt01_min DOUBLE PRECISION, bt10_min DOUBLE PRECISION, "
                           "broke INTEGER NOT NULL, held_min DOUBLE PRECISION NOT NULL, level TEXT NOT NULL, "
                           "level_lowest INTEGER NOT NULL, level_highest INTEGER NOT NULL, "
                           "steady_rate DOUBLE PRECISION, cumulative DOUBLE PRECISION NOT NULL, "
                           "measurements INTEGER NOT NULL, decision TEXT NOT NULL, "
                           "PRIMARY KEY (test_id, cell, detector))"),
            QStringLiteral("CREATE TABLE measurements (test_id TEXT NOT NULL REFERENCES tests(test_id), "
                           "measurement INTEGER NOT NULL, cycle INTEGER NOT NULL, time TEXT NOT NULL, "
                           "time_ms BIGINT NOT NULL, elapsed_min DOUBLE PRECISION NOT NULL, "
                           "position INTEGER NOT NULL, cell INTEGER, sample TEXT NOT NULL, material TEXT NOT NULL, "
                           "lot TEXT NOT NULL, thickness_mm DOUBLE PRECISION, area_cm2 DOUBLE PRECISION, "
                           "chemical TEXT NOT NULL, detector TEXT NOT NULL, flow DOUBLE PRECISION NOT NULL, "
                           "fid_area DOUBLE PRECISION NOT NULL, fid_ppm DOUBLE PRECISION NOT NULL, "
                           "fid_rate DOUBLE PRECISION NOT NULL, fpd_area DOUBLE PRECISION, fpd_rate DOUBLE PRECISION, "
                           "breakthrough INTEGER NOT NULL, switched_off INTEGER NOT NULL, no_peak INTEGER NOT NULL, "
                           "event INTEGER NOT NULL, raw_file TEXT NOT NULL, raw_sha256 TEXT NOT NULL, "
                           "PRIMARY KEY (test_id, measurement))"),
            QStringLiteral("CREATE INDEX cells_chemical ON cells (chemical_key)"),
            QStringLiteral("CREATE INDEX cells_material ON cells (material_key)"),
            QStringLiteral("CREATE INDEX tests_started ON tests (started_ms)"),
            QStringLiteral("CREATE INDEX tests_instrument ON tests (instrument)"),
        },
    };
    return steps;
}

QVariant opt(const std::optional<double>& v) { return v ? QVariant(*v) : QVariant(QMetaType(QMetaType::Double)); }
std::optional<double> opt(const QVariant& v) {
    return v.isNull() ? std::nullopt : std::optional<double>(v.toDouble());
}
// A text never goes in as NULL: an empty name is an empty name (and the columns say NOT NULL).
QVariant bound(const QVariant& v) {
    if (v.typeId() == QMetaType::QString && v.toString().isNull())
        return QVariant(QString(QLatin1String("")));
    return v;
}
QString key(const QString& text) { return text.trimmed().toCaseFolded(); }
QString isoTime(const QDateTime& t) { return t.toOffsetFromUtc(t.offsetFromUtc()).toString(Qt::ISODateWithMs); }

} // namespace

struct Archive::Impl {
    QString connection;
    bool postgres = false;
    int version = 0;

    QSqlDatabase db() const { return QSqlDatabase::database(connection, false); }

    // Runs `sql` with `values` bound in order; false with `error` said.
    bool exec(QSqlQuery& q, const QString& sql, const QVariantList& values, QString* error) const {
        // A statement without values runs as it is (PostgreSQL prepares no DDL).
        if (values.isEmpty()) {
            if (!q.exec(sql)) {
                if (error)
                    *error = q.lastError().text();
                return false;
            }
            return true;
        }
        if (!q.prepare(sql)) {
            if (error)
                *error = q.lastError().text();
            return false;
        }
        for (const QVariant& v : values)
            q.addBindValue(bound(v));
        if (!q.exec()) {
            if (error)
                *error = q.lastError().text();
            return false;
        }
        return true;
    }
    bool exec(const QString& sql, const QVariantList& values, QString* error) const {
        QSqlQuery q(db());
        return exec(q, sql, values, error);
    }

    bool insertTest(const ArchivedTest& t, bool* added, QString* error) const;
    bool replaceCells(const ArchivedTest& t, QString* error) const;
    // Adds the rows not there yet and counts them on the test.
    bool addMeasurements(const QString& testId, const std::vector<ExportRecord>& rows, QString* error,
                         int* added = nullptr) const;

    bool migrate(QString* error) {
        QSqlDatabase d = db();
        const bool fresh = !d.tables().contains(QStringLiteral("schema_info"));
        if (!fresh) {
            QSqlQuery q(d);
            if (!exec(q, QStringLiteral("SELECT version FROM schema_info"), {}, error) || !q.next()) {
                if (error && error->isEmpty())
                    *error = QStringLiteral("the archive's schema_info holds no version");
                return false;
            }
            version = q.value(0).toInt();
            if (version > kArchiveSchemaVersion) {
                *error = QStringLiteral("the archive's schema is version %1, newer than this program's (%2): "
                                        "use a newer korvat to open it")
                             .arg(version)
                             .arg(kArchiveSchemaVersion);
                return false;
            }
        }
        const auto& steps = migrations();
        for (int target = fresh ? 0 : version + 1; target <= kArchiveSchemaVersion; ++target) {
            if (!d.transaction()) {
                *error = d.lastError().text();
                return false;
            }
            for (const QString& sql : steps[std::size_t(target)]) {
                if (!exec(sql, {}, error)) {
                    d.rollback();
                    *error = QStringLiteral("migrating the archive to version %1: %2").arg(target).arg(*error);
                    return false;
                }
            }
            if (target > 0 && !exec(QStringLiteral("UPDATE schema_info SET version = ?"), {target}, error)) {
                d.rollback();
                return false;
            }
            if (!d.commit()) {
                *error = d.lastError().text();
                return false;
            }
            version = target;
        }
        return true;
    }
};

Archive::Archive(std::unique_ptr<Impl> impl) : d_(std::move(impl)) {}

Archive::~Archive() {
    const QString name = d_->connection;
    {
        QSqlDatabase d = QSqlDatabase::database(name, false);
        if (d.isOpen())
            d.close();
    }
    QSqlDatabase::removeDatabase(name);
}

QString Archive::defaultLocation() {
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (data.isEmpty())
        data = QDir::homePath() + QStringLiteral("/.local/share");
    return data + QStringLiteral("/korvat/archive.sqlite");
}

QString Archive::localFileFor(const ProgramFolders& folders) {
    if (folders.rule == FolderRule::UserFolders)
        return defaultLocation();
    return folders.settingsDir + QStringLiteral("archive.sqlite");
}

std::unique_ptr<Archive> Archive::open(const QString& where, QString* error) {
    auto impl = std::make_unique<Impl>();
    impl->connection = QStringLiteral("korvat-archive-%1").arg(++connections);
    const bool postgres = where.startsWith(QLatin1String("postgresql:")) || where.startsWith(QLatin1String("postgres:"));
    impl->postgres = postgres;
    const QString driver = postgres ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE");
    if (!QSqlDatabase::isDriverAvailable(driver)) {
        *error = QStringLiteral("the Qt SQL driver %1 is not installed (Debian: %2)")
                     .arg(driver, postgres ? QStringLiteral("libqt6sql6-psql") : QStringLiteral("libqt6sql6-sqlite"));
        return nullptr;
    }
    {
        QSqlDatabase d = QSqlDatabase::addDatabase(driver, impl->connection);
        if (postgres) {
            const QUrl url(where);
            if (!url.isValid()) {
                *error = QStringLiteral("%1 is not a database address").arg(where);
                QSqlDatabase::removeDatabase(impl->connection);
                return nullptr;
            }
            // A password never comes from here: libpq takes it from ~/.pgpass or the service file.
            if (!url.password().isEmpty()) {
                *error = QStringLiteral("the archive's address must not hold a password: put it in ~/.pgpass "
                                        "(readable by you only) or the PostgreSQL service file");
                d = QSqlDatabase();
                QSqlDatabase::removeDatabase(impl->connection);
                return nullptr;
            }
            const QString host = QUrl::fromPercentEncoding(url.host(QUrl::FullyEncoded).toLatin1());
            if (!host.isEmpty())
                d.setHostName(host);
            if (url.port() > 0)
                d.setPort(url.port());
            if (!url.userName().isEmpty())
                d.setUserName(url.userName());
            const QString name = url.path().mid(1);
            if (!name.isEmpty())
                d.setDatabaseName(name);
            QStringList options;
            const QUrlQuery query(url);
            for (const auto& [k, v] : query.queryItems(QUrl::FullyDecoded)) {
                if (k == QLatin1String("host")) // a socket folder given as ?host=/run/...
                    d.setHostName(v);
                else if (k == QLatin1String("service") || k == QLatin1String("connect_timeout") ||
                         k == QLatin1String("sslmode") || k == QLatin1String("application_name"))
                    options << k + QLatin1Char('=') + v;
            }
            // The address's own connect_timeout wins (an element is "connect_timeout=N").
            if (!std::any_of(options.begin(), options.end(),
                             [](const QString& o) { return o.startsWith(QLatin1String("connect_timeout=")); }))
                options << QStringLiteral("connect_timeout=5");
            // A server that stops answering mid-statement lets go after a while too.
            options << QStringLiteral("options='-c statement_timeout=20000'");
            d.setConnectOptions(options.join(QLatin1Char(';')));
        } else {
            QString path = where.startsWith(QLatin1String("sqlite:")) ? where.mid(7) : where;
            QDir().mkpath(QFileInfo(path).absolutePath());
            d.setDatabaseName(path);
            // A second program writing the same file waits for it rather than failing at once.
            d.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
        }
        if (!d.open()) {
            *error = QStringLiteral("the archive %1 cannot be opened: %2").arg(where, d.lastError().text());
            d = QSqlDatabase();
            QSqlDatabase::removeDatabase(impl->connection);
            return nullptr;
        }
        if (!postgres) {
            QSqlQuery q(d);
            q.exec(QStringLiteral("PRAGMA foreign_keys = ON"));
            q.exec(QStringLiteral("PRAGMA journal_mode = WAL"));
        }
    }
    std::unique_ptr<Archive> archive(new Archive(std::move(impl)));
    QString why;
    if (!archive->d_->migrate(&why)) {
        *error = QStringLiteral("%1: %2").arg(where, why);
        return nullptr;
    }
    return archive;
}

int Archive::schemaVersion() const { return d_->version; }
bool Archive::isPostgres() const { return d_->postgres; }

bool Archive::contains(const QString& testId) const {
    QSqlQuery q(d_->db());
    return d_->exec(q, QStringLiteral("SELECT 1 FROM tests WHERE test_id = ?"), {testId}, nullptr) && q.next();
}

bool Archive::Impl::insertTest(const ArchivedTest& t, bool* added, QString* error) const {
    // Once: a second writer of the same test (a re-import, a retry after a lost connection)
    // finds it there and adds nothing.
    QSqlQuery q(db());
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (!exec(q,
              QStringLiteral("INSERT INTO tests (test_id, instrument, results_file, file_run, started, started_ms, "
                             "detector, measuring_s, planned_min, sample_area, fid_cal_ppm, fid_cal_area, "
                             "fpd_cal_ppm, fpd_cal_area, requirement, source, archived_ms, updated_ms) "
                             "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) "
                             "ON CONFLICT (test_id) DO NOTHING"),
              {t.testId, t.instrument, t.resultsFile, t.fileRun, isoTime(t.started), t.started.toMSecsSinceEpoch(),
               t.detector, t.measuringSeconds, t.plannedMinutes, opt(t.sampleArea), t.fidCalPpm, t.fidCalArea,
               t.fpdCalPpm, t.fpdCalArea, t.requirement, t.source, now, now},
              error))
        return false;
    *added = q.numRowsAffected() > 0;
    return true;
}

bool Archive::Impl::replaceCells(const ArchivedTest& t, QString* error) const {
    if (!exec(QStringLiteral("DELETE FROM cells WHERE test_id = ?"), {t.testId}, error))
        return false;
    for (const ArchivedCell& c : t.cells) {
        if (!exec(QStringLiteral("INSERT INTO cells (test_id, cell, detector, sample, material, material_key, lot, "
                                 "chemical, chemical_key, thickness_mm, area_cm2, molar_mass, contact_min, "
                                 "calibrated, bt01_min, bt10_min, broke, held_min, level, level_lowest, "
                                 "level_highest, steady_rate, cumulative, measurements, decision) VALUES "
                                 "(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                  {t.testId, c.cell, c.detector, c.sample, c.material, key(c.material), c.lot, c.chemical,
                   key(c.chemical), opt(c.thicknessMm), opt(c.areaCm2), opt(c.molarMass), c.contactMinutes,
                   c.calibrated ? 1 : 0, opt(c.bt01Minutes), opt(c.bt10Minutes), c.brokeThrough ? 1 : 0,
                   c.heldMinutes, c.level, c.levelLowest, c.levelHighest, opt(c.steadyRate), c.cumulative,
                   c.measurements, c.decision},
                  error)) {
            *error = QStringLiteral("cell %1: %2").arg(c.cell).arg(*error);
            return false;
        }
    }
    return true;
}

bool Archive::Impl::addMeasurements(const QString& testId, const std::vector<ExportRecord>& rows, QString* error,
                                    int* count) const {
    QSqlQuery m(db());
    // Each measurement once, by test and number: sent again after a lost answer, it adds nothing.
    if (!m.prepare(QStringLiteral(
            "INSERT INTO measurements (test_id, measurement, cycle, time, time_ms, elapsed_min, position, cell, "
            "sample, material, lot, thickness_mm, area_cm2, chemical, detector, flow, fid_area, fid_ppm, fid_rate, "
            "fpd_area, fpd_rate, breakthrough, switched_off, no_peak, event, raw_file, raw_sha256) VALUES "
            "(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) "
            "ON CONFLICT (test_id, measurement) DO NOTHING"))) {
        *error = m.lastError().text();
        return false;
    }
    int added = 0;
    for (const ExportRecord& r : rows) {
        const QVariantList values = {testId,
                                     r.measurement,
                                     r.cycle,
                                     isoTime(r.moment),
                                     r.moment.toMSecsSinceEpoch(),
                                     r.elapsedMinutes,
                                     r.position,
                                     r.cell ? QVariant(*r.cell) : QVariant(QMetaType(QMetaType::Int)),
                                     r.sampleName,
                                     r.material,
                                     r.lot,
                                     opt(r.thicknessMm),
                                     opt(r.areaCm2),
                                     r.chemical,
                                     r.detector,
                                     r.flow,
                                     r.fidArea,
                                     r.fidPpm,
                                     r.fidRate,
                                     opt(r.fpdArea),
                                     opt(r.fpdRate),
                                     r.breakthrough ? 1 : 0,
                                     r.switchedOff ? 1 : 0,
                                     r.noPeak ? 1 : 0,
                                     r.event ? 1 : 0,
                                     r.rawFile,
                                     r.rawSha256};
        for (int i = 0; i < values.size(); ++i)
            m.bindValue(i, bound(values[i]));
        if (!m.exec()) {
            *error = QStringLiteral("measurement %1: %2").arg(r.measurement).arg(m.lastError().text());
            return false;
        }
        added += std::max(0, m.numRowsAffected());
    }
    if (count)
        *count = added;
    return added == 0 || exec(QStringLiteral("UPDATE tests SET measurement_count = measurement_count + ? WHERE test_id = ?"),
                              {added, testId}, error);
}

Archive::Stored Archive::store(const ArchivedTest& t, QString* error, int* filled) {
    QSqlDatabase d = d_->db();
    if (!d.transaction()) {
        *error = d.lastError().text();
        return Stored::Failed;
    }
    bool added = false;
    int count = 0;
    if (!d_->insertTest(t, &added, error) || !d_->addMeasurements(t.testId, t.measurements, error, &count)) {
        d.rollback();
        return Stored::Failed;
    }
    if (!added && count == 0) {
        d.rollback();
        return Stored::AlreadyThere;
    }
    // A test that had gaps: its figures from the whole record now, and sent on again.
    if (!d_->replaceCells(t, error) ||
        (!added && !d_->exec(QStringLiteral("UPDATE tests SET updated_ms = ? WHERE test_id = ?"),
                             {QDateTime::currentMSecsSinceEpoch(), t.testId}, error))) {
        d.rollback();
        return Stored::Failed;
    }
    if (!d.commit()) {
        *error = d.lastError().text();
        return Stored::Failed;
    }
    if (filled)
        *filled = count;
    return added ? Stored::Added : Stored::Completed;
}

bool Archive::update(const ArchivedTest& t, const std::vector<ExportRecord>& rows, QString* error) {
    QSqlDatabase d = d_->db();
    if (!d.transaction()) {
        *error = d.lastError().text();
        return false;
    }
    bool added = false;
    if (!d_->insertTest(t, &added, error) || !d_->replaceCells(t, error) || !d_->addMeasurements(t.testId, rows, error) ||
        !d_->exec(QStringLiteral("UPDATE tests SET updated_ms = ? WHERE test_id = ?"),
                  {QDateTime::currentMSecsSinceEpoch(), t.testId}, error)) {
        d.rollback();
        return false;
    }
    if (!d.commit()) {
        *error = d.lastError().text();
        return false;
    }
    return true;
}

int Archive::syncTo(Archive& remote, QString* error) {
    QSqlQuery q(d_->db());
    if (!d_->exec(q, QStringLiteral("SELECT test_id, updated_ms FROM tests WHERE updated_ms > synced_ms ORDER BY updated_ms"),
                  {}, error))
        return -1;
    std::vector<std::pair<QString, qint64>> due;
    while (q.next())
        due.emplace_back(q.value(0).toString(), q.value(1).toLongLong());
    q.finish();
    int sent = 0;
    for (const auto& item : due) {
        // What the server has up to its last it has, unless this file holds more of those: a gap
        // filled here since (a measurement a kill had cut off) goes too, with the whole test.
        const int there = remote.lastMeasurement(item.first);
        const int theirs = there < 0 ? -1 : remote.countUpTo(item.first, there);
        const int ours = theirs < 0 ? -1 : countUpTo(item.first, there);
        if (there < 0 || theirs < 0 || ours < 0) {
            *error = QStringLiteral("the server does not answer");
            return -1;
        }
        const std::optional<ArchivedTest> t = load(item.first, error, ours > theirs ? 0 : there);
        if (!t)
            return -1;
        if (!remote.update(*t, t->measurements, error))
            return -1;
        // Marked as sent as far as it was then: a change meanwhile is sent with the next pass.
        if (!d_->exec(QStringLiteral("UPDATE tests SET synced_ms = ? WHERE test_id = ?"), {item.second, item.first}, error))
            return -1;
        ++sent;
    }
    return sent;
}

int Archive::unsent() const {
    QSqlQuery q(d_->db());
    if (!d_->exec(q, QStringLiteral("SELECT COUNT(*) FROM tests WHERE updated_ms > synced_ms"), {}, nullptr) || !q.next())
        return -1;
    return q.value(0).toInt();
}

namespace {

// The WHERE clause of a filter over tests t (joined to their cells c) and its values.
QString filterClause(const ArchiveFilter& f, QVariantList* values) {
    QStringList terms;
    if (!f.chemical.isEmpty()) {
        terms << QStringLiteral("c.chemical_key = ?");
        *values << key(f.chemical);
    }
    if (!f.material.isEmpty()) {
        terms << QStringLiteral("c.material_key = ?");
        *values << key(f.material);
    }
    if (!f.serial.isEmpty()) {
        terms << QStringLiteral("t.instrument = ?");
        *values << f.serial.trimmed();
    }
    if (f.since) {
        terms << QStringLiteral("t.started_ms >= ?");
        *values << f.since->toMSecsSinceEpoch();
    }
    if (f.until) {
        terms << QStringLiteral("t.started_ms < ?");
        *values << f.until->toMSecsSinceEpoch();
    }
    return terms.isEmpty() ? QString() : QStringLiteral(" WHERE ") + terms.join(QStringLiteral(" AND "));
}

} // namespace

std::vector<TestListing> Archive::find(const ArchiveFilter& filter, QString* error) const {
    QVariantList values;
    const QString where = filterClause(filter, &values);
    QSqlQuery q(d_->db());
    q.setForwardOnly(true);
    // The tests that have a cell matching, with every cell of theirs for the listing.
    const QString sql =
        QStringLiteral("SELECT t.test_id, t.instrument, t.results_file, t.started, a.chemical, a.material, "
                       "t.measurement_count, t.file_run, a.detector, a.calibrated, a.broke, a.bt10_min, a.held_min, "
                       "a.level, a.level_lowest "
                       "FROM tests t LEFT JOIN cells a ON a.test_id = t.test_id "
                       "WHERE t.test_id IN (SELECT DISTINCT t.test_id FROM tests t LEFT JOIN cells c ON c.test_id = t.test_id%1) "
                       "ORDER BY t.started_ms, t.test_id, a.cell, a.detector")
            .arg(where.isEmpty() ? QString() : where);
    std::vector<TestListing> out;
    if (!d_->exec(q, sql, values, error))
        return out;
    std::vector<int> weakest; // the lowest level_lowest of each test's cells with a level
    while (q.next()) {
        const QString id = q.value(0).toString();
        if (out.empty() || out.back().testId != id) {
            weakest.push_back(99);
            TestListing l;
            l.testId = id;
            l.instrument = q.value(1).toString();
            l.resultsFile = q.value(2).toString();
            l.started = QDateTime::fromString(q.value(3).toString(), Qt::ISODateWithMs);
            l.measurements = q.value(6).toInt();
            l.fileRun = q.value(7).toInt();
            out.push_back(l);
        }
        TestListing& l = out.back();
        const QString chemical = q.value(4).toString(), material = q.value(5).toString();
        if (!chemical.isEmpty() && !l.chemicals.contains(chemical))
            l.chemicals << chemical;
        if (!material.isEmpty() && !l.materials.contains(material))
            l.materials << material;
        // The cell's FID figures say how the specimen did; the chart judges them the same way.
        if (q.value(8).toString() != QLatin1String("FID"))
            continue;
        ++l.cells;
        if (q.value(9).toInt() == 0)
            continue;
        if (q.value(10).toInt() != 0 && !q.value(11).isNull())
            l.lowestBt10 = std::min(l.lowestBt10.value_or(q.value(11).toDouble()), q.value(11).toDouble());
        else if (q.value(10).toInt() == 0)
            l.heldMinutes = std::min(l.heldMinutes.value_or(q.value(12).toDouble()), q.value(12).toDouble());
        const QString level = q.value(13).toString();
        if (!level.isEmpty() && q.value(14).toInt() < weakest.back()) {
            weakest.back() = q.value(14).toInt();
            l.levelText = level;
        }
    }
    for (TestListing& l : out) {
        if (l.lowestBt10) {
            l.level = levelForBreakthrough(*l.lowestBt10);
        } else if (l.heldMinutes) {
            l.level = levelForBreakthrough(*l.heldMinutes);
            l.levelAtLeast = true;
        }
    }
    return out;
}

QStringList Archive::names(Names which, QString* error) const {
    // Fixed statements: what the caller chooses is which one, never a piece of SQL.
    const QString sql = which == Names::Chemicals   ? QStringLiteral("SELECT MIN(chemical) FROM cells WHERE chemical_key <> '' "
                                                                     "GROUP BY chemical_key ORDER BY chemical_key")
                        : which == Names::Materials ? QStringLiteral("SELECT MIN(material) FROM cells WHERE material_key <> '' "
                                                                     "GROUP BY material_key ORDER BY material_key")
                                                    : QStringLiteral("SELECT DISTINCT instrument FROM tests WHERE instrument <> '' "
                                                                     "ORDER BY instrument");
    QSqlQuery q(d_->db());
    QStringList out;
    if (d_->exec(q, sql, {}, error))
        while (q.next())
            out << q.value(0).toString();
    return out;
}

QStringList Archive::idsStartingWith(const QString& prefix) const {
    QSqlQuery q(d_->db());
    QStringList ids;
    QString escaped = prefix;
    escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\"))
        .replace(QLatin1Char('%'), QStringLiteral("\\%"))
        .replace(QLatin1Char('_'), QStringLiteral("\\_"));
    if (d_->exec(q, QStringLiteral("SELECT test_id FROM tests WHERE test_id LIKE ? ESCAPE '\\' ORDER BY test_id"),
                 {escaped + QLatin1Char('%')}, nullptr))
        while (q.next())
            ids << q.value(0).toString();
    return ids;
}

int Archive::lastMeasurement(const QString& testId) const {
    QSqlQuery q(d_->db());
    if (!d_->exec(q, QStringLiteral("SELECT COALESCE(MAX(measurement), 0) FROM measurements WHERE test_id = ?"), {testId},
                  nullptr) ||
        !q.next())
        return -1;
    return q.value(0).toInt();
}

int Archive::countUpTo(const QString& testId, int upTo) const {
    QSqlQuery q(d_->db());
    if (!d_->exec(q, QStringLiteral("SELECT COUNT(*) FROM measurements WHERE test_id = ? AND measurement <= ?"),
                  {testId, upTo}, nullptr) ||
        !q.next())
        return -1;
    return q.value(0).toInt();
}

std::optional<ArchivedTest> Archive::load(const QString& testId, QString* error, int after) const {
    QSqlQuery q(d_->db());
    if (!d_->exec(q,
                  QStringLiteral("SELECT instrument, results_file, file_run, started, detector, measuring_s, "
                                 "planned_min, sample_area, fid_cal_ppm, fid_cal_area, fpd_cal_ppm, fpd_cal_area, "
                                 "requirement, source FROM tests WHERE test_id = ?"),
                  {testId}, error))
        return std::nullopt;
    if (!q.next()) {
        if (error)
            *error = QStringLiteral("no test %1 in the archive").arg(testId);
        return std::nullopt;
    }
    ArchivedTest t;
    t.testId = testId;
    t.instrument = q.value(0).toString();
    t.resultsFile = q.value(1).toString();
    t.fileRun = q.value(2).toInt();
    t.started = QDateTime::fromString(q.value(3).toString(), Qt::ISODateWithMs);
    t.detector = q.value(4).toString();
    t.measuringSeconds = q.value(5).toInt();
    t.plannedMinutes = q.value(6).toDouble();
    t.sampleArea = opt(q.value(7));
    t.fidCalPpm = q.value(8).toDouble();
    t.fidCalArea = q.value(9).toLongLong();
    t.fpdCalPpm = q.value(10).toDouble();
    t.fpdCalArea = q.value(11).toLongLong();
    t.requirement = q.value(12).toString();
    t.source = q.value(13).toString();

    QSqlQuery c(d_->db());
    if (!d_->exec(c,
                  QStringLiteral("SELECT cell, detector, sample, material, lot, chemical, thickness_mm, area_cm2, "
                                 "molar_mass, contact_min, calibrated, bt01_min, bt10_min, broke, held_min, level, "
                                 "level_lowest, level_highest, steady_rate, cumulative, measurements, decision "
                                 "FROM cells WHERE test_id = ? ORDER BY cell, detector DESC"),
                  {testId}, error))
        return std::nullopt;
    while (c.next()) {
        ArchivedCell a;
        a.cell = c.value(0).toInt();
        a.detector = c.value(1).toString();
        a.sample = c.value(2).toString();
        a.material = c.value(3).toString();
        a.lot = c.value(4).toString();
        a.chemical = c.value(5).toString();
        a.thicknessMm = opt(c.value(6));
        a.areaCm2 = opt(c.value(7));
        a.molarMass = opt(c.value(8));
        a.contactMinutes = c.value(9).toDouble();
        a.calibrated = c.value(10).toInt() != 0;
        a.bt01Minutes = opt(c.value(11));
        a.bt10Minutes = opt(c.value(12));
        a.brokeThrough = c.value(13).toInt() != 0;
        a.heldMinutes = c.value(14).toDouble();
        a.level = c.value(15).toString();
        a.levelLowest = c.value(16).toInt();
        a.levelHighest = c.value(17).toInt();
        a.steadyRate = opt(c.value(18));
        a.cumulative = c.value(19).toDouble();
        a.measurements = c.value(20).toInt();
        a.decision = c.value(21).toString();
        t.cells.push_back(a);
    }

    QSqlQuery m(d_->db());
    m.setForwardOnly(true);
    if (!d_->exec(m,
                  QStringLiteral("SELECT measurement, cycle, time, elapsed_min, position, cell, sample, material, lot, "
                                 "thickness_mm, area_cm2, chemical, detector, flow, fid_area, fid_ppm, fid_rate, "
                                 "fpd_area, fpd_rate, breakthrough, switched_off, no_peak, event, raw_file, raw_sha256 "
                                 "FROM measurements WHERE test_id = ? AND measurement > ? ORDER BY measurement"),
                  {testId, after}, error))
        return std::nullopt;
    while (m.next()) {
        ExportRecord r;
        r.testId = testId;
        r.instrument = t.instrument;
        r.measurement = m.value(0).toInt();
        r.cycle = m.value(1).toInt();
        r.moment = QDateTime::fromString(m.value(2).toString(), Qt::ISODateWithMs);
        r.elapsedMinutes = m.value(3).toDouble();
        r.position = m.value(4).toInt();
        if (!m.value(5).isNull())
            r.cell = m.value(5).toInt();
        r.sampleName = m.value(6).toString();
        r.material = m.value(7).toString();
        r.lot = m.value(8).toString();
        r.thicknessMm = opt(m.value(9));
        r.areaCm2 = opt(m.value(10));
        r.chemical = m.value(11).toString();
        r.detector = m.value(12).toString();
        r.flow = m.value(13).toDouble();
        r.fidArea = m.value(14).toDouble();
        r.fidPpm = m.value(15).toDouble();
        r.fidRate = m.value(16).toDouble();
        r.fpdArea = opt(m.value(17));
        r.fpdRate = opt(m.value(18));
        r.breakthrough = m.value(19).toInt() != 0;
        r.switchedOff = m.value(20).toInt() != 0;
        r.noPeak = m.value(21).toInt() != 0;
        r.event = m.value(22).toInt() != 0;
        r.rawFile = m.value(23).toString();
        r.rawSha256 = m.value(24).toString();
        t.measurements.push_back(std::move(r));
    }
    return t;
}

std::vector<ChartLine> Archive::chart(const ArchiveFilter& filter, QString* error) const {
    QVariantList values;
    QString where = filterClause(filter, &values);
    // Only what can be judged: the FID's figures of a calibrated detector with a material named.
    where += (where.isEmpty() ? QStringLiteral(" WHERE ") : QStringLiteral(" AND ")) +
             QStringLiteral("c.detector = 'FID' AND c.calibrated = 1 AND c.material_key <> ''");
    QSqlQuery q(d_->db());
    q.setForwardOnly(true);
    const QString sql =
        QStringLiteral("SELECT MIN(c.material), MIN(c.chemical), COUNT(*), COUNT(DISTINCT c.test_id), "
                       "MIN(CASE WHEN c.broke = 1 THEN c.bt10_min END), "
                       "MIN(CASE WHEN c.broke = 0 THEN c.held_min END), SUM(c.broke), "
                       "MIN(CASE WHEN c.broke = 1 AND c.bt10_min IS NULL THEN c.level_lowest END) "
                       "FROM cells c JOIN tests t ON t.test_id = c.test_id%1 "
                       "GROUP BY c.material_key, c.chemical_key ORDER BY c.material_key, c.chemical_key")
            .arg(where);
    std::vector<ChartLine> out;
    if (!d_->exec(q, sql, values, error))
        return out;
    while (q.next()) {
        ChartLine l;
        l.material = q.value(0).toString();
        l.chemical = q.value(1).toString();
        l.specimens = q.value(2).toInt();
        l.tests = q.value(3).toInt();
        l.lowestBt10 = opt(q.value(4));
        const std::optional<double> held = opt(q.value(5));
        // EN ISO 374-1 classes a glove by its weakest specimen: the lowest breakthrough time, or,
        // with none broken through, the shortest exposure they all held.
        if (l.lowestBt10) {
            l.level = levelForBreakthrough(*l.lowestBt10);
        } else if (held) {
            l.heldMinutes = *held;
            l.level = levelForBreakthrough(*held);
            l.levelAtLeast = true;
        }
        // A specimen through by its first measurement has no interpolated time: left out, the
        // material was judged by the specimens that held, a level too high.
        if (!q.value(7).isNull()) {
            const int untimed = q.value(7).toInt();
            l.brokeUntimed = true;
            l.level = l.lowestBt10 ? std::min(l.level, untimed) : untimed;
            l.levelAtLeast = false;
            l.heldMinutes = 0;
        }
        out.push_back(l);
    }
    return out;
}

QByteArray chartCsv(const std::vector<ChartLine>& lines) {
    auto field = [](const QString& s) {
        QByteArray b = s.toUtf8();
        if (b.contains(',') || b.contains('"') || b.contains('\n') || b.contains('\r'))
            b = '"' + b.replace("\"", "\"\"") + '"';
        return b;
    };
    QByteArray out = "material,chemical,EN ISO 374-1 level,lowest breakthrough at 1.0 (min),held without "
                     "breakthrough (min),specimens,tests\r\n";
    for (const ChartLine& l : lines) {
        const QByteArray level = l.level == 0 ? QByteArray("0") : QByteArray::number(l.level);
        out += field(l.material) + ',' + field(l.chemical) + ',' + (l.levelAtLeast ? ">=" + level : level) + ',' +
               (l.lowestBt10 ? QByteArray::number(*l.lowestBt10, 'f', 1) : QByteArray()) + ',' +
               (l.levelAtLeast ? QByteArray::number(l.heldMinutes, 'f', 1) : QByteArray()) + ',' +
               QByteArray::number(l.specimens) + ',' + QByteArray::number(l.tests) + "\r\n";
    }
    return out;
}

} // namespace korvat
