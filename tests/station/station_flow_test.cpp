// The whole station without widgets: the real controller, decks on the null sound device, the
// fake speech engine and short generated songs. The window's timers run ten times faster.
#include "PlayoutFakes.h"
#include "TestSupport.h"
#include "audio/SoundDevice.h"
#include "core/IniFile.h"
#include "library/PlayList.h"
#include "library/SongNames.h"
#include "platform/Clock.h"
#include "platform/SystemClockSetter.h"
#include "station/StationControl.h"
#include "station/StationController.h"
#include "voice/speech/DJSpeech.h"
#include "voice/speech/FakeSpeechEngine.h"
#include "voice/speech/SpeechMarkup.h"
#include "voice/speech/TTSBufNotifySink.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSet>
#include <QThread>
#include <atomic>
#include <gtest/gtest.h>

using namespace corvalin;
using namespace corvalin::test;

namespace {

const QString kVoice = QStringLiteral("Fake Voice");

class FakeShell final : public StationShell {
public:
    void setWindowPosition(int t, int l) override {
        top = t;
        left = l;
    }
    int windowTop() const override { return top; }
    int windowLeft() const override { return left; }
    void askZipCode(StationSettings& settings) override {
        ++zipPrompts;
        settings.ZipCode = QStringLiteral("12345");
    }
    void terminate() override { terminated = true; }
    void beep() override {}
    int top = 0;
    int left = 0;
    int zipPrompts = 0;
    bool terminated = false;
};

// Songs shared by the tests of this program, each generated when a test first names it (a test
// run on its own makes only its own).
class Songs {
public:
    static Songs& get() {
        static Songs songs;
        return songs;
    }
    QString path(const QString& name) {
        const QString file = folder.file(name);
        if (!made.contains(name) && make(name, file))
            made.insert(name);
        return file;
    }

private:
    static bool make(const QString& name, const QString& file) {
        if (name == QLatin1String("Broken - Noise.mp3")) {
            QFile bad(file);
            return bad.open(QIODevice::WriteOnly) && bad.write(QByteArray(4096, 'z')) == 4096;
        }
        const struct {
            const char* name;
            double seconds;
            int hz;
            int rate = 44100;
        } specs[] = {
            {"Alder - One.mp3", 2.5, 440},   {"Birch - Two.mp3", 2.5, 550},
            {"Cedar - Three.mp3", 2.5, 660}, {"Dogwood - Four.mp3", 2.5, 330},
            {"Elm - Jingle].mp3", 2.0, 880}, {"Fir - Quiet[.mp3", 2.5, 770},
            {"Gum - Long.mp3", 9.0, 500},    {"Hazel - Slow.mp3", 2.5, 440, 22050},
        };
        for (const auto& s : specs)
            if (name == QLatin1String(s.name))
                return runTool(QStringLiteral("ffmpeg"),
                               {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"),
                                QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                                QStringLiteral("sine=frequency=%1:sample_rate=%3:duration=%2")
                                    .arg(s.hz)
                                    .arg(s.seconds)
                                    .arg(s.rate),
                                QStringLiteral("-ac"), QStringLiteral("2"), QStringLiteral("-c:a"),
                                QStringLiteral("libmp3lame"), QStringLiteral("-b:a"),
                                QStringLiteral("128k"), file});
        return true; // any other name stays a file that is not there
    }
    TempFolder folder;
    QSet<QString> made;
};

class StationFlow : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"CVRSystem.dat", "Phrases.dat", "NewsDef.ini"})
            ASSERT_TRUE(QFile::copy(sourceDir() + "/data/" + name, program.file(name)));
    }

    QString listFile() const { return program.file(QStringLiteral("slot.lst")); }

    // The slots' list holds `songs` (names of the shared songs; "-name" a missing file).
    void writeList(const QStringList& songs) {
        QByteArray lst;
        for (const QString& s : songs) {
            const QString path = s.startsWith(u'-') ? program.file(s.mid(1)) : Songs::get().path(s);
            lst += "F" + path.toUtf8() + "\r\n";
        }
        writeWholeFile(listFile(), lst);
    }

    // Stored settings: every slot talks after `talkEvery` songs with the fake voice, plays
    // the list in its order and never fetches news.
    void writeSettings(int talkEvery = 2, bool startPlay = false, bool zip = true) {
        SettingsStore store(paths());
        StationSettings s = defaultSettings(paths().programFolder, QTime(9, 0));
        s.StartPlay = startPlay;
        s.ArtistSource = asFileName;
        s.CrossFade = 6;
        s.StationIdentification = QStringLiteral("Radio Test");
        for (int slot = 1; slot <= kSlotCount; ++slot) {
            _rDJ& dj = s.DJSlots[static_cast<std::size_t>(slot)];
            dj.PlayList = listFile();
            dj.SpeechEngine = kVoice;
            dj.FrequencyType = ftSongs;
            dj.FrequencySongs = talkEvery;
            dj.ListOrder = loOriginal;
        }
        s.DJSlots[kNewsSlot].FrequencyType = ftNever;
        ASSERT_TRUE(store.writeManagerOK(s));
        if (zip) {
            s.ZipCode = QStringLiteral("54321");
            ASSERT_TRUE(store.writeZipCode(s));
        }
        ASSERT_TRUE(store.update(false, [](IniFile& ini) {
            ini.writeBool(QStringLiteral("DJ5"), QStringLiteral("ReadNews"), false);
            ini.writeBool(QStringLiteral("DJ5"), QStringLiteral("ReadWeather"), false);
        }));
    }

    SettingsPaths paths() const { return SettingsPaths{program.path(), config.path()}; }

    // Creates the station (not yet started) with the fake engine speaking `voices`.
    void create(QStringList voices = {kVoice}) {
        StationEnvironment env;
        env.paths = paths();
        env.clock = &clock;
        env.random = &random;
        env.clockSetter = &clockSetter;
        env.device = SoundDevice::create(QStringLiteral("null"));
        env.makeSpeechEngine = [this, voices](QString*) {
            auto engine = std::make_unique<FakeSpeechEngine>(voices);
            speech = engine.get();
            return engine;
        };
        env.makeTimer = [](std::function<void()> f) {
            return std::make_unique<FastTimer>(std::move(f));
        };
        env.userName = QStringLiteral("tester");
        // Only servers of this machine: the definitions document is never found.
        env.news.updateServer = QStringLiteral("http://127.0.0.1:1");
        env.news.failureLog = [this](const QString& line) { fetchLog << line; };
        env.log = [this](const QString& line) { stationLog << line; };
        env.channelOptions.openReader = openReader;
        station = std::make_unique<StationController>(std::move(env), view, shell);
    }

    // Creates the station and brings it up to the end of the start-up voice test.
    void start(bool finishVoiceTest = true, QStringList voices = {kVoice}) {
        create(std::move(voices));
        station->FormCreate();
        station->FormActivate();
        ASSERT_NE(speech, nullptr);
        if (finishVoiceTest)
            endVoiceTest();
    }

    void endVoiceTest() {
        ASSERT_FALSE(speech->requests().empty());
        ASSERT_TRUE(speech->requests().back().text.contains(QLatin1String(kDJTestSentence)));
        speech->start();
        speech->finish();
        ASSERT_TRUE(waitFor([&] { return station->StartupChecked(); }));
    }

    // Waits until the station has started `song` (by its queued title turning lime on a deck).
    bool waitForStart(const QString& song, int ms = 8000) {
        QString title = song.section(QStringLiteral(" - "), 1).section(u'.', 0, 0);
        title.remove(QRegularExpression(QStringLiteral("[^A-Za-z]")));
        const bool ok = waitFor(
            [&] {
                const int p = station->state().ActivePlayer;
                return view.titleColour(p) == colours::lime && view.title[p].startsWith(title) &&
                       station->sequencer().deckState(p) == DeckState::Playing;
            },
            ms);
        if (!ok) {
            const int p = station->state().ActivePlayer;
            ADD_FAILURE() << "waiting for " << song.toStdString() << ": player " << p << " shows '"
                          << view.title[p].toStdString() << "', deck states "
                          << int(station->sequencer().deckState(1)) << "/"
                          << int(station->sequencer().deckState(2)) << ", timer1 "
                          << station->timer(1).isActive() << ", talks " << talks();
        }
        return ok;
    }
    std::size_t talks() const { return speech->requests().size() - voiceTests(); }
    std::size_t voiceTests() const {
        std::size_t n = 0;
        for (const auto& r : speech->requests())
            n += r.text.contains(QLatin1String(kDJTestSentence)) ? 1 : 0;
        return n;
    }
    bool waitForTalk(std::size_t count) {
        return waitFor([&] { return talks() >= count; });
    }
    // Lets talk number `count` reach its bookmark and waits for `song` to start under it.
    void talkThroughBookmark(std::size_t count, const QString& song, bool expectStart = true) {
        ASSERT_TRUE(waitForTalk(count));
        speech->start();
        speech->reachBookmark(kIntroMark);
        if (expectStart) {
            ASSERT_TRUE(waitForStart(song));
        }
        speech->finish();
    }

    TempFolder program;
    TempFolder config;
    FakeClock clock{QDateTime(QDate(2026, 12, 10), QTime(9, 0))};
    StandardRandom random{7};
    FakeSystemClockSetter clockSetter;
    FakeView view;
    QStringList fetchLog;
    QStringList stationLog;
    ReaderFactory openReader; // the decks' decoders (none: the real ones)
    FakeShell shell;
    FakeSpeechEngine* speech = nullptr;
    std::unique_ptr<StationController> station;
};

