#pragma once

#include "platform/Clock.h"

#include <QtGlobal>

namespace corvalin {

// Flags the speech shares with the sequencer, the transport buttons and the composer.
struct DJSpeechFlags {
    bool DJSpeaking = false;
    bool DJTestRunning = false;
    bool NextSongStarted = false;
    bool SpeechPaused = false;
};

// What the DJ progress bar `pbDJ` shows.
struct DJProgressBar {
    qint64 Position = 0;
    qint64 Max = 0;
    bool ShowBorder = false;
};

// What the window must do with its timers after an event; -1 / false: nothing.
struct DJTimerOrders {
    int timer3IntervalMs = -1; // arm Timer3 (start the next song) with this interval
    int timer3SoonerMs = -1;   // a running Timer3 due later than this fires after this instead
    bool startTimer7 = false;  // arm Timer7 with kTimer7IntervalMs (hide the bar later)
    bool stopTimer7 = false;
    bool repaintBar = false;
};

inline constexpr quint32 kIntroMark = 700;
inline constexpr int kTimer7IntervalMs = 6000;
inline constexpr int kSongAfterSpeechMs = 250;

// The rules by which the speech notifications drive the progress bar and the song start.
// Pure logic over the flags and the bar; the window applies the returned orders. UI thread.
class TTSBufNotifySink {
public:
    // `flags` belong to the station's state and outlive the sink.
    TTSBufNotifySink(RandomSource& random, DJSpeechFlags& speechFlags)
        : flags(speechFlags), random_(random) {}

    DJSpeechFlags& flags;
    DJProgressBar bar;

    // An utterance of `textBytes` bytes is handed to the engine: the bar tracks it.
    DJTimerOrders speakStarting(qint64 textBytes);
    DJTimerOrders TextDataStarted();
    // `nextSongNeverOverlap`: the queued song is marked "Never Overlap".
    DJTimerOrders BookMark(quint32 mark, bool nextSongNeverOverlap);
    DJTimerOrders WordPosition(qint64 byteOffset);
    DJTimerOrders TextDataDone();
    DJTimerOrders Timer7Timer();

private:
    RandomSource& random_;
};

} // namespace corvalin
