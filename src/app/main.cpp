// KORVAT-PC: reads the command line, decides where the settings, the substance lists and the debug
// log are, creates the application and the main window, runs start-up, and ends at once when
// start-up says the instrument is not there.

#include "util/Clock.h"
#include "shell/ProgramFolders.h"
#include "ui/Program.h"
#include "util/Utils.h"

#include <QApplication>
#include <QFileInfo>
#include <QLoggingCategory>

#include <cstdio>

Q_LOGGING_CATEGORY(lcMain, "korvat.main")

namespace {

void print(std::FILE* stream, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

// Help and version need no display: answered before the application exists, when the command line
// holds nothing for Qt. Returns the exit status, or -1 to go on.
int answerDirectly(const korvat::ProgramArguments& args, const QString& name) {
    using Action = korvat::ProgramArguments::Action;
    switch (args.action) {
    case Action::Help:
        print(stdout, korvat::programHelpText(name));
        return 0;
    case Action::Version:
        print(stdout, name + QLatin1Char(' ') + korvat::GetVersionString() + QLatin1Char('\n'));
        return 0;
    case Action::Error:
        print(stderr, QStringLiteral("%1: %2\nTry '%1 --help'.\n").arg(name, args.error));
        return 2;
    case Action::Run:
        break;
    }
    return -1;
}

} // namespace

int main(int argc, char** argv) {
    korvat::readLocalTimeZoneOnce();
    const QString name = argc > 0 ? QFileInfo(QString::fromLocal8Bit(argv[0])).fileName() : QString();
    const QString shown = name.isEmpty() ? QStringLiteral("korvat") : name;

    // Before the application: Qt's own options (-platform offscreen) are not known here yet, so
    // only help and version are answered now; the rest is read once Qt has taken its options.
    QStringList raw;
    for (int i = 1; i < argc; ++i)
        raw << QString::fromLocal8Bit(argv[i]);
    const korvat::ProgramArguments early = korvat::parseProgramArguments(raw);
    if (early.action == korvat::ProgramArguments::Action::Help ||
        early.action == korvat::ProgramArguments::Action::Version)
        return answerDirectly(early, shown);

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("KORVAT-PC"));
    // The installed desktop entry: the desktop shows its name and icon for the window.
    QGuiApplication::setDesktopFileName(QStringLiteral("korvat"));

    const korvat::ProgramArguments args = korvat::parseProgramArguments(QApplication::arguments().mid(1));
    if (const int status = answerDirectly(args, shown); status >= 0)
        return status;

    const korvat::ProgramFolders folders =
        korvat::chooseProgramFolders(korvat::gatherFolderFacts(QApplication::applicationDirPath(), args.iniFile));
    // A folder or list that could not be made is reported again where the file is read.
    for (const QString& problem : korvat::prepareProgramFolders(folders))
        qCWarning(lcMain).noquote() << problem;

    korvat::Program program(folders);
    // A start that did not get through (said in a box) leaves no window that looks alive but
    // cannot run.
    if (program.FormCreate() != korvat::StartupOutcome::Running)
        return 1;
    program.form().show();
    return QApplication::exec();
}
