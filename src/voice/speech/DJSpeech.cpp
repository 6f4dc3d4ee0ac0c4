#include "voice/speech/DJSpeech.h"

namespace corvalin {

DJSpeech::DJSpeech(DJSpeechEngine& engine, RandomSource& random, DJSpeechFlags& flags,
                   QString programFolder, QObject* parent)
    : QObject(parent), engine_(engine), sink_(random, flags),
      programFolder_(std::move(programFolder)) {
    connect(&engine_, &DJSpeechEngine::TextDataStarted, this,
            [this] { apply(sink_.TextDataStarted()); });
    connect(&engine_, &DJSpeechEngine::TextDataDone, this, [this] { apply(sink_.TextDataDone()); });
    connect(&engine_, &DJSpeechEngine::BookMark, this, [this](quint32 mark) {
        apply(sink_.BookMark(mark, neverOverlap_ && neverOverlap_()));
    });
    connect(&engine_, &DJSpeechEngine::WordPosition, this,
            [this](qint64 offset) { apply(sink_.WordPosition(offset)); });
}

void DJSpeech::apply(const DJTimerOrders& orders) {
    if (orders.stopTimer7) {
        Q_EMIT stopTimer7();
    }
    if (orders.repaintBar) {
        Q_EMIT barChanged();
    }
    if (orders.startTimer7) {
        Q_EMIT armTimer7(kTimer7IntervalMs);
    }
    if (orders.timer3IntervalMs >= 0) {
        Q_EMIT armTimer3(orders.timer3IntervalMs);
    }
    if (orders.timer3SoonerMs >= 0) {
        Q_EMIT hurryTimer3(orders.timer3SoonerMs);
    }
}

void DJSpeech::SAPI_Speak(const QString& text, const QString& voiceName) {
    const qint64 bytes = text.toUtf8().size();
    DJTimerOrders orders = sink_.speakStarting(bytes);
    CheckDJVolume(engine_.attributes(), slider_, scale_, programFolder_);
    Q_EMIT volumeSliderChanged();
    apply(orders);
    engine_.Speak(voiceName, text);
}

void DJSpeech::speakTest(const QString& voiceName) {
    sink_.flags.DJTestRunning = true;
    SAPI_Speak(QString::fromLatin1(kDJTestSentence), voiceName);
}

void DJSpeech::pause() {
    sink_.flags.SpeechPaused = engine_.AudioPause();
}

void DJSpeech::resume() {
    if (sink_.flags.DJSpeaking && sink_.flags.SpeechPaused) {
        sink_.flags.SpeechPaused = false;
        engine_.AudioResume();
    }
}

void DJSpeech::reset(bool clearSpeechPaused) {
    if (clearSpeechPaused) {
        sink_.flags.SpeechPaused = false;
    }
    engine_.AudioReset();
}

void DJSpeech::DJVolumeChanged() {
    corvalin::DJVolumeChanged(&engine_.attributes(), slider_, scale_, programFolder_);
}

void DJSpeech::Timer7Timer() {
    apply(sink_.Timer7Timer());
}

} // namespace corvalin
