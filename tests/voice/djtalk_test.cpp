#include "TestSupport.h"
#include "core/Helpers.h"
#include "voice/DJTalk.h"

#include <gtest/gtest.h>
#include <ostream>
#include <stdexcept>

using namespace corvalin;

namespace {

const QString LP = QStringLiteral("\\Pau=500\\");
const QString kIntro = QStringLiteral("\\Mrk=700\\");

QString S(const char* text) {
    return QString::fromUtf8(text);
}

// The talk as the composer joins its seven pieces.
QString talk(const QString& p1, const QString& p2, const QString& p3, const QString& p4,
             const QString& p5, const QString& p6, const QString& p7) {
    return p1 + LP + p2 + LP + p3 + LP + p4 + LP + p5 + LP + p6 + LP + kIntro + p7;
}

// Records what the composer asks of the window.
class RecordingHost : public TalkHost {
public:
    TTalkSettings settings{S("Radio Nowhere"), QString(), S("Ann"), S("Voice A"), ftSongs};
    bool voices = true;
    bool playDown = true;
    bool speakTaken = true;
    bool speakThrows = false;
    QStringList calls;
    QString spokenVoice;
    QString spokenText;

    TTalkSettings TalkSettings() const override { return settings; }
    bool HasVoices() const override { return voices; }
    void ClearDJTestRunning() override { calls << S("ClearDJTestRunning"); }
    bool Speak(const QString& voice, const QString& text) override {
        calls << S("Speak");
        if (speakThrows)
            throw std::runtime_error("engine gone");
        spokenVoice = voice;
        spokenText = text;
        return speakTaken;
    }
    bool PlayDown() const override { return playDown; }
    void PlaySong() override { calls << S("PlaySong"); }
    void bStopClick() override { calls << S("bStopClick"); }
};

_rSong song(const char* artist, const char* title) {
    _rSong s;
    s.FileName = S("/music/song.mp3");
    s.Artist = S(artist);
    s.Title = S(title);
    return s;
}

class Talk : public ::testing::Test {
protected:
    void SetUp() override {
        phrases.LoadPhrase(S("Wow!"), lists.LastSongPhrases);
        phrases.LoadPhrase(S("This is &StationIdentification&."), lists.ThisIsPhrases);
        phrases.LoadPhrase(S("News first."), lists.BeforeNewsPhrases);
        phrases.LoadPhrase(S("News done."), lists.AfterNewsPhrases);
        phrases.LoadPhrase(S("Next up,"), lists.NextSongPhrases);
        state.LastPSA = clock.now(); // the announcement is not due
        state.SongsSinceTalk = 4;
    }
    QString spoken() const { return host.spokenText; }

