#pragma once

// The sound output layer: one device that mixes any number of looping PCM rings into one
// 44100 Hz stereo 16-bit stream, sent to a backend chosen by CORVALIN_AUDIO:
//   "portaudio" (default; the sound card), "null" (silent, paced by the system clock),
//   "wav:PATH" (the mix written to a WAV file, paced in real time),
//   "manual" (nothing moves until advance() is called: for tests).
// When the sound card cannot be opened the device falls back to "null" and says so once on
// stderr. When the device goes away while the program runs (a USB card unplugged, the sound
// server restarted), every buffer of that moment is lost; the next buffer made opens the backend
// again, and falls back to "null" when that fails; the backend that was asked for is then tried
// again in the background, ever less often, and takes over when it opens. An output whose mixer has
// not run for 2 s while it should play (a sound card that hangs without going away) is taken for
// lost in the same way. outputStatus() and the status handler tell the program about the fallback.
//
// Threads: the mixer runs on the backend's thread (PortAudio's callback, the pacing thread of
// "null"/"wav:", or the caller of advance()). It does no file I/O and allocates nothing; the only
// lock it takes is the device's buffer list, which others hold just long enough to add or remove
// a buffer or to stop one. Every SoundBuffer function may be called from any thread; one writer
// per buffer is expected (the refill thread or its owner under the owner's lock).

#include "audio/SoundBackends.h"

#include <QString>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace corvalin {

// Result codes of this layer (0 is success).
inline constexpr std::int32_t kSoundOk = 0;
inline constexpr std::int32_t kSoundBufferLost = static_cast<std::int32_t>(0x88780096u);
inline constexpr std::int32_t kSoundInvalidParam = static_cast<std::int32_t>(0x88780057u);
inline constexpr std::int32_t kSoundBadFormat = static_cast<std::int32_t>(0x88780064u);
inline constexpr std::int32_t kSoundOutOfMemory = static_cast<std::int32_t>(0x8007000Eu);

// Interleaved PCM: 8-bit unsigned or 16-bit signed little-endian, 1 or 2 channels.
struct PcmFormat {
    int sampleRate = 44100;
    int channels = 2;
    int bitsPerSample = 16;

    int blockAlign() const { return channels * bitsPerSample / 8; }
    int bytesPerSecond() const { return blockAlign() * sampleRate; }
    bool valid() const;
};

class SoundDeviceCore; // shared by the device and its buffers

// Where the device's output goes, for the program to show.
struct SoundOutputStatus {
    QString requested;     // the backend asked for ("" is the default, "portaudio")
    QString backend;       // the backend running: "portaudio", "null", "wav" or "manual"
    bool fallback = false; // running "null" because the requested backend failed
    QString reason;        // why, when fallback: the backend's own error text
};

class StreamTap;

// What a device is built from besides its backend text; tests replace the parts.
struct SoundDeviceOptions {
    // Opens an output by its text; none: the real outputs (makeSoundBackend).
    std::function<std::unique_ptr<SoundBackend>(const QString& spec, SoundRender render,
                                                SoundLost lost, QString* error)>
        openBackend;
    // Milliseconds of a steady clock, for the stall watch; none: std::chrono::steady_clock.
    std::function<std::int64_t()> clockMs;
    // Whether a thread of the device calls supervise() every 250 ms. Without it (tests) the
    // owner calls supervise(). A "manual" device never has one.
    bool supervisorThread = true;
};

// A looping ring of bytes in its own PCM format with a play cursor that advances as the device
// consumes it. Created by SoundDevice::createBuffer; may outlive the device (it then stays
// silent and reports kSoundBufferLost).
class SoundBuffer {
public:
    ~SoundBuffer(); // any thread except the mixer's
    SoundBuffer(const SoundBuffer&) = delete;
    SoundBuffer& operator=(const SoundBuffer&) = delete;

    const PcmFormat& format() const { return format_; }
    std::uint32_t size() const { return size_; }

    // Writable regions for `bytes` bytes from `offset` (wrapping at the end: the second region
    // starts at 0). bytes must be 1..size(), offset < size(). Any thread.
    std::int32_t Lock(std::uint32_t offset, std::uint32_t bytes, void** ptr1, std::uint32_t* len1,
                      void** ptr2, std::uint32_t* len2);
    // Ends a Lock; the written bytes may be mixed from now on. Any thread.
    std::int32_t Unlock(void* ptr1, std::uint32_t len1, void* ptr2, std::uint32_t len2);

