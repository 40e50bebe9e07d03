// The substance factors: which factor edit takes a row of which list, what a drop changes and what
// only leaving the page control takes over, refusal of factors that would break the result
// computation, writing the lists back when the factor page is left, and the shipped default lists.

#include "app/SubstanceFactors.h"
#include "evaluation/SubstanceList.h"
#include "support/AppFixture.h"
#include "util/CodePage.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <gtest/gtest.h>

using namespace korvat;
using korvat::test::AppFixture;
using korvat::test::writeFile;
using korvat::test::readBytes;
using korvat::test::LocaleGuard;

namespace {

const QString kCH = QStringLiteral("ValueListEditor1");
const QString kS = QStringLiteral("ValueListEditor2");

const QStringList kFidEdits = {"lbleditFIDCalFact", "lblEditFact1", "lblEditFact2", "lblEditFact3"};
const QStringList kFpdEdits = {"lbleditFPDCalFact", "lbleditFPDFact1", "lblEditFPDFact2",
                               "lblEditFPDFact3"};

// A started program with every factor edit holding a known old value and label.
struct FactorPage : AppFixture {
    FactorPage() {
        writeIni({});
        started = start();
        for (const QString& e : kFidEdits + kFpdEdits) {
            view.setText(e, "1,00");
            view.setEditLabel(e, "alt");
        }
    }
    SubstanceFactors& factors() { return app().substanceFactors(); }
    StartupOutcome started;
};

} // namespace

TEST(SubstanceFactors, DragOverAcceptsEitherGridOnTheEightFactorEditsOnly) {
    AppFixture f;
    SubstanceFactors& sf = f.app().substanceFactors();
    for (const QString& e : kFidEdits + kFpdEdits) {
        EXPECT_TRUE(sf.FactDragOver(e, kCH)) << e.toStdString();
        EXPECT_TRUE(sf.FactDragOver(e, kS)) << e.toStdString();
        EXPECT_FALSE(sf.FactDragOver(e, "editInfo1")) << e.toStdString();
        EXPECT_FALSE(sf.FactDragOver(e, QString())) << e.toStdString();
    }
    for (const char* other :
         {"editCalFlow", "editSampleFlow1", "editIsobutan", "lblEditFPDFact1", ""})
        EXPECT_FALSE(sf.FactDragOver(other, kCH)) << other;
}

TEST(SubstanceFactors, EachListFeedsOnlyTheEditsOfItsDetector) {
    LocaleGuard german(QLocale(QLocale::German, QLocale::Germany));
    struct Case {
        QString grid;
        QString edit;
        bool takes;
    };
    std::vector<Case> cases;
    for (const QString& e : kFidEdits) {
        cases.push_back({kCH, e, true});
        cases.push_back({kS, e, false});
    }
    for (const QString& e : kFpdEdits) {
        cases.push_back({kS, e, true});
        cases.push_back({kCH, e, false});
    }
    cases.push_back({kCH, "editCalFlow", false});
    cases.push_back({kS, "editSampleFlow2", false});
    cases.push_back({kCH, QString(), false}); // dropped outside any control
    cases.push_back({"editInfo1", "lblEditFact1", false});

    for (const Case& c : cases) {
        FactorPage f;
        ASSERT_EQ(f.started, StartupOutcome::Running);
        const auto textsBefore = f.view.texts;
        const auto labelsBefore = f.view.labels;
        const bool changed = f.factors().EndDrag(c.grid, c.edit, "Toluol", "0,57");
        const std::string what = (c.grid + " -> " + c.edit).toStdString();
        EXPECT_EQ(changed, c.takes) << what;
        if (c.takes) {
            EXPECT_EQ(f.view.text(c.edit), "0,57") << what;
            EXPECT_EQ(f.view.editLabel(c.edit), "Toluol") << what;
            // Nothing else moves: no other edit, no info label.
            auto texts = f.view.texts;
            auto labels = f.view.labels;
            texts[c.edit] = textsBefore.value(c.edit);
            labels[c.edit] = labelsBefore.value(c.edit);
            EXPECT_EQ(texts, textsBefore) << what;
            EXPECT_EQ(labels, labelsBefore) << what;
        } else {
            EXPECT_EQ(f.view.texts, textsBefore) << what;
            EXPECT_EQ(f.view.labels, labelsBefore) << what;
        }
        EXPECT_TRUE(f.dialogs.boxes.isEmpty()) << what;
    }
}

