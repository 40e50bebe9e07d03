#pragma once
// The virtual permeation instrument: the main converter (port A) and, in the two-detector
// configuration, the FPD converter (port B), driven by time from outside. It knows nothing about
// how its bytes travel; korvat-sim serves it on pseudo-terminals, InProcessLine hands it straight
// to the program's link code.

#include "model/Command.h"
#include "model/ConverterEndpoint.h"
#include "util/Clock.h"

#include <QByteArray>
#include <QLoggingCategory>
#include <functional>
#include <memory>

Q_DECLARE_LOGGING_CATEGORY(lcSim)

namespace korvat::sim {

struct InstrumentOptions {
    // The FPD converter on port B is fitted.
    bool twoConverters = false;
    // Neither board answers anything (a switched-off instrument or a broken cable).
    bool silent = false;
    // The main converter's identification lacks the "4" in fourth place, as if the cables were
    // crossed or a wrong board were fitted.
    bool badIdentification = false;
    // What each board answers to "<SN" after ":SN". The program checks the reply's fourth
    // character, which is the first character here: "4" marks the main converter.
    QByteArray mainId = "4A01-0815";
    QByteArray fpdId = "2B01-0816";
};

// One line a converter received, as the log and the observer see it.
struct ReceivedLine {
    Port port;
    QByteArray text;
    // Model time when the line completed.
    Millis at;
    // Longer than the line limit: `text` is its head only, and the line was dropped unanswered.
    bool overlong = false;
};

class VirtualInstrument {
public:
    using LineObserver = std::function<void(const ReceivedLine&)>;

    explicit VirtualInstrument(InstrumentOptions options = {});
    ~VirtualInstrument();
    VirtualInstrument(const VirtualInstrument&) = delete;
    VirtualInstrument& operator=(const VirtualInstrument&) = delete;

    const InstrumentOptions& options() const { return options_; }

    ConverterEndpoint& mainConverter() { return *main_; }
    // Null unless the FPD converter is fitted.
    ConverterEndpoint* fpdConverter() { return fpd_.get(); }
    ConverterEndpoint* endpoint(Port port) { return port == Port::Main ? main_.get() : fpd_.get(); }

    // Moves the model to `now` (monotonic). Time never runs backwards here: an earlier time is
    // ignored. The boards' streams of data lines run from this hook.
    void advanceTo(Millis now);
    Millis now() const { return now_; }

    // Told about every line either board receives, answered or not.
    void setLineObserver(LineObserver observer) { observer_ = std::move(observer); }

    // The line a board answers to "<SN", CR included.
    QByteArray identificationReply(Port port) const;

private:
    friend class ConverterEndpoint;
    void handleLine(ConverterEndpoint& endpoint, const LineSplitter::Line& line);
    void dispatch(ConverterEndpoint& endpoint, const Command& command);
    void reply(ConverterEndpoint& endpoint, const QByteArray& line);

    InstrumentOptions options_;
    std::unique_ptr<ConverterEndpoint> main_;
    std::unique_ptr<ConverterEndpoint> fpd_;
    Millis now_{0};
    LineObserver observer_;
};

} // namespace korvat::sim
