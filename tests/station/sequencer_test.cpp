#include "PlayoutFakes.h"
#include "TestSupport.h"
#include "feeds/NewsFeed.h"
#include "library/PlayList.h"
#include "library/SongNames.h"
#include "platform/Clock.h"
#include "station/Sequencer.h"
#include "station/SettingsStore.h"
#include "station/SlotPlayListTable.h"
#include "station/TimeSlot.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <set>

using namespace corvalin;
using namespace corvalin::test;

namespace {

class Host final : public SequencerHost {
public:
    std::function<void()> checkTimeSlot;
    std::function<void()> saveList;
    void CheckTimeSlot() override { checkTimeSlot(); }
    void SaveList() override {
        ++saves;
        saveList();
    }
    bool StartNewsFetch() override {
        ++fetches;
        return true;
    }
    bool HasVoices() const override { return true; }
    void Timer2Talk() override {
        ++talks;
        speaking = true;
    }
    bool HasSpeechEngine() const override { return true; }
    bool PauseSpeech() override { return true; }
    void ResumeSpeech() override { ++resumes; }
    void ResetSpeech() override { ++resets; }
    void SetPlayerTimers(int, bool) override {}
    void ResetMeters(int player) override { ++meterResets[player]; }
    void SongMissing(const QString& file) override { missing.insert(file); }
    std::set<QString> missing;
    std::map<int, int> meterResets;
    NewsFetchCounters& FetchCounters() override { return counters; }

    NewsFetchCounters counters{QDateTime(), 0};
    int saves = 0;
    int fetches = 0;
    int talks = 0;
    int resumes = 0;
    int resets = 0;
    bool speaking = false;
};

class SequencerTest : public ::testing::Test {
protected:
    // Song files named by `names` (empty files will do: the fake decks play nothing); a name
    // starting with "-" is listed but not created.
    void makeList(const std::vector<QString>& names) {
        QByteArray lst;
        for (const QString& n : names) {
            const bool missing = n.startsWith(u'-');
            const QString path = dir.file(missing ? n.mid(1) : n);
            if (!missing)
                writeWholeFile(path, "x");
            paths.push_back(path);
            lst += "F" + path.toUtf8() + "\r\n";
        }
        writeWholeFile(listFile(), lst);
        settings.ArtistSource = asFileName;
        settings.CrossFade = 6;
        settings.ReadNews = false;
        settings.ReadWeather = false;
        for (int i = 1; i <= kSlotCount; ++i) {
            slots[static_cast<std::size_t>(i)].PlayList = listFile();
            slots[static_cast<std::size_t>(i)].FrequencyType = ftSongs;
            slots[static_cast<std::size_t>(i)].FrequencySongs = 2;
        }
        host.checkTimeSlot = [this] {
            const TimeSlotChange change = scheduler.CheckTimeSlot(slots, slotList);
            ASSERT_TRUE(change.error.isEmpty()) << change.error.toStdString();
        };
        host.saveList = [this] { slotList.save(scheduler.listSource()); };
    }
    QString listFile() const { return dir.file("slot.lst"); }
    FakeDeck& activeDeck() { return state.ActivePlayer == 1 ? deck1 : deck2; }
    // Runs the active song to its end: first tick, the end of play, the tick that follows.
    void playToEnd() {
        ASSERT_TRUE(t1.isActive());
        seq.Timer1Timer();
        ASSERT_TRUE(t1.isActive());
        activeDeck().finish();
        seq.Timer1Timer();
    }
    QString playedMark(int row) const { return table.cell(row, plcPlayed); }

