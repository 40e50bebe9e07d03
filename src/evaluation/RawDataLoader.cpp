#include "evaluation/RawDataLoader.h"

#include "util/NumberText.h"
#include "util/Utils.h"

#include <QFile>
#include <charconv>
#include <optional>

namespace korvat {

namespace {

// The file's lines one after the other, CR LF or LF; a last line without an end counts too.
class LineReader {
public:
    explicit LineReader(QByteArray data) : data_(std::move(data)) {}

    // The next line, or nullopt past the end. lineNumber() is then the line that was asked for.
    std::optional<QString> next() {
        ++line_;
        if (pos_ >= data_.size())
            return std::nullopt;
        qsizetype end = data_.indexOf('\n', pos_);
        if (end < 0)
            end = data_.size();
        qsizetype len = end - pos_;
        if (len > 0 && data_[pos_ + len - 1] == '\r')
            --len;
        const QString text = QString::fromLatin1(data_.constData() + pos_, len);
        pos_ = end + 1;
        return text;
    }
    int lineNumber() const { return line_; }

private:
    QByteArray data_;
    qsizetype pos_ = 0;
    int line_ = 0;
};

// Most values are whole converter counts, which read the same under every locale; they are taken
// directly, since asking the system locale for its separators costs more than all the rest of a
// load. The value is the one the locale's conversion gives (correctly rounded).
std::optional<double> wholeCount(const QString& text) {
    const qsizetype size = text.size();
    if (size == 0 || size > 16)
        return std::nullopt;
    char digits[16];
    for (qsizetype k = 0; k < size; ++k) {
        const char16_t c = text[k].unicode();
        const bool digit = c >= u'0' && c <= u'9';
        if (!digit && !(k == 0 && c == u'-' && size > 1))
            return std::nullopt;
        digits[k] = static_cast<char>(c);
    }
    double v = 0.0;
    const auto [end, ec] = std::from_chars(digits, digits + size, v);
    if (ec != std::errc() || end != digits + size)
        return std::nullopt;
    return v;
}

// Files written under a locale with a decimal comma hold "12,5"; "." is taken as "," so the point
// form loads on such a system as well. A file written under a point locale ("12.5") would not
// read back under one, so its own text is tried in the C locale too.
std::optional<double> parseValue(const QString& text, const QLocale& locale) {
    if (const auto v = wholeCount(text))
        return v;
    if (const auto v = parseFloat(DotToComma(text), locale))
        return v;
    return parseFloat(text, QLocale::c());
}

class Loader {
public:
    Loader(const QString& path, QByteArray data, const QLocale& locale)
        : path_(path), lines_(std::move(data)), locale_(locale) {}

    std::optional<QString> line() {
        auto text = lines_.next();
        if (!text)
            fail(QStringLiteral("missing, the file ends after line %1")
                     .arg(lines_.lineNumber() - 1));
        return text;
    }
    std::optional<int> wholeNumber(const QString& text) {
        const auto v = parseInteger(text);
        if (!v)
            fail(QStringLiteral("\"%1\" is not a whole number").arg(text));
        return v;
    }
    std::optional<double> value(const QString& text) {
        const auto v = parseValue(text, locale_);
        if (!v)
            fail(QStringLiteral("\"%1\" is not a number").arg(text));
        return v;
    }
    // The texts before and after the first ",". Without one the first text would be empty, which
    // is no number; the message says what is really missing.
    std::optional<std::pair<QString, QString>> pair(const QString& text) {
        const qsizetype comma = text.indexOf(QLatin1Char(','));
        if (comma < 0) {
            fail(QStringLiteral("\"%1\" has no comma between the two detectors' values").arg(text));
            return std::nullopt;
        }
        return std::pair{text.left(comma), text.mid(comma + 1)};
    }

    void fail(const QString& what) {
        result.ok = false;
        // One arg() call: a "%1" in the file name must stay as it is.
        result.error = QStringLiteral("%1, line %2: %3")
                           .arg(path_, QString::number(lines_.lineNumber()), what);
    }