    // Starts playing around the ring from the cursor, without end. Any thread.
    std::int32_t Play();
    // Stops; the cursor stays. When it returns, the mixer no longer reads this ring. Any thread.
    std::int32_t Stop();
    // Moves the play cursor (bytes, rounded down to a whole frame). Any thread.
    std::int32_t SetCurrentPosition(std::uint32_t offset);
    // The play cursor: the byte offset now being played. Any thread.
    std::int32_t GetCurrentPosition(std::uint32_t* playCursor) const;
    // Hundredths of a decibel: 0 full level, -10000 silent (gain 10^(v/2000)). Any thread.
    std::int32_t SetVolume(std::int32_t hundredthsDb);
    // How long a change of volume or pan takes while the buffer plays: the gain moves frame by
    // frame from the one heard to the new one (a straight line in decibels between audible
    // levels), so that no change clicks. 0 (the default): at once. A change made while the
    // buffer does not play is taken at once. 0..60000 ms. Any thread.
    std::int32_t SetVolumeGlide(std::uint32_t ms);
    std::int32_t GetVolume(std::int32_t* hundredthsDb) const;
    // Hundredths of a decibel: negative attenuates the right side, positive the left;
    // -10000..10000.
    std::int32_t SetPan(std::int32_t hundredthsDb);
    std::int32_t GetPan(std::int32_t* hundredthsDb) const;

    bool isPlaying() const;
    // True once the device went away (or the buffer was otherwise lost). Any thread.
    bool isLost() const;

    struct State; // mixer side, private to the implementation

private:
    friend class SoundDevice;
    SoundBuffer(std::shared_ptr<SoundDeviceCore> core, const PcmFormat& format, std::uint32_t size);

    std::shared_ptr<SoundDeviceCore> core_;
    PcmFormat format_;
    std::uint32_t size_;
    std::shared_ptr<State> state_;
};

// One output device with its mixer and backend.
class SoundDevice : public std::enable_shared_from_this<SoundDevice> {
public:
    static constexpr int kSampleRate = 44100;
    static constexpr int kChannels = 2;

    // The device named by CORVALIN_AUDIO (see above). Never null: falls back to "null".
    // Any thread (in practice the UI thread at start-up).
    static std::shared_ptr<SoundDevice> create();
    // The same for an explicit backend text ("portaudio", "null", "wav:PATH", "manual").
    static std::shared_ptr<SoundDevice> create(const QString& backend);
    static std::shared_ptr<SoundDevice> create(const QString& backend, SoundDeviceOptions options);

    // How long a real-time output may go without mixing before it is taken for lost.
    static constexpr std::int64_t kStallMs = 2000;
    // After a loss it could not be opened again, the output is tried again this long after the
    // fallback, then at twice the last interval, up to the last.
    static constexpr std::int64_t kFirstRetryMs = 1000;
    static constexpr std::int64_t kLastRetryMs = 60000;

    ~SoundDevice(); // stops the backend; buffers still alive become lost
    SoundDevice(const SoundDevice&) = delete;
    SoundDevice& operator=(const SoundDevice&) = delete;

    // A new, silent, stopped ring of `bytes` bytes (a whole number of frames) in `format`.
    // On failure returns null and sets *result. Any thread except the mixer's.
    std::unique_ptr<SoundBuffer> createBuffer(const PcmFormat& format, std::uint32_t bytes,
                                              std::int32_t* result = nullptr);

    // The wave output volume: low 16 bits the left channel, high 16 bits the right, 0..65535
    // linear each; the output moves there frame by frame over `glideMs` (at most 60000; 0: at
    // once). masterVolume() is the value set. Any thread.
    void setMasterVolume(std::uint32_t twoHalves, std::uint32_t glideMs = 0);
    std::uint32_t masterVolume() const;

    // "portaudio", "null", "wav" or "manual": the backend actually running.
    QString backendName() const;
    bool isManual() const;

