// The stream output against a real icecast2 on 127.0.0.1: what listeners hear, the titles they
// see, a server that goes away and comes back, a refused password.
#include "IcecastServer.h"
#include "TestSupport.h"
#include "audio/SoundDevice.h"
#include "audio/StreamTap.h"
#include "core/Types.h"
#include "stream/StreamOutput.h"

#include <QElapsedTimer>
#include <QThread>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>

using namespace corvalin;
using namespace corvalin::test;

namespace {

const QString kMount = QStringLiteral("/radio");
constexpr double kToneAmplitude = 16000.0;

// One second of a 1 kHz tone, looping on `device`.
std::unique_ptr<SoundBuffer> playTone(SoundDevice& device) {
    std::int32_t result = -1;
    auto buffer = device.createBuffer(PcmFormat{}, 44100 * 4, &result);
    EXPECT_EQ(result, kSoundOk);
    if (!buffer)
        return buffer;
    void *p1, *p2;
    std::uint32_t l1, l2;
    EXPECT_EQ(buffer->Lock(0, buffer->size(), &p1, &l1, &p2, &l2), kSoundOk);
    auto* s = static_cast<std::int16_t*>(p1);
    for (int i = 0; i < 44100; ++i) {
        const auto v = static_cast<std::int16_t>(
            std::lrint(kToneAmplitude * std::sin(2.0 * M_PI * 1000.0 * i / 44100.0)));
        s[2 * i] = v;
        s[2 * i + 1] = v;
    }
    EXPECT_EQ(buffer->Unlock(p1, l1, p2, l2), kSoundOk);
    buffer->Play();
    return buffer;
}

StreamSettings settingsFor(const IcecastServer& server, const QString& format, int bitrate) {
    StreamSettings s;
    s.Enabled = true;
    s.Host = QStringLiteral("127.0.0.1");
    s.Port = server.port();
    s.Mount = kMount;
    s.Password = IcecastServer::kSourcePassword;
    s.Format = format;
    s.Bitrate = bitrate;
    s.Description = QStringLiteral("Tests");
    s.Genre = QStringLiteral("Tones");
    return s;
}

QString url(const IcecastServer& server) {
    return QStringLiteral("http://127.0.0.1:%1%2").arg(server.port()).arg(kMount);
}

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
    return c.titleInStatus ? server.title(kMount) : listenerTitle(url(server));
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

    const StreamCapture capture = captureStream(url(server), 3.0);
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

    device->setStreamTap(nullptr);
    stream.reset();
    tone.reset();
    const double seconds = static_cast<double>(airTime.elapsed()) / 1000.0;
    device.reset(); // closes the WAV
    // The air went on all the while: as long as the run, and never a silent gap.
    const std::vector<std::int16_t> air = wavSamples(wav);
    const double recorded = static_cast<double>(air.size() / 2) / 44100.0;
    EXPECT_NEAR(recorded, seconds, 1.0);
    std::size_t longestSilence = 0, silence = 0;
    for (std::size_t i = 2 * 4410; i < air.size(); i += 2) { // after the first 0.1 s
        silence = std::abs(air[i]) < 100 ? silence + 1 : 0;
        longestSilence = std::max(longestSilence, silence);
    }
    EXPECT_LT(longestSilence, 10u); // a 1 kHz tone crosses zero, it never rests
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

struct TitleCase {
    const char* artist;
    const char* title;
    bool theArtist;
    bool theTitle;
    bool neverAnnounce;
    const char* expected;
};

void PrintTo(const TitleCase& c, std::ostream* os) {
    *os << c.expected;
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