TEST(SubstanceFactors, TheGridSpecificEndDragHandlersKeepTheirGrid) {
    LocaleGuard german(QLocale(QLocale::German, QLocale::Germany));
    FactorPage f;
    ASSERT_EQ(f.started, StartupOutcome::Running);
    EXPECT_TRUE(f.factors().ValueListEditor1EndDrag("lblEditFact2", "Aceton", "2,05"));
    EXPECT_FALSE(f.factors().ValueListEditor1EndDrag("lbleditFPDCalFact", "Aceton", "2,05"));
    EXPECT_TRUE(
        f.factors().ValueListEditor2EndDrag("lblEditFPDFact3", "Schwefelkohlenstoff", "4,00"));
    EXPECT_FALSE(f.factors().ValueListEditor2EndDrag("lbleditFIDCalFact", "THT", "1,00"));
    EXPECT_EQ(f.view.text("lblEditFact2"), "2,05");
    EXPECT_EQ(f.view.editLabel("lblEditFact2"), "Aceton");
    EXPECT_EQ(f.view.text("lblEditFPDFact3"), "4,00");
    EXPECT_EQ(f.view.editLabel("lblEditFPDFact3"), "Schwefelkohlenstoff");
    EXPECT_EQ(f.view.editLabel("lbleditFIDCalFact"), "alt");
    EXPECT_EQ(f.view.editLabel("lbleditFPDCalFact"), "alt");
}

TEST(SubstanceFactors, ADropTakesEffectOnlyWhenThePageControlIsLeft) {
    LocaleGuard german(QLocale(QLocale::German, QLocale::Germany));
    FactorPage f;
    ASSERT_EQ(f.started, StartupOutcome::Running);
    KorvatApp& app = f.app();
    ASSERT_TRUE(f.factors().EndDrag(kCH, "lblEditFact2", "Aceton", "2,05"));
    ASSERT_TRUE(f.factors().EndDrag(kCH, "lbleditFIDCalFact", "Isobutan", "1,00"));
    ASSERT_TRUE(f.factors().EndDrag(kS, "lbleditFPDFact1", "Schwefelkohlenstoff", "4,00"));

    EXPECT_DOUBLE_EQ(app.settings().FIDFactor2, 1.0);
    EXPECT_EQ(app.ini().readString("Measurement", "FIDSampleFactor2", "-"), "-");
    EXPECT_EQ(app.ini().readString("Measurement", "FPDSampleFactorName1", "-"), "-");

    app.PageControlExit();
    EXPECT_TRUE(f.dialogs.boxes.isEmpty()) << f.dialogs.texts().join('|').toStdString();
    EXPECT_DOUBLE_EQ(app.settings().FIDFactor2, 2.05);
    EXPECT_EQ(app.settings().FIDSampleFactorName2, "Aceton");
    EXPECT_DOUBLE_EQ(app.settings().FPDFactor1, 4.0);
    EXPECT_EQ(app.settings().FPDSampleFactorName1, "Schwefelkohlenstoff");
    EXPECT_EQ(app.ini().readString("Measurement", "FIDSampleFactor2", "-"), "2,05");
    EXPECT_EQ(app.ini().readString("Measurement", "FIDSampleFactorName2", "-"), "Aceton");
    EXPECT_EQ(app.ini().readString("Measurement", "FIDCalFactorName", "-"), "Isobutan");
    EXPECT_EQ(app.ini().readString("Measurement", "FPDSampleFactor1", "-"), "4");
    EXPECT_EQ(app.ini().readString("Measurement", "FPDSampleFactorName1", "-"),
              "Schwefelkohlenstoff");
    EXPECT_EQ(f.view.text("lblInfoSample2"), "Aceton[2,05]");
    EXPECT_EQ(f.view.text("lblFIDCalInfo"), "Isobutan");
}