    TempFolder dir;
    std::vector<QString> paths;
    FakeClock clock;
    ScriptedRandom random{{7, 3, 5, 1}};
    TDJSlots slots;
    StationSettings settings;
    TPlayListTable table;
    SlotPlayListTable slotList{table, random};
    StationState state;
    TimeSlotScheduler scheduler{clock, random, state.Talk.SongsUntilTalk};
    FakeView view;
    std::set<QString> unopenable;
    FakeDeck deck1{unopenable};
    FakeDeck deck2{unopenable};
    FakeTimer t1, t2, t3, t4, t7, t8;
    Host host;
    Sequencer seq{state, scheduler, table,
                  slots, settings,  view,
                  deck1, deck2,     StationTimers{t1, t2, t3, t4, t7, t8},
                  host,  clock,     random};
};

TEST_F(SequencerTest, FirstPlayQueuesRedAndStartsLimeOnPlayerOne) {
    makeList({"Larks - Morning Rain`.mp3", "b.mp3"});
    seq.bPlayClick();
    ASSERT_EQ(deck1.opened, std::vector<QString>{paths[0]});
    EXPECT_TRUE(deck2.opened.empty());
    EXPECT_EQ(deck1.State(), DeckState::Playing);
    EXPECT_EQ(deck1.volume, -300);
    EXPECT_EQ(view.titleColours[1], (std::vector<RgbColour>{colours::red, colours::lime}));
    EXPECT_EQ(view.title[1], "Morning Rain - The Larks");
    EXPECT_EQ(view.length[1], " 3:00 ");
    EXPECT_TRUE(view.isButtonDown(TransportButton::Play));
    EXPECT_TRUE(view.isButtonEnabled(TransportButton::Stop));
    EXPECT_FALSE(view.isButtonEnabled(TransportButton::Play));
    EXPECT_EQ(t1.interval(), 6000 + 2000);
    EXPECT_TRUE(t4.isActive());
}

TEST_F(SequencerTest, SongsAlternateMarkSaveAndTalkAfterEverySecondSong) {
    makeList({"a.mp3", "-gone.mp3", "b.mp3", "c.mp3"});
    seq.bPlayClick();

    seq.Timer1Timer(); // first tick of a: counted, marked, b queued on player 2
    EXPECT_EQ(playedMark(0), "T");
    EXPECT_EQ(state.NextSongInfo().FileName, paths[2]);
    EXPECT_EQ(view.titleColours[2].back(), colours::red);
    EXPECT_EQ(host.saves, 1);
    EXPECT_TRUE(readWholeFile(listFile()).startsWith("T" + paths[0].toUtf8() + "\r\n"));
    seq.Timer1Timer(); // still playing: saved once per song only
    EXPECT_EQ(host.saves, 1);
    deck1.finish();
    seq.Timer1Timer(); // one song counted: no talk, b at once on player 2
    EXPECT_FALSE(t2.isActive());
    ASSERT_EQ(deck2.opened, std::vector<QString>{paths[2]});

    playToEnd(); // two songs counted: the DJ talks first
    EXPECT_EQ(playedMark(2), "T");
    EXPECT_EQ(playedMark(1), "F");
    EXPECT_TRUE(t2.isActive());
    EXPECT_EQ(deck1.opened.size(), 1u);
    seq.Timer2Timer();
    EXPECT_EQ(host.talks, 1);
    state.Talk.SongsSinceTalk = 0; // the talk resets it
    seq.Timer3Timer();
    EXPECT_EQ(deck1.opened.back(), paths[3]);

    playToEnd(); // c ends: the list is reset and starts again from the top
    EXPECT_EQ(deck2.opened.back(), paths[0]);
    EXPECT_EQ(playedMark(0), "F");
}

TEST_F(SequencerTest, OverlapFollowsLengthAndNeverOverlapMark) {
    struct Case {
        const char* name;
        std::int32_t duration;
        int timer1;
    } cases[] = {
        {"long.mp3", 180000, 8000},
        {"short.mp3", 7999, 3000},
        {"Artist - Title[.mp3", 180000, 3000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        const QString path = folder.file(c.name);
        writeWholeFile(path, "x");
        state.NextSongInfo() = _rSong{};
        state.ActivePlayer = 2;
        state.NextSongInfo().FileName = path;
        state.NextSongInfo().NeverOverlap = QString(c.name).contains(u'[');
        deck1.duration = c.duration;
        seq.PlaySong();
        EXPECT_EQ(t1.interval(), c.timer1);
    }
}

TEST_F(SequencerTest, ExcludedSongIsMarkedButNotCounted) {
    makeList({"Artist - Jingle].mp3", "b.mp3"});
    seq.bPlayClick();
    seq.Timer1Timer();
    EXPECT_EQ(playedMark(0), "T");
    EXPECT_EQ(state.Talk.SongsSinceTalk, 0);
    EXPECT_EQ(host.counters.SongsSinceFetch, 0);
    deck1.finish();
    seq.Timer1Timer();
    seq.Timer1Timer();
    EXPECT_EQ(state.Talk.SongsSinceTalk, 1);
}

TEST_F(SequencerTest, NextFadesOverFiveSecondsAndThenContinues) {
    makeList({"a.mp3", "b.mp3"});
    seq.bPlayClick();
    seq.Timer1Timer();
    seq.bNextClick();
    EXPECT_EQ(deck1.fadeMs, 5000);
    EXPECT_EQ(deck1.fadeVolume, -5000);
    EXPECT_FALSE(view.isButtonEnabled(TransportButton::Next));
    EXPECT_EQ(t1.interval(), 1000);
    seq.Timer1Timer(); // still fading
    EXPECT_TRUE(deck2.opened.empty());
    deck1.endFade();
    EXPECT_EQ(deck1.State(), DeckState::Stopped);
    EXPECT_TRUE(deck1.file().isEmpty());
    seq.Timer1Timer();
    EXPECT_EQ(deck2.opened, std::vector<QString>{paths[1]});
    seq.Timer4Timer();
    EXPECT_TRUE(view.isButtonEnabled(TransportButton::Next));
    EXPECT_TRUE(view.isButtonEnabled(TransportButton::Pause));
}

TEST_F(SequencerTest, StopFadesOutAndDisarmsEverything) {
    makeList({"a.mp3", "b.mp3"});
    seq.bPlayClick();
    seq.Timer1Timer();
    state.News.setHeadline("old news");
    seq.bStopClick();
    EXPECT_EQ(deck1.fadeMs, 2000);
    EXPECT_TRUE(view.isButtonDown(TransportButton::Stop));
    EXPECT_TRUE(view.isButtonEnabled(TransportButton::Play));
    EXPECT_FALSE(view.isButtonEnabled(TransportButton::Stop));
    EXPECT_FALSE(t1.isActive() || t2.isActive() || t3.isActive() || t4.isActive());
    EXPECT_TRUE(state.News.get().NewsHeadline.isEmpty());
    EXPECT_TRUE(view.title[1].isEmpty());
    EXPECT_EQ(state.ActivePlayer, 2);
    EXPECT_EQ(host.resets, 1);
    seq.bPlayClick(); // while player 1 still fades, the next song cuts it off
    EXPECT_EQ(deck1.opened.back(), paths[1]);
}

TEST_F(SequencerTest, ListWithOnlyMissingFilesStopsWithItsMessage) {
    makeList({"-gone1.mp3", "-gone2.mp3"});
    seq.bPlayClick();
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].text, kNoValidFilesInSlotList);
    EXPECT_EQ(view.messages[0].caption, kSetupErrorCaption);
    EXPECT_TRUE(view.isButtonDown(TransportButton::Stop));
    EXPECT_FALSE(view.isButtonEnabled(TransportButton::Stop));
    EXPECT_TRUE(deck1.opened.empty() && deck2.opened.empty());
    EXPECT_EQ(playedMark(0), "F");
    EXPECT_FALSE(t1.isActive());
}

