#include "link/StatusPoll.h"

#include "link/Commands.h"
#include "link/Link.h"
#include "link/Valves.h"
#include "shell/StringTable.h"
#include "util/Utils.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcPoll, "korvat.link.poll")

namespace korvat {

namespace {
constexpr Millis kPollInterval{1000};
} // namespace

std::vector<TUpdateObject> buildUpdateList(TDeviceTyp deviceTyp, Millis now) {
    const bool fpd = deviceTyp == TDeviceTyp::FIDFPD;
    // The quantity each query reads back (its setpoint group), beside the query's place in the
    // poll order; the emission chamber, transfer line, zero and PMT voltage belong to the FPD.
    struct Row {
        std::optional<ReadBack> quantity;
        bool fpdOnly;
    };
    static constexpr Row kRows[] = {
        {ReadBack::Messkammer, false}, {ReadBack::Ventilblock, false}, {ReadBack::Emmision, true},
        {ReadBack::Transfer, true},    {ReadBack::Zero, true},         {ReadBack::HVoltage, true},
        {std::nullopt, false},         {std::nullopt, false},          {std::nullopt, false},
        {std::nullopt, false},         {std::nullopt, false},
    };
    static_assert(std::size(kRows) == std::tuple_size_v<decltype(kStatusQueries)>);
    std::vector<TUpdateObject> list;
    list.reserve(20);
    for (std::size_t i = 0; i < std::size(kRows); ++i) {
        if (kRows[i].fpdOnly && !fpd)
            continue;
        list.push_back({now, kStatusQueries[i], kRows[i].quantity});
    }
    return list;
}

QString StatusPoll::T(int n) const { return LoadLangText(d_.ID, n); }

void StatusPoll::pollStep() {
    if (UpdateList.empty())
        return;
    PollCursor = PollCursor < static_cast<int>(UpdateList.size()) ? PollCursor + 1 : 1;
    TUpdateObject& entry = UpdateList[PollCursor - 1];
    const Millis now = d_.clock.monotonicNow();
    // An entry visited too soon is skipped, not postponed.
    if (now - entry.UpdateTime <= kPollInterval)
        return;
    entry.UpdateTime = now;
    d_.link.SendCommand(d_.link.ComPort1(), commandLine(entry.UpdateString));
}

void StatusPoll::dispatchStep() {
    // One reply is interpreted per tick. Whatever interprets as none (an echo of our command, an
    // acknowledgement, some other text of the instrument's) is logged by ReadReply and the next
    // line taken at once: an instrument that echoes every query would otherwise bring twice the
    // lines the tick works off, and the status shown would fall further behind all night.
    for (;;) {
        const QString line = d_.link.ReadReply(true);
        if (line.isEmpty())
            return;
        const int n = line.size();
        auto r = [&line](int i) { return line[i - 1]; };
        QChar letter;
        if (n >= 4 && r(1) == QLatin1Char(':')) {
            if (r(3) == QLatin1Char('G') && r(4) != QLatin1Char('G'))
                letter = r(2);
            if ((r(3) == QLatin1Char('1') || r(3) == QLatin1Char('2')) && r(4) == QLatin1Char('G'))
                letter = r(2);
        }
        if (n >= 5 && r(1) == QLatin1Char(':') && r(4) == QLatin1Char('A') && r(5) == QLatin1Char('S'))
            letter = QLatin1Char('A');
        if (!letter.isNull() && act(letter, line))
            return;
    }
}

bool StatusPoll::malformed(const QString& line) {
    // A reply whose value does not decode is reported with its port and dropped.
    const QString device = d_.link.lastReplyDevice();
    const QString text = QStringLiteral("%1: reply not understood: %2").arg(device, line);
    qCWarning(lcPoll).noquote() << text;
    d_.link.logLine(device, text);
    return true;
}

bool StatusPoll::act(QChar letter, const QString& line) {
    const QChar r3 = line[2];
    auto hex4At = [&line] { return hexField(line, 4, 7); };
    auto hex2At = [&line] { return hexField(line, 4, 5); };
    switch (letter.unicode()) {
    case 'A': {
        const QString s = line.mid(5, 3);
        if (s.isEmpty()) {
            intAD1Status = 103;
            return true;
        }
        bool ok = false;
        const int v = s.toInt(&ok, 10);
        // The number reads past blanks around it; a sign behind a blank is still no status.
        const QString digits = s.trimmed();
        if (!ok || digits.startsWith(QLatin1Char('+')) || digits.startsWith(QLatin1Char('-')))
            return malformed(line);
        intAD1Status = v;
        return true;
    }
    case 'V':
        if (r3 == QLatin1Char('1')) {
            d_.valves.DispV1State();
            return true;
        }
        if (r3 == QLatin1Char('2')) {
            d_.valves.DispV2State();
            return true;
        }
        [[fallthrough]];
    case 'S': {
        const auto v = hex4At();
        if (!v)
            return malformed(line);
        const ReadBack what = letter == QLatin1Char('V') ? ReadBack::Ventilblock : ReadBack::Messkammer;
        setReadBack(what, TenthsToStr(*v) + T(18));
        temperatures_[static_cast<int>(what)] = signed16(*v) / 10.0;
        return true;
    }
    case 'E':
    case 'T': {
        const auto v = hex4At();
        if (!v)
            return malformed(line);
        const ReadBack what = letter == QLatin1Char('E') ? ReadBack::Emmision : ReadBack::Transfer;
        setReadBack(what, QString::number(signed16(*v) / 10) + QLatin1Char(' ') + T(18));
        temperatures_[static_cast<int>(what)] = signed16(*v) / 10.0;
        return true;
    }
    case 'Z': {
        const auto v = hex4At();
        if (!v)
            return malformed(line);
        setReadBack(ReadBack::Zero, QString::number(zeroPercentFromCode(*v)) + QLatin1Char(' ') + T(24));
        return true;
    }
    case 'H': {
        const auto v = hex4At();
        if (!v)
            return malformed(line);
        setReadBack(ReadBack::HVoltage, QString::number(*v) + QLatin1Char(' ') + T(25));
        return true;
    }
    case 'L': {
        const auto v = hex2At();
        if (!v)
            return malformed(line);
        d_.valves.lampsReported(static_cast<std::uint8_t>(*v));
        return true;
    }
    case 'D': {
        if (r3 != QLatin1Char('G'))
            return false;
        const auto v = hex2At();
        if (!v)
            return malformed(line);
        d_.valves.mirrorLoop(static_cast<std::uint8_t>(*v));
        return true;
    }
    case 'P': {
        const auto v = hex2At();
        if (!v)
            return malformed(line);
        heatingMirror(*v);
        return true;
    }
    default:
        return false;
    }
}

void StatusPoll::setReadBack(ReadBack what, const QString& text) {
    readBacks_[static_cast<int>(what)] = text;
    d_.view.readBackShown(what, text);
}

void StatusPoll::heatingMirror(int value) {
    const auto c = static_cast<std::uint8_t>(value);
    Registers& regs = d_.valves.regs();
    if (c == regs.LastPByte)
        return;
    regs.LastPByte = c;
    std::uint8_t w = c;
    const bool cellOn = !BitIsSet(c, 0);
    if (heaterRequest_)
        heaterRequest_(HeatedZone::MeasuringCell, cellOn);
    if (cellOn)
        ClearBit(w, 5);
    else
        SetBit(w, 5);
    const bool valvesOn = !BitIsSet(c, 1);
    if (heaterRequest_)
        heaterRequest_(HeatedZone::ValveBlock, valvesOn);
    if (valvesOn)
        ClearBit(w, 4);
    else
        SetBit(w, 4);
    w |= 0x0F;
    d_.valves.sendHeating(w);
}

} // namespace korvat
