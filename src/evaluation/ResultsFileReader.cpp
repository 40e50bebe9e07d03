#include "evaluation/ResultsFileReader.h"

#include "evaluation/CellSummary.h"
#include "evaluation/RawDataLoader.h"
#include "shell/StringTable.h"
#include "util/CodePage.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <map>
#include <optional>
#include <string>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace korvat {

namespace {

// The longest piece of a line a message quotes.
constexpr qsizetype kQuoteLength = 60;
// No number the program writes comes near this; a longer text is no number.
constexpr qsizetype kLongestNumber = 40;
// A results file of a month of measurements every half minute holds about 10 MB.
constexpr qint64 kLargestFile = 256LL * 1024 * 1024;
// The header block: the file line, then at most 16 lines up to the description title (both
// detectors, with the run's parameters), then at most five description lines before the column
// titles.
constexpr int kHeaderLinesBeforeDescription = 40;
constexpr int kDescriptionLines = 5;

QString quote(QStringView text) {
    QString out = QLatin1Char('"') + escapeControlCharacters(text.first(std::min(text.size(), kQuoteLength)).toString()) +
                  QLatin1Char('"');
    if (text.size() > kQuoteLength)
        out += QStringLiteral("\u2026 (%1 characters)").arg(text.size());
    return out;
}

// The file's lines: CR LF or LF ends; a last line without an end counts too.
QStringList splitLines(const QString& text) {
    QStringList lines;
    qsizetype pos = 0;
    while (pos < text.size()) {
        qsizetype end = text.indexOf(QLatin1Char('\n'), pos);
        if (end < 0)
            end = text.size();
        qsizetype len = end - pos;
        if (len > 0 && text[pos + len - 1] == QLatin1Char('\r'))
            --len;
        lines << text.mid(pos, len);
        pos = end + 1;
    }
    return lines;
}

// A number as formatFixed writes it: an optional "-", digits, the decimal separator and digits,
// and an exponent "E+005"; no group separators, no blanks, nothing that is not finite.
std::optional<double> fixedNumber(QStringView text, QChar decimalPoint) {
    if (text.isEmpty() || text.size() > kLongestNumber)
        return std::nullopt;
    std::string s;
    qsizetype k = 0;
    auto digits = [&]() {
        const qsizetype from = k;
        while (k < text.size() && text[k] >= QLatin1Char('0') && text[k] <= QLatin1Char('9'))
            s.push_back(static_cast<char>(text[k++].unicode()));
        return k > from;
    };
    if (text[k] == QLatin1Char('-'))
        s.push_back(static_cast<char>(text[k++].unicode()));
    if (!digits())
        return std::nullopt;
    if (k < text.size() && text[k] == decimalPoint) {
        s.push_back('.');
        ++k;
        if (!digits())
            return std::nullopt;
    }
    if (k < text.size() && text[k] == QLatin1Char('E')) {
        s.push_back('e');
        ++k;
        if (k < text.size() && (text[k] == QLatin1Char('+') || text[k] == QLatin1Char('-')))
            s.push_back(static_cast<char>(text[k++].unicode()));
        if (!digits())
            return std::nullopt;
    }
    if (k != text.size())
        return std::nullopt;
    double v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(v))
        return std::nullopt;
    return v;
}

// Decimal digits only, as the program writes positions and measurement numbers.
std::optional<int> plainWholeNumber(QStringView text) {
    if (text.isEmpty() || text.size() > 9)
        return std::nullopt;
    int v = 0;
    for (QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        v = v * 10 + (c.unicode() - '0');
    }
    return v;
}

// hh:mm:ss counted from zero; the hours go past 24 (formatDuration).
std::optional<qint64> elapsedMilliseconds(QStringView text) {
    static const QRegularExpression form(QStringLiteral("^([0-9]{2,9}):([0-5][0-9]):([0-5][0-9])$"));
    const auto m = form.match(text.toString());
    if (!m.hasMatch())
        return std::nullopt;
    const qint64 seconds =
        m.capturedView(1).toLongLong() * 3600 + m.capturedView(2).toLongLong() * 60 + m.capturedView(3).toLongLong();
    return seconds * 1000;
}

