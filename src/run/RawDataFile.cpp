#include "run/RawDataFile.h"

#include "evaluation/Series.h"
#include "evaluation/ResultsFile.h"
#include "util/NumberText.h"

#include <QDir>
#include <QFileInfo>

namespace korvat {

QString rawDataFileName(const QString& sDateiname, int fileRun, int runAktiv) {
    return besideRun(sDateiname, fileRun, QLatin1Char('_') + QString::number(runAktiv) + QStringLiteral(".txt"));
}

QByteArray rawDataContent(TDeviceTyp deviceTyp, const Series& fid, const Series& fpd, const PeakValues& p,
                          const QLocale& locale) {
    QString out;
    const QString eol = QStringLiteral("\r\n");
    auto g = [&locale](double v) { return formatGeneral(v, locale); };
    auto e = [&locale](double v) { return formatScientific23(v, locale); };
    const auto P = fid.size();
    if (deviceTyp == TDeviceTyp::FIDFPD) {
        const auto m = std::min(P, fpd.size());
        out += QStringLiteral("2") + eol;
        out += QString::number(m) + QLatin1Char(',') + QString::number(m) + eol;
        for (std::size_t i = 1; i < m; ++i)
            out += g(fid.y[i]) + QLatin1Char(',') + g(fpd.y[i]) + eol;
        out += e(p.FIDStart * 10) + QLatin1Char(',') + e(p.FPDStart * 10) + eol;
        out += e(p.FIDStartLevel) + QLatin1Char(',') + e(p.FPDStartLevel) + eol;
        out += e(p.FIDEnd * 10) + QLatin1Char(',') + e(p.FPDEnd * 10) + eol;
        out += e(p.FIDEndLevel) + QLatin1Char(',') + e(p.FPDEndLevel) + eol;
    } else {
        out += QString::number(static_cast<int>(deviceTyp)) + eol;
        out += QString::number(P) + eol;
        for (std::size_t i = 1; i < P; ++i)
            out += g(fid.y[i]) + eol;
        out += QString::number(p.PeakStartIndex) + eol;
        out += e(p.PeakStartLevel) + eol;
        out += QString::number(p.PeakEndIndex) + eol;
        out += e(p.PeakEndLevel) + eol;
    }
    return out.toLatin1();
}

} // namespace korvat
