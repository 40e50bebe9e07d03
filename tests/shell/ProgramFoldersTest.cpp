// Where the program keeps its settings, substance lists and debug log: beside itself in a folder
// of its own, in the user's folders when installed or when its folder is not writable, beside the
// settings file named with --ini; the first start's copy of the shipped lists; the command line;
// and a start-up of the core that uses the chosen folders.

#include "shell/IniFile.h"
#include "shell/ProgramFolders.h"
#include "support/AppFixture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace korvat;
using korvat::test::AppFixture;
using korvat::test::readBytes;
using korvat::test::writeFile;

namespace {

// A user with everything set, and a program in /opt/k/bin/.
FolderFacts baseFacts() {
    FolderFacts f;
    f.programDir = "/opt/k/bin/";
    f.programDirWritable = true;
    f.configHome = "/cfg";
    f.stateHome = "/state";
    f.home = "/home/u/";
    f.documents = "/home/u/Dokumente";
    return f;
}

struct FolderCase {
    const char* name;
    void (*adjust)(FolderFacts&);
    FolderRule rule;
    const char* iniFile;
    const char* settingsDir;
    const char* logDir;
    const char* dataDir;
    const char* listSource;
};

const FolderCase kFolderCases[] = {
    {"a writable folder of its own keeps everything beside the program", [](FolderFacts&) {},
     FolderRule::BesideProgram, "/opt/k/bin/Korvat.ini", "/opt/k/bin/", "/opt/k/bin/", "/opt/k/bin/", ""},
    {"a folder it may not write sends it to the user's folders, lists from beside the program",
     [](FolderFacts& f) { f.programDirWritable = false; }, FolderRule::UserFolders,
     "/cfg/korvat/Korvat.ini", "/cfg/korvat/", "/state/korvat/", "/home/u/Dokumente/", "/opt/k/bin/"},
    {"installed, even when the folder is writable (root), uses the user's folders and the shipped lists",
     [](FolderFacts& f) { f.sharedDir = "/opt/k/share/korvat/"; }, FolderRule::UserFolders,
     "/cfg/korvat/Korvat.ini", "/cfg/korvat/", "/state/korvat/", "/home/u/Dokumente/",
     "/opt/k/share/korvat/"},
    {"unset XDG variables give ~/.config and ~/.local/state",
     [](FolderFacts& f) {
         f.programDirWritable = false;
         f.configHome.clear();
         f.stateHome.clear();
     },
     FolderRule::UserFolders, "/home/u/.config/korvat/Korvat.ini", "/home/u/.config/korvat/",
     "/home/u/.local/state/korvat/", "/home/u/Dokumente/", "/opt/k/bin/"},
    {"relative XDG paths are ignored as the base directory rules say",
     [](FolderFacts& f) {
         f.programDirWritable = false;
         f.configHome = "cfg";
         f.stateHome = "./state";
     },
     FolderRule::UserFolders, "/home/u/.config/korvat/Korvat.ini", "/home/u/.config/korvat/",
     "/home/u/.local/state/korvat/", "/home/u/Dokumente/", "/opt/k/bin/"},
    {"no documents folder known: results are offered in the home folder",
     [](FolderFacts& f) {
         f.programDirWritable = false;
         f.documents.clear();
     },
     FolderRule::UserFolders, "/cfg/korvat/Korvat.ini", "/cfg/korvat/", "/state/korvat/", "/home/u/",
     "/opt/k/bin/"},
    {"--ini beside a writable program: its folder holds lists, log and results",
     [](FolderFacts& f) { f.iniFile = "/lab/line2/Korvat.ini"; }, FolderRule::IniFolder,
     "/lab/line2/Korvat.ini", "/lab/line2/", "/lab/line2/", "/lab/line2/", "/opt/k/bin/"},
    {"--ini with an installed program: results in the documents folder, lists from the shipped ones",
     [](FolderFacts& f) {
         f.sharedDir = "/opt/k/share/korvat/";
         f.iniFile = "/lab/line2/other.ini";
     },
     FolderRule::IniFolder, "/lab/line2/other.ini", "/lab/line2/", "/lab/line2/", "/home/u/Dokumente/",
     "/opt/k/share/korvat/"},
    {"--ini naming the program's own file copies nothing onto itself",
     [](FolderFacts& f) { f.iniFile = "/opt/k/bin/Korvat.ini"; }, FolderRule::IniFolder,
     "/opt/k/bin/Korvat.ini", "/opt/k/bin/", "/opt/k/bin/", "/opt/k/bin/", ""},
};

void writeList(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    writeFile(path, bytes);
}

} // namespace

