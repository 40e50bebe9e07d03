// The initialisation file and the settings it holds: creation values against missing-key
// defaults, case-insensitive matching, number forms under the locale, atomic writes, and the
// handlers that write settings back.

#include "shell/Config.h"
#include "shell/IniFile.h"
#include "support/AppFixture.h"
#include "util/CodePage.h"

#include <QDir>
#include <QFile>
#include <QFileDevice>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace korvat;
using korvat::test::AppFixture;
using korvat::test::writeFile;
using korvat::test::readBytes;
using korvat::test::LocaleGuard;

namespace {

} // namespace

TEST(IniFile, CreationValuesDifferFromMissingKeyDefaults) {
    QTemporaryDir dir;
    IniFile created(dir.filePath("created.ini"));
    ASSERT_TRUE(createDefaultConfig(created, dir.path() + "/"));
    IniFile empty(dir.filePath("empty.ini"));
    writeFile(empty.path(), "[Language]\r\n");

    Settings fromCreated, fromEmpty;
    ASSERT_TRUE(loadSettings(created, fromCreated).isEmpty());
    ASSERT_TRUE(loadSettings(empty, fromEmpty).isEmpty());

    EXPECT_EQ(fromCreated.TempVentilblock, 60);
    EXPECT_EQ(fromEmpty.TempVentilblock, 100);
    EXPECT_EQ(fromCreated.FPDCalMenge, 2);
    EXPECT_EQ(fromEmpty.FPDCalMenge, 10);
    EXPECT_EQ(fromCreated.Scale, 10000);
    EXPECT_EQ(fromEmpty.Scale, 20000);
    EXPECT_EQ(fromCreated.Messzeit, 30);
    EXPECT_EQ(fromEmpty.Messzeit, 60);
    EXPECT_EQ(fromCreated.Code, "DE");
    EXPECT_EQ(fromEmpty.Code, "US");
    EXPECT_EQ(fromCreated.ComPortA, "COM2");
    EXPECT_EQ(fromEmpty.ComPortA, "COM1");
    EXPECT_EQ(fromCreated.Standard, "EN374");
    EXPECT_EQ(fromEmpty.Standard, "ASTM");
    EXPECT_EQ(fromCreated.sDataDir, dir.path() + "/");
    EXPECT_EQ(fromEmpty.sDataDir, "c:\\");
    EXPECT_DOUBLE_EQ(fromCreated.MinPeakWith, 1.2);
    EXPECT_DOUBLE_EQ(fromCreated.PeakTime, 2.0);
}

TEST(IniFile, CreatedFileUsesCrLfAndTheEightBitCodePage) {
    LocaleGuard german(QLocale(QLocale::German, QLocale::Germany));
    QTemporaryDir dir;
    IniFile ini(dir.filePath("Korvat.ini"));
    ASSERT_TRUE(createDefaultConfig(ini, dir.path() + "/"));
    const QByteArray bytes = readBytes(ini.path());
    EXPECT_TRUE(bytes.startsWith("[Language]\r\nCode=DE\r\n[DeviceTyp]\r\n"));
    EXPECT_EQ(bytes.count("\n"), bytes.count("\r\n"));
    EXPECT_TRUE(bytes.contains("SampleArea(cm\xB2)=19,6\r\n")); // "²" is one byte, comma decimal
    EXPECT_TRUE(bytes.contains("FPD/ppm=2\r\n"));

    Settings s;
    ASSERT_TRUE(loadSettings(ini, s).isEmpty());
    EXPECT_DOUBLE_EQ(s.SampleArea, 19.6);
}

TEST(IniFile, SectionsAndKeysMatchWithoutCase) {
    QTemporaryDir dir;
    IniFile ini(dir.filePath("k.ini"));
    writeFile(ini.path(), "[info]\r\nSAMPLEINFO1=first\r\n[Other]\r\nx=1\r\n");
    EXPECT_EQ(ini.readString("Info", "SampleInfo1", "-"), "first");
    ASSERT_TRUE(ini.writeString("INFO", "Sampleinfo1", "second"));
    EXPECT_EQ(ini.readString("Info", "sampleinfo1", "-"), "second");
    // Still one line for the key, and the other section untouched.
    const QByteArray bytes = readBytes(ini.path());
    EXPECT_EQ(bytes.count("first") + bytes.count("second"), 1);
    EXPECT_TRUE(bytes.contains("[Other]\r\nx=1\r\n"));
    // A new key joins its section, not the end of the file.
    ASSERT_TRUE(ini.writeString("Info", "SampleInfo2", "two"));
    EXPECT_TRUE(readBytes(ini.path()).contains("second\r\nSampleInfo2=two\r\n[Other]"));
}

