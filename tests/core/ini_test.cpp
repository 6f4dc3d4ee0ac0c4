#include "TestSupport.h"
#include "core/IniFile.h"

#include <gtest/gtest.h>

namespace corvalin {
namespace {

TEST(IniFile, ReadsEntriesAsWritten) {
    const IniFile ini = IniFile::parse(QString::fromUtf8("Orphan=before any section\n"
                                                         "[General]\r\n"
                                                         "; Name=commented out\r\n"
                                                         "Name=first\r\n"
                                                         "NAME=second\n"
                                                         " Padded = a value \n"
                                                         "Url=http://x/?a=b\n"
                                                         "not an entry\n"
                                                         "\n"
                                                         "[Other]\n"
                                                         "Name=other\n"
                                                         "[general]\n"
                                                         "Late=appended\n"
                                                         "Name=third\n"));
    EXPECT_FALSE(ini.hasKey(QStringLiteral("General"), QStringLiteral("Orphan")));
    EXPECT_EQ(ini.value(QStringLiteral("GENERAL"), QStringLiteral("name")),
              QStringLiteral("first"));
    EXPECT_EQ(ini.value(QStringLiteral("General"), QStringLiteral(" Padded ")),
              QStringLiteral(" a value "));
    EXPECT_FALSE(ini.hasKey(QStringLiteral("General"), QStringLiteral("Padded")));
    EXPECT_EQ(ini.value(QStringLiteral("General"), QStringLiteral("Url")),
              QStringLiteral("http://x/?a=b"));
    EXPECT_EQ(ini.value(QStringLiteral("General"), QStringLiteral("Late")),
              QStringLiteral("appended"));
    EXPECT_EQ(ini.value(QStringLiteral("Other"), QStringLiteral("Name")), QStringLiteral("other"));
    EXPECT_EQ(ini.sectionNames(),
              QStringList({QStringLiteral("General"), QStringLiteral("Other")}));
    EXPECT_FALSE(ini.value(QStringLiteral("Missing"), QStringLiteral("Name")).has_value());

    // A byte order mark, as some editors write one, does not hide the first section.
    EXPECT_EQ(IniFile::parse(QString::fromUtf8("\xEF\xBB\xBF[S]\r\nK=v\r\n"))
                  .value(QStringLiteral("S"), QStringLiteral("K")),
              QStringLiteral("v"));
}

TEST(IniFile, WritesBackInPlaceAppendedAndNewSections) {
    IniFile ini = IniFile::parse(QStringLiteral("; header comment\n"
                                                "[A]\n"
                                                "Key=1\n"
                                                "Key=duplicate\n"
                                                "Other=x\n"
                                                "\n\n"
                                                "[B]\n"
                                                "Y=2\n"));
    ini.writeString(QStringLiteral("a"), QStringLiteral("KEY"), QStringLiteral("9"));
    ini.writeInteger(QStringLiteral("A"), QStringLiteral("New"), 3);
    ini.writeBool(QStringLiteral("C"), QStringLiteral("Flag"), true);
    ini.writeString(QStringLiteral("C"), QStringLiteral("Text"),
                    QStringLiteral("line one\r\nline two"));
    EXPECT_EQ(ini.text(), QStringLiteral("[A]\r\nKey=9\r\nKey=duplicate\r\nOther=x\r\nNew=3\r\n\r\n"
                                         "[B]\r\nY=2\r\n\r\n"
                                         "[C]\r\nFlag=1\r\nText=line one\r\n\r\n"));
    EXPECT_EQ(IniFile::parse(ini.text()).text(), ini.text());
}

TEST(IniFile, TypedValuesFallBackToTheirDefaults) {
    const IniFile ini = IniFile::parse(QStringLiteral("[S]\n"
                                                      "Int=42\n"
                                                      "Negative=-500\n"
                                                      "Bad=12abc\n"
                                                      "Empty=\n"
                                                      "Two=2\n"
                                                      "Zero=0\n"
                                                      "Time=07:30:15\n"
                                                      "Short=7:05\n"
                                                      "BadTime=25:99\n"));
    const QString s = QStringLiteral("S");
    EXPECT_EQ(ini.readInteger(s, QStringLiteral("Int"), 1), 42);
    EXPECT_EQ(ini.readInteger(s, QStringLiteral("Negative"), 1), -500);
    EXPECT_EQ(ini.readInteger(s, QStringLiteral("Bad"), 1), 1);
    EXPECT_EQ(ini.readInteger(s, QStringLiteral("Empty"), 1), 1);
    EXPECT_EQ(ini.readInteger(s, QStringLiteral("Missing"), 1), 1);
    EXPECT_TRUE(ini.readBool(s, QStringLiteral("Two"), false));
    EXPECT_FALSE(ini.readBool(s, QStringLiteral("Zero"), true));
    EXPECT_TRUE(ini.readBool(s, QStringLiteral("Bad"), true));
    EXPECT_EQ(ini.readString(s, QStringLiteral("Empty"), QStringLiteral("d")), QString());
    EXPECT_EQ(ini.readString(s, QStringLiteral("Missing"), QStringLiteral("d")),
              QStringLiteral("d"));
    const QTime def(1, 2, 3);
    EXPECT_EQ(ini.readTime(s, QStringLiteral("Time"), def), QTime(7, 30, 15));
    EXPECT_EQ(ini.readTime(s, QStringLiteral("Short"), def), QTime(7, 5));
    EXPECT_EQ(ini.readTime(s, QStringLiteral("BadTime"), def), def);
    EXPECT_EQ(ini.readTime(s, QStringLiteral("Empty"), def), def);

    IniFile out;
    out.writeTime(s, QStringLiteral("T"), QTime(6, 4, 9));
    EXPECT_EQ(out.value(s, QStringLiteral("T")), QStringLiteral("06:04:09"));
    EXPECT_EQ(out.readTime(s, QStringLiteral("T"), def), QTime(6, 4, 9));
}

TEST(IniFile, MissingFileReadsAsEmptyAndSaveRoundTrips) {
    test::TempFolder folder;
    QString error;
    EXPECT_TRUE(
        IniFile::load(folder.file(QStringLiteral("none.ini")), &error).sectionNames().isEmpty());
    EXPECT_TRUE(error.isEmpty());

    // A folder where the file should be: exists, yet cannot be read.
    const IniFile unreadable = IniFile::load(folder.path(), &error);
    EXPECT_TRUE(unreadable.sectionNames().isEmpty());
    EXPECT_FALSE(error.isEmpty());

    const QString path = folder.file(QStringLiteral("s.ini"));
    test::writeWholeFile(path, "[S]\nÄ=ü value\n");
    IniFile ini = IniFile::load(path);
    EXPECT_EQ(ini.value(QStringLiteral("s"), QStringLiteral("ä")), QStringLiteral("ü value"));
    ini.writeString(QStringLiteral("S"), QStringLiteral("New"), QStringLiteral("v"));
    ASSERT_TRUE(ini.save(path));
    EXPECT_EQ(test::readWholeFile(path),
              QByteArray("[S]\r\n\xC3\x84=\xC3\xBC value\r\nNew=v\r\n\r\n"));
}

// What a save would drop, or what cannot be INI text, is damage; everything the program writes
// (and comments, blank lines) is not.
TEST(IniFile, DamageIsWhatTheReaderCannotPlace) {
    const struct {
        QByteArray bytes;
        const char* damage; // a word of the reason; nullptr: sound
    } cases[] = {
        {"", nullptr},
        {"[Screen]\r\nRestart=1\r\n\r\n; a note\r\n# another\r\n[DJ1]\nName=\n", nullptr},
        {"\xEF\xBB\xBF[S]\nK=V\n", nullptr},
        {"[S]\nK=\xC3\xBC\n", nullptr},
        {QByteArrayLiteral("[S]\nK=V\n\0\0\0"), "NUL"},
        {"[S]\nK=\xFC\n", "UTF-8"},
        {"[Screen]\nRestart=1\ngarbage here\n", "line 3"},
        {"Restart=1\n", nullptr}, // before any section: an entry all the same
        {"\x89PNG\r\n", "UTF-8"},
        {"just words\n[S]\nK=V\n", "line 1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes.toStdString());
        const QString damage = IniFile::damageIn(c.bytes);
        if (c.damage == nullptr)
            EXPECT_TRUE(damage.isEmpty()) << damage.toStdString();
        else
            EXPECT_TRUE(damage.contains(QString::fromUtf8(c.damage))) << damage.toStdString();
    }
}

} // namespace
} // namespace corvalin