TEST(SubstanceFactors, AFactorThatIsNotANumberAboveZeroIsRefusedAtTheDrop) {
    LocaleGuard german(QLocale(QLocale::German, QLocale::Germany));
    for (const char* bad : {"0", "0,00", "-1,5", "abc", "", "2.05.1", "1e999"}) {
        FactorPage f;
        ASSERT_EQ(f.started, StartupOutcome::Running);
        f.view.setText("lblEditFact1", "0,57");
        f.view.setEditLabel("lblEditFact1", "Toluol");
        EXPECT_FALSE(f.factors().EndDrag(kCH, "lblEditFact1", "Kaputt", bad)) << bad;
        EXPECT_EQ(f.view.text("lblEditFact1"), "0,57") << bad;
        EXPECT_EQ(f.view.editLabel("lblEditFact1"), "Toluol") << bad;
        ASSERT_EQ(f.dialogs.boxes.size(), 1) << bad;
        EXPECT_EQ(f.dialogs.boxes[0].kind, "error");
        EXPECT_TRUE(f.dialogs.boxes[0].text.contains("Kaputt")) << bad;

        // The old value is what the page control takes over.
        f.app().PageControlExit();
        EXPECT_DOUBLE_EQ(f.app().settings().FIDFactor1, 0.57) << bad;
        EXPECT_EQ(f.app().settings().FIDSampleFactorName1, "Toluol") << bad;
    }
}

TEST(SubstanceFactors, FactorsParseInTheProcessLocaleAndMustBePositive) {
    LocaleGuard german(QLocale(QLocale::German, QLocale::Germany));
    const struct {
        const char* text;
        std::optional<double> value;
    } cases[] = {{"2,05", 2.05},      {" 0,5 ", 0.5},         {"10", 10.0},
                 {"0", std::nullopt}, {"-0,5", std::nullopt}, {"2.05", std::nullopt},
                 {"x", std::nullopt}};
    for (const auto& c : cases) {
        const auto v = parseSubstanceFactor(c.text);
        ASSERT_EQ(v.has_value(), c.value.has_value()) << c.text;
        if (v) {
            EXPECT_DOUBLE_EQ(*v, *c.value) << c.text;
        }
    }
}

TEST(SubstanceFactors, LeavingThePageWritesBothListsInTheEightBitCodePageWithCrLf) {
    FactorPage f;
    ASSERT_EQ(f.started, StartupOutcome::Running);
    const QStringList ch = {QString::fromUtf8("Aceton=2,05"),
                            QString::fromUtf8("Äthylenglykol µ=1,23"),
                            QString::fromUtf8("Toluol=0,57")};
    const QStringList s = {QString::fromUtf8("THT=1,00"),
                           QString::fromUtf8("Schwefelkohlenstoff=4,00")};
    f.view.setValueList(kCH, ch);
    f.view.setValueList(kS, s);

    EXPECT_TRUE(f.factors().tabFaktorenExit());
    EXPECT_TRUE(f.dialogs.boxes.isEmpty());
    EXPECT_EQ(readBytes(f.dir + "CH-Substanzen.txt"),
              QByteArray("Aceton=2,05\r\n\xC4thylenglykol \xB5=1,23\r\nToluol=0,57\r\n"));
    EXPECT_EQ(readBytes(f.dir + "S-Substanzen.txt"),
              QByteArray("THT=1,00\r\nSchwefelkohlenstoff=4,00\r\n"));
    // Replaced whole through a rename: no temporary file is left beside the lists.
    QStringList files = QDir(f.dir).entryList(QDir::Files);
    files.removeAll("Korvat.ini");
    files.removeAll("korvat-debug.log");
    files.sort();
    EXPECT_EQ(files, QStringList({"CH-Substanzen.txt", "S-Substanzen.txt"}));

    // The next start shows the rows as they were left.
    AppFixture next;
    writeFile(next.dir + "CH-Substanzen.txt", readBytes(f.dir + "CH-Substanzen.txt"));
    writeFile(next.dir + "S-Substanzen.txt", readBytes(f.dir + "S-Substanzen.txt"));
    next.writeIni({});
    ASSERT_EQ(next.start(), StartupOutcome::Running);
    EXPECT_EQ(next.view.valueList(kCH), ch);
    EXPECT_EQ(next.view.valueList(kS), s);
}

