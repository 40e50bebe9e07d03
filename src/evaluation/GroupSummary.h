#pragma once
// Replicates: the cells that test the same material against the same chemical form a group (EN
// 16523-1 and EN ISO 374-1 test at least three specimens and classify by the lowest). Per group
// and detector the mean, standard deviation and minimum of each figure over its specimens, the
// uncertainty of the mean (the calibration's share is common to every specimen and does not
// average out) and of the minimum, the EN ISO 374-1 level of the lowest specimen, and the group's
// decision against the run's requirement (pass only when every specimen passes).
//
// A breakthrough time that is a bound ("≤ first measurement", or "> the time held" for a specimen
// that did not break through) has no place in a mean: mean and standard deviation are given only
// when every specimen's time was interpolated; the minimum then carries the bound's sign.

#include "evaluation/CellSummary.h"

#include <QStringList>
#include <span>
#include <vector>

namespace korvat {

struct GroupFigure {
    int count = 0; // specimens with a value
    std::optional<double> mean, sd, min;
    QString minBound; // "", "<=" (the minimum lies at or below it) or ">" (above it)
    // Standard uncertainties of the mean and of the minimum, in the figure's unit.
    std::optional<double> uMean, uMin;
};

struct GroupSummary {
    int number = 0; // 1, 2, ... in the order of the groups' first cells
    Detector detector = Detector::FID;
    QString material, chemical;
    std::vector<int> cells;
    GroupFigure bt01, bt10, steady, cumulative, diffusivity;
    PerformanceLevel level;
    Decision decision = Decision::None;
};

// Cells without a material entered belong to no group.
std::vector<GroupSummary> summarizeGroups(std::span<const CellSummary> cells);

// Per group three lines (statistic mean, sd, min) under the title line, numbers in `locale`:
// group;detector;material;chemical;cells;statistic;bt01;bt10;sspr;cumulative;D;u_bt01;u_bt10;
// u_sspr;level;requirement;rule;decision;note
QStringList groupTitles();
std::vector<QStringList> groupLines(const GroupSummary& g, const Requirement& requirement, const QLocale& locale);
enum GroupColumn {
    kGrpGroup, kGrpDetector, kGrpMaterial, kGrpChemical, kGrpCells, kGrpStatistic, kGrpBt01, kGrpBt10, kGrpSteady,
    kGrpCumulative, kGrpDiffusivity, kGrpUBt01, kGrpUBt10, kGrpUSteady, kGrpLevel, kGrpRequirement, kGrpRule,
    kGrpDecision, kGrpNote, kGrpColumns
};

// The summary file's lines: the cells' title line and one line per cell and detector
// (summaryFields), then, when the run has groups, the groups' title line and their lines.
QStringList summaryFileLines(const std::vector<CellSummary>& cells, const Requirement& requirement,
                             const QLocale& locale);

} // namespace korvat
