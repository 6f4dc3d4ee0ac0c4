// The loudness of songs: the gain rule, our meter against FFmpeg's, ReplayGain tags, the cache
// and the scanner's order.

#include "AudioFixtures.h"
#include "LoudnessFixtures.h"
#include "TestSupport.h"
#include "audio/DSAudioFileRead.h"
#include "audio/LoudnessScanner.h"

#include <QFile>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <future>
#include <gtest/gtest.h>
#include <limits>
#include <mutex>
#include <utime.h>

using namespace corvalin;
using namespace corvalin::test;

namespace {

LoudnessInfo measured(double lufs, double peak) {
    return {lufs, peak, LoudnessInfo::Source::Measured};
}

// A scanner without a thread whose measurements are counted and made up.
struct CountingScanner {
    explicit CountingScanner(const QString& cache, double lufs = -20.0) {
        LoudnessScanner::Options o;
        o.cacheFile = cache;
        o.thread = false;
        o.measure = [this, lufs](const QString& file, const std::atomic<bool>&) {
            order.append(file);
            return std::optional<LoudnessInfo>(measured(lufs, -6.0));
        };
        scanner = std::make_unique<LoudnessScanner>(o);
    }
    QStringList order;
    std::unique_ptr<LoudnessScanner> scanner;
};

// A cache file holding one song entry for `path` as it is now, its loudness and peak given as
// JSON texts.
void writeCacheEntry(const QString& cache, const QString& path, const char* lufs,
                     const char* peak) {
    const FileStamp stamp = *stampOf(path);
    writeWholeFile(cache, QStringLiteral("{\"format\":\"CorvalinRadio loudness 1\",\"songs\":[{"
                                         "\"path\":\"%1\",\"size\":%2,\"mtime\":\"%3\","
                                         "\"lufs\":%4,\"peak\":%5,\"source\":\"measured\"}],"
                                         "\"keys\":[]}")
                              .arg(path)
                              .arg(stamp.Size)
                              .arg(stamp.ModifiedNs)
                              .arg(QLatin1String(lufs), QLatin1String(peak))
                              .toUtf8());
}

void touchLater(const QString& path) {
    struct utimbuf t {};
    t.actime = t.modtime = 2000000000;
    ASSERT_EQ(::utime(QFile::encodeName(path).constData(), &t), 0);
}

} // namespace

struct GainCase {
    const char* what;
    std::optional<LoudnessInfo> info;
    LoudnessSettings settings;
    double gain;
};

TEST(LoudnessGain, FollowsTheTargetWithinTheTruePeakCeiling) {
    const double inf = std::numeric_limits<double>::infinity();
    const GainCase cases[] = {
        {"loud song is cut", measured(-10.0, -0.1), {true, -18.0}, -8.0},
        {"quiet song is lifted", measured(-30.0, -20.0), {true, -18.0}, 12.0},
        {"lift limited by the peak", measured(-30.0, -3.0), {true, -18.0}, 2.0},
        {"peak above the ceiling even cuts", measured(-19.0, 0.5), {true, -18.0}, -1.5},
        {"another target", measured(-20.0, -10.0), {true, -23.0}, -3.0},
        {"switched off", measured(-30.0, -20.0), {false, -18.0}, 0.0},
        {"unmeasured is cut as a modern master", std::nullopt, {true, -18.0}, -6.0},
        {"unmeasured never boosted", std::nullopt, {true, -8.0}, 0.0},
        {"silence untouched", measured(-inf, -inf), {true, -18.0}, 0.0},
        {"near silence lifted at most 24 dB", measured(-70.0, -60.0), {true, -18.0}, 24.0},
        {"ReplayGain",
         LoudnessInfo{-12.0, -0.2, LoudnessInfo::Source::ReplayGain},
         {true, -18.0},
         -6.0},
    };
    for (const GainCase& c : cases)
        EXPECT_NEAR(loudnessGainDb(c.info, c.settings), c.gain, 1e-9) << c.what;
}