    // Manual backend only: mixes `frames` device frames now, on the calling thread, moving every
    // playing cursor; the mix is appended to *mix (interleaved stereo) when given. Returns false
    // (and does nothing) on other backends.
    bool advance(std::uint32_t frames, std::vector<std::int16_t>* mix = nullptr);

    // Every mixed frame, after the master volume, is also copied into `tap` (null: none). The
    // mixer only copies; the tap's reader runs elsewhere. Any thread except the mixer's.
    void setStreamTap(std::shared_ptr<StreamTap> tap);

    // Frames mixed since the device opened. Any thread.
    std::uint64_t framesMixed() const;
    // When the mixer last ran, in milliseconds of std::chrono::steady_clock since its epoch
    // (0: never): the output's liveness for the service watchdog. Any thread.
    std::int64_t lastMixMs() const;

    // Marks every buffer of the device lost, as when the sound card goes away. Any thread.
    void loseBuffers();

    // The device's housekeeping: a real-time output that has mixed nothing for kStallMs is
    // treated as gone (its buffers lost; the next buffer opens it again); after a loss it could
    // not be opened again, it is tried again when due (kFirstRetryMs, doubling to kLastRetryMs),
    // and takes over from the silent output, with every buffer, when it opens. Run by the
    // device's own thread; tests without it call it. An attempt holds no lock the other functions
    // take while it opens the output. Any thread except the mixer's.
    void supervise();

    // The output now. Any thread.
    SoundOutputStatus outputStatus() const;
    // Called each time the output changes while the program runs: it falls back to "null" after
    // the device went away and could not be opened again, or gets the requested backend back.
    // The call is queued to the application's main thread and runs from its event loop, never
    // inside the call that made the buffer (a deck makes its buffer under the decks' lock): the
    // handler may show a message box. Without a QCoreApplication it runs at once on the thread
    // that made the buffer. A fallback at creation is not reported: read outputStatus() after
    // create(). Clear the handler (an empty one) before what it uses goes away. Any thread.
    using StatusHandler = std::function<void(const SoundOutputStatus&)>;
    void setStatusHandler(StatusHandler handler);

private:
    explicit SoundDevice(SoundDeviceOptions options);
    // Opens an output whose rendering counts only while `renderer` is the active one.
    std::unique_ptr<SoundBackend> openBackend(const QString& spec, std::uint64_t renderer,
                                              QString* error);
    std::uint64_t useNextRenderer(); // backendMutex_ held
    void watchForStall(std::int64_t now);
    void retryIfDue(std::int64_t now);
    // Makes `next` (with the running backend's name) the status; whether it changed.
    // backendMutex_ held.
    bool takeStatus(SoundOutputStatus next, SoundOutputStatus* now);
    void startSupervisor();
    void stopSupervisor();
    // Opens the requested backend again after a loss; "null" when it fails (supervise() then
    // tries it again). Returns whether the status changed.
    bool reopenBackend(SoundOutputStatus* changed);
    void reportStatus(const SoundOutputStatus& status);
    std::shared_ptr<SoundDeviceCore> core_;
    QString requested_;
    mutable std::mutex backendMutex_;
    std::unique_ptr<SoundBackend> backend_; // guarded by backendMutex_
    SoundOutputStatus status_;              // guarded by backendMutex_
    bool retry_ = false;                    // guarded: a fallback after a loss retries
    std::int64_t retryDelayMs_ = 0;         // guarded by backendMutex_
    std::int64_t retryAtMs_ = 0;            // guarded by backendMutex_
    std::uint64_t backendSerial_ = 0;       // guarded: counts the backends put in place
    std::uint64_t lastRenderer_ = 0;        // guarded by backendMutex_
    StatusHandler handler_;                 // guarded by backendMutex_
    SoundDeviceOptions options_;
    // The stall watch, guarded by backendMutex_: frames mixed when last seen moving, and when.
    std::uint64_t watchFrames_ = 0;
    std::int64_t watchSinceMs_ = 0;
    std::int64_t lastSuperviseMs_ = 0;
    SoundBackend* watched_ = nullptr; // the backend watched (only compared)
    // The supervisor thread.
    std::mutex supervisorMutex_;
    std::condition_variable supervisorWake_;
    bool supervisorStop_ = false; // guarded by supervisorMutex_
    std::thread supervisor_;
};

} // namespace corvalin
