// Prints the figures of one measured run of the station from its mixed recording (16-bit stereo
// WAV, time 0 = audio device created) and its event trace (CORVALIN_TRACE):
//   - time from start to the window shown;
//   - silence at each song change with no talk between the two songs;
//   - deck start latency (song-start to first sound) on those changes;
//   - bookmark to next song-start after each talk, and the song's first sound after it;
//   - number of songs and talks.
//
//   bench_station_report RECORDING.wav TRACE.txt
//
// Exit status: 0 with every figure printed, 1 when a figure could not be measured (the run was
// too short or the trace lacks an event), 2 when an input is missing or unreadable.

#include <QFile>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

namespace {

constexpr int kBlockMs = 10;
constexpr double kThresholdDb = -50.0;
constexpr qint64 kGapBeforeMs = 8000; // silence window before the next song-start
constexpr qint64 kGapAfterMs = 3000;  // and after it
// The trace and the recording agree to within tens of ms, and a deck may still be emptying its
// buffer when the next one starts: a sound already going at song-start that stops within this
// long is the previous song's tail, not the new song.
constexpr qint64 kTailSlackMs = 500;
// How long after song-start the new song's first sound is looked for.
constexpr qint64 kFirstSoundSearchMs = 10000;

// The recording reduced to one flag per 10 ms block: louder than the threshold on a channel.
struct Recording {
    int sampleRate = 0;
    qint64 frames = 0;
    std::vector<bool> loud;
    qint64 durationMs() const { return sampleRate > 0 ? frames * 1000 / sampleRate : 0; }
};

std::uint32_t le32(const uchar* p) {
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
           (std::uint32_t(p[3]) << 24);
}
std::uint16_t le16(const uchar* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::optional<Recording> readRecording(const QString& path, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error =
            QStringLiteral("cannot open the recording \"%1\": %2").arg(path, file.errorString());
        return std::nullopt;
    }
    const qint64 size = file.size();
    const uchar* data = size > 0 ? file.map(0, size) : nullptr;
    if (size < 12 || !data || std::memcmp(data, "RIFF", 4) != 0 ||
        std::memcmp(data + 8, "WAVE", 4) != 0) {
        *error = QStringLiteral("\"%1\" is not a WAV file (%2 bytes)").arg(path).arg(size);
        return std::nullopt;
    }
    int channels = 0;
    int bits = 0;
    int format = 0;
    Recording rec;
    qint64 pos = 12;
    qint64 dataStart = -1;
    qint64 dataBytes = 0;
    while (pos + 8 <= size) {
        const uchar* chunk = data + pos;
        const qint64 chunkSize = le32(chunk + 4);
        if (std::memcmp(chunk, "fmt ", 4) == 0 && pos + 8 + 16 <= size) {
            format = le16(chunk + 8);
            channels = le16(chunk + 10);
            rec.sampleRate = static_cast<int>(le32(chunk + 12));
            bits = le16(chunk + 22);
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            dataStart = pos + 8;
            // A writer that never finished leaves 0 or 0xFFFFFFFF here: take what is there.
            const qint64 available = size - dataStart;
            dataBytes = (chunkSize == 0 || chunkSize > available) ? available : chunkSize;
            break;
        }
        pos += 8 + chunkSize + (chunkSize & 1);
    }
    if (format != 1 || channels != 2 || bits != 16 || rec.sampleRate < 100) {
        *error = QStringLiteral("\"%1\" is not 16-bit stereo PCM (format %2, %3 channels, %4 bits, "
                                "%5 Hz)")
                     .arg(path)
                     .arg(format)
                     .arg(channels)
                     .arg(bits)
                     .arg(rec.sampleRate);
        return std::nullopt;
    }
    if (dataStart < 0) {
        *error = QStringLiteral("\"%1\" has no data chunk").arg(path);
        return std::nullopt;
    }
    rec.frames = dataBytes / 4;
    const qint64 blockFrames = rec.sampleRate * kBlockMs / 1000;
    const double threshold = 32768.0 * std::pow(10.0, kThresholdDb / 20.0);
    const uchar* samples = data + dataStart;
    for (qint64 first = 0; first + blockFrames <= rec.frames; first += blockFrames) {
        int peak = 0;
        for (qint64 f = first; f < first + blockFrames; ++f) {
            for (int ch = 0; ch < 2; ++ch) {
                const auto v = static_cast<std::int16_t>(le16(samples + f * 4 + ch * 2));
                peak = std::max(peak, std::abs(int(v)));
            }
        }
        rec.loud.push_back(peak >= threshold);
    }
    if (rec.loud.empty()) {
        *error = QStringLiteral("the recording \"%1\" holds no audio").arg(path);
        return std::nullopt;
    }
    return rec;
}

struct Event {
    int line = 0;
    qint64 ms = 0;      // since process start
    qint64 audioMs = 0; // since the audio device was created, -1 before
    QString name;
    int player = 0;
    QString detail;
};

std::optional<std::vector<Event>> readTrace(const QString& path, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot open the trace \"%1\": %2").arg(path, file.errorString());
        return std::nullopt;
    }
    std::vector<Event> events;
    int lineNo = 0;
    while (!file.atEnd()) {
        ++lineNo;
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.isEmpty())
            continue;
        const QStringList parts = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        Event e;
        e.line = lineNo;
        bool okMs = false;
        bool okAudio = false;
        if (parts.size() >= 3) {
            e.ms = parts[0].toLongLong(&okMs);
            e.audioMs = parts[1].toLongLong(&okAudio);
            e.name = parts[2];
        }
        if (!okMs || !okAudio) {
            // The last line of a run that was killed may be cut short.
            std::fprintf(stderr, "trace line %d ignored: %s\n", lineNo, qPrintable(line));
            continue;
        }
        if (e.name == QLatin1String("song-start") || e.name == QLatin1String("song-end")) {
            bool okPlayer = false;
            e.player = parts.size() >= 4 ? parts[3].toInt(&okPlayer) : 0;
            if (!okPlayer) {
                std::fprintf(stderr, "trace line %d ignored (no player): %s\n", lineNo,
                             qPrintable(line));
                continue;
            }
            e.detail = parts.mid(4).join(QLatin1Char(' '));
        }
        events.push_back(e);
    }
    if (events.empty()) {
        *error = QStringLiteral("the trace \"%1\" holds no events").arg(path);
        return std::nullopt;
    }
    return events;
}

