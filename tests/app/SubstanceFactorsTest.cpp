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

constexpr SubstanceGrid kCH = SubstanceGrid::Hydrocarbons;
constexpr SubstanceGrid kS = SubstanceGrid::Sulfur;

const std::vector<Input> kFidEdits = {Input::FIDCalFactor, Input::FIDFactor1, Input::FIDFactor2, Input::FIDFactor3};
const std::vector<Input> kFpdEdits = {Input::FPDCalFactor, Input::FPDFactor1, Input::FPDFactor2, Input::FPDFactor3};

std::vector<Input> allFactorEdits() {
    std::vector<Input> all = kFidEdits;
    all.insert(all.end(), kFpdEdits.begin(), kFpdEdits.end());
    return all;
}

// A started program with every factor edit holding a known old value and label.
struct FactorPage : AppFixture {
    FactorPage() {
        writeIni({});
        started = start();
        for (Input e : allFactorEdits()) {
            app().inputs().set(e, "1,00");
            app().inputs().setLabel(e, "alt");
        }
    }
    SubstanceFactors& factors() { return app().substanceFactors(); }
    StartupOutcome started;
};

} // namespace

TEST(SubstanceFactors, DragOverAcceptsTheEightFactorEditsOnly) {
    AppFixture f;
    SubstanceFactors& sf = f.app().substanceFactors();
    for (Input e : allFactorEdits())
        EXPECT_TRUE(sf.FactDragOver(e)) << static_cast<int>(e);
    for (Input other : {Input::CalFlow, Input::SampleFlow1, Input::Isobutan, Input::Info1, Input::Start})
        EXPECT_FALSE(sf.FactDragOver(other)) << static_cast<int>(other);
}

TEST(SubstanceFactors, EachListFeedsOnlyTheEditsOfItsDetector) {
    LocaleGuard german(QLocale(QLocale::German, QLocale::Germany));
    struct Case {
        SubstanceGrid grid;
        std::optional<Input> edit;
        bool takes;
    };
    std::vector<Case> cases;
    for (Input e : kFidEdits) {
        cases.push_back({kCH, e, true});
        cases.push_back({kS, e, false});
    }
    for (Input e : kFpdEdits) {
        cases.push_back({kS, e, true});
        cases.push_back({kCH, e, false});
    }
    cases.push_back({kCH, Input::CalFlow, false});
    cases.push_back({kS, Input::SampleFlow2, false});
    cases.push_back({kCH, std::nullopt, false}); // dropped outside any control

    for (const Case& c : cases) {
        FactorPage f;
        ASSERT_EQ(f.started, StartupOutcome::Running);
        const auto textsBefore = f.view.inputs;
        const auto labelsBefore = f.view.inputLabels;
        const bool changed = f.factors().EndDrag(c.grid, c.edit, "Toluol", "0,57");
        const std::string what = std::to_string(static_cast<int>(c.grid)) + " -> " +
                                 (c.edit ? std::to_string(static_cast<int>(*c.edit)) : std::string("nothing"));
        EXPECT_EQ(changed, c.takes) << what;
        if (c.takes) {
            EXPECT_EQ(f.view.inputs.value(*c.edit), "0,57") << what;
            EXPECT_EQ(f.view.inputLabels.value(*c.edit), "Toluol") << what;
            // Nothing else moves: no other edit, no info label.
            auto texts = f.view.inputs;
            auto labels = f.view.inputLabels;
            texts[*c.edit] = textsBefore.value(*c.edit);
            labels[*c.edit] = labelsBefore.value(*c.edit);
            EXPECT_EQ(texts, textsBefore) << what;
            EXPECT_EQ(labels, labelsBefore) << what;
        } else {
            EXPECT_EQ(f.view.inputs, textsBefore) << what;
            EXPECT_EQ(f.view.inputLabels, labelsBefore) << what;
        }
        EXPECT_TRUE(f.dialogs.boxes.isEmpty()) << what;
    }
}

