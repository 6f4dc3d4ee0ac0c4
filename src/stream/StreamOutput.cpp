#include "stream/StreamOutput.h"

#include "audio/SoundBackends.h"
#include "audio/StreamTap.h"
#include "core/Types.h"
#include "stream/StreamConnection.h"
#include "stream/StreamEncoder.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <algorithm>
#include <curl/curl.h>
#include <mutex>

extern "C" {
#include <libavformat/avformat.h>
}

namespace corvalin {

QString streamStatusText(const StreamStatus& s) {
    if (!s.outputs.isEmpty())
        return s.outputs.join(QLatin1Char('\n'));
    switch (s.state) {
    case StreamState::Off:
        return QStringLiteral("Stream off");
    case StreamState::Connecting:
        return QStringLiteral("Stream connecting: %1, %2").arg(s.place, s.format);
    case StreamState::Connected: {
        QString text = QStringLiteral("Stream connected: %1, %2").arg(s.place, s.format);
        if (s.framesDropped > 0)
            text += QStringLiteral(" (%1 s of stream audio dropped)")
                        .arg(static_cast<double>(s.framesDropped) / kStreamDeviceRate, 0, 'f', 1);
        return text;
    }
    case StreamState::Failed: {
        QString text = QStringLiteral("Stream failed: %1").arg(s.reason);
        if (!s.place.isEmpty())
            text += QStringLiteral(" (%1)").arg(s.place);
        if (s.retryInSeconds > 0)
            text += QStringLiteral("; trying again in %1 s").arg(s.retryInSeconds);
        return text;
    }
    }
    return {};
}

QString streamLogLine(const StreamStatus& before, const StreamStatus& now) {
    switch (now.state) {
    case StreamState::Connecting:
        return {}; // the outcome tells
    case StreamState::Off:
        return before.state == StreamState::Off ? QString() : QStringLiteral("stream off");
    case StreamState::Connected:
        return before.state == StreamState::Connected
                   ? QString()
                   : QStringLiteral("stream connected: %1, %2").arg(now.place, now.format);
    case StreamState::Failed: {
        if (before.state == StreamState::Failed && before.reason == now.reason &&
            before.retryInSeconds == now.retryInSeconds)
            return {};
        QString line = QStringLiteral("stream %1: %2")
                           .arg(before.state == StreamState::Connected ? QStringLiteral("lost")
                                                                       : QStringLiteral("failed"),
                                now.reason);
        if (!now.place.isEmpty())
            line += QStringLiteral(" (%1)").arg(now.place);
        if (now.retryInSeconds > 0)
            line += QStringLiteral("; trying again in %1 s").arg(now.retryInSeconds);
        return line;
    }
    }
    return {};
}

QString nowPlayingTitle(const _rSong& song, const QString& theWord, const QString& stationName) {
    const QString the = theWord.trimmed().isEmpty() ? QStringLiteral("The") : theWord.trimmed();
    auto spoken = [&](const QString& text, bool withThe) {
        const QString t = text.trimmed();
        return withThe && !t.isEmpty() ? the + QLatin1Char(' ') + t : t;
    };
    const QString artist = spoken(song.Artist, song.TheArtist);
    const QString title = spoken(song.Title, song.TheTitle);
    if (song.NeverAnnounce || (artist.isEmpty() && title.isEmpty()))
        return stationName;
    if (artist.isEmpty())
        return title;
    if (title.isEmpty())
        return artist;
    return artist + QStringLiteral(" - ") + title;
}

StreamStatus combinedStreamStatus(const std::array<StreamStatus, kStreamOutputCount>& outputs) {
    std::vector<const StreamStatus*> configured;
    for (const StreamStatus& s : outputs)
        if (s.state != StreamState::Off)
            configured.push_back(&s);
    if (configured.empty())
        return outputs[0];
    if (configured.size() == 1)
        return *configured[0];
    auto rank = [](StreamState state) {
        switch (state) {
        case StreamState::Failed:
            return 3;
        case StreamState::Connecting:
            return 2;
        case StreamState::Connected:
            return 1;
        case StreamState::Off:
            break;
        }
        return 0;
    };
    const StreamStatus* worst = *std::max_element(
        configured.begin(), configured.end(), [&](const StreamStatus* a, const StreamStatus* b) {
            return rank(a->state) < rank(b->state);
        });
    StreamStatus all = *worst;
    all.framesDropped = 0;
    all.attempts = 0;
    all.connections = 0;
    for (const StreamStatus* s : configured) {
        all.framesDropped += s->framesDropped;
        all.attempts += s->attempts;
        all.connections += s->connections;
        all.outputs << streamStatusText(*s);
    }
    return all;
}

// ---------------------------------------------------------------------------------------------

struct StreamOutput::Shared {
    std::shared_ptr<StreamTap> tap;
    std::shared_ptr<EncoderStage> stage;
    std::array<std::unique_ptr<StreamConnection>, kStreamOutputCount> outputs;

