#include "run/RunProgress.h"

#include "shell/StringTable.h"
#include "util/NumberText.h"

#include <algorithm>
#include <cmath>

namespace korvat {

namespace {

// Captions of the string table.
constexpr int kFirstPositionName = 31; // 31 Nullgas ... 36 Zelle 3, as the lamps read
constexpr int kMeasurementOf = 333, kCycleOf = 334, kEndIn = 335, kEndAtTheLatest = 336, kNotCalibrated = 337,
              kLastMeasurement = 338, kBreakthroughAt = 339, kNextIn = 340, kBeingMeasured = 341, kRising = 342,
              kFalling = 343, kSteady = 344, kSwitchedOff = 345, kNotInRange = 346, kNoMeasurementYet = 347;

const QString kRateUnit = QStringLiteral(" ug/cm\u00b2/min");
const QString kSeparator = QStringLiteral(" \u00b7 ");

bool isSampleCell(int position) { return position >= 4 && position <= 6; }

// The last two measured (not skipped, no line down) records of a position, latest first.
struct LastTwo {
    const MeasurementRecord* latest = nullptr;
    const MeasurementRecord* previous = nullptr;
};

std::array<LastTwo, 3> lastMeasured(const std::vector<MeasurementRecord>& records) {
    std::array<LastTwo, 3> found;
    int missing = 6;
    for (auto it = records.rbegin(); it != records.rend() && missing > 0; ++it) {
        if (!isSampleCell(it->runZelle) || it->skipped || it->lineDown)
            continue;
        LastTwo& cell = found[static_cast<std::size_t>(it->runZelle - 4)];
        if (!cell.latest) {
            cell.latest = &*it;
            --missing;
        } else if (!cell.previous) {
            cell.previous = &*it;
            --missing;
        }
    }
    return found;
}

} // namespace

Trend trendOf(double previous, double latest) {
    const double change = latest - previous;
    const double threshold = std::max(0.1 * std::max(std::abs(previous), std::abs(latest)), 0.01);
    if (change > threshold)
        return Trend::Rising;
    if (change < -threshold)
        return Trend::Falling;
    return Trend::Steady;
}

QString positionName(int position, int ID) {
    if (position < 1 || position > 6)
        return QString::number(position);
    return LoadLangText(ID, kFirstPositionName + position - 1);
}

RunProgress runProgress(const RunModel& run, const ProgressContext& c) {
    auto T = [&](int n) { return LoadLangText(c.ID, n); };
    auto rate = [](double v) { return formatFixed(v, 7, 2); };
    RunProgress p;
    p.running = run.running();
    const int first = run.runStart, count = run.strtCount;
    auto inRange = [&](int position) { return position >= first && position < first + count; };

    // Per-turn times as the sequencer's phases count them: each threshold passes a whole second
    // after it is reached, at the first tick after it (half a tick late on average), and the
    // converter's end, the evaluation and the next turn's start take a tick each. Left out, those
    // ticks made a day's run end minutes after its foretold end. A switched-off cell's turn takes
    // no time.
    const qint64 turnMs =
        qint64(c.sampleSeconds + c.injectionSeconds + run.parameters.measuringSeconds + 1) * 1000 +
        3 * c.tickMs + c.tickMs / 2;
    auto turnOf = [&](int position) -> qint64 { return run.cellOff(position) ? 0 : turnMs; };

    if (p.running) {
        p.measurement = run.measurementNumber();
        p.measurements = run.strtMessungen;
        p.cycle = run.cycleNumber();
        p.cycles = run.strtCycles;
        p.position = run.runZelle;
        p.measurementText = T(kMeasurementOf).arg(p.measurement).arg(p.measurements);
        p.cycleText = T(kCycleOf).arg(p.cycle).arg(p.cycles);
        p.positionText = positionName(p.position, c.ID);
        p.headline = p.measurementText + kSeparator + p.cycleText + kSeparator + p.positionText;

        qint64 current = 0;
        const RunTag tag = run.runTag();
        if (tag == RunTag::FillCell)
            current = turnOf(run.runZelle);
        else if (tag != RunTag::WaitConverter && tag != RunTag::Evaluate)
            current = std::max<qint64>(0, turnMs - (c.now - run.runStartCycle).count());

        // The turns still to come: the rest of this cycle, then whole cycles over the range.
        std::array<std::optional<qint64>, 3> next;
        qint64 t = current;
        for (int position = run.runZelle + 1; position < run.runZelle + run.runCount; ++position) {
            if (isSampleCell(position) && !next[position - 4])
                next[position - 4] = t;
            t += turnOf(position);
        }
        const int cyclesAfter = std::max(0, run.runCycles - 1);
        qint64 cycleMs = 0;
        for (int position = first; position < first + count; ++position) {
            if (cyclesAfter > 0 && isSampleCell(position) && !next[position - 4])
                next[position - 4] = t + cycleMs;
            cycleMs += turnOf(position);
        }
        p.endInMs = t + cyclesAfter * cycleMs;

        bool canSwitchOff = false;
        for (int k = 1; k <= 3; ++k) {
            CellProgress& cell = p.cells[k - 1];
            const int position = k + 3;
            if (!inRange(position))
                continue;
            cell.measuring = position == run.runZelle && !run.cellOff(position);
            if (!run.cellOff(position) && !cell.measuring)
                cell.nextInMs = next[k - 1];
            canSwitchOff = canSwitchOff || (!c.keepMeasuring && !run.cell(k).off);
        }
        p.endAtTheLatest = canSwitchOff && p.endInMs > 0;
        p.endText = T(p.endAtTheLatest ? kEndAtTheLatest : kEndIn).arg(formatDuration(*p.endInMs));
    }

    const std::array<LastTwo, 3> last = lastMeasured(run.measurements());
    for (int k = 1; k <= 3; ++k) {
        CellProgress& cell = p.cells[k - 1];
        const int position = k + 3;
        const CellState& state = run.cell(k);
        cell.inRange = count > 0 && inRange(position);
        cell.brokeThrough = state.brokeThrough;
        cell.off = state.off;
        const LastTwo& m = last[k - 1];
        if (m.latest) {
            cell.lastElapsedMs = m.latest->elapsedMs;
            if (c.calibrated[0])
                cell.fidRate = m.latest->FIDMessMenge;
            if (c.twoDetectors && c.calibrated[1])
                cell.fpdRate = m.latest->FPDMessMenge;
            if (m.previous) {
                if (c.calibrated[0])
                    cell.trend = trendOf(m.previous->FIDMessMenge, m.latest->FIDMessMenge);
                else if (c.twoDetectors && c.calibrated[1])
                    cell.trend = trendOf(m.previous->FPDMessMenge, m.latest->FPDMessMenge);
            }
        }

        // Each detector's rate, or why there is none; the detector named only when there are two.
        auto shown = [&](Detector d, const std::optional<double>& value, bool named) {
            const QString name = named ? (d == Detector::FID ? QStringLiteral("FID ") : QStringLiteral("FPD ")) : QString();
            if (!c.calibrated[static_cast<int>(d)])
                return name + T(kNotCalibrated);
            return name + (value ? rate(*value) + kRateUnit : QStringLiteral("--"));
        };
        if (!c.twoDetectors) {
            cell.rateText = shown(Detector::FID, cell.fidRate, false);
        } else if (c.calibrated[0] && c.calibrated[1] && cell.fidRate && cell.fpdRate) {
            cell.rateText = QStringLiteral("FID ") + rate(*cell.fidRate) + kSeparator + QStringLiteral("FPD ") +
                            rate(*cell.fpdRate) + kRateUnit;
        } else {
            cell.rateText = shown(Detector::FID, cell.fidRate, true) + kSeparator + shown(Detector::FPD, cell.fpdRate, true);
        }
        switch (cell.trend) {
        case Trend::Rising: cell.trendText = T(kRising); break;
        case Trend::Falling: cell.trendText = T(kFalling); break;
        case Trend::Steady: cell.trendText = T(kSteady); break;
        case Trend::Unknown: break;
        }

        if (state.brokeThrough && state.breakElapsedMs >= 0)
            cell.timeText = T(kBreakthroughAt).arg(formatDuration(state.breakElapsedMs));
        else if (cell.lastElapsedMs)
            cell.timeText = T(kLastMeasurement).arg(formatDuration(*cell.lastElapsedMs));
        else if (p.running && cell.inRange)
            cell.timeText = T(kNoMeasurementYet);

        if (!p.running)
            cell.nextText.clear();
        else if (!cell.inRange)
            cell.nextText = T(kNotInRange);
        else if (cell.off)
            cell.nextText = T(kSwitchedOff);
        else if (cell.measuring)
            cell.nextText = T(kBeingMeasured);
        else if (cell.nextInMs)
            cell.nextText = T(kNextIn).arg(formatDuration(*cell.nextInMs));
    }
    return p;
}

} // namespace korvat
