// KORVAT-PC: creates the application and the main window, runs start-up, and ends at once when
// start-up says the instrument is not there.

#include "ui/Program.h"

#include <QApplication>
#include <QDir>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("KORVAT-PC"));

    // Korvat.ini, the substance lists and the debug log live beside the program.
    korvat::Program program(QDir(QApplication::applicationDirPath()).absolutePath() + QLatin1Char('/'));
    if (program.FormCreate() == korvat::StartupOutcome::Ended)
        return 1;
    program.form().show();
    return QApplication::exec();
}
