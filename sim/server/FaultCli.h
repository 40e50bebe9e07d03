#pragma once
// korvat-sim's options for the fault modes: garbled and dropped lines, silence from a given time
// on, a burst that does not end, and a device that vanishes in mid-run and comes back.

#include "model/VirtualInstrument.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>

namespace korvat::sim {

class FaultCli {
public:
    FaultCli();
    // Adds the options to the parser; the object must outlive the parser's use.
    void add(QCommandLineParser& parser);
    // Applies what was given, with times counted from `start` (the model time when the server
    // starts serving); returns an error text, empty when all is well. Reads
    // options.twoConverters, so set that first.
    QString apply(const QCommandLineParser& parser, Millis start, InstrumentOptions& options) const;

private:
    QCommandLineOption garble_;
    QCommandLineOption dropReplies_;
    QCommandLineOption dropData_;
    QCommandLineOption silentAfter_;
    QCommandLineOption endlessBurst_;
    QCommandLineOption endlessBurstAfter_;
    QCommandLineOption vanishAt_;
    QCommandLineOption backAfter_;
    QCommandLineOption vanishPort_;
};

} // namespace korvat::sim
