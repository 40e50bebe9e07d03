#include "evaluation/RawDataLoader.h"

#include "util/NumberText.h"
#include "util/Utils.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <optional>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace korvat {

namespace {

// The longest piece of a line a message quotes: enough to recognise it, never the 10 MB of a
// file that is not what it claims to be.
constexpr qsizetype kQuoteLength = 60;

// No number the program writes (at most 23 characters) or any other writer would use comes near
// this; a longer text is no number, and is not converted whole just to find that out.
constexpr qsizetype kLongestNumber = 1000;

// The file's lines one after the other, CR LF or LF; a last line without an end counts too. The
// lines are views into the file's bytes: nothing is converted that no one reads.
class LineReader {
public:
    explicit LineReader(QByteArray data) : data_(std::move(data)) {}

    // The next line, or nullopt past the end. lineNumber() is then the line that was asked for.
    std::optional<QByteArrayView> next() {
        ++line_;
        if (pos_ >= data_.size())
            return std::nullopt;
        qsizetype end = data_.indexOf('\n', pos_);
        if (end < 0)
            end = data_.size();
        qsizetype len = end - pos_;
        if (len > 0 && data_[pos_ + len - 1] == '\r')
            --len;
        const QByteArrayView text(data_.constData() + pos_, len);
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
std::optional<double> wholeCount(QByteArrayView text) {
    const qsizetype size = text.size();
    if (size == 0 || size > 16)
        return std::nullopt;
    for (qsizetype k = 0; k < size; ++k) {
        const char c = text[k];
        const bool digit = c >= '0' && c <= '9';
        if (!digit && !(k == 0 && c == '-' && size > 1))
            return std::nullopt;
    }
    double v = 0.0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + size, v);
    if (ec != std::errc() || end != text.data() + size)
        return std::nullopt;
    return v;
}

// A value with a decimal comma or point, whatever the locale of this process or of the one that
// wrote the file: the file never groups thousands.
std::optional<double> parseValue(QByteArrayView bytes) {
    if (const auto v = wholeCount(bytes))
        return v;
    if (bytes.size() > kLongestNumber)
        return std::nullopt;
    return parseDecimal(QString::fromLatin1(bytes));
}

// A piece of the file in a message: in double quotes, control characters escaped, and no longer
// than kQuoteLength characters; a longer one says how long it really is.
QString quote(QByteArrayView bytes) {
    QString text = QLatin1Char('"') +
                   escapeControlCharacters(QString::fromLatin1(bytes.first(std::min(bytes.size(), kQuoteLength)))) +
                   QLatin1Char('"');
    if (bytes.size() > kQuoteLength)
        text += QStringLiteral("\u2026 (%1 characters)").arg(bytes.size());
    return text;
}

class Loader {
public:
    Loader(const QString& path, QByteArray data) : path_(path), lines_(std::move(data)) {}

    std::optional<QByteArrayView> line() {
        auto text = lines_.next();
        if (!text)
            fail(QStringLiteral("missing, the file ends after line %1")
                     .arg(lines_.lineNumber() - 1));
        return text;
    }
    std::optional<int> wholeNumber(QByteArrayView text) {
        const auto v = text.size() > kLongestNumber ? std::nullopt
                                                    : parseInteger(QString::fromLatin1(text));
        if (!v)
            fail(quote(text) + QStringLiteral(" is not a whole number"));
        return v;
    }
    std::optional<double> value(QByteArrayView text) {
        const auto v = parseValue(text);
        if (!v)
            fail(quote(text) + QStringLiteral(" is not a number"));
        return v;
    }
    // The texts before and after the first ",". Without one the first text would be empty, which
    // is no number; the message says what is really missing.
    std::optional<std::pair<QByteArrayView, QByteArrayView>> pair(QByteArrayView text) {
        const qsizetype comma = text.indexOf(',');
        if (comma < 0) {
            fail(quote(text) + QStringLiteral(" has no comma between the two detectors' values"));
            return std::nullopt;
        }
        return std::pair{text.first(comma), text.sliced(comma + 1)};
    }

    void fail(const QString& what) {
        result.ok = false;
        result.after = QStringLiteral(", line %1: ").arg(lines_.lineNumber()) + what;
        result.error = path_ + result.after;
    }

