// The settings file's bytes: every encoding and line end a lab's editor may leave is read for what
// it says and written back with only the written key's line changed; bytes that are no settings
// are recognised as such and never written over.

#include "shell/Config.h"
#include "shell/IniFile.h"
#include "shell/IniText.h"
#include "support/AppFixture.h"

#include <QStringEncoder>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace korvat;
using korvat::test::readBytes;
using korvat::test::writeFile;

namespace {

// The lines in an encoding, written independently of the program's own encoder.
QByteArray encoded(const QStringList& lines, IniEncoding encoding, const char* eol, bool finalEol) {
    const QString text = lines.join(QLatin1String(eol)) + (finalEol ? QString::fromLatin1(eol) : QString());
    switch (encoding) {
    case IniEncoding::Windows1252: {
        QByteArray out; // the lines below hold only Latin-1 characters and the byte 0x81
        for (const QChar c : text)
            out.append(static_cast<char>(c.unicode()));
        return out;
    }
    case IniEncoding::Utf8: return QStringEncoder(QStringEncoder::Utf8)(text);
    case IniEncoding::Utf16LE:
        return QStringEncoder(QStringEncoder::Utf16LE, QStringConverter::Flag::WriteBom)(text);
    case IniEncoding::Utf16BE:
        return QStringEncoder(QStringEncoder::Utf16BE, QStringConverter::Flag::WriteBom)(text);
    }
    return {};
}

} // namespace

TEST(IniText, EveryEncodingAndLineEndIsReadAndKeptByAWrite) {
    struct Encoding {
        const char* name;
        IniEncoding encoding;
        bool bom;
    };
    const Encoding encodings[] = {{"Windows-1252", IniEncoding::Windows1252, false},
                                  {"UTF-8", IniEncoding::Utf8, false},
                                  {"UTF-8 with BOM", IniEncoding::Utf8, true},
                                  {"UTF-16 LE", IniEncoding::Utf16LE, true},
                                  {"UTF-16 BE", IniEncoding::Utf16BE, true}};
    const char* lineEnds[] = {"\r\n", "\n", "\r"};
    // A key in its section, a key beyond it, a line of odd characters, and text after the last
    // section that the write must not touch.
    const QStringList before{"[Language]", "Code=DE", "[Measurement]", "SampleArea(cm\u00b2)=25",
                             "FIDSampleFactorName1=\u00c1rea \u00b5", "; Pr\u00fcfung",
                             "[Info]", "SampleInfo1=alt", "SampleInfo2=x"};
    QStringList after = before;
    after[7] = "SampleInfo1=Gl\u00f6ve 7";

    for (const Encoding& e : encodings) {
        for (const char* eol : lineEnds) {
            for (const bool finalEol : {true, false}) {
                SCOPED_TRACE(QStringLiteral("%1, %2, final line end %3")
                                 .arg(e.name, QString::fromLatin1(eol).toUtf8().toPercentEncoding(),
                                      finalEol ? "yes" : "no")
                                 .toStdString());
                QTemporaryDir dir;
                IniFile ini(dir.filePath("Korvat.ini"));
                QByteArray bytes = encoded(before, e.encoding, eol, finalEol);
                if (e.bom && e.encoding == IniEncoding::Utf8)
                    bytes.prepend("\xEF\xBB\xBF");
                writeFile(ini.path(), bytes);

                const auto doc = decodeIniText(bytes);
                EXPECT_EQ(doc.encoding, e.encoding);
                EXPECT_EQ(doc.byteOrderMark, e.bom);
                EXPECT_EQ(doc.verdict, IniVerdict::Settings);
                EXPECT_EQ(encodeIniText(doc), bytes);

                EXPECT_EQ(ini.readString("Language", "Code", "-"), "DE");
                EXPECT_EQ(ini.readString("Measurement", "FIDSampleFactorName1", "-"), "\u00c1rea \u00b5");
                EXPECT_EQ(ini.readString("Info", "SampleInfo2", "-"), "x");
                Settings s;
                ASSERT_TRUE(loadSettings(ini, s).isEmpty());
                EXPECT_DOUBLE_EQ(s.SampleArea, 25);

                ASSERT_TRUE(ini.writeString("Info", "Sampleinfo1", "Gl\u00f6ve 7")) << ini.lastError().toStdString();
                QStringList expected = after;
                expected[7] = "Sampleinfo1=Gl\u00f6ve 7"; // the key as the handler names it
                QByteArray expectedBytes = encoded(expected, e.encoding, eol, finalEol);
                if (e.bom && e.encoding == IniEncoding::Utf8)
                    expectedBytes.prepend("\xEF\xBB\xBF");
                EXPECT_EQ(readBytes(ini.path()), expectedBytes);
                EXPECT_EQ(ini.readString("Info", "SampleInfo1", "-"), "Gl\u00f6ve 7");
            }
        }
    }
}

