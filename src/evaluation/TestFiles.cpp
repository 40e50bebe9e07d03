#include "evaluation/TestFiles.h"

#include "evaluation/ResultsFileReader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace korvat {

namespace {

QString runPrefix(const QString& results, int fileRun) {
    const QString stem = testStem(results);
    return fileRun > 1 ? stem + QStringLiteral("_run%1").arg(fileRun) : stem;
}

// The header block's lines as the file holds them, from its first line to the column titles.
QStringList blockLines(const QByteArray& bytes, const ResultsRun& run) {
    const QStringList all = QString::fromLatin1(bytes).split(QRegularExpression(QStringLiteral("\r\n|\r|\n")));
    const int first = run.headerLine - 1;
    int last = first;
    // The block ends with the column titles: the line before the first row, or before the next
    // block, or the file's last line.
    const int end = run.firstLine > 0 ? run.firstLine - 1 : int(all.size());
    for (int i = first; i < end; ++i)
        if (!all[i].isEmpty())
            last = i;
    return all.mid(first, last - first + 1);
}

// Lines 1 (file, date, instrument) and 3 (what the instrument read when the file was chosen)
// change with every block; the rest is the run's parameters.
bool sameParameters(QStringList a, QStringList b) {
    for (QStringList* l : {&a, &b}) {
        if (l->size() > 2)
            l->removeAt(2);
        if (!l->isEmpty())
            l->removeAt(0);
    }
    return a == b;
}

} // namespace

QString testStem(const QString& results) { return QFileInfo(results).completeBaseName(); }

QString besideResultsFile(const QString& results, const QString& suffix) {
    return QFileInfo(results).dir().filePath(testStem(results) + suffix);
}

QString besideRun(const QString& results, int fileRun, const QString& suffix) {
    return QFileInfo(results).dir().filePath(runPrefix(results, fileRun) + suffix);
}

QString legacyBesideResultsFile(const QString& results, const QString& suffix) {
    const QFileInfo info(results);
    const QString name = info.fileName();
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    return info.dir().filePath((dot >= 0 ? name.left(dot) : QString()) + suffix);
}

QString findBesideRun(const QString& results, int fileRun, const QString& suffix) {
    const QString current = besideRun(results, fileRun, suffix);
    if (fileRun > 1 || QFileInfo::exists(current))
        return current;
    const QString legacy = legacyBesideResultsFile(results, suffix);
    return QFileInfo::exists(legacy) ? legacy : current;
}

bool runFilesExist(const QString& results, int fileRun) {
    const QFileInfo info(results);
    const QString prefix = runPrefix(results, fileRun);
    if (QFileInfo::exists(info.dir().filePath(prefix + QStringLiteral("_summary.csv"))))
        return true;
    const QRegularExpression raw(QLatin1Char('^') + QRegularExpression::escape(prefix) + QStringLiteral("_[0-9]+\\.txt$"));
    const QStringList names = info.dir().entryList({prefix + QStringLiteral("_*.txt")}, QDir::Files | QDir::Hidden);
    for (const QString& name : names)
        if (raw.match(name).hasMatch())
            return true;
    return false;
}

RunFilePlan planRunFiles(const QString& results, const QStringList& header) {
    RunFilePlan plan;
    int next = 1;
    QFile file(results);
    if (file.exists() && file.open(QIODevice::ReadOnly)) {
        const QByteArray bytes = file.readAll();
        const ResultsFileRead read = parseResultsFile(results, bytes);
        if (bytes.trimmed().isEmpty()) {
            // An empty file takes a header block like a new one.
            plan.needsHeader = true;
        } else if (!read.ok) {
            plan.unreadable = read.detail.startsWith(QLatin1String(", ")) ? read.detail.mid(2) : read.error;
            plan.needsHeader = !bytes.isEmpty();
        } else {
            const ResultsRun* lastWithRows = nullptr;
            for (const ResultsRun& run : read.runs)
                if (!run.rows.empty()) {
                    ++plan.runsHeld;
                    lastWithRows = &run;
                }
            if (lastWithRows)
                next = lastWithRows->fileRun + 1;
            const ResultsRun& last = read.runs.back();
            plan.needsHeader = !last.rows.empty() || !sameParameters(blockLines(bytes, last), header);
            // A block without rows that already took a higher number (its run stopped before its
            // first row) keeps it.
            if (last.rows.empty() && last.fileRun > next)
                next = last.fileRun;
            plan.fileRun = next;
            if (!plan.needsHeader && last.fileRun != next)
                plan.needsHeader = true;
        }
    }
    // Files of that name from another test (a results file deleted or moved without its
    // companions) are never written over: the run takes the next free number.
    while (runFilesExist(results, next))
        ++next;
    if (next != plan.fileRun) {
        plan.fileRun = next;
        plan.needsHeader = plan.needsHeader || file.exists();
    }
    return plan;
}

} // namespace korvat
