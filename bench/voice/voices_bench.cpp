// Prints, for espeak-ng's default voice and each Flite voice, side by side: the time from a
// request to the first sample (worker running), the worker's CPU time per second of speech, and
// intelligibility as the word error rate of a speech recogniser (pocketsphinx_continuous with its
// US English model; sox brings the speech to the recogniser's 16 kHz) on 20 typical talks.

#include "voice/speech/SpeechMarkup.h"
#include "voice/speech/SpeechWorkerClient.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <unistd.h>
#include <vector>

using namespace corvalin;

namespace {

// What the DJ says between songs, numbers in words as the normaliser leaves them.
const char* const kTalks[] = {
    "That was Blue Night from The Rovers.",
    "You are listening to Corvalin Radio.",
    "The time is ten minutes after three in the afternoon.",
    "Outside it is sunny and seventy two degrees.",
    "Coming up next is Night Train by Mara Quill.",
    "In the news today the city council approved a new park.",
    "Here is a public service announcement.",
    "The library opens late on Thursdays this month.",
    "Tonight it will be cloudy with a chance of rain.",
    "That was Summer Wind from The Harbor Lights.",
    "It is half past seven in the morning.",
    "The weather tomorrow is cold and windy.",
    "Stay tuned for more music all day long.",
    "Here is Golden Road by the River Band.",
    "The mayor will open the new bridge on Monday.",
    "Good evening and thank you for listening.",
    "The temperature is fifty degrees and falling.",
    "Next up a song from the Silver Stars.",
    "Traffic is heavy on the main street downtown.",
    "It is a quarter to nine on a quiet Sunday.",
};

struct Voice {
    const char* label;
    QByteArray id;
};

class Collector {
public:
    explicit Collector(const QString& worker)
        : client_({worker, {}, 4000, 0}, [this] {
              std::lock_guard lock(mutex_);
              ++wakes_;
              cv_.notify_all();
          }) {}
    SpeechWorkerClient& client() { return client_; }
    // All of one utterance; `firstMs` the time to its first sample.
    SpeechArrivals speak(const QByteArray& voice, const QByteArray& ssml, double* firstMs) {
        QElapsedTimer t;
        t.start();
        const auto id = client_.speak(voice, ssml);
        SpeechArrivals all;
        *firstMs = -1;
        std::unique_lock lock(mutex_);
        while (!all.finished) {
            const int seen = wakes_;
            client_.take(id, all);
            if (*firstMs < 0 && !all.pcm.empty()) {
                *firstMs = double(t.nsecsElapsed()) / 1e6;
            }
            if (!all.finished) {
                cv_.wait_for(lock, std::chrono::milliseconds(20), [&] { return wakes_ != seen; });
            }
        }
        return all;
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    int wakes_ = 0;
    SpeechWorkerClient client_;
};

// The process's user and system CPU time in seconds.
double cpuSeconds(pid_t pid) {
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) {
        return 0;
    }
    const QByteArray line = f.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13) {
        return 0;
    }
    return double(fields[11].toLongLong() + fields[12].toLongLong()) /
           double(::sysconf(_SC_CLK_TCK));
}

bool writeWav(const QString& path, const std::vector<std::int16_t>& pcm, int rate) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) {
        return false;
    }
    QDataStream out(&f);
    out.setByteOrder(QDataStream::LittleEndian);
    const auto bytes = quint32(pcm.size() * 2);
    out.writeRawData("RIFF", 4);
    out << quint32(36 + bytes);
    out.writeRawData("WAVEfmt ", 8);
    out << quint32(16) << quint16(1) << quint16(1) << quint32(rate) << quint32(rate * 2)
        << quint16(2) << quint16(16);
    out.writeRawData("data", 4);
    out << bytes;
    out.writeRawData(reinterpret_cast<const char*>(pcm.data()), int(bytes));
    return true;
}