QString timeFormatOf(const QLocale& locale) {
    QString format = locale.timeFormat(QLocale::LongFormat);
    format.remove(QLatin1Char('t'));
    return format.trimmed();
}

// The date and time forms a row may carry: the reading locale's first, then those of the
// machines a file most likely comes from.
struct MomentForms {
    QStringList dates, times;
    explicit MomentForms(const QLocale& locale) {
        dates << locale.dateFormat(QLocale::ShortFormat)
              << QLocale(QLocale::German, QLocale::Germany).dateFormat(QLocale::ShortFormat)
              << QLocale(QLocale::English, QLocale::UnitedStates).dateFormat(QLocale::ShortFormat)
              << QStringLiteral("yyyy-MM-dd");
        times << timeFormatOf(locale) << timeFormatOf(QLocale(QLocale::German, QLocale::Germany))
              << timeFormatOf(QLocale(QLocale::English, QLocale::UnitedStates));
        dates.removeDuplicates();
        times.removeDuplicates();
    }
};

std::optional<QDate> dateOf(const QString& text, const MomentForms& forms) {
    for (const QString& format : forms.dates) {
        QDate d = QDate::fromString(text, format);
        if (!d.isValid())
            continue;
        // A two-digit year reads as 19yy; the program has written no results before 2000.
        if (format.contains(QLatin1String("yy")) && !format.contains(QLatin1String("yyyy")) && d.year() < 2000)
            d = d.addYears(100);
        return d;
    }
    return std::nullopt;
}

std::optional<QTime> timeOf(const QString& text, const MomentForms& forms) {
    for (const QString& format : forms.times) {
        const QTime t = QTime::fromString(text, format);
        if (t.isValid())
            return t;
    }
    return std::nullopt;
}

// The column titles of either language and configuration, as resultsHeaderLines writes them.
QString titleLine(int ID, bool twoDetectors) {
    auto T = [ID](int n) { return LoadLangText(ID, n); };
    QStringList titles{T(77), T(78), T(79), T(114), T(112), T(111), T(80), T(120), T(69), T(71)};
    if (twoDetectors)
        titles << T(70) << T(71);
    titles << T(81) << T(72) << T(82);
    return titles.join(QLatin1Char(';'));
}

constexpr std::array<int, 2> kLanguages{0, 1000};

class Parser {
public:
    Parser(const QString& path, const QLocale& locale) : path_(path), forms_(locale) {}

    ResultsFileRead parse(const QString& text) {
        lines_ = splitLines(text);
        for (std::size_t i = 0; i < static_cast<std::size_t>(lines_.size());) {
            const QString& line = lines_[i];
            if (const auto ID = headerStart(line)) {
                if (!header(i, *ID))
                    return failed();
                continue;
            }
            if (!header_) {
                fail(i, QStringLiteral("the header block of a results file (\"%1\" or \"%2\") expected, found %3")
                            .arg(LoadLangText(0, 58) + QStringLiteral(":;"), LoadLangText(1000, 58) + QStringLiteral(":;"),
                                 quote(line)));
                return failed();
            }
            if (!line.isEmpty() && !row(i))
                return failed();
            ++i;
        }
        if (!header_) {
            fail(lines_.size(), QStringLiteral("missing: the file holds no header block"));
            return failed();
        }
        result_.ok = true;
        return std::move(result_);
    }

private:
    std::optional<int> headerStart(const QString& line) const {
        for (int ID : kLanguages)
            if (line.startsWith(LoadLangText(ID, 58) + QStringLiteral(":;")))
                return ID;
        return std::nullopt;
    }

