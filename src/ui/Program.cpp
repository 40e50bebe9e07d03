#include "ui/Program.h"

#include "run/Archive.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcProgram, "korvat.program")

namespace korvat {

namespace {
constexpr int kTickMs = 90;
} // namespace

Program::Program(const ProgramFolders& folders, std::shared_ptr<FileLayer> files)
    : dialogs_(&form_), portChooser_(&form_),
      // The run's files are written on the recorder's own thread: the tick never waits for a disk.
      app_(std::make_unique<KorvatApp>(KorvatApp::Environment{
          presenter_, dialogs_, clock_, com1_, com2_, folders.settingsDir, folders.iniFile,
          folders.logDir, folders.dataDir, std::move(files), RecorderDispatch::OwnThread, &portChooser_,
          Archive::localFileFor(folders)})) {
    timer_.setObjectName(QStringLiteral("Timer1"));
    timer_.setInterval(kTickMs);
    QObject::connect(&timer_, &QTimer::timeout, &form_, [this] { Timer1Timer(); });
    presenter_.attach(*app_);
    QObject::connect(&form_, &TForm1::closing, &form_, [this] {
        timer_.stop();
        com1_.close();
        com2_.close();
        app_->FormClose();
    });
}

Program::~Program() {
    timer_.stop();
    // The ports close before the queues go, so no receive handler can touch a released queue.
    com1_.close();
    com2_.close();
    app_->FormClose();
}

StartupOutcome Program::FormCreate() {
    const StartupOutcome outcome = app_->FormCreate([this](int offset) {
        // Before any dialog: the chooser and the file dialogs show Qt's texts too.
        if (!qtTranslations_.use(offset))
            qCWarning(lcProgram) << "Qt's own German texts not found; its dialogs stay English";
        form_.TranslateForm(offset);
    });
    if (app_->timerWanted())
        timer_.start();
    return outcome;
}

void Program::Timer1Timer() {
    // The timer stays off while a tick runs: a tick may wait for replies and let events run,
    // and no second tick may start inside it.
    timer_.stop();
    app_->Timer1Timer();
    if (app_->timerWanted())
        timer_.start();
}

} // namespace korvat
