// Decoding speed: our reader against `ffmpeg -threads 1 -f null -` on the same 5-minute
// 192 kbit/s MP3, CPU time of each and their ratio.

#include "BenchFiles.h"
#include "audio/DSAudioFileRead.h"

#include <QTemporaryDir>
#include <cstdio>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace corvalin;

namespace {

double seconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

double selfCpu() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return seconds(u.ru_utime) + seconds(u.ru_stime);
}

// CPU seconds of one `ffmpeg -threads 1 -i file -f null -` run.
double ffmpegCpu(const QByteArray& file) {
    const pid_t pid = fork();
    if (pid == 0) {
        execlp("ffmpeg", "ffmpeg", "-v", "error", "-threads", "1", "-i", file.constData(), "-f",
               "null", "-", static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage u{};
    wait4(pid, &status, 0, &u);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return seconds(u.ru_utime) + seconds(u.ru_stime);
}

} // namespace

int main() {
    QTemporaryDir dir;
    const QString mp3 = dir.filePath(QStringLiteral("song.mp3"));
    if (!bench::makeMp3(mp3, 300))
        return 1;
    const int rounds = 3;
    double ours = 1e9, theirs = 1e9;
    std::uint64_t bytes = 0;
    for (int r = 0; r < rounds; ++r) {
        const double before = selfCpu();
        TDSAudioFileReader reader(mp3);
        std::vector<char> buffer(reader.Format().nAvgBytesPerSec * 4 / 10); // one refill
        bytes = 0;
        while (const std::uint32_t n =
                   reader.Read(buffer.data(), static_cast<std::uint32_t>(buffer.size())))
            bytes += n;
        ours = std::min(ours, selfCpu() - before);
        theirs = std::min(theirs, ffmpegCpu(QFile::encodeName(mp3)));
    }
    std::printf("decode 5 min MP3 192k (best of %d): ours %.3f s CPU (%.1f s of audio), "
                "ffmpeg -threads 1 -f null %.3f s CPU, ratio %.3f (goal <= 1.1)\n",
                rounds, ours, static_cast<double>(bytes) / (44100.0 * 4), theirs, ours / theirs);

    // Seeking: each seek decodes from half a second before its target, and a rewind at the end
    // of the data stays in the open file. Both run under the decks' shared lock.
    {
        TDSAudioFileReader reader(mp3);
        std::vector<char> buffer(reader.Format().nAvgBytesPerSec * 4 / 10);
        const int seeks = 40;
        const double before = selfCpu();
        for (int i = 0; i < seeks; ++i) {
            reader.Seek(MediaTime{(i * 7919) % 290} * 10000000 + 1234567);
            reader.Read(buffer.data(), static_cast<std::uint32_t>(buffer.size()));
        }
        const double seek = (selfCpu() - before) / seeks;
        const double rewindStart = selfCpu();
        for (int i = 0; i < seeks; ++i) {
            reader.Seek(0);
            reader.Read(buffer.data(), static_cast<std::uint32_t>(buffer.size()));
            reader.Seek(MediaTime{2990000000});
        }
        const double rewind = (selfCpu() - rewindStart) / seeks;
        std::printf("seek and read 400 ms: %.2f ms CPU each; rewind from the end and read 400 ms "
                    "(with one seek near the end): %.2f ms CPU each\n",
                    seek * 1000, rewind * 1000);
    }
    return 0;
}