    RawLoadResult result;

private:
    QString path_;
    LineReader lines_;
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

RawLoadResult cannotOpen(const QString& path, const QString& reason) {
    RawLoadResult failed;
    failed.ok = false;
    failed.before = QStringLiteral("Cannot open ");
    failed.after = QStringLiteral(": ") + reason;
    failed.error = failed.before + path + failed.after;
    return failed;
}

#ifdef Q_OS_UNIX
// What a path that is no regular file is, for the message.
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

// Opens `path` only when it is a regular file (also behind a symbolic link). A FIFO would hold the
// reader until someone writes to it, a device may be the instrument's own serial line (opening
// it alone can switch its control lines), and a folder holds no data.
std::optional<RawLoadResult> openRegularFile(const QString& path, QFile& file) {
#ifdef Q_OS_UNIX
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (::stat(name.constData(), &st) == 0 && !S_ISREG(st.st_mode))
        return cannotOpen(path, QStringLiteral("it is not a regular file but ") + kindOf(st.st_mode));
    // Between the look and the open the path may have become something else: the open must not
    // wait, and what was opened is looked at again.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return cannotOpen(path, QString::fromLocal8Bit(std::strerror(errno)));
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return cannotOpen(path, QStringLiteral("it is not a regular file but ") + kindOf(st.st_mode));
    }
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return cannotOpen(path, file.errorString());
    }
    return std::nullopt;
#else
    file.setFileName(path);
    if (QFileInfo::exists(path) && !QFileInfo(path).isFile())
        return cannotOpen(path, QStringLiteral("it is not a regular file"));
    if (!file.open(QIODevice::ReadOnly))
        return cannotOpen(path, file.errorString());
    return std::nullopt;
#endif
}

} // namespace

QString escapeControlCharacters(const QString& text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    QString out;
    out.reserve(text.size());
    for (const QChar ch : text) {
        const char16_t c = ch.unicode();
        switch (c) {
        case u'\\': out += QLatin1String("\\\\"); continue;
        case u'\r': out += QLatin1String("\\r"); continue;
        case u'\n': out += QLatin1String("\\n"); continue;
        case u'\0': out += QLatin1String("\\0"); continue;
        case 0x2028: out += QLatin1String("\\u2028"); continue; // line and paragraph separators
        case 0x2029: out += QLatin1String("\\u2029"); continue;
        default: break;
        }
        if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) {
            out += QLatin1String("\\x");
            out += QLatin1Char(kHex[c >> 4]);
            out += QLatin1Char(kHex[c & 0xF]);
        } else {
            out += ch;
        }
    }
    return out;
}

RawLoadResult loadRawData(const QString& path, Series& series1, Series& series2, Series& serie3) {
    series1.clear();
    series2.clear();
    serie3.clear();

    QFile file;
    if (auto refused = openRegularFile(path, file))
        return *refused;
    return loadRawData(path, file.readAll(), series1, series2, serie3);
}

RawLoadResult loadRawData(const QString& path, const QByteArray& bytes, Series& series1,
                          Series& series2, Series& serie3) {
    series1.clear();
    series2.clear();
    serie3.clear();
    Loader in(path, bytes);

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

QString spreadsheetField(const QString& text) {
    if (!text.contains(QLatin1Char(';')) && !text.contains(QLatin1Char('"')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString evaluateRawFileLine(const QString& path, const DetectionSettings& settings, bool* ok) {
    Series series1, series2, serie3;
    const RawLoadResult loaded = loadRawData(path, series1, series2, serie3);
    const QString name = spreadsheetField(escapeControlCharacters(path));
    const auto failed = [&](const QString& reason) {
        if (ok)
            *ok = false;
        // The reason names the file too, escaped the same way; what the loader quoted from the
        // file is escaped already and is taken as it is.
        return name + QStringLiteral(";error;") + spreadsheetField(reason);
    };
    if (!loaded.ok)
        return failed(loaded.before + escapeControlCharacters(path) + loaded.after);

    EvaluationState st;
    PeakAndArea(st, TDeviceTyp::FID, series1, serie3, settings);
    // Values near the end of the double range add up to infinity: no area to print.
    if (!std::isfinite(st.FIDArea))
        return failed(escapeControlCharacters(path) + QStringLiteral(": area is not finite"));
    if (!std::isfinite(st.FIDStartLevel) || !std::isfinite(st.FIDEndLevel))
        return failed(escapeControlCharacters(path) + QStringLiteral(": level is not finite"));
    if (ok)
        *ok = true;
    const auto g = [](double v) { return QString::number(v, 'g', 17); };
    return QStringList{name,
                       st.NoPeak ? QStringLiteral("1") : QStringLiteral("0"),
                       g(st.FIDArea),
                       g(st.FIDStart),
                       g(st.FIDEnd),
                       g(st.FIDStartLevel),
                       g(st.FIDEndLevel)}
        .join(QLatin1Char(';'));
}

} // namespace korvat
