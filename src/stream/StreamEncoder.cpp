#include "stream/StreamEncoder.h"

#include "audio/StreamTap.h"
#include "stream/StreamSettings.h"

#include <algorithm>
#include <pthread.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libswresample/swresample.h>
}

namespace corvalin {

namespace {

constexpr std::uint32_t kReadFrames = 4096;

QString errorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return QString::fromUtf8(text);
}

} // namespace

// ---------------------------------------------------------------------------------------------

PacketQueue::~PacketQueue() {
    reset();
}

void PacketQueue::push(const AVPacket* packet, int sampleRate) {
    const double seconds = static_cast<double>(std::max<std::int64_t>(packet->duration, 0)) /
                           static_cast<double>(sampleRate);
    {
        std::lock_guard guard(mutex_);
        if (queuedSeconds_ + seconds <= capacitySeconds_) {
            if (AVPacket* copy = av_packet_clone(packet)) {
                packets_.emplace_back(copy, seconds);
                queuedSeconds_ += seconds;
                if (queuedSeconds_ >= batchSeconds_)
                    ready_.notify_one();
                return;
            }
        }
    }
    dropped_.fetch_add(static_cast<std::uint64_t>(seconds * kStreamDeviceRate + 0.5),
                       std::memory_order_relaxed);
}

void PacketQueue::fail(const QString& why) {
    std::lock_guard guard(mutex_);
    error_ = why;
    ready_.notify_one();
}

void PacketQueue::takeAll(std::chrono::milliseconds wait, double batchSeconds,
                          std::vector<AVPacket*>& out, QString* error) {
    std::unique_lock lock(mutex_);
    batchSeconds_ = batchSeconds;
    ready_.wait_for(lock, wait, [&] {
        return woken_ || (!packets_.empty() && queuedSeconds_ >= batchSeconds_) ||
               !error_.isEmpty();
    });
    woken_ = false;
    if (!error_.isEmpty()) {
        *error = error_;
        return;
    }
    for (auto& entry : packets_)
        out.push_back(entry.first);
    packets_.clear();
    queuedSeconds_ = 0.0;
}

void PacketQueue::wake() {
    std::lock_guard guard(mutex_);
    woken_ = true;
    ready_.notify_one();
}

void PacketQueue::reset() {
    std::lock_guard guard(mutex_);
    for (auto& entry : packets_)
        av_packet_free(&entry.first);
    packets_.clear();
    queuedSeconds_ = 0.0;
    error_.clear();
}

// ---------------------------------------------------------------------------------------------

// One format and bitrate: resampler, frame FIFO and encoder. Made under the stage's lock, used by
// the encoder thread under it.
struct EncoderStage::Encoder {
    QString format;
    int bitrate = 0;
    std::vector<std::shared_ptr<PacketQueue>> queues;
    EncodedFormat encoded;

    AVCodecContext* codec = nullptr;
    SwrContext* swr = nullptr;
    AVAudioFifo* fifo = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    std::uint8_t** converted = nullptr;
    int convertedCapacity = 0;
    int frameSize = 0;
    std::int64_t nextPts = 0;

    ~Encoder() {
        if (converted) {
            av_freep(&converted[0]);
            av_freep(&converted);
        }
        av_packet_free(&packet);
        av_frame_free(&frame);
        if (fifo)
            av_audio_fifo_free(fifo);
        swr_free(&swr);
        avcodec_free_context(&codec);
    }

    // Empty on success, else why.
    QString open() {
        const bool opus = format == kStreamFormatOpus;
        const AVCodec* encoder = avcodec_find_encoder_by_name(opus ? "libopus" : "libmp3lame");
        if (!encoder)
            return QStringLiteral("no %1 encoder").arg(opus ? "Opus" : "MP3");
        codec = avcodec_alloc_context3(encoder);
        if (!codec)
            return errorText(AVERROR(ENOMEM));
        codec->sample_rate = opus ? 48000 : kStreamDeviceRate;
        codec->sample_fmt = opus ? AV_SAMPLE_FMT_S16 : AV_SAMPLE_FMT_S16P;
        codec->ch_layout = AV_CHANNEL_LAYOUT_STEREO;
        codec->bit_rate = static_cast<std::int64_t>(bitrate) * 1000;
        codec->time_base = AVRational{1, codec->sample_rate};
        if (int e = avcodec_open2(codec, encoder, nullptr); e < 0)
            return errorText(e);

        AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
        if (swr_alloc_set_opts2(&swr, &codec->ch_layout, codec->sample_fmt, codec->sample_rate,
                                &stereo, AV_SAMPLE_FMT_S16, kStreamDeviceRate, 0, nullptr) < 0 ||
            swr_init(swr) < 0)
            return QStringLiteral("cannot convert the sample rate");
        frameSize = codec->frame_size > 0 ? codec->frame_size : 1152;
        fifo = av_audio_fifo_alloc(codec->sample_fmt, 2, frameSize * 8);
        frame = av_frame_alloc();
        packet = av_packet_alloc();
        if (!fifo || !frame || !packet)
            return errorText(AVERROR(ENOMEM));
        frame->nb_samples = frameSize;
        frame->format = codec->sample_fmt;
        frame->sample_rate = codec->sample_rate;
        if (av_channel_layout_copy(&frame->ch_layout, &codec->ch_layout) < 0 ||
            av_frame_get_buffer(frame, 0) < 0)
            return errorText(AVERROR(ENOMEM));
        const int maxOut = static_cast<int>(swr_get_out_samples(swr, kReadFrames)) + 64;
        if (av_samples_alloc_array_and_samples(&converted, nullptr, 2, maxOut, codec->sample_fmt,
                                               0) < 0)
            return errorText(AVERROR(ENOMEM));
        convertedCapacity = maxOut;

        AVCodecParameters* parameters = avcodec_parameters_alloc();
        if (!parameters)
            return errorText(AVERROR(ENOMEM));
        encoded.parameters.reset(parameters, [](const AVCodecParameters* p) {
            auto* owned = const_cast<AVCodecParameters*>(p);
            avcodec_parameters_free(&owned);
        });
        if (int e = avcodec_parameters_from_context(parameters, codec); e < 0)
            return errorText(e);
        encoded.sampleRate = codec->sample_rate;
        encoded.initialPadding = codec->initial_padding;
        return {};
    }