// A list whose other songs are all missing comes round to the song on the air alone: it plays to
// its end and play stops with a box that says why, instead of the song playing over and over. The
// missing files are told to the host as they are skipped.
TEST_F(SequencerTest, OnlyTheSongOnTheAirLeftStopsAfterItInsteadOfRepeatingIt) {
    makeList({"a.mp3", "-gone.mp3", "-lost.mp3"});
    seq.bPlayClick();
    ASSERT_EQ(deck1.opened, std::vector<QString>{paths[0]});
    seq.Timer1Timer(); // the first tick: nothing but the song on the air can follow
    EXPECT_EQ(host.missing, (std::set<QString>{paths[1], paths[2]}));
    ASSERT_EQ(view.timerBoxes.size(), 1u);
    EXPECT_EQ(view.timerBoxes[0].text, kOnlySongOnAirPlayable.arg(2));
    EXPECT_EQ(view.timerBoxes[0].caption, kSetupErrorCaption);
    EXPECT_TRUE(view.isButtonDown(TransportButton::Play)) << "the song on the air plays on";
    ASSERT_TRUE(t1.isActive());
    activeDeck().finish();
    seq.Timer1Timer();
    EXPECT_TRUE(view.isButtonDown(TransportButton::Stop));
    EXPECT_TRUE(deck2.opened.empty());
    EXPECT_EQ(deck1.opened.size(), 1u);

    // With a second song that plays, the list goes round as ever.
    makeList({"b.mp3", "c.mp3", "-gone2.mp3"});
    for (int i = 1; i <= kSlotCount; ++i)
        slots[static_cast<std::size_t>(i)].FrequencyType = ftNever; // no talk between the songs
    scheduler.forceReload();
    view.timerBoxes.clear();
    seq.bPlayClick();
    playToEnd();
    playToEnd();
    EXPECT_TRUE(view.timerBoxes.empty());
    EXPECT_TRUE(view.isButtonDown(TransportButton::Play));
}

