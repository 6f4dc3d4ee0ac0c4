// A second icecast2 that relays the first (a <relay> block in its configuration): listeners on
// the relay hear the station and see its titles change, as on the first server.
#include "IcecastServer.h"
#include "TestSupport.h"
#include "audio/SoundDevice.h"
#include "stream/StreamOutput.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <cmath>
#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
}

using namespace corvalin;
using namespace corvalin::test;

namespace {

const QString kMount = QStringLiteral("/radio");
const QString kRelayMount = QStringLiteral("/relay");
constexpr double kToneAmplitude = 16000.0;

// One second of a 1 kHz tone, looping on `device`.
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

// The relay server's configuration: the first server's mount, always pulled (not on demand), with
// its inline titles asked for and passed on.
QString relayBlock(quint16 masterPort) {
    return QStringLiteral("<relay><server>127.0.0.1</server><port>%1</port><mount>%2</mount>"
                          "<local-mount>%3</local-mount><on-demand>0</on-demand>"
                          "<relay-shoutcast-metadata>1</relay-shoutcast-metadata></relay>")
        .arg(masterPort)
        .arg(kMount, kRelayMount);
}

// A listener with libavformat and libavcodec that asks for inline (icy) titles.
class Listener {
public:
    ~Listener() {
        avcodec_free_context(&decoder_);
        avformat_close_input(&format_);
        av_frame_free(&frame_);
        av_packet_free(&packet_);
    }

    // Opens the stream and its decoder; an empty text on success, else why not.
    QString open(const QString& url) {
        AVDictionary* options = nullptr;
        av_dict_set(&options, "icy", "1", 0);
        av_dict_set(&options, "rw_timeout", "5000000", 0); // microseconds
        av_dict_set(&options, "probesize", "32768", 0);
        const int opened =
            avformat_open_input(&format_, url.toUtf8().constData(), nullptr, &options);
        av_dict_free(&options);
        if (opened < 0)
            return QStringLiteral("cannot open %1: %2").arg(url, errorText(opened));
        if (const int found = avformat_find_stream_info(format_, nullptr); found < 0)
            return QStringLiteral("no stream info: ") + errorText(found);
        const AVCodec* codec = nullptr;
        stream_ = av_find_best_stream(format_, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
        if (stream_ < 0 || !codec)
            return QStringLiteral("no audio stream");
        decoder_ = avcodec_alloc_context3(codec);
        if (avcodec_parameters_to_context(decoder_, format_->streams[stream_]->codecpar) < 0 ||
            avcodec_open2(decoder_, codec, nullptr) < 0)
            return QStringLiteral("cannot open the decoder");
        packet_ = av_packet_alloc();
        frame_ = av_frame_alloc();
        takeComments();
        return {};
    }

    int sampleRate() const { return decoder_ ? decoder_->sample_rate : 0; }

    // Reads and decodes until `done` says so, the stream ends or `ms` have passed; false then.
    bool readUntil(const std::function<bool()>& done, int ms) {
        QElapsedTimer timer;
        timer.start();
        while (!done()) {
            if (timer.elapsed() > ms || !readPacket())
                return false;
        }
        return true;
    }

    // Decoded samples per channel, and those in frames whose level is well above silence.
    std::int64_t samples = 0;
    std::int64_t loudSamples = 0;
    double lastRms = 0.0;
    QString error;

    // The title in the latest inline (icy) metadata, else in the Ogg stream's comments ("" before
    // any).
    QString title() const {
        std::uint8_t* packet = nullptr;
        if (av_opt_get(format_->pb, "icy_metadata_packet", AV_OPT_SEARCH_CHILDREN, &packet) < 0 ||
            !packet || !*packet) {
            av_free(packet);
            return commentTitle_;
        }
        const QString text = QString::fromUtf8(reinterpret_cast<const char*>(packet));
        av_free(packet);
        static const QRegularExpression streamTitle(QStringLiteral("StreamTitle='(.*?)';"));
        return streamTitle.match(text).captured(1);
    }

private:
    static QString errorText(int code) {
        char text[AV_ERROR_MAX_STRING_SIZE] = {};
        av_strerror(code, text, sizeof text);
        return QString::fromUtf8(text);
    }

    bool readPacket() {
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
                if (lastRms > 0.05)
                    loudSamples += frame_->nb_samples;
            }
        }
        av_packet_unref(packet_);
        return true;
    }

    // The demuxer adds each new Ogg stream's comments to those it had ("One;Two"): the title is
    // taken and the comments cleared, so the next ones stand alone.
    void takeComments() {
        AVStream* stream = format_->streams[stream_];
        if (const AVDictionaryEntry* title = av_dict_get(stream->metadata, "title", nullptr, 0))
            commentTitle_ = QString::fromUtf8(title->value);
        av_dict_free(&stream->metadata);
        stream->event_flags &= ~AVSTREAM_EVENT_FLAG_METADATA_UPDATED;
    }