TEST(IniFile, IntegersReadDecimalAndHexAndFallBackOnText) {
    QTemporaryDir dir;
    IniFile ini(dir.filePath("k.ini"));
    writeFile(ini.path(), "[Measurement]\r\nScale=$2710\r\nScaleMin=0x10\r\nNumberOfCycles=ten\r\n"
                          "StartingCell= 3 \r\n");
    EXPECT_EQ(ini.readInteger("Measurement", "Scale", 0), 10000);
    EXPECT_EQ(ini.readInteger("Measurement", "ScaleMin", 0), 16);
    EXPECT_EQ(ini.readInteger("Measurement", "NumberOfCycles", 10), 10);
    EXPECT_EQ(ini.readInteger("Measurement", "StartingCell", 1), 3);
    Settings s;
    const QStringList unreadable = loadSettings(ini, s);
    ASSERT_EQ(unreadable.size(), 1);
    EXPECT_TRUE(unreadable[0].contains("NumberOfCycles")) << unreadable[0].toStdString();
    EXPECT_EQ(s.AnzahlMessreihen, 10); // missing-key default for unusable text
}

TEST(IniFile, AValueThatCannotBeReadIsNamedAndGetsItsDefault) {
    QTemporaryDir dir;
    IniFile ini(dir.filePath("Korvat.ini"));
    writeFile(ini.path(), "[Measurement]\r\nLimitFID=abc\r\nScale=5000\r\nNumberOfCycles=zehn\r\n"
                          "SampleFlow1=1,2,3\r\n");
    Settings s;
    const QStringList unreadable = loadSettings(ini, s);
    ASSERT_EQ(unreadable.size(), 3) << unreadable.join('|').toStdString();
    for (const char* key : {"LimitFID", "NumberOfCycles", "SampleFlow1"})
        EXPECT_EQ(unreadable.filter(key).size(), 1) << key;
    EXPECT_TRUE(unreadable[0].contains(ini.path())) << unreadable[0].toStdString();
    EXPECT_DOUBLE_EQ(s.LimitFID, 100); // the missing-key defaults
    EXPECT_EQ(s.AnzahlMessreihen, 10);
    EXPECT_DOUBLE_EQ(s.SampleFlow1, 100);
    EXPECT_EQ(s.Scale, 5000); // and the keys after it are read
}

// A file written under one locale read under another: numbers take a comma or a point, whatever
// the process runs under; a float written back keeps the file's own separator.
TEST(IniFile, NumbersReadTheSameUnderEveryLocaleAndKeepTheFilesSeparator) {
    const QLocale german(QLocale::German, QLocale::Germany);
    const struct {
        const char* name;
        QByteArray file;
        const char* writtenLimit; // LimitFID=2.5 written back
    } files[] = {
        {"points", "[Language]\r\nCode=DE\r\n[Measurement]\r\nFIDSampleFactor1=0.57\r\nLimitFID=1.0\r\n", "LimitFID=2.5"},
        {"commas", "[Language]\r\nCode=US\r\n[Measurement]\r\nFIDSampleFactor1=0,57\r\nLimitFID=1,0\r\n", "LimitFID=2,5"},
        // The key says nothing (a whole number): the file's other numbers do.
        {"whole limit", "[Measurement]\r\nFIDSampleFactor1=0.57\r\nSampleFlow1=100.5\r\nLimitFID=1\r\n", "LimitFID=2.5"},
        // Nothing to go by: the file's language.
        {"English", "[Language]\r\nCode=US\r\n[Measurement]\r\nLimitFID=1\r\n", "LimitFID=2.5"},
        {"German", "[Language]\r\nCode=DE\r\n[Measurement]\r\nLimitFID=1\r\n", "LimitFID=2,5"},
    };
    for (const QLocale& process : {german, QLocale::c()}) {
        for (const auto& f : files) {
            SCOPED_TRACE(std::string(f.name) + " under " + process.name().toStdString());
            LocaleGuard guard(process);
            QTemporaryDir dir;
            IniFile ini(dir.filePath("Korvat.ini"));
            writeFile(ini.path(), f.file);
            Settings s;
            EXPECT_TRUE(loadSettings(ini, s).isEmpty());
            if (f.file.contains("FIDSampleFactor1")) {
                EXPECT_DOUBLE_EQ(s.FIDFactor1, 0.57);
            }
            ASSERT_TRUE(ini.writeFloat("Measurement", "LimitFID", 2.5));
            EXPECT_TRUE(readBytes(ini.path()).contains(QByteArray(f.writtenLimit) + "\r\n"))
                << readBytes(ini.path()).toStdString();
        }
    }
}