TEST_F(SequencerTest, UnopenableSongShowsTheBoxAndPlayGoesOn) {
    makeList({"bad.mp3", "b.mp3"});
    unopenable.insert(paths[0]);
    seq.bPlayClick();
    ASSERT_EQ(view.timerBoxes.size(), 1u);
    EXPECT_EQ(view.timerBoxes[0].text, kOpenErrorText + paths[0]);
    EXPECT_EQ(view.timerBoxes[0].caption, "Error");
    EXPECT_EQ(view.timerBoxes[0].ms, 15000);
    // The tick goes on at once: an unplayable file costs no more air than a song change.
    EXPECT_TRUE(t1.isActive());
    EXPECT_EQ(t1.interval(), 0);
    seq.Timer1Timer();
    EXPECT_EQ(playedMark(0), "T");
    // KillDSPlayers made player 2 the active one: the next song goes to player 1.
    EXPECT_EQ(deck1.opened, std::vector<QString>{paths[1]});
}

// The tick waits for the end of the song; the deck's end of play (or of the fade after Next)
// brings it forward instead of leaving up to a second of silence.
TEST_F(SequencerTest, EndOfPlayBringsTheTickForward) {
    makeList({"a.mp3", "b.mp3", "c.mp3"});
    seq.bPlayClick();
    seq.Timer1Timer();
    ASSERT_EQ(t1.interval(), 1000);
    deck1.finish();
    EXPECT_TRUE(t1.isActive());
    EXPECT_EQ(t1.interval(), 0);
    seq.Timer1Timer(); // one song counted: the next follows at once
    EXPECT_EQ(deck2.opened, std::vector<QString>{paths[1]});

    seq.Timer1Timer();
    seq.bNextClick();
    deck2.endFade();
    EXPECT_EQ(t1.interval(), 0);
    seq.Timer1Timer(); // two songs counted: the talk
    EXPECT_TRUE(t2.isActive());
    EXPECT_EQ(t2.interval(), 500);

    // Without a waiting tick (stopped), an end starts nothing.
    seq.bStopClick();
    deck1.endFade();
    deck2.endFade();
    EXPECT_FALSE(t1.isActive());
}

