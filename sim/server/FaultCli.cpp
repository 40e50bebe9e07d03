#include "server/FaultCli.h"

#include "model/OptionText.h"

#include <cmath>

namespace korvat::sim {

namespace {

QString invalid(const QCommandLineOption& option, const QString& value) {
    return QStringLiteral("invalid value \"%1\" for --%2").arg(value, option.names().first());
}

Millis toMillis(double seconds) {
    return Millis(std::llround(seconds * 1000.0));
}

// A share from 0 to 1 into `target`; false when the text is no such number.
bool readRate(const QCommandLineParser& parser, const QCommandLineOption& option, double& target) {
    if (!parser.isSet(option))
        return true;
    const std::optional<double> rate = parseNonNegative(parser.value(option));
    if (!rate || *rate > 1.0)
        return false;
    target = *rate;
    return true;
}

// Seconds, zero or more; nothing when the text is no such number.
std::optional<Millis> readSeconds(const QCommandLineParser& parser,
                                  const QCommandLineOption& option) {
    const std::optional<double> seconds = parseNonNegative(parser.value(option));
    // Beyond a year of running, the millisecond count would only overflow silently.
    if (!seconds || *seconds > 366.0 * 24 * 3600)
        return std::nullopt;
    return toMillis(*seconds);
}

} // namespace

FaultCli::FaultCli()
    : garble_(QStringLiteral("garble"),
              QStringLiteral("Share of lines (0 to 1) that arrive with one to three wrong "
                             "characters; the CR always survives."),
              QStringLiteral("rate")),
      dropReplies_(QStringLiteral("drop-replies"),
                   QStringLiteral("Share of replies (0 to 1) that are never sent."),
                   QStringLiteral("rate")),
      dropData_(QStringLiteral("drop-data"),
                QStringLiteral("Share of data lines (0 to 1) that are never sent."),
                QStringLiteral("rate")),
      silentAfter_(QStringLiteral("silent-after"),
                   QStringLiteral("Answer nothing from <s> seconds after the start on."),
                   QStringLiteral("s")),
      endlessBurst_(QStringLiteral("endless-burst"),
                    QStringLiteral("\"<12Z0100\" does not end a burst: no \"]\" line, the status "
                                   "stays 118.")),
      endlessBurstAfter_(QStringLiteral("endless-burst-after"),
                         QStringLiteral("As --endless-burst, from <s> seconds after the start on."),
                         QStringLiteral("s")),
      vanishAt_(QStringLiteral("vanish-at"),
                QStringLiteral("At <s> seconds after the start the device disappears: its pty "
                               "closes and its link is removed."),
                QStringLiteral("s")),
      backAfter_(QStringLiteral("back-after"),
                 QStringLiteral("With --vanish-at: <s> seconds later a new pty appears under the "
                                "same link; without it the device stays away."),
                 QStringLiteral("s")),
      vanishPort_(QStringLiteral("vanish-port"),
                  QStringLiteral("With --vanish-at: which device disappears, A, B or both; "
                                 "default A."),
                  QStringLiteral("port")) {}

void FaultCli::add(QCommandLineParser& parser) {
    parser.addOptions({garble_, dropReplies_, dropData_, silentAfter_, endlessBurst_,
                       endlessBurstAfter_, vanishAt_, backAfter_, vanishPort_});
}

QString FaultCli::apply(const QCommandLineParser& parser, Millis start,
                        InstrumentOptions& options) const {
    FaultOptions& faults = options.faults;
    for (const auto& [option, target] :
         {std::pair{&garble_, &faults.garbleRate}, std::pair{&dropReplies_, &faults.dropReplyRate},
          std::pair{&dropData_, &faults.dropDataRate}}) {
        if (!readRate(parser, *option, *target))
            return invalid(*option, parser.value(*option));
    }
    if (parser.isSet(silentAfter_)) {
        const std::optional<Millis> after = readSeconds(parser, silentAfter_);
        if (!after)
            return invalid(silentAfter_, parser.value(silentAfter_));
        faults.silentFrom = start + *after;
    }
    if (parser.isSet(endlessBurst_) && parser.isSet(endlessBurstAfter_))
        return QStringLiteral("--endless-burst and --endless-burst-after exclude each other");
    if (parser.isSet(endlessBurst_))
        faults.endlessBurstFrom = Millis(0);
    if (parser.isSet(endlessBurstAfter_)) {
        const std::optional<Millis> after = readSeconds(parser, endlessBurstAfter_);
        if (!after)
            return invalid(endlessBurstAfter_, parser.value(endlessBurstAfter_));
        faults.endlessBurstFrom = start + *after;
    }

    if (!parser.isSet(vanishAt_)) {
        if (parser.isSet(backAfter_) || parser.isSet(vanishPort_))
            return QStringLiteral("--back-after and --vanish-port need --vanish-at");
        return {};
    }
    DeviceVanishing vanishing;
    const std::optional<Millis> at = readSeconds(parser, vanishAt_);
    if (!at)
        return invalid(vanishAt_, parser.value(vanishAt_));
    vanishing.at = start + *at;
    if (parser.isSet(backAfter_)) {
        vanishing.backAfter = readSeconds(parser, backAfter_);
        if (!vanishing.backAfter)
            return invalid(backAfter_, parser.value(backAfter_));
    }
    if (parser.isSet(vanishPort_)) {
        const QString port = parser.value(vanishPort_).trimmed().toLower();
        if (port == QLatin1String("a"))
            vanishing.ports = FaultPorts::Main;
        else if (port == QLatin1String("b"))
            vanishing.ports = FaultPorts::Fpd;
        else if (port == QLatin1String("both"))
            vanishing.ports = FaultPorts::Both;
        else
            return invalid(vanishPort_, parser.value(vanishPort_));
        if (vanishing.ports == FaultPorts::Fpd && !options.twoConverters)
            return QStringLiteral("--vanish-port B needs --fidfpd");
    }
    faults.vanishing = vanishing;
    return {};
}

} // namespace korvat::sim
