// The handlers that take a setting from its control, keep it and write it to "Korvat.ini" at once.

#include "shell/FormView.h"
#include "app/KorvatApp.h"
#include "util/Dialogs.h"
#include "util/NumberText.h"

namespace korvat {

namespace {
const QString kMeasurement = QStringLiteral("Measurement");
} // namespace

bool KorvatApp::write(const char* section, const char* key, const QString& value) {
    if (ini_.writeString(QString::fromUtf8(section), QString::fromUtf8(key), value))
        return true;
    dialogs_.error(ini_.lastError());
    return false;
}

std::optional<int> KorvatApp::readIntEdit(const QString& control) {
    const QString text = view_.text(control);
    const auto v = parseInteger(text);
    if (!v)
        dialogs_.error(QStringLiteral("'%1' is not a valid integer value").arg(text));
    return v;
}

std::optional<double> KorvatApp::readFloatEdit(const QString& control) {
    const QString text = view_.text(control);
    const auto v = parseFloat(text);
    if (!v)
        dialogs_.error(QStringLiteral("'%1' is not a valid floating point value").arg(text));
    return v;
}

void KorvatApp::UpdateStartzelle() {
    const auto v = readIntEdit(QStringLiteral("editStart"));
    if (!v)
        return;
    settings_.Startzelle = clampStartzelle(*v);
    view_.setText(QStringLiteral("editStart"), QString::number(settings_.Startzelle));
    write("Measurement", "StartingCell", QString::number(settings_.Startzelle));
}

void KorvatApp::UpdateAnzahlZellen() {
    const auto v = readIntEdit(QStringLiteral("editAnzahl"));
    if (!v)
        return;
    settings_.AnzahlZellen = clampAnzahlZellen(settings_.Startzelle, *v);
    view_.setText(QStringLiteral("editAnzahl"), QString::number(settings_.AnzahlZellen));
    write("Measurement", "NumberOfCells", QString::number(settings_.AnzahlZellen));
}

void KorvatApp::UpdateMesszeit() {
    const auto v = readIntEdit(QStringLiteral("editMesszeit"));
    if (!v)
        return;
    settings_.Messzeit = *v;
    write("Measurement", "MeasurementTimePerCell/s", QString::number(*v));
    view_.setBottomAxisMax(*v);
}

void KorvatApp::UpdateAnzahlMessreihen() {
    const auto v = readIntEdit(QStringLiteral("editZyklen"));
    if (!v)
        return;
    settings_.AnzahlMessreihen = *v;
    write("Measurement", "NumberOfCycles", QString::number(*v));
}

void KorvatApp::UpdateDurchbruchschwelle() {
    if (const auto v = readFloatEdit(QStringLiteral("editLimitFID"))) {
        settings_.LimitFID = *v;
        write("Measurement", "LimitFID", formatGeneral(*v));
    }
}

void KorvatApp::editLimitFPDExit() {
    if (const auto v = readFloatEdit(QStringLiteral("editLimitFPD"))) {
        settings_.LimitFPD = *v;
        write("Measurement", "LimitFPD", formatGeneral(*v));
    }
}

void KorvatApp::UpdateMengeIsobuthan() {
    if (const auto v = readFloatEdit(QStringLiteral("editIsobutan"))) {
        settings_.FIDCALMenge = *v;
        write("Calibration", "FID/ppm", formatGeneral(*v));
    }
}

void KorvatApp::UpdateMengeSulfur() {
    if (const auto v = readFloatEdit(QStringLiteral("editSulfur"))) {
        settings_.FPDCalMenge = *v;
        write("Calibration", "FPD/ppm", formatGeneral(*v));
    }
}

void KorvatApp::editInfoExit(int line) {
    const QString text = view_.text(QStringLiteral("editInfo%1").arg(line));
    QString* field[] = {&settings_.SampleInfo1, &settings_.SampleInfo2, &settings_.SampleInfo3};
    if (line < 1 || line > 3)
        return;
    *field[line - 1] = text;
    write("Info", QStringLiteral("Sampleinfo%1").arg(line).toLatin1().constData(), text);
}

void KorvatApp::editScaleExit() {
    const auto v = readIntEdit(QStringLiteral("editScale"));
    if (!v)
        return;
    settings_.Scale = *v;
    write("Measurement", "Scale", QString::number(*v));
    view_.setLeftAxisRange(settings_.ScaleMin, settings_.Scale);
}

void KorvatApp::editScaleMinExit() {
    const auto v = readIntEdit(QStringLiteral("editScaleMin"));
    if (!v)
        return;
    settings_.ScaleMin = *v;
    write("Measurement", "ScaleMin", QString::number(*v));
    view_.setLeftAxisRange(settings_.ScaleMin, settings_.Scale);
}

void KorvatApp::rgStandardClick(int item) {
    if (item != 0 && item != 1)
        return;
    const bool astm = item == 0;
    view_.setText(QStringLiteral("editMesskammer"), astm ? QStringLiteral("27") : QStringLiteral("23"));
    panel_.btnMesskammerSetClick();
    write("Preferences", "Standard", astm ? QStringLiteral("ASTM") : QStringLiteral("EN374"));
    settings_.LimitFID = astm ? 0.1 : 1.0;
    write("Measurement", "LimitFID", formatGeneral(settings_.LimitFID));
    view_.setText(QStringLiteral("editLimitFID"), formatFixed(settings_.LimitFID, 5, 1));
}

void KorvatApp::PageControlExit() {
    // In this order; the first edit that does not convert ends the handler, so the keys before
    // it are written and the ones after it are not.
    const struct {
        const char* edit;
        double* field;
        const char* key;
    } flows[] = {{"editCalFlow", &settings_.CalFlow, "CalFlow"},
                 {"editSampleFlow1", &settings_.SampleFlow1, "SampleFlow1"},
                 {"editSampleFlow2", &settings_.SampleFlow2, "SampleFlow2"},
                 {"editSampleFlow3", &settings_.SampleFlow3, "SampleFlow3"}};
    for (const auto& f : flows) {
        const auto v = readFloatEdit(QString::fromLatin1(f.edit));
        if (!v)
            return;
        *f.field = *v;
        write(f.field == &settings_.CalFlow ? "Calibration" : "Measurement", f.key, formatGeneral(*v));
    }

    auto factor = [this](const char* edit, double& field, const char* key, QString& name,
                         const char* nameKey) {
        const QString control = QString::fromLatin1(edit);
        const auto v = readFloatEdit(control);
        if (!v)
            return false;
        if (!(*v > 0)) {
            // Every result divides by a factor: the field keeps the value it had.
            dialogs_.error(QStringLiteral("'%1' is not a valid factor: a factor must be a number greater "
                                          "than zero. The field keeps %2 [%3].")
                               .arg(view_.text(control), formatFixed(field, 6, 2), name));
            view_.setText(control, formatFixed(field, 6, 2));
            view_.setEditLabel(control, name);
            return true;
        }
        field = *v;
        write("Measurement", key, formatGeneral(*v));
        name = view_.editLabel(control);
        write("Measurement", nameKey, name);
        return true;
    };

    Settings& s = settings_;
    if (!factor("lbleditFIDCalFact", s.FIDCalFactor, "FIDCalFactor", s.FIDCalFactorName, "FIDCalFactorName"))
        return;
    const QString fidCalText = view_.text(QStringLiteral("lbleditFIDCalFact"));
    view_.setText(QStringLiteral("lblFIDCalFactor"), QLatin1Char('[') + fidCalText + QLatin1Char(']'));
    view_.setText(QStringLiteral("lblFIDCalInfo"), s.FIDCalFactorName);

    const struct {
        double* field;
        QString* name;
        const char* key;
        const char* nameKey;
    } fid[] = {{&s.FIDFactor1, &s.FIDSampleFactorName1, "FIDSampleFactor1", "FIDSampleFactorName1"},
               {&s.FIDFactor2, &s.FIDSampleFactorName2, "FIDSampleFactor2", "FIDSampleFactorName2"},
               {&s.FIDFactor3, &s.FIDSampleFactorName3, "FIDSampleFactor3", "FIDSampleFactorName3"}};
    for (int k = 0; k < 3; ++k) {
        const QString edit = QStringLiteral("lblEditFact%1").arg(k + 1);
        if (!factor(edit.toLatin1().constData(), *fid[k].field, fid[k].key, *fid[k].name, fid[k].nameKey))
            return;
        view_.setText(QStringLiteral("lblInfoSample%1").arg(k + 1),
                      *fid[k].name + QLatin1Char('[') + view_.text(edit) + QLatin1Char(']'));
    }

    if (!factor("lbleditFPDCalFact", s.FPDCalFactor, "FPDCalFactor", s.FPDCalFactorName, "FPDCalFactorName"))
        return;
    const QString fpdCalText = view_.text(QStringLiteral("lbleditFPDCalFact"));
    view_.setText(QStringLiteral("lblFPDCalFactor"), QLatin1Char('[') + fpdCalText + QLatin1Char(']'));
    view_.setText(QStringLiteral("lblFPDCALInfo"), s.FPDCalFactorName);

    const struct {
        const char* edit;
        double* field;
        QString* name;
        const char* key;
        const char* nameKey;
    } fpd[] = {{"lbleditFPDFact1", &s.FPDFactor1, &s.FPDSampleFactorName1, "FPDSampleFactor1", "FPDSampleFactorName1"},
               {"lblEditFPDFact2", &s.FPDFactor2, &s.FPDSampleFactorName2, "FPDSampleFactor2", "FPDSampleFactorName2"},
               {"lblEditFPDFact3", &s.FPDFactor3, &s.FPDSampleFactorName3, "FPDSampleFactor3", "FPDSampleFactorName3"}};
    for (const auto& f : fpd) {
        if (!factor(f.edit, *f.field, f.key, *f.name, f.nameKey))
            return;
    }
}

} // namespace korvat