TEST(ProgramFolders, ChoiceFollowsWhereAndHowTheProgramRuns) {
    for (const FolderCase& c : kFolderCases) {
        SCOPED_TRACE(c.name);
        FolderFacts facts = baseFacts();
        c.adjust(facts);
        const ProgramFolders f = chooseProgramFolders(facts);
        EXPECT_EQ(f.rule, c.rule);
        EXPECT_EQ(f.iniFile, c.iniFile);
        EXPECT_EQ(f.settingsDir, c.settingsDir);
        EXPECT_EQ(f.logDir, c.logDir);
        EXPECT_EQ(f.dataDir, c.dataDir);
        EXPECT_EQ(f.listSource, c.listSource);
    }
}

TEST(ProgramFolders, FactsRecogniseAnInstalledTreeAndMakeIniAbsolute) {
    QTemporaryDir root;
    const QString prefix = root.path() + "/usr/";
    QDir().mkpath(prefix + "bin");
    QDir().mkpath(root.path() + "/build/bin");

    // A bin/ folder without share/korvat beside it is a folder of its own.
    FolderFacts facts = gatherFolderFacts(root.path() + "/build/bin", "rel/Korvat.ini");
    EXPECT_EQ(facts.programDir, root.path() + "/build/bin/");
    EXPECT_TRUE(facts.sharedDir.isEmpty());
    EXPECT_EQ(facts.iniFile, QDir::current().absoluteFilePath("rel/Korvat.ini"));

    QDir().mkpath(prefix + "share/korvat");
    facts = gatherFolderFacts(prefix + "bin/", QString());
    EXPECT_EQ(facts.sharedDir, prefix + "share/korvat/");
    EXPECT_TRUE(facts.iniFile.isEmpty());
    EXPECT_EQ(chooseProgramFolders(facts).rule, FolderRule::UserFolders);
}

TEST(ProgramFolders, FirstStartCopiesTheShippedListsAndNeverReplacesTheUsers) {
    QTemporaryDir root;
    const QString shipped = root.path() + "/share/korvat/";
    writeList(shipped + "CH-Substanzen.txt", "Aceton=2,05\r\nToluol=0,57\r\n\xB5-Test=1\r\n");
    writeList(shipped + "S-Substanzen.txt", "THT=1,00\r\n");
    // Shipped read-only, as a package installs them.
    for (const QString& name : substanceListNames())
        QFile::setPermissions(shipped + name, QFileDevice::ReadOwner | QFileDevice::ReadOther);

    ProgramFolders folders{FolderRule::UserFolders, root.path() + "/cfg/korvat/Korvat.ini",
                           root.path() + "/cfg/korvat/", root.path() + "/state/korvat/",
                           root.path() + "/docs/", shipped};
    EXPECT_TRUE(prepareProgramFolders(folders).isEmpty());
    EXPECT_TRUE(QFileInfo(folders.logDir).isDir());
    for (const QString& name : substanceListNames()) {
        EXPECT_EQ(readBytes(folders.settingsDir + name), readBytes(shipped + name)) << name.toStdString();
        // The copy is the user's to write back from the factors page.
        EXPECT_TRUE(QFileInfo(folders.settingsDir + name).isWritable()) << name.toStdString();
    }

    // The user's edited list stays; a list that is gone again comes back.
    writeFile(folders.settingsDir + "CH-Substanzen.txt", "Eigene=3,00\r\n");
    QFile::remove(folders.settingsDir + "S-Substanzen.txt");
    EXPECT_TRUE(prepareProgramFolders(folders).isEmpty());
    EXPECT_EQ(readBytes(folders.settingsDir + "CH-Substanzen.txt"), "Eigene=3,00\r\n");
    EXPECT_EQ(readBytes(folders.settingsDir + "S-Substanzen.txt"), "THT=1,00\r\n");

    // Nothing shipped: nothing to copy, and start-up reports the missing list where it reads it.
    ProgramFolders bare = folders;
    bare.settingsDir = root.path() + "/bare/";
    bare.listSource = root.path() + "/nowhere/";
    EXPECT_TRUE(prepareProgramFolders(bare).isEmpty());
    EXPECT_FALSE(QFileInfo::exists(bare.settingsDir + "CH-Substanzen.txt"));
}

