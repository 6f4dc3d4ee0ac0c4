#pragma once

// The decks: TDSPlayer (one output device), TDSPlayerChannel (one stream through a looping 4 s
// ring refilled every 400 ms by its own thread), TDSUpdateChannelThread and TPositionTimes.
//
// Threads: every public TDSPlayerChannel operation is for the UI thread (the thread that created
// the channel); it first waits up to 250 ms for the channels' shared recursive lock and does
// nothing when it cannot get it. The refill thread only runs Update under that lock. OnEndPlay
// and OnEndFade run on the UI thread, in the order posted; OnBufferLost runs on the thread that
// met the lost buffer.

#include "audio/DSAudioFileRead.h"
#include "audio/SoundDevice.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

namespace corvalin {

// A failed output call with the layer's result code.
class EDirectXError : public std::runtime_error {
public:
    explicit EDirectXError(std::int32_t code);
    QString message() const { return QString::fromUtf8(what()); }
    std::int32_t ErrorCode;
};

// A plain failure of a deck operation ("No file opened", "Audio file is empty.", ...).
class EAudioError : public std::runtime_error {
public:
    explicit EAudioError(const QString& text) : std::runtime_error(text.toStdString()) {}
    QString message() const { return QString::fromUtf8(what()); }
};

// A recursive lock with timed tries, built on a plain mutex and a condition so that thread
// checkers see every hand-over. Works with std::unique_lock.
class RecursiveTimedLock {
public:
    void lock();
    template <class Rep, class Period>
    bool try_lock_for(const std::chrono::duration<Rep, Period>& wait) {
        return tryLockUntil(std::chrono::steady_clock::now() + wait);
    }
    void unlock();

private:
    bool tryLockUntil(std::chrono::steady_clock::time_point deadline);
    std::mutex mutex_;
    std::condition_variable free_;
    std::thread::id owner_; // guarded by mutex_
    int depth_ = 0;         // guarded by mutex_
};

// 0 returns; anything else raises EDirectXError.
void CheckDX(std::int32_t result);

inline constexpr std::int32_t kDXBufferLost = kSoundBufferLost;
inline constexpr int kEndPlayNotification = 0x0401;
inline constexpr int kEndFadeNotification = 0x0402;

enum TDSChannelState : std::uint8_t { chStopped = 0, chPlaying = 1, chPaused = 2 };
enum TDSBitsPerSample { bs8Bit = 0, bs16Bit = 1 };
enum TDSLevel { lNormal, lPriority, lExclusive };

// The output devices found at start-up: descriptions and identifiers (empty: the default).
const QStringList& DSDeviceNames();
const QStringList& DSDeviceGUIDs();

// Milliseconds from a monotonic clock; wraps like a 32-bit tick count. Injected by tests.
using TickSource = std::function<std::uint32_t()>;
std::uint32_t systemTicks();

// Which ring bytes hold which media times: a ring of 50 entries, the oldest overwritten.
class TPositionTimes {
public:
    static constexpr int kEntries = 50;
    void Add(std::int32_t posStart, std::int32_t posEnd, MediaTime timeStart, MediaTime timeEnd);
    // The media time in ms of ring offset pos.
    std::int32_t GetPosTime(std::int32_t pos) const;
    void Clear();

    int Index = 0;
    std::int32_t PosStart[kEntries] = {};
    std::int32_t PosEnd[kEntries] = {};
    MediaTime TimeStart[kEntries] = {};
    MediaTime TimeEnd[kEntries] = {};
};

class TDSPlayerChannel;

// One output device object, opened by the first buffer any of its channels needs. UI thread.
class TDSPlayer {
public:
    // `device`: the device to use (shared with the other deck and the DJ); none: one is made
    // from CORVALIN_AUDIO when first needed.
    explicit TDSPlayer(std::shared_ptr<SoundDevice> device = nullptr);
    virtual ~TDSPlayer();
    TDSPlayer(const TDSPlayer&) = delete;
    TDSPlayer& operator=(const TDSPlayer&) = delete;

    void Initialize();
    SoundDevice& GetDirectSound();
    void Close();
    void AddChannel(TDSPlayerChannel* channel);
    void RemoveChannel(TDSPlayerChannel* channel);
    // Called right after the device is opened and right after it is released.
    virtual void DeviceChanged() {}

