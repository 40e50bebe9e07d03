#pragma once
// The virtual permeation instrument: the main converter (port A) and, in the two-detector
// configuration, the FPD converter (port B), driven by time from outside. It knows nothing about
// how its bytes travel; korvat-sim serves it on pseudo-terminals, InProcessLine hands it straight
// to the program's link code.
//
// The main converter carries the control interface: the registers V1, V2, L, P and D, the four
// heaters, the photomultiplier's high voltage and the zero compensation. Both converters stream
// data lines of their detector's signal while a burst is open. Queries answer at once; setpoint
// and on/off commands answer with an acknowledgement (the command echoed with ":" for "<", which
// matches none of the program's reply patterns), so a program waiting for "some answer" goes on
// at once. Register writes and the sample-loop switch answer nothing. WireHabits varies all of
// this where the protocol leaves it open: line ends, delays, bytes split over several writes,
// echoes, other acknowledgements, the data lines' form and pace.
//
// Gas: bank 1 of the valve registers selects which position's gas path flows into the sample loop
// (GasPaths), the loop follows that gas while it is switched in ("<D1"), and switching it out
// ("<D0") injects its content: both detectors then show a peak whose area is proportional to what
// the loop held (DetectorSignal, InjectionPeak). The peak is only seen in a burst that is open
// while it passes, as on the real instrument.

#include "model/Command.h"
#include "model/ConverterEndpoint.h"
#include "model/ConverterStream.h"
#include "model/DetectorSignal.h"
#include "model/Faults.h"
#include "model/GasPaths.h"
#include "model/Heater.h"
#include "model/InjectionPeak.h"
#include "model/Permeation.h"
#include "model/SampleLoop.h"
#include "model/WireHabits.h"
#include "util/Clock.h"

#include <QByteArray>
#include <QLoggingCategory>
#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

Q_DECLARE_LOGGING_CATEGORY(lcSim)

namespace korvat::sim {

struct InstrumentOptions {
    // The FPD converter on port B is fitted.
    bool twoConverters = false;
    // Neither board answers anything (a switched-off instrument or a broken cable). See also
    // FaultOptions::silentFrom.
    bool silent = false;
    // The main converter's identification has another character where its "4" is, as if the
    // cables were crossed or a wrong board were fitted.
    bool badIdentification = false;
    // The exact line each board answers to "<SN", without its line end; an empty text means the
    // board answers nothing to it. The program takes a "4" in fourth place for the main converter
    // and the rest after the first character for the serial number.
    QByteArray mainIdentification = ":SN4A01-0815";
    QByteArray fpdIdentification = ":SN2B01-0816";
    // The front-panel switches that ask for the measuring-cell and valve-block heating (P bits 0
    // and 1 read 0) start off: P then reads FF instead of FC.
    bool heatersOff = false;
    // Everything random (signal noise, drift phase, temperature jitter) follows from this.
    std::uint64_t seed = 1;
    // Where every zone starts and where it returns when its heating is off.
    double ambientCelsius = 22.0;
    // Peak jitter of a temperature reading, °C; 0 gives exact readings.
    double temperatureNoise = 0.08;
    SignalProfile fidSignal = kFidBaseline;
    SignalProfile fpdSignal = kFpdBaseline;
    // What each position's gas path delivers.
    GasSupply gas;
    // How each detector answers an injection: area per ppm, the delay from "<D0" to the peak's
    // start, the peak's widths.
    PeakResponse fidResponse = kFidResponse;
    PeakResponse fpdResponse = kFpdResponse;
    // Time constant of the sample loop's flushing. A loop volume passes in about a second, and
    // the gas pushes the old content out ahead of it rather than mixing with it, so the exchange is
    // practically complete within a couple of seconds; a first-order lag of half a second does
    // the same and keeps even a three-second fill within 0.3 % of the path's gas.
    Millis loopFlushTime{500};
    // The sample cells' gas from a permeation model instead of fixed concentrations.
    PermeationOptions permeation;
    // Faults shown on demand.
    FaultOptions faults;
    // How the boards put their lines on the wire where the protocol leaves it open.
    WireHabits habits;
};

// One switch of the sample loop from in to out, and what it carried to the detectors.
struct Injection {
    Millis at;
    GasSample gas;
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

    // Status number "<12AS100" reports while a burst is open; WireHabits::idleStatus otherwise.
    static constexpr int kBurstStatus = 118;

    explicit VirtualInstrument(InstrumentOptions options = {});
    ~VirtualInstrument();
    VirtualInstrument(const VirtualInstrument&) = delete;
    VirtualInstrument& operator=(const VirtualInstrument&) = delete;

    const InstrumentOptions& options() const { return options_; }

    ConverterEndpoint& mainConverter() { return *main_; }
    // Null unless the FPD converter is fitted.
    ConverterEndpoint* fpdConverter() { return fpd_.get(); }
    ConverterEndpoint* endpoint(Port port) { return port == Port::Main ? main_.get() : fpd_.get(); }

    // Moves the model to `now` (monotonic): the heaters follow their lag and every data line due
    // by then goes out. Time never runs backwards here: an earlier time is ignored.
    void advanceTo(Millis now);
    Millis now() const { return now_; }

    // Told about every line either board receives, answered or not.
    void setLineObserver(LineObserver observer) { observer_ = std::move(observer); }

    // The line(s) a board answers to "<SN", line end included; empty when it answers nothing.
    QByteArray identificationReply(Port port) const;