TEST(LoudnessMeasure, AgreesWithFfmpegOnSongsFarApart) {
    TempFolder dir;
    for (const double lufs : {-10.0, -20.0, -30.0}) {
        const QString song = dir.file(QStringLiteral("s%1.mp3").arg(-lufs));
        ASSERT_TRUE(makeSongAt(song, lufs, 6.0, lufs > -15.0, QStringLiteral("libmp3lame")));
        const std::optional<LoudnessInfo> ours = measureSongLoudness(song);
        ASSERT_TRUE(ours);
        const FfmpegLoudness theirs = ffmpegLoudness(song);
        EXPECT_NEAR(ours->Integrated, theirs.integrated, 0.3) << lufs;
        EXPECT_NEAR(ours->TruePeak, theirs.truePeak, 0.5) << lufs;
        EXPECT_EQ(ours->From, LoudnessInfo::Source::Measured);
    }
}

TEST(LoudnessMeasure, SongsDecodedAtTwentyFourAndThirtyTwoBitsAreMeasured) {
    struct Case {
        const char* file;
        const char* codec;
        QStringList extra;
        int bits; // as the reader gives them (0: any)
    };
    const Case cases[] = {
        {"s24.wav", "pcm_s24le", {}, 24},
        {"s32.wav", "pcm_s32le", {}, 32},
        {"s24.flac", "flac", {QStringLiteral("-sample_fmt"), QStringLiteral("s32")}, 0},
    };
    TempFolder dir;
    for (const Case& c : cases) {
        const QString song = dir.file(QLatin1String(c.file));
        ASSERT_TRUE(makeSongAt(song, -27.0, 4.0, false, QLatin1String(c.codec), c.extra)) << c.file;
        if (c.bits != 0) {
            EXPECT_EQ(TDSAudioFileReader(song).Format().wBitsPerSample, c.bits) << c.file;
        }
        const std::optional<LoudnessInfo> ours = measureSongLoudness(song);
        ASSERT_TRUE(ours) << c.file;
        const FfmpegLoudness theirs = ffmpegLoudness(song);
        EXPECT_NEAR(ours->Integrated, theirs.integrated, 0.3) << c.file;
        EXPECT_NEAR(ours->Integrated, -27.0, 0.3) << c.file;
        EXPECT_NEAR(ours->TruePeak, theirs.truePeak, 0.5) << c.file;
    }
}

TEST(LoudnessMeasure, MonoCountsOnBothSpeakersAndBrokenFilesGiveNothing) {
    TempFolder dir;
    const QString stereo = dir.file(QStringLiteral("stereo.wav"));
    const QString mono = dir.file(QStringLiteral("mono.wav"));
    const QString mono16 = dir.file(QStringLiteral("mono16.wav"));
    ASSERT_TRUE(makeTone(mono16, 3.0, QStringLiteral("pcm_s16le"), 1));
    ASSERT_TRUE(runTool(QStringLiteral("sox"), {mono16, stereo, QStringLiteral("remix"),
                                                QStringLiteral("1"), QStringLiteral("1")}));
    ASSERT_TRUE(makeTone(mono, 3.0, QStringLiteral("pcm_u8"), 1));
    const auto a = measureSongLoudness(stereo);
    const auto b = measureSongLoudness(mono);
    ASSERT_TRUE(a && b);
    // The same tone heard on both speakers: the same loudness (8-bit rounding aside).
    EXPECT_NEAR(a->Integrated, b->Integrated, 0.3);
    writeWholeFile(dir.file(QStringLiteral("garbage.mp3")), QByteArray(5000, 'x'));
    EXPECT_FALSE(measureSongLoudness(dir.file(QStringLiteral("garbage.mp3"))));
    EXPECT_FALSE(measureSongLoudness(dir.file(QStringLiteral("missing.mp3"))));
}

