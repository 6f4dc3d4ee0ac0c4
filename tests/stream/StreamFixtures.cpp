#include "StreamFixtures.h"

#include "IcecastServer.h"
#include "audio/SoundDevice.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <cmath>
#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
}

namespace corvalin::test {

namespace {

QString errorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return QString::fromUtf8(text);
}

// Of the first channel, full scale 1.0.
double rmsOf(const AVFrame& f) {
    if (f.nb_samples <= 0)
        return 0.0;
    double sum = 0.0;
    for (int i = 0; i < f.nb_samples; ++i) {
        double v = 0.0;
        switch (f.format) {
        case AV_SAMPLE_FMT_FLTP:
            v = reinterpret_cast<const float*>(f.extended_data[0])[i];
            break;
        case AV_SAMPLE_FMT_S16P:
            v = reinterpret_cast<const std::int16_t*>(f.extended_data[0])[i] / 32768.0;
            break;
        case AV_SAMPLE_FMT_FLT:
            v = reinterpret_cast<const float*>(f.extended_data[0])[i * f.ch_layout.nb_channels];
            break;
        case AV_SAMPLE_FMT_S16:
            v = reinterpret_cast<const std::int16_t*>(
                    f.extended_data[0])[i * f.ch_layout.nb_channels] /
                32768.0;
            break;
        default:
            ADD_FAILURE() << "unexpected sample format " << f.format;
            return 0.0;
        }
        sum += v * v;
    }
    return std::sqrt(sum / f.nb_samples);
}

// A text option of the stream's HTTP reader ("" when it has none).
QString httpOption(AVIOContext* pb, const char* name) {
    std::uint8_t* text = nullptr;
    if (av_opt_get(pb, name, AV_OPT_SEARCH_CHILDREN, &text) < 0 || !text)
        return {};
    const QString result = QString::fromUtf8(reinterpret_cast<const char*>(text));
    av_free(text);
    return result;
}

} // namespace

std::unique_ptr<SoundBuffer> playTone(SoundDevice& device) {
    std::int32_t result = -1;
    auto buffer = device.createBuffer(PcmFormat{}, 44100 * 4, &result);
    EXPECT_EQ(result, kSoundOk);
    if (!buffer)
        return buffer;
    void *p1, *p2;
    std::uint32_t l1, l2;
    EXPECT_EQ(buffer->Lock(0, buffer->size(), &p1, &l1, &p2, &l2), kSoundOk);
    auto* s = static_cast<std::int16_t*>(p1);
    for (int i = 0; i < 44100; ++i) {
        const auto v = static_cast<std::int16_t>(
            std::lrint(kToneAmplitude * std::sin(2.0 * M_PI * 1000.0 * i / 44100.0)));
        s[2 * i] = v;
        s[2 * i + 1] = v;
    }
    EXPECT_EQ(buffer->Unlock(p1, l1, p2, l2), kSoundOk);
    buffer->Play();
    return buffer;
}

QString mountUrl(const IcecastServer& server, const QString& mount) {
    return QStringLiteral("http://127.0.0.1:%1%2").arg(server.port()).arg(mount);
}

StreamSettings settingsFor(const IcecastServer& server, const QString& format, int bitrate,
                           const QString& mount) {
    StreamSettings s;
    s.Enabled = true;
    s.Host = QStringLiteral("127.0.0.1");
    s.Port = server.port();
    s.Mount = mount;
    s.Password = IcecastServer::kSourcePassword;
    s.Format = format;
    s.Bitrate = bitrate;
    s.Description = QStringLiteral("Tests");
    s.Genre = QStringLiteral("Tones");
    return s;
}

Listener::~Listener() {
    avcodec_free_context(&decoder_);
    avformat_close_input(&format_);
    av_frame_free(&frame_);
    av_packet_free(&packet_);
}

QString Listener::open(const QString& url) {
    AVDictionary* options = nullptr;
    av_dict_set(&options, "icy", "1", 0);
    av_dict_set(&options, "rw_timeout", "5000000", 0); // microseconds
    av_dict_set(&options, "probesize", "32768", 0);
    // Without a limit the MP3 probe reads 128 kB before it is sure: eight seconds of a live
    // stream, which the server sends no faster than it plays.
    av_dict_set(&options, "formatprobesize", "32768", 0);
    const int opened = avformat_open_input(&format_, url.toUtf8().constData(), nullptr, &options);
    av_dict_free(&options);
    if (opened < 0)
        return QStringLiteral("cannot open %1: %2").arg(url, errorText(opened));
    if (const int found = avformat_find_stream_info(format_, nullptr); found < 0)
        return QStringLiteral("no stream info in %1: %2").arg(url, errorText(found));
    const AVCodec* codec = nullptr;
    stream_ = av_find_best_stream(format_, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (stream_ < 0 || !codec)
        return QStringLiteral("no audio in %1").arg(url);
    decoder_ = avcodec_alloc_context3(codec);
    if (!decoder_ ||
        avcodec_parameters_to_context(decoder_, format_->streams[stream_]->codecpar) < 0 ||
        avcodec_open2(decoder_, codec, nullptr) < 0)
        return QStringLiteral("cannot decode %1").arg(url);
    packet_ = av_packet_alloc();
    frame_ = av_frame_alloc();
    takeComments();
    return {};
}

int Listener::sampleRate() const {
    return decoder_ ? decoder_->sample_rate : 0;
}

bool Listener::readUntil(const std::function<bool()>& done, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms || !readPacket())
            return false;
    }
    return true;
}

QString Listener::title() const {
    const QString icy = httpOption(format_->pb, "icy_metadata_packet");
    if (icy.isEmpty())
        return commentTitle_;
    static const QRegularExpression streamTitle(QStringLiteral("StreamTitle='(.*?)';"));
    return streamTitle.match(icy).captured(1);
}

QString Listener::headers() const {
    return httpOption(format_->pb, "icy_metadata_headers");
}

bool Listener::readPacket() {
    const int read = av_read_frame(format_, packet_);
    if (read < 0) {
        error = QStringLiteral("read: ") + errorText(read);
        return false;
    }
    if (format_->streams[stream_]->event_flags & AVSTREAM_EVENT_FLAG_METADATA_UPDATED)
        takeComments();
    if (packet_->stream_index == stream_ && avcodec_send_packet(decoder_, packet_) == 0) {
        while (avcodec_receive_frame(decoder_, frame_) == 0) {
            lastRms = rmsOf(*frame_);
            samples += frame_->nb_samples;
            if (lastRms > 0.1)
                loudSamples += frame_->nb_samples;
        }
    }
    av_packet_unref(packet_);
    return true;
}

// The demuxer adds each new Ogg stream's comments to those it had ("One;Two"): the title is taken
// and the comments cleared, so the next ones stand alone.
void Listener::takeComments() {
    AVStream* stream = format_->streams[stream_];
    if (const AVDictionaryEntry* title = av_dict_get(stream->metadata, "title", nullptr, 0))
        commentTitle_ = QString::fromUtf8(title->value);
    av_dict_free(&stream->metadata);
    stream->event_flags &= ~AVSTREAM_EVENT_FLAG_METADATA_UPDATED;
}

} // namespace corvalin::test