    // Of the first channel, full scale 1.0.
    static double rmsOf(const AVFrame& f) {
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

    AVFormatContext* format_ = nullptr;
    AVCodecContext* decoder_ = nullptr;
    AVPacket* packet_ = nullptr;
    AVFrame* frame_ = nullptr;
    int stream_ = -1;
    QString commentTitle_;
};

struct RelayCase {
    const char* format;
    int rate; // what listeners decode
    // MP3 titles travel as Icecast's inline metadata, which the relay asks for and passes on, and
    // show in both servers' status; Ogg titles travel in the stream's comments.
    bool titleInStatus;
};

void PrintTo(const RelayCase& c, std::ostream* os) {
    *os << c.format;
}

class IcecastRelay : public ::testing::TestWithParam<RelayCase> {};

TEST_P(IcecastRelay, ListenersOnTheRelayHearTheStationWithItsTitles) {
    const RelayCase c = GetParam();
    IcecastServer master;
    ASSERT_TRUE(master.start());
    auto device = SoundDevice::create(QStringLiteral("null"));
    auto tone = playTone(*device);
    StreamOutput stream;
    device->setStreamTap(stream.tap());
    stream.setTitle(QStringLiteral("Alder - One"));
    StreamSettings s;
    s.Enabled = true;
    s.Host = QStringLiteral("127.0.0.1");
    s.Port = master.port();
    s.Mount = kMount;
    s.Password = IcecastServer::kSourcePassword;
    s.Format = QString::fromLatin1(c.format);
    s.Bitrate = 96;
    s.Genre = QStringLiteral("Tones");
    stream.configure(s, QStringLiteral("Radio Relay Test"));
    ASSERT_TRUE(waitFor(
        [&] {
            return c.titleInStatus ? master.title(kMount) == QLatin1String("Alder - One")
                                   : !master.source(kMount).isEmpty();
        },
        15000))
        << streamStatusText(stream.status()).toStdString();

    // The relay pulls the mount from its start on; its listeners need nothing of the first server.
    IcecastServer relay(relayBlock(master.port()));
    ASSERT_TRUE(relay.start());
    ASSERT_TRUE(waitFor([&] { return !relay.source(kRelayMount).isEmpty(); }, 20000))
        << "the relay did not take up " << kMount.toStdString();

    Listener listener;
    const QString opened =
        listener.open(QStringLiteral("http://127.0.0.1:%1%2").arg(relay.port()).arg(kRelayMount));
    ASSERT_TRUE(opened.isEmpty()) << opened.toStdString();
    EXPECT_EQ(listener.sampleRate(), c.rate);
    // Two seconds of sound, almost all of it the tone.
    ASSERT_TRUE(listener.readUntil([&] { return listener.samples >= 2 * c.rate; }, 20000))
        << listener.error.toStdString();
    EXPECT_GE(listener.loudSamples, listener.samples - c.rate / 5);
    EXPECT_NEAR(listener.lastRms, kToneAmplitude / 32768.0 / std::sqrt(2.0), 0.05);
    ASSERT_TRUE(
        listener.readUntil([&] { return listener.title() == QLatin1String("Alder - One"); }, 15000))
        << "title seen: " << listener.title().toStdString() << "; " << listener.error.toStdString();

    // A song change on the station reaches the relay's listeners while they listen.
    stream.setTitle(QStringLiteral("Birch & Co - Two"));
    EXPECT_TRUE(listener.readUntil(
        [&] { return listener.title() == QLatin1String("Birch & Co - Two"); }, 20000))
        << "title seen: " << listener.title().toStdString() << "; " << listener.error.toStdString();
    if (c.titleInStatus) {
        EXPECT_TRUE(waitFor(
            [&] { return relay.title(kRelayMount) == QLatin1String("Birch & Co - Two"); }, 10000))
            << relay.title(kRelayMount).toStdString();
    }
    const std::int64_t loudBefore = listener.loudSamples;
    ASSERT_TRUE(
        listener.readUntil([&] { return listener.loudSamples >= loudBefore + c.rate / 2; }, 10000))
        << "the sound stopped after the title changed: " << listener.error.toStdString();
    EXPECT_EQ(stream.status().connections, 1);

    device->setStreamTap(nullptr);
}

INSTANTIATE_TEST_SUITE_P(Formats, IcecastRelay,
                         ::testing::Values(RelayCase{"mp3", 44100, true},
                                           RelayCase{"opus", 48000, false}),
                         [](const auto& param) { return std::string(param.param.format); });

} // namespace
