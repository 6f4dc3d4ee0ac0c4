// Shows the station window with made-up data, moving meters and a running clock, so its look can
// be judged without the station behind it. With --shot FILE it saves a picture of the window
// after a moment and quits.

#include "platform/Version.h"
#include "app/FormCorvalinRadio.h"
#include "app/FormTimerBox.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>
#include <cmath>
#include <vector>

using namespace corvalin;

namespace {

// A stand-in for the level colour rule until the audio side provides it.
std::int32_t previewLevelColour(int percent) {
    const int factor = percent < 10 ? 100 : percent < 50 ? 300 : percent < 90 ? 500 : 650;
    return percent * factor;
}

// A plausible stereo envelope: two beating tones under a slow swell.
struct FakeDeck {
    std::vector<std::uint8_t> max = std::vector<std::uint8_t>(220);
    std::vector<std::uint8_t> min = std::vector<std::uint8_t>(220);

    MeterReading reading(double t, double loudness) {
        float peak[2] = {0, 0};
        for (int column = 0; column < 110; ++column) {
            for (int channel = 0; channel < 2; ++channel) {
                const double phase = t * 9.0 + column * 0.21 + channel * 1.3;
                const double envelope =
                    loudness *
                    (0.55 + 0.35 * std::sin(phase) * std::sin(phase * 0.37 + column * 0.05));
                const double a =
                    std::clamp(envelope * 127.0 * (0.8 + 0.2 * std::sin(column * 1.7)), 0.0, 127.0);
                max[static_cast<std::size_t>(column * 2 + channel)] =
                    static_cast<std::uint8_t>(128 + a);
                min[static_cast<std::size_t>(column * 2 + channel)] =
                    static_cast<std::uint8_t>(128 - a * 0.9);
                peak[channel] = std::max(peak[channel], static_cast<float>(a / 128.0));
            }
        }
        MeterReading r;
        r.channels = 2;
        r.columnCount = 110;
        r.maxValues = max;
        r.minValues = min;
        r.levels[0] = std::sqrt(peak[0]);
        r.levels[1] = std::sqrt(peak[1]);
        return r;
    }
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    QCommandLineOption shot(QStringLiteral("shot"), QStringLiteral("Save a picture and quit."),
                            QStringLiteral("file"));
    parser.addOption(shot);
    QCommandLineOption boxShot(QStringLiteral("box-shot"),
                               QStringLiteral("Save a picture of the self-closing box and quit."),
                               QStringLiteral("file"));
    parser.addOption(boxShot);
    parser.process(app);

    if (parser.isSet(boxShot)) {
        TfrmTimerBox box;
        box.setWindowTitle(QStringLiteral("Error"));
        box.setMessage(QStringLiteral("Unable to open the song file\r/home/radio/MP3 Files/Larks - "
                                      "Morning Rain.mp3\rThe next song is played instead."));
        box.show();
        return box.grab().save(parser.value(boxShot)) ? 0 : 1;
    }

    TfrmCorvalinRadio window(QCoreApplication::applicationDirPath() + QLatin1Char('/'));
    IStationView& view = window;
    window.setLevelColourFunction(previewLevelColour);
    view.setStationTitle(QStringLiteral("WCVR 101.7 FM - The Sound of Corvalin Valley"));
    view.setVersionText(QStringLiteral("Corvalin Radio ver. ") + programVersion() +
                        QLatin1Char(' ') + legalNotice());
    view.setDJName(QStringLiteral("Al Cafe"));
    view.setSlotColour(colours::lime);
    view.setTitleText(1, QStringLiteral("Morning Rain - The Larks"));
    view.setTitleColour(1, colours::lime);
    view.setTitleScrolling(1, true);
    view.setTitleText(2, QStringLiteral("Harbour Lights (Extended Mix) - Nightjar Avenue"));
    view.setTitleColour(2, colours::red);
    view.setTitleScrolling(2, true);
    view.setLengthText(1, QStringLiteral("3:47"));
    view.setRemainingText(1, QStringLiteral("-1:12"));
    view.setPositionPercent(1, 68);
    view.setLengthText(2, QStringLiteral("4:05"));
    view.setRemainingText(2, QStringLiteral("-4:05"));
    view.setPositionPercent(2, 0);
    view.setTransportDown(TransportButton::Play);
    view.setButtonEnabled(TransportButton::Play, false);
    view.setButtonEnabled(TransportButton::DJTest, false);
    view.setDJProgressVisible(true);
    view.setDJProgress(37, 60);
    view.setVolume(VolumeSlider::Player, -500);
    view.setVolumeEnabled(VolumeSlider::DJ, true);
    view.setVolume(VolumeSlider::DJ, 52000);
    view.setVolume(VolumeSlider::Wave, 45500);
    view.clearMeters(2);

    FakeDeck deck;
    double t = 0;
    QTimer meters;
    QObject::connect(&meters, &QTimer::timeout, [&] {
        t += 0.05;
        view.showMeters(1, deck.reading(t, 0.85));
    });
    meters.start(50);
    view.showMeters(1, deck.reading(0, 0.85));
    window.show();

    if (parser.isSet(shot)) {
        const QString file = parser.value(shot);
        QTimer::singleShot(1500, [&] {
            const bool saved = window.grab().save(file);
            QCoreApplication::exit(saved ? 0 : 1);
        });
    }
    return app.exec();
}
