// The key/value grid of the substance lists: lines in and out, the first "=" as separator,
// refused duplicate names, and rows added with Insert and deleted with Ctrl+Delete.

#include "ui/ValueListEditor.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <gtest/gtest.h>

using namespace korvat;

namespace {

void pressKey(ValueListEditor& grid, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QCoreApplication::sendEvent(&grid, &press);
}

} // namespace

TEST(ValueListEditor, RowsFromLinesAndBack) {
    ValueListEditor grid;
    grid.setLines({"Aceton=2,05", "", "Formel=a=b", "OhneWert", "Leer="});
    ASSERT_EQ(grid.rowCount(), 4) << "an empty line is no row";
    EXPECT_EQ(grid.item(1, 0)->text(), QStringLiteral("Formel"));
    EXPECT_EQ(grid.item(1, 1)->text(), QStringLiteral("a=b")) << "the first = separates";
    EXPECT_EQ(grid.item(2, 0)->text(), QStringLiteral("OhneWert"));
    EXPECT_EQ(grid.item(2, 1)->text(), QString());
    EXPECT_EQ(grid.lines(), QStringList({"Aceton=2,05", "Formel=a=b", "OhneWert=", "Leer="}));

    grid.setLines({"THT=1,00"});
    EXPECT_EQ(grid.lines(), QStringList{"THT=1,00"}) << "loading replaces the content";
}

TEST(ValueListEditor, TitlesPerColumn) {
    ValueListEditor grid;
    grid.setTitles(QStringLiteral("CH - Chemical"), QStringLiteral("CH - Factor"));
    EXPECT_EQ(grid.title(0), QStringLiteral("CH - Chemical"));
    EXPECT_EQ(grid.title(1), QStringLiteral("CH - Factor"));
}

TEST(ValueListEditor, ADuplicateNameIsRefused) {
    ValueListEditor grid;
    grid.setLines({"Aceton=2,05", "Toluol=0,85"});
    grid.item(1, 0)->setText(QStringLiteral("ACETON"));
    EXPECT_EQ(grid.item(1, 0)->text(), QStringLiteral("Toluol")) << "names are unique, any case";
    grid.item(1, 0)->setText(QStringLiteral("Xylol"));
    EXPECT_EQ(grid.item(1, 0)->text(), QStringLiteral("Xylol"));
    grid.item(0, 0)->setText(QStringLiteral("Toluol"));
    EXPECT_EQ(grid.item(0, 0)->text(), QStringLiteral("Toluol")) << "the old name is free again";
    EXPECT_EQ(grid.lines(), QStringList({"Toluol=2,05", "Xylol=0,85"}));
}

TEST(ValueListEditor, InsertAddsARowAndCtrlDeleteRemovesOne) {
    ValueListEditor grid;
    grid.setLines({"A=1", "B=2"});
    grid.setCurrentCell(0, 1);
    pressKey(grid, Qt::Key_Insert);
    ASSERT_EQ(grid.rowCount(), 3);
    EXPECT_EQ(grid.currentRow(), 1) << "the new row follows the current one";
    EXPECT_EQ(grid.lines(), QStringList({"A=1", "B=2"})) << "a blank row is no line";

    grid.setCurrentCell(2, 0);
    pressKey(grid, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(grid.rowCount(), 2);
    EXPECT_EQ(grid.item(0, 0)->text(), QStringLiteral("A"));
}

TEST(ValueListEditor, SubstanceDragNamesItsGrid) {
    QMimeData substance;
    substance.setData(QLatin1String(ValueListEditor::kSubstanceMimeType), "ValueListEditor2");
    EXPECT_EQ(ValueListEditor::sourceGrid(&substance), QStringLiteral("ValueListEditor2"));
    QMimeData text;
    text.setText(QStringLiteral("ValueListEditor2"));
    EXPECT_EQ(ValueListEditor::sourceGrid(&text), QString());
    EXPECT_EQ(ValueListEditor::sourceGrid(nullptr), QString());
}