    bool Stereo = true;
    int DeviceIndex = 0;
    int Frequency() const { return frequency_; }
    void SetFrequency(int hz) { frequency_ = hz < 100 ? 100 : (hz > 100000 ? 100000 : hz); }
    int SpeakerConfig = 4;
    TDSBitsPerSample BitsPerSample = bs16Bit;
    TDSLevel Level = lPriority;
    bool hasDevice() const { return device_ != nullptr; }

private:
    std::shared_ptr<SoundDevice> given_;
    std::shared_ptr<SoundDevice> device_;
    int frequency_ = 44100;
    std::vector<TDSPlayerChannel*> channels_;
};

// Wakes every Interval ms while Active and calls the channel's Update under the shared lock.
class TDSUpdateChannelThread {
public:
    TDSUpdateChannelThread(TDSPlayerChannel* channel, std::uint32_t interval);
    ~TDSUpdateChannelThread();   // ends the thread and waits for it
    void SetActive(bool active); // any thread
    bool Active() const { return active_.load(); }
    std::uint32_t Interval;

private:
    void run();
    TDSPlayerChannel* channel_;
    std::atomic<bool> active_{false};
    std::mutex mutex_;
    std::condition_variable wake_;
    bool signalled_ = false;  // guarded by mutex_
    bool terminated_ = false; // guarded by mutex_
    std::thread thread_;
};

// Opens a song file for decoding; raises like the TDSAudioFileReader constructor.
using ReaderFactory = std::function<std::unique_ptr<TDSAudioFileReader>(const QString& fileName)>;

// A part of a song file in ms from its start.
struct PlayWindow {
    std::int64_t FromMs = 0;
    std::int64_t ToMs = 0;
};

// How a channel is driven; tests replace the thread, the clock and the decoder.
struct TDSChannelOptions {
    TickSource ticks;                   // none: systemTicks
    bool refillThread = true;           // false: nothing refills until Update is called
    ReaderFactory openReader = nullptr; // none: a plain TDSAudioFileReader
    // The loudness correction in dB of a song, asked once when the song is opened (UI thread)
    // and kept for the whole song; applied to the samples as they are decoded, under the deck's
    // Volume. None: no correction.
    std::function<double(const QString& fileName)> gainDb = nullptr;
    // The part of a song worth playing, asked like gainDb: the channel then presents that part
    // as the whole song (Duration its length, Position counted from its start, the end of play
    // at its end). None, or no answer: the whole file.
    std::function<std::optional<PlayWindow>(const QString& fileName)> trim = nullptr;
};

class TDSPlayerChannel {
public:
    using Event = std::function<void(TDSPlayerChannel* sender)>;

    explicit TDSPlayerChannel(TDSPlayer* player, TDSChannelOptions options = {});
    ~TDSPlayerChannel();
    TDSPlayerChannel(const TDSPlayerChannel&) = delete;
    TDSPlayerChannel& operator=(const TDSPlayerChannel&) = delete;

    // Opens the file (empty: only closes). Raises on a file that cannot be played.
    void SetFileName(const QString& name);
    // The same with a decoder already opened for `name` by OpenReader, perhaps on another thread.
    void SetFileName(const QString& name, std::unique_ptr<TDSAudioFileReader> decoder);
    // Opens a decoder for `name` as SetFileName does, so that the slow part of an open (reading
    // and probing the file) can run away from the UI thread. Any thread; takes no lock. Raises
    // like the TDSAudioFileReader constructor.
    std::unique_ptr<TDSAudioFileReader> OpenReader(const QString& name) const;
    QString FileName() const;
    void Prepare();
    void Play();
    void Pause();
    void Stop();
    void Fade(std::uint32_t time, std::int32_t endVolume);
    void SetVolume(std::int32_t v);
    std::int32_t Volume() const { return volume_.load(); }
    void SetPan(std::int32_t v);
    std::int32_t Pan() const { return pan_.load(); }
    std::int32_t Position(); // ms being heard; 0 when the lock is not had
    void SetPosition(std::int32_t ms);
    void SetStartTime(std::int32_t ms);
    void SetEndTime(std::int32_t ms);
    std::int32_t StartTime() const { return startTime_.load(); }
    std::int32_t EndTime() const { return endTime_.load(); }
    // The loudness correction of the open song in dB (0: none). Any thread.
    double GainDb() const { return gainDb_.load(); }
    // Where the song as presented starts in its file, ms (0: untrimmed). Any thread.
    std::int32_t TrimFromMs() const { return trimFromMs_.load(); }

    // Lends the bytes about to be heard (no lock needed to read them until released). The lent
    // bytes stay valid until ReleaseAnalysisData, even when the refill thread drops the ring
    // meanwhile (lost buffer, failed refill). UI thread, like ReleaseAnalysisData.
    void GetAnalysisData(std::uint32_t offset, std::uint32_t size, const std::uint8_t** ptr1,
                         std::uint32_t* len1, const std::uint8_t** ptr2, std::uint32_t* len2);
    void ReleaseAnalysisData();

    // The refill step (refill thread, or tests in place of it). Takes the lock.
    void Update();
    // How long the refill thread waits for the next Update: the Interval, or less once the end
    // of the data will be heard sooner, so that the end of play is told when the song ends
    // rather than up to an Interval later. Any thread.
    std::uint32_t NextUpdateMs() const { return nextUpdateMs_.load(); }

    // Read without the lock by the UI: single aligned words written under it.
    TDSChannelState State() const { return state_.load(); }
    std::int32_t Duration() const { return duration_.load(); }
    std::int32_t SampleRate() const { return sampleRate_.load(); }
    std::int32_t Channels() const { return channels_.load(); }
    std::int32_t BitsPerSample() const { return bitsPerSample_.load(); }
    std::int32_t BlockAlign() const { return blockAlign_.load(); }
    bool AnalysisLocked() const { return analysisLocked_.load(); }

