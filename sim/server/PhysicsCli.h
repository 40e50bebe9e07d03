#pragma once
// korvat-sim's options for the permeation model and the time factor.

#include "model/VirtualInstrument.h"

#include <QCommandLineParser>
#include <QString>

namespace korvat::sim {

class PhysicsCli {
public:
    // Adds the options to the parser; the object must outlive the parser's use.
    void add(QCommandLineParser& parser);
    // Applies what was given; returns an error text, empty when all is well. With the
    // permeation model on it prints each cell's breakthrough times on stderr; --material-list
    // prints the presets on stdout and ends the program.
    QString apply(const QCommandLineParser& parser, InstrumentOptions& options) const;
};

} // namespace korvat::sim
