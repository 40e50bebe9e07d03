#pragma once
// The running program: the window, the core, the real serial lines, the system clock and the
// 90 ms timer, wired together. The window's operator events go to the handlers of the same name.

#include "link/QtSerialLine.h"
#include "app/KorvatApp.h"
#include "shell/ProgramFolders.h"
#include "ui/Presenter.h"
#include "ui/QtDialogs.h"
#include "ui/TForm1.h"
#include "util/Clock.h"

#include <QTimer>
#include <memory>

namespace korvat {

class Program {
public:
    // `folders` says where the settings file, the substance lists and the debug log are;
    // `files` is the layer the run's files go through (default: the operating system's).
    explicit Program(const ProgramFolders& folders, std::shared_ptr<FileLayer> files = {});
    // Everything in `programDir` (with a trailing separator), as a program in a folder of its own.
    explicit Program(const QString& programDir, std::shared_ptr<FileLayer> files = {})
        : Program(foldersBeside(programDir), std::move(files)) {}
    ~Program();

    // Start-up. Returns the outcome; on Running the timer runs from the next event loop pass.
    StartupOutcome FormCreate();

    TForm1& form() { return form_; }
    Presenter& presenter() { return presenter_; }
    KorvatApp& app() { return *app_; }
    QTimer& Timer1() { return timer_; }

private:
    void Timer1Timer();

    SystemClock clock_;
    TForm1 form_;
    Presenter presenter_{form_};
    QtDialogs dialogs_;
    QtSerialLine com1_;
    QtSerialLine com2_;
    std::unique_ptr<KorvatApp> app_;
    QTimer timer_;
};

} // namespace korvat
