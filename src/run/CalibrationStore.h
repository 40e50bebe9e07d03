#pragma once
// The calibration history of the program's settings folder, held in memory: every reference-gas
// measurement taken over as a calibration, written through to Korvat-calibration.csv beside the
// settings file at once (the whole file under a temporary name, then renamed). A take-over joins
// the detector's current calibration as a further level, or starts a new calibration when its
// level is already there. The operator may leave points of the current calibration out of the
// curve.
//
// What is in force: the current calibration's curve of two or more chosen levels when its newest
// chosen point is the calibration area of the settings (FIDCalArea, FPDCalArea: a settings file
// edited by hand, or one from elsewhere, wins over a history that does not fit it); otherwise the
// one-level calibration of the settings, as always.

#include "evaluation/Calibration.h"
#include "evaluation/RunParameters.h"

#include <QString>
#include <QStringList>
#include <vector>

namespace korvat {

// What the window shows of a detector's calibration.
struct CalibrationDisplay {
    Detector detector = Detector::FID;
    std::vector<CalibrationPoint> current; // the current calibration's points, used or not
    CalibrationInForce inForce;
    ControlChart chart;
};

class CalibrationStore {
public:
    // Reads the history beside the settings file `settingsFile`; what does not read is in
    // problems() (and left out), a missing file is an empty history.
    void load(const QString& settingsFile);
    const QString& path() const { return path_; }
    const std::vector<CalibrationPoint>& points() const { return points_; }
    const QStringList& problems() const { return problems_; }

    // A take-over of `area` at `ppm`: the point joins the detector's current calibration, or
    // starts a new one. False with `error` when the history could not be written (the point is
    // kept, and the file written whole with the next change).
    bool add(Detector detector, double ppm, double area, const QDateTime& moment, const QString& serial,
             QString* error);
    // Chooses (or leaves out) point `index` of the detector's current calibration. Leaving out the
    // last chosen point is refused (false, nothing changes).
    bool setUsed(Detector detector, int index, bool used, QString* error);
    // The newest chosen point of the detector's current calibration.
    std::optional<CalibrationPoint> newestUsed(Detector detector) const;

    // In force with the settings' calibration area and ppm (see above).
    CalibrationInForce inForce(Detector detector, int calArea, double calPpm) const;
    CalibrationDisplay display(Detector detector, int calArea, double calPpm) const;

private:
    bool save(QString* error);

    QString path_;
    std::vector<CalibrationPoint> points_;
    QStringList problems_;
};

} // namespace korvat
