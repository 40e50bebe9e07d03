#pragma once
// Choosing the two serial ports: what the chooser is given and what it gives back. Start-up
// offers it when a port is missing, will not open or does not identify the converter; the
// Configuration page offers the same. The window shows it as a dialog; tests answer it.

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace korvat {

struct PortPair {
    QString portA; // the main converter (FID and the instrument's control)
    QString portB; // the FPD converter, used in the two-detector configuration only
};

// What a test of a pair gave: one line per port tried, and whether the pair identified.
struct PortTestResult {
    bool identified = false;
    QStringList lines;
};

struct PortChooserRequest {
    int language = 0;      // offset of the string table: 0 German, 1000 English
    QString problem;       // why the chooser is open; empty when the operator opened it
    QString settingsFile;  // where the ports are stored
    PortPair current;      // the ports set now
    bool usesPortB = false; // the two-detector configuration
    bool atStartup = false; // storing also connects; quitting ends the program
    // The identification exchange on a pair, the code start-up itself uses.
    std::function<PortTestResult(const PortPair&)> test;
    // Writes the pair into the settings file; empty on success, else what went wrong.
    std::function<QString(const PortPair&)> store;
};

class PortChooser {
public:
    virtual ~PortChooser() = default;
    // Shows the chooser until the operator stores a pair (returned; already stored) or quits
    // (nullopt).
    virtual std::optional<PortPair> choosePorts(const PortChooserRequest& request) = 0;
};

} // namespace korvat