    const TVocabulary vocabulary = TVocabulary::builtIn();
    ScriptedRandom random{{0}};
    TPhrases phrases{random};
    TLivePhraseLists lists;
    TSongs songs;
    NewsHandOver news;
    TTalkState state;
    FakeClock clock{QDateTime(QDate(2026, 12, 10), QTime(10, 31))};
    RecordingHost host;
    TDJTalk composer{{vocabulary, phrases, lists, songs, news, state, clock, random, host, S(":")}};
    const QString p2 = S("This is Radio Nowhere.");
};

TEST_F(Talk, WholeTalkNamesBothSongsAndRestartsTheMeasures) {
    songs[kLastSongInfo] = song("Rovers", "Blue Night");
    songs[kLastSongInfo].TheArtist = true;
    songs[kNextSongInfo] = song("Mara Quill", "");
    composer.SetDJSpeech();

    EXPECT_EQ(spoken(), talk(S("Wow!") + LP + S("That was,  Blue Night, from, The Rovers.") + LP,
                             p2, {}, {}, {}, {}, S("Next up, Mara Quill.")));
    EXPECT_EQ(host.spokenVoice, S("Voice A"));
    EXPECT_EQ(host.calls, (QStringList{S("ClearDJTestRunning"), S("Speak")}));
    EXPECT_EQ(state.NextSongIntro, S("Next up, Mara Quill."));
    EXPECT_EQ(state.LastDJTalk, clock.now());
    EXPECT_EQ(state.SongsSinceTalk, 0);
}

TEST_F(Talk, NamingForms) {
    const struct {
        const char* name;
        _rSong song;
        QString p1; // after the remark and the opening words, before the closing pause
        QString p7;
    } cases[] = {
        {"title only, The",
         [] {
             auto s = song("", "Night");
             s.TheTitle = true;
             return s;
         }(),
         S("  The Night."), S("Next up, The Night.")},
        {"artist only", song("Mara Quill", ""), S("  Mara Quill."), S("Next up, Mara Quill.")},
        {"blank title", song("Artist", "   "), S("  , from, Artist."),
         S("Next up, Artist, with, .")},
        {"both, The title",
         [] {
             auto s = song("Larks", "Rain");
             s.TheTitle = true;
             return s;
         }(),
         S("  The Rain, from, Larks."), S("Next up, Larks, with, The Rain.")},
    };
    for (const auto& c : cases) {
        songs[kLastSongInfo] = c.song;
        songs[kNextSongInfo] = c.song;
        composer.SetDJSpeech();
        EXPECT_EQ(spoken(),
                  talk(S("Wow!") + LP + S("That was,") + c.p1 + LP, p2, {}, {}, {}, {}, c.p7))
            << c.name;
    }
}

// Artists and titles come from file names and tags: their backslashes never become speech tags,
// and a huge tag cannot keep the DJ talking for minutes. The operator's own tags stay.
TEST_F(Talk, SongTextsReachTheSpeechAsPlainWords) {
    songs[kLastSongInfo] = song("AC\\DC", "\\Pau=9000\\ Thunder \\Mrk=700\\");
    songs[kNextSongInfo] = song("\\Emp\\ Loud", "Quiet");
    host.settings.StationIdentification = S("Radio \\Emp\\ Nowhere");
    composer.SetDJSpeech();
    const QString text = spoken();
    EXPECT_TRUE(text.contains(S("That was,  Pau=9000  Thunder  Mrk=700, from, AC DC.")))
        << text.toStdString();
    EXPECT_TRUE(text.contains(S("Next up, Emp  Loud, with, Quiet."))) << text.toStdString();
    EXPECT_FALSE(text.contains(S("\\Pau=9000\\")));
    EXPECT_EQ(text.count(kIntro), 1);                       // only the composer's own bookmark
    EXPECT_TRUE(text.contains(S("Radio \\Emp\\ Nowhere"))); // the operator's tag is kept
    QString untagged = text;
    untagged.remove(LP).remove(kIntro).remove(S("\\Emp\\"));
    EXPECT_FALSE(untagged.contains(QLatin1Char('\\'))) << untagged.toStdString();

    const QString huge = QStringLiteral("la ").repeated(5000);
    songs[kLastSongInfo] = song(huge.toUtf8().constData(), huge.toUtf8().constData());
    composer.SetDJSpeech();
    EXPECT_LT(spoken().size(), 3 * kMaxSongTextChars + 200);
}

TEST_F(Talk, SongsNotNamedDrawNoPhrase) {
    _rSong never = song("Rovers", "Blue Night");
    never.NeverAnnounce = true;
    _rSong noFile = song("Rovers", "Blue Night");
    noFile.FileName.clear();
    const _rSong nameless = song("", "");
    for (const _rSong& s : {never, noFile, nameless}) {
        songs[kLastSongInfo] = s;
        songs[kNextSongInfo] = s;
        composer.SetDJSpeech();
        EXPECT_EQ(spoken(), talk(LP, p2, {}, {}, {}, {}, {}));
        EXPECT_EQ(lists.LastSongPhrases.cursor(), TPhraseList::kNone);
        EXPECT_EQ(lists.NextSongPhrases.cursor(), TPhraseList::kNone);
        EXPECT_TRUE(state.NextSongIntro.isEmpty());
    }
}

TEST_F(Talk, SampleSongsRemindTheOperatorInExactCaseOnly) {
    const QString reminder = LP + S(" ") + vocabulary.zzDJ4 + S(" ");
    songs[kLastSongInfo] = song("Corvalin Radio Sample", "Demo");
    composer.SetDJSpeech();
    EXPECT_EQ(spoken(), talk(S("Wow!") + LP + S("That was,  Demo, from, Corvalin Radio Sample.") +
                                 LP + reminder,
                             p2, {}, {}, {}, {}, {}));
    songs[kLastSongInfo].NeverAnnounce = true;
    composer.SetDJSpeech();
    EXPECT_EQ(spoken(), talk(LP + reminder, p2, {}, {}, {}, {}, {}));
    songs[kLastSongInfo].Artist = S("corvalin radio sample");
    composer.SetDJSpeech();
    EXPECT_EQ(spoken(), talk(LP, p2, {}, {}, {}, {}, {}));
}

TEST_F(Talk, NewsIsReadOnce) {
    news.setHeadline(S("Big storm."));
    composer.SetDJSpeech();
    EXPECT_EQ(spoken(),
              talk(LP, p2, LP + S("News first.") + LP + S("Big storm.") + LP + S("News done.") + LP,
                   {}, {}, {}, {}));
    EXPECT_TRUE(news.get().NewsHeadline.isEmpty());
    composer.SetDJSpeech();
    EXPECT_EQ(spoken(), talk(LP, p2, {}, {}, {}, {}, {}));
}

TEST_F(Talk, Weather) {
    const struct {
        const char* city;
        const char* condition;
        const char* temperature;
        const char* p5;
    } cases[] = {
        // No blank before the comma that opens zzDJ26 (", it is").
        {"Springfield", "Sunny", "72",
         "\\Pau=500\\ Outside here in Springfield, it is Sunny,  and 72 degrees \\Pau=500\\"},
        // The normaliser expands the abbreviations of the place.
        {"Logan Intl. Arpt.", "", "5",
         " Outside  over at Logan International Airport, it is 5 degrees \\Pau=500\\"},
        {"Edwards Field", "", "90",
         " Outside  over at Edwards Field, it is 90 degrees \\Pau=500\\"},
        {"Mansfield", "", "91", " Outside  here in Mansfield, it is 91 degrees \\Pau=500\\"},
        {"Meigs field/Chicago", "", "92",
         " Outside  over at Meigs field/Chicago, it is 92 degrees \\Pau=500\\"},
        {"Springfield ", "", "93", " Outside  here in Springfield, it is 93 degrees \\Pau=500\\"},
        {"", "Rain", "60", "\\Pau=500\\ Outside, it is Rain,  and 60 degrees \\Pau=500\\"},
        {"", "", "61", " Outside, it is 61 degrees \\Pau=500\\"},
    };
    for (const auto& c : cases) {
        news.set({QString(), S(c.temperature), S(c.city), S(c.condition)});
        composer.SetDJSpeech();
        EXPECT_EQ(spoken(), talk(LP, p2, {}, {}, S(c.p5), {}, {})) << c.city;
        const NewsTexts left = news.get();
        EXPECT_TRUE(left.WeatherTemperature.isEmpty());
        EXPECT_TRUE(left.WeatherCondition.isEmpty());
        EXPECT_EQ(left.WeatherCity, S(c.city));
    }
}

TEST_F(Talk, WeatherWordsWithoutAPunctuationMarkKeepTheirBlank) {
    TVocabulary plain = TVocabulary::builtIn();
    plain.zzDJ26 = S("it is");
    TDJTalk other{{plain, phrases, lists, songs, news, state, clock, random, host, S(":")}};
    news.set({QString(), S("70"), S("Springfield"), S("Fog")});
    other.SetDJSpeech();
    EXPECT_EQ(spoken(), talk(LP, p2, {}, {},
                             S("\\Pau=500\\ Outside here in Springfield it is Fog,  and 70 "
                               "degrees \\Pau=500\\"),
                             {}, {}));
}

TEST_F(Talk, AnnouncementAtMostEveryFiftyMinutes) {
    host.settings.PublicService = S("Drink water.");
    const QString p6 =
        LP + S(" ") + vocabulary.zzDJ29 + S(" ") + LP + S("Drink water.") + LP + S(" OK ") + LP;
    state.LastPSA = neverFrom(clock.now());
    clock.set(QDateTime(QDate(2026, 12, 10), QTime(10, 3)));
    const QDateTime first = clock.now();
    composer.SetDJSpeech();
    EXPECT_EQ(spoken(), talk(LP, p2, {}, {}, {}, p6, {}));
    EXPECT_EQ(state.LastPSA, first);

    clock.set(first.addSecs(50 * 60)); // 10:53, exactly 50 minutes: not yet
    composer.SetDJSpeech();
    EXPECT_EQ(spoken(), talk(LP, p2, {}, {}, {}, {}, {}));
    EXPECT_EQ(state.LastPSA, first);

    clock.set(first.addSecs(50 * 60 + 1));
    composer.SetDJSpeech();
    EXPECT_EQ(spoken(), talk(LP, p2, {}, {}, {}, p6, {}));

    // Due with nothing to say: nothing is said, and the interval restarts all the same.
    host.settings.PublicService.clear();
    clock.set(clock.now().addSecs(51 * 60));
    composer.SetDJSpeech();
    EXPECT_EQ(spoken(), talk(LP, p2, {}, {}, {}, {}, {}));
    EXPECT_EQ(state.LastPSA, clock.now());
}

TEST_F(Talk, TimeOfDayIsPartOfTheTalk) {
    clock.set(QDateTime(QDate(2026, 12, 10), QTime(14, 15)));
    composer.SetDJSpeech();
    EXPECT_EQ(spoken(), talk(LP, p2, {}, S("It's 2:15  P.M. ") + LP, {}, {}, {}));
}

TEST_F(Talk, NoVoicesRestartsTheMeasuresOnly) {
    host.voices = false;
    news.setHeadline(S("Big storm."));
    clock.advanceMs(1000);
    composer.SetDJSpeech();
    EXPECT_TRUE(host.calls.isEmpty());
    EXPECT_EQ(state.SongsSinceTalk, 0);
    EXPECT_EQ(state.LastDJTalk, clock.now());
    EXPECT_EQ(news.get().NewsHeadline, S("Big storm."));
}

TEST_F(Talk, FailureStartsTheNextSongOrStops) {
    const struct {
        bool taken;
        bool throws;
        bool playDown;
        const char* then;
    } cases[] = {
        {false, false, true, "PlaySong"},
        {false, false, false, "bStopClick"},
        {true, true, true, "PlaySong"},
        {true, true, false, "bStopClick"},
    };
    for (const auto& c : cases) {
        host.calls.clear();
        host.speakTaken = c.taken;
        host.speakThrows = c.throws;
        host.playDown = c.playDown;
        composer.SetDJSpeech();
        EXPECT_EQ(host.calls, (QStringList{S("ClearDJTestRunning"), S("Speak"), S(c.then)}));
    }
}

TEST_F(Talk, Timer2DrawsANewDistanceForRandomSlots) {
    ScriptedRandom draws({10, 0});
    TDJTalk other{{vocabulary, phrases, lists, songs, news, state, clock, draws, host, S(":")}};
    state.SongsUntilTalk = 3;
    other.Timer2Timer();
    EXPECT_EQ(state.SongsUntilTalk, 3);
    EXPECT_EQ(draws.draws(), 0);
    host.settings.FrequencyType = ftRandom;
    other.Timer2Timer();
    EXPECT_EQ(state.SongsUntilTalk, 11);
    other.Timer2Timer();
    EXPECT_EQ(state.SongsUntilTalk, 1);
    EXPECT_EQ(host.calls.count(S("Speak")), 3);
}

// The time of day for every hour: HC, E, F (this hour) and HN, G (the coming hour).
struct Hour {
    int h;
    const char* hc;
    const char* e;
    const char* f;
    const char* hn;
    const char* g;
};
const Hour kHours[] = {
    {0, "12", "A.M.", "midnight", "1", "A.M."},
    {1, "1", "A.M.", "A.M.", "2", "A.M."},
    {2, "2", "in the morning!", "in the morning!", "3", "in the morning!"},
    {3, "3", "in the morning!", "in the morning!", "4", "in the morning!"},
    {4, "4", "in the morning!", "in the morning!", "5", "in the morning!"},
    {5, "5", "A.M.", "A.M.", "6", "A.M."},
    {6, "6", "A.M.", "A.M.", "7", "A.M."},
    {7, "7", "A.M.", "A.M.", "8", "A.M."},
    {8, "8", "A.M.", "A.M.", "9", "A.M."},
    {9, "9", "A.M.", "A.M.", "10", "A.M."},
    {10, "10", "A.M.", "A.M.", "11", "A.M."},
    {11, "11", "A.M.", "A.M.", "12", "noon"},
    {12, "12", "P.M.", "noon", "1", "P.M."},
    {13, "1", "P.M.", "P.M.", "2", "P.M."},
    {14, "2", "P.M.", "P.M.", "3", "P.M."},
    {15, "3", "P.M.", "P.M.", "4", "P.M."},
    {16, "4", "P.M.", "P.M.", "5", "P.M."},
    {17, "5", "P.M.", "P.M.", "6", "P.M."},
    {18, "6", "P.M.", "P.M.", "7", "P.M."},
    {19, "7", "P.M.", "P.M.", "8", "P.M."},
    {20, "8", "P.M.", "P.M.", "9", "P.M."},
    {21, "9", "P.M.", "P.M.", "10", "P.M."},
    {22, "10", "P.M.", "P.M.", "11", "P.M."},
    {23, "11", "P.M.", "P.M.", "12", "midnight"},
};

// The announcement with {HC}, {E}, {F}, {HN}, {G} and {M} filled in.
QString expand(const char* form, const Hour& hour, int minute) {
    QString s = S(form);
    s.replace(S("{HC}"), S(hour.hc));
    s.replace(S("{E}"), S(hour.e));
    s.replace(S("{F}"), S(hour.f));
    s.replace(S("{HN}"), S(hour.hn));
    s.replace(S("{G}"), S(hour.g));
    s.replace(S("{M}"), QString::number(minute));
    s.replace(S("{R}"), QString::number(60 - minute));
    return s;
}

TEST(TimeAnnouncement, EveryHourAndAnnouncedMinute) {
    const TVocabulary v = TVocabulary::builtIn();
    const struct {
        std::initializer_list<int> minutes;
        const char* form;
    } rows[] = {
        {{1}, "The current time is, 1 minute after {HC} o'clock \\Pau=250\\ {F} "},
        {{2, 5, 10}, "The current time is, {M} minutes after {HC} o'clock \\Pau=250\\ {F} "},
        {{15, 20, 25, 30, 35, 40, 45}, "It's {HC}:{M}  {E} "},
        {{50, 55, 58}, "The time will be {HN} o'clock \\Pau=250\\ {G}  in just {R} minutes "},
        {{59}, "The current time is, 1 minute before {HN} o'clock \\Pau=250\\ {G} "},
        {{3, 7, 14, 31, 49, 57}, ""},
    };
    for (const Hour& hour : kHours) {
        const QString onTheHour = hour.h == 0 ? S("The current time is, 12 o'clock, midnight ")
                                  : hour.h == 12
                                      ? S("The current time is, 12 o'clock, noon ")
                                      : expand("The current time is, {HC}  {E} ", hour, 0);
        EXPECT_EQ(TDJTalk::TimeAnnouncement(v, QTime(hour.h, 0), S(":")), onTheHour) << hour.h;
        for (const auto& row : rows)
            for (const int m : row.minutes)
                EXPECT_EQ(TDJTalk::TimeAnnouncement(v, QTime(hour.h, m), S(":")),
                          expand(row.form, hour, m))
                    << hour.h << ":" << m;
    }
}

TEST(TimeAnnouncement, ExamplesWithTheirSeparator) {
    const TVocabulary v = TVocabulary::builtIn();
    const struct {
        int h, m;
        const char* separator;
        const char* text;
    } cases[] = {
        {0, 0, ":", "The current time is, 12 o'clock, midnight "},
        {7, 0, ":", "The current time is, 7  A.M. "},
        {15, 1, ":", "The current time is, 1 minute after 3 o'clock \\Pau=250\\ P.M. "},
        {3, 10, ":",
         "The current time is, 10 minutes after 3 o'clock \\Pau=250\\ in the morning! "},
        {14, 15, ":", "It's 2:15  P.M. "},
        {14, 15, ".", "It's 2.15  P.M. "},
        {11, 50, ":", "The time will be 12 o'clock \\Pau=250\\ noon  in just 10 minutes "},
        {23, 59, ":", "The current time is, 1 minute before 12 o'clock \\Pau=250\\ midnight "},
        {8, 7, ":", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TDJTalk::TimeAnnouncement(v, QTime(c.h, c.m), S(c.separator)).toStdString(),
                  c.text)
            << c.h << ":" << c.m;
}

} // namespace