// The deck opens the song's file away from the window thread; the song starts when it is open.
// A Stop meanwhile drops the start, a Pause leaves the song waiting at its start.
TEST_F(SequencerTest, SongStartsWhenItsFileIsOpen) {
    makeList({"a.mp3", "b.mp3"});
    deck1.holdOpens = true;
    seq.bPlayClick();
    ASSERT_TRUE(deck1.openPending());
    EXPECT_NE(deck1.State(), DeckState::Playing);
    EXPECT_EQ(view.titleColour(1), colours::red);
    EXPECT_FALSE(t1.isActive());
    EXPECT_TRUE(seq.startPending());
    deck1.completeOpen();
    EXPECT_EQ(deck1.State(), DeckState::Playing);
    EXPECT_EQ(view.titleColour(1), colours::lime);
    EXPECT_EQ(t1.interval(), 8000);
    EXPECT_FALSE(seq.startPending());

    seq.bStopClick();
    deck1.endFade();
    seq.bPlayClick();
    ASSERT_TRUE(deck1.openPending());
    seq.bStopClick();
    deck1.completeOpen();
    EXPECT_NE(deck1.State(), DeckState::Playing);
    EXPECT_TRUE(deck1.file().isEmpty()); // opened too late: closed again
    EXPECT_FALSE(t1.isActive());

    seq.bPlayClick();
    seq.bPauseClick();
    seq.bPlayClick(); // the song being opened is not chosen again
    seq.bPauseClick();
    deck1.completeOpen();
    EXPECT_EQ(deck1.State(), DeckState::Paused);
    const std::size_t opens = deck1.opened.size();
    seq.bPlayClick();
    EXPECT_EQ(deck1.State(), DeckState::Playing);
    EXPECT_EQ(deck1.opened.size(), opens);
    EXPECT_EQ(t1.interval(), 1000);
}

TEST_F(SequencerTest, SongStartFallingIntoPauseHappensOnResume) {
    makeList({"a.mp3", "b.mp3", "c.mp3"});
    seq.bPlayClick();
    playToEnd();
    playToEnd();
    ASSERT_TRUE(t2.isActive());
    seq.Timer2Timer();
    state.Speech.DJSpeaking = true;
    seq.bPauseClick();
    EXPECT_TRUE(state.Speech.SpeechPaused);
    EXPECT_EQ(t8.interval(), 300000);
    seq.Timer3Timer(); // the talk's hand-back arrives during the pause
    EXPECT_EQ(deck1.opened.size(), 1u);
    seq.bPlayClick();
    EXPECT_EQ(host.resumes, 1);
    EXPECT_EQ(deck1.opened.back(), paths[2]);
}

TEST_F(SequencerTest, PauseResumesTheSongAndFiveMinutesBecomeStop) {
    makeList({"a.mp3", "b.mp3"});
    seq.bPlayClick();
    seq.bPauseClick();
    EXPECT_EQ(deck1.State(), DeckState::Paused);
    EXPECT_FALSE(t1.isActive());
    EXPECT_TRUE(view.isButtonEnabled(TransportButton::Play));
    seq.bPlayClick();
    EXPECT_EQ(deck1.State(), DeckState::Playing);
    EXPECT_EQ(deck1.opened.size(), 1u);
    EXPECT_EQ(t1.interval(), 1000);

    seq.bPauseClick();
    ASSERT_TRUE(t8.isActive());
    seq.Timer8Timer();
    EXPECT_TRUE(view.isButtonDown(TransportButton::Stop));
    EXPECT_EQ(deck1.State(), DeckState::Stopped); // a paused deck stops at once
}

