// A second icecast2 that relays the first (a <relay> block in its configuration): listeners on
// the relay hear the station and see its titles change, as on the first server.
#include "IcecastServer.h"
#include "StreamFixtures.h"
#include "TestSupport.h"
#include "audio/SoundDevice.h"
#include "stream/StreamOutput.h"

#include <cmath>
#include <gtest/gtest.h>

using namespace corvalin;
using namespace corvalin::test;

namespace {

const QString kRelayMount = QStringLiteral("/relay");

// The relay server's configuration: the first server's mount, always pulled (not on demand), with
// its inline titles asked for and passed on.
QString relayBlock(quint16 masterPort) {
    return QStringLiteral("<relay><server>127.0.0.1</server><port>%1</port><mount>%2</mount>"
                          "<local-mount>%3</local-mount><on-demand>0</on-demand>"
                          "<relay-shoutcast-metadata>1</relay-shoutcast-metadata></relay>")
        .arg(masterPort)
        .arg(kMount, kRelayMount);
}

struct RelayCase {
    const char* format;
    int rate; // what listeners decode
    // MP3 titles travel as Icecast's inline metadata, which the relay asks for and passes on, and
    // show in both servers' status; Ogg titles travel in the stream's comments.
    bool titleInStatus;
};

void PrintTo(const RelayCase& c, std::ostream* os) {
    *os << c.format;
}

class IcecastRelay : public ::testing::TestWithParam<RelayCase> {};

TEST_P(IcecastRelay, ListenersOnTheRelayHearTheStationWithItsTitles) {
    const RelayCase c = GetParam();
    IcecastServer master;
    ASSERT_TRUE(master.start());
    auto device = SoundDevice::create(QStringLiteral("null"));
    auto tone = playTone(*device);
    StreamOutput stream;
    device->setStreamTap(stream.tap());
    stream.setTitle(QStringLiteral("Alder - One"));
    stream.configure(settingsFor(master, QString::fromLatin1(c.format), 96),
                     QStringLiteral("Radio Relay Test"));
    ASSERT_TRUE(waitFor(
        [&] {
            return c.titleInStatus ? master.title(kMount) == QLatin1String("Alder - One")
                                   : !master.source(kMount).isEmpty();
        },
        15000))
        << streamStatusText(stream.status()).toStdString();

    // The relay pulls the mount from its start on; its listeners need nothing of the first server.
    IcecastServer relay(relayBlock(master.port()));
    ASSERT_TRUE(relay.start());
    ASSERT_TRUE(waitFor([&] { return !relay.source(kRelayMount).isEmpty(); }, 20000))
        << "the relay did not take up " << kMount.toStdString();

    Listener listener;
    const QString opened = listener.open(mountUrl(relay, kRelayMount));
    ASSERT_TRUE(opened.isEmpty()) << opened.toStdString();
    EXPECT_EQ(listener.sampleRate(), c.rate);
    // Two seconds of sound, almost all of it the tone.
    ASSERT_TRUE(listener.readUntil([&] { return listener.samples >= 2 * c.rate; }, 20000))
        << listener.error.toStdString();
    EXPECT_GE(listener.loudSamples, listener.samples - c.rate / 5);
    EXPECT_NEAR(listener.lastRms, kToneAmplitude / 32768.0 / std::sqrt(2.0), 0.05);
    ASSERT_TRUE(
        listener.readUntil([&] { return listener.title() == QLatin1String("Alder - One"); }, 15000))
        << "title seen: " << listener.title().toStdString() << "; " << listener.error.toStdString();

    // A song change on the station reaches the relay's listeners while they listen.
    stream.setTitle(QStringLiteral("Birch & Co - Two"));
    EXPECT_TRUE(listener.readUntil(
        [&] { return listener.title() == QLatin1String("Birch & Co - Two"); }, 20000))
        << "title seen: " << listener.title().toStdString() << "; " << listener.error.toStdString();
    if (c.titleInStatus) {
        EXPECT_TRUE(waitFor(
            [&] { return relay.title(kRelayMount) == QLatin1String("Birch & Co - Two"); }, 10000))
            << relay.title(kRelayMount).toStdString();
    }
    const std::int64_t loudBefore = listener.loudSamples;
    ASSERT_TRUE(
        listener.readUntil([&] { return listener.loudSamples >= loudBefore + c.rate / 2; }, 10000))
        << "the sound stopped after the title changed: " << listener.error.toStdString();
    EXPECT_EQ(stream.status().connections, 1);

    device->setStreamTap(nullptr);
}

INSTANTIATE_TEST_SUITE_P(Formats, IcecastRelay,
                         ::testing::Values(RelayCase{"mp3", 44100, true},
                                           RelayCase{"opus", 48000, false}),
                         [](const auto& param) { return std::string(param.param.format); });

} // namespace
