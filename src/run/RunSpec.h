#pragma once
// The parameters a run's figures depend on, taken from the settings once, when the run starts:
// per sample cell the substance, its factors and molar masses and the contact of the chemical,
// the run's measuring time, planned duration, sample area, calibrations and peak search. The run
// keeps them (RunModel::parameters) and its header block records them, so whatever is edited
// during the run, the live figures, the summary file, korvat-eval and the report agree.

#include "evaluation/RunParameters.h"
#include "shell/Config.h"

namespace korvat {

class CalibrationStore;
class Inputs;

RunParameters runParametersOf(const Settings& settings);

// The same, with the substance names as the factor edits' labels show them (the names every row
// of the cell carries), the contacts and specimens as typed, as Start takes them, and the
// calibrations in force from the history.
RunParameters startParameters(const Settings& settings, const Inputs& inputs, const CalibrationStore& calibrations);

// A specimen's thickness or exposed area as typed: empty is none; otherwise a number above 0.
// nullopt inside the optional: not a number above 0.
std::optional<std::optional<double>> specimenNumber(const QString& text);

} // namespace korvat
