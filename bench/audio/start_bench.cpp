// Time to start: FileName :=, Prepare, Play on a 5-minute MP3 until its first sample reaches the
// device (the null device's next mixing pass moves the play cursor).

#include "BenchFiles.h"
#include "audio/DSPlayer.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

using namespace corvalin;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString mp3 = dir.filePath(QStringLiteral("song.mp3"));
    if (!bench::makeMp3(mp3, 300))
        return 1;
    auto device = SoundDevice::create(QStringLiteral("null"));
    TDSPlayer player(device);
    auto* deck = new TDSPlayerChannel(&player);
    std::vector<double> calls, heard;
    using Clock = std::chrono::steady_clock;
    for (int i = 0; i < 10; ++i) {
        deck->SetFileName(QString());
        const auto t0 = Clock::now();
        deck->SetFileName(mp3);
        deck->Prepare();
        deck->Play();
        const auto t1 = Clock::now();
        std::uint32_t cursor = 0;
        while (cursor == 0 && Clock::now() - t1 < std::chrono::seconds(2))
            deck->buffer()->GetCurrentPosition(&cursor);
        const auto t2 = Clock::now();
        calls.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
        heard.push_back(std::chrono::duration<double, std::milli>(t2 - t0).count());
        deck->Stop();
    }
    std::sort(calls.begin(), calls.end());
    std::sort(heard.begin(), heard.end());
    std::printf("start 5 min MP3 (10 runs): FileName+Prepare+Play median %.1f ms, max %.1f ms; "
                "first sample at the device median %.1f ms, max %.1f ms (goal < 30 ms; the null "
                "device mixes every 10 ms)\n",
                calls[5], calls.back(), heard[5], heard.back());
    return 0;
}