    // The header block from line i: its language, the decimal separator of its limit, the
    // measuring time per cell and, from the column titles, the configuration. Leaves i after the
    // titles.
    bool header(std::size_t& i, int ID) {
        auto T = [ID](int n) { return LoadLangText(ID, n); };
        ResultsRun run;
        run.headerLine = static_cast<int>(i) + 1;
        run.ID = ID;
        // The block's first line ends with the numbers' decimal separator (";Dezimaltrennzeichen:;,")
        // and, from a file's second run on, the run's number (";Lauf:;2"). Files of earlier
        // versions have neither.
        const QStringList first = lines_[i].split(QLatin1Char(';'));
        std::optional<QChar> statedSeparator;
        for (qsizetype f = 2; f + 1 < first.size(); ++f) {
            const QString& value = first[f + 1];
            if (first[f] == T(kRunLabel) + QLatin1Char(':')) {
                const auto number = plainWholeNumber(value);
                if (!number || *number < 1) {
                    fail(i, QStringLiteral("%1 is not a run number").arg(quote(value)));
                    return false;
                }
                run.fileRun = *number;
            } else if (first[f] == T(kDecimalLabel) + QLatin1Char(':')) {
                if (value != QLatin1String(",") && value != QLatin1String(".")) {
                    fail(i, QStringLiteral("%1 is not a decimal separator").arg(quote(value)));
                    return false;
                }
                statedSeparator = value[0];
            }
        }
        const QString calibration = T(69) + QStringLiteral(":;");
        const QString measuring = T(3) + QStringLiteral(":;");
        bool haveSeparator = false, haveMeasuring = false;
        std::size_t k = i + 1;
        for (; k < static_cast<std::size_t>(lines_.size()) && lines_[k] != T(51); ++k) {
            const QString& line = lines_[k];
            if (k - i > kHeaderLinesBeforeDescription) {
                fail(k, QStringLiteral("\"%1\" expected after the header lines, found %2").arg(T(51), quote(line)));
                return false;
            }
            if (line.startsWith(calibration) && !statedSeparator) {
                // The limit is written with two decimals: it says which separator the file uses
                // when the first line does not.
                const QStringList fields = line.split(QLatin1Char(';'));
                const QString limit = fields.size() > 5 ? fields[5] : QString();
                if (limit.contains(QLatin1Char(',')))
                    run.decimalPoint = QLatin1Char(',');
                else if (limit.contains(QLatin1Char('.')))
                    run.decimalPoint = QLatin1Char('.');
                else {
                    fail(k, QStringLiteral("the limit %1 has no decimal separator").arg(quote(limit)));
                    return false;
                }
                haveSeparator = true;
            } else if (line.startsWith(measuring)) {
                const QString value = line.mid(measuring.size());
                const auto seconds = value.endsWith(QStringLiteral(" s")) ? plainWholeNumber(QStringView(value).chopped(2))
                                                                          : std::nullopt;
                if (!seconds) {
                    fail(k, QStringLiteral("%1 is not a measuring time in seconds").arg(quote(value)));
                    return false;
                }
                run.measuringSeconds = *seconds;
                haveMeasuring = true;
            }
        }
        if (k >= static_cast<std::size_t>(lines_.size())) {
            fail(k, QStringLiteral("missing: the header block from line %1 does not end with \"%2\"").arg(i + 1).arg(T(51)));
            return false;
        }
        if (statedSeparator) {
            run.decimalPoint = *statedSeparator;
            haveSeparator = true;
        }
        if (!haveSeparator || !haveMeasuring) {
            fail(i, QStringLiteral("the header block has no \"%1\" line").arg(haveSeparator ? measuring : calibration));
            return false;
        }
        run.parameters.measuringSeconds = run.measuringSeconds;
        for (std::size_t line = i + 1; line < k; ++line)
            if (!parameterLine(line, ID, run))
                return false;
        // Up to five description lines, then the column titles.
        const QString fid = titleLine(ID, false), both = titleLine(ID, true);
        std::size_t t = k + 1;
        for (; t < static_cast<std::size_t>(lines_.size()) && t <= k + 1 + kDescriptionLines; ++t) {
            if (lines_[t] == fid || lines_[t] == both)
                break;
        }
        if (t >= static_cast<std::size_t>(lines_.size()) || t > k + 1 + kDescriptionLines) {
            const std::size_t at = std::min<std::size_t>(t, k + 1 + kDescriptionLines);
            fail(at, at < static_cast<std::size_t>(lines_.size())
                         ? QStringLiteral("the column titles expected, found %1").arg(quote(lines_[at]))
                         : QStringLiteral("missing: the column titles expected"));
            return false;
        }
        run.deviceTyp = lines_[t] == both ? TDeviceTyp::FIDFPD : TDeviceTyp::FID;
        header_ = run;
        if (!result_.runs.empty() && result_.runs.back().rows.empty())
            result_.runs.pop_back(); // a block without rows, superseded
        result_.runs.push_back(run);
        i = t + 1;
        return true;
    }

