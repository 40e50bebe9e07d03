// The handlers that take a setting from what the operator typed, keep it and write it to
// "Korvat.ini" at once.

#include "app/KorvatApp.h"

#include <QRegularExpression>
#include "util/Dialogs.h"
#include "util/NumberText.h"

namespace korvat {

bool KorvatApp::write(const IniKey& key, const QString& value) {
    if (ini_.writeString(key, value))
        return true;
    dialogs_.error(ini_.lastError());
    return false;
}

bool KorvatApp::writeNumber(const IniKey& key, double value) {
    // The file keeps its own decimal separator, whatever the locale of this start.
    if (ini_.writeFloat(key, value))
        return true;
    dialogs_.error(ini_.lastError());
    return false;
}

std::optional<int> KorvatApp::readIntInput(Input input) {
    const QString text = inputs_.text(input);
    const auto v = parseInteger(text);
    if (!v)
        dialogs_.error(QStringLiteral("'%1' is not a valid integer value").arg(text));
    return v;
}

std::optional<double> KorvatApp::readFloatInput(Input input) {
    const QString text = inputs_.text(input);
    // A comma or a point, whatever the locale: no edit groups thousands.
    const auto v = parseDecimal(text);
    if (!v)
        dialogs_.error(QStringLiteral("'%1' is not a valid floating point value").arg(text));
    return v;
}

void KorvatApp::UpdateStartzelle() {
    const auto v = readIntInput(Input::Start);
    if (!v)
        return;
    settings_.Startzelle = clampStartzelle(*v);
    inputs_.set(Input::Start, QString::number(settings_.Startzelle));
    write(key::StartingCell, QString::number(settings_.Startzelle));
}

void KorvatApp::UpdateAnzahlZellen() {
    const auto v = readIntInput(Input::Count);
    if (!v)
        return;
    settings_.AnzahlZellen = clampAnzahlZellen(settings_.Startzelle, *v);
    inputs_.set(Input::Count, QString::number(settings_.AnzahlZellen));
    write(key::NumberOfCells, QString::number(settings_.AnzahlZellen));
}

void KorvatApp::UpdateMesszeit() {
    const auto v = readIntInput(Input::Messzeit);
    if (!v)
        return;
    settings_.Messzeit = *v;
    write(key::MeasurementTimePerCell, QString::number(*v));
    view_.timeAxisShown(*v);
}

void KorvatApp::UpdateAnzahlMessreihen() {
    const auto v = readIntInput(Input::Cycles);
    if (!v)
        return;
    settings_.AnzahlMessreihen = *v;
    write(key::NumberOfCycles, QString::number(*v));
}

void KorvatApp::UpdateDurchbruchschwelle() {
    if (const auto v = readFloatInput(Input::LimitFID)) {
        settings_.LimitFID = *v;
        writeNumber(key::LimitFID, *v);
    }
}

void KorvatApp::editLimitFPDExit() {
    if (const auto v = readFloatInput(Input::LimitFPD)) {
        settings_.LimitFPD = *v;
        writeNumber(key::LimitFPD, *v);
    }
}

void KorvatApp::UpdateMengeIsobuthan() {
    if (const auto v = readFloatInput(Input::Isobutan)) {
        settings_.FIDCALMenge = *v;
        writeNumber(key::FIDppm, *v);
    }
}

void KorvatApp::UpdateMengeSulfur() {
    if (const auto v = readFloatInput(Input::Sulfur)) {
        settings_.FPDCalMenge = *v;
        writeNumber(key::FPDppm, *v);
    }
}

void KorvatApp::editContactExit(int cell) {
    if (cell < 1 || cell > 3)
        return;
    const Input edits[] = {Input::Contact1, Input::Contact2, Input::Contact3};
    double* fields[] = {&settings_.ContactBeforeStart1, &settings_.ContactBeforeStart2, &settings_.ContactBeforeStart3};
    const IniKey keys[] = {key::ContactBeforeStart1, key::ContactBeforeStart2, key::ContactBeforeStart3};
    if (const auto v = readFloatInput(edits[cell - 1])) {
        *fields[cell - 1] = *v;
        write(keys[cell - 1], formatGeneral(*v));
    }
}

void KorvatApp::restoreMolarMass(Input edit) {
    const Settings& s = settings_;
    const struct {
        Input edit;
        double grams;
    } masses[] = {{Input::FIDFactor1, s.FIDMolarMass1}, {Input::FIDFactor2, s.FIDMolarMass2},
                  {Input::FIDFactor3, s.FIDMolarMass3}, {Input::FPDFactor1, s.FPDMolarMass1},
                  {Input::FPDFactor2, s.FPDMolarMass2}, {Input::FPDFactor3, s.FPDMolarMass3}};
    for (const auto& m : masses)
        if (m.edit == edit)
            inputs_.setMolarMass(edit, m.grams > 0 ? std::optional<double>(m.grams) : std::nullopt);
}

void KorvatApp::memoDescriptionExit() {
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\r|\n"));
    const QString description = inputs_.text(Input::Description);
    const QString unset = QStringLiteral("\x01");
    // The designed text that was never changed (or no memo at all) is not written: the file stays
    // as it was made.
    const bool untouched =
        description.isEmpty() || description == QStringLiteral("Zeile 1\r\nZeile 2\r\nZeile 3\r\nZeile 4\r\nZeile 5\r\n");
    if (untouched && ini_.readString(QStringLiteral("Info"), QStringLiteral("Description1"), unset) == unset)
        return;
    const QStringList lines = description.split(lineBreak);
    for (int line = 1; line <= kDescriptionLines; ++line) {
        const QString text = line <= lines.size() ? lines[line - 1] : QString();
        const QString key = QStringLiteral("Description%1").arg(line);
        if (ini_.readString(QStringLiteral("Info"), key, QStringLiteral("\x01")) != text)
            ini_.writeString(QStringLiteral("Info"), key, text);
    }
}

void KorvatApp::editInfoExit(int line) {
    if (line < 1 || line > 3)
        return;
    const Input info[] = {Input::Info1, Input::Info2, Input::Info3};
    QString* field[] = {&settings_.SampleInfo1, &settings_.SampleInfo2, &settings_.SampleInfo3};
    const QString text = inputs_.text(info[line - 1]);
    *field[line - 1] = text;
    // The key is written as "Sampleinfo<n>": the file's creation spells it "SampleInfo<n>", and
    // the two spellings are the same key.
    const QByteArray name = QStringLiteral("Sampleinfo%1").arg(line).toLatin1();
    write(IniKey{key::SampleInfo1.section, name.constData()}, text);
}

void KorvatApp::editScaleExit() {
    const auto v = readIntInput(Input::Scale);
    if (!v)
        return;
    settings_.Scale = *v;
    write(key::Scale, QString::number(*v));
    view_.valueAxisShown(settings_.ScaleMin, settings_.Scale);
}

void KorvatApp::editScaleMinExit() {
    const auto v = readIntInput(Input::ScaleMin);
    if (!v)
        return;
    settings_.ScaleMin = *v;
    write(key::ScaleMin, QString::number(*v));
    view_.valueAxisShown(settings_.ScaleMin, settings_.Scale);
}

void KorvatApp::rgStandardClick(int item) {
    if (item != 0 && item != 1)
        return;
    const bool astm = item == 0;
    inputs_.set(Input::Messkammer, astm ? QStringLiteral("27") : QStringLiteral("23"));
    panel_.btnMesskammerSetClick();
    write(key::Standard, astm ? QStringLiteral("ASTM") : QStringLiteral("EN374"));
    settings_.LimitFID = astm ? 0.1 : 1.0;
    writeNumber(key::LimitFID, settings_.LimitFID);
    inputs_.set(Input::LimitFID, formatFixed(settings_.LimitFID, 5, 1));
}

void KorvatApp::chkboxKeepMeasuringClick() {
    settings_.KeepMeasuring = inputs_.checked(Check::KeepMeasuring);
    write(key::KeepMeasuring, settings_.KeepMeasuring ? QStringLiteral("1") : QStringLiteral("0"));
}

void KorvatApp::PageControlExit() {
    // In this order; the first edit that does not convert ends the handler, so the keys before
    // it are written and the ones after it are not.
    const struct {
        Input edit;
        double* field;
        IniKey key;
    } flows[] = {{Input::CalFlow, &settings_.CalFlow, key::CalFlow},
                 {Input::SampleFlow1, &settings_.SampleFlow1, key::SampleFlow1},
                 {Input::SampleFlow2, &settings_.SampleFlow2, key::SampleFlow2},
                 {Input::SampleFlow3, &settings_.SampleFlow3, key::SampleFlow3}};
    for (const auto& f : flows) {
        const auto v = readFloatInput(f.edit);
        if (!v)
            return;
        *f.field = *v;
        writeNumber(f.key, *v);
    }

    auto factor = [this](Input edit, double& field, const IniKey& key, QString& name, const IniKey& nameKey) {
        const auto v = readFloatInput(edit);
        if (!v)
            return false;
        if (!(*v > 0)) {
            // Every result divides by a factor: the field keeps the value it had.
            dialogs_.error(QStringLiteral("'%1' is not a valid factor: a factor must be a number greater "
                                          "than zero. The field keeps %2 [%3].")
                               .arg(inputs_.text(edit), formatFixed(field, 6, 2), name));
            inputs_.set(edit, formatFixed(field, 6, 2));
            inputs_.setLabel(edit, name);
            restoreMolarMass(edit);
            return true;
        }
        field = *v;
        writeNumber(key, *v);
        name = inputs_.label(edit);
        write(nameKey, name);
        return true;
    };

    // The substance's molar mass goes with its name: the drop that set the name set it too.
    auto molarMass = [this](Input edit, double& field, const IniKey& key) {
        const double grams = inputs_.molarMass(edit).value_or(0.0);
        if (grams == field)
            return;
        field = grams;
        write(key, formatGeneral(grams));
    };

    Settings& s = settings_;
    if (!factor(Input::FIDCalFactor, s.FIDCalFactor, key::FIDCalFactor, s.FIDCalFactorName, key::FIDCalFactorName))
        return;
    view_.infoShown(InfoLabel::FIDCalFactor, QLatin1Char('[') + inputs_.text(Input::FIDCalFactor) + QLatin1Char(']'));
    view_.infoShown(InfoLabel::FIDCalInfo, s.FIDCalFactorName);

    const struct {
        Input edit;
        InfoLabel info;
        double* field;
        QString* name;
        IniKey key;
        IniKey nameKey;
    } fid[] = {{Input::FIDFactor1, InfoLabel::InfoSample1, &s.FIDFactor1, &s.FIDSampleFactorName1,
                key::FIDSampleFactor1, key::FIDSampleFactorName1},
               {Input::FIDFactor2, InfoLabel::InfoSample2, &s.FIDFactor2, &s.FIDSampleFactorName2,
                key::FIDSampleFactor2, key::FIDSampleFactorName2},
               {Input::FIDFactor3, InfoLabel::InfoSample3, &s.FIDFactor3, &s.FIDSampleFactorName3,
                key::FIDSampleFactor3, key::FIDSampleFactorName3}};
    const struct {
        double* field;
        IniKey key;
    } fidMasses[] = {{&s.FIDMolarMass1, key::FIDSampleMolarMass1},
                     {&s.FIDMolarMass2, key::FIDSampleMolarMass2},
                     {&s.FIDMolarMass3, key::FIDSampleMolarMass3}};
    for (std::size_t k = 0; k < 3; ++k) {
        const auto& f = fid[k];
        if (!factor(f.edit, *f.field, f.key, *f.name, f.nameKey))
            return;
        molarMass(f.edit, *fidMasses[k].field, fidMasses[k].key);
        view_.infoShown(f.info, *f.name + QLatin1Char('[') + inputs_.text(f.edit) + QLatin1Char(']'));
    }

    if (!factor(Input::FPDCalFactor, s.FPDCalFactor, key::FPDCalFactor, s.FPDCalFactorName, key::FPDCalFactorName))
        return;
    view_.infoShown(InfoLabel::FPDCalFactor, QLatin1Char('[') + inputs_.text(Input::FPDCalFactor) + QLatin1Char(']'));
    view_.infoShown(InfoLabel::FPDCalInfo, s.FPDCalFactorName);

    const struct {
        Input edit;
        double* field;
        QString* name;
        IniKey key;
        IniKey nameKey;
    } fpd[] = {{Input::FPDFactor1, &s.FPDFactor1, &s.FPDSampleFactorName1, key::FPDSampleFactor1, key::FPDSampleFactorName1},
               {Input::FPDFactor2, &s.FPDFactor2, &s.FPDSampleFactorName2, key::FPDSampleFactor2, key::FPDSampleFactorName2},
               {Input::FPDFactor3, &s.FPDFactor3, &s.FPDSampleFactorName3, key::FPDSampleFactor3, key::FPDSampleFactorName3}};
    const struct {
        double* field;
        IniKey key;
    } fpdMasses[] = {{&s.FPDMolarMass1, key::FPDSampleMolarMass1},
                     {&s.FPDMolarMass2, key::FPDSampleMolarMass2},
                     {&s.FPDMolarMass3, key::FPDSampleMolarMass3}};
    for (std::size_t k = 0; k < 3; ++k) {
        const auto& f = fpd[k];
        if (!factor(f.edit, *f.field, f.key, *f.name, f.nameKey))
            return;
        molarMass(f.edit, *fpdMasses[k].field, fpdMasses[k].key);
    }
}

} // namespace korvat
