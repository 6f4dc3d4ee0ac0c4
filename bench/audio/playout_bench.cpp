// Playout cost: two decks playing MP3 through the null device with their refill threads and a
// level analysis every 50 ms, for 60 s of audio (or the seconds given): CPU per audio second.

#include "BenchFiles.h"
#include "audio/Analysis.h"
#include "audio/DSPlayer.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <sys/resource.h>
#include <thread>

using namespace corvalin;

namespace {

double selfCpu() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    auto s = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return s(u.ru_utime) + s(u.ru_stime);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    QTemporaryDir dir;
    const QString a = dir.filePath(QStringLiteral("a.mp3")),
                  b = dir.filePath(QStringLiteral("b.mp3"));
    if (!bench::makeMp3(a, seconds + 10, 440) || !bench::makeMp3(b, seconds + 10, 660))
        return 1;
    auto device = SoundDevice::create(QStringLiteral("null"));
    TDSPlayer player1(device), player2(device);
    auto* deck1 = new TDSPlayerChannel(&player1);
    auto* deck2 = new TDSPlayerChannel(&player2);
    deck1->SetFileName(a);
    deck2->SetFileName(b);
    TAnalysis meter1(deck1, 2205, 110), meter2(deck2, 2205, 110);
    const double before = selfCpu();
    const std::uint64_t framesBefore = device->framesMixed();
    deck1->Prepare();
    deck1->Play();
    deck2->Prepare();
    deck2->Play();
    auto next = std::chrono::steady_clock::now();
    float peak = 0;
    while (device->framesMixed() - framesBefore < 44100ull * seconds) {
        next += std::chrono::milliseconds(50);
        std::this_thread::sleep_until(next);
        meter1.Analyse();
        meter2.Analyse();
        peak = std::max({peak, meter1.Levels[0], meter2.Levels[1]});
        QCoreApplication::processEvents();
    }
    const double cpu = selfCpu() - before;
    const double audio = static_cast<double>(device->framesMixed() - framesBefore) / 44100.0;
    std::printf("playout: two MP3 decks + meters every 50 ms, %.1f s of audio: %.3f s CPU, "
                "%.2f %% of one core (goal < 2 %%); meters saw peak %.2f\n",
                audio, cpu, 100.0 * cpu / audio, static_cast<double>(peak));
    return 0;
}
