#include "shell/ProgramFolders.h"

#include "shell/CommandLine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace korvat {

namespace {

const QString kIniName = QStringLiteral("Korvat.ini");
const QString kFolderName = QStringLiteral("korvat");

QString withSlash(const QString& dir) {
    QString clean = QDir::cleanPath(dir);
    if (!clean.endsWith(QLatin1Char('/')))
        clean += QLatin1Char('/');
    return clean;
}

// An XDG base folder: the variable when it holds an absolute path, else the default under home
// (a relative path is to be ignored, as if unset).
QString baseFolder(const QString& variable, const QString& home, const QString& fallback) {
    if (!variable.isEmpty() && QDir::isAbsolutePath(variable))
        return withSlash(variable);
    return withSlash(home + QLatin1Char('/') + fallback);
}

} // namespace

QStringList substanceListNames() {
    return {QStringLiteral("CH-Substanzen.txt"), QStringLiteral("S-Substanzen.txt")};
}

ProgramFolders foldersBeside(const QString& dir) {
    return {FolderRule::BesideProgram, dir + kIniName, dir, dir, dir, QString()};
}

ProgramFolders chooseProgramFolders(const FolderFacts& facts) {
    // An installed program never writes beside itself, even when it could (run as root).
    const bool beside = facts.sharedDir.isEmpty() && facts.programDirWritable;
    const QString home = facts.home.isEmpty() ? QStringLiteral("/") : facts.home;
    const QString documents = withSlash(facts.documents.isEmpty() ? home : facts.documents);
    const QString listSource = facts.sharedDir.isEmpty() ? facts.programDir : facts.sharedDir;

    if (!facts.iniFile.isEmpty()) {
        const QString dir = withSlash(QFileInfo(facts.iniFile).path());
        return {FolderRule::IniFolder, facts.iniFile, dir, dir, beside ? dir : documents,
                listSource == dir ? QString() : listSource};
    }
    if (beside)
        return foldersBeside(facts.programDir);

    const QString config = baseFolder(facts.configHome, home, QStringLiteral(".config")) + kFolderName + '/';
    const QString state = baseFolder(facts.stateHome, home, QStringLiteral(".local/state")) + kFolderName + '/';
    return {FolderRule::UserFolders, config + kIniName, config, state, documents,
            listSource == config ? QString() : listSource};
}

FolderFacts gatherFolderFacts(const QString& programDir, const QString& iniFile) {
    FolderFacts facts;
    facts.programDir = withSlash(programDir);
    facts.programDirWritable = QFileInfo(facts.programDir).isWritable();
    if (QDir(facts.programDir).dirName() == QLatin1String("bin")) {
        const QString shared = withSlash(facts.programDir + QStringLiteral("../share/") + kFolderName);
        if (QFileInfo(shared).isDir())
            facts.sharedDir = shared;
    }
    if (!iniFile.isEmpty())
        facts.iniFile = QFileInfo(iniFile).absoluteFilePath();
    facts.configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    facts.stateHome = qEnvironmentVariable("XDG_STATE_HOME");
    facts.home = withSlash(QDir::homePath());
    facts.documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return facts;
}

QStringList prepareProgramFolders(const ProgramFolders& folders) {
    QStringList problems;
    for (const QString& dir : {folders.settingsDir, folders.logDir}) {
        if (!QDir().mkpath(dir))
            problems << QStringLiteral("The folder %1 cannot be created.").arg(dir);
    }
    if (folders.listSource.isEmpty())
        return problems;
    for (const QString& name : substanceListNames()) {
        const QString target = folders.settingsDir + name;
        const QString source = folders.listSource + name;
        if (QFileInfo::exists(target) || !QFileInfo::exists(source))
            continue;
        QFile copy(source);
        if (!copy.copy(target)) {
            problems << QStringLiteral("%1 cannot be copied to %2: %3").arg(source, target, copy.errorString());
            continue;
        }
        // The shipped lists are read-only; the copy is the user's own, written back from the
        // factors page.
        QFile::setPermissions(target, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ReadGroup | QFileDevice::ReadOther);
    }
    return problems;
}

namespace {

const QString kProgramHelp = QStringLiteral(
    "The operator program of the KORVAT permeation test instrument.\n"
    "\n"
    "Options:\n"
    "  --ini FILE   use FILE as the settings file (created with the default settings\n"
    "               when missing); the substance lists and the debug log are kept in\n"
    "               its folder\n"
    "  -h, --help   show this help and end\n"
    "  --version    show the program's version and end\n"
    "\n"
    "Files: a program in a folder of its own keeps Korvat.ini, CH-Substanzen.txt,\n"
    "S-Substanzen.txt and korvat-debug.log beside itself. Installed (or in a folder\n"
    "it may not write), it keeps the settings and the lists in\n"
    "$XDG_CONFIG_HOME/korvat/ (~/.config/korvat/), the lists copied there on the\n"
    "first start, and the debug log in $XDG_STATE_HOME/korvat/\n"
    "(~/.local/state/korvat/). Qt's own options (-platform, -style ...) are taken\n"
    "as well.\n");

} // namespace

ProgramArguments parseProgramArguments(const QStringList& arguments, const QString& program, bool print) {
    using Action = ProgramArguments::Action;
    CommandLine line(program, {QStringLiteral("[--ini FILE]")}, kProgramHelp);
    line.setQuiet(!print);
    const QCommandLineOption ini(QStringLiteral("ini"), QString(), QStringLiteral("FILE"));
    line.parser().addOption(ini);
    line.acceptQtOptions();
    ProgramArguments out;
    const auto error = [&](const QString& text) {
        out.action = Action::Error;
        out.error = text;
        out.status = line.usageError(text);
        return out;
    };
    out.status = line.parse(QStringList{program} + arguments);
    if (out.status >= 0) {
        out.action = out.status != 0 ? Action::Error
                     : line.helpAsked() ? Action::Help
                                        : Action::Version;
        if (out.action == Action::Error)
            out.error = line.parser().errorText();
        return out;
    }
    if (const QStringList rest = line.parser().positionalArguments(); !rest.isEmpty())
        return error(QStringLiteral("unexpected argument %1").arg(rest.first()));
    const QStringList files = line.parser().values(ini);
    if (files.size() > 1)
        return error(QStringLiteral("--ini given more than once"));
    if (files.size() == 1 && files.first().isEmpty())
        return error(QStringLiteral("--ini needs a file name"));
    if (!files.isEmpty())
        out.iniFile = files.first();
    return out;
}

QString programHelpText(const QString& program) {
    return CommandLine(program, {QStringLiteral("[--ini FILE]")}, kProgramHelp).helpText();
}

} // namespace korvat
