#pragma once

#include "core/Types.h"
#include "platform/Clock.h"
#include "voice/NewsHandOver.h"
#include "voice/PhraseLists.h"
#include "voice/Vocabulary.h"

#include <QDateTime>
#include <QString>

namespace corvalin {

// The settings a talk reads, as they stand when it is composed.
struct TTalkSettings {
    QString StationIdentification;
    QString PublicService; // stored trimmed
    // Of the current slot:
    QString DJName;
    QString SpeechEngine; // the voice's mode name
    int FrequencyType = ftSongs;
};

// Talk rule state shared with the playout sequencer. Owned by the main window; UI thread.
struct TTalkState {
    QDateTime LastDJTalk;
    int SongsSinceTalk = 0;
    int SongsUntilTalk = 0;
    // Far in the past at start-up (neverFrom), so the first talk carries the announcement; an
    // invalid date-time counts as far in the past too.
    QDateTime LastPSA;
    QString NextSongIntro; // the introduction of the last talk
};

// What the composer asks of the main window. Every call comes on the UI thread.
class TalkHost {
public:
    virtual ~TalkHost() = default;
    virtual TTalkSettings TalkSettings() const = 0;
    // `SpeechEngineList` is not empty.
    virtual bool HasVoices() const = 0;
    // The utterance handed over next is a talk, not a voice test (`DJTestRunning` := false).
    virtual void ClearDJTestRunning() = 0;
    // `SAPI_Speak`: hands the tagged text to the engine. False when it was not taken (voice not
    // installed, engine failure): then no notification will follow and nothing would start the
    // next song.
    virtual bool Speak(const QString& voiceModeName, const QString& taggedText) = 0;
    // The Play button is down.
    virtual bool PlayDown() const = 0;
    // Starts the queued song (`PlaySong`).
    virtual void PlaySong() = 0;
    // Presses Stop.
    virtual void bStopClick() = 0;
};

// The DJ talk between two songs. Everything it reads or writes belongs to the main window and is
// given by reference; all of it lives longer than the composer. UI thread only.
class TDJTalk {
public:
    struct Inputs {
        const TVocabulary& vocabulary;
        TPhrases& phrases;
        TLivePhraseLists& lists;
        const TSongs& Songs; // LastSongInfo and NextSongInfo
        NewsHandOver& news;  // read and emptied here
        TTalkState& state;
        const Clock& clock;
        RandomSource& random;
        TalkHost& host;
        QString timeSeparator; // the locale's, for "It's" announcements
    };

    explicit TDJTalk(Inputs inputs) : in_(std::move(inputs)) {}

    // The `Timer2` event, after the window has turned the timer off: draws a new talk distance
    // for a slot of random frequency, then talks.
    void Timer2Timer();
    // Composes one talk, normalises it and hands it to the speech engine with the slot's voice.
    // On any failure the station goes on: the next song at once when playing, else Stop.
    void SetDJSpeech();

    // The time of day as announced at `time`; empty for minutes that are not announced.
    static QString TimeAnnouncement(const TVocabulary& vocabulary, const QTime& time,
                                    const QString& timeSeparator);

private:
    void compose(const QDateTime& now);
    QString lastSongPiece();
    QString newsPiece(const NewsTexts& news);
    QString weatherPiece(const NewsTexts& news);
    QString announcementPiece(const TTalkSettings& settings, const QDateTime& now);
    QString nextSongPiece();

    Inputs in_;
};

} // namespace corvalin
