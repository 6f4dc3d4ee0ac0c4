// The stream output against a real icecast2 on 127.0.0.1: what listeners hear, the titles they
// see, a server that goes away and comes back, a refused password.
#include "IcecastServer.h"
#include "StreamFixtures.h"
#include "TestSupport.h"
#include "audio/SoundDevice.h"
#include "audio/StreamTap.h"
#include "core/Types.h"
#include "stream/StreamEncoder.h"
#include "stream/StreamOutput.h"

#include <QElapsedTimer>
#include <QThread>
#include <cmath>
#include <cstring>
#include <future>
#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
}

using namespace corvalin;
using namespace corvalin::test;

namespace {

bool waitForState(const StreamOutput& stream, StreamState state, int ms) {
    return waitFor([&] { return stream.status().state == state; }, ms);
}

struct FormatCase {
    const char* format;
    int bitrate;
    int rate; // what listeners decode
    // MP3 titles go through Icecast's metadata update and show in its status; Ogg titles travel
    // in the stream's comments, where a listener finds them (Icecast 2.4 does not list Opus
    // comments in its status).
    bool titleInStatus;
};

void PrintTo(const FormatCase& c, std::ostream* os) {
    *os << c.format;
}

// The title as listeners of this format see it.
QString titleSeen(const IcecastServer& server, const FormatCase& c) {
    return c.titleInStatus ? server.title(kMount) : listenerTitle(mountUrl(server));
}

class StreamFormats : public ::testing::TestWithParam<FormatCase> {};

TEST_P(StreamFormats, ListenersHearTheMixAfterTheMainVolumeWithLiveTitles) {
    const FormatCase c = GetParam();
    IcecastServer server;
    ASSERT_TRUE(server.start());
    auto device = SoundDevice::create(QStringLiteral("null"));
    device->setMasterVolume(0x80008000u); // half on both sides: the stream carries it too
    auto tone = playTone(*device);
    StreamOutput stream;
    device->setStreamTap(stream.tap());
    stream.setTitle(QStringLiteral("Alder - One"));
    stream.configure(settingsFor(server, QString::fromLatin1(c.format), c.bitrate),
                     QStringLiteral("Radio Test"));
    ASSERT_TRUE(waitForState(stream, StreamState::Connected, 10000))
        << streamStatusText(stream.status()).toStdString();
    const StreamStatus status = stream.status();
    EXPECT_EQ(status.place, QStringLiteral("127.0.0.1:%1/radio").arg(server.port()));
    EXPECT_EQ(status.connections, 1);

    ASSERT_TRUE(waitFor([&] { return titleSeen(server, c) == QLatin1String("Alder - One"); }, 8000))
        << titleSeen(server, c).toStdString();
    const QJsonObject source = server.source(kMount);
    EXPECT_EQ(source.value(QStringLiteral("server_name")).toString(), QStringLiteral("Radio Test"));
    EXPECT_EQ(source.value(QStringLiteral("genre")).toString(), QStringLiteral("Tones"));

    const StreamCapture capture = captureStream(mountUrl(server), 3.0);
    ASSERT_TRUE(capture.ok) << capture.error.toStdString();
    EXPECT_EQ(capture.sampleRate, c.rate);
    EXPECT_GE(capture.pcm.size(), static_cast<std::size_t>(2 * c.rate * 2));
    const double expected = kToneAmplitude / std::sqrt(2.0) * (32768.0 / 65535.0);
    EXPECT_NEAR(capture.rms(), expected, expected * 0.15);

    // A song change reaches listeners in the format's own way.
    stream.setTitle(QStringLiteral("Birch & Co - Two, \"live\""));
    EXPECT_TRUE(waitFor(
        [&] { return titleSeen(server, c) == QStringLiteral("Birch & Co - Two, \"live\""); }, 8000))
        << titleSeen(server, c).toStdString();
    EXPECT_EQ(stream.status().state, StreamState::Connected);
    EXPECT_EQ(stream.status().connections, 1);

    device->setStreamTap(nullptr);
}

INSTANTIATE_TEST_SUITE_P(Formats, StreamFormats,
                         ::testing::Values(FormatCase{"mp3", 128, 44100, true},
                                           FormatCase{"opus", 96, 48000, false}),
                         [](const auto& param) { return std::string(param.param.format); });

// The frames of a WAV written by the "wav:" backend.
std::vector<std::int16_t> wavSamples(const QString& path) {
    const QByteArray bytes = readWholeFile(path);
    std::vector<std::int16_t> s;
    if (bytes.size() <= 44)
        return s;
    s.resize(static_cast<std::size_t>(bytes.size() - 44) / 2);
    std::memcpy(s.data(), bytes.constData() + 44, s.size() * 2);
    return s;
}

// Ends a run recorded to `wav` (the stream first, then the tone, then the device, which closes the
// file) and checks its air with expectUnbrokenTone.
void endAndCheckTheAir(std::shared_ptr<SoundDevice>& device, std::unique_ptr<StreamOutput>& stream,
                       std::unique_ptr<SoundBuffer>& tone, const QElapsedTimer& airTime,
                       const QString& wav);

// The recorded air (stereo, 44.1 kHz) lasts the run and, from the tone's start (a busy machine
// may take a while to start it) to its end (the device records on for a moment after the tone is
// gone), never rests: a 1 kHz tone only crosses zero.
void expectUnbrokenTone(const std::vector<std::int16_t>& air, double seconds) {
    EXPECT_NEAR(static_cast<double>(air.size() / 2) / 44100.0, seconds, 1.0);
    std::size_t toneStart = 0;
    while (toneStart < air.size() && std::abs(air[toneStart]) < 100)
        toneStart += 2;
    EXPECT_LT(toneStart, air.size() / 4);
    std::size_t toneEnd = air.size();
    while (toneEnd > toneStart + 2 && std::abs(air[toneEnd - 2]) < 100)
        toneEnd -= 2;
    EXPECT_GT(toneEnd, air.size() * 3 / 4);
    std::size_t longestSilence = 0, silence = 0, longestEnd = 0;
    for (std::size_t i = toneStart; i < toneEnd; i += 2) {
        silence = std::abs(air[i]) < 100 ? silence + 1 : 0;
        if (silence > longestSilence) {
            longestSilence = silence;
            longestEnd = i / 2;
        }
    }
    EXPECT_LT(longestSilence, 10u)
        << "silence ending at frame " << longestEnd << " of " << air.size() / 2;
}

void endAndCheckTheAir(std::shared_ptr<SoundDevice>& device, std::unique_ptr<StreamOutput>& stream,
                       std::unique_ptr<SoundBuffer>& tone, const QElapsedTimer& airTime,
                       const QString& wav) {
    device->setStreamTap(nullptr);
    stream.reset();
    tone.reset();
    const double seconds = static_cast<double>(airTime.elapsed()) / 1000.0;
    device.reset(); // closes the WAV
    expectUnbrokenTone(wavSamples(wav), seconds);
}

TEST(StreamOutputTest, AServerThatGoesAwayLeavesTheAirAloneAndIsFoundAgain) {
    TempFolder folder;
    const QString wav = folder.file(QStringLiteral("air.wav"));
    IcecastServer server;
    ASSERT_TRUE(server.start());
    QElapsedTimer airTime;
    auto device = SoundDevice::create(QStringLiteral("wav:") + wav);
    airTime.start();
    auto tone = playTone(*device);
    auto stream = std::make_unique<StreamOutput>();
    device->setStreamTap(stream->tap());
    stream->configure(settingsFor(server, QStringLiteral("mp3"), 128), QStringLiteral("Radio"));
    ASSERT_TRUE(waitForState(*stream, StreamState::Connected, 10000));

    server.stop();
    ASSERT_TRUE(waitForState(*stream, StreamState::Failed, 15000))
        << streamStatusText(stream->status()).toStdString();
    EXPECT_FALSE(stream->status().reason.isEmpty());
    EXPECT_GE(stream->status().retryInSeconds, 1);

    ASSERT_TRUE(server.start());
    ASSERT_TRUE(waitFor([&] { return stream->status().connections == 2; }, 20000))
        << streamStatusText(stream->status()).toStdString();
    EXPECT_EQ(stream->status().state, StreamState::Connected);
    EXPECT_TRUE(waitFor([&] { return !server.source(kMount).isEmpty(); }, 5000));

    // The air went on all the while: as long as the run, and never a silent gap.
    endAndCheckTheAir(device, stream, tone, airTime, wav);
}

TEST(StreamOutputTest, ARefusedPasswordSaysSoAndDoesNotHammerTheServer) {
    IcecastServer server;
    ASSERT_TRUE(server.start());
    StreamOutput stream;
    StreamSettings s = settingsFor(server, QStringLiteral("mp3"), 128);
    s.Password = QStringLiteral("not-the-secret");
    QElapsedTimer timer;
    timer.start();
    stream.configure(s, QStringLiteral("Radio"));
    ASSERT_TRUE(waitForState(stream, StreamState::Failed, 10000));
    const StreamStatus first = stream.status();
    EXPECT_TRUE(first.reason.contains(QStringLiteral("password"))) << first.reason.toStdString();
    EXPECT_EQ(first.retryInSeconds, 1);
    const QString text = streamStatusText(first);
    EXPECT_FALSE(text.contains(s.Password)) << text.toStdString();

    QThread::msleep(static_cast<unsigned long>(std::max<qint64>(0, 5500 - timer.elapsed())));
    // Tries at about 0, 1 and 3 s: the delay grows.
    const StreamStatus later = stream.status();
    EXPECT_GE(later.attempts, 2);
    EXPECT_LE(later.attempts, 3);
    EXPECT_EQ(later.connections, 0);
    EXPECT_GE(later.retryInSeconds, 2);
    EXPECT_TRUE(server.source(kMount).isEmpty());
}

TEST(StreamOutputTest, OffUntilEnabledAndNoServerMeansFailedWithoutRetries) {
    StreamOutput stream;
    StreamSettings s;
    stream.configure(s, QStringLiteral("Radio"));
    ASSERT_TRUE(waitFor([&] { return stream.status().state == StreamState::Off; }, 2000));
    s.Enabled = true; // but no host
    stream.configure(s, QStringLiteral("Radio"));
    ASSERT_TRUE(waitFor([&] { return stream.status().state == StreamState::Failed; }, 2000));
    EXPECT_EQ(stream.status().retryInSeconds, 0);
    EXPECT_EQ(stream.status().attempts, 0);
    // The tap keeps being emptied while nothing is sent.
    std::vector<std::int16_t> frames(2 * 1000, 7);
    stream.tap()->write(frames.data(), 1000);
    EXPECT_TRUE(waitFor([&] { return stream.tap()->available() == 0; }, 2000));
}

TEST(StreamOutputTest, StatusReachesTheHandlerOnTheMainThread) {
    IcecastServer server;
    ASSERT_TRUE(server.start());
    StreamOutput stream;
    std::vector<StreamState> seen;
    Qt::HANDLE mainThread = QThread::currentThreadId();
    bool onMain = true;
    stream.setStatusHandler([&](const StreamStatus& s) {
        seen.push_back(s.state);
        onMain = onMain && QThread::currentThreadId() == mainThread;
    });
    stream.configure(settingsFor(server, QStringLiteral("mp3"), 64), QStringLiteral("Radio"));
    ASSERT_TRUE(
        waitFor([&] { return !seen.empty() && seen.back() == StreamState::Connected; }, 10000));
    EXPECT_TRUE(onMain);
    EXPECT_NE(std::find(seen.begin(), seen.end(), StreamState::Connecting), seen.end());
    stream.setStatusHandler({});
}

StreamSettings outputFor(const IcecastServer& server, const QString& mount, const QString& format,
                         int bitrate) {
    StreamSettings s = settingsFor(server, format, bitrate, mount);
    s.Name = QStringLiteral("Z99 ") + mount;
    s.Url = QStringLiteral("https://z99.example.org") + mount;
    return s;
}

TEST(StreamOutputsTest, ThreeOutputsShareEncodersAndListenersOfEachHearTheTitles) {
    IcecastServer server;
    ASSERT_TRUE(server.start());
    auto device = SoundDevice::create(QStringLiteral("null"));
    auto tone = playTone(*device);
    StreamOutput stream;
    device->setStreamTap(stream.tap());
    stream.setTitle(QStringLiteral("Alder - One"));
    const QString mounts[] = {QStringLiteral("/high.mp3"), QStringLiteral("/low.opus"),
                              QStringLiteral("/copy.mp3")};
    stream.configure({outputFor(server, mounts[0], QStringLiteral("mp3"), 128),
                      outputFor(server, mounts[1], QStringLiteral("opus"), 64),
                      outputFor(server, mounts[2], QStringLiteral("mp3"), 128)},
                     QStringLiteral("Radio Test"));
    ASSERT_TRUE(waitForState(stream, StreamState::Connected, 15000))
        << streamStatusText(stream.status()).toStdString();
    const StreamStatus all = stream.status();
    ASSERT_EQ(all.outputs.size(), 3) << streamStatusText(all).toStdString();
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(all.outputs[i].startsWith(QStringLiteral("Stream connected: ")) &&
                    all.outputs[i].contains(mounts[i]))
            << all.outputs[i].toStdString();
    EXPECT_EQ(all.connections, 3);
    EXPECT_EQ(stream.encoderCount(), 2) << "the two MP3 128 kbit/s outputs share one encoder";
    struct Heard {
        const char* name;
        int mount;
        int rate;
    };
    const Heard heard[] = {{"MP3 128", 0, 44100}, {"Opus 64", 1, 48000}, {"shared MP3", 2, 44100}};
    // A live MP3 stream takes its listener two seconds to recognise: all three open at once.
    std::vector<std::unique_ptr<Listener>> listeners;
    std::vector<std::future<QString>> opening;
    for (const Heard& h : heard) {
        listeners.push_back(std::make_unique<Listener>());
        opening.push_back(std::async(std::launch::async, [l = listeners.back().get(),
                                                          url = mountUrl(server, mounts[h.mount])] {
            return l->open(url);
        }));
    }
    for (std::size_t i = 0; i < listeners.size(); ++i) {
        const Heard& h = heard[i];
        SCOPED_TRACE(h.name);
        Listener* listener = listeners[i].get();
        const QString error = opening[i].get();
        ASSERT_TRUE(error.isEmpty()) << error.toStdString();
        EXPECT_EQ(listener->sampleRate(), h.rate);
        // What each output told its server, as its listeners get it.
        const QString headers = listener->headers();
        for (const QString& header :
             {QStringLiteral("icy-name: Z99 ") + mounts[h.mount],
              QStringLiteral("icy-url: https://z99.example.org") + mounts[h.mount],
              QStringLiteral("icy-genre: Tones"), QStringLiteral("icy-description: Tests")})
            EXPECT_TRUE(headers.contains(header, Qt::CaseInsensitive)) << headers.toStdString();
        EXPECT_TRUE(listener->readUntil(
            [&] { return listener->title() == QLatin1String("Alder - One"); }, 10000))
            << listener->title().toStdString();
    }
    // Songs change: every listener sees each title in turn, and hears the tone throughout.
    for (const QString& title :
         {QStringLiteral("Birch & Co - Two, \"live\""), QStringLiteral("Cedar - Three")}) {
        stream.setTitle(title);
        for (std::size_t i = 0; i < listeners.size(); ++i) {
            SCOPED_TRACE(heard[i].name);
            Listener& l = *listeners[i];
            EXPECT_TRUE(l.readUntil([&] { return l.title() == title; }, 10000))
                << l.title().toStdString();
        }
    }
    for (std::size_t i = 0; i < listeners.size(); ++i) {
        const Listener& l = *listeners[i];
        EXPECT_GT(l.samples, heard[i].rate) << heard[i].name;
        EXPECT_GT(l.loudSamples, l.samples * 8 / 10) << heard[i].name;
    }
    EXPECT_EQ(stream.status().connections, 3);
    device->setStreamTap(nullptr);
}

TEST(StreamOutputsTest, AStoppedServerLeavesTheOtherOutputAndTheAirAlone) {
    TempFolder folder;
    const QString wav = folder.file(QStringLiteral("air.wav"));
    IcecastServer first;
    IcecastServer second;
    ASSERT_TRUE(first.start());
    ASSERT_TRUE(second.start());
    QElapsedTimer airTime;
    auto device = SoundDevice::create(QStringLiteral("wav:") + wav);
    airTime.start();
    auto tone = playTone(*device);
    auto stream = std::make_unique<StreamOutput>();
    device->setStreamTap(stream->tap());
    stream->setTitle(QStringLiteral("Alder - One"));
    stream->configure({outputFor(first, kMount, QStringLiteral("mp3"), 128),
                       outputFor(second, kMount, QStringLiteral("opus"), 64), StreamSettings{}},
                      QStringLiteral("Radio"));
    ASSERT_TRUE(waitForState(*stream, StreamState::Connected, 15000))
        << streamStatusText(stream->status()).toStdString();
    ASSERT_TRUE(waitFor([&] { return !second.source(kMount).isEmpty(); }, 5000));
    Listener listener;
    const QString error = listener.open(mountUrl(second, kMount));
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();

    first.stop();
    ASSERT_TRUE(waitFor([&] { return stream->status(0).state == StreamState::Failed; }, 15000))
        << streamStatusText(stream->status(0)).toStdString();
    EXPECT_EQ(stream->status().state, StreamState::Failed) << "the lamp shows the worst";
    EXPECT_EQ(stream->status().outputs.size(), 2);
    // The other output goes on, on its first connection, and its listener hears the tone.
    const std::int64_t before = listener.samples;
    EXPECT_TRUE(listener.readUntil([&] { return listener.samples - before > 3 * 48000; }, 8000));
    EXPECT_GT(listener.loudSamples, listener.samples * 8 / 10);
    const StreamStatus other = stream->status(1);
    EXPECT_EQ(other.state, StreamState::Connected);
    EXPECT_EQ(other.connections, 1);
    EXPECT_EQ(other.framesDropped, 0u);

    ASSERT_TRUE(first.start());
    ASSERT_TRUE(waitFor([&] { return stream->status(0).connections == 2; }, 20000))
        << streamStatusText(stream->status(0)).toStdString();
    EXPECT_TRUE(waitForState(*stream, StreamState::Connected, 5000));

    // The air went on all the while: as long as the run, and never a silent gap.
    endAndCheckTheAir(device, stream, tone, airTime, wav);
}

TEST(StreamEncoderStage, AStalledOutputDropsInItsOwnQueueAndTheOtherGetsEverything) {
    auto tap = std::make_shared<StreamTap>(44100 * 8);
    EncoderStage stage(tap);
    auto taken = std::make_shared<PacketQueue>(2.0);
    auto stalled = std::make_shared<PacketQueue>(2.0);
    EncodedFormat format;
    ASSERT_TRUE(stage.subscribe(QStringLiteral("mp3"), 128, taken, &format).isEmpty());
    ASSERT_TRUE(stage.subscribe(QStringLiteral("mp3"), 128, stalled, &format).isEmpty());
    EXPECT_EQ(stage.encoderCount(), 1);
    EXPECT_EQ(format.sampleRate, 44100);

    // Ten seconds of audio, far more than the stalled queue holds.
    std::vector<std::int16_t> second(2 * 44100, 1000);
    std::int64_t takenSamples = 0;
    for (int s = 0; s < 10; ++s) {
        tap->write(second.data(), 44100);
        QString error;
        while (tap->available() > 0 || takenSamples < (s + 1) * 44100 - 8192) {
            std::vector<AVPacket*> packets;
            taken->takeAll(std::chrono::milliseconds(2000), 0.0, packets, &error);
            ASSERT_FALSE(packets.empty())
                << "the encoder keeps feeding the output that takes " << error.toStdString();
            for (AVPacket*& p : packets) {
                takenSamples += p->duration;
                av_packet_free(&p);
            }
        }
    }
    EXPECT_EQ(taken->framesDropped(), 0u);
    EXPECT_EQ(tap->framesDropped(), 0u);
    // Eight of the ten seconds did not fit in the stalled one's queue.
    EXPECT_NEAR(static_cast<double>(stalled->framesDropped()) / 44100.0, 8.0, 0.2);

    stage.unsubscribe(taken);
    stage.unsubscribe(stalled);
    EXPECT_EQ(stage.encoderCount(), 0) << "an encoder nobody uses ends";
    tap->write(second.data(), 44100);
    EXPECT_TRUE(waitFor([&] { return tap->available() == 0; }, 2000)) << "emptied with no output";
}

TEST(StreamStatusOfTheStation, IsTheWorstOfTheConfiguredOutputsWithALineEach) {
    auto output = [](StreamState state, const char* mount) {
        StreamStatus s;
        s.state = state;
        s.place = QStringLiteral("ice:8000") + QLatin1String(mount);
        s.format = QStringLiteral("MP3 128 kbit/s");
        s.reason = state == StreamState::Failed ? QStringLiteral("refused") : QString();
        s.connections = state == StreamState::Connected ? 1 : 0;
        return s;
    };
    using S = StreamState;
    struct Case {
        S a, b, c;
        S expected;
        int lines;
    };
    const Case cases[] = {
        {S::Off, S::Off, S::Off, S::Off, 0},
        {S::Off, S::Connecting, S::Off, S::Connecting, 0}, // one output: its own status
        {S::Connected, S::Connected, S::Off, S::Connected, 2},
        {S::Connected, S::Connecting, S::Connected, S::Connecting, 3},
        {S::Connecting, S::Failed, S::Connected, S::Failed, 3},
        {S::Failed, S::Off, S::Connected, S::Failed, 2},
    };
    for (const Case& c : cases) {
        const std::array<StreamStatus, kStreamOutputCount> outputs = {
            output(c.a, "/a"), output(c.b, "/b"), output(c.c, "/c")};
        const StreamStatus all = combinedStreamStatus(outputs);
        EXPECT_EQ(all.state, c.expected);
        EXPECT_EQ(all.outputs.size(), c.lines);
        if (c.lines == 0) {
            for (const StreamStatus& s : outputs) {
                if (s.state != S::Off) {
                    EXPECT_EQ(all, s) << "a single output is shown as before";
                }
            }
            continue;
        }
        const QStringList lines = streamStatusText(all).split(QLatin1Char('\n'));
        ASSERT_EQ(lines.size(), c.lines);
        int line = 0;
        for (const StreamStatus& s : outputs) {
            if (s.state != S::Off) {
                EXPECT_EQ(lines[line++], streamStatusText(s));
            }
        }
    }
}

struct TitleCase {
    const char* artist;
    const char* title;
    bool theArtist;
    bool theTitle;
    bool neverAnnounce;
    const char* expected;
};

// Names the test in CTest: two cases give the same title, and a name must be one test's only.
void PrintTo(const TitleCase& c, std::ostream* os) {
    *os << c.expected << (c.neverAnnounce ? " (never announced)" : "");
}

class NowPlayingTitles : public ::testing::TestWithParam<TitleCase> {};

TEST_P(NowPlayingTitles, AreAsTheDJSaysThem) {
    const TitleCase c = GetParam();
    _rSong song;
    song.FileName = QStringLiteral("/songs/x.mp3");
    song.Artist = QString::fromUtf8(c.artist);
    song.Title = QString::fromUtf8(c.title);
    song.TheArtist = c.theArtist;
    song.TheTitle = c.theTitle;
    song.NeverAnnounce = c.neverAnnounce;
    EXPECT_EQ(nowPlayingTitle(song, QStringLiteral("The"), QStringLiteral("Z99")),
              QString::fromUtf8(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Songs, NowPlayingTitles,
    ::testing::Values(TitleCase{"Alder", "One", false, false, false, "Alder - One"},
                      TitleCase{"Beatles", "Wall", true, true, false, "The Beatles - The Wall"},
                      TitleCase{" Birch ", "", false, false, false, "Birch"},
                      TitleCase{"", "Only Title", false, true, false, "The Only Title"},
                      TitleCase{"", "", false, false, false, "Z99"},
                      TitleCase{"Elm", "Jingle", false, false, true, "Z99"},
                      TitleCase{"Motörhead", "Ace, \"of\" Spades", false, false, false,
                                "Motörhead - Ace, \"of\" Spades"}));

} // namespace
