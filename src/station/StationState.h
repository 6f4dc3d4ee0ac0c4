#pragma once

#include "core/Types.h"
#include "voice/DJTalk.h"
#include "voice/NewsHandOver.h"
#include "voice/speech/TTSBufNotifySink.h"

#include <QDateTime>
#include <QString>

namespace corvalin {

// The last transport action.
enum TTransportState : int { tsNone = 0, tsPlaying = 1, tsPaused = 2, tsStopped = 3 };

// The station's runtime state for playout and transport, one instance for the program's life.
// The time-slot fields (CurrentSlot, LoadedListFile, ListChanged) live in TimeSlotScheduler, the
// fetch bookkeeping in NewsFeed. Window thread only, except News.
struct StationState {
    TSongs Songs;
    _rSong& LastSongInfo() { return Songs[kLastSongInfo]; }
    _rSong& NextSongInfo() { return Songs[kNextSongInfo]; }
    const _rSong& NextSongInfo() const { return Songs[kNextSongInfo]; }

    int CurrentListIndex = -1; // row of the queued song
    bool SongFound = false;
    int ActivePlayer = 2; // so the first song goes to player 1
    qint64 OverlapMs = 0;
    qint64 SongLengthMs = 0;
    bool NewSongStarted = false;
    bool ListSavePending = false;
    bool SkipRequested = false;
    bool StartFailed = false;
    int TransportState = tsNone;

    // The talk rule (counters, last talk and announcement), shared with the talk composer; its
    // SongsUntilTalk is set by the time-slot scheduler.
    TTalkState Talk;
    // The speech flags, shared with the speech side.
    DJSpeechFlags Speech;
    // The fetched news and weather texts, written by the fetch thread.
    NewsHandOver News;

    // A song start the talk scheduled while play was paused: made good on resume.
    bool SongStartPending = false;
};

} // namespace corvalin