TEST_F(StationFlow, PlaysQueuesTalksAtTheBookmarkAndAlternatesPlayers) {
    writeList({"Alder - One.mp3", "Birch - Two.mp3", "Cedar - Three.mp3", "Dogwood - Four.mp3"});
    writeSettings(2);
    start();
    EXPECT_EQ(view.djName, station->settings().DJSlots[1].Name);
    EXPECT_FALSE(view.djName.isEmpty());
    EXPECT_EQ(view.slotColour, colours::red);
    EXPECT_TRUE(view.isButtonDown(TransportButton::Stop));

    station->command(StationCommand::Play);
    EXPECT_EQ(station->state().ActivePlayer, 1);
    ASSERT_TRUE(waitForStart(QStringLiteral("Alder - One.mp3"))); // once its file is open
    EXPECT_EQ(view.titleColours[1], (std::vector<RgbColour>{colours::red, colours::lime}));
    EXPECT_EQ(view.title[1], QStringLiteral("One - Alder"));

    // The first tick queues the next song in red on player 2, marks row 0 and saves the list.
    ASSERT_TRUE(waitFor([&] { return view.titleColour(2) == colours::red; }));
    EXPECT_EQ(view.title[2], QStringLiteral("Two - Birch"));
    ASSERT_TRUE(waitFor([&] { return readWholeFile(listFile()).startsWith("T"); }));
    EXPECT_TRUE(station->playerTimersActive(1));

    // The counts start full, so the DJ opens with a talk; nothing starts before the bookmark.
    ASSERT_TRUE(waitForTalk(1));
    const QString talk = speech->requests().back().text;
    EXPECT_TRUE(talk.contains(QStringLiteral("One"))) << talk.toStdString();
    EXPECT_TRUE(talk.contains(QStringLiteral("Two"))) << talk.toStdString();
    EXPECT_EQ(speech->requests().back().voice, kVoice);
    speech->start();
    EXPECT_TRUE(view.djBarVisible);
    QThread::msleep(300);
    QCoreApplication::processEvents();
    EXPECT_NE(station->sequencer().deckState(2), DeckState::Playing);

    speech->reachBookmark(kIntroMark);
    const int armed = station->timer(3).interval();
    EXPECT_GE(armed, 2000);
    EXPECT_LT(armed, 5000);
    ASSERT_TRUE(waitForStart(QStringLiteral("Birch - Two.mp3")));
    EXPECT_EQ(station->state().ActivePlayer, 2);
    EXPECT_TRUE(speech->speaking()); // the song starts under the DJ's last words
    speech->finish();
    ASSERT_TRUE(waitFor([&] { return !view.djBarVisible; }));

    // One counted song since the talk: the next follows at once, on the other player.
    ASSERT_TRUE(waitForStart(QStringLiteral("Cedar - Three.mp3")));
    EXPECT_EQ(station->state().ActivePlayer, 1);
    EXPECT_EQ(talks(), 1u);
    // After the second counted song the DJ talks again.
    ASSERT_TRUE(waitForTalk(2));
    EXPECT_NE(station->sequencer().deckState(2), DeckState::Playing);
}