    // ---- the instrument's state, as the queries report it ---------------------------------------
    int registerValue(Register reg) const;
    // Whether the zone heats: its own on/off command, or for the valve block and the measuring
    // cell also the P register's heating bit (4, 5) written 0. Either one switches it on.
    bool isHeating(Zone zone) const;
    const Heater& heater(Zone zone) const { return heaters_[index(zone)]; }
    // The reading "<VG" and friends report: tenths of a degree, jitter included.
    int temperatureTenths(Zone zone) const;
    bool highVoltageOn() const { return highVoltageOn_; }
    int highVoltageCode() const { return highVoltageCode_; }
    int zeroCode() const { return zeroCode_; }
    bool isStreaming(Port port) const;

    // ---- faults ---------------------------------------------------------------------------------
    // The port's burst ends without a closing line, as when its cable is pulled: the board's bytes
    // go nowhere, and the program finds the converter idle once the cable is back.
    void dropBurst(Port port);
    // Whether the boards answer nothing at `now` (always silent, or silent from a given time on).
    bool isSilentAt(Millis now) const;
    // Lines faults changed or kept back so far, both ports together.
    int garbledLines() const { return garbledLines_; }
    int droppedLines() const { return droppedLines_; }

    // The front panel's heating switches (P bits 0 and 1 as read), e.g. to see the program follow
    // an operator who switches the measuring-cell heating off at the instrument.
    void setHeatingRequests(bool measuringCell, bool valveBlock);

    // ---- gas paths, sample loop and injections -------------------------------------------------
    const GasPaths& gasPaths() const { return gasPaths_; }
    // The lab puts the next reference-gas cylinder on (GasSupply::referenceLevels); what the
    // reference-gas path delivers from now on.
    GasSample nextReferenceLevel() { return gasPaths_.nextReferenceLevel(); }
    // What position `position` (1..6) delivers now.
    GasSample concentration(int position) const {
        return gasPaths_.concentrationAt(position, now_);
    }
    // Whether the sample loop is switched in (D bit 0 written 1).
    bool loopSwitchedIn() const { return (d_ & kDLoopIn) != 0; }
    const GasSample& loopContent() const { return loop_.content(); }
    // Every injection so far, in time order.
    const std::vector<Injection>& injections() const { return injections_; }
    // The peak area (counts·s; the program's sum over samples is ten times this) that a loop
    // fully flushed with position `position`'s gas gives now on the port's detector.
    double expectedPeakArea(Port port, int position) const;

private:
    friend class ConverterEndpoint;

    // What leaves a board. Every byte goes through transmit(), which is where fault modes (lost
    // or garbled replies, a stalled stream) attach.
    enum class Traffic { Reply, Data };

    static constexpr std::size_t index(Zone zone) { return static_cast<std::size_t>(zone); }
    // D bit 0: the sample loop is switched in.
    static constexpr std::uint8_t kDLoopIn = 0x01;

    void handleLine(ConverterEndpoint& endpoint, const LineSplitter::Line& line);
    void dispatch(ConverterEndpoint& endpoint, const Command& command);
    // One line (without its line end) as an answer.
    void reply(ConverterEndpoint& endpoint, const QByteArray& line);
    // A query's answer: the reply tail follows the value.
    void answerQuery(ConverterEndpoint& endpoint, const QByteArray& line);
    void acknowledge(ConverterEndpoint& endpoint, const Command& command);
    void transmit(ConverterEndpoint& endpoint, Traffic traffic, const QByteArray& bytes);
    // Bytes onto the port's wire: at once, or in pieces after what is waiting there.
    void putOnWire(Port port, const QByteArray& bytes);
    // Sends the delayed answers and pieces due by now_.
    void pumpWire(Port port);
    // The lines of `bytes` as the per-line faults let them through.
    QByteArray applyLineFaults(Port port, Traffic traffic, const QByteArray& bytes);
    void advanceModel(Millis now);
    void writeRegister(Register reg, int value);
    void writeD(std::uint8_t value);
    void inject();
    ConverterStream* stream(Port port);

    InstrumentOptions options_;
    std::unique_ptr<ConverterEndpoint> main_;
    std::unique_ptr<ConverterEndpoint> fpd_;
    Millis now_{0};
    LineObserver observer_;

    // Registers as last written; P keeps only its written bits 4 to 7 here, bits 0 and 1 are the
    // front-panel requests.
    std::uint8_t v1_ = 0xFF;
    std::uint8_t v2_ = 0xFF;
    std::uint8_t l_ = 0xFF;
    std::uint8_t pWritten_ = 0xF0;
    std::uint8_t d_ = 0x00;
    bool cellHeatingRequested_;
    bool valveBlockHeatingRequested_;

    std::array<Heater, kZoneCount> heaters_;
    std::array<bool, kZoneCount> heaterSwitchedOn_{};
    int highVoltageCode_ = 0;
    bool highVoltageOn_ = false;
    // 0x8000 is 0 %.
    int zeroCode_ = 0x8000;

    GasPaths gasPaths_;
    SampleLoop loop_;
    std::vector<Injection> injections_;

    ConverterStream mainStream_;
    std::unique_ptr<ConverterStream> fpdStream_;

    // What waits to leave each port (A, B): answers held back by the reply delay, and pieces of
    // lines already on their way, each due at its time.
    struct Outgoing {
        Millis due;
        QByteArray bytes;
    };
    std::array<std::deque<Outgoing>, 2> heldReplies_;
    std::array<std::deque<Outgoing>, 2> wire_;
    QByteArray lineEnd_;

    // Every line each port has sent or kept back, counted, so each line's faults follow from the
    // seed and its number alone.
    std::array<std::uint64_t, 2> linesSent_{};
    int garbledLines_ = 0;
    int droppedLines_ = 0;
};

} // namespace korvat::sim