TEST(IniFile, WritesAreAtomicAndAFailedWriteNamesTheFile) {
    QTemporaryDir dir;
    IniFile ini(dir.filePath("Korvat.ini"));
    ASSERT_TRUE(ini.writeInteger("Measurement", "Scale", 5));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"Korvat.ini"});

    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    const bool writable = QFileInfo(dir.path()).isWritable(); // root ignores permissions
    if (!writable) {
        EXPECT_FALSE(ini.writeInteger("Measurement", "Scale", 6));
        EXPECT_TRUE(ini.lastError().contains(ini.path()));
        EXPECT_EQ(ini.readInteger("Measurement", "Scale", 0), 5);
    }
    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

TEST(Config, RangeClamps) {
    EXPECT_EQ(clampStartzelle(0), 1);
    EXPECT_EQ(clampStartzelle(7), 6);
    EXPECT_EQ(clampStartzelle(4), 4);
    const struct {
        int start, count, expected;
    } counts[] = {{5, 4, 2}, {1, 6, 6}, {1, 0, 1}, {6, 1, 1}, {3, 9, 4}, {2, -3, 1}};
    for (const auto& c : counts)
        EXPECT_EQ(clampAnzahlZellen(c.start, c.count), c.expected) << c.start << "+" << c.count;
}

TEST(Config, DeviceTypeAndLanguageCodesMatchExactly) {
    EXPECT_EQ(deviceTypFromText("FIDFPD"), TDeviceTyp::FIDFPD);
    EXPECT_EQ(deviceTypFromText("FPD"), TDeviceTyp::FPD);
    EXPECT_EQ(deviceTypFromText("fidfpd"), TDeviceTyp::FID);
    EXPECT_EQ(languageOffsetFromCode("US"), 1000);
    EXPECT_EQ(languageOffsetFromCode("DE"), 0);
    EXPECT_EQ(languageOffsetFromCode("de"), 0);
    EXPECT_EQ(languageOffsetFromCode("FR"), 0);
}

TEST(SettingsHandlers, StartAndCountAreClampedAndWritten) {
    AppFixture f;
    f.writeIni({});
    ASSERT_EQ(f.start(), StartupOutcome::Running);
    KorvatApp& app = f.app();

    f.app().inputs().edited(Input::Start, "5");
    app.UpdateStartzelle();
    f.app().inputs().edited(Input::Count, "4");
    app.UpdateAnzahlZellen();
    EXPECT_EQ(f.view.inputs.value(Input::Count), "2");
    EXPECT_EQ(app.ini().readInteger("Measurement", "NumberOfCells", 0), 2);

    f.app().inputs().edited(Input::Start, "0");
    app.UpdateStartzelle();
    EXPECT_EQ(f.view.inputs.value(Input::Start), "1");
    EXPECT_EQ(app.ini().readInteger("Measurement", "StartingCell", 0), 1);
    // The count is not tested again when only the start changes.
    EXPECT_EQ(app.settings().AnzahlZellen, 2);

    f.app().inputs().edited(Input::Cycles, "zehn");
    app.UpdateAnzahlMessreihen();
    EXPECT_EQ(f.dialogs.boxes.last().kind, "error");
    EXPECT_EQ(app.ini().readInteger("Measurement", "NumberOfCycles", -1), -1); // nothing stored
}

TEST(SettingsHandlers, PageControlExitStopsAtTheFirstBadEdit) {
    LocaleGuard german(QLocale(QLocale::German, QLocale::Germany));
    AppFixture f;
    f.writeIni({});
    ASSERT_EQ(f.start(), StartupOutcome::Running);
    KorvatApp& app = f.app();
    f.app().inputs().edited(Input::CalFlow, "110,5");
    f.app().inputs().edited(Input::SampleFlow1, "90");
    f.app().inputs().edited(Input::SampleFlow2, "viel");
    f.app().inputs().edited(Input::SampleFlow3, "70");
    app.PageControlExit();

    EXPECT_EQ(app.ini().readString("Calibration", "CalFlow", "-"), "110,5");
    EXPECT_EQ(app.ini().readString("Measurement", "SampleFlow1", "-"), "90");
    EXPECT_EQ(app.ini().readString("Measurement", "SampleFlow2", "-"), "-");
    EXPECT_EQ(app.ini().readString("Measurement", "SampleFlow3", "-"), "-");
    EXPECT_EQ(app.ini().readString("Measurement", "FIDCalFactor", "-"), "-");

    f.app().inputs().edited(Input::SampleFlow2, "80");
    f.app().inputs().setLabel(Input::FIDFactor2, "Aceton");
    f.app().inputs().edited(Input::FIDFactor2, "2,05");
    app.PageControlExit();
    EXPECT_EQ(app.ini().readString("Measurement", "FIDSampleFactorName2", "-"), "Aceton");
    EXPECT_DOUBLE_EQ(app.settings().FIDFactor2, 2.05);
    EXPECT_EQ(f.view.infos.value(InfoLabel::InfoSample2), "Aceton[2,05]");
    // After the first exit the info label shows the bare name.
    EXPECT_EQ(f.view.infos.value(InfoLabel::FIDCalInfo), "Isobutan");
    EXPECT_EQ(f.view.infos.value(InfoLabel::FIDCalFactor), "[1,00]");
}