TEST(LoudnessReplayGain, TagsWrittenByMutagenAreObeyedWithoutMeasuring) {
    TempFolder dir;
    const QString song = dir.file(QStringLiteral("tagged.mp3"));
    ASSERT_TRUE(makeTone(song, 2.0, QStringLiteral("libmp3lame")));
    const QString script =
        QStringLiteral("import sys\n"
                       "from mutagen.id3 import ID3, TXXX, TIT2\n"
                       "t = ID3()\n"
                       "t.add(TIT2(encoding=3, text='Song'))\n"
                       "t.add(TXXX(encoding=1, desc='REPLAYGAIN_TRACK_GAIN', text='-7.50 dB'))\n"
                       "t.add(TXXX(encoding=3, desc='replaygain_track_peak', text='0.891251'))\n"
                       "t.save(sys.argv[1])\n");
    ASSERT_TRUE(runTool(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), script, song}));
    const std::optional<LoudnessInfo> tags = readReplayGain(song);
    ASSERT_TRUE(tags);
    EXPECT_EQ(tags->From, LoudnessInfo::Source::ReplayGain);
    EXPECT_NEAR(tags->Integrated, -10.5, 1e-9);
    EXPECT_NEAR(tags->TruePeak, -1.0, 0.01);

    CountingScanner s{QString()};
    s.scanner->setWanted(song, {});
    ASSERT_TRUE(s.scanner->scanOne());
    EXPECT_TRUE(s.order.isEmpty()) << "the tagged song was decoded";
    EXPECT_EQ(s.scanner->taggedCount(), 1);
    EXPECT_NEAR(s.scanner->gainFor(song), -7.5, 1e-9);

    // Without the gain tag (a peak alone) the song is measured.
    const QString plain = dir.file(QStringLiteral("plain.mp3"));
    ASSERT_TRUE(makeTone(plain, 2.0, QStringLiteral("libmp3lame")));
    EXPECT_FALSE(readReplayGain(plain));
}

TEST(LoudnessCacheTest, SurvivesARestartAndAChangedFileIsMeasuredAgain) {
    TempFolder dir;
    const QString cache = dir.file(QStringLiteral("cache/loudness.json"));
    const QString a = dir.file(QStringLiteral("a.wav"));
    const QString b = dir.file(QStringLiteral("b.wav"));
    ASSERT_TRUE(makeTone(a, 1.0, QStringLiteral("pcm_s16le")));
    ASSERT_TRUE(makeTone(b, 1.0, QStringLiteral("pcm_s16le")));
    {
        CountingScanner s(cache);
        s.scanner->setWanted(QString(), {a, b});
        while (s.scanner->scanOne()) {
        }
        EXPECT_EQ(s.order, QStringList({a, b}));
    }
    EXPECT_EQ(modeOf(cache) & 0777, 0600u);
    {
        CountingScanner s(cache);
        EXPECT_TRUE(s.scanner->lookup(a));
        EXPECT_NEAR(s.scanner->gainFor(a), 2.0, 1e-9);
        s.scanner->setWanted(QString(), {a, b});
        EXPECT_EQ(s.scanner->pending(), 0);
        EXPECT_FALSE(s.scanner->scanOne());
        EXPECT_TRUE(s.order.isEmpty());
        // A new modification time: the old result no longer holds.
        touchLater(b);
        EXPECT_FALSE(s.scanner->lookup(b));
        EXPECT_EQ(s.scanner->pending(), 1);
        EXPECT_TRUE(s.scanner->scanOne());
        EXPECT_EQ(s.order, QStringList({b}));
        // A new size likewise.
        QFile f(a);
        ASSERT_TRUE(f.open(QIODevice::Append));
        f.write(QByteArray(4, '\0'));
        f.close();
        EXPECT_FALSE(s.scanner->lookup(a));
    }
}

