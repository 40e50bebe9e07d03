#include "ui/Program.h"

#include <QHash>
#include <functional>

namespace korvat {

namespace {
constexpr int kTickMs = 90;
} // namespace

Program::Program(const QString& programDir)
    : dialogs_(&form_),
      app_(std::make_unique<KorvatApp>(
          KorvatApp::Environment{form_, dialogs_, clock_, com1_, com2_, programDir})) {
    timer_.setObjectName(QStringLiteral("Timer1"));
    timer_.setInterval(kTickMs);
    QObject::connect(&timer_, &QTimer::timeout, &form_, [this] { Timer1Timer(); });
    connectHandlers();
}

Program::~Program() {
    timer_.stop();
    // The ports close before the queues go, so no receive handler can touch a released queue.
    com1_.close();
    com2_.close();
    app_->FormClose();
}

StartupOutcome Program::FormCreate() {
    const StartupOutcome outcome = app_->FormCreate([this](int offset) { form_.TranslateForm(offset); });
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

void Program::connectHandlers() {
    QObject::connect(&form_, &TForm1::editExited, &form_, [this](const QString& c) { onEditExited(c); });
    QObject::connect(&form_, &TForm1::clicked, &form_, [this](const QString& c) { onClicked(c); });
    QObject::connect(&form_, &TForm1::standardPicked, &form_, [this](int i) { app_->rgStandardClick(i); });
    QObject::connect(&form_, &TForm1::pageControlExited, &form_, [this] { app_->PageControlExit(); });
    QObject::connect(&form_, &TForm1::tabSheetExited, &form_, [this](const QString& page) {
        if (page == QLatin1String("tabFaktoren"))
            app_->substanceFactors().tabFaktorenExit();
    });
    QObject::connect(&form_, &TForm1::substanceDropped, &form_,
                     [this](const QString& grid, const QString& edit, const QString& name, const QString& factor) {
                         app_->substanceFactors().EndDrag(grid, edit, name, factor);
                     });
    form_.setDescriptionKeyRule([](bool enter, int line, int column) {
        switch (KorvatApp::memoDescriptionKeyPress(enter, line, column)) {
        case KorvatApp::DescriptionKey::Discard: return TForm1::KeyAction::Discard;
        case KorvatApp::DescriptionKey::ReplaceWithEnter: return TForm1::KeyAction::ReplaceWithEnter;
        case KorvatApp::DescriptionKey::Keep: break;
        }
        return TForm1::KeyAction::Keep;
    });
    // Chart1AfterDraw: the dotted baseline chords of the last evaluation, from signal indexes
    // (ten a second) and levels, converted to pixels by the chart at every repaint.
    form_.setChartOverlay([this] {
        QVector<QLineF> lines;
        for (const Chord& c : baselineChords(app_->sequencer().eval))
            lines << QLineF(c.x1, c.y1, c.x2, c.y2);
        return lines;
    });
    QObject::connect(&form_, &TForm1::closing, &form_, [this] {
        timer_.stop();
        com1_.close();
        com2_.close();
        app_->FormClose();
    });
}

void Program::onEditExited(const QString& control) {
    KorvatApp& a = *app_;
    if (control == QLatin1String("editStart"))
        a.UpdateStartzelle();
    else if (control == QLatin1String("editAnzahl"))
        a.UpdateAnzahlZellen();
    else if (control == QLatin1String("editZyklen"))
        a.UpdateAnzahlMessreihen();
    else if (control == QLatin1String("editLimitFID"))
        a.UpdateDurchbruchschwelle();
    else if (control == QLatin1String("editLimitFPD"))
        a.editLimitFPDExit();
    else if (control == QLatin1String("editMesszeit"))
        a.UpdateMesszeit();
    else if (control == QLatin1String("editIsobutan"))
        a.UpdateMengeIsobuthan();
    else if (control == QLatin1String("editSulfur"))
        a.UpdateMengeSulfur();
    else if (control == QLatin1String("editScale"))
        a.editScaleExit();
    else if (control == QLatin1String("editScaleMin"))
        a.editScaleMinExit();
    else if (control.startsWith(QLatin1String("editInfo")))
        a.editInfoExit(control.right(1).toInt());
    else if (control == QLatin1String("editVentilblock"))
        a.panel().btnVentilblockSetClick();
    else if (control == QLatin1String("editStartdelay"))
        a.sequencer().editStartdelayExit();
}

void Program::onClicked(const QString& control) {
    static const QHash<QString, std::function<void(Program&)>> kHandlers = {
        {"ledLoop", [](Program& g) { g.app().panel().ledLoopClick(); }},
        {"btnVentilblockSet", [](Program& g) { g.app().panel().btnVentilblockSetClick(); }},
        {"btnMesskammerSet", [](Program& g) { g.app().panel().btnMesskammerSetClick(); }},
        {"btnEmmisionSet", [](Program& g) { g.app().panel().btnEmmisionSetClick(); }},
        {"btnTransferSet", [](Program& g) { g.app().panel().btnTransferSetClick(); }},
        {"btnHVoltageSet", [](Program& g) { g.app().panel().btnHVoltageSetClick(); }},
        {"btnZeroSet", [](Program& g) { g.app().panel().btnZeroSetClick(); }},
        {"btnEmmisionAn", [](Program& g) { g.app().panel().btnEmmisionAnClick(); }},
        {"btnTransferAn", [](Program& g) { g.app().panel().btnTransferAnClick(); }},
        {"btnHVoltageAn", [](Program& g) { g.app().panel().btnHVoltageAnClick(); }},
        {"ServiceButton", [](Program& g) { g.app().panel().ServiceButtonClick(); }},
        {"btnMonitor", [](Program& g) { g.app().acquisition().btnMonitorClick(); }},
        {"btnStart", [](Program& g) { g.app().sequencer().btnStartClick(); }},
        {"btnStop", [](Program& g) { g.app().sequencer().btnStopClick(); }},
        {"btnDelay", [](Program& g) { g.app().sequencer().btnDelayClick(); }},
        {"btnSpeichern", [](Program& g) { g.app().btnSpeichernClick(); }},
        {"btnLaden", [](Program& g) { g.app().btnLadenClick(); }},
    };
    if (const auto it = kHandlers.find(control); it != kHandlers.end())
        return it.value()(*this);
    if (control.startsWith(QLatin1String("ledV1_")))
        app_->panel().ledV1Click(control.right(1).toInt());
    else if (control.startsWith(QLatin1String("ledV2_")))
        app_->panel().ledV2Click(control.right(1).toInt());
}

} // namespace korvat
