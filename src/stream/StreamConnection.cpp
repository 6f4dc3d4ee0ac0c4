#include "stream/StreamConnection.h"

#include "stream/StreamEncoder.h"
#include "stream/StreamMetadata.h"

#include <QUrl>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <pthread.h>
#include <thread>
#include <time.h>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace corvalin {

namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr int kFirstRetrySeconds = 1;
constexpr int kLastRetrySeconds = 60;
// A connection that lasted this long starts the retries from the first delay again.
constexpr auto kStableConnection = std::chrono::seconds(10);
// A connect or a write that takes longer than this counts as a lost connection.
constexpr auto kIoTimeout = std::chrono::seconds(10);
// An output wakes for this much audio at a time (a few packets, one write) rather than for each
// packet: the title still reaches Icecast as soon as before.
constexpr double kBatchSeconds = 0.03;

QByteArray utf8(const QString& s) {
    return s.toUtf8();
}

QString avText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return QString::fromUtf8(text);
}

// Why a connection failed, in words for the operator (FFmpeg's texts never carry the URL).
QString connectFailure(int code) {
    switch (code) {
    case AVERROR_HTTP_UNAUTHORIZED:
        return QStringLiteral("the server refused the user name or password");
    case AVERROR_HTTP_FORBIDDEN:
        return QStringLiteral("the server refused the mount point (in use or not allowed)");
    case AVERROR_HTTP_NOT_FOUND:
        return QStringLiteral("the server has no such mount point");
    case AVERROR_EXIT:
        return QStringLiteral("the server did not answer in time");
    default:
        return avText(code);
    }
}

QString lostConnection(int code) {
    if (code == AVERROR_EXIT)
        return QStringLiteral("the server stopped taking the stream");
    return QStringLiteral("the connection was lost (%1)").arg(avText(code));
}

} // namespace

struct StreamConnection::Shared {
    std::shared_ptr<EncoderStage> stage;
    std::shared_ptr<PacketQueue> queue;
    Changed changed;
    QByteArray threadName;

    mutable std::mutex mutex;
    std::condition_variable wake;
    StreamSettings settings;  // guarded
    QString stationName;      // guarded
    int generation = 0;       // guarded: bumped by every change of settings
    QString title;            // guarded
    int titleGeneration = 0;  // guarded
    bool quit = false;        // guarded
    StreamStatus status;      // guarded
    clockid_t cpuClock{};     // guarded
    bool cpuClockSet = false; // guarded

    // Read by FFmpeg's interrupt callback on the connection's thread.
    std::atomic<bool> abortIo{false};
    std::atomic<std::int64_t> ioDeadline{0}; // steady-clock ns, 0: none

    std::thread thread;

    void run();
    void setStatus(const std::function<void(StreamStatus&)>& change);
    // Waits up to `ms` or until woken. Returns false when the settings changed or the thread is
    // to end.
    bool idle(int ms, int generationSeen);
    void armDeadline() {
        ioDeadline.store((SteadyClock::now() + kIoTimeout).time_since_epoch().count(),
                         std::memory_order_relaxed);
    }
    void clearDeadline() { ioDeadline.store(0, std::memory_order_relaxed); }
};

namespace {

int interruptRequested(void* opaque) {
    auto* shared = static_cast<StreamConnection::Shared*>(opaque);
    if (shared->abortIo.load(std::memory_order_relaxed))
        return 1;
    const std::int64_t deadline = shared->ioDeadline.load(std::memory_order_relaxed);
    return deadline != 0 && SteadyClock::now().time_since_epoch().count() > deadline ? 1 : 0;
}

// One connection: the source connection and its muxer, fed by the shared encoder of its format.
// Connection thread only.
class Session {
public:
    Session(StreamConnection::Shared& shared, const StreamSettings& settings)
        : shared_(shared), s_(settings), opus_(settings.Format == kStreamFormatOpus) {}
    ~Session() { close(); }

