#pragma once

#include "voice/speech/DJVolume.h"

#include <QObject>
#include <QString>
#include <QStringList>

namespace corvalin {

// A speech engine as the station uses it: voices by mode name, one utterance at a time, and its
// progress reported by the four notifications. Implemented by EspeakSpeechEngine and, for tests,
// FakeSpeechEngine. All functions and all signals belong to the thread the object lives on (the
// UI thread).
class DJSpeechEngine : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // The installed voices' mode names (SpeechEngineList).
    virtual QStringList voices() const = 0;
    // Speaks `taggedText` with the first voice whose mode name equals `voiceModeName` without
    // regard to letter case, ending any utterance under way. Returns at once. TextDataStarted and
    // TextDataDone always bracket the utterance, also when the voice is not installed (then
    // nothing is spoken and false is returned) or the engine fails.
    virtual bool Speak(const QString& voiceModeName, const QString& taggedText) = 0;
    // True when the speech was paused.
    virtual bool AudioPause() = 0;
    virtual bool AudioResume() = 0;
    // Cuts the utterance short; TextDataDone still follows.
    virtual bool AudioReset() = 0;
    // The engine's volume control.
    virtual SpeechAttributes& attributes() = 0;

Q_SIGNALS:
    void TextDataStarted();
    void TextDataDone();
    void BookMark(quint32 mark);
    // The UTF-8 byte offset, within the tagged text, of the word now being spoken.
    void WordPosition(qint64 byteOffset);
};

} // namespace corvalin