    // Internal state, for the refill thread and tests; read under the lock.
    bool Filled() const { return filled_; }
    bool Fading() const { return fading_; }
    bool EndNear() const { return endNear_; }
    std::int32_t EndPos() const { return endPos_; }
    std::uint32_t WritePos() const { return writePos_; }
    std::uint32_t BufferSize() const { return bufferSize_; }
    std::uint32_t EndThreshold() const { return endThreshold_; }
    std::uint32_t SilenceChunk() const { return silenceChunk_; }
    std::uint32_t BufferTime() const { return bufferTime_; }
    std::uint32_t Interval() const { return interval_; }
    bool hasBuffer() const { return buffer_ != nullptr; }
    SoundBuffer* buffer() const { return buffer_.get(); }
    const TPositionTimes& positionTimes() const { return times_; }
    RecursiveTimedLock& lock() const { return *lock_; }
    static QString LockName();

    Event OnEndPlay;    // UI thread
    Event OnEndFade;    // UI thread
    Event OnBufferLost; // the thread that met the lost buffer

private:
    friend class TDSPlayer;
    friend class TDSUpdateChannelThread;

    void UpdateLocked();
    void CreateBuffer();
    void FreeBuffer();
    void CloseFile();
    void FillBuffer();
    void WriteData(std::uint32_t offset, std::uint32_t count);
    void WriteSilence(std::uint32_t offset, std::uint32_t count);
    // Locks `count` bytes of the ring at `offset`, lets `fill` write them and unlocks. Returns
    // false when the buffer was lost (the deck is then stopped).
    template <class Fill> bool FillRing(std::uint32_t offset, std::uint32_t count, Fill&& fill);
    void BufferLost();
    void StopLocked();
    void rewindDecoder(); // back to the start of the window; a failure is left to the next fill
    void SetVolumeLocked(std::int32_t v);
    // The running fade's volume at `tick` (its end volume from its end on).
    std::int32_t fadeVolumeAt(std::uint32_t tick) const;
    // Sends the output gliding to the fade's volume one update period after `now`.
    void aimFade(std::uint32_t now);
    // Ends a running fade without notice, the volume where the fade is now.
    void endFadeHere();
    std::uint32_t playCursor() const;
    void post(int code);
    void deliver(int code, std::uint32_t song);
    void resetStream();
    void applyGain(std::uint8_t* data, std::uint32_t bytes) const;
    // Narrows the open decoder to the song's audible part, when one is known for it.
    void applyTrim(const QString& name, MediaTime fileMs);

    TDSPlayer* player_;
    TickSource ticks_;
    ReaderFactory openReader_;
    std::function<double(const QString&)> gainFor_;
    std::function<std::optional<PlayWindow>(const QString&)> trimFor_;
    // The trimmed song's start in the file, ms: Position and SetPosition count from it.
    std::atomic<std::int32_t> trimFromMs_{0};
    std::atomic<double> gainDb_{0.0};
    float gain_ = 1.0f; // under the lock: linear factor of gainDb_
    RecursiveTimedLock* lock_;
    std::unique_ptr<QObject> sink_; // lives on the creating (UI) thread
    std::unique_ptr<SoundBuffer> buffer_;
    QString fileName_;
    std::atomic<std::uint32_t> song_{0}; // counts the files set; end notifications carry it
    std::atomic<bool> analysisLocked_{false};
    bool filled_ = false;
    bool fading_ = false;
    bool endNear_ = false;
    std::atomic<std::int32_t> sampleRate_{0};
    std::atomic<std::int32_t> channels_{0};
    std::atomic<std::int32_t> bitsPerSample_{0};
    std::atomic<std::int32_t> blockAlign_{0};
    std::atomic<std::int32_t> duration_{0};
    std::atomic<std::int32_t> startTime_{0};
    std::atomic<std::int32_t> endTime_{0};
    std::uint32_t bufferTime_ = 4000;
    std::uint32_t interval_ = 400;
    std::atomic<std::uint32_t> nextUpdateMs_{400};
    std::uint32_t bufferSize_ = 0;
    std::uint32_t endThreshold_ = 0;
    std::uint32_t silenceChunk_ = 0;
    std::uint32_t writePos_ = 0;
    std::uint32_t lastUpdate_ = 0;
    std::uint32_t fadeStartTick_ = 0;
    std::uint32_t fadeEndTick_ = 0;
    std::atomic<std::int32_t> volume_{0};
    std::atomic<std::int32_t> pan_{0};
    std::int32_t fadeStartVolume_ = 0;
    std::int32_t fadeEndVolume_ = 0;
    std::int32_t endPos_ = -1;
    std::unique_ptr<TDSAudioFileReader> decoder_;
    std::atomic<TDSChannelState> state_{chStopped};
    TPositionTimes times_;
    std::unique_ptr<TDSUpdateChannelThread> thread_;
    std::shared_ptr<std::uint8_t[]> mirror_; // under the lock
    std::shared_ptr<std::uint8_t[]> lent_;   // UI thread: the mirror the meters are reading
};

} // namespace corvalin
