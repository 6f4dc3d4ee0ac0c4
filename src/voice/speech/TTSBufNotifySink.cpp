#include "voice/speech/TTSBufNotifySink.h"

namespace corvalin {

DJTimerOrders TTSBufNotifySink::speakStarting(qint64 textBytes) {
    DJTimerOrders o;
    o.stopTimer7 = true; // a pending reset must not hide the new bar
    bar.Position = 0;
    bar.Max = textBytes;
    bar.ShowBorder = true;
    o.repaintBar = true;
    return o;
}

DJTimerOrders TTSBufNotifySink::TextDataStarted() {
    flags.DJSpeaking = true;
    flags.NextSongStarted = false;
    return {};
}

DJTimerOrders TTSBufNotifySink::BookMark(quint32 mark, bool nextSongNeverOverlap) {
    DJTimerOrders o;
    if (mark == kIntroMark && !nextSongNeverOverlap && !flags.NextSongStarted) {
        flags.NextSongStarted = true;
        o.timer3IntervalMs = 2000 + random_.below(3000);
    }
    return o;
}

DJTimerOrders TTSBufNotifySink::WordPosition(qint64 byteOffset) {
    DJTimerOrders o;
    if (bar.ShowBorder && byteOffset > bar.Position) {
        if (byteOffset > bar.Max) {
            bar.Max = byteOffset;
        }
        bar.Position = byteOffset;
        o.repaintBar = true;
    }
    return o;
}

DJTimerOrders TTSBufNotifySink::TextDataDone() {
    DJTimerOrders o;
    flags.DJSpeaking = false;
    bar.Position = bar.Max;
    o.repaintBar = true;
    o.startTimer7 = true;
    if (!flags.DJTestRunning && !flags.NextSongStarted) {
        flags.NextSongStarted = true;
        o.timer3IntervalMs = kSongAfterSpeechMs;
    } else if (!flags.DJTestRunning) {
        // The start drawn at the bookmark may fall after the DJ's last word: whichever comes
        // first starts the song, so a short introduction leaves no dead air.
        o.timer3SoonerMs = kSongAfterSpeechMs;
    }
    flags.DJTestRunning = false;
    return o;
}

DJTimerOrders TTSBufNotifySink::Timer7Timer() {
    DJTimerOrders o;
    bar.Position = 0;
    bar.ShowBorder = false;
    o.repaintBar = true;
    return o;
}

} // namespace corvalin