    // Connects, joins the encoder and writes the stream header. Empty on success, else why.
    QString open(const QString& name, const QString& title) {
        // Icecast's source protocol spoken through FFmpeg's HTTP layer itself: its icecast://
        // wrapper does not pass the interrupt callback on to the socket, so neither the time
        // limit nor giving up at once (new settings, the end) would reach a silent server.
        QByteArray headers;
        auto header = [&](const char* field, const QString& value) {
            QString v = value;
            v.replace(QLatin1Char('\r'), QLatin1Char(' '))
                .replace(QLatin1Char('\n'), QLatin1Char(' '));
            if (!v.trimmed().isEmpty())
                headers += QByteArray(field) + ": " + utf8(v.trimmed()) + "\r\n";
        };
        header("Ice-Name", name);
        header("Ice-Description", s_.Description);
        header("Ice-URL", s_.Url);
        header("Ice-Genre", s_.Genre);
        headers += QByteArray("Ice-Public: ") + (s_.Public ? "1" : "0") + "\r\n";
        AVDictionary* options = nullptr;
        av_dict_set(&options, "method", "PUT", 0);
        av_dict_set(&options, "auth_type", "basic", 0);
        av_dict_set(&options, "chunked_post", "0", 0);
        av_dict_set(&options, "send_expect_100", "1", 0); // a refused login is told before audio
        av_dict_set(&options, "content_type", opus_ ? "audio/ogg" : "audio/mpeg", 0);
        av_dict_set(&options, "headers", headers.constData(), 0);
        av_dict_set(&options, "user_agent", "Corvalin Radio", 0);
        QString host = s_.Host;
        if (host.contains(QLatin1Char(':')) && !host.startsWith(QLatin1Char('[')))
            host = QLatin1Char('[') + host + QLatin1Char(']'); // an IPv6 address
        // The HTTP layer decodes percent escapes in the credentials. The URL stays in memory.
        const QByteArray url = "http://" + QUrl::toPercentEncoding(s_.User) + ':' +
                               QUrl::toPercentEncoding(s_.Password) + '@' + utf8(host) + ':' +
                               QByteArray::number(s_.Port) + QUrl::toPercentEncoding(s_.Mount, "/");
        const AVIOInterruptCB interrupt{&interruptRequested, &shared_};
        shared_.armDeadline();
        const int e = avio_open2(&pb_, url.constData(), AVIO_FLAG_WRITE, &interrupt, &options);
        shared_.clearDeadline();
        av_dict_free(&options);
        if (e < 0) {
            pb_ = nullptr;
            return connectFailure(e);
        }
        // Joined only now: what the air played while connecting is not sent late.
        if (QString error =
                shared_.stage->subscribe(s_.Format, s_.Bitrate, shared_.queue, &encoded_);
            !error.isEmpty())
            return error;
        subscribed_ = true;
        return startMuxer(title);
    }

    // Waits for the encoder's packets (a batch, or up to `wait`) and sends them in one write.
    // Empty on success (with or without packets), else why.
    QString sendQueued(std::chrono::milliseconds wait) {
        QString error;
        batch_.clear();
        shared_.queue->takeAll(wait, kBatchSeconds, batch_, &error);
        if (!error.isEmpty())
            return error;
        int e = 0;
        for (AVPacket*& packet : batch_) {
            if (e >= 0) {
                if (rebase_) {
                    // Each Ogg stream of a chain, and each connection, starts its own time line,
                    // the encoder's delay included.
                    chainBase_ = packet->pts + encoded_.initialPadding;
                    rebase_ = false;
                }
                packet->pts -= chainBase_;
                packet->dts -= chainBase_;
                av_packet_rescale_ts(packet, AVRational{1, encoded_.sampleRate},
                                     stream_->time_base);
                packet->stream_index = 0;
                shared_.armDeadline();
                e = av_write_frame(muxer_, packet);
                shared_.clearDeadline();
            }
            av_packet_free(&packet);
        }
        if (e >= 0 && !batch_.empty())
            e = flush();
        if (e < 0 || (pb_ && pb_->error < 0))
            return lostConnection(e < 0 ? e : pb_->error);
        return {};
    }

    // An Ogg stream carries its title in its comment header: the stream goes on as a new chained
    // Ogg stream whose header names the title. Empty on success, else why.
    QString startChainedTitle(const QString& title) {
        if (!opus_ || !muxer_)
            return {};
        shared_.armDeadline();
        const int e = av_write_trailer(muxer_);
        shared_.clearDeadline();
        avformat_free_context(muxer_);
        muxer_ = nullptr;
        if (e < 0)
            return lostConnection(e);
        return startMuxer(title);
    }

    bool isOpus() const { return opus_; }