    // A number of the header block as formatGeneral or formatFixed writes it, with `unit` after it.
    std::optional<double> headerNumber(std::size_t line, const QString& text, QChar decimalPoint,
                                       const QString& unit = {}) {
        if (!unit.isEmpty() && !text.endsWith(unit)) {
            fail(line, QStringLiteral("%1 is not a number in %2").arg(quote(text), unit.trimmed()));
            return std::nullopt;
        }
        const auto v = fixedNumber(QStringView(text).chopped(unit.size()), decimalPoint);
        if (!v)
            fail(line, QStringLiteral("%1 is not a number").arg(quote(text)));
        return v;
    }

    // The values after "label:" fields of a header line, by label.
    static std::map<QString, QString> labelled(const QStringList& fields, qsizetype from) {
        std::map<QString, QString> values;
        for (qsizetype k = from; k + 1 < fields.size(); k += 2)
            if (fields[k].endsWith(QLatin1Char(':')))
                values[fields[k].chopped(1)] = fields[k + 1];
        return values;
    }

    // The lines of the header block that hold what the figures depend on (RunParameters); a line
    // it does not know is none of them.
    bool parameterLine(std::size_t line, int ID, ResultsRun& run) {
        auto T = [ID](int n) { return LoadLangText(ID, n); };
        RunParameters& p = run.parameters;
        const QChar point = run.decimalPoint;
        const QStringList f = lines_[line].split(QLatin1Char(';'));
        const QString head = f.value(0);
        auto number = [&](const QString& text, const QString& unit = {}) { return headerNumber(line, text, point, unit); };
        if (head == T(69) + QLatin1Char(':') || head == T(70) + QLatin1Char(':')) {
            const bool fid = head == T(69) + QLatin1Char(':');
            const auto ppm = number(f.value(1));
            const auto area = plainWholeNumber(f.value(3));
            if (!ppm)
                return false;
            if (!area) {
                fail(line, QStringLiteral("%1 is not a calibration area").arg(quote(f.value(3))));
                return false;
            }
            (fid ? p.fidCalPpm : p.fpdCalPpm) = *ppm;
            (fid ? p.fidCalArea : p.fpdCalArea) = *area;
            return true;
        }
        if (head == T(kSampleAreaLabel) + QLatin1Char(':')) {
            const auto values = labelled(f, 0);
            const QString area = values.count(T(kSampleAreaLabel)) ? values.at(T(kSampleAreaLabel)) : QString();
            const QString planned = values.count(T(kPlannedLabel)) ? values.at(T(kPlannedLabel)) : QString();
            if (area != QStringLiteral(" cm\u00b2")) {
                const auto a = number(area, QStringLiteral(" cm\u00b2"));
                if (!a)
                    return false;
                p.sampleArea = *a;
            }
            const auto minutes = number(planned, QStringLiteral(" min"));
            if (!minutes)
                return false;
            p.plannedMinutes = *minutes;
            p.known = true;
            return true;
        }
        if (head == T(kCalFactorLabel) + QLatin1Char(':')) {
            const auto values = labelled(f, 1);
            for (const auto& [name, field] : {std::pair{QStringLiteral("FID"), &p.fidCalFactor},
                                              std::pair{QStringLiteral("FPD"), &p.fpdCalFactor}}) {
                if (!values.count(name))
                    continue;
                const auto v = number(values.at(name));
                if (!v)
                    return false;
                *field = *v;
            }
            return true;
        }
        if (head == T(kPeakSearchLabel) + QLatin1Char(':')) {
            const auto values = labelled(f, 1);
            DetectionSettings d;
            const auto start = plainWholeNumber(values.count(QStringLiteral("MinIndex")) ? values.at(QStringLiteral("MinIndex")) : QString());
            if (!start) {
                fail(line, QStringLiteral("no MinIndex in %1").arg(quote(lines_[line])));
                return false;
            }
            d.MinPeakStart = *start;
            for (const auto& [name, field] : {std::pair{QStringLiteral("PeakTime"), &d.PeakTime},
                                              std::pair{QStringLiteral("MinPeakWidth"), &d.MinPeakWith},
                                              std::pair{QStringLiteral("Loopflow"), &d.Loopflow}}) {
                const auto v = number(values.count(name) ? values.at(name) : QString());
                if (!v)
                    return false;
                *field = *v;
            }
            p.detection = d;
            return true;
        }
        for (int k = 1; k <= 3; ++k) {
            if (head != T(kSpecimenLabel) + QLatin1Char(' ') + QString::number(k) + QLatin1Char(':'))
                continue;
            Specimen& sp = p.cells[static_cast<std::size_t>(k - 1)].specimen;
            const auto values = labelled(f, 1);
            auto value = [&values](const QString& name) { return values.count(name) ? values.at(name) : QString(); };
            sp.material = value(T(kMaterialLabel));
            sp.lot = value(T(kLotLabel));
            for (const auto& [name, unit, field] :
                 {std::tuple{T(kThicknessLabel), QStringLiteral(" mm"), &sp.thicknessMm},
                  std::tuple{T(kExposedAreaLabel), QStringLiteral(" cm\u00b2"), &sp.areaCm2}}) {
                if (value(name).isEmpty())
                    continue;
                const auto v = number(value(name), unit);
                if (!v)
                    return false;
                *field = *v;
            }
            return true;
        }
        if (head == T(kCurveLabel) + QLatin1Char(':')) {
            const QString which = f.value(1);
            if (which != QLatin1String("FID") && which != QLatin1String("FPD")) {
                fail(line, QStringLiteral("%1 is no detector (FID or FPD)").arg(quote(which)));
                return false;
            }
            const Detector d = which == QLatin1String("FID") ? Detector::FID : Detector::FPD;
            const auto values = labelled(f, 2);
            auto value = [&values](const QString& name) { return values.count(name) ? values.at(name) : QString(); };
            CalibrationInForce& c = p.calibration(d);
            const QString numberText = value(T(kCalNumberLabel));
            const auto calibrationNumber = numberText.isEmpty() ? std::optional<int>(0) : plainWholeNumber(numberText);
            if (!calibrationNumber) {
                fail(line, QStringLiteral("%1 is not a calibration number").arg(quote(numberText)));
                return false;
            }
            const QDateTime date = QDateTime::fromString(value(T(72)), QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
            if (!value(T(kRepeatabilityLabel)).isEmpty()) {
                const auto percent = number(value(T(kRepeatabilityLabel)), QStringLiteral(" %"));
                const auto dof = plainWholeNumber(value(QStringLiteral("dof")));
                if (!percent)
                    return false;
                c.repeatability = Repeatability{*percent / 100, dof.value_or(0)};
            }
            std::vector<CalibrationPoint> points;
            for (const QString& pair : value(T(kPointsLabel)).split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
                const qsizetype eq = pair.indexOf(QLatin1Char('='));
                const auto ppm = eq > 0 ? fixedNumber(QStringView(pair).left(eq), point) : std::nullopt;
                const auto area = eq > 0 ? fixedNumber(QStringView(pair).mid(eq + 1), point) : std::nullopt;
                if (!ppm || !area || !(*ppm > 0)) {
                    fail(line, QStringLiteral("%1 is not a calibration point (ppm=area)").arg(quote(pair)));
                    return false;
                }
                CalibrationPoint cp;
                cp.number = *calibrationNumber;
                cp.detector = d;
                cp.moment = date;
                cp.ppm = *ppm;
                cp.area = *area;
                points.push_back(cp);
            }
            CalibrationCurve curve =
                fitCalibrationCurve(d, points, c.repeatability ? c.repeatability->relative : 0);
            curve.number = *calibrationNumber;
            curve.date = date;
            c.curve = curve;
            const auto state = controlChartStateFromToken(value(T(kChartLabel)));
            if (!state) {
                fail(line, QStringLiteral("%1 is not a control chart's state").arg(quote(value(T(kChartLabel)))));
                return false;
            }
            c.chartState = *state;
            for (const auto& [name, field] : {std::pair{QStringLiteral("chart_centre"), &c.chartCentre},
                                              std::pair{QStringLiteral("chart_sd"), &c.chartSd},
                                              std::pair{QStringLiteral("chart_last"), &c.chartLast}}) {
                if (value(name).isEmpty())
                    continue;
                const auto v = number(value(name));
                if (!v)
                    return false;
                *field = *v;
            }
            if (!value(QStringLiteral("chart_ppm")).isEmpty()) {
                const auto v = number(value(QStringLiteral("chart_ppm")));
                if (!v)
                    return false;
                c.chartLevel = *v;
            }
            return true;
        }
        if (head == T(kUncertaintyLabel) + QLatin1Char(':')) {
            const auto values = labelled(f, 1);
            auto value = [&values](const QString& name) { return values.count(name) ? values.at(name) : QString(); };
            const auto flow = number(value(T(kFlowToleranceLabel)), QStringLiteral(" %"));
            const auto area = number(value(T(kExposedAreaLabel)), QStringLiteral(" %"));
            const auto gas = number(value(T(kReferenceGasLabel)), QStringLiteral(" % (k = 2)"));
            if (!flow || !area || !gas)
                return false;
            p.uncertainty = UncertaintySettings{*flow, *area, *gas};
            return true;
        }
        if (head == T(kOperatorLabel) + QLatin1Char(':')) {
            p.operatorName = f.mid(1).join(QLatin1Char(',')).trimmed();
            return true;
        }
        if (head == T(kRequirementLabel) + QLatin1Char(':')) {
            const auto requirement = requirementFromToken(f.value(1));
            const auto values = labelled(f, 2);
            const auto rule = decisionRuleFromToken(values.count(T(kRuleLabel)) ? values.at(T(kRuleLabel)) : QString());
            if (!requirement || !rule) {
                fail(line, QStringLiteral("%1 is not a requirement with its decision rule").arg(quote(lines_[line])));
                return false;
            }
            p.requirement = *requirement;
            p.requirement.rule = *rule;
            return true;
        }
        for (int k = 1; k <= 3; ++k) {
            if (head != T(77) + QLatin1Char(' ') + QString::number(k) + QLatin1Char(':'))
                continue;
            CellParameters& c = p.cells[static_cast<std::size_t>(k - 1)];
            c.chemical = f.value(1);
            // The FID's part comes first; the FPD's, from "FPD:", repeats the factor and molar mass labels.
            const qsizetype fpdAt = f.indexOf(QStringLiteral("FPD:"), 2);
            const auto fidValues = labelled(fpdAt > 0 ? f.mid(0, fpdAt) : f, 2);
            auto value = [&fidValues](const QString& name) { return fidValues.count(name) ? fidValues.at(name) : QString(); };
            auto mass = [&](const QString& text, std::optional<double>& field) {
                if (!text.endsWith(QStringLiteral(" g/mol")))
                    return true; // the detector's constant
                const auto m = number(text, QStringLiteral(" g/mol"));
                if (m)
                    field = *m;
                return m.has_value();
            };
            const auto factor = number(value(T(74)));
            const auto contact = number(value(T(kContactLabel)), QStringLiteral(" min"));
            if (!factor || !contact)
                return false;
            c.fidFactor = *factor;
            c.contactMinutes = *contact;
            if (!mass(value(T(kMolarMassLabel)), c.molarMass))
                return false;
            if (fpdAt > 0) {
                c.fpdSubstance = f.value(fpdAt + 1);
                const auto fpdValues = labelled(f.mid(fpdAt + 2), 0);
                const auto fpdFactor = number(fpdValues.count(T(74)) ? fpdValues.at(T(74)) : QString());
                if (!fpdFactor)
                    return false;
                c.fpdFactor = *fpdFactor;
                if (!mass(fpdValues.count(T(kMolarMassLabel)) ? fpdValues.at(T(kMolarMassLabel)) : QString(), c.fpdMolarMass))
                    return false;
                c.fpdSeesChemical = sameSubstance(c.fpdSubstance, c.chemical);
            }
            return true;
        }
        return true;
    }

    bool row(std::size_t i) {
        const ResultsRun& h = *header_;
        const bool both = h.deviceTyp == TDeviceTyp::FIDFPD;
        const QStringList f = lines_[i].split(QLatin1Char(';'));
        const qsizetype expected = both ? 16 : 14;
        if (f.size() != expected) {
            fail(i, QStringLiteral("%1 fields where a row has %2: %3").arg(f.size()).arg(expected).arg(quote(lines_[i])));
            return false;
        }
        ResultRow r;
        bool ok = true;
        auto number = [&](qsizetype k) {
            const auto v = fixedNumber(f[k], h.decimalPoint);
            if (!v && ok) {
                fail(i, QStringLiteral("%1 is not a number").arg(quote(f[k])));
                ok = false;
            }
            return v.value_or(0.0);
        };
        const auto position = plainWholeNumber(f[0]);
        if (!position || *position > 6) {
            fail(i, QStringLiteral("%1 is not a position (0 to 6)").arg(quote(f[0])));
            return false;
        }
        r.runZelle = *position;
        if (f[1] != QLatin1String(" ") && f[1] != QLatin1String("*")) {
            fail(i, QStringLiteral("%1 is not a break mark (\" \" or \"*\")").arg(quote(f[1])));
            return false;
        }
        r.marker = f[1][0];
        r.breakTime = f[2];
        r.sChemikalie = f[3];
        r.FIDSampleFactor = number(4);
        r.Flow = number(5);
        const auto elapsed = elapsedMilliseconds(f[6]);
        if (!elapsed && ok) {
            fail(i, QStringLiteral("%1 is not an elapsed time (hh:mm:ss)").arg(quote(f[6])));
            return false;
        }
        r.elapsedMs = elapsed.value_or(0);
        r.FIDppm = number(7);
        r.FIDMessMenge = number(8);
        r.FIDArea = number(9);
        qsizetype k = 10;
        if (both) {
            r.FPDMessMenge = number(10);
            r.FPDArea = number(11);
            k = 12;
        }
        if (!ok)
            return false;
        r.sampleName = f[k];
        const auto date = dateOf(f[k + 1], forms_);
        if (!date) {
            fail(i, QStringLiteral("%1 is not a date").arg(quote(f[k + 1])));
            return false;
        }
        const auto time = timeOf(f[k + 2], forms_);
        if (!time) {
            fail(i, QStringLiteral("%1 is not a time of day").arg(quote(f[k + 2])));
            return false;
        }
        r.moment = QDateTime(*date, *time);
        const auto number_ = plainWholeNumber(f[k + 3]);
        if (!number_) {
            fail(i, QStringLiteral("%1 is not a measurement number").arg(quote(f[k + 3])));
            return false;
        }
        r.runAktiv = *number_;

        ResultsRun* run = &result_.runs.back();
        // The measurement numbers start again with a new start of the measurement.
        if (!run->rows.empty() && r.runAktiv <= run->rows.back().runAktiv) {
            ResultsRun next = *header_;
            result_.runs.push_back(next);
            run = &result_.runs.back();
        }
        if (run->rows.empty())
            run->firstLine = static_cast<int>(i) + 1;
        run->rows.push_back(std::move(r));
        run->rowLines.push_back(static_cast<int>(i) + 1);
        return true;
    }

    void fail(std::size_t index, const QString& what) {
        result_.detail = QStringLiteral(", line %1: ").arg(index + 1) + what;
    }
    ResultsFileRead failed() {
        ResultsFileRead out;
        out.detail = result_.detail;
        out.error = path_ + out.detail;
        return out;
    }

    QString path_;
    MomentForms forms_;
    QStringList lines_;
    std::optional<ResultsRun> header_; // the header block in force, without rows
    ResultsFileRead result_;
};

ResultsFileRead cannotOpen(const QString& path, const QString& reason) {
    ResultsFileRead out;
    out.detail = QStringLiteral(": cannot open: ") + reason;
    out.error = path + out.detail;
    return out;
}

#ifdef Q_OS_UNIX
QString kindOf(mode_t mode) {
    if (S_ISFIFO(mode))
        return QStringLiteral("a FIFO");
    if (S_ISDIR(mode))
        return QStringLiteral("a folder");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("a device");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    return QStringLiteral("of an unknown kind");
}
#endif

} // namespace

