#pragma once
// Where the program keeps its settings file, its substance lists and its debug log, and which
// folder a new settings file offers for results.
//
// A program in a folder of its own (the build tree, a copied program folder) keeps everything
// beside itself, as it always has. An installed program (<prefix>/bin with its default lists in
// <prefix>/share/korvat), or one whose folder it may not write, uses the user's folders instead:
// the settings and the lists in $XDG_CONFIG_HOME/korvat/ (default ~/.config/korvat/), the lists
// copied there from the shipped ones on the first start, the debug log in $XDG_STATE_HOME/korvat/
// (default ~/.local/state/korvat/), and new results in the user's documents folder.
//
// `--ini FILE` names the settings file; its folder then holds the lists and the debug log too, so
// one folder is one complete set of settings (one per instrument, say).

#include <QString>
#include <QStringList>

namespace korvat {

// What the choice looks at. gatherFolderFacts() reads it from the system; tests build it.
// Folders end in '/'.
struct FolderFacts {
    QString programDir;              // the folder of the program file
    bool programDirWritable = false; // whether this user may create files in it
    QString sharedDir;               // <prefix>/share/korvat/ beside <prefix>/bin/, "" when absent
    QString iniFile;                 // --ini, absolute; "" when not given
    QString configHome;              // $XDG_CONFIG_HOME as set (may be empty or relative)
    QString stateHome;               // $XDG_STATE_HOME as set
    QString home;                    // the user's home folder
    QString documents;               // the user's documents folder, "" when unknown
};

enum class FolderRule {
    BesideProgram, // everything beside the program file
    UserFolders,   // the user's configuration and state folders
    IniFolder,     // beside the settings file named with --ini
};

struct ProgramFolders {
    FolderRule rule = FolderRule::BesideProgram;
    QString iniFile;     // the settings file
    QString settingsDir; // the folder of the substance lists
    QString logDir;      // the folder of korvat-debug.log
    QString dataDir;     // what DataDir and InitialDir get when the settings file is created
    QString listSource;  // where missing substance lists are copied from; "" for none
};

// The folders for a program that keeps everything in `dir` (with its trailing '/').
ProgramFolders foldersBeside(const QString& dir);

// The decision itself; no file is touched.
ProgramFolders chooseProgramFolders(const FolderFacts& facts);

// The facts of this process: the program's folder, its environment and the user's folders.
// `iniFile` is the --ini argument as typed ("" when not given).
FolderFacts gatherFolderFacts(const QString& programDir, const QString& iniFile);

// Creates the settings and log folders and copies each substance list that is not there yet
// from `listSource` (an existing list is never replaced). Returns what went wrong, one text per
// problem; the program goes on and reports a missing file where it reads it.
QStringList prepareProgramFolders(const ProgramFolders& folders);

// The names of the two substance lists.
QStringList substanceListNames();

// The command line of korvat; Qt's own options are taken and left to Qt.
struct ProgramArguments {
    enum class Action { Run, Help, Version, Error };
    Action action = Action::Run;
    QString iniFile; // --ini FILE
    QString error;   // for Error: what was wrong
    int status = -1; // the exit status for Help, Version and Error
};
// `arguments` without the program name. With `print`, help, version and a bad line are answered
// on stdout or stderr as every program of the package answers them.
ProgramArguments parseProgramArguments(const QStringList& arguments, const QString& program = QStringLiteral("korvat"),
                                       bool print = false);
// The --help text; `program` is the name it was called by.
QString programHelpText(const QString& program);

} // namespace korvat
