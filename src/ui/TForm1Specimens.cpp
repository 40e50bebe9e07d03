// The specimens' page, where a run is set up in one place: what the operator enters about each
// cell's specimen before the run (material, thickness, lot, exposed area), each cell's chemical
// from the substance list, who runs the test, the requirement the run is to show and its decision
// rule, and the detectors' calibrations (curve, points, control chart).
#include "ui/CalibrationPanel.h"
#include "ui/TForm1.h"

#include "shell/StringTable.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <algorithm>
#include <span>

namespace korvat {

namespace {
constexpr int kEditHeight = 22;
// Captions of the string table.
constexpr int kMaterialCaption = 176, kThicknessCaption = 193, kLotCaption = 178, kAreaCaption = 194,
              kRequirementCaption = 190, kRuleCaption = 191, kChemicalCaption = 114, kOperatorCaption = 205;
constexpr int kRequirementItems[] = {195, 196, 197, 198};
constexpr int kRuleItems[] = {199, 200};
} // namespace

void TForm1::buildSpecimensPage(QWidget* page) {
    constexpr int kTop = 4, kRow = 24;
    label(page, QStringLiteral("lblSpecimenMaterial"), kMaterialCaption, QRect(26, kTop, 150, 15));
    label(page, QStringLiteral("lblSpecimenThickness"), kThicknessCaption, QRect(180, kTop, 94, 15));
    label(page, QStringLiteral("lblSpecimenLot"), kLotCaption, QRect(278, kTop, 100, 15));
    label(page, QStringLiteral("lblSpecimenArea"), kAreaCaption, QRect(382, kTop, 94, 15));
    for (int cell = 1; cell <= 3; ++cell) {
        const int y = kTop + 16 + (cell - 1) * kRow;
        auto* number = new QLabel(QString::number(cell), page);
        number->setGeometry(6, y, 16, kEditHeight);
        edit(page, QStringLiteral("editMaterial%1").arg(cell), QRect(26, y, 150, kEditHeight), true);
        edit(page, QStringLiteral("editThickness%1").arg(cell), QRect(180, y, 94, kEditHeight), true);
        edit(page, QStringLiteral("editLot%1").arg(cell), QRect(278, y, 100, kEditHeight), true);
        edit(page, QStringLiteral("editArea%1").arg(cell), QRect(382, y, 94, kEditHeight), true);
    }
    // Each cell's chemical: the name beside its FID factor, picked from the substance list. The
    // factors page shows the same choice; both follow the one the program keeps.
    const int chemicalY = kTop + 16 + 3 * kRow + 4;
    label(page, QStringLiteral("lblChemical"), kChemicalCaption, QRect(26, chemicalY, 150, 15));
    for (int cell = 1; cell <= 3; ++cell) {
        const int x = 6 + (cell - 1) * 160;
        auto* number = new QLabel(QString::number(cell), page);
        number->setGeometry(x, chemicalY + 16, 16, kEditHeight);
        auto* combo = new QComboBox(page);
        combo->setObjectName(QStringLiteral("cbChemical%1").arg(cell));
        combo->setGeometry(x + 20, chemicalY + 16, 134, kEditHeight + 2);
        m_chemicals[cell - 1] = combo;
        connect(combo, &QComboBox::activated, this,
                [this, cell, combo](int index) { emit chemicalPicked(cell, combo->itemText(index)); });
    }
    const int operatorY = chemicalY + 44;
    label(page, QStringLiteral("lblOperator"), kOperatorCaption, QRect(6, operatorY, 94, kEditHeight));
    edit(page, QStringLiteral("editOperator"), QRect(104, operatorY, 218, kEditHeight), true);
    const int y = operatorY + 26;
    label(page, QStringLiteral("lblRequirement"), kRequirementCaption, QRect(6, y, 100, 15));
    m_requirement = new QComboBox(page);
    m_requirement->setObjectName(QStringLiteral("cbRequirement"));
    m_requirement->setGeometry(6, y + 16, 244, kEditHeight + 2);
    edit(page, QStringLiteral("editRequirement"), QRect(254, y + 16, 60, kEditHeight), true);
    label(page, QStringLiteral("lblDecisionRule"), kRuleCaption, QRect(6, y + 42, 120, 15));
    m_decisionRule = new QComboBox(page);
    m_decisionRule->setObjectName(QStringLiteral("cbDecisionRule"));
    m_decisionRule->setGeometry(128, y + 40, 204, kEditHeight + 2);
    translateSpecimensPage(0);
    // Only the operator's picks are told; setRequirement fills them quietly.
    connect(m_requirement, &QComboBox::activated, this, [this](int index) { emit requirementPicked(index); });
    connect(m_decisionRule, &QComboBox::activated, this, [this](int index) { emit decisionRulePicked(index); });

    m_calibration = new CalibrationPanel(page);
    m_calibration->setGeometry(484, 2, 520, 166);
}

void TForm1::translateSpecimensPage(int offset) {
    for (const auto& [combo, items] : {std::pair{m_requirement, std::span<const int>(kRequirementItems)},
                                       std::pair{m_decisionRule, std::span<const int>(kRuleItems)}}) {
        const int current = combo->currentIndex();
        combo->clear();
        for (int n : items)
            combo->addItem(LoadLangText(offset, n));
        combo->setCurrentIndex(std::max(0, current));
    }
    if (m_calibration)
        m_calibration->translate(offset);
}

void TForm1::setRequirement(int choice, int rule) {
    m_requirement->setCurrentIndex(choice);
    m_decisionRule->setCurrentIndex(rule);
}

void TForm1::setChemicalChoices(const QStringList& names) {
    for (QComboBox* combo : m_chemicals) {
        const QString current = combo->currentText();
        combo->clear();
        combo->addItems(names);
        setChemical(combo, current);
    }
}

void TForm1::setChemicalShown(int cell, const QString& name) {
    if (cell >= 1 && cell <= 3)
        setChemical(m_chemicals[cell - 1], name);
}

QString TForm1::chemicalShown(int cell) const {
    return cell >= 1 && cell <= 3 ? m_chemicals[cell - 1]->currentText() : QString();
}

void TForm1::setChemical(QComboBox* combo, const QString& name) {
    // A name the list does not hold (the settings' own, or a list edited since) is still shown as
    // the cell's chemical: an extra item, so the combo never pretends another one was chosen.
    int index = combo->findText(name);
    if (index < 0 && !name.isEmpty()) {
        combo->addItem(name);
        index = combo->count() - 1;
    }
    combo->setCurrentIndex(index);
}

int TForm1::requirementChoice() const { return m_requirement->currentIndex(); }
int TForm1::decisionRuleChoice() const { return m_decisionRule->currentIndex(); }

} // namespace korvat