// The start drawn at the bookmark (2 to 5 s on) may fall after a short introduction's last word:
// whichever comes first starts the song, never dead air.
TEST_F(StationFlow, ATalkThatEndsBeforeTheDrawnStartStartsTheSongAsItEnds) {
    writeList({"Alder - One.mp3", "Birch - Two.mp3", "Cedar - Three.mp3"});
    writeSettings(1);
    start();
    station->command(StationCommand::Play);
    ASSERT_TRUE(waitForStart(QStringLiteral("Alder - One.mp3")));
    ASSERT_TRUE(waitForTalk(1));
    speech->start();
    speech->reachBookmark(kIntroMark);
    ASSERT_TRUE(station->timer(3).isActive());
    EXPECT_GE(station->timer(3).interval(), 2000);
    speech->finish();
    EXPECT_TRUE(station->timer(3).isActive());
    EXPECT_EQ(station->timer(3).interval(), kSongAfterSpeechMs);
    ASSERT_TRUE(waitForStart(QStringLiteral("Birch - Two.mp3")));
    EXPECT_EQ(station->state().ActivePlayer, 2);

    // A talk that goes on past the drawn start leaves the started song alone at its end.
    ASSERT_TRUE(waitForTalk(2));
    speech->start();
    speech->reachBookmark(kIntroMark);
    ASSERT_TRUE(waitForStart(QStringLiteral("Cedar - Three.mp3")));
    EXPECT_TRUE(speech->speaking());
    const int player = station->state().ActivePlayer;
    speech->finish();
    QThread::msleep(100);
    QCoreApplication::processEvents();
    EXPECT_FALSE(station->timer(3).isActive());
    EXPECT_EQ(station->state().ActivePlayer, player);
    EXPECT_EQ(station->sequencer().deckState(player), DeckState::Playing);
}

TEST_F(StationFlow, NeverOverlapWaitsForTheTalkAndExcludedSongsDoNotCount) {
    writeList({"Alder - One.mp3", "Elm - Jingle].mp3", "Birch - Two.mp3", "Fir - Quiet[.mp3"});
    writeSettings(1);
    start();
    station->command(StationCommand::Play);
    talkThroughBookmark(1, QStringLiteral("Elm - Jingle].mp3"));
    // The jingle is not counted: no talk after it.
    ASSERT_TRUE(waitForStart(QStringLiteral("Birch - Two.mp3")));
    EXPECT_EQ(talks(), 1u);
    EXPECT_EQ(station->state().Talk.SongsSinceTalk, 0);

    ASSERT_TRUE(waitForTalk(2));
    speech->start();
    speech->reachBookmark(kIntroMark);
    EXPECT_FALSE(station->timer(3).isActive());
    QThread::msleep(600);
    QCoreApplication::processEvents();
    EXPECT_NE(station->sequencer().deckState(1), DeckState::Playing);
    speech->finish();
    ASSERT_TRUE(waitForStart(QStringLiteral("Fir - Quiet[.mp3")));
}

TEST_F(StationFlow, NextFadesOutAndPlayGoesOn) {
    writeList({"Gum - Long.mp3", "Alder - One.mp3"});
    writeSettings(5);
    start();
    station->command(StationCommand::Play);
    ASSERT_TRUE(waitFor([&] { return view.titleColour(2) == colours::red; }));
    ASSERT_TRUE(waitFor([&] { return view.isButtonEnabled(TransportButton::Next); }));
    QElapsedTimer since;
    since.start();
    station->command(StationCommand::Next);
    EXPECT_FALSE(view.isButtonEnabled(TransportButton::Next));
    ASSERT_TRUE(waitForTalk(1));
    // The 9 s song ended by its 5 s fade, not by playing out.
    EXPECT_GE(since.elapsed(), 4500);
    EXPECT_LT(since.elapsed(), 7500);
    speech->start();
    speech->reachBookmark(kIntroMark);
    ASSERT_TRUE(waitForStart(QStringLiteral("Alder - One.mp3")));
}

TEST_F(StationFlow, PauseAndPlayResumeTheSongAndTheDJ) {
    writeList({"Gum - Long.mp3", "Alder - One.mp3", "Birch - Two.mp3"});
    writeSettings(1);
    start();
    station->command(StationCommand::Play);
    ASSERT_TRUE(waitFor([&] { return view.titleColour(2) == colours::red; }));
    station->command(StationCommand::Pause);
    EXPECT_EQ(station->sequencer().deckState(1), DeckState::Paused);
    EXPECT_TRUE(view.isButtonDown(TransportButton::Pause));
    EXPECT_TRUE(station->timer(8).isActive());
    EXPECT_EQ(station->timer(8).interval(), 300000);
    station->command(StationCommand::Play);
    EXPECT_EQ(station->sequencer().deckState(1), DeckState::Playing);
    EXPECT_EQ(view.title[1], QStringLiteral("Long - Gum"));

    // Pause during the talk pauses the DJ; a song start the talk asks for meanwhile waits.
    ASSERT_TRUE(waitFor([&] { return talks() >= 1; }, 15000));
    speech->start();
    station->command(StationCommand::Pause);
    EXPECT_TRUE(speech->paused());
    speech->reachBookmark(kIntroMark);
    ASSERT_TRUE(waitFor([&] { return station->state().SongStartPending; }));
    EXPECT_NE(station->sequencer().deckState(2), DeckState::Playing);
    station->command(StationCommand::Play);
    EXPECT_FALSE(speech->paused());
    ASSERT_TRUE(waitForStart(QStringLiteral("Alder - One.mp3")));
    EXPECT_EQ(station->state().ActivePlayer, 2);
    speech->finish();
}

