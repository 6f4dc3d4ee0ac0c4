#include "audio/DSAudioFileRead.h"

#include "audio/SoundBackends.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

namespace corvalin {

namespace {

struct CodeText {
    std::uint32_t code;
    const char* text;
};

constexpr CodeText kMessages[] = {
    {0x00040001u, "An IMediaStream object could not be removed from an IMultiMediaStream object "
                  "because it still contains at least one allocated sample."},
    {0x00040002u, "The specified purpose ID can't be used for the call."},
    {0x00040003u, "No stream can be found with the specified attributes."},
    {0x00040004u, "One or more media streams don't support seeking."},
    {0x00040005u, "The stream formats are not compatible."},
    {0x00040006u, "This sample already has a pending update."},
    {0x00040007u, "The object can't accept the call because its initialize function or "
                  "equivalent has not been called."},
    {0x00040008u, "Source already defined."},
    {0x00040009u, "The stream type is not valid for this operation."},
    {0x0004000Au, "The IMultiMediaStream object is not in running state."},
    {0x08000001u, "Invalid buffer size."},
    {0x80004002u, "No interface."},
    {0x80004003u, "This method tried to access an invalid pointer."},
    {0x80004004u, "The update aborted."},
    {0x80040110u, "This class cannot be created as part of an aggregate."},
    {0x80040154u, "A specified class is not registered in the registration database."},
    {0x80040401u, "The asynchronous update is pending."},
    {0x80040402u, "Sample was not updated after forced completion."},
    {0x80040403u, "Reached the end of the stream; the sample wasn't updated."},
    {0x80070057u, "One of the parameters is invalid."},
};

constexpr MediaTime kUnitsPerSecond = 10000000;
// How far before a seek target decoding starts.
constexpr std::int64_t kPrerollMs = 500;

} // namespace

QString AudioErrorText(std::int32_t code) {
    for (const CodeText& m : kMessages) {
        if (m.code == static_cast<std::uint32_t>(code))
            return QString::fromLatin1(m.text);
    }
    if (code < 0) {
        char text[300];
        if (av_strerror(code, text, sizeof text) == 0)
            return QString::fromUtf8(text).left(300);
    }
    return QStringLiteral("Unrecognized error value.");
}

void CheckAM(std::int32_t code) {
    if (code != 0)
        throw EAudioReadError(AudioErrorText(code), code);
}

TDSAudioFileReader::TDSAudioFileReader(const QString& fileName) : fileName_(fileName) {
    try {
        open();
        // The file is audio when a frame decodes; it stays pending for the first Read.
        if (!decodeMore())
            CheckAM(AVERROR_INVALIDDATA);
    } catch (...) {
        close();
        throw;
    }
}

TDSAudioFileReader::~TDSAudioFileReader() {
    close();
}

void TDSAudioFileReader::close() {
    swr_free(&swr_);
    avcodec_free_context(&codec_);
    avformat_close_input(&fmt_);
    av_packet_free(&packet_);
    av_frame_free(&frame_);
}

void TDSAudioFileReader::resetDecoding() {
    pending_.clear();
    pendingPos_ = 0;
    pendingSample_ = 0;
    nextFrameSample_ = 0;
    discardUntil_ = 0;
    syncFromPts_ = false;
    seekFrom_ = 0;
    seekTries_ = 0;
    drained_ = false;
    finished_ = false;
    flushed_ = false;
    // A resampler holds samples of the old place.
    swr_free(&swr_);
    swrInFormat_ = -1;
    swrInRate_ = 0;
}

void TDSAudioFileReader::openCodec() {
    AVStream* st = fmt_->streams[stream_];
    const AVCodec* decoder = avcodec_find_decoder(st->codecpar->codec_id);
    if (!decoder)
        CheckAM(kAMNoStream);
    avcodec_free_context(&codec_);
    codec_ = avcodec_alloc_context3(decoder);
    if (!codec_)
        CheckAM(AVERROR(ENOMEM));
    CheckAM(avcodec_parameters_to_context(codec_, st->codecpar));
    codec_->thread_count = 1;
    codec_->pkt_timebase = st->time_base;
    CheckAM(avcodec_open2(codec_, decoder, nullptr));
}

void TDSAudioFileReader::open() {
    close();
    static const bool logLevel = [] {
        applyFfmpegMessages(); // failures reach the caller as exceptions
        return true;
    }();
    (void)logLevel;
    resetDecoding();

    packet_ = av_packet_alloc();
    frame_ = av_frame_alloc();
    if (!packet_ || !frame_)
        CheckAM(AVERROR(ENOMEM));
    const QByteArray path = nativeFileName(fileName_);
    fmt_ = avformat_alloc_context();
    if (!fmt_)
        CheckAM(AVERROR(ENOMEM));
    fmt_->interrupt_callback = AVIOInterruptCB{&TDSAudioFileReader::readLimitReached, this};
    progressBytes_ = -1;
    overReadLimit_ = false;
    CheckAM(
        avformat_open_input(&fmt_, path.constData(), nullptr, nullptr)); // frees fmt_ on failure
    // FFmpeg bounds the format probe and the header (with a leading tag of any size); the search
    // for the first frame after it is bounded here: a demuxer's search for a frame start (MP3's
    // through a file of zeros) would otherwise read the whole file in one call.
    // The stream analysis reads up to its own probe size between packets (more when a stream it
    // cannot make sense of, a broken cover picture, keeps it looking), the limit on top of that.
    markProgress();
    readLimit_ = std::max<std::int64_t>(fmt_->probesize, 0) + kNoAudioReadLimit;
    const int info = avformat_find_stream_info(fmt_, nullptr);
    readLimit_ = kNoAudioReadLimit;
    if (overReadLimit_)
        CheckAM(AVERROR_INVALIDDATA);
    CheckAM(std::min(0, info));
    const AVCodec* decoder = nullptr;
    stream_ = av_find_best_stream(fmt_, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
    if (stream_ < 0 || !decoder)
        CheckAM(kAMNoStream);
    AVStream* st = fmt_->streams[stream_];
    for (unsigned i = 0; i < fmt_->nb_streams; ++i) {
        if (static_cast<int>(i) != stream_)
            fmt_->streams[i]->discard = AVDISCARD_ALL;
    }
    openCodec();

    const int channels = codec_->ch_layout.nb_channels;
    const int rate = codec_->sample_rate;
    if (channels <= 0 || rate <= 0)
        CheckAM(kAMNoStream);

    // PCM sources keep their own sample size; everything else becomes 16-bit.
    const bool pcm = st->codecpar->codec_id >= AV_CODEC_ID_PCM_S16LE &&
                     st->codecpar->codec_id < AV_CODEC_ID_ADPCM_IMA_QT;
    int bits = pcm ? av_get_bits_per_sample(st->codecpar->codec_id) : 16;
    if (bits <= 0)
        bits = 16;
    int outFormat, outBytes;
    if (bits == 8) {
        outFormat = AV_SAMPLE_FMT_U8;
        outBytes = 1;
    } else if (bits <= 16) {
        bits = 16;
        outFormat = AV_SAMPLE_FMT_S16;
        outBytes = 2;
    } else {
        bits = bits == 24 ? 24 : 32;
        outFormat = AV_SAMPLE_FMT_S32;
        outBytes = 4;
    }
    TWaveFormat f;
    f.wFormatTag = 1;
    f.nChannels = static_cast<std::uint16_t>(channels);
    f.nSamplesPerSec = static_cast<std::uint32_t>(rate);
    f.wBitsPerSample = static_cast<std::uint16_t>(bits);
    f.nBlockAlign = static_cast<std::uint16_t>(channels * bits / 8);
    f.nAvgBytesPerSec = f.nBlockAlign * f.nSamplesPerSec;
    f.cbSize = 0;
    if (format_.nChannels != 0 &&
        (f.nChannels != format_.nChannels || f.nSamplesPerSec != format_.nSamplesPerSec ||
         f.wBitsPerSample != format_.wBitsPerSample))
        CheckAM(0x00040005); // opened again by name, and it is another file now
    format_ = f;
    outFormat_ = outFormat;
    outBytes_ = outBytes;

    startPts_ = st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;
    if (st->duration != AV_NOPTS_VALUE && st->duration > 0)
        duration_ = av_rescale_q(st->duration, st->time_base, AVRational{1, kUnitsPerSecond});
    else if (fmt_->duration != AV_NOPTS_VALUE && fmt_->duration > 0)
        duration_ = fmt_->duration * (kUnitsPerSecond / AV_TIME_BASE);
    else
        duration_ = 0;
}

int TDSAudioFileReader::readLimitReached(void* opaque) {
    auto* self = static_cast<TDSAudioFileReader*>(opaque);
    const AVIOContext* pb = self->fmt_ ? self->fmt_->pb : nullptr;
    if (!pb || self->progressBytes_ < 0 ||
        pb->bytes_read - self->progressBytes_ <= self->readLimit_)
        return 0;
    self->overReadLimit_ = true;
    return 1;
}

void TDSAudioFileReader::markProgress() {
    progressBytes_ = fmt_ && fmt_->pb ? fmt_->pb->bytes_read : -1;
    overReadLimit_ = false;
}

void TDSAudioFileReader::rewind() {
    if (fmt_ && packet_ && frame_) {
        AVStream* st = fmt_->streams[stream_];
        // The first packet: at time 0, or earlier for streams that start before it.
        const std::int64_t first =
            st->start_time != AV_NOPTS_VALUE ? std::min<std::int64_t>(0, st->start_time) : 0;
        markProgress();
        if (av_seek_frame(fmt_, stream_, first, AVSEEK_FLAG_BACKWARD) >= 0) {
            try {
                openCodec(); // a fresh decoder decodes the start exactly as the first time
                resetDecoding();
                return;
            } catch (const EAudioReadError&) {
                // opened again below
            }
        }
    }
    open();
}

MediaTime TDSAudioFileReader::timeOfSample(std::int64_t n) const {
    return n * kUnitsPerSecond / static_cast<std::int64_t>(format_.nSamplesPerSec);
}

void TDSAudioFileReader::makeConverter(const AVFrame* frame) {
    // A change to a rate far from the first (a damaged stream) would make the conversion's
    // buffers explode: refused like a change in the channel count.
    const std::int64_t in = frame->sample_rate, out = format_.nSamplesPerSec;
    if (in <= 0 || (in != out && (in > 16 * out || 16 * in < out)))
        CheckAM(0x00040005);
    // The old converter's last samples come before the new frame's.
    if (swr_ && swrInRate_ != static_cast<int>(format_.nSamplesPerSec))
        convert(nullptr, 0);
    swr_free(&swr_);
    AVChannelLayout layout{};
    if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || frame->ch_layout.nb_channels <= 0)
        av_channel_layout_default(&layout, format_.nChannels);
    else
        CheckAM(av_channel_layout_copy(&layout, &frame->ch_layout));
    const int e = swr_alloc_set_opts2(&swr_, &layout, static_cast<AVSampleFormat>(outFormat_),
                                      static_cast<int>(format_.nSamplesPerSec), &layout,
                                      static_cast<AVSampleFormat>(frame->format),
                                      frame->sample_rate, 0, nullptr);
    av_channel_layout_uninit(&layout);
    CheckAM(std::min(0, e));
    CheckAM(std::min(0, swr_init(swr_)));
    swrInFormat_ = frame->format;
    swrInRate_ = frame->sample_rate;
}

void TDSAudioFileReader::convert(const std::uint8_t* const* in, int count) {
    const int room = swr_get_out_samples(swr_, count);
    if (room <= 0)
        return;
    const std::size_t converted = static_cast<std::size_t>(room) * format_.nChannels * outBytes_;
    if (scratch_.size() < converted)
        scratch_.resize(converted);
    std::uint8_t* out = scratch_.data();
    const int got = swr_convert(swr_, &out, room, const_cast<const std::uint8_t**>(in), count);
    CheckAM(std::min(0, got));
    const std::size_t samples = static_cast<std::size_t>(got) * format_.nChannels;
    const std::size_t bytes = samples * (format_.wBitsPerSample / 8);
    const std::size_t at = pending_.size();
    pending_.resize(at + bytes);
    if (outBytes_ == 4 && format_.wBitsPerSample == 24) {
        for (std::size_t i = 0; i < samples; ++i)
            std::memcpy(&pending_[at + 3 * i], &scratch_[4 * i + 1], 3);
    } else {
        std::memcpy(pending_.data() + at, scratch_.data(), bytes);
    }
}

bool TDSAudioFileReader::decodeMore() {
    const std::size_t block = format_.nBlockAlign;
    const int rate = static_cast<int>(format_.nSamplesPerSec);
    // pending_ is empty here; what it gets now starts at nextFrameSample_.
    auto deliver = [&]() {
        const std::int64_t first = nextFrameSample_;
        const auto samples = static_cast<std::int64_t>(pending_.size() / block);
        nextFrameSample_ += samples;
        const std::int64_t skip =
            std::min(samples, std::max<std::int64_t>(0, discardUntil_ - first));
        pendingPos_ = static_cast<std::size_t>(skip) * block;
        pendingSample_ = first + skip;
        if (pendingPos_ < pending_.size())
            return true;
        pending_.clear();
        pendingPos_ = 0;
        return false;
    };
    while (true) {
        int r = avcodec_receive_frame(codec_, frame_);
        if (r == 0) {
            markProgress();
            const int n = frame_->nb_samples;
            if (syncFromPts_) {
                const std::int64_t pts = frame_->best_effort_timestamp;
                const std::int64_t index =
                    pts == AV_NOPTS_VALUE
                        ? -1
                        : av_rescale_q(pts - startPts_, fmt_->streams[stream_]->time_base,
                                       AVRational{1, rate});
                if (index < 0 || index > seekFrom_) {
                    // The demuxer landed after the place asked for, or gave no time: ask for an
                    // earlier place, and in the end decode from the start.
                    av_frame_unref(frame_);
                    const std::int64_t target = discardUntil_;
                    const std::int64_t earlier = seekFrom_ - std::int64_t{rate} * (2 << seekTries_);
                    const int tries = seekTries_ + 1;
                    if (tries < 3 && index >= 0 && earlier > 0 && seekDemuxer(earlier)) {
                        seekFrom_ = earlier;
                        seekTries_ = tries;
                    } else {
                        rewind();
                    }
                    discardUntil_ = target;
                    continue;
                }
                nextFrameSample_ = index;
                syncFromPts_ = false;
            }
            if (n <= 0) {
                av_frame_unref(frame_);
                continue;
            }
            if (frame_->ch_layout.nb_channels != format_.nChannels)
                CheckAM(kAMNoStream); // the stream changed shape mid-file
            if (!swr_ || frame_->format != swrInFormat_ || frame_->sample_rate != swrInRate_)
                makeConverter(frame_);
            // Frames wholly before a seek target need no conversion, unless a resampler has to
            // see them to stay in step.
            if (pending_.empty() && swrInRate_ == rate && nextFrameSample_ + n <= discardUntil_) {
                nextFrameSample_ += n;
                av_frame_unref(frame_);
                continue;
            }
            try {
                convert(frame_->extended_data, n);
            } catch (...) {
                av_frame_unref(frame_);
                throw;
            }
            av_frame_unref(frame_);
            if (deliver())
                return true;
            continue;
        }
        if (r == AVERROR_EOF) {
            if (swr_ && !flushed_ && swrInRate_ != rate) {
                flushed_ = true; // the resampler's last samples
                convert(nullptr, 0);
                if (deliver())
                    return true;
            }
            finished_ = true;
            return false;
        }
        if (r == AVERROR_INVALIDDATA)
            continue; // a damaged frame is skipped, as FFmpeg's own tools do
        if (r != AVERROR(EAGAIN))
            CheckAM(r);
        if (drained_) {
            finished_ = true;
            return false;
        }
        r = av_read_frame(fmt_, packet_);
        // Past the read limit the data ends here, as at the end of the file.
        if (r == AVERROR_EOF || (r < 0 && (overReadLimit_ || avio_feof(fmt_->pb)))) {
            avcodec_send_packet(codec_, nullptr);
            drained_ = true;
            continue;
        }
        CheckAM(std::min(0, r));
        if (packet_->stream_index == stream_) {
            r = avcodec_send_packet(codec_, packet_);
            av_packet_unref(packet_);
            if (r < 0 && r != AVERROR(EAGAIN) && r != AVERROR_INVALIDDATA)
                CheckAM(r);
        } else {
            av_packet_unref(packet_);
        }
    }
}

std::uint32_t TDSAudioFileReader::Read(void* buffer, std::uint32_t size) {
    if (size == 0)
        CheckAM(kAMInvalidBufferSize);
    if (!buffer)
        CheckAM(kAMInvalidPointer);
    const std::uint32_t block = format_.nBlockAlign;
    const std::uint32_t want = size - size % block;
    if (want == 0)
        CheckAM(kAMInvalidBufferSize);
    if (length_ != 0 && start_ + length_ <= position_)
        return 0;
    if (!fmt_ || !codec_)
        CheckAM(kAMNoStream); // a rewind that had to open the file again failed

    auto* out = static_cast<std::uint8_t*>(buffer);
    std::uint32_t filled = 0;
    std::int64_t firstSample = -1;
    while (filled < want) {
        if (pendingPos_ >= pending_.size()) {
            pending_.clear();
            pendingPos_ = 0;
            if (finished_ || !decodeMore())
                break;
        }
        if (firstSample < 0)
            firstSample = pendingSample_;
        const std::size_t take =
            std::min<std::size_t>(want - filled, pending_.size() - pendingPos_);
        std::memcpy(out + filled, pending_.data() + pendingPos_, take);
        pendingPos_ += take;
        pendingSample_ += static_cast<std::int64_t>(take / block);
        filled += static_cast<std::uint32_t>(take);
    }
    if (filled == 0)
        return 0; // the end of the data; Position stays

    std::uint32_t count = filled;
    sampleStart_ = timeOfSample(firstSample);
    sampleEnd_ = timeOfSample(firstSample + filled / block);
    if (sampleStart_ > sampleEnd_)
        sampleStart_ = sampleEnd_;
    if (length_ != 0 && sampleEnd_ > sampleStart_ && start_ + length_ < sampleEnd_) {
        const std::int64_t keep = static_cast<std::int64_t>(count) *
                                  (start_ + length_ - sampleStart_) / (sampleEnd_ - sampleStart_);
        count = static_cast<std::uint32_t>(std::max<std::int64_t>(0, keep));
        count -= count % block;
        sampleEnd_ = start_ + length_;
    }
    position_ = sampleEnd_;
    return count;
}

bool TDSAudioFileReader::seekDemuxer(std::int64_t fromSample) {
    AVStream* st = fmt_->streams[stream_];
    const AVRational rate{1, static_cast<int>(format_.nSamplesPerSec)};
    const std::int64_t ts = startPts_ + av_rescale_q(fromSample, rate, st->time_base);
    markProgress();
    if (av_seek_frame(fmt_, stream_, ts, AVSEEK_FLAG_BACKWARD) < 0)
        return false;
    avcodec_flush_buffers(codec_);
    const std::int64_t target = discardUntil_;
    resetDecoding();
    discardUntil_ = target;
    syncFromPts_ = true;
    return true;
}

void TDSAudioFileReader::seekToSample(std::int64_t target) {
    if (!fmt_ || !codec_ || target <= 0) {
        rewind(); // the start, exactly as the first read saw it (encoder delay included)
        discardUntil_ = std::max<std::int64_t>(0, target);
        return;
    }
    // Decode from well before the target: the decoder has settled (an MP3's bit reservoir and
    // overlap reach some frames back) by the time the target's samples come out, and the frames'
    // own times say where to start delivering.
    const std::int64_t from = std::max<std::int64_t>(
        0, target - std::int64_t{format_.nSamplesPerSec} * kPrerollMs / 1000);
    // Times coarser than a sample (ASF counts milliseconds) cannot say which sample a frame
    // starts at: decode from the start then.
    const AVRational tb = fmt_->streams[stream_]->time_base;
    const bool coarse = std::int64_t{tb.num} * format_.nSamplesPerSec > tb.den;
    discardUntil_ = target;
    if (from == 0 || coarse || !seekDemuxer(from)) {
        rewind();
        discardUntil_ = target;
        return;
    }
    seekFrom_ = from;
}

void TDSAudioFileReader::Seek(MediaTime p) {
    if (p == position_)
        return;
    if (p < start_)
        p = start_;
    else if (p > duration_)
        p = duration_;
    else if (length_ != 0 && p > start_ + length_)
        p = start_ + length_;
    // The first sample at or after p.
    const std::int64_t target =
        (p * static_cast<std::int64_t>(format_.nSamplesPerSec) + kUnitsPerSecond - 1) /
        kUnitsPerSecond;
    seekToSample(target);
    position_ = p;
}

void TDSAudioFileReader::SetStart(MediaTime v) {
    if (v == start_)
        return;
    if (v < 0)
        v = 0;
    if (position_ < v)
        Seek(v);
    start_ = v;
}

void TDSAudioFileReader::SetLength(MediaTime v) {
    if (v == length_)
        return;
    if (v != 0 && v < kMinLength)
        v = kMinLength;
    else if (v > kMaxLength)
        v = kMaxLength;
    if (v != 0 && start_ + v < position_)
        Seek(start_);
    length_ = v;
}

} // namespace corvalin
