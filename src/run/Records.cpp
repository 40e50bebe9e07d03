#include "run/Records.h"

#include "evaluation/GroupSummary.h"

#include "link/Link.h"
#include "link/LinkView.h"
#include "run/Events.h"
#include "run/RunModel.h"
#include "util/CodePage.h"

#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcRecords, "korvat.run.records")

namespace korvat {

void Records::report(const QString& text) {
    qCWarning(lcRecords).noquote() << text;
    d_.view.statusText(text);
    d_.view.logLine(text);
    d_.link.logLine(d_.link.ComPort1().deviceName(), text);
    d_.events.add(EventKind::FileWaiting, text);
}

void Records::writePendingHeaders() {
    for (auto it = headersPending_.begin(); it != headersPending_.end();) {
        QString error;
        if (createResultsFile(it->first, it->second, &error)) {
            it = headersPending_.erase(it);
        } else {
            report(error);
            ++it;
        }
    }
}

bool Records::createFile(const QString& path, const QStringList& header, QString* error, bool* existed) {
    headersPending_.erase(path);
    if (createResultsFile(path, header, error, existed))
        return true;
    // The file is kept as chosen: the header is written with the first row that gets through.
    headersPending_[path] = header;
    return false;
}

void Records::beginRun(const RunFilePlan& plan, const QStringList& header) {
    fileRun_ = plan.fileRun;
    if (sDateiname.isEmpty())
        return;
    if (auto pending = headersPending_.find(sDateiname); pending != headersPending_.end()) {
        pending->second = header;
        return;
    }
    if (!plan.needsHeader)
        return;
    if (!rows_.append(sDateiname, header.join(QStringLiteral("\r\n"))))
        report(rows_.error());
}

void Records::append(const MeasurementRecord& r, const BeforeWrite& beforeWrite) {
    if (sDateiname.isEmpty())
        return;
    writePendingHeaders();
    const QString row = resultRowText(r, d_.deviceTyp, fileNumberLocale(d_.ID), QLocale());
    if (beforeWrite) {
        const QFileInfo info(sDateiname);
        beforeWrite(info.exists() ? info.size() : 0, rows_.bytesToAppend(sDateiname, row));
    }
    if (!rows_.append(sDateiname, row))
        report(rows_.error());
}

void Records::writeRawData(const MeasurementRecord& r, const Series& fid, const Series& fpd,
                           const EvaluationState& eval) {
    if (sDateiname.isEmpty() || !d_.settings.RawDataSave)
        return;
    const QByteArray content = rawDataContent(d_.deviceTyp, fid, fpd, peakValuesOf(eval), fileNumberLocale(d_.ID));
    if (!raw_.write(rawDataFileName(sDateiname, fileRun_, r.runAktiv), content)) {
        qCWarning(lcRecords).noquote() << raw_.error();
        d_.link.logLine(d_.link.ComPort1().deviceName(), raw_.error());
        d_.view.statusText(raw_.error());
        d_.events.add(EventKind::FileWaiting, raw_.error(), {}, r.runAktiv);
    }
}

void Records::writeSummary(const std::vector<CellSummary>& summaries, const Requirement& requirement) {
    if (sDateiname.isEmpty())
        return;
    const QString path = besideRun(sDateiname, fileRun_, QStringLiteral("_summary.csv"));
    const QStringList lines = summaryFileLines(summaries, requirement, fileNumberLocale(d_.ID));
    QByteArray bytes = toCp1252(lines.join(QStringLiteral("\r\n")));
    bytes.append("\r\n");
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        // Said in the log only: the status line keeps what matters more (rows that wait), and
        // the summary can always be made again from the results file.
        const QString text = QStringLiteral("Summary not written: %1 (%2); it is written again after the next measurement")
                                 .arg(path, file.errorString());
        qCWarning(lcRecords).noquote() << text;
        d_.link.logLine(d_.link.ComPort1().deviceName(), text);
    }
}

bool Records::flushAtClose(QString* error) {
    writePendingHeaders();
    if (rows_.waiting() > 0 && !rows_.flushWaiting()) {
        *error = rows_.error();
        return false;
    }
    return true;
}

} // namespace korvat