// The clock panel's hint says what the last news fetch found, from the start on.
TEST_F(StationFlow, TheClockPanelTellsTheLastFetchOutcome) {
    writeSettings();
    writeList({QStringLiteral("One - Alder")});
    start();
    EXPECT_EQ(view.fetchOutcome, QStringLiteral("No news or weather fetched yet."));

    // Nothing listens on port 1 of this machine: the fetch finds no answer at once.
    NewsDefinitions d = station->newsFeed().definitions();
    d.NewsURL = QStringLiteral("http://127.0.0.1:1/news");
    station->newsFeed().setDefinitions(d);
    ASSERT_TRUE(station->newsFeed().startFetch(true, false));
    ASSERT_TRUE(waitFor([&] { return !station->newsFeed().fetchRunning(); }));
    EXPECT_EQ(view.fetchOutcome, station->newsFeed().lastOutcomeText());
    EXPECT_TRUE(view.fetchOutcome.contains(QStringLiteral("no headline: no answer")))
        << view.fetchOutcome.toStdString();
    ASSERT_EQ(fetchLog.size(), 1);
    EXPECT_TRUE(fetchLog[0].startsWith(QStringLiteral("corvalinradio: the news fetch failed")));
}

TEST_F(StationFlow, FiveMinutePauseBecomesStopAndStopEmptiesTheNews) {
    writeList({"Gum - Long.mp3", "Alder - One.mp3"});
    writeSettings(2);
    start();
    station->command(StationCommand::Play);
    station->command(StationCommand::Pause);
    station->state().News.set(NewsTexts{QStringLiteral("Headline"), QStringLiteral("20"),
                                        QStringLiteral("Town"), QStringLiteral("sunny")});
    station->sequencer().Timer8Timer(); // the five minutes are up
    EXPECT_TRUE(view.isButtonDown(TransportButton::Stop));
    const NewsTexts news = station->state().News.get();
    EXPECT_TRUE(news.NewsHeadline.isEmpty());
    EXPECT_TRUE(news.WeatherCity.isEmpty());
    EXPECT_TRUE(view.title[1].isEmpty());
    EXPECT_TRUE(view.isButtonEnabled(TransportButton::Play));
    EXPECT_FALSE(view.isButtonEnabled(TransportButton::Pause));
}

TEST_F(StationFlow, ListOfMissingFilesStopsWithItsMessage) {
    writeList({"-gone.mp3", "-lost.mp3"});
    writeSettings(2);
    start();
    station->command(StationCommand::Play);
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].text, kNoValidFilesInSlotList);
    EXPECT_EQ(view.messages[0].caption, QStringLiteral("Corvalin Radio - Setup Error"));
    EXPECT_TRUE(view.isButtonDown(TransportButton::Stop));
}

TEST_F(StationFlow, UnopenableSongShowsTheBoxAndPlayGoesOn) {
    writeList({"Alder - One.mp3", "Broken - Noise.mp3", "Birch - Two.mp3"});
    writeSettings(5);
    start();
    // The box does not hold the air: the next song starts while it is still shown.
    bool startedUnderTheBox = false;
    view.whileTimerBoxShown = [&] {
        view.whileTimerBoxShown = nullptr;
        startedUnderTheBox = waitForStart(QStringLiteral("Birch - Two.mp3"));
    };
    station->command(StationCommand::Play);
    talkThroughBookmark(1, QStringLiteral("Broken - Noise.mp3"), /*expectStart=*/false);
    ASSERT_TRUE(waitFor([&] { return !view.timerBoxes.empty(); }));
    EXPECT_TRUE(startedUnderTheBox);
    EXPECT_EQ(view.timerBoxes[0].text, kOpenErrorText + Songs::get().path("Broken - Noise.mp3"));
    EXPECT_EQ(view.timerBoxes[0].caption, QStringLiteral("Error"));
    EXPECT_EQ(view.timerBoxes[0].ms, 15000);
    // The failed start counts as played; the next song follows without another talk.
    ASSERT_TRUE(waitForStart(QStringLiteral("Birch - Two.mp3")));
}

TEST_F(StationFlow, AKilledStationPlaysByItselfOnceAtTheNextStart) {
    writeList({"Alder - One.mp3", "Birch - Two.mp3"});
    writeSettings(2, /*startPlay=*/false);
    start();
    EXPECT_FALSE(view.isButtonDown(TransportButton::Play)); // a first, clean start waits
    station.reset();                                        // killed: no FormClose

    start();
    EXPECT_TRUE(view.isButtonDown(TransportButton::Play));
    EXPECT_FALSE(station->RestartPending());
    // A later voice test only restores the buttons.
    station->command(StationCommand::Stop);
    station->bDJTestClick();
    endVoiceTest();
    EXPECT_TRUE(view.isButtonDown(TransportButton::Stop));
    station->FormClose();
    EXPECT_TRUE(
        readWholeFile(config.file("CorvalinRadio/CorvalinRadio.ini")).contains("Restart=0"));
    station.reset();

    start(); // after a proper close, no play by itself
    EXPECT_TRUE(view.isButtonDown(TransportButton::Stop));
}

TEST_F(StationFlow, FirstStartAsksForTheZipCodeAndPlays) {
    writeList({"Alder - One.mp3", "Birch - Two.mp3"});
    writeSettings(2, /*startPlay=*/false, /*zip=*/false);
    start(/*finishVoiceTest=*/false);
    EXPECT_EQ(shell.zipPrompts, 1);
    EXPECT_EQ(station->settings().ZipCode, QStringLiteral("12345"));
    EXPECT_FALSE(station->StartupChecked());
    endVoiceTest();
    EXPECT_TRUE(view.isButtonDown(TransportButton::Play));
    EXPECT_TRUE(readWholeFile(config.file("CorvalinRadio/CorvalinRadio.ini")).contains("12345"));
}