    mutable std::mutex mutex;
    QString title;                                          // guarded
    StatusHandler handler;                                  // guarded
    OutputHandler outputHandler;                            // guarded
    std::array<StreamStatus, kStreamOutputCount> delivered; // guarded: as the handlers saw them
    StreamStatus combined;                                  // guarded: likewise

    // One output's change as its thread reports it, in order, to the handlers' thread.
    static void changed(const std::weak_ptr<Shared>& self, std::size_t output,
                        const StreamStatus& status);
    void deliver(std::size_t output, const StreamStatus& status);
};

void StreamOutput::Shared::changed(const std::weak_ptr<Shared>& self, std::size_t output,
                                   const StreamStatus& status) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) {
        if (std::shared_ptr<Shared> shared = self.lock())
            shared->deliver(output, status);
        return;
    }
    QMetaObject::invokeMethod(
        app,
        [self, output, status] {
            if (std::shared_ptr<Shared> shared = self.lock())
                shared->deliver(output, status);
        },
        Qt::QueuedConnection);
}

void StreamOutput::Shared::deliver(std::size_t output, const StreamStatus& status) {
    // The station's status is made of the statuses in the order delivered, so that the handler
    // sees every step (connecting, then connected) even when the threads are ahead.
    StatusHandler h;
    OutputHandler oh;
    StreamStatus now;
    bool changedAll = false;
    {
        std::lock_guard guard(mutex);
        delivered[output] = status;
        now = combinedStreamStatus(delivered);
        changedAll = now != combined;
        combined = now;
        h = handler;
        oh = outputHandler;
    }
    if (oh)
        oh(output, status);
    if (changedAll && h)
        h(now);
}

StreamOutput::StreamOutput(int tapSeconds) : shared_(std::make_shared<Shared>()) {
    static const bool once = [] {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        avformat_network_init();
        // Failures reach the status; FFmpeg's own lines only with --verbose.
        applyFfmpegMessages();
        return true;
    }();
    (void)once;
    const int seconds = std::max(1, tapSeconds);
    shared_->tap =
        std::make_shared<StreamTap>(static_cast<std::uint32_t>(seconds * kStreamDeviceRate));
    shared_->stage = std::make_shared<EncoderStage>(shared_->tap);
    std::weak_ptr<Shared> weak = shared_;
    for (std::size_t i = 0; i < kStreamOutputCount; ++i)
        shared_->outputs[i] = std::make_unique<StreamConnection>(
            shared_->stage, seconds, "stream-output" + QByteArray::number(i + 1),
            [weak, i](const StreamStatus& status) { Shared::changed(weak, i, status); });
}

StreamOutput::~StreamOutput() {
    {
        std::lock_guard guard(shared_->mutex);
        shared_->handler = nullptr;
        shared_->outputHandler = nullptr;
    }
    for (auto& output : shared_->outputs)
        output.reset();
    shared_->stage.reset();
}

std::shared_ptr<StreamTap> StreamOutput::tap() const {
    return shared_->tap;
}

void StreamOutput::configure(const std::array<StreamSettings, kStreamOutputCount>& outputs,
                             const QString& stationName) {
    for (std::size_t i = 0; i < kStreamOutputCount; ++i)
        shared_->outputs[i]->configure(normalisedStreamSettings(outputs[i]), stationName);
}

void StreamOutput::configure(const StreamSettings& settings, const QString& stationName) {
    std::array<StreamSettings, kStreamOutputCount> outputs;
    outputs[0] = settings;
    configure(outputs, stationName);
}

void StreamOutput::setTitle(const QString& title) {
    {
        std::lock_guard guard(shared_->mutex);
        shared_->title = title;
    }
    for (auto& output : shared_->outputs)
        output->setTitle(title);
}

QString StreamOutput::title() const {
    std::lock_guard guard(shared_->mutex);
    return shared_->title;
}

StreamStatus StreamOutput::status(std::size_t output) const {
    StreamStatus s = shared_->outputs.at(output)->status();
    // What the encoder could not take is missing from every output.
    s.framesDropped += shared_->tap->framesDropped();
    return s;
}

StreamStatus StreamOutput::status() const {
    std::array<StreamStatus, kStreamOutputCount> all;
    for (std::size_t i = 0; i < kStreamOutputCount; ++i)
        all[i] = shared_->outputs[i]->status();
    StreamStatus s = combinedStreamStatus(all);
    s.framesDropped += shared_->tap->framesDropped();
    return s;
}

void StreamOutput::setStatusHandler(StatusHandler handler) {
    std::lock_guard guard(shared_->mutex);
    shared_->handler = std::move(handler);
}

void StreamOutput::setOutputHandler(OutputHandler handler) {
    std::lock_guard guard(shared_->mutex);
    shared_->outputHandler = std::move(handler);
}

int StreamOutput::encoderCount() const {
    return shared_->stage->encoderCount();
}

double StreamOutput::threadCpuSeconds() const {
    double seconds = shared_->stage->threadCpuSeconds();
    for (const auto& output : shared_->outputs)
        seconds += output->threadCpuSeconds();
    return seconds;
}

} // namespace corvalin