TEST(SubstanceFactors, AListThatCannotBeWrittenIsReportedByNameAndTheOtherIsStillWritten) {
    FactorPage f;
    ASSERT_EQ(f.started, StartupOutcome::Running);
    // A folder in the file's place cannot be replaced by a file.
    ASSERT_TRUE(QFile::remove(f.dir + "CH-Substanzen.txt"));
    ASSERT_TRUE(QDir(f.dir).mkdir("CH-Substanzen.txt"));
    f.view.setValueList(kCH, {"Aceton=2,05"});
    f.view.setValueList(kS, {"THT=1,00", "Dimethylsulfid=1,00"});

    EXPECT_FALSE(f.factors().tabFaktorenExit());
    ASSERT_EQ(f.dialogs.boxes.size(), 1);
    EXPECT_EQ(f.dialogs.boxes[0].kind, "error");
    EXPECT_TRUE(f.dialogs.boxes[0].text.contains("CH-Substanzen.txt"));
    EXPECT_EQ(f.view.valueList(kCH), QStringList({"Aceton=2,05"}));
    EXPECT_EQ(readBytes(f.dir + "S-Substanzen.txt"),
              QByteArray("THT=1,00\r\nDimethylsulfid=1,00\r\n"));
}

TEST(SubstanceFactors, TheShippedListsParseWithPositiveFactorsAndUniqueNames) {
    LocaleGuard german(QLocale(QLocale::German, QLocale::Germany));
    const QString dir = QCoreApplication::applicationDirPath() + QLatin1Char('/');
    const QRegularExpression line(QStringLiteral("^([^=]+)=(\\d+,\\d\\d)$"));
    const struct {
        const char* file;
        const char* calibrationGas;
        const char* mustHold;
        int atLeast;
    } lists[] = {{"CH-Substanzen.txt", "Isobutan=1,00", "Aceton=2,05", 15},
                 {"S-Substanzen.txt", "THT=1,00", "THT=1,00", 4}};
    for (const auto& l : lists) {
        const QString path = dir + QString::fromLatin1(l.file);
        const QByteArray bytes = readBytes(path);
        ASSERT_FALSE(bytes.isEmpty()) << l.file;
        EXPECT_TRUE(bytes.endsWith("\r\n")) << l.file;
        EXPECT_EQ(bytes.count('\n'), bytes.count("\r\n")) << l.file;
        EXPECT_EQ(bytes.count('\r'), bytes.count("\r\n")) << l.file;

        QString error;
        const auto rows = loadSubstanceList(path, &error);
        ASSERT_TRUE(rows) << error.toStdString();
        EXPECT_GE(rows->size(), l.atLeast) << l.file;
        EXPECT_TRUE(rows->contains(QLatin1String(l.calibrationGas))) << l.file;
        EXPECT_TRUE(rows->contains(QLatin1String(l.mustHold))) << l.file;
        QSet<QString> names;
        for (const QString& row : *rows) {
            const auto m = line.match(row);
            ASSERT_TRUE(m.hasMatch()) << l.file << ": " << row.toStdString();
            EXPECT_TRUE(parseSubstanceFactor(m.captured(2))) << row.toStdString();
            const QString name = m.captured(1).toCaseFolded();
            EXPECT_FALSE(names.contains(name)) << l.file << ": " << row.toStdString();
            names.insert(name);
        }
    }
}