QStringList words(const QString& text) {
    static const QRegularExpression nonWord(QStringLiteral("[^a-z' ]"));
    return text.toLower()
        .replace(nonWord, QStringLiteral(" "))
        .split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

// Word-level edit distance.
int editDistance(const QStringList& ref, const QStringList& hyp) {
    std::vector<int> row(std::size_t(hyp.size()) + 1);
    for (std::size_t j = 0; j < row.size(); ++j) {
        row[j] = int(j);
    }
    for (qsizetype i = 1; i <= ref.size(); ++i) {
        int diagonal = row[0];
        row[0] = int(i);
        for (qsizetype j = 1; j <= hyp.size(); ++j) {
            const int up = row[std::size_t(j)];
            row[std::size_t(j)] = std::min({up + 1, row[std::size_t(j - 1)] + 1,
                                            diagonal + (ref[i - 1] == hyp[j - 1] ? 0 : 1)});
            diagonal = up;
        }
    }
    return row.back();
}

// What the recogniser heard in a 16 kHz WAV file.
QString recognise(const QString& wav) {
    QProcess p;
    p.start(
        QStringLiteral("pocketsphinx_continuous"),
        {QStringLiteral("-infile"), wav, QStringLiteral("-logfn"), QStringLiteral("/dev/null")});
    p.waitForFinished(120000);
    return QString::fromUtf8(p.readAllStandardOutput()).simplified();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QString worker = QString::fromUtf8(CORVALIN_WORKER_PROGRAM);
    const std::vector<Voice> voices{
        {"espeak-ng default (en)", "gmw/en"},
        {"espeak-ng station default (en-US+m1)", "gmw/en-US+m1"},
        {"Flite slt", "flite:slt"},
        {"Flite rms", "flite:rms"},
        {"Flite awb", "flite:awb"},
        {"Flite kal16", "flite:kal16"},
    };
    const bool haveRecogniser =
        !QStandardPaths::findExecutable(QStringLiteral("pocketsphinx_continuous")).isEmpty() &&
        !QStandardPaths::findExecutable(QStringLiteral("sox")).isEmpty();
    if (!haveRecogniser) {
        std::printf("word error rate not measured: pocketsphinx_continuous or sox is missing "
                    "(apt-get install pocketsphinx pocketsphinx-en-us sox)\n");
    }
    QTemporaryDir dir;
    std::printf("%-38s %12s %12s %12s %10s\n", "voice", "first ms", "max first ms", "CPU s per s",
                "WER %");
    for (const Voice& v : voices) {
        Collector c(worker);
        double first = 0;
        c.speak(v.id, taggedTextToSsml("Warm up.").ssml, &first); // loads the voice
        const pid_t pid = c.client().workerPid();
        const double cpuBefore = cpuSeconds(pid);
        double speechSeconds = 0;
        std::vector<double> firsts;
        int errors = 0;
        int refWords = 0;
        int n = 0;
        for (const char* talk : kTalks) {
            const SpeechArrivals a = c.speak(v.id, taggedTextToSsml(talk).ssml, &first);
            firsts.push_back(first);
            speechSeconds += double(a.pcm.size()) / std::max(1, a.sampleRate);
            if (!haveRecogniser) {
                continue;
            }
            const QString raw = dir.filePath(QStringLiteral("raw%1.wav").arg(n));
            const QString wav = dir.filePath(QStringLiteral("talk%1.wav").arg(n++));
            writeWav(raw, a.pcm, a.sampleRate);
            QProcess::execute(QStringLiteral("sox"),
                              {raw, QStringLiteral("-r"), QStringLiteral("16000"), wav});
            const QStringList ref = words(QString::fromUtf8(talk));
            errors += editDistance(ref, words(recognise(wav)));
            refWords += int(ref.size());
        }
        const double cpu = cpuSeconds(pid) - cpuBefore;
        const QString wer = haveRecogniser && refWords > 0
                                ? QString::number(100.0 * errors / refWords, 'f', 1)
                                : QStringLiteral("-");
        std::printf("%-38s %12.1f %12.1f %12.3f %10s\n", v.label, median(firsts),
                    *std::max_element(firsts.begin(), firsts.end()),
                    speechSeconds > 0 ? cpu / speechSeconds : 0.0, wer.toUtf8().constData());
        std::fflush(stdout);
    }
    std::printf("(%zu talks each; first sample: median and worst, worker running)\n",
                std::size(kTalks));
    return 0;
}