TEST(LoudnessCacheTest, ACorruptCacheIsRebuilt) {
    TempFolder dir;
    const QString cache = dir.file(QStringLiteral("loudness.json"));
    const QString a = dir.file(QStringLiteral("a.wav"));
    ASSERT_TRUE(makeTone(a, 1.0, QStringLiteral("pcm_s16le")));
    for (const QByteArray& junk :
         {QByteArray("{\"format\":\"CorvalinRadio loudness 1\",\"songs\":[{\"pa"),
          QByteArray("\x00\xff garbage", 10), QByteArray("[]")}) {
        writeWholeFile(cache, junk);
        CountingScanner s(cache);
        EXPECT_FALSE(s.scanner->lookup(a));
        s.scanner->setWanted(a, {});
        EXPECT_TRUE(s.scanner->scanOne());
        EXPECT_TRUE(s.scanner->save());
        LoudnessCache reread(cache);
        EXPECT_TRUE(reread.load());
        EXPECT_TRUE(reread.find(a, *stampOf(a)));
    }
}

TEST(LoudnessCacheTest, ValuesNoSongCanHaveAreMeasuredAgain) {
    struct Case {
        const char* lufs;
        const char* peak;
        bool kept;
        double gain; // at the -18 target, before measuring again
    };
    const Case cases[] = {
        {"-200", "-190", false, -6.0}, // was +24 dB, clipped
        {"1e308", "-1", false, -6.0},  // was silent
        {"-1e308", "-1", false, -6.0}, // or lifted
        {"1e999", "-1", false, -6.0},  // beyond a double
        {"5.5", "-1", false, -6.0},    // louder than PCM can be
        {"-70.5", "-60", false, -6.0}, // below the gate
        {"-20", "1e308", false, -6.0}, // a peak that would silence it
        {"-20", "-6", true, 2.0},      // a song as measured
        {"-70", "-60", true, 24.0},    // the edges hold
        {"5", "3", true, -23.0},       // (the loudest is cut)
        {"null", "null", true, 0.0},   // silence, as saved
        {"-20", "null", true, 2.0},    // no peak
    };
    TempFolder dir;
    const QString song = dir.file(QStringLiteral("song.wav"));
    ASSERT_TRUE(makeTone(song, 0.5, QStringLiteral("pcm_s16le")));
    const QString cache = dir.file(QStringLiteral("loudness.json"));
    for (const Case& c : cases) {
        const QString what =
            QStringLiteral("lufs %1 peak %2").arg(QLatin1String(c.lufs), QLatin1String(c.peak));
        writeCacheEntry(cache, song, c.lufs, c.peak);
        CountingScanner s(cache, -23.0);
        // Trimming off: an entry of the old form is not measured again for its bounds.
        s.scanner->setSettings({true, -18.0, false});
        EXPECT_EQ(s.scanner->lookup(song).has_value(), c.kept) << qPrintable(what);
        EXPECT_NEAR(s.scanner->gainFor(song), c.gain, 1e-9) << qPrintable(what);
        s.scanner->setWanted(song, {song});
        EXPECT_EQ(s.scanner->pending(), c.kept ? 0 : 1) << qPrintable(what);
        while (s.scanner->scanOne()) {
        }
        EXPECT_EQ(s.order, c.kept ? QStringList() : QStringList({song})) << qPrintable(what);
        if (!c.kept) {
            EXPECT_NEAR(s.scanner->gainFor(song), 5.0, 1e-9) << qPrintable(what);
        }
    }
}

TEST(LoudnessGain, ImplausibleMeasurementsCountAsUnmeasured) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (const LoudnessInfo& info :
         {measured(-200.0, -190.0), measured(1e308, -1.0), measured(nan, -1.0), measured(inf, -1.0),
          measured(-20.0, nan), measured(-20.0, 1e308)}) {
        EXPECT_FALSE(plausibleLoudness(info)) << info.Integrated << " " << info.TruePeak;
        EXPECT_NEAR(loudnessGainDb(info, {true, -18.0}), -6.0, 1e-9)
            << info.Integrated << " " << info.TruePeak;
    }
}

