#pragma once
// A program without its window: KorvatApp in a temporary program folder, with the recording view
// and dialogs, a manual clock and the in-process virtual instrument on both lines.

#include "model/InProcessInstrument.h"
#include "app/KorvatApp.h"
#include "support/RecordingDialogs.h"
#include "support/RecordingView.h"
#include "util/Clock.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <memory>

namespace korvat::test {

// The virtual instrument's default chemical, toluene, as the program's three cells know it from
// their list: its name and molar mass (the FID factor stays 1, as the instrument's is by default).
// The molar mass is written with the decimal separator of `locale`, as the settings file of a
// program running under it holds it.
inline QStringList tolueneCells(const QLocale& locale = QLocale()) {
    QStringList lines;
    for (int k = 1; k <= 3; ++k)
        lines << QStringLiteral("Measurement/FIDSampleFactorName%1=Toluol").arg(k)
              << QStringLiteral("Measurement/FIDSampleMolarMass%1=%2").arg(k).arg(locale.toString(92.14, 'g', 6));
    return lines;
}

inline void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
}

inline QByteArray readBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The process locale for one test; the C locale again afterwards.
class LocaleGuard {
public:
    explicit LocaleGuard(const QLocale& l) { QLocale::setDefault(l); }
    ~LocaleGuard() { QLocale::setDefault(QLocale::c()); }
    LocaleGuard(const LocaleGuard&) = delete;
    LocaleGuard& operator=(const LocaleGuard&) = delete;
};

struct AppFixture {
    // `useDir`: an existing program folder (a program started again where an earlier one ran).
    explicit AppFixture(sim::InstrumentOptions options = {}, const QString& useDir = {})
        : instrument(std::make_unique<sim::InProcessInstrument>(options)) {
        instrument->follow(clock);
        dir = useDir.isEmpty() ? folder.path() + QLatin1Char('/') : useDir;
        writeFile(dir + "CH-Substanzen.txt", "Aceton=2,05\r\nToluol=0,57\r\n");
        writeFile(dir + "S-Substanzen.txt", "THT=1,00\r\n");
    }

    // Writes a Korvat.ini from "Section/Key=value" lines, pointing at the in-process lines unless
    // the lines name the ports themselves.
    void writeIni(const QStringList& lines) {
        IniFile ini(dir + "Korvat.ini");
        std::vector<IniFile::Entry> entries{{"Communication", "ComPortA", instrument->mainLine().deviceName()},
                                            {"Communication", "ComPortB", instrument->fpdLine().deviceName()}};
        for (const QString& l : lines) {
            const int slash = l.indexOf('/');
            const int eq = l.indexOf('=', slash);
            entries.push_back({l.left(slash), l.mid(slash + 1, eq - slash - 1), l.mid(eq + 1)});
        }
        ini.writeEntries(entries);
    }

    KorvatApp& app() {
        if (!app_)
            app_ = std::make_unique<KorvatApp>(KorvatApp::Environment{
                view, dialogs, clock, instrument->mainLine(), instrument->fpdLine(), dir, {}, {}, {}, files,
                RecorderDispatch::Inline, chooser, archiveFile});
        return *app_;
    }

    // Types into an input, or ticks a check box or toggle, as the operator would: the window
    // forwards every change to the core.
    void type(Input input, const QString& text) { app().inputs().edited(input, text); }
    void toggle(Check check, bool on) { app().inputs().toggled(check, on); }

    // A sample cell (1..3) switched off, as after its breakthrough.
    void switchCellOff(int k) {
        CellState cell = app().run().cell(k);
        cell.off = true;
        app().run().setCell(k, cell);
    }

    StartupOutcome start() {
        return app().FormCreate([this](int offset) { translatedWith = offset; });
    }

    QTemporaryDir folder;
    QString dir;
    // The program's own archive file (set before app() is first called); empty: none.
    QString archiveFile;
    // The layer the run's files go through (set before app() is first called); the operating
    // system's when empty. The recorder works on the test's thread, so every file is written
    // when a step returns.
    std::shared_ptr<FileLayer> files;
    ManualClock clock;
    RecordingView view;
    RecordingDialogs dialogs;
    // Offered when start-up cannot identify the instrument; none: boxes and the end.
    PortChooser* chooser = nullptr;
    std::unique_ptr<sim::InProcessInstrument> instrument;
    int translatedWith = -1;

private:
    std::unique_ptr<KorvatApp> app_;
};

} // namespace korvat::test
