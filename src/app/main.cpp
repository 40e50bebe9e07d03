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

} // namespace

int main(int argc, char** argv) {
    korvat::readLocalTimeZoneOnce();
    const QString name = argc > 0 ? QFileInfo(QString::fromLocal8Bit(argv[0])).fileName() : QString();
    const QString shown = name.isEmpty() ? QStringLiteral("korvat") : name;

    // Read before the application exists: help, version and a bad line are answered without a
    // display (a missing display would otherwise abort the program first). Qt's own options are
    // taken here and read by the application below.
    QStringList raw;
    for (int i = 1; i < argc; ++i)
        raw << QString::fromLocal8Bit(argv[i]);
    const korvat::ProgramArguments args = korvat::parseProgramArguments(raw, shown, true);
    if (args.action != korvat::ProgramArguments::Action::Run)
        return args.status;

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("KORVAT-PC"));
    // The installed desktop entry: the desktop shows its name and icon for the window.
    QGuiApplication::setDesktopFileName(QStringLiteral("korvat"));

    const korvat::ProgramFolders folders =
        korvat::chooseProgramFolders(korvat::gatherFolderFacts(QApplication::applicationDirPath(), args.iniFile));
    // A folder or list that could not be made is reported again where the file is read.
    for (const QString& problem : korvat::prepareProgramFolders(folders))
        qCWarning(lcMain).noquote() << problem;

    korvat::Program program(folders);
    // A start that did not get through (said in a box) leaves no window that looks alive but
    // cannot run.
    if (program.FormCreate() != korvat::StartupOutcome::Running) {
        // The boxes are gone with the window; a start from a terminal or a service manager
        // still learns why and where the ports are set.
        const QString problem = program.app().startupProblem();
        if (!problem.isEmpty())
            print(stderr, shown + QStringLiteral(": ") + problem + QLatin1Char('\n'));
        return 1;
    }
    program.form().show();
    return QApplication::exec();
}