TEST_F(StationFlow, MissingVoiceFallsBackToAWorkingVoiceAndSaysSo) {
    writeList({"Alder - One.mp3", "Birch - Two.mp3", "Cedar - Three.mp3"});
    writeSettings(1);
    start(/*finishVoiceTest=*/true, {QStringLiteral("Other Voice"), kVoice});
    EXPECT_TRUE(stationLog.isEmpty()) << "the slot's own voice is installed";
    station->settings().DJSlots[1].SpeechEngine = QStringLiteral("Not Installed");
    station->command(StationCommand::Play);
    // The DJ talks with the first installed voice (no English one here) instead of staying silent.
    talkThroughBookmark(1, QStringLiteral("Birch - Two.mp3"));
    EXPECT_EQ(speech->requests().back().voice, QStringLiteral("Other Voice"));
    talkThroughBookmark(2, QStringLiteral("Cedar - Three.mp3"));
    EXPECT_EQ(speech->requests().back().voice, QStringLiteral("Other Voice"));
    // Told once, naming the slot, the missing voice and the one speaking.
    ASSERT_EQ(stationLog.size(), 1);
    EXPECT_EQ(stationLog[0], QStringLiteral("the Morning DJ's voice \"Not Installed\" is not "
                                            "installed; speaking with \"Other Voice\""));
    // The voice test of the window speaks with it too.
    station->command(StationCommand::Stop);
    station->bDJTestClick();
    EXPECT_EQ(speech->requests().back().voice, QStringLiteral("Other Voice"));
    EXPECT_EQ(stationLog.size(), 1);
    // Once the voice is set right the fallback ends; a later missing voice is told again.
    station->settings().DJSlots[1].SpeechEngine = kVoice;
    endVoiceTest();
    station->bDJTestClick();
    EXPECT_EQ(speech->requests().back().voice, kVoice);
    endVoiceTest();
    station->settings().DJSlots[1].SpeechEngine = QStringLiteral("Not Installed");
    station->bDJTestClick();
    EXPECT_EQ(stationLog.size(), 2);
    endVoiceTest();
}

TEST_F(StationFlow, WithoutVoicesItWarnsOnceAndPlaysWithoutTalk) {
    writeList({"Alder - One.mp3", "Birch - Two.mp3", "Cedar - Three.mp3"});
    writeSettings(1);
    start(/*finishVoiceTest=*/false, /*voices=*/{});
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].caption, QStringLiteral("Warning"));
    EXPECT_EQ(view.messages[0].text, kNoTTSText);
    // The (empty) voice test ends at once; the start-up decision follows.
    ASSERT_TRUE(waitFor([&] { return station->StartupChecked(); }));
    station->command(StationCommand::Play);
    ASSERT_TRUE(waitForStart(QStringLiteral("Birch - Two.mp3")));
    EXPECT_EQ(talks(), 0u);
    station->FormActivate(); // a later activation warns no more
    EXPECT_EQ(view.messages.size(), 1u);
}

TEST_F(StationFlow, VolumesActAtOnceAndAreSavedAtClose) {
    writeList({"Gum - Long.mp3"});
    writeSettings(2);
    start();
    EXPECT_EQ(view.volume(VolumeSlider::Player), -500); // the stored default
    EXPECT_TRUE(view.versionText.startsWith(QStringLiteral("Corvalin Radio ver. ")));
    EXPECT_EQ(view.stationTitle, QStringLiteral("Radio Test"));
    station->command(StationCommand::Play);
    view.volumes[VolumeSlider::Player] = -1500;
    station->PlayerVolumeChange(-1500);
    view.volumes[VolumeSlider::Wave] = 30000;
    station->WaveVolumeChange(30000);
    station->FormClose();
    const QByteArray ini = readWholeFile(config.file("CorvalinRadio/CorvalinRadio.ini"));
    EXPECT_TRUE(ini.contains("Player=-1500")) << ini.toStdString();
    EXPECT_TRUE(ini.contains("Wave=30000")) << ini.toStdString();
    EXPECT_TRUE(ini.contains("Restart=0")) << ini.toStdString();
}

TEST_F(StationFlow, AnEscapedErrorIsShownAndPlayRestarts) {
    writeList({"Gum - Long.mp3", "Alder - One.mp3"});
    writeSettings(2);
    start();
    station->command(StationCommand::Play);
    station->ApplicationEvents1Exception(QStringLiteral("Something broke"));
    ASSERT_EQ(view.timerBoxes.size(), 1u);
    EXPECT_EQ(view.timerBoxes[0].ms, 10000);
    EXPECT_EQ(view.timerBoxes[0].caption, QStringLiteral("Error"));
    EXPECT_TRUE(view.isButtonDown(TransportButton::Play));

    station->command(StationCommand::Stop);
    station->ApplicationEvents1Exception(QStringLiteral("Again"));
    EXPECT_TRUE(view.isButtonDown(TransportButton::Stop)); // stopped stays stopped
}

TEST_F(StationFlow, MissingDataFileEndsTheProgram) {
    ASSERT_TRUE(QFile::remove(program.file("Phrases.dat")));
    writeList({"Alder - One.mp3"});
    writeSettings(2);
    create();
    station->FormCreate();
    EXPECT_TRUE(station->terminated());
    EXPECT_TRUE(shell.terminated);
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_TRUE(view.messages[0].text.contains(QStringLiteral("Phrases.dat")));
}

} // namespace