TEST_F(SequencerTest, TalkRuleAtTheEndOfASong) {
    struct Case {
        const char* what;
        int frequencyType;
        int songsSinceTalk; // before the song that ends
        qint64 minutesSinceTalk;
        const char* headline;
        bool talks;
    } cases[] = {
        {"songs: not yet", ftSongs, 0, 0, "", false},
        {"songs: due", ftSongs, 1, 0, "", true},
        {"minutes: not more than", ftMinutes, 0, 12, "", false},
        {"minutes: more than", ftMinutes, 0, 13, "", true},
        {"news waiting", ftSongs, 0, 0, "Headline", true},
        {"never, even with news", ftNever, 5, 100, "Headline", false},
    };
    makeList({"a.mp3", "b.mp3"});
    settings.ReadNews = true;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (int i = 1; i <= kSlotCount; ++i)
            slots[static_cast<std::size_t>(i)].FrequencyType = c.frequencyType;
        seq.bStopClick();
        deck1.endFade();
        deck2.endFade();
        seq.bPlayClick();
        state.Talk.SongsSinceTalk = c.songsSinceTalk;
        state.Talk.LastDJTalk = clock.now().addSecs(-60 * c.minutesSinceTalk);
        seq.Timer1Timer();
        state.News.setHeadline(c.headline);
        const std::size_t starts = deck1.opened.size() + deck2.opened.size();
        activeDeck().finish();
        seq.Timer1Timer();
        EXPECT_EQ(t2.isActive(), c.talks);
        EXPECT_EQ(deck1.opened.size() + deck2.opened.size(), starts + (c.talks ? 0 : 1));
    }
}

TEST_F(SequencerTest, NewsIsFetchedByItsOwnSongCountOnlyWhenTheSlotTalks) {
    makeList({"a.mp3", "b.mp3", "c.mp3"});
    settings.ReadWeather = true;
    slots[kNewsSlot].FrequencyType = ftSongs;
    slots[kNewsSlot].FrequencySongs = 2;
    seq.bPlayClick();
    seq.Timer1Timer();
    EXPECT_EQ(host.fetches, 0);
    activeDeck().finish();
    seq.Timer1Timer();
    seq.Timer1Timer();
    EXPECT_EQ(host.fetches, 1);

    for (int i = 1; i <= kSlotCount; ++i)
        slots[static_cast<std::size_t>(i)].FrequencyType = ftNever;
    activeDeck().finish();
    seq.Timer1Timer();
    seq.Timer1Timer();
    EXPECT_EQ(host.counters.SongsSinceFetch, 3);
    EXPECT_EQ(host.fetches, 1);
}

TEST_F(SequencerTest, SongShorterThanTheOverlapDoesNotStallAStoppedDeck) {
    makeList({"a.mp3", "b.mp3"});
    deck1.duration = 500;
    seq.bPlayClick();
    seq.Timer1Timer();
    deck1.position = 400; // a deck that keeps its last position once stopped
    deck1.finish();
    seq.Timer1Timer();
    EXPECT_EQ(deck2.opened, std::vector<QString>{paths[1]});
}

TEST_F(SequencerTest, RandomOrderListPlaysByItsKeysBeforeAnyRepeat) {
    makeList({"a.mp3", "b.mp3", "c.mp3"});
    for (int i = 1; i <= kSlotCount; ++i)
        slots[static_cast<std::size_t>(i)].ListOrder = loRandom;
    seq.bPlayClick();
    std::vector<std::pair<QString, QString>> byKey; // key, file
    for (int row = 0; row < table.rowCount(); ++row)
        byKey.emplace_back(table.cell(row, plcRandom), table.cell(row, plcFileName));
    std::sort(byKey.begin(), byKey.end());
    std::vector<QString> expected;
    for (const auto& entry : byKey)
        expected.push_back(entry.second);
    ASSERT_NE(expected, paths); // the scripted keys do shuffle

    std::vector<QString> played{deck1.opened.back()};
    for (int i = 0; i < 2; ++i) {
        playToEnd();
        if (t2.isActive()) {
            seq.Timer2Timer();
            seq.Timer3Timer();
        }
        played.push_back(activeDeck().opened.back());
    }
    EXPECT_EQ(played, expected);
}

TEST_F(SequencerTest, PositionTimerShowsProgressAndRemainingTime) {
    makeList({"a.mp3"});
    seq.bPlayClick();
    deck1.position = 45000;
    seq.PlayerTimerATimer(1);
    EXPECT_EQ(view.position[1], 25);
    EXPECT_EQ(view.remaining[1], " 2:15 ");
}

} // namespace