TEST(ProgramFolders, AFolderThatCannotBeMadeIsReported) {
    QTemporaryDir root;
    writeFile(root.path() + "/file", "x");
    // A path through a plain file cannot become a folder, whoever runs the test.
    ProgramFolders folders = foldersBeside(root.path() + "/file/sub/");
    const QStringList problems = prepareProgramFolders(folders);
    ASSERT_EQ(problems.size(), 2);
    EXPECT_TRUE(problems[0].contains(root.path() + "/file/sub/")) << problems[0].toStdString();
}

TEST(ProgramArguments, CommandLine) {
    using A = ProgramArguments::Action;
    const struct {
        QStringList args;
        A action;
        const char* ini;
        const char* error;
    } cases[] = {
        {{}, A::Run, "", ""},
        {{"--ini", "lab/K.ini"}, A::Run, "lab/K.ini", ""},
        {{"--ini=lab/K.ini"}, A::Run, "lab/K.ini", ""},
        {{"--help"}, A::Help, "", ""},
        {{"-h"}, A::Help, "", ""},
        {{"--ini", "a.ini", "--version"}, A::Version, "", ""},
        {{"--ini"}, A::Error, "", "Missing value after '--ini'."},
        {{"--ini="}, A::Error, "", "--ini needs a file name"},
        {{"--ini", "a", "--ini", "b"}, A::Error, "", "--ini given more than once"},
        {{"--frobnicate"}, A::Error, "", "Unknown option 'frobnicate'."},
        // Qt's own options and their values are Qt's, not arguments of the program.
        {{"-platform", "offscreen", "--ini", "a.ini", "-style=fusion", "-reverse"}, A::Run, "a.ini", ""},
        {{"Korvat.ini"}, A::Error, "", "unexpected argument Korvat.ini"},
        // A line with an unknown option is wrong wherever help stands on it.
        {{"--bad", "--help"}, A::Error, "", "Unknown option 'bad'."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const ProgramArguments parsed = parseProgramArguments(c.args);
        EXPECT_EQ(parsed.action, c.action);
        if (c.action == A::Run) {
            EXPECT_EQ(parsed.iniFile, c.ini);
        }
        EXPECT_EQ(parsed.error, c.error);
    }
}

// The core started as an installed program would be: the settings file appears in the user's
// configuration folder with the results offered in the documents folder, the lists are read from
// there, the debug log goes to the state folder, and nothing is written beside the program.
TEST(ProgramFolders, StartUpUsesTheChosenFolders) {
    AppFixture fx;
    QTemporaryDir root;
    const QString prefix = root.path() + "/usr/";
    QDir().mkpath(prefix + "bin");
    writeList(prefix + "share/korvat/CH-Substanzen.txt", "Aceton=2,05\r\nToluol=0,57\r\n");
    writeList(prefix + "share/korvat/S-Substanzen.txt", "THT=1,00\r\n");
    FolderFacts facts = gatherFolderFacts(prefix + "bin/", QString());
    facts.configHome = root.path() + "/home/.config";
    facts.stateHome = root.path() + "/home/.local/state";
    facts.documents = root.path() + "/home/Documents";
    const ProgramFolders folders = chooseProgramFolders(facts);
    ASSERT_TRUE(prepareProgramFolders(folders).isEmpty());

    const auto start = [&] {
        KorvatApp app(KorvatApp::Environment{fx.view, fx.dialogs, fx.clock, fx.instrument->mainLine(),
                                             fx.instrument->fpdLine(), folders.settingsDir,
                                             folders.iniFile, folders.logDir, folders.dataDir});
        const StartupOutcome outcome = app.FormCreate({});
        fx.instrument->mainLine().close();
        fx.instrument->fpdLine().close();
        app.FormClose();
        return outcome;
    };
    // The first start creates the settings (the in-process line answers under any port name).
    EXPECT_EQ(start(), StartupOutcome::Running);
    const QString ini = root.path() + "/home/.config/korvat/Korvat.ini";
    ASSERT_TRUE(QFileInfo::exists(ini));
    IniFile settings(ini);
    EXPECT_EQ(settings.readString("Measurement", "DataDir", "-"), root.path() + "/home/Documents/");
    EXPECT_EQ(settings.readString("Measurement", "InitialDir", "-"), root.path() + "/home/Documents/");

    ASSERT_TRUE(settings.writeString("Debug", "SetDebug", "1"));
    EXPECT_EQ(start(), StartupOutcome::Running);
    EXPECT_TRUE(readBytes(root.path() + "/home/.local/state/korvat/korvat-debug.log").contains("<SN"));
    EXPECT_EQ(QDir(prefix + "bin").entryList(QDir::Files), QStringList());
}