    void close() {
        if (subscribed_) {
            shared_.stage->unsubscribe(shared_.queue);
            subscribed_ = false;
        }
        shared_.queue->reset();
        if (muxer_) {
            shared_.armDeadline();
            av_write_trailer(muxer_);
            shared_.clearDeadline();
            avformat_free_context(muxer_);
            muxer_ = nullptr;
        }
        if (pb_) {
            shared_.armDeadline();
            avio_closep(&pb_);
            shared_.clearDeadline();
        }
    }

private:
    QString startMuxer(const QString& title) {
        rebase_ = true;
        if (int e =
                avformat_alloc_output_context2(&muxer_, nullptr, opus_ ? "ogg" : "mp3", nullptr);
            e < 0)
            return avText(e);
        muxer_->pb = pb_;
        stream_ = avformat_new_stream(muxer_, nullptr);
        if (!stream_)
            return avText(AVERROR(ENOMEM));
        if (int e = avcodec_parameters_copy(stream_->codecpar, encoded_.parameters.get()); e < 0)
            return avText(e);
        stream_->time_base = AVRational{1, encoded_.sampleRate};
        if (opus_ && !title.isEmpty()) {
            av_dict_set(&stream_->metadata, "title", utf8(title).constData(), 0);
            av_dict_set(&muxer_->metadata, "title", utf8(title).constData(), 0);
        }
        AVDictionary* options = nullptr;
        if (!opus_) {
            av_dict_set(&options, "id3v2_version", "0", 0);
            av_dict_set(&options, "write_xing", "0", 0);
        }
        shared_.armDeadline();
        int e = avformat_write_header(muxer_, &options);
        shared_.clearDeadline();
        av_dict_free(&options);
        if (e >= 0)
            e = flush();
        if (e < 0)
            return lostConnection(e);
        return {};
    }

    // Sends what the muxer wrote so far.
    int flush() {
        shared_.armDeadline();
        avio_flush(pb_);
        shared_.clearDeadline();
        return pb_->error;
    }

    StreamConnection::Shared& shared_;
    StreamSettings s_;
    bool opus_;
    EncodedFormat encoded_;
    std::vector<AVPacket*> batch_;
    bool subscribed_ = false;
    std::int64_t chainBase_ = 0;
    bool rebase_ = true;
    AVIOContext* pb_ = nullptr;
    AVFormatContext* muxer_ = nullptr;
    AVStream* stream_ = nullptr;
};

} // namespace

void StreamConnection::Shared::setStatus(const std::function<void(StreamStatus&)>& change) {
    StreamStatus now;
    {
        std::lock_guard guard(mutex);
        StreamStatus next = status;
        change(next);
        if (next == status)
            return;
        status = next;
        now = next;
    }
    if (changed)
        changed(now);
}

bool StreamConnection::Shared::idle(int ms, int generationSeen) {
    const auto until = SteadyClock::now() + std::chrono::milliseconds(ms);
    std::unique_lock lock(mutex);
    for (;;) {
        if (quit || generation != generationSeen)
            return false;
        const auto now = SteadyClock::now();
        if (now >= until)
            return true;
        wake.wait_for(lock, until - now);
    }
}

