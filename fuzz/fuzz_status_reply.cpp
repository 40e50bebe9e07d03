// The reply dispatch of the status poll, fed through the real line assembly of both ports, with
// the data lines drained into the signal series as the tick does. The input is what the instrument
// sends; its lines go alternately to port A and port B.
// Checks: every reply line is taken (the queue empties within one dispatch a line); whatever the
// program sends back is one well-formed command line; the converter status and every read-back
// label stay within what their fields can hold; the series keep x and y of equal length.

#include "FakeSerialLine.h"
#include "FuzzCheck.h"
#include "link/Link.h"
#include "app/ServicePanel.h"
#include "link/StatusPoll.h"
#include "link/Valves.h"
#include "run/Acquisition.h"
#include "run/Inputs.h"
#include "shell/IniFile.h"
#include "support/RecordingDialogs.h"
#include "support/RecordingView.h"
#include "util/Clock.h"

#include <QCoreApplication>
#include <QLocale>
#include <QLoggingCategory>

using namespace korvat;

namespace {

// The program without its window, wired as start-up wires it, with the FPD converter on port B.
struct Harness {
    explicit Harness(ManualClock& clock) : clock(clock) {
        // Setpoints the heating mirror sends when it presses a heater button.
        inputs.edited(Input::Messkammer, QStringLiteral("27"));
        inputs.edited(Input::Ventilblock, QStringLiteral("60"));
        link.createQueues(true);
        poll.build(deviceTyp);
        // The heating mirror presses the settings page's toggles, as the program wires it.
        poll.setHeaterRequest([this](StatusPoll::HeatedZone zone, bool on) {
            panel.mirrorHeater(zone == StatusPoll::HeatedZone::MeasuringCell ? ServicePanel::Group::Messkammer
                                                                             : ServicePanel::Group::Ventilblock,
                               on);
        });
    }

    // A tick's first two stages: poll step, one reply dispatched, data queues drained.
    void tick() {
        clock.advance(Millis(90));
        poll.pollStep();
        poll.dispatchStep();
        acquisition.drain(deviceTyp);
    }

    fuzz::FakeSerialLine com1{QStringLiteral("/dev/ttyFUZZ0")};
    fuzz::FakeSerialLine com2{QStringLiteral("/dev/ttyFUZZ1")};
    ManualClock& clock;
    test::RecordingView view;
    test::RecordingDialogs dialogs;
    // A folder that does not exist: a setpoint stored by the heating mirror fails at once and is
    // reported, instead of costing a file replace per input.
    IniFile ini{QStringLiteral("/nonexistent-korvat-fuzz/Korvat.ini")};
    Settings settings;
    int ID = 0;
    TDeviceTyp deviceTyp = TDeviceTyp::FIDFPD;
    Link link{com1, com2, clock, dialogs, view};
    Valves valves{link, view};
    Acquisition acquisition{{link, view, settings, ID, deviceTyp}};
    Inputs inputs;
    ServicePanel panel{{settings, ini, link, view, inputs, dialogs, valves, ID, deviceTyp}};
    StatusPoll poll{{link, view, valves, clock, ID}};
};

void checkCommand(const QByteArray& command) {
    FUZZ_CHECK(command.size() >= 3 && command.front() == '<' && command.back() == '\r',
               "a command that is not one \"<...\\r\" line");
    FUZZ_CHECK(command.count('\r') == 1 && !command.contains('\n'), "more than one line sent");
    for (const char c : command.chopped(1))
        FUZZ_CHECK(c >= 0x20 && c < 0x7F, "a command with a byte that is no printable ASCII");
}

// "<number><unit>" or "<number> <unit>": the number must be one of the values the field can take.
void checkLabel(const test::RecordingView& view, ReadBack label, double lowest, double highest) {
    const auto it = view.readBacks.find(label);
    if (it == view.readBacks.end())
        return;
    const QString text = it->second;
    qsizetype end = 0;
    while (end < text.size() && (text[end].isDigit() || text[end] == QLatin1Char('-') ||
                                 text[end] == QLatin1Char('.')))
        ++end;
    bool ok = false;
    const double v = text.left(end).toDouble(&ok);
    FUZZ_CHECK(ok, "a read-back label without its number");
    FUZZ_CHECK(v >= lowest && v <= highest, "a read-back label out of its field's range");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    static int argc = 1;
    static char name[] = "fuzz_status_reply";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    // Every undecodable reply is also a warning; printing thousands a second would be the run.
    QLoggingCategory::setFilterRules(QStringLiteral("korvat.*=false"));
    // The level edits show numbers in the process locale; a German one, and no asking the
    // system for its settings on every drain.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray input = fuzz::bytesOf(data, size);
    // One clock for the whole run: building its local start time costs more than the rest of the
    // harness, and nothing here depends on where the monotonic time starts.
    static ManualClock clock = [] {
        ManualClock c;
        c.setWaitStep(Millis(10000)); // a reply wait passes in one step
        return c;
    }();
    Harness h(clock);

    // One line at a time, ports taking turns, a tick after each.
    fuzz::FakeSerialLine* port = &h.com1;
    qsizetype start = 0;
    while (start < input.size()) {
        qsizetype end = input.indexOf('\r', start);
        end = end < 0 ? input.size() : end + 1;
        port->feed(QByteArray::fromRawData(input.constData() + start, end - start));
        port = port == &h.com1 ? &h.com2 : &h.com1;
        start = end;
        h.tick();
    }
    // The rest of the replies, one a tick; nothing the program does here adds one.
    const std::size_t waiting = h.link.ReplyQueue()->size();
    for (std::size_t i = 0; i < waiting; ++i)
        h.tick();
    FUZZ_CHECK(h.link.ReplyQueue()->empty(), "replies left over after one tick each");
    FUZZ_CHECK(h.link.DataQueue1()->empty() && h.link.DataQueue2()->empty(), "data lines not drained");

    for (const QByteArray& command : h.com1.written)
        checkCommand(command);
    FUZZ_CHECK(h.com2.written.isEmpty(), "the status poll sent something to the FPD converter");

    const int status = h.poll.intAD1Status;
    FUZZ_CHECK(status >= 0 && status <= 999, "converter status beyond three decimal digits");
    checkLabel(h.view, ReadBack::Ventilblock, -3276.8, 3276.7);
    checkLabel(h.view, ReadBack::Messkammer, -3276.8, 3276.7);
    checkLabel(h.view, ReadBack::Emmision, -3276, 3276);
    checkLabel(h.view, ReadBack::Transfer, -3276, 3276);
    checkLabel(h.view, ReadBack::Zero, -100, 100);
    checkLabel(h.view, ReadBack::HVoltage, 0, 65535);

    for (const Series* s : {&h.acquisition.Series1, &h.acquisition.Series2}) {
        FUZZ_CHECK(s->x.size() == s->y.size(), "a series with x and y of different lengths");
        for (const double y : s->y)
            FUZZ_CHECK(y >= -0xFFFFF && y <= 0xFFFFF, "a sample beyond the converter's range");
    }
    return 0;
}