// Stop cuts a talk before its bookmark; Play comes before the cut talk's end has arrived. The
// late end must not start the queued song a second time on the other deck.
TEST_F(StationFlow, StopDuringATalkThenPlayStartsTheSongOnce) {
    writeList({"Alder - One.mp3", "Birch - Two.mp3", "Cedar - Three.mp3"});
    writeSettings(1);
    start();
    station->command(StationCommand::Play);
    ASSERT_TRUE(waitForTalk(1));
    speech->start();
    ASSERT_TRUE(waitFor([&] { return !station->decksSounding(); }));

    station->command(StationCommand::Stop);
    station->command(StationCommand::Play); // the talk's end is still queued
    ASSERT_TRUE(waitForStart(QStringLiteral("Cedar - Three.mp3")));
    EXPECT_EQ(station->state().ActivePlayer, 1);
    QCoreApplication::processEvents(); // delivers the cut talk's end
    EXPECT_FALSE(station->timer(3).isActive());
    QThread::msleep(100); // a wrongly armed hand-over (250 ms, run 10x faster) would fire here
    QCoreApplication::processEvents();
    EXPECT_EQ(station->sequencer().deckState(1), DeckState::Playing);
    EXPECT_NE(station->sequencer().deckState(2), DeckState::Playing);
}

// Play during the start-up voice test (the Auto Start alarm, an operator) goes on the air, and
// the end of the test does not turn the buttons back to idle.
TEST_F(StationFlow, PlayDuringTheVoiceTestGoesOnTheAir) {
    writeList({"Alder - One.mp3", "Birch - Two.mp3"});
    writeSettings(5);
    start(/*finishVoiceTest=*/false);
    speech->start();
    for (TransportButton b : {TransportButton::Play, TransportButton::Pause, TransportButton::Stop,
                              TransportButton::Next})
        EXPECT_FALSE(view.isButtonEnabled(b)) << int(b);
    EXPECT_TRUE(view.isButtonDown(TransportButton::Stop));

    const int resets = speech->resets();
    station->command(StationCommand::Play);
    EXPECT_GT(speech->resets(), resets); // the test is cut
    ASSERT_TRUE(waitForStart(QStringLiteral("Alder - One.mp3")));
    QCoreApplication::processEvents(); // the cut test's end
    station->Timer6Timer();
    EXPECT_TRUE(station->StartupChecked());
    EXPECT_TRUE(view.isButtonDown(TransportButton::Play));
    EXPECT_TRUE(view.isButtonEnabled(TransportButton::Stop));
    EXPECT_FALSE(view.isButtonEnabled(TransportButton::Play));
    EXPECT_FALSE(station->timer(3).isActive());
    EXPECT_NE(station->sequencer().deckState(2), DeckState::Playing);
    // Play stays usable: after Stop it goes on the air again.
    station->command(StationCommand::Stop);
    station->command(StationCommand::Play);
    EXPECT_TRUE(view.isButtonDown(TransportButton::Play));
    EXPECT_TRUE(waitFor([&] { return station->decksSounding(); }));
}

// The queued song is deleted before its turn: the next playable song plays instead, no stop.
TEST_F(StationFlow, AVanishedQueuedSongIsPassedOver) {
    const QString doomed = program.file(QStringLiteral("Birch - Doomed.mp3"));
    ASSERT_TRUE(QFile::copy(Songs::get().path(QStringLiteral("Birch - Two.mp3")), doomed));
    writeWholeFile(listFile(), "F" + Songs::get().path(QStringLiteral("Alder - One.mp3")).toUtf8() +
                                   "\r\nF" + doomed.toUtf8() + "\r\nF" +
                                   Songs::get().path(QStringLiteral("Cedar - Three.mp3")).toUtf8() +
                                   "\r\n");
    writeSettings(5);
    start();
    station->command(StationCommand::Play);
    ASSERT_TRUE(waitForStart(QStringLiteral("Alder - One.mp3")));
    ASSERT_TRUE(waitFor([&] { return view.title[2].startsWith(QStringLiteral("Doomed")); }));
    ASSERT_TRUE(QFile::remove(doomed));
    // The opening talk still introduces the song it was composed for; then Cedar plays.
    talkThroughBookmark(1, QStringLiteral("Cedar - Three.mp3"));
    EXPECT_TRUE(view.isButtonDown(TransportButton::Play));
    EXPECT_TRUE(view.messages.empty());
    EXPECT_TRUE(
        station->state().LastSongInfo().FileName.endsWith(QStringLiteral("Alder - One.mp3")));
}

// A 2 GB file of zeros named .mp3 (a demuxer would search all of it for a frame) is opened away
// from the window thread and refused after a small part of it is read; the next song follows as
// at any song change.
TEST_F(StationFlow, ALargeUnplayableFileDoesNotHoldTheAir) {
    const QString big = program.file(QStringLiteral("Zero - Bytes.mp3"));
    writeWholeFile(big, QByteArray());
    ASSERT_TRUE(QFile(big).resize(qint64{2} << 30));
    writeWholeFile(listFile(), "F" + Songs::get().path(QStringLiteral("Alder - One.mp3")).toUtf8() +
                                   "\r\nF" + big.toUtf8() + "\r\nF" +
                                   Songs::get().path(QStringLiteral("Birch - Two.mp3")).toUtf8() +
                                   "\r\n");
    writeSettings(5);
    QThread* const window = QThread::currentThread();
    std::atomic<int> opens{0};
    std::atomic<int> opensOnTheWindowThread{0};
    openReader = [&](const QString& name) {
        ++opens;
        if (QThread::currentThread() == window)
            ++opensOnTheWindowThread;
        return std::make_unique<TDSAudioFileReader>(name);
    };
    start();
    station->command(StationCommand::Play);
    ASSERT_TRUE(waitForTalk(1));
    speech->start();
    speech->reachBookmark(kIntroMark); // the big file is next, 0.2 to 0.5 s later
    QElapsedTimer since;
    since.start();
    ASSERT_TRUE(waitForStart(QStringLiteral("Birch - Two.mp3")));
    // Reading the whole file took 48 s; a bounded read takes well under a second, and the
    // margin is for sanitizer builds on a busy machine.
    EXPECT_LT(since.elapsed(), 5000);
    speech->finish();
    ASSERT_EQ(view.timerBoxes.size(), 1u);
    EXPECT_EQ(view.timerBoxes[0].text, kOpenErrorText + big);
    EXPECT_EQ(opens.load(), 4); // One, the big file twice, Two
    EXPECT_EQ(opensOnTheWindowThread.load(), 0);
    station.reset(); // before the counters its decks open with go
}