struct Stats {
    double min = 0, median = 0, max = 0;
};

Stats stats(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    const double median = n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2.0;
    return {v.front(), median, v.back()};
}

void printStats(const char* what, const std::vector<double>& v) {
    if (v.empty()) {
        std::printf("%s: none measured\n", what);
        return;
    }
    const Stats s = stats(v);
    std::printf("%s: n=%zu  min %.0f  median %.0f  max %.0f ms\n", what, v.size(), s.min, s.median,
                s.max);
}

// Longest run of quiet blocks in [fromMs, toMs), in ms.
qint64 longestSilence(const Recording& rec, qint64 fromMs, qint64 toMs) {
    const qint64 first = std::max<qint64>(0, fromMs / kBlockMs);
    const qint64 end = std::min<qint64>(qint64(rec.loud.size()), toMs / kBlockMs);
    qint64 best = 0;
    qint64 run = 0;
    for (qint64 b = first; b < end; ++b) {
        run = rec.loud[std::size_t(b)] ? 0 : run + 1;
        best = std::max(best, run);
    }
    return best * kBlockMs;
}

// Time from `startMs` to the first loud block that belongs to the song started then, or nothing
// when no sound follows within the search time.
std::optional<qint64> firstSoundAfter(const Recording& rec, qint64 startMs) {
    const auto blocks = qint64(rec.loud.size());
    const auto isLoud = [&](qint64 b) { return b >= 0 && b < blocks && rec.loud[std::size_t(b)]; };
    qint64 b = startMs / kBlockMs;
    if (isLoud(b) && isLoud(b - 1)) {
        // A sound already going: skip it if it stops soon (the previous song's tail).
        qint64 q = b;
        while (q < blocks && isLoud(q) && (q * kBlockMs - startMs) <= kTailSlackMs)
            ++q;
        if (q < blocks && !isLoud(q))
            b = q;
    }
    const qint64 last = std::min(blocks, (startMs + kFirstSoundSearchMs) / kBlockMs);
    for (; b < last; ++b) {
        if (isLoud(b))
            return std::max<qint64>(0, b * kBlockMs - startMs);
    }
    return std::nullopt;
}