    // Encodes `frames` device frames and hands each packet to every queue. Empty on success.
    QString encode(const std::int16_t* samples, std::uint32_t frames) {
        const auto* in = reinterpret_cast<const std::uint8_t*>(samples);
        const int got =
            swr_convert(swr, converted, convertedCapacity, &in, static_cast<int>(frames));
        if (got < 0)
            return errorText(got);
        if (got > 0 && av_audio_fifo_write(fifo, reinterpret_cast<void**>(converted), got) < got)
            return errorText(AVERROR(ENOMEM));
        while (av_audio_fifo_size(fifo) >= frameSize) {
            if (int e = av_frame_make_writable(frame); e < 0)
                return errorText(e);
            av_audio_fifo_read(fifo, reinterpret_cast<void**>(frame->data), frameSize);
            frame->pts = nextPts;
            nextPts += frameSize;
            if (int e = avcodec_send_frame(codec, frame); e < 0)
                return errorText(e);
            for (;;) {
                const int r = avcodec_receive_packet(codec, packet);
                if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
                    break;
                if (r < 0)
                    return errorText(r);
                for (const auto& queue : queues)
                    queue->push(packet, codec->sample_rate);
                av_packet_unref(packet);
            }
        }
        return {};
    }
};

EncoderStage::EncoderStage(std::shared_ptr<StreamTap> tap) : tap_(std::move(tap)) {
    thread_ = std::thread([this] { run(); });
}

EncoderStage::~EncoderStage() {
    {
        std::lock_guard guard(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

QString EncoderStage::subscribe(const QString& format, int bitrate,
                                const std::shared_ptr<PacketQueue>& queue, EncodedFormat* encoded) {
    std::lock_guard guard(mutex_);
    auto found = std::find_if(encoders_.begin(), encoders_.end(), [&](const auto& e) {
        return e->format == format && e->bitrate == bitrate;
    });
    if (found == encoders_.end()) {
        auto encoder = std::make_unique<Encoder>();
        encoder->format = format;
        encoder->bitrate = bitrate;
        if (QString error = encoder->open(); !error.isEmpty())
            return error;
        encoders_.push_back(std::move(encoder));
        found = std::prev(encoders_.end());
    }
    (*found)->queues.push_back(queue);
    *encoded = (*found)->encoded;
    return {};
}

void EncoderStage::unsubscribe(const std::shared_ptr<PacketQueue>& queue) {
    std::lock_guard guard(mutex_);
    for (auto& encoder : encoders_)
        std::erase(encoder->queues, queue);
    std::erase_if(encoders_, [](const auto& e) { return e->queues.empty(); });
}

int EncoderStage::encoderCount() const {
    std::lock_guard guard(mutex_);
    return static_cast<int>(encoders_.size());
}

double EncoderStage::threadCpuSeconds() const {
    clockid_t id;
    {
        std::lock_guard guard(mutex_);
        if (!cpuClockSet_)
            return 0.0;
        id = cpuClock_;
    }
    timespec ts{};
    if (clock_gettime(id, &ts) != 0)
        return 0.0;
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

void EncoderStage::run() {
    {
        std::lock_guard guard(mutex_);
        cpuClockSet_ = pthread_getcpuclockid(pthread_self(), &cpuClock_) == 0;
    }
    pthread_setname_np(pthread_self(), "stream-encoder"); // as top -H and the bench show it
    std::vector<std::int16_t> buffer(2 * kReadFrames);
    for (;;) {
        const std::uint32_t n = tap_->read(buffer.data(), kReadFrames);
        std::unique_lock lock(mutex_);
        if (quit_)
            return;
        if (n == 0) {
            wake_.wait_for(lock, std::chrono::milliseconds(40));
            continue;
        }
        // An encoder that fails is dropped; its outputs hear why and connect again.
        std::erase_if(encoders_, [&](const std::unique_ptr<Encoder>& encoder) {
            const QString error = encoder->encode(buffer.data(), n);
            if (error.isEmpty())
                return false;
            for (const auto& queue : encoder->queues)
                queue->fail(QStringLiteral("the encoder failed (%1)").arg(error));
            return true;
        });
    }
}

} // namespace corvalin
