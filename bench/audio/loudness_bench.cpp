// Even loudness, what it costs:
//
// 1. Measuring: CPU per minute of audio of measureSongLoudness (decode with our reader, EBU R128
//    integrated loudness and true peak through libebur128) against `ffmpeg -threads 1 -i FILE
//    -af ebur128 -f null -` (integrated loudness only, its default) and with `peak=true` (the same
//    work as ours), each a whole process measured by its own CPU time; the ratio ours / FFmpeg.
// 2. A whole list: how long until `songs` songs of `seconds` each are measured by the background
//    scanner (idle priority) while two decks play on the "null" device in real time, the
//    scanner's CPU, and the CPU the station (decks, refill threads, mixer) used meanwhile.
//
//   bench_audio_loudness_bench [songs=1000] [seconds=30] [long seconds=180]

#include "BenchFiles.h"
#include "audio/DSPlayer.h"
#include "audio/LoudnessScanner.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace corvalin;

namespace {

double cpuSeconds(int who) {
    rusage u{};
    getrusage(who, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double threadCpu() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// CPU seconds of one ffmpeg run over the file with the given filter.
double ffmpegCpu(const QString& file, const char* filter) {
    const double before = cpuSeconds(RUSAGE_CHILDREN);
    const pid_t pid = fork();
    if (pid == 0) {
        const QByteArray f = QFile::encodeName(file);
        execlp("ffmpeg", "ffmpeg", "-v", "quiet", "-threads", "1", "-i", f.constData(), "-af",
               filter, "-f", "null", "-", static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return cpuSeconds(RUSAGE_CHILDREN) - before;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int songs = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 30;
    const int longSeconds = argc > 3 ? std::atoi(argv[3]) : 180;
    QTemporaryDir dir;
    const QString longFile = dir.filePath(QStringLiteral("long.mp3"));
    if (!bench::makeMp3(longFile, longSeconds))
        return 1;

    // 1. Measuring, best of 3.
    double ours = 1e9, theirs = 1e9, theirsPeak = 1e9;
    for (int round = 0; round < 3; ++round) {
        const double t0 = threadCpu();
        const auto info = measureSongLoudness(longFile);
        ours = std::min(ours, threadCpu() - t0);
        if (!info)
            return 1;
        theirs = std::min(theirs, ffmpegCpu(longFile, "ebur128"));
        theirsPeak = std::min(theirsPeak, ffmpegCpu(longFile, "ebur128=peak=true"));
    }
    const double minutes = longSeconds / 60.0;
    std::printf("measure %d s MP3 192k: ours %.3f s CPU per audio minute, ffmpeg ebur128 %.3f "
                "(ratio %.2f), ffmpeg ebur128=peak=true %.3f (ratio %.2f)\n",
                longSeconds, ours / minutes, theirs / minutes, ours / theirs, theirsPeak / minutes,
                ours / theirsPeak);

    // 2. A list measured in the background while two decks play.
    const QString one = dir.filePath(QStringLiteral("song.mp3"));
    if (!bench::makeMp3(one, seconds))
        return 1;
    QStringList list;
    for (int i = 0; i < songs; ++i) {
        const QString path = dir.filePath(QStringLiteral("%1.mp3").arg(i, 4, 10, QLatin1Char('0')));
        if (!QFile::copy(one, path))
            return 1;
        list.append(path);
    }
    auto device = SoundDevice::create(QStringLiteral("null"));
    TDSPlayer player1(device), player2(device);
    auto* deck1 = new TDSPlayerChannel(&player1);
    auto* deck2 = new TDSPlayerChannel(&player2);
    for (auto* deck : {deck1, deck2}) {
        deck->SetFileName(longFile);
        deck->Prepare();
        deck->Play();
    }
    std::atomic<double> scannerCpu{0.0};
    LoudnessScanner::Options options;
    options.cacheFile = dir.filePath(QStringLiteral("loudness.json"));
    options.measure = [&scannerCpu](const QString& file, const std::atomic<bool>& stop) {
        const double t0 = threadCpu();
        auto r = measureSongLoudness(file, &stop);
        scannerCpu = scannerCpu + (threadCpu() - t0);
        return r;
    };
    const double cpu0 = cpuSeconds(RUSAGE_SELF);
    QElapsedTimer wall;
    wall.start();
    LoudnessScanner scanner(options);
    scanner.setWanted(list.first(), list);
    while (scanner.measuredCount() < songs) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        QCoreApplication::processEvents();
        if (wall.elapsed() > 6LL * 3600 * 1000)
            break;
    }
    const double elapsed = double(wall.elapsed()) / 1000.0;
    const double total = cpuSeconds(RUSAGE_SELF) - cpu0;
    const double station = total - scannerCpu;
    std::printf("list of %d songs x %d s measured in the background in %.1f s wall (%.1f songs/s, "
                "%.0f x real time); scanner CPU %.1f s; station CPU meanwhile %.1f s (%.1f %% of "
                "one core)\n",
                scanner.measuredCount(), seconds, elapsed, scanner.measuredCount() / elapsed,
                songs * double(seconds) / elapsed, scannerCpu.load(), station,
                100.0 * station / elapsed);
    return scanner.measuredCount() == songs ? 0 : 1;
}
