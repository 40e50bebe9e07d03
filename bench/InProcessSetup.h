#pragma once
// A program folder and the in-process instrument with both converters, on a manual clock, for
// benchmarks that run the core against the virtual instrument.

#include "model/InProcessInstrument.h"
#include "shell/IniFile.h"
#include "util/Clock.h"

#include <QFile>
#include <QTemporaryDir>
#include <vector>

namespace korvat::bench {

struct InProcessSetup {
    // Korvat.ini holds the two-detector configuration, the lines' names and `extra`; `options`
    // must fit the second converter.
    explicit InProcessSetup(std::vector<IniFile::Entry> extra = {},
                            const sim::InstrumentOptions& options = twoConverters())
        : instrument(options) {
        programDir = dir.path() + "/";
        for (const char* list : {"CH-Substanzen.txt", "S-Substanzen.txt"})
            QFile::copy(QStringLiteral(CMAKE_BIN_DIR "/") + list, programDir + list);
        instrument.follow(clock);
        extra.push_back({"DeviceTyp", "Typ", "FIDFPD"});
        extra.push_back({"Communication", "ComPortA", instrument.mainLine().deviceName()});
        extra.push_back({"Communication", "ComPortB", instrument.fpdLine().deviceName()});
        IniFile(programDir + "Korvat.ini").writeEntries(extra);
    }

    static sim::InstrumentOptions twoConverters() {
        sim::InstrumentOptions o;
        o.twoConverters = true;
        return o;
    }

    QTemporaryDir dir;
    QString programDir;
    ManualClock clock;
    sim::InProcessInstrument instrument;
};

} // namespace korvat::bench