TEST(LoudnessCacheTest, AChangedFilesOldMeasurementIsDroppedOnceTheScannerSeesIt) {
    TempFolder dir;
    const QString cache = dir.file(QStringLiteral("loudness.json"));
    const QString song = dir.file(QStringLiteral("song.wav"));
    ASSERT_TRUE(makeTone(song, 0.5, QStringLiteral("pcm_s16le")));
    writeCacheEntry(cache, song, "-20", "-6");
    LoudnessScanner::Options o;
    o.cacheFile = cache;
    o.thread = false;
    o.measure = [](const QString&, const std::atomic<bool>&) {
        return std::optional<LoudnessInfo>(); // the new file cannot be measured
    };
    LoudnessScanner scanner(o);
    EXPECT_NEAR(scanner.gainFor(song), 2.0, 1e-9);
    touchLater(song);
    scanner.setWanted(song, {});
    EXPECT_TRUE(scanner.scanOne());
    EXPECT_NEAR(scanner.gainFor(song), -6.0, 1e-9) << "the old file's gain";
}

// The deck asks for its gain under the decks' shared lock: a slow disk under the scanner must not
// hold it up, nor a slow disk under the song itself.
TEST(LoudnessScannerTest, TheGainLookUpReturnsWhileTheScannerIsInsideASlowStat) {
    TempFolder dir;
    const QString cache = dir.file(QStringLiteral("loudness.json"));
    const QString known = dir.file(QStringLiteral("known.wav"));
    const QString slow = dir.file(QStringLiteral("slow.wav"));
    ASSERT_TRUE(makeTone(known, 0.5, QStringLiteral("pcm_s16le")));
    ASSERT_TRUE(makeTone(slow, 0.5, QStringLiteral("pcm_s16le")));
    writeCacheEntry(cache, known, "-20", "-6");

    std::mutex m;
    std::condition_variable changed;
    bool inside = false;
    bool release = false;
    LoudnessScanner::Options o;
    o.cacheFile = cache;
    o.measure = [](const QString&, const std::atomic<bool>&) {
        return std::optional<LoudnessInfo>(measured(-30.0, -20.0));
    };
    o.stat = [&](const QString& file) {
        if (file == slow) {
            std::unique_lock<std::mutex> g(m);
            inside = true;
            changed.notify_all();
            changed.wait(g, [&] { return release; });
        }
        return stampOf(file);
    };
    LoudnessScanner scanner(o);
    scanner.setWanted(slow, {known, slow});
    {
        std::unique_lock<std::mutex> g(m);
        ASSERT_TRUE(changed.wait_for(g, std::chrono::seconds(10), [&] { return inside; }));
    }
    auto asked = std::async(std::launch::async, [&] {
        return std::make_pair(scanner.gainFor(known), scanner.gainFor(slow));
    });
    const bool prompt = asked.wait_for(std::chrono::seconds(2)) == std::future_status::ready;
    {
        std::lock_guard<std::mutex> g(m);
        release = true;
    }
    changed.notify_all();
    EXPECT_TRUE(prompt) << "the gain look-up waited for the scanner's stat";
    const auto [knownGain, slowGain] = asked.get();
    EXPECT_NEAR(knownGain, 2.0, 1e-9);
    EXPECT_NEAR(slowGain, -6.0, 1e-9); // not measured yet
    ASSERT_TRUE(waitFor([&] { return scanner.pending() == 0; }, 10000));
    EXPECT_NEAR(scanner.gainFor(slow), 12.0, 1e-9);
}

TEST(LoudnessScannerTest, TheQueuedSongComesFirstThenTheListInOrder) {
    TempFolder dir;
    QStringList list;
    for (int i = 0; i < 4; ++i) {
        list.append(dir.file(QStringLiteral("%1.wav").arg(i)));
        ASSERT_TRUE(makeTone(list.last(), 0.5, QStringLiteral("pcm_s16le")));
    }
    CountingScanner s{QString()};
    s.scanner->setWanted(list.at(2), list);
    ASSERT_TRUE(s.scanner->scanOne());
    ASSERT_TRUE(s.scanner->scanOne());
    // A new queued song jumps ahead of the rest of the list.
    s.scanner->setWanted(list.at(3), list);
    while (s.scanner->scanOne()) {
    }
    EXPECT_EQ(s.order, QStringList({list.at(2), list.at(0), list.at(3), list.at(1)}));
    EXPECT_EQ(s.scanner->pending(), 0);
}