// The start-up decision comes as soon as the voice test has ended, not at its next poll.
TEST_F(StationFlow, PlayStartsAsSoonAsTheVoiceTestEnds) {
    writeList({"Alder - One.mp3", "Birch - Two.mp3"});
    writeSettings(5, /*startPlay=*/true);
    start(/*finishVoiceTest=*/false);
    speech->start();
    ASSERT_TRUE(station->timer(6).isActive());
    ASSERT_EQ(station->timer(6).interval(), 2000);
    speech->finish();
    EXPECT_TRUE(station->timer(6).isActive());
    EXPECT_EQ(station->timer(6).interval(), 0);
    ASSERT_TRUE(waitForStart(QStringLiteral("Alder - One.mp3")));
    EXPECT_TRUE(station->StartupChecked());
}

// A stored crossfade of -10 s must not leave the tick with a negative interval.
TEST_F(StationFlow, OutOfRangeCrossFadeStillPlaysOn) {
    writeList({"Alder - One.mp3", "Birch - Two.mp3", "Cedar - Three.mp3"});
    writeSettings(5);
    SettingsStore store(paths());
    ASSERT_TRUE(store.update(false, [](IniFile& ini) {
        ini.writeInteger(QStringLiteral("General"), QStringLiteral("Crossfade"), -10);
    }));
    start();
    EXPECT_EQ(station->settings().CrossFade, 1);
    station->command(StationCommand::Play);
    ASSERT_TRUE(waitForStart(QStringLiteral("Alder - One.mp3")));
    EXPECT_GE(station->timer(1).interval(), 0);
    talkThroughBookmark(1, QStringLiteral("Birch - Two.mp3"));
}

// An error raised while the error box is up (a display timer failing every second) does not
// stack a second box on the first.
TEST_F(StationFlow, ErrorsWhileTheErrorBoxIsUpDoNotStack) {
    writeList({"Alder - One.mp3", "Birch - Two.mp3"});
    writeSettings(5);
    start();
    view.whileTimerBoxShown = [&] {
        station->ApplicationEvents1Exception(QStringLiteral("again"));
        station->ApplicationEvents1Exception(QStringLiteral("and again"));
    };
    station->ApplicationEvents1Exception(QStringLiteral("first"));
    ASSERT_EQ(view.timerBoxes.size(), 1u);
    EXPECT_EQ(view.timerBoxes[0].text, QStringLiteral("first"));
    view.whileTimerBoxShown = nullptr;
    station->ApplicationEvents1Exception(QStringLiteral("later"));
    EXPECT_EQ(view.timerBoxes.size(), 2u); // once the box is closed, errors show again
}

// The meters read a song at its own rate, and at its end the trace lies flat with the bars at 0.
TEST_F(StationFlow, MetersFollowTheSongsRateAndLieFlatAtTheEnd) {
    writeList({"Hazel - Slow.mp3", "Alder - One.mp3"});
    writeSettings(5);
    start();
    station->command(StationCommand::Play);
    ASSERT_TRUE(waitForStart(QStringLiteral("Hazel - Slow.mp3")));
    ASSERT_TRUE(waitFor([&] { return view.meters[1].readings > 3; }));
    EXPECT_EQ(view.meters[1].samplesPerTick, 22050 * 50 / 1000);
    EXPECT_FALSE(view.meters[1].flat);
    ASSERT_TRUE(waitFor([&] { return station->sequencer().deckState(1) != DeckState::Playing; }));
    QCoreApplication::processEvents();
    EXPECT_FALSE(view.meters[1].cleared);
    EXPECT_TRUE(view.meters[1].flat);
    EXPECT_EQ(view.meters[1].levels[0], 0.0f);
    EXPECT_EQ(view.meters[1].levels[1], 0.0f);
}

// A song whose tags hold speech tags is named in plain words; the talk keeps its own pauses and
// its one bookmark, so the next song still starts at the right place.
TEST_F(StationFlow, TagsWithBackslashesAreSpokenAsPlainWords) {
    const QString tagged = program.file(QStringLiteral("Tagged - Song.mp3"));
    ASSERT_TRUE(runTool(
        QStringLiteral("ffmpeg"),
        {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"), QStringLiteral("-i"),
         Songs::get().path(QStringLiteral("Alder - One.mp3")), QStringLiteral("-c"),
         QStringLiteral("copy"), QStringLiteral("-id3v2_version"), QStringLiteral("3"),
         QStringLiteral("-metadata"), QStringLiteral("artist=AC\\DC"), QStringLiteral("-metadata"),
         QStringLiteral("title=\\Pau=9000\\ Thunder \\Mrk=700\\"), tagged}));
    writeWholeFile(listFile(), "F" + tagged.toUtf8() + "\r\nF" +
                                   Songs::get().path(QStringLiteral("Birch - Two.mp3")).toUtf8() +
                                   "\r\n");
    writeSettings(5);
    SettingsStore store(paths());
    ASSERT_TRUE(store.update(false, [](IniFile& ini) {
        ini.writeInteger(QStringLiteral("General"), QStringLiteral("ArtistSource"),
                         asTagThenFileName);
    }));
    start();
    station->command(StationCommand::Play);
    ASSERT_TRUE(waitForTalk(1));
    const QString talk = speech->requests().back().text;
    EXPECT_TRUE(talk.contains(QStringLiteral("Pau=9000  Thunder  Mrk=700, from, AC DC.")))
        << talk.toStdString();
    EXPECT_TRUE(talk.contains(QStringLiteral("Radio Test"))) << talk.toStdString();
    const SpeechMarkup markup = taggedTextToSsml(talk.toUtf8());
    EXPECT_EQ(markup.ssml.count("<mark "), 1) << markup.ssml.constData();
    EXPECT_FALSE(markup.ssml.contains("time=\"9000ms\"")) << markup.ssml.constData();
    talkThroughBookmark(1, QStringLiteral("Birch - Two.mp3"));
}