QString fileName(const QString& path) {
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s RECORDING.wav TRACE.txt\n", argv[0]);
        return 2;
    }
    QString error;
    const auto rec = readRecording(QString::fromLocal8Bit(argv[1]), &error);
    if (!rec) {
        std::fprintf(stderr, "bench_station_report: %s\n", qPrintable(error));
        return 2;
    }
    const auto trace = readTrace(QString::fromLocal8Bit(argv[2]), &error);
    if (!trace) {
        std::fprintf(stderr, "bench_station_report: %s\n", qPrintable(error));
        return 2;
    }
    bool complete = true;

    std::printf("recording: %.1f s at %d Hz; threshold %.0f dBFS peak in %d ms blocks\n",
                double(rec->durationMs()) / 1000.0, rec->sampleRate, kThresholdDb, kBlockMs);

    const auto shown = std::find_if(trace->begin(), trace->end(), [](const Event& e) {
        return e.name == QLatin1String("window-shown");
    });
    if (shown != trace->end()) {
        std::printf("start to window shown: %lld ms\n", shown->ms);
    } else {
        std::printf("start to window shown: no window-shown in the trace\n");
        complete = false;
    }

    int songs = 0;
    int talks = 0;
    int talksWithoutBookmark = 0;
    int talksWithoutSong = 0;
    bool bookmarkInTalk = false;
    bool voiceSincePreviousSong = false;
    bool havePreviousSong = false;
    std::optional<qint64> pendingBookmark;
    std::vector<double> gaps;
    std::vector<double> deckLatencies;
    std::vector<double> bookmarkDelays;
    double longestGap = -1;
    QString longestGapAt;
    int unmeasuredChanges = 0;

    std::printf("silence at talk-free song changes (longest quiet run from %lld s before to %lld s "
                "after the start):\n",
                kGapBeforeMs / 1000, kGapAfterMs / 1000);
    for (const Event& e : *trace) {
        if (e.name == QLatin1String("talk-start")) {
            ++talks;
            voiceSincePreviousSong = true;
            if (pendingBookmark)
                ++talksWithoutSong; // the previous talk's song never started
            pendingBookmark.reset();
            bookmarkInTalk = false;
        } else if (e.name == QLatin1String("voice-test-start")) {
            voiceSincePreviousSong = true;
        } else if (e.name == QLatin1String("bookmark")) {
            pendingBookmark = e.ms;
            bookmarkInTalk = true;
        } else if (e.name == QLatin1String("talk-end")) {
            if (!bookmarkInTalk)
                ++talksWithoutBookmark;
        } else if (e.name == QLatin1String("song-start")) {
            ++songs;
            if (pendingBookmark) {
                bookmarkDelays.push_back(double(e.ms - *pendingBookmark));
                pendingBookmark.reset();
            }
            const bool talkFree = havePreviousSong && !voiceSincePreviousSong;
            havePreviousSong = true;
            voiceSincePreviousSong = false;
            if (!talkFree)
                continue;
            const QString at = QStringLiteral("song %1 (player %2, %3) at %4 s")
                                   .arg(songs)
                                   .arg(e.player)
                                   .arg(fileName(e.detail))
                                   .arg(double(e.audioMs) / 1000.0, 0, 'f', 2);
            if (e.audioMs < 0 || e.audioMs + kGapAfterMs > rec->durationMs()) {
                std::printf("  %s: not measured (%s)\n", qPrintable(at),
                            e.audioMs < 0 ? "no audio time" : "recording ends too soon");
                ++unmeasuredChanges;
                continue;
            }
            const auto gap =
                double(longestSilence(*rec, e.audioMs - kGapBeforeMs, e.audioMs + kGapAfterMs));
            gaps.push_back(gap);
            if (gap > longestGap) {
                longestGap = gap;
                longestGapAt = at;
            }
            const auto latency = firstSoundAfter(*rec, e.audioMs);
            if (latency)
                deckLatencies.push_back(double(*latency));
            std::printf("  %s: silence %.0f ms, first sound after %s\n", qPrintable(at), gap,
                        latency ? qPrintable(QStringLiteral("%1 ms").arg(*latency))
                                : "none within 10 s");
        }
    }
    if (gaps.empty()) {
        std::printf("  none measured\n");
        complete = false;
    } else {
        std::printf("longest silence at a song change: %.0f ms (%s)\n", longestGap,
                    qPrintable(longestGapAt));
    }
    if (unmeasuredChanges > 0)
        std::printf("(%d change(s) too close to the end of the recording)\n", unmeasuredChanges);

    printStats("deck start latency (song-start to first sound, talk-free changes)", deckLatencies);
    printStats("talk bookmark to next song-start", bookmarkDelays);
    if (!bookmarkDelays.empty() && !deckLatencies.empty()) {
        const double latency = stats(deckLatencies).median;
        std::vector<double> firstSound;
        for (double d : bookmarkDelays)
            firstSound.push_back(d + latency);
        std::printf("song-start to first sound after a talk: %.0f ms (median deck start latency; "
                    "the DJ voice hides the song's own start)\n",
                    latency);
        printStats("talk bookmark to the song's first sound (estimated)", firstSound);
    } else if (!bookmarkDelays.empty()) {
        std::printf("song-start to first sound after a talk: not estimated (no talk-free change "
                    "measured)\n");
        complete = false;
    }
    if (pendingBookmark)
        ++talksWithoutSong;
    std::printf("songs started: %d  talks: %d", songs, talks);
    if (talksWithoutBookmark > 0)
        std::printf("  (%d without a bookmark)", talksWithoutBookmark);
    if (talksWithoutSong > 0)
        std::printf("  (%d with no song after the bookmark)", talksWithoutSong);
    std::printf("\n");
    if (songs == 0)
        complete = false;
    return complete ? 0 : 1;
}
