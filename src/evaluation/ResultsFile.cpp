#include "evaluation/ResultsFile.h"

#include "shell/StringTable.h"
#include "util/CodePage.h"
#include "util/NumberText.h"

#include <QRegularExpression>

#include <algorithm>

namespace korvat {

namespace {

const QString kSep = QStringLiteral(";");

QString wholeNumber(int value) {
    return QString::number(value);
}

QString shortDate(const QDateTime& moment, const QLocale& locale) {
    return locale.toString(moment.date(), QLocale::ShortFormat);
}

// Text the operator typed goes into one field: a ";" in it would shift every later column.
QString asField(QString text) {
    return text.replace(QLatin1Char(';'), QLatin1Char(','));
}

} // namespace

QStringList runParameterLines(const RunParameters& p, int ID, TDeviceTyp deviceTyp, const QLocale& locale) {
    const bool both = deviceTyp == TDeviceTyp::FIDFPD;
    auto T = [ID](int n) { return LoadLangText(ID, n); };
    auto G = [&locale](double v) { return formatGeneral(v, locale); };
    const QString label = QStringLiteral(":;");
    QStringList lines;
    lines << T(kSampleAreaLabel) + label + (p.sampleArea ? G(*p.sampleArea) : QString()) + QStringLiteral(" cm\u00b2") +
                 kSep + T(kPlannedLabel) + label + G(p.plannedMinutes) + QStringLiteral(" min");
    QString factors = T(kCalFactorLabel) + label + QStringLiteral("FID") + label + G(p.fidCalFactor);
    if (both)
        factors += kSep + QStringLiteral("FPD") + label + G(p.fpdCalFactor);
    lines << factors;
    const DetectionSettings d = p.detection.value_or(DetectionSettings{});
    lines << T(kPeakSearchLabel) + label + QStringLiteral("MinIndex") + label + wholeNumber(d.MinPeakStart) + kSep +
                 QStringLiteral("PeakTime") + label + G(d.PeakTime) + kSep + QStringLiteral("MinPeakWidth") + label +
                 G(d.MinPeakWith) + kSep + QStringLiteral("Loopflow") + label + G(d.Loopflow);
    auto mass = [&](std::optional<double> m, Detector detector) {
        if (m && *m > 0)
            return G(*m) + QStringLiteral(" g/mol");
        return detector == Detector::FID ? T(kIsobutaneEquivalent)
                                         : T(kNoMolarMass).arg(formatFixed(kFpdMassPerPpm, 12, 5, locale));
    };
    for (int k = 1; k <= 3; ++k) {
        const CellParameters& c = p.cell(k);
        QString line = T(77) + QLatin1Char(' ') + wholeNumber(k) + label + asField(c.chemical) + kSep + T(74) + label +
                       G(c.fidFactor) + kSep + T(kMolarMassLabel) + label + mass(c.molarMass, Detector::FID) + kSep +
                       T(kContactLabel) + label + G(c.contactMinutes) + QStringLiteral(" min");
        if (both)
            line += kSep + QStringLiteral("FPD") + label + asField(c.fpdSubstance) + kSep + T(74) + label +
                    G(c.fpdFactor) + kSep + T(kMolarMassLabel) + label + mass(c.fpdMolarMass, Detector::FPD);
        lines << line;
    }
    // The lines below say only what a run has: a file of a run without specimens, history,
    // stated tolerances or requirement reads as it always did.
    for (int k = 1; k <= 3; ++k) {
        const Specimen& sp = p.cell(k).specimen;
        if (!sp.any())
            continue;
        lines << T(kSpecimenLabel) + QLatin1Char(' ') + wholeNumber(k) + label + T(kMaterialLabel) + label +
                     asField(sp.material) + kSep + T(kThicknessLabel) + label +
                     (sp.thicknessMm ? G(*sp.thicknessMm) + QStringLiteral(" mm") : QString()) + kSep + T(kLotLabel) +
                     label + asField(sp.lot) + kSep + T(kExposedAreaLabel) + label +
                     (sp.areaCm2 ? G(*sp.areaCm2) + QStringLiteral(" cm\u00b2") : QString());
    }
    for (Detector d : {Detector::FID, Detector::FPD}) {
        const CalibrationInForce& c = p.calibration(d);
        if (!c.curve || (d == Detector::FPD && !both))
            continue;
        const CalibrationCurve& curve = *c.curve;
        QStringList points;
        for (const CalibrationPoint& point : curve.points)
            points << G(point.ppm) + QLatin1Char('=') + G(point.area);
        QString line = T(kCurveLabel) + label + (d == Detector::FID ? QStringLiteral("FID") : QStringLiteral("FPD")) +
                       kSep + T(kCalNumberLabel) + label + (curve.number > 0 ? wholeNumber(curve.number) : QString()) +
                       kSep + T(72) + label +
                       (curve.date.isValid() ? curve.date.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) : QString()) +
                       kSep + T(kPointsLabel) + label + points.join(QLatin1Char(' ')) + kSep + T(kSlopeLabel) + label +
                       G(curve.slope) + kSep + T(kOffsetLabel) + label + G(curve.offset) + kSep +
                       QStringLiteral("R\u00b2") + label + (curve.rSquared ? G(*curve.rSquared) : QString()) + kSep +
                       T(kRepeatabilityLabel) + label +
                       (c.repeatability ? G(100 * c.repeatability->relative) + QStringLiteral(" %") : QString()) + kSep +
                       QStringLiteral("dof") + label +
                       (c.repeatability ? wholeNumber(c.repeatability->degreesOfFreedom) : QString()) + kSep +
                       T(kChartLabel) + label + controlChartToken(c.chartState);
        if (c.chartLevel > 0)
            line += kSep + QStringLiteral("chart_ppm") + label + G(c.chartLevel);
        const struct {
            const char* name;
            const std::optional<double>& value;
        } chart[] = {{"chart_centre", c.chartCentre}, {"chart_sd", c.chartSd}, {"chart_last", c.chartLast}};
        for (const auto& v : chart)
            if (v.value)
                line += kSep + QString::fromLatin1(v.name) + label + G(*v.value);
        lines << line;
    }
    const UncertaintySettings& u = p.uncertainty;
    if (u != UncertaintySettings{})
        lines << T(kUncertaintyLabel) + label + T(kFlowToleranceLabel) + label + G(u.flowTolerance) + QStringLiteral(" %") +
                 kSep + T(kExposedAreaLabel) + label + G(u.areaTolerance) + QStringLiteral(" %") + kSep +
                 T(kReferenceGasLabel) + label + G(u.referenceGas) + QStringLiteral(" % (k = 2)");
    if (p.requirement.any())
        lines << T(kRequirementLabel) + label + requirementToken(p.requirement, locale) + kSep + T(kRuleLabel) + label +
                 decisionRuleToken(p.requirement.rule);
    if (!p.operatorName.isEmpty())
        lines << T(kOperatorLabel) + label + asField(p.operatorName);
    return lines;
}

