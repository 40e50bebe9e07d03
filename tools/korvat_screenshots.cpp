// korvat-screenshots OUT_DIR DE|US: the README's pictures of the window at 1024 x 768, made
// headless against the virtual instrument in-process on a manual clock: the port chooser of a
// first start whose ports are missing (chooser-<lang>.png), a run set up on the sample-info page
// (setup-<lang>.png) and on the specimens' page with each cell's chemical and the operator
// (specimens-<lang>.png), and the run page of the demo's run twelve minutes in (run-<lang>.png).
// Exit status 1 when something went wrong.
#include "app/KorvatApp.h"
#include "link/QtSerialLine.h"
#include "model/InProcessInstrument.h"
#include "model/Permeation.h"
#include "shell/IniFile.h"
#include "ui/MeasurementChart.h"
#include "ui/PortChooserDialog.h"
#include "ui/Presenter.h"
#include "ui/TForm1.h"
#include "util/Clock.h"
#include "util/Dialogs.h"

#include <QApplication>
#include <QFile>
#include <QTabWidget>
#include <QTemporaryDir>
#include <cstdio>

using namespace korvat;

namespace {

constexpr int kWidth = 1024, kHeight = 768;

// Answers the results-file dialog; a message during the run is a failure.
class Answers final : public Dialogs {
public:
    void message(const QString& text, const QString&) override { shown << text; }
    void information(const QString& text) override { shown << text; }
    void error(const QString& text) override { shown << text; }
    bool question(const QString& text) override {
        shown << text;
        return true;
    }
    QString saveFileName(const QString&, const QString&) override { return fileName; }
    QString openFileName(const QString&, const QString&) override { return {}; }
    QStringList shown;
    QString fileName;
};

// Shows the chooser as start-up opens it, grabs it and quits.
class GrabbingChooser final : public PortChooser {
public:
    explicit GrabbingChooser(QString out) : out_(std::move(out)) {}
    std::optional<PortPair> choosePorts(const PortChooserRequest& request) override {
        PortChooserDialog dialog(request);
        dialog.resize(760, 460);
        dialog.show();
        QApplication::processEvents();
        saved = dialog.grab().save(out_);
        return std::nullopt;
    }
    bool saved = false;

private:
    QString out_;
};

int fail(const QString& why) {
    std::fprintf(stderr, "korvat-screenshots: %s\n", qPrintable(why));
    return 1;
}

void settle(TForm1& form) {
    form.chart()->replot();
    for (int i = 0; i < 5; ++i) {
        QApplication::processEvents();
        QApplication::sendPostedEvents();
    }
}

// The demo's settings (scripts/demo-Korvat.ini) for `instrument`, in `language`, into `dir`.
bool writeDemoSettings(const QString& dir, sim::InProcessInstrument& instrument, const QString& language) {
    QFile demo(QStringLiteral(KORVAT_SOURCE_DIR "/scripts/demo-Korvat.ini"));
    if (!demo.open(QIODevice::ReadOnly))
        return false;
    QString ini = QString::fromUtf8(demo.readAll());
    ini.replace("@PORT_A@", instrument.mainLine().deviceName())
        .replace("@PORT_B@", instrument.fpdLine().deviceName())
        .replace("@DIR@", dir)
        .replace("\n", "\r\n");
    QFile file(dir + "Korvat.ini");
    if (!file.open(QIODevice::WriteOnly) || file.write(ini.toLatin1()) < 0)
        return false;
    file.close();
    IniFile(dir + "Korvat.ini").writeEntries({{"Language", "Code", language}});
    for (const char* list : {"CH-Substanzen.txt", "S-Substanzen.txt"})
        QFile::copy(QStringLiteral(KORVAT_SOURCE_DIR "/resources/") + list, dir + list);
    return true;
}

sim::InstrumentOptions demoInstrument() {
    sim::InstrumentOptions options;
    options.twoConverters = true;
    options.gas.hydrocarbonPpm[1] = 500;
    options.permeation.enabled = true;
    options.permeation.timeFactor = 6;
    options.permeation.fidFactor = 0.57;
    const char16_t* materials[] = {u"latex", u"nitrile", u"fkm"};
    for (int i = 0; i < 3; ++i) {
        options.permeation.cells[i] = sim::PermeationCell{sim::findMaterialPreset(materials[i])->membrane};
        options.permeation.cells[i].flowMlPerMin = 600;
    }
    return options;
}

int chooser(const QString& out, const QString& language) {
    QTemporaryDir folder;
    const QString dir = folder.path() + "/";
    ManualClock clock;
    sim::InProcessInstrument instrument(demoInstrument());
    if (!writeDemoSettings(dir, instrument, language))
        return fail("cannot write the settings");
    // A first start on a machine whose ports are not there.
    IniFile(dir + "Korvat.ini")
        .writeEntries({{"Communication", "ComPortA", "/dev/ttyKORVAT-A"}, {"Communication", "ComPortB", "/dev/ttyKORVAT-B"}});
    TForm1 form;
    Presenter presenter(form);
    Answers dialogs;
    GrabbingChooser grabbing(out);
    // The machine's own serial lines, as the installed program has them.
    QtSerialLine com1, com2;
    KorvatApp app({presenter, dialogs, clock, com1, com2, dir, {}, {}, {}, {}, RecorderDispatch::Inline, &grabbing});
    presenter.attach(app);
    app.FormCreate([&form](int offset) { form.TranslateForm(offset); });
    return grabbing.saved ? 0 : fail("the chooser was not shown or not saved: " + dialogs.shown.join(" / "));
}

int window(const QString& setupOut, const QString& specimensOut, const QString& runOut, const QString& language) {
    QTemporaryDir folder;
    const QString dir = folder.path() + "/";
    ManualClock clock;
    sim::InProcessInstrument instrument(demoInstrument());
    instrument.follow(clock);
    if (!writeDemoSettings(dir, instrument, language))
        return fail("cannot write the settings");
    TForm1 form;
    form.resize(kWidth, kHeight);
    form.show();
    Presenter presenter(form);
    Answers dialogs;
    KorvatApp app({presenter, dialogs, clock, instrument.mainLine(), instrument.fpdLine(), dir});
    presenter.attach(app);
    if (app.FormCreate([&form](int offset) { form.TranslateForm(offset); }) != StartupOutcome::Running)
        return fail("start-up failed: " + dialogs.shown.join(" / "));
    dialogs.fileName = dir + "Demo.csv";
    app.btnSpeichernClick();
    const QString description = language == QLatin1String("DE")
                                    ? QStringLiteral("Toluol gegen Latex, Nitril und FKM\r\nDemo, sechsfach beschleunigt\r\n")
                                    : QStringLiteral("Toluene against latex, nitrile and FKM\r\nDemo, six times faster\r\n");
    form.setText(QStringLiteral("memoDescription"), description);
    app.inputs().edited(Input::Description, description);
    auto* pages = form.findChild<QTabWidget*>(QStringLiteral("PageControl"));
    pages->setCurrentWidget(form.control(QStringLiteral("tabSampleInfo")));
    settle(form);
    if (!form.grab().save(setupOut))
        return fail("cannot write " + setupOut);

    // The specimens as the demo's three cells hold them, and who runs the test.
    const struct {
        const char* control;
        const char* text;
    } specimens[] = {{"editMaterial1", "Latex"}, {"editMaterial2", "Nitril"}, {"editMaterial3", "FKM"},
                     {"editLot1", "L-2026-11"}, {"editLot2", "N-0815"}, {"editLot3", "F-17"},
                     {"editOperator", "A. Weber"}};
    for (const auto& sp : specimens) {
        const QString name = QString::fromLatin1(sp.control);
        const QString text = QString::fromUtf8(sp.text);
        form.setText(name, text);
        emit form.edited(name, text);
        emit form.editExited(name);
    }
    pages->setCurrentWidget(form.control(QStringLiteral("tabProben")));
    settle(form);
    if (!form.grab().save(specimensOut))
        return fail("cannot write " + specimensOut);

    pages->setCurrentWidget(form.control(QStringLiteral("tabStatus")));
    Sequencer& seq = app.sequencer();
    seq.btnStartClick();
    const Millis end = clock.monotonicNow() + Millis(12 * 60'000LL);
    while (clock.monotonicNow() < end && seq.running()) {
        clock.advance(Millis(90));
        QApplication::processEvents();
        app.Timer1Timer();
    }
    dialogs.shown.removeIf([](const QString& text) { return text.isEmpty(); });
    if (!seq.running())
        return fail("the run ended early: " + dialogs.shown.join(" / "));
    settle(form);
    if (!form.grab().save(runOut))
        return fail("cannot write " + runOut);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QApplication qapp(argc, argv);
    if (argc != 3)
        return fail("usage: korvat-screenshots OUT_DIR DE|US");
    const QString out = QString::fromLocal8Bit(argv[1]) + QLatin1Char('/');
    const QString language = QString::fromLocal8Bit(argv[2]);
    const QString suffix = language == QLatin1String("DE") ? QStringLiteral("de") : QStringLiteral("en");
    if (const int failed = chooser(out + "chooser-" + suffix + ".png", language))
        return failed;
    if (const int failed = window(out + "setup-" + suffix + ".png", out + "specimens-" + suffix + ".png",
                                  out + "run-" + suffix + ".png", language))
        return failed;
    std::printf("%s*-%s.png\n", qPrintable(out), qPrintable(suffix));
    return 0;
}
