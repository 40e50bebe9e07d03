#pragma once
// Every figure of a run's cell summaries as text, numbers to the last bit (hexadecimal floating
// point), so two ways of making them can be compared exactly and a difference reads as a line.

#include "evaluation/CellSummary.h"

#include <cstdio>
#include <sstream>
#include <string>

namespace korvat::test {

inline std::string bits(double v) {
    char text[64];
    std::snprintf(text, sizeof text, "%a", v);
    return text;
}
inline std::string bits(const std::optional<double>& v) { return v ? bits(*v) : std::string("-"); }

inline std::string exactText(const std::vector<CellSummary>& all) {
    std::ostringstream o;
    for (const CellSummary& s : all) {
        const CellMetrics& m = s.metrics;
        o << "cell " << s.cell << (s.detector == Detector::FID ? " FID" : " FPD") << " '"
          << s.sampleName.toStdString() << "' '" << s.chemical.toStdString() << "' calibrated " << s.calibrated
          << " sees " << s.seesChemical << " blank " << s.blankMeasured << " held " << bits(s.heldMinutes) << '\n';
        o << "  series";
        for (const RatePoint& p : s.series)
            o << ' ' << bits(p.minutes) << '/' << bits(p.rate);
        o << "\n  flagged";
        for (int n : s.flagged)
            o << ' ' << n;
        o << "\n  n " << m.measurements << " contact " << bits(m.contactRate) << " bt01 " << bits(m.bt01.first) << ' '
          << bits(m.bt01.lastBelow) << ' ' << bits(m.bt01.interpolated) << " bt10 " << bits(m.bt10.first) << ' '
          << bits(m.bt10.lastBelow) << ' ' << bits(m.bt10.interpolated) << " resolution " << bits(m.resolution)
          << " cumulative " << bits(m.cumulative) << ' ' << bits(m.cumulative60) << ' ' << bits(m.cumulative480)
          << " test " << bits(m.testMinutes) << '\n';
        o << "  steady";
        if (m.steady)
            o << ' ' << bits(m.steady->rate) << ' ' << m.steady->measurements << ' ' << bits(m.steady->fromMinutes) << ' '
              << bits(m.steady->trend);
        o << " level " << static_cast<int>(m.level.kind) << ' ' << m.level.lowest << ' ' << m.level.highest << ' '
          << bits(m.level.boundMinutes) << " limit";
        if (m.detectionLimit)
            o << ' ' << bits(m.detectionLimit->rate) << ' ' << static_cast<int>(m.detectionLimit->from);
        o << "\n  u " << bits(s.uncertainty.known() ? std::optional<double>(s.uncertainty.relative(kAstmThreshold))
                                                     : std::nullopt)
          << " bt01 " << bits(s.uBt01 ? std::optional<double>(s.uBt01->value) : std::nullopt) << " bt10 "
          << bits(s.uBt10 ? std::optional<double>(s.uBt10->value) : std::nullopt) << " steady "
          << bits(s.uSteady ? std::optional<double>(s.uSteady->value) : std::nullopt) << " fit";
        if (s.fit)
            o << ' ' << bits(s.fit->steadyRate) << ' ' << bits(s.fit->lagMinutes) << ' ' << bits(s.fit->diffusivity)
              << ' ' << bits(s.fit->residual) << ' ' << s.fit->points << ' ' << s.fit->extrapolated;
        o << " decision " << static_cast<int>(s.decision) << '\n';
    }
    return o.str();
}

} // namespace korvat::test