TEST(SubstanceFactors, TheGridSpecificEndDragHandlersKeepTheirGrid) {
    LocaleGuard german(QLocale(QLocale::German, QLocale::Germany));
    FactorPage f;
    ASSERT_EQ(f.started, StartupOutcome::Running);
    EXPECT_TRUE(f.factors().ValueListEditor1EndDrag(Input::FIDFactor2, "Aceton", "2,05"));
    EXPECT_FALSE(f.factors().ValueListEditor1EndDrag(Input::FPDCalFactor, "Aceton", "2,05"));
    EXPECT_TRUE(
        f.factors().ValueListEditor2EndDrag(Input::FPDFactor3, "Schwefelkohlenstoff", "4,00"));
    EXPECT_FALSE(f.factors().ValueListEditor2EndDrag(Input::FIDCalFactor, "THT", "1,00"));
    EXPECT_EQ(f.view.inputs.value(Input::FIDFactor2), "2,05");
    EXPECT_EQ(f.view.inputLabels.value(Input::FIDFactor2), "Aceton");
    EXPECT_EQ(f.view.inputs.value(Input::FPDFactor3), "4,00");
    EXPECT_EQ(f.view.inputLabels.value(Input::FPDFactor3), "Schwefelkohlenstoff");
    EXPECT_EQ(f.view.inputLabels.value(Input::FIDCalFactor), "alt");
    EXPECT_EQ(f.view.inputLabels.value(Input::FPDCalFactor), "alt");
}

TEST(SubstanceFactors, ADropTakesEffectOnlyWhenThePageControlIsLeft) {
    LocaleGuard german(QLocale(QLocale::German, QLocale::Germany));
    FactorPage f;
    ASSERT_EQ(f.started, StartupOutcome::Running);
    KorvatApp& app = f.app();
    ASSERT_TRUE(f.factors().EndDrag(kCH, Input::FIDFactor2, "Aceton", "2,05"));
    ASSERT_TRUE(f.factors().EndDrag(kCH, Input::FIDCalFactor, "Isobutan", "1,00"));
    ASSERT_TRUE(f.factors().EndDrag(kS, Input::FPDFactor1, "Schwefelkohlenstoff", "4,00"));

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
    EXPECT_EQ(f.view.infos.value(InfoLabel::InfoSample2), "Aceton[2,05]");
    EXPECT_EQ(f.view.infos.value(InfoLabel::FIDCalInfo), "Isobutan");
}

