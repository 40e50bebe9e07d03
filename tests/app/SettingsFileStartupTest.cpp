// Start-up with a Korvat.ini that a lab's editor, a copy or a disk fault left behind: a file in
// another encoding is read for what it says; a file that holds no settings is named to the
// operator, kept byte for byte beside it and replaced by the defaults; an empty one is filled.

#include "support/AppFixture.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

using namespace korvat;
using korvat::test::AppFixture;
using korvat::test::readBytes;
using korvat::test::writeFile;

TEST(SettingsFileStartup, AFileThatHoldsNoSettingsIsNamedKeptAsideAndReplaced) {
    QByteArray binary("[Language]\r\nCode=US\r\n", 21);
    for (int k = 0; k < 64; ++k)
        binary.append(static_cast<char>(k * 7));
    const struct {
        const char* name;
        QByteArray bytes;
        const char* reason;
    } cases[] = {{"binary", binary, "binary data"},
                 {"no section", "Code=US\r\nTyp=FIDFPD\r\nScale=500\r\n", "no [section]"},
                 {"UTF-16 without its mark", QByteArray("[\0L\0]\0\r\0\n\0", 10), "binary data"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        AppFixture f;
        const QString ini = f.dir + "Korvat.ini";
        writeFile(ini, c.bytes);
        writeFile(ini + ".unreadable", "an earlier one"); // is not written over

        ASSERT_EQ(f.start(), StartupOutcome::Running);
        ASSERT_EQ(f.dialogs.boxes.size(), 1);
        const QString box = f.dialogs.boxes[0].text;
        EXPECT_TRUE(box.contains(ini)) << box.toStdString();
        EXPECT_TRUE(box.contains(c.reason)) << box.toStdString();
        EXPECT_TRUE(box.contains(ini + ".unreadable-2")) << box.toStdString();
        EXPECT_TRUE(f.view.log.join('\n').contains(ini + " is not a settings file"))
            << f.view.log.join('\n').toStdString();

        EXPECT_EQ(readBytes(ini + ".unreadable-2"), c.bytes);
        EXPECT_EQ(readBytes(ini + ".unreadable"), "an earlier one");
        // On with the defaults of a new file, as for a missing one: German, ports COM2 and COM3.
        EXPECT_EQ(f.translatedWith, 0);
        EXPECT_EQ(f.instrument->mainLine().deviceName(), "COM2");
        EXPECT_EQ(f.app().settings().Scale, 10000);
        EXPECT_TRUE(readBytes(ini).startsWith("[Language]\r\nCode=DE\r\n"));
        // And the new file takes settings again.
        f.app().inputs().edited(Input::Scale, "7000");
        f.app().editScaleExit();
        EXPECT_EQ(f.app().ini().readInteger("Measurement", "Scale", 0), 7000);
    }
}

TEST(SettingsFileStartup, AnEmptyFileGetsTheDefaultsAndALogLine) {
    for (const QByteArray& empty : {QByteArray(), QByteArray("\r\n  \r\n")}) {
        AppFixture f;
        writeFile(f.dir + "Korvat.ini", empty);
        ASSERT_EQ(f.start(), StartupOutcome::Running);
        EXPECT_TRUE(f.dialogs.boxes.isEmpty());
        EXPECT_TRUE(f.view.log.join('\n').contains("was empty")) << f.view.log.join('\n').toStdString();
        EXPECT_EQ(f.translatedWith, 0);
        EXPECT_EQ(f.app().settings().Scale, 10000);
        EXPECT_EQ(QDir(f.dir).entryList({"Korvat.ini*"}), QStringList{"Korvat.ini"});
    }
}

TEST(SettingsFileStartup, FilesSavedByAModernEditorAreReadForWhatTheySay) {
    const QByteArray utf8 = "[Language]\r\nCode=DE\r\n[Communication]\r\nComPortA=KORVAT-SIM-A\r\n"
                            "[Measurement]\r\nSampleArea(cm\xC2\xB2)=25\r\nScale=5000\r\n";
    for (const QByteArray& bytes : {utf8, "\xEF\xBB\xBF" + utf8}) {
        AppFixture f;
        writeFile(f.dir + "Korvat.ini", bytes);
        ASSERT_EQ(f.start(), StartupOutcome::Running);
        EXPECT_TRUE(f.dialogs.boxes.isEmpty());
        EXPECT_EQ(f.translatedWith, 0); // the first section is found behind the mark too
        EXPECT_DOUBLE_EQ(f.app().settings().SampleArea, 25);
        EXPECT_EQ(f.app().settings().Scale, 5000);
        EXPECT_EQ(readBytes(f.dir + "Korvat.ini"), bytes); // reading writes nothing
    }
}
