#include "TestSupport.h"
#include "voice/Vocabulary.h"

#include <QDir>
#include <gtest/gtest.h>

using namespace corvalin;
using corvalin::test::TempFolder;

namespace {

// The delivered files are the built-in vocabulary: neither may change without the other.
TEST(DeliveredData, FilesMatchTheBuiltInDefaults) {
    const QString data = test::sourceDir() + QStringLiteral("/data/");
    QString error;
    const IniFile vocabulary = IniFile::load(data + QStringLiteral("CVRSystem.dat"), &error);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    EXPECT_EQ(vocabulary.text().toStdString(), builtInVocabularyFile().text().toStdString());
    const IniFile phrases = IniFile::load(data + QStringLiteral("Phrases.dat"), &error);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    EXPECT_EQ(phrases.text().toStdString(), builtInPhraseFile().text().toStdString());
}

TEST(BuiltInVocabulary, SetsHaveTheirSizesAndSlotDifferences) {
    const struct {
        const char* set;
        int size;
        int key;
        const char* phrase;
    } cases[] = {
        {"1a", 21, 17, "Spin it again!"},
        {"2a", 21, 2, "That was great!"},
        {"3a", 21, 18, "Oh yes."},
        {"4a", 21, 8, "Oh my, my!"},
        {"4a", 21, 2, "That was great."},
        {"4b", 12, 3, "You're staying up all night, with &DJName& here."},
        {"1c", 19, 12, "Here is your favorite,"},
        {"3c", 19, 13, "How about this one."},
        {"2c", 19, 6, "Get ready now! Here is,"},
        {"5a", 4, 4, "And here is the latest from the &StationIdentification& news desk."},
        {"5b", 4, 4, "That's all folks!"},
    };
    for (const auto& c : cases) {
        const QStringList set = builtInPhraseSet(QString::fromLatin1(c.set));
        ASSERT_EQ(set.size(), c.size) << c.set;
        EXPECT_EQ(set[c.key - 1].toStdString(), c.phrase) << c.set << " key " << c.key;
    }
    EXPECT_EQ(phraseSetNames().size(), 14);
    EXPECT_TRUE(builtInPhraseSet(QStringLiteral("6a")).isEmpty());
    const TVocabulary v = TVocabulary::builtIn();
    EXPECT_EQ(v.Intro, QStringLiteral("\\Mrk=700\\"));
    EXPECT_EQ(v.zzDJ26, QStringLiteral(", it is"));
}

class StartUp : public ::testing::Test {
protected:
    void SetUp() override {
        test::writeWholeFile(folder.file(QStringLiteral("CVRSystem.dat")),
                             "[CommonPhrases]\r\nZZDJ1=Hello there,\r\nzzDJ2 =Le\r\n");
        test::writeWholeFile(folder.file(QStringLiteral("Phrases.dat")), "[1a]\r\n1=Shared\r\n");
    }
    TempFolder folder;
};

TEST_F(StartUp, SharedSettingsReadTheSharedFilesWithKeysInAnyCase) {
    const TVoiceStartUp s = ReadVocabulary(folder.path(), true, QStringLiteral("Ann"));
    ASSERT_FALSE(s.error.has_value());
    EXPECT_EQ(s.PhrasesFile, folder.file(QStringLiteral("Phrases.dat")));
    EXPECT_EQ(s.vocabulary.zzDJ1, QStringLiteral("Hello there,"));
    // A blank before "=" makes another key: the default stands.
    EXPECT_EQ(s.vocabulary.zzDJ2, QStringLiteral("The"));
    EXPECT_EQ(s.vocabulary.LongPause, QStringLiteral("\\Pau=500\\"));
    EXPECT_FALSE(QFile::exists(folder.file(QStringLiteral("AnnCVRSystem.dat"))));
}

TEST_F(StartUp, MissingRequiredFileGivesTheSetupErrorText) {
    for (const char* name : {"CVRSystem.dat", "Phrases.dat"}) {
        TempFolder other;
        const QString present = QString::fromLatin1(name) == QStringLiteral("Phrases.dat")
                                    ? QStringLiteral("CVRSystem.dat")
                                    : QStringLiteral("Phrases.dat");
        test::writeWholeFile(other.file(present), "[x]\r\n");
        const TVoiceStartUp s = ReadVocabulary(other.path(), false, QStringLiteral("Ann"));
        ASSERT_TRUE(s.error.has_value()) << name;
        EXPECT_EQ(s.error->toStdString(),
                  "The required system file named\r" + other.path().toStdString() + name +
                      "\ris missing.\rYou may need to reinstall or contact the software vendor.");
        EXPECT_FALSE(QFile::exists(other.file(QStringLiteral("Ann") + present)));
    }
}

TEST_F(StartUp, PerUserCopiesAreMadeOnceAndNeverOverwritten) {
    TVoiceStartUp s = ReadVocabulary(folder.path(), false, QStringLiteral("Ann"));
    ASSERT_FALSE(s.error.has_value());
    EXPECT_EQ(s.PhrasesFile, folder.file(QStringLiteral("AnnPhrases.dat")));
    EXPECT_EQ(test::readWholeFile(folder.file(QStringLiteral("AnnPhrases.dat"))),
              test::readWholeFile(folder.file(QStringLiteral("Phrases.dat"))));
    EXPECT_EQ(s.vocabulary.zzDJ1, QStringLiteral("Hello there,"));

    // The user's own changes survive; later changes to the shared files do not reach the user.
    test::writeWholeFile(folder.file(QStringLiteral("AnnCVRSystem.dat")),
                         "[CommonPhrases]\r\nzzDJ1=Mine,\r\n");
    test::writeWholeFile(folder.file(QStringLiteral("CVRSystem.dat")),
                         "[CommonPhrases]\r\nzzDJ1=Shared again,\r\n");
    s = ReadVocabulary(folder.path(), false, QStringLiteral("Ann"));
    EXPECT_EQ(s.vocabulary.zzDJ1, QStringLiteral("Mine,"));
    EXPECT_EQ(test::readWholeFile(folder.file(QStringLiteral("AnnCVRSystem.dat"))),
              QByteArray("[CommonPhrases]\r\nzzDJ1=Mine,\r\n"));
}

TEST_F(StartUp, UnreadableUserCopyFallsBackToTheSharedVocabulary) {
    // Folders where the copies should be: nothing can be copied or read there.
    ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("BobCVRSystem.dat")));
    ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("BobPhrases.dat")));
    const TVoiceStartUp s = ReadVocabulary(folder.path(), false, QStringLiteral("Bob"));
    ASSERT_FALSE(s.error.has_value());
    EXPECT_EQ(s.vocabulary.zzDJ1, QStringLiteral("Hello there,"));
    EXPECT_EQ(s.PhrasesFile, folder.file(QStringLiteral("BobPhrases.dat")));
}

} // namespace
