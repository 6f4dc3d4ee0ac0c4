#include "TestSupport.h"
#include "voice/speech/VoiceCatalogue.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <gtest/gtest.h>

namespace corvalin {
namespace {

TEST(SpeechCatalogue, EnglishVoicesComeWithTheAdultVariants) {
    const std::vector<EspeakVoiceInfo> voices{
        {QStringLiteral("Afrikaans"), "gmw/af", "af"},
        {QStringLiteral("English (America)"), "gmw/en-US", "en-us"},
        {QStringLiteral("english-mb-en1"), "mb/mb-en1", "en-uk"},
        {QStringLiteral("English (America)"), "gmw/en-US-dup", "en-us"},
    };
    const std::vector<EspeakVariantInfo> variants{{QStringLiteral("Adult Male 1"), "m1"},
                                                  {QStringLiteral("Adult Female 2"), "f2"}};
    const SpeechCatalogue c = buildSpeechCatalogue(voices, variants);
    const QStringList expected{
        QStringLiteral("Afrikaans"),
        QStringLiteral("English (America)"),
        QStringLiteral("English (America) - Adult Male 1"),
        QStringLiteral("English (America) - Adult Female 2"),
        QStringLiteral("English (America)"),
        QStringLiteral("English (America) - Adult Male 1"),
        QStringLiteral("English (America) - Adult Female 2"),
    };
    EXPECT_EQ(c.SpeechEngineList, expected);
    ASSERT_EQ(c.SpeechEngineModes.size(), std::size_t(expected.size()));
    EXPECT_EQ(c.SpeechEngineModes[2].VoiceId, QByteArray("gmw/en-US+m1"));
    // Letter case does not matter, blanks do; duplicates select the first.
    EXPECT_EQ(c.indexOf(QStringLiteral("english (AMERICA) - adult male 1")), 2);
    EXPECT_EQ(c.indexOf(QStringLiteral("English (America) ")), -1);
    EXPECT_EQ(c.indexOf(QStringLiteral("English (America)")), 1);
}

TEST(SpeechCatalogue, VariantsAreTheAdultOnesInOrder) {
    test::TempFolder folder;
    for (const char* name : {"m10", "f2", "Alex", "m2", "m1", "fast", "f1x"}) {
        test::writeWholeFile(folder.file(QString::fromLatin1(name)), "language variant\n");
    }
    const auto variants = readEspeakVariants(folder.path());
    QStringList names;
    for (const auto& v : variants) {
        names << v.name + QLatin1Char('=') + QString::fromUtf8(v.identifier);
    }
    EXPECT_EQ(
        names,
        QStringList({QStringLiteral("Adult Male 1=m1"), QStringLiteral("Adult Male 2=m2"),
                     QStringLiteral("Adult Male 10=m10"), QStringLiteral("Adult Female 2=f2")}));
}

TEST(SpeechCatalogue, InstalledVoicesHoldTheFourDistinctSlotDefaults) {
    const SpeechCatalogue c = LoadSpeechEngines();
    EXPECT_TRUE(c.SetupError.isEmpty()) << c.SetupError.toStdString();
    const auto& defaults = defaultSlotVoices();
    QSet<QString> distinct;
    for (const QString& name : defaults) {
        const int i = c.indexOf(name);
        ASSERT_GE(i, 0) << name.toStdString();
        EXPECT_EQ(c.SpeechEngineList[i], name) << "written exactly as the catalogue has it";
        EXPECT_TRUE(name.startsWith(QLatin1String("English")) &&
                    name.contains(QLatin1String("Male")));
        distinct.insert(QString::fromUtf8(c.SpeechEngineModes[std::size_t(i)].VoiceId));
    }
    EXPECT_EQ(distinct.size(), 4);
    // Stable: the same catalogue at every start.
    EXPECT_EQ(LoadSpeechEngines().SpeechEngineList, c.SpeechEngineList);
}

TEST(SpeechCatalogue, ListsTheVoicesOfBothEnginesAndTheFliteVoiceFiles) {
    test::TempFolder folder;
    for (const char* name : {"zed.flitevox", "cmu_us_ahw.flitevox", "notes.txt"}) {
        QFile f(folder.path() + QLatin1Char('/') + QLatin1String(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    const SpeechCatalogue c = LoadSpeechEngines(QString(), folder.path());
    ASSERT_GE(c.indexOf(defaultSlotVoices()[0]), 0) << "espeak-ng's voices stay as they were";
    const int slt = c.indexOf(QStringLiteral("flite SLT (us english, female)"));
    ASSERT_GE(slt, 0);
    EXPECT_EQ(c.SpeechEngineModes[std::size_t(slt)].VoiceId, QByteArray("flite:slt"));
    QStringList flite;
    for (const QString& name : c.SpeechEngineList) {
        if (name.startsWith(QLatin1String("Flite "))) {
            flite.append(name);
        }
    }
    EXPECT_EQ(flite, (QStringList{QStringLiteral("Flite slt (US English, female)"),
                                  QStringLiteral("Flite rms (US English, male)"),
                                  QStringLiteral("Flite awb (Scottish English, male)"),
                                  QStringLiteral("Flite kal16 (US English, male, diphone)"),
                                  QStringLiteral("Flite cmu_us_ahw (voice file)"),
                                  QStringLiteral("Flite zed (voice file)")}));
    const int file = c.indexOf(QStringLiteral("Flite zed (voice file)"));
    EXPECT_EQ(c.SpeechEngineModes[std::size_t(file)].VoiceId,
              "flite:" + QFile::encodeName(
                             QDir(folder.path()).absoluteFilePath(QStringLiteral("zed.flitevox"))));
    EXPECT_EQ(c.SpeechEngineList.size(), qsizetype(c.SpeechEngineModes.size()));
}

TEST(SpeechCatalogue, MissingEngineDataGivesTheSetupErrorText) {
    test::TempFolder folder; // a data folder without voices
    const SpeechCatalogue c = LoadSpeechEngines(folder.path());
    EXPECT_TRUE(c.SpeechEngineList.isEmpty());
    EXPECT_TRUE(c.SetupError.startsWith(QString::fromLatin1(kSpeechSetupErrorText)));
    EXPECT_GT(c.SetupError.size(), qsizetype(std::strlen(kSpeechSetupErrorText)));
    EXPECT_FALSE(LoadSpeechEngines().SpeechEngineList.isEmpty())
        << "the installed data is used again";
}

TEST(SpeechCatalogue, ASlotWhoseVoiceIsMissingFallsBackToAWorkingOne) {
    const auto& d = defaultSlotVoices();
    const QStringList all{QStringLiteral("Afrikaans"), QStringLiteral("English (America)"), d[0],
                          d[1]};
    struct Case {
        const char* name;
        QStringList installed;
        QString wanted;
        int slot;
        QString voice;
        bool fellBack;
    };
    const Case cases[] = {
        {"installed", all, QStringLiteral("Afrikaans"), 1, QStringLiteral("Afrikaans"), false},
        {"other case: the catalogue's spelling", all, QStringLiteral("AFRIKAANS"), 1,
         QStringLiteral("Afrikaans"), false},
        {"typed wrongly: the slot's first-start voice", all, QStringLiteral("Afrikans"), 2, d[1],
         true},
        {"trailing blank is another name", all, QStringLiteral("Afrikaans "), 1, d[0], true},
        {"empty", all, QString(), 1, d[0], true},
        {"first-start voice missing too: first English voice", all, QStringLiteral("x"), 3,
         QStringLiteral("English (America)"), true},
        {"no English voice: the first voice",
         {QStringLiteral("German"), QStringLiteral("Afrikaans")},
         QStringLiteral("x"),
         1,
         QStringLiteral("German"),
         true},
        {"news slot", all, QStringLiteral("x"), 5, QStringLiteral("English (America)"), true},
        {"nothing installed", {}, QStringLiteral("x"), 1, QStringLiteral("x"), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const SlotVoice v = slotVoice(c.installed, c.wanted, c.slot);
        EXPECT_EQ(v.voice, c.voice);
        EXPECT_EQ(v.fellBack, c.fellBack);
    }
}

} // namespace
} // namespace corvalin