ResultsFileRead parseResultsFile(const QString& path, const QByteArray& bytes, const QLocale& locale) {
    return Parser(path, locale).parse(fromCp1252(bytes));
}

ResultsFileRead readResultsFile(const QString& path, const QLocale& locale) {
    QFile file;
#ifdef Q_OS_UNIX
    // Only a regular file: a FIFO would hold the reader, a device may be the instrument's line.
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return cannotOpen(path, QString::fromLocal8Bit(std::strerror(errno)));
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return cannotOpen(path, QStringLiteral("it is not a regular file but ") + kindOf(st.st_mode));
    }
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return cannotOpen(path, file.errorString());
    }
#else
    file.setFileName(path);
    if (QFileInfo::exists(path) && !QFileInfo(path).isFile())
        return cannotOpen(path, QStringLiteral("it is not a regular file"));
    if (!file.open(QIODevice::ReadOnly))
        return cannotOpen(path, file.errorString());
#endif
    if (file.size() > kLargestFile)
        return cannotOpen(path, QStringLiteral("%1 bytes is more than any results file holds").arg(file.size()));
    const QByteArray bytes = file.read(kLargestFile + 1);
    if (file.error() != QFileDevice::NoError)
        return cannotOpen(path, file.errorString());
    if (bytes.size() > kLargestFile)
        return cannotOpen(path, QStringLiteral("more than %1 bytes is more than any results file holds").arg(kLargestFile));
    return parseResultsFile(path, bytes, locale);
}