// "Toluol=0,57;92,14": the molar mass travels with the name to the cell's settings when the page
// control is left; a row without one leaves the cell without one (its rates are then isobutane
// equivalents); a molar mass that is no number above zero is refused at the drop.
TEST(SubstanceFactors, AMolarMassTravelsWithItsSubstanceToTheCell) {
    LocaleGuard german(QLocale(QLocale::German, QLocale::Germany));
    const struct {
        SubstanceGrid grid;
        Input edit;
        const char* name;
        const char* value;
        bool takes;
        const char* factor;
        double molarMass; // 0: none
        const char* key;
        const char* written;
    } cases[] = {
        {kCH, Input::FIDFactor1, "Toluol", "0,57;92,14", true, "0,57", 92.14, "FIDSampleMolarMass1", "92,14"},
        {kCH, Input::FIDFactor2, "Methanol", "10,00; 32,04", true, "10,00", 32.04, "FIDSampleMolarMass2", "32,04"},
        {kCH, Input::FIDFactor3, "Aceton", "2,05", true, "2,05", 0, "FIDSampleMolarMass3", "0"},
        {kS, Input::FPDFactor2, "Dimethylsulfid", "1,00;62,13", true, "1,00", 62.13, "FPDSampleMolarMass2", "62,13"},
        {kCH, Input::FIDFactor1, "Toluol", "0,57;abc", false, "1,00", 0, "FIDSampleMolarMass1", "0"},
        {kCH, Input::FIDFactor1, "Toluol", "0,57;0", false, "1,00", 0, "FIDSampleMolarMass1", "0"},
        {kCH, Input::FIDFactor1, "Toluol", "0,57;-92", false, "1,00", 0, "FIDSampleMolarMass1", "0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + "=" + c.value);
        FactorPage f;
        ASSERT_EQ(f.started, StartupOutcome::Running);
        KorvatApp& app = f.app();
        EXPECT_EQ(f.factors().EndDrag(c.grid, c.edit, c.name, c.value), c.takes);
        EXPECT_EQ(f.dialogs.boxes.size(), c.takes ? 0 : 1);
        EXPECT_EQ(app.inputs().text(c.edit), c.factor);
        EXPECT_EQ(app.inputs().molarMass(c.edit).value_or(0.0), c.molarMass);
        f.dialogs.boxes.clear();
        app.PageControlExit();
        EXPECT_TRUE(f.dialogs.boxes.isEmpty()) << f.dialogs.texts().join('|').toStdString();
        const Settings& s = app.settings();
        const double masses[] = {s.FIDMolarMass1, s.FIDMolarMass2, s.FIDMolarMass3,
                                 s.FPDMolarMass1, s.FPDMolarMass2, s.FPDMolarMass3};
        const Input edits[] = {Input::FIDFactor1, Input::FIDFactor2, Input::FIDFactor3,
                               Input::FPDFactor1, Input::FPDFactor2, Input::FPDFactor3};
        for (int k = 0; k < 6; ++k)
            EXPECT_EQ(masses[k], edits[k] == c.edit ? c.molarMass : 0.0) << k;
        EXPECT_EQ(app.ini().readString("Measurement", c.key, "0"), c.written);
    }
}

TEST(SubstanceFactors, AFactorThatIsNotANumberAboveZeroIsRefusedAtTheDrop) {
    LocaleGuard german(QLocale(QLocale::German, QLocale::Germany));
    for (const char* bad : {"0", "0,00", "-1,5", "abc", "", "2.05.1", "1e999"}) {
        FactorPage f;
        ASSERT_EQ(f.started, StartupOutcome::Running);
        f.app().inputs().set(Input::FIDFactor1, "0,57");
        f.app().inputs().setLabel(Input::FIDFactor1, "Toluol");
        EXPECT_FALSE(f.factors().EndDrag(kCH, Input::FIDFactor1, "Kaputt", bad)) << bad;
        EXPECT_EQ(f.view.inputs.value(Input::FIDFactor1), "0,57") << bad;
        EXPECT_EQ(f.view.inputLabels.value(Input::FIDFactor1), "Toluol") << bad;
        EXPECT_EQ(f.app().inputs().text(Input::FIDFactor1), "0,57") << bad;
        ASSERT_EQ(f.dialogs.boxes.size(), 1) << bad;
        EXPECT_EQ(f.dialogs.boxes[0].kind, "error");
        EXPECT_TRUE(f.dialogs.boxes[0].text.contains("Kaputt")) << bad;

        // The old value is what the page control takes over.
        f.app().PageControlExit();
        EXPECT_DOUBLE_EQ(f.app().settings().FIDFactor1, 0.57) << bad;
        EXPECT_EQ(f.app().settings().FIDSampleFactorName1, "Toluol") << bad;
    }
}

TEST(SubstanceFactors, FactorsTakeACommaOrAPointUnderEveryLocaleAndMustBePositive) {
    const struct {
        const char* text;
        std::optional<double> value;
    } cases[] = {{"2,05", 2.05},         {" 0,5 ", 0.5},         {"10", 10.0},          {"2.05", 2.05},
                 {"0", std::nullopt},    {"-0,5", std::nullopt}, {"x", std::nullopt},   {"1,000,5", std::nullopt},
                 {"1.000,5", std::nullopt}};
    for (const QLocale& process : {QLocale(QLocale::German, QLocale::Germany), QLocale::c()}) {
        LocaleGuard guard(process);
        for (const auto& c : cases) {
            const auto v = parseSubstanceFactor(c.text);
            ASSERT_EQ(v.has_value(), c.value.has_value()) << c.text << " " << process.name().toStdString();
            if (v) {
                EXPECT_DOUBLE_EQ(*v, *c.value) << c.text;
            }
        }
    }
}

TEST(SubstanceFactors, LeavingThePageWritesBothListsInTheEightBitCodePageWithCrLf) {
    FactorPage f;
    ASSERT_EQ(f.started, StartupOutcome::Running);
    const QStringList ch = {QString::fromUtf8("Aceton=2,05"),
                            QString::fromUtf8("Äthylenglykol µ=1,23"),
                            QString::fromUtf8("Toluol=0,57;92,14")};
    const QStringList s = {QString::fromUtf8("THT=1,00"),
                           QString::fromUtf8("Schwefelkohlenstoff=4,00")};
    EXPECT_TRUE(f.factors().tabFaktorenExit(ch, s));
    EXPECT_TRUE(f.dialogs.boxes.isEmpty());
    EXPECT_EQ(readBytes(f.dir + "CH-Substanzen.txt"),
              QByteArray("Aceton=2,05\r\n\xC4thylenglykol \xB5=1,23\r\nToluol=0,57;92,14\r\n"));
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
    EXPECT_EQ(next.view.substances.value(kCH), ch);
    EXPECT_EQ(next.view.substances.value(kS), s);
}

TEST(SubstanceFactors, AListThatCannotBeWrittenIsReportedByNameAndTheOtherIsStillWritten) {
    FactorPage f;
    ASSERT_EQ(f.started, StartupOutcome::Running);
    // A folder in the file's place cannot be replaced by a file.
    ASSERT_TRUE(QFile::remove(f.dir + "CH-Substanzen.txt"));
    ASSERT_TRUE(QDir(f.dir).mkdir("CH-Substanzen.txt"));
    const QStringList shownBefore = f.view.substances.value(kCH);
    EXPECT_FALSE(f.factors().tabFaktorenExit({"Aceton=2,05"}, {"THT=1,00", "Dimethylsulfid=1,00"}));
    ASSERT_EQ(f.dialogs.boxes.size(), 1);
    EXPECT_EQ(f.dialogs.boxes[0].kind, "error");
    EXPECT_TRUE(f.dialogs.boxes[0].text.contains("CH-Substanzen.txt"));
    EXPECT_EQ(f.view.substances.value(kCH), shownBefore); // the grid keeps its rows
    EXPECT_EQ(readBytes(f.dir + "S-Substanzen.txt"),
              QByteArray("THT=1,00\r\nDimethylsulfid=1,00\r\n"));
}

TEST(SubstanceFactors, TheShippedListsParseWithPositiveFactorsAndUniqueNames) {
    LocaleGuard german(QLocale(QLocale::German, QLocale::Germany));
    const QString dir = QCoreApplication::applicationDirPath() + QLatin1Char('/');
    // Every substance with its molar mass: "name=factor;molar mass".
    const QRegularExpression line(QStringLiteral("^([^=]+)=(\\d+,\\d\\d);(\\d+,\\d\\d)$"));
    const struct {
        const char* file;
        const char* calibrationGas;
        const char* mustHold;
        int atLeast;
    } lists[] = {{"CH-Substanzen.txt", "Isobutan=1,00;58,12", "Aceton=2,05;58,08", 15},
                 {"S-Substanzen.txt", "THT=1,00;88,17", "THT=1,00;88,17", 4}};
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
            EXPECT_TRUE(parseMolarMass(m.captured(3))) << row.toStdString();
            const QString name = m.captured(1).toCaseFolded();
            EXPECT_FALSE(names.contains(name)) << l.file << ": " << row.toStdString();
            names.insert(name);
        }
    }
}