QString resultsFileName(const QString& chosen) {
    // Only the last name part counts: a dot in a folder name is no extension. Labs name tests by
    // date ("17.05.2024_Nitril"): what follows the last dot is an extension only when it looks
    // like one (a letter, then up to three letters or digits), so such a name keeps its dots.
    const qsizetype slash =
        std::max(chosen.lastIndexOf(QLatin1Char('/')), chosen.lastIndexOf(QLatin1Char('\\')));
    const qsizetype dot = chosen.lastIndexOf(QLatin1Char('.'));
    static const QRegularExpression extension(QStringLiteral("^[A-Za-z][A-Za-z0-9]{0,3}$"));
    const bool hasExtension = dot > slash + 1 && extension.match(chosen.mid(dot + 1)).hasMatch();
    return (hasExtension ? chosen.left(dot) : chosen) + QStringLiteral(".csv");
}

QLocale fileNumberLocale(int ID) {
    QLocale l = ID == kEnglishOffset ? QLocale::c() : QLocale(QLocale::German, QLocale::Germany);
    l.setNumberOptions(QLocale::OmitGroupSeparator);
    return l;
}

QStringList resultsHeaderLines(const ResultsHeader& h, int ID, TDeviceTyp deviceTyp,
                               const QLocale& locale, const std::optional<QLocale>& moments) {
    const QLocale& when = moments ? *moments : locale;
    const bool both = deviceTyp == TDeviceTyp::FIDFPD;
    auto T = [ID](int n) { return LoadLangText(ID, n); };
    auto G = [&locale](double v) { return formatGeneral(v, locale); };
    auto F = [&locale](double v, int n, int d) { return formatFixed(v, n, d, locale); };
    const QString label = QStringLiteral(":;");
    const QString degrees = QStringLiteral(" °C");

    QStringList lines;
    QString first = T(58) + label + h.path + kSep + T(72) + label + shortDate(h.moment, when) +
                    QLatin1Char(' ') + formatTimeOfDay(h.moment.time(), when) + kSep + T(121) +
                    QLatin1Char(':') + h.serial + kSep + T(kDecimalLabel) + label + locale.decimalPoint();
    // The first run of a file keeps the line as it always was.
    if (h.fileRun > 1)
        first += kSep + T(kRunLabel) + label + wholeNumber(h.fileRun);
    lines << first;

    // Set values, then the actual values in the same columns.
    QString set = T(59) + QLatin1Char(' ') + T(60) + QLatin1Char(':') + kSep + T(63) + label +
                  wholeNumber(h.TempMesskammer) + degrees + kSep + T(64) + label +
                  wholeNumber(h.TempVentilblock) + degrees;
    QString actual = T(59) + QLatin1Char(' ') + T(61) + QLatin1Char(':') + kSep + T(63) + label +
                     h.actualMesskammer + kSep + T(64) + label + h.actualVentilblock;
    if (both) {
        set += kSep + T(65) + label + wholeNumber(h.TempEmissionskammer) + degrees + kSep + T(66) +
               kSep + wholeNumber(h.TempTransferline) + degrees + kSep + T(67) + kSep +
               wholeNumber(h.Hochspannung) + QStringLiteral(" V") + kSep + T(68) + kSep +
               wholeNumber(h.Zerokompensation) + QStringLiteral(" %");
        actual += kSep + T(65) + label + h.actualEmissionskammer + kSep + T(66) + kSep +
                  h.actualTransferline + kSep + T(67) + kSep + h.actualHochspannung + kSep + T(68) +
                  kSep + h.actualZerokompensation;
    }
    lines << set << actual;

    lines << T(69) + label + G(h.FIDCALMenge) + kSep + T(71) + label + wholeNumber(h.FIDCalArea) +
                 kSep + T(73) + label + F(h.LimitFID, 6, 2) + kSep + T(74) + label +
                 F(h.FIDSampleFactor, 6, 2);
    if (both)
        lines << T(70) + label + G(h.FPDCalMenge) + kSep + T(71) + label +
                     wholeNumber(h.FPDCalArea) + kSep + T(73) + label + F(h.LimitFPD, 5, 1) + kSep +
                     T(74) + label + F(h.FPDFactor, 5, 1);

    lines << T(1) + QLatin1Char(':') + wholeNumber(h.Startzelle);
    lines << T(2) + label + wholeNumber(h.AnzahlZellen);
    lines << T(4) + label + wholeNumber(h.AnzahlMessreihen);
    lines << T(75) + label + wholeNumber(h.SampleTime) + QStringLiteral(" s");
    lines << T(76) + label + wholeNumber(h.InjectionTime) + QStringLiteral(" s");
    lines << T(3) + label + wholeNumber(h.Messzeit) + QStringLiteral(" s");
    if (h.parameters.known)
        lines << runParameterLines(h.parameters, ID, deviceTyp, locale);
    lines << T(51);

    // Always five description lines, so the column titles stay on the same line of every file.
    // Any line break the memo may hold (CR LF, LF, CR) separates lines.
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\r|\n"));
    const QStringList description =
        h.description.isEmpty() ? QStringList() : h.description.split(lineBreak);
    for (int i = 0; i < 5; ++i)
        lines << (i < description.size() ? asField(description[i]) : QString());

    QStringList titles{T(77), T(78), T(79), T(114), T(112), T(111), T(80), T(120), T(69), T(71)};
    if (both)
        titles << T(70) << T(71);
    titles << T(81) << T(72) << T(82);
    lines << titles.join(kSep);
    return lines;
}

QString resultRowText(const ResultRow& r, TDeviceTyp deviceTyp, const QLocale& locale,
                      const std::optional<QLocale>& moments) {
    const QLocale& when = moments ? *moments : locale;
    auto F = [&locale](double v, int n, int d) { return formatFixed(v, n, d, locale); };
    QStringList fields{wholeNumber(r.runZelle),
                       QString(r.marker),
                       r.breakTime,
                       asField(r.sChemikalie),
                       F(r.FIDSampleFactor, 5, 2),
                       F(r.Flow, 5, 1),
                       formatDuration(r.elapsedMs),
                       F(r.FIDppm, 7, 3),
                       F(r.FIDMessMenge, 7, 3),
                       F(r.FIDArea, 8, 0)};
    if (deviceTyp == TDeviceTyp::FIDFPD)
        fields << F(r.FPDMessMenge, 7, 3) << F(r.FPDArea, 8, 0);
    fields << asField(r.sampleName) << shortDate(r.moment, when)
           << formatTimeOfDay(r.moment.time(), when) << wholeNumber(r.runAktiv);
    return fields.join(kSep);
}

} // namespace korvat
