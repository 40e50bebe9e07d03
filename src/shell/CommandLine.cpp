#include "shell/CommandLine.h"

#include <cstdio>

namespace korvat {

QString versionNumber() {
    return QStringLiteral("%1.%2.%3").arg(KORVAT_VERSION_MAJOR).arg(KORVAT_VERSION_MINOR).arg(KORVAT_VERSION_PATCH);
}

CommandLine::CommandLine(QString program, QStringList usage, QString text)
    : program_(std::move(program)), usage_(std::move(usage)), text_(std::move(text)),
      help_({QStringLiteral("h"), QStringLiteral("help"), QStringLiteral("?")},
            QStringLiteral("Show this help and end.")),
      version_(QStringLiteral("version"), QStringLiteral("Show the program's version and end.")) {
    // "-platform offscreen" is one option, as Qt reads it, not -p -l -a ...
    parser_.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser_.addOption(help_);
    parser_.addOption(version_);
}

void CommandLine::acceptQtOptions() {
    static const char* const withValue[] = {
        "platform", "platformpluginpath", "platformtheme", "plugin", "qmljsdebugger", "style",
        "stylesheet", "session", "display", "geometry", "title", "name", "qwindowgeometry",
        "qwindowicon", "qwindowtitle", "font", "fn", "bg", "background", "fg", "foreground",
        "btn", "button", "visual", "ncols", "cmap", "inputstyle", "im"};
    static const char* const flags[] = {"reverse", "widgetcount", "nograb", "dograb", "sync", "testability"};
    for (const char* name : withValue) {
        QCommandLineOption option(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser_.addOption(option);
    }
    for (const char* name : flags) {
        QCommandLineOption option(QString::fromLatin1(name));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser_.addOption(option);
    }
}

int CommandLine::parse(const QStringList& arguments) {
    out_.clear();
    err_.clear();
    if (!parser_.parse(arguments))
        return usageError(parser_.errorText());
    // Help and version are answered before anything else on the line is judged.
    if (parser_.isSet(help_)) {
        print(false, helpText());
        return 0;
    }
    if (parser_.isSet(version_)) {
        print(false, versionText());
        return 0;
    }
    return -1;
}

int CommandLine::parse(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (arguments.isEmpty())
        arguments << program_;
    return parse(arguments);
}

int CommandLine::usageError(const QString& reason) const {
    print(true, QStringLiteral("%1: %2\nTry '%1 --help'.\n").arg(program_, reason));
    return 2;
}

QString CommandLine::helpText() const {
    if (usage_.isEmpty()) {
        // The parser's own listing of the options, under the usage line every program has.
        QString listing = parser_.helpText();
        listing = listing.mid(listing.indexOf(QLatin1Char('\n')) + 1);
        QString text = QStringLiteral("Usage: %1 [options]\n").arg(program_) + listing;
        if (!text.endsWith(QLatin1Char('\n')))
            text += QLatin1Char('\n');
        return text;
    }
    QString text;
    for (qsizetype i = 0; i < usage_.size(); ++i)
        text += (i == 0 ? QStringLiteral("Usage: ") : QStringLiteral("       ")) + program_ + QLatin1Char(' ') +
                usage_[i] + QLatin1Char('\n');
    if (!text_.isEmpty())
        text += text_;
    if (!text.endsWith(QLatin1Char('\n')))
        text += QLatin1Char('\n');
    return text;
}

QString CommandLine::versionText() const { return program_ + QLatin1Char(' ') + versionNumber() + QLatin1Char('\n'); }

void CommandLine::print(bool toStderr, const QString& text) const {
    (toStderr ? err_ : out_) += text;
    if (quiet_)
        return;
    std::FILE* stream = toStderr ? stderr : stdout;
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

} // namespace korvat
