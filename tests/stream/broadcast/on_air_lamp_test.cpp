// The main window's on-air lamp for the stream.
#include "app/FormCorvalinRadio.h"
#include "stream/StreamOutput.h"

#include <QLabel>
#include <array>
#include <gtest/gtest.h>

using namespace corvalin;

namespace {

TEST(OnAirLamp, ShowsTheStreamsStateWithItsHint) {
    TfrmCorvalinRadio window(QStringLiteral("/nonexistent/"));
    window.show();
    ASSERT_NE(window.lOnAir, nullptr);
    EXPECT_FALSE(window.lOnAir->isVisible()); // no stream: no lamp

    StreamStatus s;
    s.place = QStringLiteral("127.0.0.1:8000/radio");
    s.format = QStringLiteral("MP3 128 kbit/s");
    const struct {
        StreamState state;
        const char* colour;
        const char* hint;
    } cases[] = {
        {StreamState::Connecting, "#e0a000", "Stream connecting: 127.0.0.1:8000/radio"},
        {StreamState::Connected, "#00c000", "Stream connected: 127.0.0.1:8000/radio"},
        {StreamState::Failed, "#e00000", "Stream failed: the server refused"},
    };
    for (const auto& c : cases) {
        s.state = c.state;
        s.reason = QStringLiteral("the server refused the user name or password");
        s.retryInSeconds = 2;
        window.showStreamStatus(s);
        EXPECT_TRUE(window.lOnAir->isVisible()) << c.hint;
        EXPECT_TRUE(window.lOnAir->styleSheet().contains(QLatin1String(c.colour))) << c.hint;
        EXPECT_TRUE(window.lOnAir->toolTip().startsWith(QLatin1String(c.hint)))
            << window.lOnAir->toolTip().toStdString();
    }
    EXPECT_TRUE(window.lOnAir->toolTip().contains(QStringLiteral("trying again in 2 s")));

    s.state = StreamState::Off;
    window.showStreamStatus(s);
    EXPECT_FALSE(window.lOnAir->isVisible());
}

TEST(OnAirLamp, WithSeveralOutputsShowsTheWorstAndALineForEach) {
    TfrmCorvalinRadio window(QStringLiteral("/nonexistent/"));
    window.show();
    std::array<StreamStatus, kStreamOutputCount> outputs;
    outputs[0].state = StreamState::Connected;
    outputs[0].place = QStringLiteral("ice.example.org:8000/high.mp3");
    outputs[0].format = QStringLiteral("MP3 128 kbit/s");
    outputs[2].state = StreamState::Failed;
    outputs[2].place = QStringLiteral("relay.example.org:8000/low.opus");
    outputs[2].reason = QStringLiteral("the server has no such mount point");
    window.showStreamStatus(combinedStreamStatus(outputs));
    EXPECT_TRUE(window.lOnAir->isVisible());
    EXPECT_TRUE(window.lOnAir->styleSheet().contains(QLatin1String("#e00000")));
    EXPECT_EQ(window.lOnAir->toolTip(),
              QStringLiteral("Stream connected: ice.example.org:8000/high.mp3, MP3 128 kbit/s\n"
                             "Stream failed: the server has no such mount point "
                             "(relay.example.org:8000/low.opus)"));
}

} // namespace