TEST(IniText, NewKeysTakeTheFilesLineEndAndAMissingFinalLineEndStaysMissing) {
    const struct {
        const char* name;
        QByteArray before, after;
    } cases[] = {
        {"LF, new key in its section", "[Info]\nSampleInfo1=a\n[Other]\nx=1\n",
         "[Info]\nSampleInfo1=a\nSampleInfo2=b\n[Other]\nx=1\n"},
        {"CR, new section at the end, no final line end", "[Other]\rx=1",
         "[Other]\rx=1\r[Info]\rSampleInfo2=b"},
        {"mixed, most lines LF", "[Other]\r\nx=1\ny=2\nz=3\n", "[Other]\r\nx=1\ny=2\nz=3\n[Info]\nSampleInfo2=b\n"},
        {"UTF-8 with BOM, empty otherwise", "\xEF\xBB\xBF", "\xEF\xBB\xBF[Info]\r\nSampleInfo2=b\r\n"},
        {"a file of the program's own", "", "[Info]\r\nSampleInfo2=b\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        IniFile ini(dir.filePath("Korvat.ini"));
        if (!c.before.isEmpty())
            writeFile(ini.path(), c.before);
        ASSERT_TRUE(ini.writeString("Info", "SampleInfo2", "b")) << ini.lastError().toStdString();
        EXPECT_EQ(readBytes(ini.path()), c.after);
    }
}

TEST(IniText, EveryByteSurvivesAWriteOfAnotherKey) {
    // Typed into the file in UTF-8 while "²" is still the program's single byte: not valid UTF-8
    // as a whole, so Windows-1252, and "Á" (C3 81) holds an unassigned byte.
    QByteArray all;
    for (int b = 0x20; b < 0x100; ++b)
        all.append(static_cast<char>(b));
    const QByteArray before = "[Info]\r\nSampleInfo1=\xC3\x81rea\r\nSampleInfo3=" + all +
                              "\r\n[Measurement]\r\nSampleArea(cm\xB2)=19,6\r\n";
    QTemporaryDir dir;
    IniFile ini(dir.filePath("Korvat.ini"));
    writeFile(ini.path(), before);
    ASSERT_TRUE(ini.writeString("Info", "SampleInfo2", "b"));
    QByteArray expected = before;
    expected.insert(expected.indexOf("[Measurement]"), "SampleInfo2=b\r\n");
    EXPECT_EQ(readBytes(ini.path()), expected);
    // The line the write touches is written back whole as well.
    ASSERT_TRUE(ini.writeString("Info", "SampleInfo1", ini.readString("Info", "SampleInfo1", "-")));
    EXPECT_EQ(readBytes(ini.path()), expected);
}

TEST(IniText, BytesThatAreNoSettingsAreRecognised) {
    QByteArray binary = "[Info]\r\nx=1\r\n";
    binary.append('\0').append("\x01\x02\x03");
    QByteArray noise;
    for (int k = 0; k < 200; ++k)
        noise.append(static_cast<char>(k % 31 + 1));
    const struct {
        const char* name;
        QByteArray bytes;
        IniVerdict verdict;
        const char* reason;
    } cases[] = {
        {"0 bytes", "", IniVerdict::Empty, ""},
        {"blank lines", " \r\n\t\r\n", IniVerdict::Empty, ""},
        {"a byte-order mark alone", "\xFF\xFE", IniVerdict::Empty, ""},
        {"a zero byte", binary, IniVerdict::NotSettings, "zero byte at offset 13"},
        {"UTF-16 without its mark", QByteArray("[\0I\0]\0\r\0\n\0", 10), IniVerdict::NotSettings,
         "zero byte at offset 1"},
        {"control characters", "[Info]\n" + noise, IniVerdict::NotSettings, "control characters"},
        {"no section", "Code=DE\r\nTyp=FID\r\n", IniVerdict::NotSettings, "no [section]"},
        {"cut-off UTF-16", QByteArray("\xFF\xFE[\0I\0]\0\r", 9), IniVerdict::NotSettings, "UTF-16"},
        {"a section", "\r\n[Info]", IniVerdict::Settings, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const IniDocument doc = decodeIniText(c.bytes);
        EXPECT_EQ(doc.verdict, c.verdict);
        EXPECT_TRUE(doc.reason.contains(QLatin1String(c.reason))) << doc.reason.toStdString();
        EXPECT_EQ(encodeIniText(doc), c.bytes); // lossless whatever the verdict
    }
}

TEST(IniText, BytesThatAreNoSettingsGiveNoValuesAndAreNeverWrittenOver) {
    QTemporaryDir dir;
    IniFile ini(dir.filePath("Korvat.ini"));
    const QByteArray binary("[Language]\r\nCode=DE\r\n\0\0\0", 24);
    writeFile(ini.path(), binary);
    EXPECT_EQ(ini.readString("Language", "Code", "US"), "US");
    EXPECT_FALSE(ini.writeString("Language", "Code", "DE"));
    EXPECT_TRUE(ini.lastError().contains(ini.path())) << ini.lastError().toStdString();
    EXPECT_TRUE(ini.lastError().contains("binary")) << ini.lastError().toStdString();
    EXPECT_EQ(readBytes(ini.path()), binary);

    ASSERT_TRUE(ini.replaceAll({{"Language", "Code", "DE"}}));
    EXPECT_EQ(readBytes(ini.path()), "[Language]\r\nCode=DE\r\n");
}

TEST(IniText, AFileThatCannotBeReadIsNotWrittenOver) {
    QTemporaryDir dir;
    IniFile ini(dir.filePath("Korvat.ini"));
    writeFile(ini.path(), "[Language]\r\nCode=DE\r\n[Info]\r\nSampleInfo1=keep\r\n");
    QFile::setPermissions(ini.path(), QFileDevice::WriteOwner);
    if (QFile(ini.path()).open(QIODevice::ReadOnly))
        GTEST_SKIP() << "permissions do not hold for this user";
    EXPECT_FALSE(ini.writeString("Language", "Code", "US"));
    EXPECT_TRUE(ini.lastError().contains(ini.path()));
    QFile::setPermissions(ini.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    EXPECT_EQ(ini.readString("Info", "SampleInfo1", "-"), "keep");
}