void attachRawDataNoise(ResultsRun& run, const QString& resultsPath, const DetectionSettings& settings,
                        QStringList* notes) {
    const bool both = run.deviceTyp == TDeviceTyp::FIDFPD;
    std::vector<bool> unknown(run.rows.size(), false);
    QStringList problems;
    bool anyFound = false;
    for (std::size_t k = 0; k < run.rows.size(); ++k) {
        ResultRow& r = run.rows[k];
        r.fidNoiseArea.reset();
        r.fpdNoiseArea.reset();
        if (r.runZelle < 4 || r.runZelle > 6)
            continue;
        if (!isMeasurement(r, Detector::FID) && !(both && isMeasurement(r, Detector::FPD)))
            continue;
        const QString path = findBesideRun(resultsPath, run.fileRun, QStringLiteral("_%1.txt").arg(r.runAktiv));
        if (!QFileInfo::exists(path)) {
            unknown[k] = true;
            problems << QStringLiteral("%1 (line %2): raw-data file %3 not found")
                            .arg(resultsPath).arg(run.rowLines[k]).arg(path);
            continue;
        }
        anyFound = true;
        Series s1, s2, slope;
        const RawLoadResult loaded = loadRawData(path, s1, s2, slope);
        if (!loaded.ok) {
            unknown[k] = true;
            problems << loaded.error;
            continue;
        }
        // The file starts with the window's second point: index 0 is put back as a stand-in,
        // which baselineNoiseArea never reads.
        auto noise = [&settings](std::vector<double> y) {
            y.insert(y.begin(), 0.0);
            return baselineNoiseArea(y, settings);
        };
        r.fidNoiseArea = noise(s1.y);
        if (both)
            r.fpdNoiseArea = noise(s2.y);
    }
    // A cell whose files are not all there keeps no noise: its limit stays empty.
    for (int position = 4; position <= 6; ++position) {
        for (Detector d : {Detector::FID, Detector::FPD}) {
            if (d == Detector::FPD && !both)
                continue;
            bool complete = true;
            for (std::size_t k = 0; k < run.rows.size(); ++k)
                if (run.rows[k].runZelle == position && isMeasurement(run.rows[k], d) && unknown[k])
                    complete = false;
            if (complete)
                continue;
            for (ResultRow& r : run.rows)
                if (r.runZelle == position)
                    (d == Detector::FID ? r.fidNoiseArea : r.fpdNoiseArea).reset();
        }
    }
    // A run without any raw-data file kept none: nothing to say about that.
    if (notes && anyFound)
        *notes << problems;
}

} // namespace korvat
