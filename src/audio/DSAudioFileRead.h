#pragma once

// TDSAudioFileReader: one song file decoded to interleaved PCM by FFmpeg, read piece by piece
// into the caller's buffer with the media time of each piece, with exact seeking and an optional
// reading window. Compressed sources give 16-bit samples; PCM sources keep their sample size.
// The file is opened by name once; rewinding and seeking stay within the open file, so a song
// renamed or removed while it plays goes on. Only when the open file cannot seek is it opened
// again by name. A stream whose rate changes part way is converted to the rate it started with.
// The first frame is decoded when the file is opened, and the search for it reads a bounded
// prefix (FFmpeg's format probe and stream analysis, then kNoAudioReadLimit bytes), as does the
// search for each later frame: a large file of anything but audio is refused after a few MB.
//
// Threads: no locking of its own. One thread at a time (the deck calls it under its lock).

#include "core/Types.h"

#include <QString>
#include <cstdint>
#include <stdexcept>
#include <vector>

struct AVFormatContext;
struct AVCodecContext;
struct AVPacket;
struct AVFrame;
struct SwrContext;

namespace corvalin {

// The PCM format delivered by Read, laid out like the 18-byte wave format record.
struct TWaveFormat {
    std::uint16_t wFormatTag = 1; // PCM
    std::uint16_t nChannels = 0;
    std::uint32_t nSamplesPerSec = 0;
    std::uint32_t nAvgBytesPerSec = 0;
    std::uint16_t nBlockAlign = 0;
    std::uint16_t wBitsPerSample = 0;
    std::uint16_t cbSize = 0;
};

// A decoder failure with the result code that caused it.
class EAudioReadError : public std::runtime_error {
public:
    EAudioReadError(const QString& message, std::int32_t code)
        : std::runtime_error(message.toStdString()), ErrorCode(code) {}
    QString message() const { return QString::fromUtf8(what()); }
    std::int32_t ErrorCode;
};

// Result codes the reader raises itself.
inline constexpr std::int32_t kAMEndOfStream = static_cast<std::int32_t>(0x80040403u);
inline constexpr std::int32_t kAMNoStream = 0x00040003;
inline constexpr std::int32_t kAMInvalidBufferSize = 0x08000001;
inline constexpr std::int32_t kAMInvalidPointer = static_cast<std::int32_t>(0x80004003u);
inline constexpr std::int32_t kAMInvalidArg = static_cast<std::int32_t>(0x80070057u);

// 0 returns; any other code raises EAudioReadError with its message.
void CheckAM(std::int32_t code);
// The message for a result code (the fixed table, else FFmpeg's text, else
// "Unrecognized error value.").
QString AudioErrorText(std::int32_t code);

class TDSAudioFileReader {
public:
    static constexpr MediaTime kMinLength = 100000;             // 10 ms
    static constexpr MediaTime kMaxLength = 1000000000000000LL; // 10^15
    // Bytes read without a decoded frame after which the reader gives up: at the open it refuses
    // the file; later the data ends there.
    static constexpr std::int64_t kNoAudioReadLimit = 1 << 20;

    // Opens the file and prepares PCM delivery; raises EAudioReadError on any failure.
    explicit TDSAudioFileReader(const QString& fileName);
    virtual ~TDSAudioFileReader();
    TDSAudioFileReader(const TDSAudioFileReader&) = delete;
    TDSAudioFileReader& operator=(const TDSAudioFileReader&) = delete;

    // Fills buffer with up to size bytes (whole frames); fewer only at the end of the data, 0
    // after it. Virtual so that tests can make a deck's decoder fail.
    virtual std::uint32_t Read(void* buffer, std::uint32_t size);
    // Continues reading from this media time, kept inside the file and the window.
    void Seek(MediaTime position);
    void SetStart(MediaTime v);
    void SetLength(MediaTime v);

    const TWaveFormat& Format() const { return format_; }
    const QString& FileName() const { return fileName_; }
    MediaTime Duration() const { return duration_; }
    MediaTime Position() const { return position_; }
    MediaTime Start() const { return start_; }
    MediaTime Length() const { return length_; }
    MediaTime SampleStart() const { return sampleStart_; }
    MediaTime SampleEnd() const { return sampleEnd_; }

private:
    void open(); // by name: the first time, and when the open file cannot rewind
    void openCodec();
    void close();
    void resetDecoding();
    void rewind(); // to the first sample, as the first read after open saw it
    bool seekDemuxer(std::int64_t fromSample);
    bool decodeMore(); // converts one more frame into pending_; false at the end
    // Converts `count` input samples (none: what the converter still holds) onto pending_.
    void convert(const std::uint8_t* const* in, int count);
    void makeConverter(const AVFrame* frame);
    void seekToSample(std::int64_t target);
    MediaTime timeOfSample(std::int64_t n) const;
    // FFmpeg's interrupt callback: stops reading once readLimit_ bytes have gone by without
    // progress (a decoded frame, a seek).
    static int readLimitReached(void* reader);
    void markProgress();

    TWaveFormat format_;
    QString fileName_;
    MediaTime duration_ = 0;
    MediaTime position_ = 0;
    MediaTime start_ = 0;
    MediaTime length_ = 0;
    MediaTime sampleStart_ = 0;
    MediaTime sampleEnd_ = 0;

    AVFormatContext* fmt_ = nullptr;
    AVCodecContext* codec_ = nullptr;
    SwrContext* swr_ = nullptr;
    AVPacket* packet_ = nullptr;
    AVFrame* frame_ = nullptr;
    int stream_ = -1;
    int outFormat_ = 0; // AVSampleFormat of the conversion
    int outBytes_ = 2;  // bytes per sample after conversion (4 for 24-bit, packed later)
    std::int64_t startPts_ = 0;
    bool drained_ = false;  // demuxer at its end, decoder flushed
    bool finished_ = false; // no more frames

    int swrInFormat_ = -1; // what swr_ converts from
    int swrInRate_ = 0;
    bool flushed_ = false; // the converter's tail has been taken at the end
    std::vector<std::uint8_t> scratch_;
    std::vector<std::uint8_t> pending_; // converted samples not yet delivered
    std::size_t pendingPos_ = 0;
    std::int64_t pendingSample_ = 0;   // sample index of pending_[pendingPos_]
    std::int64_t nextFrameSample_ = 0; // sample index of the next decoded frame
    std::int64_t discardUntil_ = 0;    // after a seek: drop samples before this index
    bool syncFromPts_ = false;         // after a seek: take the next frame's index from its pts
    std::int64_t seekFrom_ = 0;        // the sample the demuxer was asked to land at or before
    int seekTries_ = 0;
    std::int64_t progressBytes_ = -1; // bytes read at the last progress; -1: not counting yet
    std::int64_t readLimit_ = kNoAudioReadLimit;
    bool overReadLimit_ = false; // reading was stopped by the limit
};

} // namespace corvalin
