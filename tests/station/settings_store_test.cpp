#include "TestSupport.h"
#include "station/SettingsStore.h"
#include "voice/speech/VoiceCatalogue.h"

#include <QDir>
#include <QFile>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace corvalin {
namespace {

using test::modeOf;

class SettingsStoreTest : public ::testing::Test {
protected:
    test::TempFolder station;
    test::TempFolder home;
    SettingsPaths paths{station.path(), home.path() + QStringLiteral("xdg")};
    SettingsStore store{paths};
    const QTime now{14, 25, 36};

    IniFile shared() const { return IniFile::load(paths.sharedFile()); }
    IniFile perUser() const { return IniFile::load(paths.perUserFile()); }

    // What the main window does at start: creation reads, then ReadIni.
    StationSettings start(bool* zipNeeded = nullptr) const {
        StationSettings s;
        EXPECT_TRUE(store.readAtCreate(s));
        const bool needed = store.readIni(s, now);
        if (zipNeeded)
            *zipNeeded = needed;
        return s;
    }
};

void expectSameSettings(const StationSettings& a, const StationSettings& b) {
    EXPECT_EQ(a.SameSettings, b.SameSettings);
    EXPECT_EQ(a.StartPlay, b.StartPlay);
    EXPECT_EQ(a.Top, b.Top);
    EXPECT_EQ(a.Left, b.Left);
    EXPECT_EQ(a.LastDir1, b.LastDir1);
    EXPECT_EQ(a.LastDir2, b.LastDir2);
    EXPECT_EQ(a.WaveVolume, b.WaveVolume);
    EXPECT_EQ(a.PlayerVolume, b.PlayerVolume);
    EXPECT_EQ(a.DJVolume, b.DJVolume);
    EXPECT_EQ(a.DJVolumeMin, b.DJVolumeMin);
    EXPECT_EQ(a.DJVolumeMax, b.DJVolumeMax);
    EXPECT_EQ(a.DJVolumeInc, b.DJVolumeInc);
    EXPECT_EQ(a.StationIdentification, b.StationIdentification);
    EXPECT_EQ(a.ManagerTab, b.ManagerTab);
    EXPECT_EQ(a.CrossFade, b.CrossFade);
    EXPECT_EQ(a.ArtistSource, b.ArtistSource);
    EXPECT_EQ(a.PublicService, b.PublicService);
    EXPECT_EQ(a.AutoStartTime, b.AutoStartTime);
    EXPECT_EQ(a.AutoStopTime, b.AutoStopTime);
    EXPECT_EQ(a.AutoStart, b.AutoStart);
    EXPECT_EQ(a.AutoStop, b.AutoStop);
    EXPECT_EQ(a.Duplicates, b.Duplicates);
    for (int slot = 1; slot <= kNewsSlot; ++slot) {
        const _rDJ& x = a.DJSlots[static_cast<std::size_t>(slot)];
        const _rDJ& y = b.DJSlots[static_cast<std::size_t>(slot)];
        if (slot != kNewsSlot) {
            EXPECT_EQ(x.Name, y.Name) << slot;
            EXPECT_EQ(x.SpeechEngine, y.SpeechEngine) << slot;
            EXPECT_EQ(x.PlayList, y.PlayList) << slot;
            EXPECT_EQ(x.ListOrder, y.ListOrder) << slot;
        }
        EXPECT_EQ(x.FrequencyType, y.FrequencyType) << slot;
        EXPECT_EQ(x.FrequencyMinutes, y.FrequencyMinutes) << slot;
        EXPECT_EQ(x.FrequencySongs, y.FrequencySongs) << slot;
    }
    EXPECT_EQ(a.ZipCode, b.ZipCode);
    EXPECT_EQ(a.ReadNews, b.ReadNews);
    EXPECT_EQ(a.ReadWeather, b.ReadWeather);
}

TEST_F(SettingsStoreTest, FirstStartGivesTheDefaultsAndAsksForTheZipCode) {
    bool zipNeeded = false;
    const StationSettings s = start(&zipNeeded);
    EXPECT_TRUE(zipNeeded);
    expectSameSettings(s, defaultSettings(station.path(), now));

    EXPECT_FALSE(s.SameSettings);
    EXPECT_FALSE(s.Restart);
    EXPECT_TRUE(s.StartPlay);
    EXPECT_EQ(s.WaveVolume, 65535);
    EXPECT_EQ(s.PlayerVolume, -500);
    EXPECT_EQ(s.DJVolumeInc, 6500);
    EXPECT_EQ(s.StationIdentification, QStringLiteral("Z99 Rockin' Zebra"));
    EXPECT_EQ(s.CrossFade, 6);
    EXPECT_EQ(s.ArtistSource, 2);
    EXPECT_EQ(s.AutoStartTime, now);
    EXPECT_EQ(s.LastDir1, station.path() + QStringLiteral("MP3 Files/"));
    const char* names[] = {"Joe Early", "Al Cafe", "Sam Smooth", "Manfred Moonlight"};
    const char* lists[] = {"Morning", "Afternoon", "Evening", "Midnight"};
    for (int slot = 1; slot <= kSlotCount; ++slot) {
        const _rDJ& dj = s.DJSlots[static_cast<std::size_t>(slot)];
        EXPECT_EQ(dj.Name, QString::fromUtf8(names[slot - 1]));
        EXPECT_EQ(dj.PlayList,
                  station.path() +
                      QStringLiteral("Lists/%1.lst").arg(QString::fromUtf8(lists[slot - 1])));
        EXPECT_EQ(dj.SpeechEngine, defaultSlotVoices()[static_cast<std::size_t>(slot - 1)]);
        EXPECT_EQ(dj.FrequencyType, ftSongs);
        EXPECT_EQ(dj.FrequencySongs, 2);
        EXPECT_EQ(dj.ListOrder, loOriginal);
    }
    EXPECT_EQ(s.DJSlots[kNewsSlot].FrequencyType, ftMinutes);
    EXPECT_EQ(s.DJSlots[kNewsSlot].FrequencyMinutes, 30);
    EXPECT_EQ(s.DJSlots[kNewsSlot].FrequencySongs, 12);
    EXPECT_EQ(s.ZipCode, QStringLiteral("00000"));

    // Only the crash flag was written, into a private per-user store.
    EXPECT_FALSE(QFile::exists(paths.sharedFile()));
    EXPECT_EQ(perUser().text(), QStringLiteral("[Screen]\r\nRestart=1\r\n\r\n"));
    EXPECT_EQ(modeOf(paths.perUserFolder()), 0700u);
    EXPECT_EQ(modeOf(paths.perUserFile()), 0600u);
}

TEST_F(SettingsStoreTest, EverySavedValueIsReadBackAtTheNextStart) {
    StationSettings s = start();
    s.StationIdentification = QStringLiteral("KXYZ 101.5");
    s.CrossFade = 9;
    s.ManagerTab = 3;
    s.ArtistSource = 0;
    s.PublicService = QStringLiteral("Give blood");
    s.AutoStartTime = QTime(7, 0);
    s.AutoStopTime = QTime(23, 59, 59);
    s.AutoStart = true;
    s.AutoStop = true;
    s.StartPlay = false;
    for (int slot = 1; slot <= kNewsSlot; ++slot) {
        _rDJ& dj = s.DJSlots[static_cast<std::size_t>(slot)];
        if (slot != kNewsSlot) {
            dj.Name = QStringLiteral("DJ %1").arg(slot);
            dj.SpeechEngine = QStringLiteral("Voice %1").arg(slot);
            dj.PlayList = QStringLiteral("/music/list%1.lst").arg(slot);
            dj.ListOrder = loRandom;
        }
        dj.FrequencyType = slot % 4;
        dj.FrequencyMinutes = 10 + slot;
        dj.FrequencySongs = 3 + slot;
    }
    s.ZipCode = QStringLiteral(" 12345 ");
    s.ReadNews = false;
    s.ReadWeather = false;
    ASSERT_TRUE(store.writeManagerOK(s));
    s.Top = 120;
    s.Left = -8;
    s.WaveVolume = 30000;
    s.PlayerVolume = -1200;
    s.DJVolume = 40;
    s.DJVolumeMin = 0;
    s.DJVolumeMax = 100;
    s.DJVolumeInc = 10;
    s.LastDir1 = QStringLiteral("/music/a/");
    s.LastDir2 = QStringLiteral("/music/b/");
    s.Duplicates = false;
    ASSERT_TRUE(store.writeAtClose(s));

    bool zipNeeded = true;
    const StationSettings again = start(&zipNeeded);
    EXPECT_FALSE(zipNeeded);
    expectSameSettings(again, s);
    EXPECT_FALSE(again.Restart);
}

TEST_F(SettingsStoreTest, RestartFlagMarksARunInProgress) {
    StationSettings first = start();
    EXPECT_FALSE(first.Restart);
    // Killed: the next start finds the flag still set.
    StationSettings second = start();
    EXPECT_TRUE(second.Restart);
    ASSERT_TRUE(store.writeAtClose(second));
    EXPECT_EQ(perUser().value(QStringLiteral("Screen"), QStringLiteral("Restart")),
              QStringLiteral("0"));
    EXPECT_FALSE(start().Restart);
}

TEST_F(SettingsStoreTest, ManagerSpellsCrossfadeItsOwnWayAndTheReaderFindsIt) {
    StationSettings s = start();
    s.CrossFade = 11;
    ASSERT_TRUE(store.writeManagerOK(s));
    const IniFile written = perUser();
    EXPECT_TRUE(written.text().contains(QStringLiteral("\r\nCrossfade=11\r\n")));
    EXPECT_EQ(start().CrossFade, 11);

    // A key already spelled "CrossFade" is replaced in place, never doubled.
    QDir().mkpath(paths.perUserFolder());
    test::writeWholeFile(paths.perUserFile(), "[General]\nCrossFade=4\n");
    ASSERT_TRUE(store.writeManagerOK(s));
    const IniFile rewritten = perUser();
    const auto& general = rewritten.entries(QStringLiteral("General"));
    EXPECT_EQ(std::count_if(general.begin(), general.end(),
                            [](const IniFile::Entry& e) {
                                return e.key.compare(QStringLiteral("crossfade"),
                                                     Qt::CaseInsensitive) == 0;
                            }),
              1);
    EXPECT_EQ(start().CrossFade, 11);
}

TEST_F(SettingsStoreTest, PublicServiceIsTrimmedAndKeepsItsFirstLineOnly) {
    StationSettings s = start();
    s.PublicService = QStringLiteral("  Adopt a pet today.\r\nCall 555-0100.  ");
    ASSERT_TRUE(store.writeManagerOK(s));
    EXPECT_EQ(start().PublicService, QStringLiteral("Adopt a pet today."));

    test::writeWholeFile(paths.perUserFile(), "[General]\nPublicService=   Vote Tuesday   \n");
    EXPECT_EQ(start().PublicService, QStringLiteral("Vote Tuesday"));
}

TEST_F(SettingsStoreTest, MalformedValuesGiveTheirDefaults) {
    QDir().mkpath(paths.perUserFolder());
    test::writeWholeFile(paths.perUserFile(), "[General]\n"
                                              "CrossFade=six\n"
                                              "AutoStartTime=25:99\n"
                                              "AutoStopTime=\n"
                                              "[DJ2]\n"
                                              "FrequencySongs=\n"
                                              "Name=\n"
                                              "[Volume]\n"
                                              "Player=loud\n");
    const StationSettings s = start();
    EXPECT_EQ(s.CrossFade, 6);
    EXPECT_EQ(s.AutoStartTime, now);
    EXPECT_EQ(s.AutoStopTime, now);
    EXPECT_EQ(s.DJSlots[2].FrequencySongs, 2);
    EXPECT_EQ(s.DJSlots[2].Name, QString()); // present though empty: as written
    EXPECT_EQ(s.PlayerVolume, -500);
}

TEST_F(SettingsStoreTest, SameSettingsSelectsTheStore) {
    StationSettings s = start();
    s.StationIdentification = QStringLiteral("Private Radio");
    ASSERT_TRUE(store.writeManagerOK(s));

    s.SameSettings = true;
    s.StationIdentification = QStringLiteral("Shared Radio");
    ASSERT_TRUE(store.writeManagerOK(s));
    EXPECT_TRUE(store.readSameSettings());
    EXPECT_EQ(shared().value(QStringLiteral("Screen"), QStringLiteral("SameSettings")),
              QStringLiteral("1"));
    EXPECT_EQ(shared().value(QStringLiteral("General"), QStringLiteral("StationIdentification")),
              QStringLiteral("Shared Radio"));
    // The other store is neither copied nor emptied.
    EXPECT_EQ(perUser().value(QStringLiteral("General"), QStringLiteral("StationIdentification")),
              QStringLiteral("Private Radio"));

    StationSettings next = start();
    EXPECT_TRUE(next.SameSettings);
    EXPECT_EQ(next.StationIdentification, QStringLiteral("Shared Radio"));
    EXPECT_EQ(shared().value(QStringLiteral("Screen"), QStringLiteral("Restart")),
              QStringLiteral("1"));

    next.SameSettings = false;
    next.StationIdentification = QStringLiteral("Mine again");
    ASSERT_TRUE(store.writeManagerOK(next));
    EXPECT_EQ(shared().value(QStringLiteral("Screen"), QStringLiteral("SameSettings")),
              QStringLiteral("0"));
    EXPECT_EQ(shared().value(QStringLiteral("General"), QStringLiteral("StationIdentification")),
              QStringLiteral("Shared Radio"));
    EXPECT_EQ(start().StationIdentification, QStringLiteral("Mine again"));
}

TEST_F(SettingsStoreTest, ZipCodeAnswerIsStoredOnce) {
    bool zipNeeded = false;
    StationSettings s = start(&zipNeeded);
    ASSERT_TRUE(zipNeeded);
    EXPECT_EQ(s.News, builtInDefinitionsInForce(QStringLiteral("00000")));
    s.ZipCode = QStringLiteral("54321");
    s.News.WeatherURL = kBuiltInWeatherPrefix + s.ZipCode;
    ASSERT_TRUE(store.writeZipCode(s));

    const StationSettings again = start(&zipNeeded);
    EXPECT_FALSE(zipNeeded);
    EXPECT_EQ(again.ZipCode, QStringLiteral("54321"));
    EXPECT_EQ(again.News.WeatherURL, kBuiltInWeatherPrefix + QStringLiteral("54321"));
    EXPECT_EQ(again.News.NewsURL, kBuiltInNewsURL);
}

TEST_F(SettingsStoreTest, WriteFailuresReachTheCallerAndNothingIsLost) {
    // A store that exists but cannot be read gives defaults and is never overwritten.
    ASSERT_TRUE(QDir().mkpath(paths.perUserFile()));
    StationSettings s;
    const FileResult created = store.readAtCreate(s);
    EXPECT_FALSE(created);
    EXPECT_TRUE(created.error.contains(paths.perUserFile())) << created.error.toStdString();
    EXPECT_EQ(s.WaveVolume, 65535);
    EXPECT_FALSE(store.writeAtClose(s));
    EXPECT_TRUE(QFileInfo(paths.perUserFile()).isDir());

    // The shared file cannot be written: the per-user store is left alone.
    const SettingsStore lost(SettingsPaths{station.path() + QStringLiteral("gone/"),
                                           home.path() + QStringLiteral("other")});
    EXPECT_FALSE(lost.writeManagerOK(s));
    EXPECT_FALSE(QFile::exists(lost.paths().perUserFolder()));
}

TEST_F(SettingsStoreTest, PerUserFolderIsMadePrivate) {
    ASSERT_TRUE(QDir().mkpath(paths.perUserFolder()));
    ASSERT_EQ(::chmod(QFile::encodeName(paths.perUserFolder()).constData(), 0755), 0);
    StationSettings s;
    ASSERT_TRUE(store.readAtCreate(s));
    EXPECT_EQ(modeOf(paths.perUserFolder()), 0700u);
}

TEST_F(SettingsStoreTest, DJVolumeFileIsSeparateFromTheStore) {
    EXPECT_EQ(store.readDJVolumeFile(65535), 65535);
    ASSERT_TRUE(store.writeDJVolumeFile(30000));
    EXPECT_EQ(paths.djVolumeFile(), station.path() + QStringLiteral("CorvalinRadio"));
    EXPECT_EQ(test::readWholeFile(paths.djVolumeFile()),
              QByteArray("[Volume]\r\nDJ=30000\r\n\r\n"));
    EXPECT_EQ(store.readDJVolumeFile(65535), 30000);
    EXPECT_FALSE(QFile::exists(paths.perUserFile()));
    EXPECT_FALSE(QFile::exists(paths.sharedFile()));
}

TEST(SettingsPaths, ConfigHomeFollowsXdgConfigHome) {
    const QByteArray savedXdg = qgetenv("XDG_CONFIG_HOME");
    const QByteArray savedHome = qgetenv("HOME");
    qputenv("XDG_CONFIG_HOME", "/tmp/cfg-root");
    EXPECT_EQ(SettingsPaths::defaultConfigHome(), QStringLiteral("/tmp/cfg-root"));
    EXPECT_EQ(SettingsPaths::forCurrentUser(QStringLiteral("/opt/radio/")).perUserFile(),
              QStringLiteral("/tmp/cfg-root/CorvalinRadio/CorvalinRadio.ini"));
    qputenv("XDG_CONFIG_HOME", "relative/is/ignored");
    qputenv("HOME", "/home/dj");
    EXPECT_EQ(SettingsPaths::defaultConfigHome(), QStringLiteral("/home/dj/.config"));
    qputenv("XDG_CONFIG_HOME", savedXdg);
    qputenv("HOME", savedHome);
}

// Values edited by hand or damaged come back inside the ranges the controls can show.
TEST_F(SettingsStoreTest, OutOfRangeNumbersAreBroughtIntoTheirControlsRanges) {
    struct Case {
        const char* section;
        const char* key;
        int stored;
        std::function<int(const StationSettings&)> read;
        int expected;
    };
    const Case cases[] = {
        {"General", "Crossfade", -10, [](const StationSettings& s) { return s.CrossFade; }, 1},
        {"General", "Crossfade", 99, [](const StationSettings& s) { return s.CrossFade; }, 12},
        {"General", "Tab", 9, [](const StationSettings& s) { return s.ManagerTab; }, 0},
        {"General", "ArtistSource", 5, [](const StationSettings& s) { return s.ArtistSource; }, 0},
        {"DJ2", "FrequencyType", 7,
         [](const StationSettings& s) { return s.DJSlots[2].FrequencyType; }, ftSongs},
        {"DJ5", "FrequencyType", 7,
         [](const StationSettings& s) { return s.DJSlots[5].FrequencyType; }, ftMinutes},
        {"DJ1", "FrequencyMinutes", 45,
         [](const StationSettings& s) { return s.DJSlots[1].FrequencyMinutes; }, 30},
        {"DJ3", "FrequencyMinutes", 0,
         [](const StationSettings& s) { return s.DJSlots[3].FrequencyMinutes; }, 2},
        {"DJ4", "FrequencySongs", -3,
         [](const StationSettings& s) { return s.DJSlots[4].FrequencySongs; }, 1},
        {"DJ4", "ListOrder", 4, [](const StationSettings& s) { return s.DJSlots[4].ListOrder; },
         loOriginal},
        {"DJ5", "FrequencyMinutes", 75,
         [](const StationSettings& s) { return s.DJSlots[5].FrequencyMinutes; }, 59},
        {"DJ5", "FrequencySongs", 50,
         [](const StationSettings& s) { return s.DJSlots[5].FrequencySongs; }, 20},
        {"Volume", "Player", -9000, [](const StationSettings& s) { return s.PlayerVolume; }, -5000},
        {"Volume", "Player", 300, [](const StationSettings& s) { return s.PlayerVolume; }, 0},
        {"Volume", "Wave", 70000, [](const StationSettings& s) { return s.WaveVolume; }, 65535},
        {"Volume", "DJ", 90000, [](const StationSettings& s) { return s.DJVolume; }, 65535},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(store.update(false, [&](IniFile& ini) {
            ini.writeInteger(QString::fromUtf8(c.section), QString::fromUtf8(c.key), c.stored);
        }));
        EXPECT_EQ(c.read(start()), c.expected) << c.section << " " << c.key << "=" << c.stored;
        ASSERT_TRUE(QFile::remove(paths.perUserFile()));
    }
    // Values inside the ranges are kept as stored.
    ASSERT_TRUE(store.update(false, [](IniFile& ini) {
        ini.writeInteger(QStringLiteral("General"), QStringLiteral("Crossfade"), 12);
        ini.writeInteger(QStringLiteral("DJ5"), QStringLiteral("FrequencyMinutes"), 59);
    }));
    const StationSettings kept = start();
    EXPECT_EQ(kept.CrossFade, 12);
    EXPECT_EQ(kept.DJSlots[5].FrequencyMinutes, 59);
}

// A damaged settings file is kept aside before anything is written over it, once, and the
// notice says where; the settings that can be read of it are used.
TEST_F(SettingsStoreTest, ADamagedFileIsKeptBeforeItIsWrittenOver) {
    QStringList notices;
    const SettingsStore told(paths, [&](const QString& line) { notices << line; });
    const QDateTime at(QDate(2026, 12, 10), QTime(9, 30, 5));
    ASSERT_TRUE(QDir().mkpath(paths.perUserFolder()));
    const QByteArray damaged =
        QByteArrayLiteral("[General]\r\nStationIdentification=Radio Kept\r\n\x01\x02\xFF"
                          "\x00junk\r\n");
    test::writeWholeFile(paths.perUserFile(), damaged);

    const QString copy = told.keepDamagedStore(false, at);
    EXPECT_EQ(copy, paths.perUserFile() + QStringLiteral(".broken-2026-12-10"));
    EXPECT_EQ(test::readWholeFile(copy), damaged);
    ASSERT_EQ(notices.size(), 1);
    EXPECT_TRUE(notices[0].contains(copy)) << notices[0].toStdString();
    EXPECT_TRUE(notices[0].contains(QStringLiteral("damaged"))) << notices[0].toStdString();
    // The same damage again the same day: nothing more.
    EXPECT_TRUE(told.keepDamagedStore(false, at.addSecs(60)).isEmpty());
    EXPECT_EQ(notices.size(), 1);
    // What could be read is used; the start's write then drops the rest.
    StationSettings s;
    ASSERT_TRUE(told.readAtCreate(s));
    (void)told.readIni(s, now);
    EXPECT_EQ(s.StationIdentification, QStringLiteral("Radio Kept"));
    EXPECT_EQ(test::readWholeFile(copy), damaged);

    // A sound file, or none, is left alone.
    EXPECT_TRUE(told.keepDamagedStore(false, at).isEmpty());
    EXPECT_TRUE(told.keepDamagedStore(true, at).isEmpty());
    EXPECT_EQ(notices.size(), 1);
    EXPECT_EQ(QDir(paths.perUserFolder()).entryList(QDir::Files).size(), 2);
}

} // namespace
} // namespace corvalin
