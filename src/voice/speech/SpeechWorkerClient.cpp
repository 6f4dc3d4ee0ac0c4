#include "voice/speech/SpeechWorkerClient.h"

#include "voice/speech/SpeechWorkerProtocol.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace corvalin {

namespace sw = speechworker;

namespace {
constexpr int kPollMs = 100;
}

SpeechWorkerClient::SpeechWorkerClient(Options options, std::function<void()> wake)
    : options_(std::move(options)), wake_(std::move(wake)) {}

SpeechWorkerClient::~SpeechWorkerClient() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    if (reader_.joinable()) {
        reader_.join();
    }
}

void SpeechWorkerClient::warmUp() {
    ensureWorker();
}

bool SpeechWorkerClient::ensureWorker() {
    {
        std::lock_guard lock(mutex_);
        if (!workerDead_) {
            return true;
        }
    }
    if (reader_.joinable()) {
        reader_.join();
    }
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) {
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);

    std::vector<std::string> env;
    for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
        if (std::string_view(*e).starts_with(std::string(sw::kFaultVariable) + "=")) {
            continue;
        }
        env.emplace_back(*e);
    }
    if (!options_.fault.isEmpty()) {
        env.push_back(std::string(sw::kFaultVariable) + "=" + options_.fault.toStdString());
    }
    std::vector<char*> envp;
    for (auto& e : env) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);
    std::string program = options_.program.toStdString();
    char* argv[] = {program.data(), nullptr};

    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (rc != 0) {
        ::close(fds[0]);
        return false;
    }
    {
        std::lock_guard lock(mutex_);
        fd_ = fds[0];
        pid_ = pid;
        workerDead_ = false;
        lastActivity_ = std::chrono::steady_clock::now();
    }
    reader_ = std::thread([this, fd = fds[0], pid] { readLoop(fd, pid); });
    return true;
}

bool SpeechWorkerClient::sendFrame(std::uint32_t type, std::uint32_t utterance,
                                   const std::string& payload) {
    // Called with mutex_ held. Requests are small; the reader thread keeps draining the other way,
    // so this cannot block for long.
    if (workerDead_ || fd_ < 0) {
        return false;
    }
    const std::string frame = sw::encodeFrame(type, utterance, payload);
    return sw::transferAll(frame.size(), [&](std::size_t done) {
        return ::send(fd_, frame.data() + done, frame.size() - done, MSG_NOSIGNAL);
    });
}

void SpeechWorkerClient::finishCurrentLocked() {
    currentFinished_ = true;
    pending_.finished = true;
}

std::uint32_t SpeechWorkerClient::speak(const QByteArray& voiceId, const QByteArray& ssml) {
    const bool running = ensureWorker();
    std::lock_guard lock(mutex_);
    ++current_;
    currentFinished_ = false;
    currentSamples_ = 0;
    pending_ = SpeechArrivals{};
    pending_.sampleRate = sampleRate_;
    lastActivity_ = std::chrono::steady_clock::now();
    if (!running ||
        !sendFrame(sw::kSpeak, current_,
                   sw::speakPayload(std::string_view(voiceId.constData(), voiceId.size()),
                                    std::string_view(ssml.constData(), ssml.size())))) {
        finishCurrentLocked();
    }
    return current_;
}

void SpeechWorkerClient::cancel() {
    std::lock_guard lock(mutex_);
    if (!currentFinished_) {
        sendFrame(sw::kCancel, current_, {});
    }
    ++current_; // whatever still comes belongs to no utterance
    currentFinished_ = true;
    pending_ = SpeechArrivals{};
}

void SpeechWorkerClient::take(std::uint32_t utterance, SpeechArrivals& into) {
    std::lock_guard lock(mutex_);
    into.sampleRate = sampleRate_;
    if (utterance != current_) {
        into.finished = true;
        return;
    }
    into.pcm.insert(into.pcm.end(), pending_.pcm.begin(), pending_.pcm.end());
    into.events.insert(into.events.end(), pending_.events.begin(), pending_.events.end());
    into.finished = into.finished || pending_.finished;
    pending_.pcm.clear();
    pending_.events.clear();
}

pid_t SpeechWorkerClient::workerPid() const {
    std::lock_guard lock(mutex_);
    return workerDead_ ? -1 : pid_;
}

void SpeechWorkerClient::readLoop(int fd, pid_t pid) {
    sw::FrameReader reader;
    std::vector<char> buffer(1 << 16);
    const auto maxSamples = options_.maxSamples;
    bool broken = false;
    const auto stall = std::chrono::milliseconds(options_.stallTimeoutMs);
    for (;;) {
        int waitMs = kPollMs;
        {
            std::lock_guard lock(mutex_);
            if (stopping_) {
                break;
            }
            if (!currentFinished_) {
                // Waking at the deadline itself: a hung worker is dead air on the station.
                const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    lastActivity_ + stall - std::chrono::steady_clock::now());
                if (left.count() < 0) {
                    broken = true; // hung (stopped, or stuck in the engine)
                    break;
                }
                waitMs = int(std::min<std::int64_t>(kPollMs, left.count() + 1));
            }
        }
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, waitMs);
        if (ready < 0 && errno != EINTR) {
            broken = true;
            break;
        }
        if (ready <= 0) {
            continue;
        }
        const ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            broken = true; // the worker has gone
            break;
        }
        reader.append(buffer.data(), std::size_t(n));
        bool woke = false;
        {
            std::lock_guard lock(mutex_);
            lastActivity_ = std::chrono::steady_clock::now();
            sw::Frame f;
            while (reader.next(f)) {
                if (f.type == sw::kHello) {
                    sampleRate_ = int(sw::readU32(f.payload, 0));
                    pending_.sampleRate = sampleRate_;
                    if (sampleRate_ <= 0) {
                        broken = true;
                    }
                    continue;
                }
                if (f.utterance != current_ || currentFinished_) {
                    continue; // a cancelled utterance's tail
                }
                if (f.type == sw::kAudio) {
                    const std::size_t count = f.payload.size() / 2;
                    const auto* samples = reinterpret_cast<const std::int16_t*>(f.payload.data());
                    pending_.pcm.insert(pending_.pcm.end(), samples, samples + count);
                    currentSamples_ += count;
                    const std::uint64_t limit =
                        maxSamples != 0 ? maxSamples
                                        : std::uint64_t(15 * 60) * std::uint64_t(sampleRate_);
                    if (currentSamples_ > limit) {
                        sendFrame(sw::kCancel, current_, {});
                        finishCurrentLocked();
                    }
                } else if (f.type == sw::kEvent) {
                    const std::uint32_t kind = sw::readU32(f.payload, 0);
                    SpeechEvent e;
                    e.kind = kind == sw::kMarkEvent ? SpeechEvent::Mark : SpeechEvent::Word;
                    e.sample = sw::readU64(f.payload, 4);
                    e.value = sw::readU32(f.payload, 12);
                    pending_.events.push_back(e);
                } else if (f.type == sw::kDone) {
                    finishCurrentLocked();
                }
                woke = true;
            }
            if (reader.failed()) {
                broken = true;
            }
        }
        if (woke && wake_) {
            wake_();
        }
        if (broken) {
            break;
        }
    }
    ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    bool woke = false;
    {
        std::lock_guard lock(mutex_);
        ::close(fd);
        fd_ = -1;
        workerDead_ = true;
        if (!currentFinished_) {
            finishCurrentLocked();
            woke = true;
        }
    }
    if (woke && broken && wake_) {
        wake_();
    }
}

} // namespace corvalin