TEST(LoudnessScannerTest, TheThreadMeasuresInTheBackgroundAndAFileThatFailsIsNotRetried) {
    TempFolder dir;
    const QString song = dir.file(QStringLiteral("song.wav"));
    ASSERT_TRUE(makeSongAt(song, -20.0, 3.0));
    const QString broken = dir.file(QStringLiteral("broken.mp3"));
    writeWholeFile(broken, QByteArray(3000, 'z'));
    LoudnessScanner::Options o;
    o.cacheFile = dir.file(QStringLiteral("c.json"));
    LoudnessScanner scanner(o);
    scanner.setWanted(broken, {song, broken});
    ASSERT_TRUE(waitFor([&] { return scanner.pending() == 0; }, 30000));
    const std::optional<LoudnessInfo> info = scanner.lookup(song);
    ASSERT_TRUE(info);
    EXPECT_NEAR(info->Integrated, -20.0, 0.3);
    EXPECT_FALSE(scanner.lookup(broken));
    EXPECT_EQ(scanner.measuredCount(), 1);
    EXPECT_TRUE(waitFor([&] { return QFile::exists(o.cacheFile); }, 10000));
}

TEST(SilenceTrim, BoundsFromBlockPeaks) {
    struct Case {
        const char* what;
        double lufs;
        std::vector<float> peaks; // dBFS per 10 ms block
        double threshold;         // the setting
        std::int64_t from;
        std::int64_t to;
        bool silent;
    };
    auto run = [](std::size_t lead, std::vector<float> body, std::size_t trail) {
        std::vector<float> v(lead, -90.0f);
        v.insert(v.end(), body.begin(), body.end());
        v.insert(v.end(), trail, -90.0f);
        return v;
    };
    const float inf = -std::numeric_limits<float>::infinity();
    const Case cases[] = {
        {"silence at both ends", -18, run(100, std::vector<float>(300, -6.0f), 200), -50, 985, 4015,
         false},
        {"none to cut", -18, std::vector<float>(300, -6.0f), -50, 0, 3000, false},
        {"a quiet fade-out is kept", -18, run(0, {-6, -20, -35, -45, -49, -55, -60}, 0), -50, 0, 65,
         false},
        {"digital silence", -18, run(50, {-6}, 50), -50, 485, 525, false},
        {"all silent", -18, std::vector<float>(500, inf), -50, 0, 5000, true},
        {"a loud song's hiss counts as silence", -6, run(0, {-3, -44, -48, -52}, 0), -50, 0, 35,
         false},
        {"the setting rules a quiet song", -30, run(0, {-20, -55, -60, -68}, 0), -50, 0, 25, false},
        {"a lower setting keeps more", -30, run(0, {-20, -55, -60, -68}, 0), -65, 0, 40, false},
        {"more than 15 s at the start is left", -18, run(1600, std::vector<float>(100, -6.0f), 10),
         -50, 0, 17015, false},
        {"more than 15 s at the end is left", -18, run(10, std::vector<float>(100, -6.0f), 1600),
         -50, 85, 17100, false},
    };
    for (const Case& c : cases) {
        LoudnessInfo info = measured(c.lufs, -1.0);
        const auto duration = static_cast<std::int64_t>(c.peaks.size()) * 10;
        findAudibleBounds(c.peaks, 10, duration, c.threshold, &info);
        EXPECT_EQ(info.AudibleFromMs, c.from) << c.what;
        EXPECT_EQ(info.AudibleToMs, c.to) << c.what;
        EXPECT_EQ(info.SilentThroughout, c.silent) << c.what;
        EXPECT_EQ(info.TrimThreshold, c.threshold) << c.what;
    }
}

