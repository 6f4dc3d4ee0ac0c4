#pragma once

#include "voice/speech/DJSpeechEngine.h"

#include <vector>

namespace corvalin {

// A speech engine under the test's control: it records what it is asked to say and reports
// start, bookmarks, words and end only when the test says so. Voices and failures are set by the
// test. UI thread.
class FakeSpeechEngine final : public DJSpeechEngine {
    Q_OBJECT
public:
    struct Request {
        QString voice;
        QString text;
    };

    // A raw volume control of 0..65535, or none.
    class Attributes final : public SpeechAttributes {
    public:
        bool implemented = true;
        std::uint32_t volume = 65535;
        std::uint32_t VolumeGet(std::uint32_t* v) override;
        std::uint32_t VolumeSet(std::uint32_t v) override;
    };

    explicit FakeSpeechEngine(QStringList voices = {}, QObject* parent = nullptr);

    QStringList voices() const override { return voices_; }
    void setVoices(QStringList voices) { voices_ = std::move(voices); }
    // An unknown voice gets queued TextDataStarted and TextDataDone, as the real engine does.
    bool Speak(const QString& voiceModeName, const QString& taggedText) override;
    bool AudioPause() override;
    bool AudioResume() override;
    // Ends an utterance under way with a queued TextDataDone.
    bool AudioReset() override;
    SpeechAttributes& attributes() override { return attributes_; }

    // Test control, each emitting at once.
    void start();
    void reachBookmark(quint32 mark);
    void reachWord(qint64 byteOffset);
    void finish();

    const std::vector<Request>& requests() const { return requests_; }
    bool speaking() const { return speaking_; }
    bool paused() const { return paused_; }
    int resets() const { return resets_; }

    bool pauseSucceeds = true;
    Attributes& volumeControl() { return attributes_; }

private:
    QStringList voices_;
    std::vector<Request> requests_;
    Attributes attributes_;
    bool speaking_ = false;
    bool paused_ = false;
    int resets_ = 0;
};

} // namespace corvalin