    RawLoadResult result;

private:
    QString path_;
    LineReader lines_;
    QLocale locale_;
};

void loadTwoDetectors(Loader& in, Series& series1, Series& series2, Series& serie3) {
    const auto header = in.line();
    const auto counts = header ? in.pair(*header) : std::nullopt;
    if (!counts)
        return;
    const auto n1 = in.wholeNumber(counts->first);
    const auto n2 = n1 ? in.wholeNumber(counts->second) : std::nullopt;
    if (!n2)
        return;
    const int n = MaxInt2(*n1, *n2);
    in.result.count = n;
    const qint64 last = qint64(n) - 2; // a count of INT_MIN must not wrap around
    for (int i = 0; i <= last; ++i) {
        const auto text = in.line();
        const auto values = text ? in.pair(*text) : std::nullopt;
        const auto fid = values ? in.value(values->first) : std::nullopt;
        if (!fid)
            return;
        series1.x.push_back(i * 0.1);
        series1.y.push_back(*fid);
        if (3 < i && i < last)
            AddSlopePoint(series1, serie3, i);
        const auto fpd = in.value(values->second);
        if (!fpd)
            return;
        series2.x.push_back(i * 0.1);
        series2.y.push_back(*fpd);
    }
}

void loadOneDetector(Loader& in, Series& series1, Series& serie3) {
    const auto header = in.line();
    const auto count = header ? in.wholeNumber(*header) : std::nullopt;
    if (!count)
        return;
    const int n = *count;
    in.result.count = n;
    const qint64 last = qint64(n) - 2;
    for (int i = 0; i <= last; ++i) {
        const auto text = in.line();
        const auto v = text ? in.value(*text) : std::nullopt;
        if (!v)
            return;
        series1.x.push_back(i * 0.1);
        series1.y.push_back(*v);
        if (3 < i && i < last)
            AddSlopePoint(series1, serie3, i);
    }
}

} // namespace

RawLoadResult loadRawData(const QString& path, Series& series1, Series& series2, Series& serie3,
                          const QLocale& locale) {
    series1.clear();
    series2.clear();
    serie3.clear();

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        RawLoadResult failed;
        failed.ok = false;
        failed.error = QStringLiteral("Cannot open %1: %2").arg(path, file.errorString());
        return failed;
    }
    return loadRawData(path, file.readAll(), series1, series2, serie3, locale);
}

RawLoadResult loadRawData(const QString& path, const QByteArray& bytes, Series& series1,
                          Series& series2, Series& serie3, const QLocale& locale) {
    series1.clear();
    series2.clear();
    serie3.clear();
    Loader in(path, bytes, locale);

    const auto first = in.line();
    const auto layout = first ? in.wholeNumber(*first) : std::nullopt;
    if (!layout)
        return in.result;
    if (*layout == 2)
        loadTwoDetectors(in, series1, series2, serie3);
    else
        loadOneDetector(in, series1, serie3);
    return in.result;
}

QString evaluateRawFileLine(const QString& path, const DetectionSettings& settings, bool* ok,
                            const QLocale& locale) {
    Series series1, series2, serie3;
    const RawLoadResult loaded = loadRawData(path, series1, series2, serie3, locale);
    if (ok)
        *ok = loaded.ok;
    if (!loaded.ok)
        return path + QStringLiteral(";error;") + loaded.error;

    EvaluationState st;
    PeakAndArea(st, TDeviceTyp::FID, series1, serie3, settings);
    const auto g = [](double v) { return QString::number(v, 'g', 17); };
    return QStringList{path,
                       st.NoPeak ? QStringLiteral("1") : QStringLiteral("0"),
                       g(st.FIDArea),
                       g(st.FIDStart),
                       g(st.FIDEnd),
                       g(st.FIDStartLevel),
                       g(st.FIDEndLevel)}
        .join(QLatin1Char(';'));
}

} // namespace korvat
