#pragma once
// korvat-sim's options for what the protocol leaves to the instrument: the identification lines,
// line ends, answers that take their time or arrive in pieces, echoes and acknowledgements, the
// data lines' form and pace, the idle status. Each has the virtual instrument's own habit as its
// default.

#include "model/VirtualInstrument.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>
#include <QString>

namespace korvat::sim {

class HabitCli {
public:
    HabitCli();
    // Adds the options to the parser; the object must outlive the parser's use.
    void add(QCommandLineParser& parser);
    // Applies what was given; returns an error text, empty when all is well. Reads
    // options.twoConverters, so set that first; --main-id and --fpd-id (older spellings of a part
    // of --ident-a and --ident-b) come in as `mainId`/`fpdId` options of the caller.
    QString apply(const QCommandLineParser& parser, const QCommandLineOption& mainId,
                  const QCommandLineOption& fpdId, InstrumentOptions& options) const;
    // A few lines for the help's description.
    static QString summary();

private:
    QCommandLineOption identA_;
    QCommandLineOption identB_;
    QCommandLineOption lineEnd_;
    QCommandLineOption replyDelay_;
    QCommandLineOption chunk_;
    QCommandLineOption chunkGap_;
    QCommandLineOption echo_;
    QCommandLineOption ack_;
    QCommandLineOption ackText_;
    QCommandLineOption ackAll_;
    QCommandLineOption replyTail_;
    QCommandLineOption idleStatus_;
    QCommandLineOption dataChannel_;
    QCommandLineOption plusSign_;
    QCommandLineOption lowercaseHex_;
    QCommandLineOption dataTail_;
    QCommandLineOption burstMarkers_;
    QCommandLineOption afterStop_;
    QCommandLineOption dataBatch_;
    QCommandLineOption idleClose_;
    QCommandLineOption samplePeriod_;
};

} // namespace korvat::sim