// The command layer reads the console as it is and presses only the buttons it shows enabled.
TEST_F(StationFlow, ControlReadsTheStationAndPressesOnlyEnabledButtons) {
    writeList({"Gum - Long.mp3", "Alder - One.mp3"});
    writeSettings(5);
    start(false);
    StationControl control(*station, view);
    // The voice test is still speaking: every transport button is disabled.
    StationStatus s = control.status();
    EXPECT_TRUE(s.voiceTest);
    EXPECT_FALSE(s.canPlay);
    PressResult refused = control.press(ControlButton::Play);
    EXPECT_FALSE(refused.done);
    EXPECT_EQ(refused.reason, QStringLiteral("Play is disabled: the station is starting"));
    EXPECT_EQ(station->state().TransportState, tsNone) << "a refused press does nothing";
    endVoiceTest();

    s = control.status();
    EXPECT_EQ(s.state, QStringLiteral("idle"));
    EXPECT_FALSE(s.onAir);
    EXPECT_EQ(s.slot, QStringLiteral("Morning"));
    EXPECT_EQ(s.dj, station->settings().DJSlots[1].Name);
    EXPECT_EQ(s.station, QStringLiteral("Radio Test"));
    EXPECT_EQ(s.stream, QStringLiteral("off"));
    EXPECT_FALSE(s.lastFetch.isEmpty());
    EXPECT_TRUE(s.canPlay);
    EXPECT_FALSE(s.canNext);
    refused = control.press(ControlButton::Next);
    EXPECT_FALSE(refused.done);
    EXPECT_EQ(refused.reason, QStringLiteral("Next is disabled: the station is stopped"));

    int changes = 0;
    QObject::connect(&control, &StationControl::changed, [&] { ++changes; });
    EXPECT_TRUE(control.press(ControlButton::Play).done);
    EXPECT_EQ(station->state().TransportState, tsPlaying);
    ASSERT_TRUE(waitForStart(QStringLiteral("Gum - Long.mp3")));
    ASSERT_TRUE(waitFor([&] { return view.titleColour(2) == colours::red; }));
    control.checkForChange();
    EXPECT_GE(changes, 2) << "Play and the song's start are told";
    s = control.status();
    EXPECT_EQ(s.state, QStringLiteral("playing"));
    ASSERT_TRUE(s.onAir);
    EXPECT_EQ(s.onAir->artist, QStringLiteral("Gum"));
    EXPECT_EQ(s.onAir->title, QStringLiteral("Long"));
    EXPECT_EQ(s.deck, 1);
    EXPECT_NEAR(static_cast<double>(s.onAir->lengthMs), 9000.0, 200.0);
    EXPECT_GE(s.onAir->elapsedMs, 0);
    EXPECT_EQ(s.onAir->remainingMs(), s.onAir->lengthMs - s.onAir->elapsedMs);
    ASSERT_TRUE(s.next);
    EXPECT_EQ(s.next->artist, QStringLiteral("Alder"));
    EXPECT_EQ(s.next->title, QStringLiteral("One"));
    // Within 10 s of Play, Pause and Next stay disabled; Play is down, so it is refused too.
    EXPECT_FALSE(control.press(ControlButton::Next).done);
    refused = control.press(ControlButton::Play);
    EXPECT_EQ(refused.reason, QStringLiteral("Play is disabled: the station is playing"));

    // The socket's answers: the same snapshot as JSON and text, a refusal, and an unknown line.
    const QByteArray json = control.answer(control::kStatusJson);
    ASSERT_TRUE(json.startsWith("ok\n"));
    const QJsonObject o = QJsonDocument::fromJson(json.mid(3)).object();
    EXPECT_EQ(o.value(QStringLiteral("state")).toString(), QStringLiteral("playing"));
    EXPECT_EQ(o.value(QStringLiteral("onAir")).toObject().value(QStringLiteral("title")).toString(),
              QStringLiteral("Long"));
    EXPECT_EQ(o.value(QStringLiteral("next")).toObject().value(QStringLiteral("artist")).toString(),
              QStringLiteral("Alder"));
    EXPECT_EQ(o.value(QStringLiteral("slot")).toString(), QStringLiteral("Morning"));
    EXPECT_EQ(
        o.value(QStringLiteral("stream")).toObject().value(QStringLiteral("state")).toString(),
        QStringLiteral("off"));
    const QByteArray text = control.answer(control::kStatus);
    EXPECT_TRUE(text.contains("State: playing\nOn the air: Gum - Long (")) << text.constData();
    EXPECT_TRUE(text.contains("Next: Alder - One\n")) << text.constData();
    EXPECT_TRUE(text.contains("Slot: Morning, DJ ")) << text.constData();
    EXPECT_EQ(control.answer("next"), QByteArray("refused\nNext is disabled: it comes back 10 s "
                                                 "after Play or Next\n"));
    EXPECT_EQ(control.answer("rewind"), QByteArray("error\nunknown request\n"));

    // Pause as the button: the deck pauses, then Stop and Play are what the console offers.
    ASSERT_TRUE(waitFor([&] { return control.status().canPause; }, 12000));
    EXPECT_TRUE(control.press(ControlButton::Pause).done);
    EXPECT_EQ(station->state().TransportState, tsPaused);
    EXPECT_EQ(station->sequencer().deckState(1), DeckState::Paused);
    s = control.status();
    EXPECT_EQ(s.state, QStringLiteral("paused"));
    EXPECT_TRUE(s.canPlay && s.canStop && !s.canPause && !s.canNext);
    EXPECT_TRUE(control.press(ControlButton::Stop).done);
    EXPECT_EQ(station->state().TransportState, tsStopped);
    EXPECT_FALSE(control.press(ControlButton::Stop).done);
}
