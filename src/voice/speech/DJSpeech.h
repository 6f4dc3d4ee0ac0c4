#pragma once

#include "voice/speech/DJSpeechEngine.h"
#include "voice/speech/DJVolume.h"
#include "voice/speech/TTSBufNotifySink.h"

#include <QObject>
#include <functional>

namespace corvalin {

inline constexpr const char* kDJTestSentence = "This is a DJ test for Corvalin Radio";

// The station's side of the speech engine: speaking a talk or the test sentence, the engine's
// notifications applied to the flags and the progress bar, pause, resume and reset from the
// transport buttons, and the DJ volume. The window connects the order signals to its timers and
// its bar. Lives on, and is called on, the UI thread.
class DJSpeech : public QObject {
    Q_OBJECT
public:
    // `flags` are the station's, shared with the sequencer; they outlive this object.
    DJSpeech(DJSpeechEngine& engine, RandomSource& random, DJSpeechFlags& flags,
             QString programFolder, QObject* parent = nullptr);

    DJSpeechFlags& flags() { return sink_.flags; }
    const DJProgressBar& bar() const { return sink_.bar; }
    DJVolumeSlider& volumeSlider() { return slider_; }
    const DJVolumeScale& volumeScale() const { return scale_; }
    DJSpeechEngine& engine() { return engine_; }

    // Asked at each bookmark: whether the queued song is marked "Never Overlap".
    void setNextSongNeverOverlap(std::function<bool()> query) { neverOverlap_ = std::move(query); }

    // Speaks `text` (tagged text) with the voice `voiceName`; see DJSpeechEngine::Speak.
    void SAPI_Speak(const QString& text, const QString& voiceName);
    // The speech side of the "Test DJ Voice" button: a voice test that starts no song.
    void speakTest(const QString& voiceName);

    // Pause button: SpeechPaused := whether the engine paused.
    void pause();
    // Play button: resumes a paused utterance.
    void resume();
    // Stop (clearSpeechPaused) and Next: cut the utterance short; TextDataDone follows.
    void reset(bool clearSpeechPaused);

    // The slider has a new value (already stored in volumeSlider()).
    void DJVolumeChanged();
    void Timer7Timer();

Q_SIGNALS:
    void armTimer3(int intervalMs);
    // Timer3, if running and due later than `intervalMs`, fires after `intervalMs` instead.
    void hurryTimer3(int intervalMs);
    void armTimer7(int intervalMs);
    void stopTimer7();
    void barChanged();
    void volumeSliderChanged();

private:
    void apply(const DJTimerOrders& orders);

    DJSpeechEngine& engine_;
    TTSBufNotifySink sink_;
    QString programFolder_;
    DJVolumeSlider slider_;
    DJVolumeScale scale_;
    std::function<bool()> neverOverlap_;
};

} // namespace corvalin
