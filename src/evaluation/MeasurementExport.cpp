#include "evaluation/MeasurementExport.h"

#include "evaluation/TestFiles.h"

#include <QHash>
#include <cmath>

namespace korvat {

namespace {

enum Column {
    TestId, Instrument, Number, Cycle, Time, Elapsed, Position, Cell, Sample, Material, Lot, Thickness,
    Area, Chemical, DetectorCol, Flow, FidArea, FidPpm, FidRate, FpdArea, FpdRate, Breakthrough,
    SwitchedOff, NoPeak, EventCol, RawFile, RawSha, ColumnCount
};

// Shortest text that reads back as the same double, never in a locale's form.
QByteArray number(double v) {
    if (!std::isfinite(v))
        return QByteArray();
    for (int digits = 6; digits < 17; ++digits) {
        const QByteArray text = QByteArray::number(v, 'g', digits);
        if (text.toDouble() == v)
            return text;
    }
    return QByteArray::number(v, 'g', 17);
}
QByteArray number(const std::optional<double>& v) { return v ? number(*v) : QByteArray(); }
QByteArray flag(bool b) { return b ? "1" : "0"; }

QByteArray quoted(const QString& text) {
    QByteArray bytes = text.toUtf8();
    if (!bytes.contains(',') && !bytes.contains('"') && !bytes.contains('\n') && !bytes.contains('\r'))
        return bytes;
    bytes.replace("\"", "\"\"");
    return '"' + bytes + '"';
}

// One record from `at` (a line end inside quotes belongs to the field); `at` ends past its line end.
bool nextRecord(const QByteArray& bytes, qsizetype& at, QList<QByteArray>* fields) {
    fields->clear();
    QByteArray field;
    bool inQuotes = false, wasQuoted = false;
    while (at < bytes.size()) {
        const char c = bytes[at++];
        if (inQuotes) {
            if (c == '"') {
                if (at < bytes.size() && bytes[at] == '"') {
                    field += '"';
                    ++at;
                } else {
                    inQuotes = false;
                }
            } else {
                field += c;
            }
            continue;
        }
        if (c == '"' && field.isEmpty() && !wasQuoted) {
            inQuotes = wasQuoted = true;
        } else if (c == ',') {
            fields->append(field);
            field.clear();
            wasQuoted = false;
        } else if (c == '\n' || c == '\r') {
            if (c == '\r' && at < bytes.size() && bytes[at] == '\n')
                ++at;
            fields->append(field);
            return true;
        } else {
            field += c;
        }
    }
    if (inQuotes)
        return false;
    fields->append(field);
    return true;
}

} // namespace

const QStringList& exportColumns() {
    static const QStringList columns = {
        QStringLiteral("test id"),
        QStringLiteral("instrument"),
        QStringLiteral("measurement"),
        QStringLiteral("cycle"),
        QStringLiteral("time (ISO 8601)"),
        QStringLiteral("elapsed (min)"),
        QStringLiteral("position"),
        QStringLiteral("cell"),
        QStringLiteral("sample"),
        QStringLiteral("material"),
        QStringLiteral("lot"),
        QStringLiteral("thickness (mm)"),
        QStringLiteral("exposed area (cm²)"),
        QStringLiteral("chemical"),
        QStringLiteral("detector"),
        QStringLiteral("flow (ml/min)"),
        QStringLiteral("FID area (counts·s)"),
        QStringLiteral("FID concentration (ppm)"),
        QStringLiteral("FID permeation rate (µg/cm²/min)"),
        QStringLiteral("FPD area (counts·s)"),
        QStringLiteral("FPD permeation rate (µg/cm²/min)"),
        QStringLiteral("breakthrough (0/1)"),
        QStringLiteral("switched off (0/1)"),
        QStringLiteral("no peak (0/1)"),
        QStringLiteral("event during measurement (0/1)"),
        QStringLiteral("raw-data file"),
        QStringLiteral("raw-data SHA-256"),
    };
    return columns;
}

QByteArray exportHeaderLine() {
    QList<QByteArray> fields;
    for (const QString& c : exportColumns())
        fields << quoted(c);
    return fields.join(',') + "\r\n";
}

QByteArray exportRowLine(const ExportRecord& r) {
    QList<QByteArray> f(ColumnCount);
    f[TestId] = quoted(r.testId);
    f[Instrument] = quoted(r.instrument);
    f[Number] = QByteArray::number(r.measurement);
    f[Cycle] = QByteArray::number(r.cycle);
    f[Time] = r.moment.toOffsetFromUtc(r.moment.offsetFromUtc()).toString(Qt::ISODateWithMs).toLatin1();
    f[Elapsed] = number(r.elapsedMinutes);
    f[Position] = QByteArray::number(r.position);
    f[Cell] = r.cell ? QByteArray::number(*r.cell) : QByteArray();
    f[Sample] = quoted(r.sampleName);
    f[Material] = quoted(r.material);
    f[Lot] = quoted(r.lot);
    f[Thickness] = number(r.thicknessMm);
    f[Area] = number(r.areaCm2);
    f[Chemical] = quoted(r.chemical);
    f[DetectorCol] = quoted(r.detector);
    f[Flow] = number(r.flow);
    f[FidArea] = number(r.fidArea);
    f[FidPpm] = number(r.fidPpm);
    f[FidRate] = number(r.fidRate);
    f[FpdArea] = number(r.fpdArea);
    f[FpdRate] = number(r.fpdRate);
    f[Breakthrough] = flag(r.breakthrough);
    f[SwitchedOff] = flag(r.switchedOff);
    f[NoPeak] = flag(r.noPeak);
    f[EventCol] = flag(r.event);
    f[RawFile] = quoted(r.rawFile);
    f[RawSha] = r.rawSha256.toLatin1();
    return f.join(',') + "\r\n";
}

QString exportFileName(const QString& resultsFile, int fileRun) {
    return besideRun(resultsFile, fileRun, QStringLiteral("_measurements.csv"));
}

bool splitCsvRecord(const QByteArray& line, QList<QByteArray>* fields) {
    qsizetype at = 0;
    return nextRecord(line, at, fields);
}

ExportRead readExport(const QByteArray& bytes) {
    ExportRead read;
    qsizetype at = 0;
    int line = 1;
    QList<QByteArray> fields;
    auto fail = [&](const QString& why) {
        read.ok = false;
        read.error = QStringLiteral("line %1: %2").arg(line).arg(why);
        read.records.clear();
        return read;
    };
    if (!nextRecord(bytes, at, &fields))
        return fail(QStringLiteral("a quote is not closed"));
    // Columns by title: one not there is a file of another kind.
    QHash<QString, int> index;
    for (int i = 0; i < fields.size(); ++i)
        index.insert(QString::fromUtf8(fields[i]), i);
    std::vector<int> col(ColumnCount);
    for (int c = 0; c < ColumnCount; ++c) {
        const auto it = index.constFind(exportColumns()[c]);
        if (it == index.constEnd())
            return fail(QStringLiteral("no column \"%1\": not a measurements export").arg(exportColumns()[c]));
        col[std::size_t(c)] = *it;
    }
    while (at < bytes.size()) {
        const qsizetype start = at;
        ++line;
        if (!nextRecord(bytes, at, &fields))
            return fail(QStringLiteral("a quote is not closed"));
        line += int(bytes.mid(start, at - start).count('\n')) - 1;
        if (fields.size() == 1 && fields[0].isEmpty())
            continue; // a blank line
        if (fields.size() < int(index.size()))
            return fail(QStringLiteral("%1 fields, %2 columns").arg(fields.size()).arg(index.size()));
        auto text = [&](Column c) { return QString::fromUtf8(fields[col[std::size_t(c)]]); };
        bool good = true;
        auto integer = [&](Column c) {
            bool ok = false;
            const int v = fields[col[std::size_t(c)]].toInt(&ok);
            good = good && ok;
            return v;
        };
        auto real = [&](Column c) -> std::optional<double> {
            const QByteArray& f = fields[col[std::size_t(c)]];
            if (f.isEmpty())
                return std::nullopt;
            bool ok = false;
            const double v = f.toDouble(&ok);
            good = good && ok;
            return v;
        };
        auto yes = [&](Column c) {
            const QByteArray& f = fields[col[std::size_t(c)]];
            good = good && (f == "0" || f == "1");
            return f == "1";
        };
        ExportRecord r;
        r.testId = text(TestId);
        r.instrument = text(Instrument);
        r.measurement = integer(Number);
        r.cycle = integer(Cycle);
        r.moment = QDateTime::fromString(text(Time), Qt::ISODateWithMs);
        if (!r.moment.isValid())
            return fail(QStringLiteral("\"%1\" is not an ISO 8601 time").arg(text(Time)));
        r.elapsedMinutes = real(Elapsed).value_or(0);
        r.position = integer(Position);
        if (!fields[col[Cell]].isEmpty())
            r.cell = integer(Cell);
        r.sampleName = text(Sample);
        r.material = text(Material);
        r.lot = text(Lot);
        r.thicknessMm = real(Thickness);
        r.areaCm2 = real(Area);
        r.chemical = text(Chemical);
        r.detector = text(DetectorCol);
        r.flow = real(Flow).value_or(0);
        r.fidArea = real(FidArea).value_or(0);
        r.fidPpm = real(FidPpm).value_or(0);
        r.fidRate = real(FidRate).value_or(0);
        r.fpdArea = real(FpdArea);
        r.fpdRate = real(FpdRate);
        r.breakthrough = yes(Breakthrough);
        r.switchedOff = yes(SwitchedOff);
        r.noPeak = yes(NoPeak);
        r.event = yes(EventCol);
        r.rawFile = text(RawFile);
        r.rawSha256 = text(RawSha);
        if (!good)
            return fail(QStringLiteral("a number or flag does not read"));
        read.records.push_back(std::move(r));
    }
    read.ok = true;
    return read;
}

} // namespace korvat