TEST(SilenceTrim, TheScannerFindsAndKeepsASongsAudibleBounds) {
    TempFolder dir;
    // 1.5 s of digital silence, 3 s of tone fading out over its last second, 2 s of silence.
    const QString song = dir.file(QStringLiteral("padded.wav"));
    ASSERT_TRUE(
        runTool(QStringLiteral("/usr/bin/sox"), {QStringLiteral("-n"),    QStringLiteral("-r"),
                                                 QStringLiteral("44100"), QStringLiteral("-c"),
                                                 QStringLiteral("2"),     QStringLiteral("-b"),
                                                 QStringLiteral("16"),    song,
                                                 QStringLiteral("synth"), QStringLiteral("3"),
                                                 QStringLiteral("sine"),  QStringLiteral("1000"),
                                                 QStringLiteral("vol"),   QStringLiteral("0.5"),
                                                 QStringLiteral("fade"),  QStringLiteral("t"),
                                                 QStringLiteral("0"),     QStringLiteral("3"),
                                                 QStringLiteral("1"),     QStringLiteral("pad"),
                                                 QStringLiteral("1.5"),   QStringLiteral("2")}));
    const QString cache = dir.file(QStringLiteral("loudness.json"));
    {
        LoudnessScanner::Options o;
        o.cacheFile = cache;
        o.thread = false;
        LoudnessScanner scanner(o);
        scanner.setWanted(song, {});
        ASSERT_TRUE(scanner.scanOne());
        const std::optional<AudibleBounds> b = scanner.trimFor(song);
        ASSERT_TRUE(b);
        EXPECT_NEAR(double(b->FromMs), 1500 - kTrimMarginMs, 10);
        // The linear fade reaches -50 dBFS (from -6) about 6 ms before its end: kept nearly whole.
        EXPECT_NEAR(double(b->ToMs), 4500 + kTrimMarginMs, 15);
        EXPECT_FALSE(b->SilentThroughout);
        LoudnessSettings off;
        off.TrimSilence = false;
        scanner.setSettings(off);
        EXPECT_FALSE(scanner.trimFor(song)) << "trimming switched off";
    }
    // Kept with the loudness: a new scanner knows them without measuring.
    CountingScanner again(cache);
    const std::optional<AudibleBounds> b = again.scanner->trimFor(song);
    ASSERT_TRUE(b);
    EXPECT_NEAR(double(b->FromMs), 1500 - kTrimMarginMs, 10);
    again.scanner->setWanted(song, {});
    EXPECT_FALSE(again.scanner->scanOne());
    // Another threshold wants the song measured again; until then it plays untrimmed.
    LoudnessSettings other;
    other.TrimThreshold = -60.0;
    again.scanner->setSettings(other);
    EXPECT_FALSE(again.scanner->trimFor(song));
    EXPECT_EQ(again.scanner->pending(), 1);
}

TEST(SilenceTrim, AnEntryWithoutBoundsIsMeasuredAgainAndPlaysUntrimmedMeanwhile) {
    TempFolder dir;
    const QString song = dir.file(QStringLiteral("song.wav"));
    ASSERT_TRUE(makeTone(song, 0.5, QStringLiteral("pcm_s16le")));
    const QString cache = dir.file(QStringLiteral("loudness.json"));
    writeCacheEntry(cache, song, "-20", "-6");
    CountingScanner s(cache);
    EXPECT_NEAR(s.scanner->gainFor(song), 2.0, 1e-9) << "the old loudness holds";
    EXPECT_FALSE(s.scanner->trimFor(song));
    s.scanner->setWanted(song, {});
    ASSERT_TRUE(s.scanner->scanOne());
    EXPECT_EQ(s.order, QStringList({song}));
    // The made-up measurement has no bounds: tried once, not in a loop.
    EXPECT_FALSE(s.scanner->scanOne());
    EXPECT_FALSE(s.scanner->trimFor(song));
}
