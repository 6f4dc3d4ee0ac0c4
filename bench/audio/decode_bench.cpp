// Decoding cost, ours against FFmpeg, compared like with like, for a 192 kbit/s stereo, a
// 320 kbit/s stereo and a 64 kbit/s mono MP3:
//
// - decode loops after open, in this process: TDSAudioFileReader's Read loop against FFmpeg's
//   own loop (av_read_frame, avcodec_send_packet / receive_frame, swr_convert to interleaved
//   16-bit, as `ffmpeg -f null` delivers to its null muxer), CPU per second of audio; and the
//   fixed cost of opening a file, each side's open only;
// - whole processes: a child of this program that opens the file with TDSAudioFileReader and
//   reads it to the end, against `ffmpeg -threads 1 -i FILE -f null -`, each measured on a short
//   and a long file: the slope is the cost per second of audio, the rest the fixed cost (start-up
//   and open).
//
//   bench_audio_decode_bench [rounds=3] [long seconds=180]
//   bench_audio_decode_bench --decode FILE   (the child: decodes FILE with our reader)
//
// Every figure is the best of `rounds`; the goal is a loop ratio of at most 1.1.

#include "BenchFiles.h"
#include "audio/DSAudioFileRead.h"

#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

using namespace corvalin;

namespace {

double cpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

double seconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

// CPU seconds (user + system) of a child running `argv`; negative when it failed.
double childCpu(const std::vector<const char*>& argv) {
    std::vector<char*> args;
    for (const char* a : argv)
        args.push_back(const_cast<char*>(a));
    args.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    rusage u{};
    if (pid < 0 || wait4(pid, &status, 0, &u) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0)
        return -1;
    return seconds(u.ru_utime) + seconds(u.ru_stime);
}

// Our side: open, then Read in refills of 400 ms as a deck does. Returns the bytes read.
std::uint64_t decodeOurs(const QString& file) {
    TDSAudioFileReader reader(file);
    std::vector<char> buffer(reader.Format().nAvgBytesPerSec * 4 / 10);
    std::uint64_t bytes = 0;
    while (const std::uint32_t n =
               reader.Read(buffer.data(), static_cast<std::uint32_t>(buffer.size())))
        bytes += n;
    return bytes;
}

// FFmpeg's own loop, single-threaded, to interleaved 16-bit in the file's rate and channels.
class FfmpegLoop {
public:
    explicit FfmpegLoop(const char* file) {
        if (avformat_open_input(&fmt_, file, nullptr, nullptr) < 0 ||
            avformat_find_stream_info(fmt_, nullptr) < 0)
            return;
        const AVCodec* decoder = nullptr;
        stream_ = av_find_best_stream(fmt_, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
        if (stream_ < 0 || !decoder)
            return;
        codec_ = avcodec_alloc_context3(decoder);
        avcodec_parameters_to_context(codec_, fmt_->streams[stream_]->codecpar);
        codec_->thread_count = 1;
        if (avcodec_open2(codec_, decoder, nullptr) < 0)
            return;
        if (swr_alloc_set_opts2(&swr_, &codec_->ch_layout, AV_SAMPLE_FMT_S16, codec_->sample_rate,
                                &codec_->ch_layout, codec_->sample_fmt, codec_->sample_rate, 0,
                                nullptr) < 0 ||
            swr_init(swr_) < 0)
            return;
        packet_ = av_packet_alloc();
        frame_ = av_frame_alloc();
        ok_ = true;
    }
    ~FfmpegLoop() {
        av_frame_free(&frame_);
        av_packet_free(&packet_);
        swr_free(&swr_);
        avcodec_free_context(&codec_);
        avformat_close_input(&fmt_);
    }
    FfmpegLoop(const FfmpegLoop&) = delete;
    FfmpegLoop& operator=(const FfmpegLoop&) = delete;

    bool ok() const { return ok_; }

    // Decodes to the end; the bytes of 16-bit output.
    std::uint64_t run() {
        std::uint64_t bytes = 0;
        while (av_read_frame(fmt_, packet_) >= 0) {
            if (packet_->stream_index == stream_ && avcodec_send_packet(codec_, packet_) >= 0)
                bytes += drain();
            av_packet_unref(packet_);
        }
        avcodec_send_packet(codec_, nullptr);
        return bytes + drain();
    }

private:
    std::uint64_t drain() {
        std::uint64_t bytes = 0;
        while (avcodec_receive_frame(codec_, frame_) >= 0) {
            const int room = swr_get_out_samples(swr_, frame_->nb_samples);
            const auto need = static_cast<std::size_t>(room * codec_->ch_layout.nb_channels * 2);
            if (out_.size() < need)
                out_.resize(need);
            std::uint8_t* out = out_.data();
            const int got = swr_convert(swr_, &out, room,
                                        const_cast<const std::uint8_t**>(frame_->extended_data),
                                        frame_->nb_samples);
            if (got > 0)
                bytes += static_cast<std::uint64_t>(got) * codec_->ch_layout.nb_channels * 2;
            av_frame_unref(frame_);
        }
        return bytes;
    }

    AVFormatContext* fmt_ = nullptr;
    AVCodecContext* codec_ = nullptr;
    SwrContext* swr_ = nullptr;
    AVPacket* packet_ = nullptr;
    AVFrame* frame_ = nullptr;
    int stream_ = -1;
    bool ok_ = false;
    std::vector<std::uint8_t> out_;
};

struct Side {
    double loopPerSecond = 1e9; // CPU s per audio s, decode loop only
    double open = 1e9;          // CPU s of one open
    double processShort = 1e9;  // CPU s of a whole process on the short file
    double processLong = 1e9;   // and on the long one
};

struct Format {
    const char* name;
    int kbps;
    int channels;
};

double ratio(double a, double b) {
    return b > 0 ? a / b : 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--decode") == 0)
        return decodeOurs(QFile::decodeName(argv[2])) > 0 ? 0 : 1;
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const int longSeconds = argc > 2 ? std::max(30, std::atoi(argv[2])) : 180;
    const int shortSeconds = 5;
    const int opens = 20; // opens per round, for a readable fixed cost

    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    const Format formats[] = {
        {"192k stereo", 192, 2}, {"320k stereo", 320, 2}, {"64k mono", 64, 1}};
    std::printf("decoding, best of %d rounds; loop = CPU per second of audio after open; open = "
                "CPU of opening a file; process = whole process (ours: %s --decode)\n",
                rounds, argv[0]);
    std::printf("%-12s %9s %9s %6s | %8s %8s %6s | %9s %9s %6s | %8s %8s %6s\n", "file",
                "loop ours", "ffmpeg", "ratio", "open ms", "ffmpeg", "ratio", "proc us/s", "ffmpeg",
                "ratio", "fixed ms", "ffmpeg", "ratio");
    bool met = true;
    for (const Format& f : formats) {
        const QString longFile = dir.filePath(QStringLiteral("long-%1.mp3").arg(f.kbps));
        const QString shortFile = dir.filePath(QStringLiteral("short-%1.mp3").arg(f.kbps));
        if (!bench::makeMp3(longFile, longSeconds, 440, f.kbps, f.channels) ||
            !bench::makeMp3(shortFile, shortSeconds, 440, f.kbps, f.channels))
            return 1;
        const QByteArray longName = QFile::encodeName(longFile);
        const QByteArray shortName = QFile::encodeName(shortFile);
        Side ours, theirs;
        double audioSeconds = 0;
        for (int r = 0; r < rounds; ++r) {
            // Loops after open, each side timed around its loop only.
            {
                TDSAudioFileReader reader(longFile);
                const auto& wf = reader.Format();
                std::vector<char> buffer(wf.nAvgBytesPerSec * 4 / 10);
                std::uint64_t bytes = 0;
                const double start = cpuSeconds();
                while (const std::uint32_t n =
                           reader.Read(buffer.data(), static_cast<std::uint32_t>(buffer.size())))
                    bytes += n;
                const double cpu = cpuSeconds() - start;
                audioSeconds = static_cast<double>(bytes) / wf.nAvgBytesPerSec;
                ours.loopPerSecond = std::min(ours.loopPerSecond, cpu / audioSeconds);
            }
            {
                FfmpegLoop loop(longName.constData());
                if (!loop.ok())
                    return 1;
                const double start = cpuSeconds();
                const std::uint64_t bytes = loop.run();
                const double cpu = cpuSeconds() - start;
                const double theirSeconds = static_cast<double>(bytes) / (44100.0 * 2 * f.channels);
                theirs.loopPerSecond = std::min(theirs.loopPerSecond, cpu / theirSeconds);
            }
            // Opens of the short file.
            {
                const double start = cpuSeconds();
                for (int i = 0; i < opens; ++i)
                    TDSAudioFileReader reader(shortFile);
                ours.open = std::min(ours.open, (cpuSeconds() - start) / opens);
            }
            {
                const double start = cpuSeconds();
                for (int i = 0; i < opens; ++i)
                    if (!FfmpegLoop(shortName.constData()).ok())
                        return 1;
                theirs.open = std::min(theirs.open, (cpuSeconds() - start) / opens);
            }
            // Whole processes.
            for (auto [name, shortRun] :
                 {std::pair{&longName, false}, std::pair{&shortName, true}}) {
                const double mine = childCpu({argv[0], "--decode", name->constData()});
                const double ffmpeg = childCpu({"ffmpeg", "-v", "error", "-threads", "1", "-i",
                                                name->constData(), "-f", "null", "-"});
                if (mine < 0 || ffmpeg < 0) {
                    std::fprintf(stderr, "a decoding process failed\n");
                    return 1;
                }
                double& o = shortRun ? ours.processShort : ours.processLong;
                double& t = shortRun ? theirs.processShort : theirs.processLong;
                o = std::min(o, mine);
                t = std::min(t, ffmpeg);
            }
        }
        const double span = longSeconds - shortSeconds;
        const double oursSlope = (ours.processLong - ours.processShort) / span;
        const double theirSlope = (theirs.processLong - theirs.processShort) / span;
        const double oursFixed = ours.processShort - oursSlope * shortSeconds;
        const double theirFixed = theirs.processShort - theirSlope * shortSeconds;
        const double loopRatio = ratio(ours.loopPerSecond, theirs.loopPerSecond);
        met = met && loopRatio <= 1.1;
        std::printf("%-12s %9.1f %9.1f %6.3f | %8.2f %8.2f %6.3f | %9.1f %9.1f %6.3f | %8.1f %8.1f "
                    "%6.3f\n",
                    f.name, ours.loopPerSecond * 1e6, theirs.loopPerSecond * 1e6, loopRatio,
                    ours.open * 1e3, theirs.open * 1e3, ratio(ours.open, theirs.open),
                    oursSlope * 1e6, theirSlope * 1e6, ratio(oursSlope, theirSlope),
                    oursFixed * 1e3, theirFixed * 1e3, ratio(oursFixed, theirFixed));
        (void)audioSeconds;
    }
    std::printf("loop and process costs in us of CPU per second of audio; goal: loop ratio <= 1.1 "
                "(%s)\n",
                met ? "met" : "NOT met");

    // Seeking: each seek decodes from half a second before its target, and a rewind at the end
    // of the data stays in the open file. Both run under the decks' shared lock.
    {
        const QString mp3 = dir.filePath(QStringLiteral("long-192.mp3"));
        TDSAudioFileReader reader(mp3);
        std::vector<char> buffer(reader.Format().nAvgBytesPerSec * 4 / 10);
        const int seeks = 40;
        const int last = longSeconds - 10;
        const double before = cpuSeconds();
        for (int i = 0; i < seeks; ++i) {
            reader.Seek(MediaTime{(i * 7919) % last} * 10000000 + 1234567);
            reader.Read(buffer.data(), static_cast<std::uint32_t>(buffer.size()));
        }
        const double seek = (cpuSeconds() - before) / seeks;
        const double rewindStart = cpuSeconds();
        for (int i = 0; i < seeks; ++i) {
            reader.Seek(0);
            reader.Read(buffer.data(), static_cast<std::uint32_t>(buffer.size()));
            reader.Seek(MediaTime{longSeconds - 1} * 10000000);
        }
        const double rewind = (cpuSeconds() - rewindStart) / seeks;
        std::printf("seek and read 400 ms: %.2f ms CPU each; rewind from the end and read 400 ms "
                    "(with one seek near the end): %.2f ms CPU each\n",
                    seek * 1000, rewind * 1000);
    }
    return 0;
}