void StreamConnection::Shared::run() {
    {
        std::lock_guard guard(mutex);
        cpuClockSet = pthread_getcpuclockid(pthread_self(), &cpuClock) == 0;
    }
    pthread_setname_np(pthread_self(), threadName.constData());
    int retrySeconds = kFirstRetrySeconds;
    int seenGeneration = -1;
    for (;;) {
        StreamSettings s;
        QString name;
        QString nowTitle;
        int titleSeen = 0;
        int gen = 0;
        {
            std::lock_guard guard(mutex);
            if (quit)
                return;
            s = settings;
            name = s.Name.trimmed().isEmpty() ? stationName : s.Name.trimmed();
            nowTitle = this->title;
            titleSeen = titleGeneration;
            gen = generation;
            if (gen != seenGeneration)
                abortIo.store(false); // under the lock configure() sets it with
        }
        if (gen != seenGeneration) {
            seenGeneration = gen;
            retrySeconds = kFirstRetrySeconds;
            setStatus([&](StreamStatus& st) {
                st = StreamStatus{};
                st.place = s.Enabled ? streamPlace(s) : QString();
                st.format = s.Enabled ? streamFormatText(s) : QString();
            });
        }
        if (!s.Enabled) {
            setStatus([](StreamStatus& st) { st.state = StreamState::Off; });
            idle(3600 * 1000, gen);
            continue;
        }
        if (s.Host.isEmpty()) {
            setStatus([](StreamStatus& st) {
                st.state = StreamState::Failed;
                st.reason = QStringLiteral("no server is named");
                st.retryInSeconds = 0;
            });
            idle(3600 * 1000, gen);
            continue;
        }

        setStatus([](StreamStatus& st) {
            st.state = StreamState::Connecting;
            st.retryInSeconds = 0;
            ++st.attempts;
        });
        QString error;
        // Only a connection that was made can have lasted: a slow failure to connect is no reason
        // to start the delays from the first again.
        std::optional<SteadyClock::time_point> connectedAt;
        {
            Session session(*this, s);
            error = session.open(name, nowTitle);
            if (error.isEmpty()) {
                connectedAt = SteadyClock::now();
                setStatus([](StreamStatus& st) {
                    st.state = StreamState::Connected;
                    st.reason.clear();
                    ++st.connections;
                });
                bool titleSent = session.isOpus() || nowTitle.isEmpty(); // the header named it
                auto nextTitleTry = SteadyClock::now();
                for (;;) {
                    {
                        std::unique_lock lock(mutex);
                        if (quit || generation != gen)
                            break;
                        if (titleGeneration != titleSeen) {
                            titleSeen = titleGeneration;
                            nowTitle = this->title;
                            titleSent = false;
                        }
                    }
                    if (!titleSent && SteadyClock::now() >= nextTitleTry) {
                        if (session.isOpus()) {
                            error = session.startChainedTitle(nowTitle);
                            if (!error.isEmpty())
                                break;
                            titleSent = true;
                        } else {
                            // A refused update is tried again a little later; the audio goes on.
                            titleSent = sendIcecastTitle(s, nowTitle).isEmpty();
                            if (!titleSent)
                                nextTitleTry = SteadyClock::now() + std::chrono::seconds(3);
                        }
                    }
                    error = session.sendQueued(std::chrono::milliseconds(200));
                    if (!error.isEmpty())
                        break;
                }
            }
        }
        {
            std::lock_guard guard(mutex);
            if (quit || generation != gen)
                error.clear(); // given up on purpose, not failed
        }
        if (error.isEmpty())
            continue; // settings changed or the end: the loop above decides
        if (connectedAt && SteadyClock::now() - *connectedAt >= kStableConnection)
            retrySeconds = kFirstRetrySeconds;
        const int wait = retrySeconds;
        setStatus([&](StreamStatus& st) {
            st.state = StreamState::Failed;
            st.reason = error;
            st.retryInSeconds = wait;
        });
        // A refused login waits like every failure: no storm of attempts at the server.
        retrySeconds = std::min(retrySeconds * 2, kLastRetrySeconds);
        idle(wait * 1000, gen);
    }
}

StreamConnection::StreamConnection(std::shared_ptr<EncoderStage> stage, double queueSeconds,
                                   const QByteArray& threadName, Changed changed)
    : shared_(std::make_shared<Shared>()) {
    shared_->threadName = threadName.left(15);
    shared_->stage = std::move(stage);
    shared_->queue = std::make_shared<PacketQueue>(queueSeconds);
    shared_->changed = std::move(changed);
    shared_->thread = std::thread([raw = shared_.get()] { raw->run(); });
}

StreamConnection::~StreamConnection() {
    {
        std::lock_guard guard(shared_->mutex);
        shared_->quit = true;
    }
    shared_->abortIo.store(true);
    shared_->wake.notify_all();
    shared_->queue->wake(); // a connection waiting for packets looks at once
    if (shared_->thread.joinable())
        shared_->thread.join();
}

void StreamConnection::configure(const StreamSettings& s, const QString& stationName) {
    {
        std::lock_guard guard(shared_->mutex);
        const QString oldName = shared_->settings.Name.trimmed().isEmpty() ? shared_->stationName
                                                                           : shared_->settings.Name;
        const QString newName = s.Name.trimmed().isEmpty() ? stationName : s.Name;
        if (s == shared_->settings && oldName == newName && shared_->generation > 0)
            return;
        shared_->settings = s;
        shared_->stationName = stationName;
        ++shared_->generation;
        shared_->abortIo.store(true); // a connect or write in progress gives up at once
    }
    shared_->wake.notify_all();
    shared_->queue->wake(); // a connection waiting for packets looks at once
}

void StreamConnection::setTitle(const QString& title) {
    {
        std::lock_guard guard(shared_->mutex);
        if (title == shared_->title)
            return;
        shared_->title = title;
        ++shared_->titleGeneration;
    }
    shared_->wake.notify_all();
    shared_->queue->wake(); // a connection waiting for packets looks at once
}

StreamStatus StreamConnection::status() const {
    std::lock_guard guard(shared_->mutex);
    StreamStatus s = shared_->status;
    s.framesDropped = shared_->queue->framesDropped();
    return s;
}

double StreamConnection::threadCpuSeconds() const {
    clockid_t id;
    {
        std::lock_guard guard(shared_->mutex);
        if (!shared_->cpuClockSet)
            return 0.0;
        id = shared_->cpuClock;
    }
    timespec ts{};
    if (clock_gettime(id, &ts) != 0)
        return 0.0;
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

} // namespace corvalin