TEST(SettingsHandlers, AFactorTypedAsZeroOrLessIsRefusedAndTheOldOneKept) {
    LocaleGuard german(QLocale(QLocale::German, QLocale::Germany));
    for (const char* bad : {"0", "0,00", "-2"}) {
        SCOPED_TRACE(bad);
        AppFixture f;
        f.writeIni({"Measurement/FIDSampleFactor1=0,57", "Measurement/FIDSampleFactorName1=Toluol"});
        ASSERT_EQ(f.start(), StartupOutcome::Running);
        KorvatApp& app = f.app();
        f.app().inputs().edited(Input::FIDFactor1, bad);
        f.app().inputs().setLabel(Input::FIDFactor1, "Irgendwas");
        f.app().inputs().edited(Input::FPDCalFactor, bad);
        f.app().inputs().edited(Input::FIDFactor3, "2,05"); // the edits after the refused ones are still taken
        app.PageControlExit();
        EXPECT_DOUBLE_EQ(app.settings().FIDFactor1, 0.57);
        EXPECT_EQ(app.settings().FIDSampleFactorName1, "Toluol");
        EXPECT_EQ(f.view.inputs.value(Input::FIDFactor1), "0,57");
        EXPECT_EQ(f.view.inputLabels.value(Input::FIDFactor1), "Toluol");
        EXPECT_EQ(app.ini().readString("Measurement", "FIDSampleFactor1", "-"), "0,57");
        EXPECT_DOUBLE_EQ(app.settings().FPDCalFactor, 1.0);
        EXPECT_DOUBLE_EQ(app.settings().FIDFactor3, 2.05);
        ASSERT_EQ(f.dialogs.boxes.size(), 2);
        EXPECT_TRUE(f.dialogs.boxes[0].text.contains("greater than zero"));
    }
}

TEST(Config, ValuesTheFormulasCannotUseAreReplacedAndLogged) {
    const struct {
        const char* entry;
        const char* key;
    } cases[] = {{"Detection/Loopflow=0", "Loopflow"}, {"Measurement/SampleArea(cm\u00b2)=0", "SampleArea"},
                 {"Measurement/SampleArea(cm\u00b2)=-3", "SampleArea"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.entry);
        AppFixture f;
        f.writeIni({QString::fromUtf8(c.entry)});
        ASSERT_EQ(f.start(), StartupOutcome::Running);
        EXPECT_EQ(f.app().settings().Loopflow, 10000);
        EXPECT_DOUBLE_EQ(f.app().settings().SampleArea, 19.6);
        ASSERT_FALSE(f.view.log.isEmpty());
        EXPECT_TRUE(f.view.log.join('|').contains(c.key));
    }
}

TEST(SettingsHandlers, PickingAStandardSetsChamberAndLimit) {
    LocaleGuard german(QLocale(QLocale::German, QLocale::Germany));
    AppFixture f;
    f.writeIni({});
    ASSERT_EQ(f.start(), StartupOutcome::Running);
    KorvatApp& app = f.app();
    f.instrument->mainLine().clearWrittenData();

    app.rgStandardClick(0);
    EXPECT_EQ(app.ini().readString("Preferences", "Standard", "-"), "ASTM");
    EXPECT_EQ(app.ini().readString("Measurement", "LimitFID", "-"), "0,1");
    EXPECT_EQ(f.view.inputs.value(Input::LimitFID), "0,1");
    EXPECT_EQ(app.ini().readInteger("Preferences", "TempMeasurementCell", 0), 27);
    EXPECT_TRUE(f.instrument->mainLine().writtenData().contains("<SS010E\r"));

    app.rgStandardClick(1);
    EXPECT_EQ(app.ini().readString("Preferences", "Standard", "-"), "EN374");
    EXPECT_EQ(f.view.inputs.value(Input::LimitFID), "1,0");
    EXPECT_EQ(app.ini().readString("Measurement", "LimitFID", "-"), "1");
    EXPECT_TRUE(f.instrument->mainLine().writtenData().contains("<SS00E6\r"));
}
