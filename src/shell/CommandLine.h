#pragma once
// How every program of the package reads its command line: QCommandLineParser underneath, and
// one form for help ("Usage: ..." ending in a newline, on stdout, status 0), for the version
// ("korvat-eval 1.1.0", status 0) and for bad usage (the program, the reason and a hint to
// --help on stderr, status 2).

#include <QCommandLineParser>
#include <QString>
#include <QStringList>

namespace korvat {

// "1.1.0": the version of this build, as --version shows it after the program's name.
QString versionNumber();

class CommandLine {
public:
    // `usage`: the forms of the command line after the program's name, one each; `text`: what
    // --help shows below them. Without forms, --help shows "[options]" and the parser's own
    // listing of the options with their descriptions.
    CommandLine(QString program, QStringList usage, QString text);

    // Options are added here; help and version are there already.
    QCommandLineParser& parser() { return parser_; }
    // Qt's own options of a window program (-platform offscreen, -style fusion, ...): taken
    // without complaint and left for the application object to read.
    void acceptQtOptions();

    // `arguments` with the program's name first. Answers help and version and reports a line
    // that does not parse; returns the exit status then, or -1 when the program goes on.
    int parse(const QStringList& arguments);
    // The same from main's own arguments, before any application object exists (so a bad line
    // is answered without a display).
    int parse(int argc, char** argv);

    // Bad usage found after parsing (no file given, two forms at once): said as a bad line is.
    int usageError(const QString& reason) const;

    QString helpText() const;
    QString versionText() const;
    // What the last parse answered on stdout and on stderr.
    QString printedOut() const { return out_; }
    QString printedErr() const { return err_; }
    // Quiet: the answers are only kept (printedOut, printedErr), not printed.
    void setQuiet(bool quiet) { quiet_ = quiet; }
    bool helpAsked() const { return parser_.isSet(help_); }

private:
    void print(bool toStderr, const QString& text) const;

    QString program_;
    QStringList usage_;
    QString text_;
    QCommandLineParser parser_;
    QCommandLineOption help_;
    QCommandLineOption version_;
    bool quiet_ = false;
    mutable QString out_, err_;
};

} // namespace korvat
