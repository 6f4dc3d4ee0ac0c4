#include "voice/speech/FakeSpeechEngine.h"

#include <QMetaObject>
#include <algorithm>

namespace corvalin {

std::uint32_t FakeSpeechEngine::Attributes::VolumeGet(std::uint32_t* v) {
    if (!implemented) {
        return kSpeechNotImplemented;
    }
    *v = volume;
    return kSpeechOk;
}

std::uint32_t FakeSpeechEngine::Attributes::VolumeSet(std::uint32_t v) {
    if (!implemented) {
        return kSpeechNotImplemented;
    }
    volume = std::min<std::uint32_t>(v, 65535);
    return kSpeechOk;
}

FakeSpeechEngine::FakeSpeechEngine(QStringList voices, QObject* parent)
    : DJSpeechEngine(parent), voices_(std::move(voices)) {}

bool FakeSpeechEngine::Speak(const QString& voiceModeName, const QString& taggedText) {
    const bool known = std::any_of(voices_.cbegin(), voices_.cend(), [&](const QString& v) {
        return v.compare(voiceModeName, Qt::CaseInsensitive) == 0;
    });
    if (speaking_) {
        AudioReset();
    }
    requests_.push_back({voiceModeName, taggedText});
    if (!known) {
        QMetaObject::invokeMethod(
            this, [this] { Q_EMIT TextDataStarted(); }, Qt::QueuedConnection);
        QMetaObject::invokeMethod(
            this, [this] { Q_EMIT TextDataDone(); }, Qt::QueuedConnection);
    }
    return known;
}

bool FakeSpeechEngine::AudioPause() {
    if (!pauseSucceeds) {
        return false;
    }
    paused_ = true;
    return true;
}

bool FakeSpeechEngine::AudioResume() {
    paused_ = false;
    return true;
}

bool FakeSpeechEngine::AudioReset() {
    ++resets_;
    paused_ = false;
    if (speaking_) {
        speaking_ = false;
        QMetaObject::invokeMethod(
            this, [this] { Q_EMIT TextDataDone(); }, Qt::QueuedConnection);
    }
    return true;
}

void FakeSpeechEngine::start() {
    speaking_ = true;
    Q_EMIT TextDataStarted();
}

void FakeSpeechEngine::reachBookmark(quint32 mark) {
    Q_EMIT BookMark(mark);
}

void FakeSpeechEngine::reachWord(qint64 byteOffset) {
    Q_EMIT WordPosition(byteOffset);
}

void FakeSpeechEngine::finish() {
    speaking_ = false;
    Q_EMIT TextDataDone();
}

} // namespace corvalin
