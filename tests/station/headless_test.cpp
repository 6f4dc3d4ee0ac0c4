// --headless: the whole station without a window on a machine without a display, recorded with
// the wav: output and heard; and the view that stands in for the window.
#include "ProgramProcess.h"
#include "TestSupport.h"
#include "station/HeadlessView.h"
#include "station/SettingsStore.h"

#include <QDir>
#include <QRegularExpression>
#include <csignal>
#include <gtest/gtest.h>

using namespace corvalin;
using namespace corvalin::test;
using namespace Qt::StringLiterals;

namespace {

TEST(HeadlessView, KeepsWhatTheLogicSetsAndLogsBoxesInOneLine) {
    QStringList lines;
    HeadlessView view([&lines](const QString& line) { lines << line; });
    view.setButtonEnabled(TransportButton::Play, true);
    EXPECT_TRUE(view.isButtonEnabled(TransportButton::Play));
    EXPECT_FALSE(view.isButtonEnabled(TransportButton::Next));
    view.setTransportDown(TransportButton::Play);
    EXPECT_TRUE(view.isButtonDown(TransportButton::Play));
    EXPECT_FALSE(view.isButtonDown(TransportButton::Stop));
    view.setTransportDown(TransportButton::Next); // never shown down
    EXPECT_TRUE(view.isButtonDown(TransportButton::Play));

    view.setVolumeRange(VolumeSlider::Player, -5000, 0, 100);
    view.setVolume(VolumeSlider::Player, -500);
    EXPECT_EQ(view.volume(VolumeSlider::Player), -500);
    view.setVolume(VolumeSlider::Player, 300);
    EXPECT_EQ(view.volume(VolumeSlider::Player), 0);
    view.setWindowPosition(40, 50);
    EXPECT_EQ(view.windowTop(), 40);
    EXPECT_EQ(view.windowLeft(), 50);

    view.showMessage(MessageKind::Warning, u"Warning"_s, u"No voices.\rPlay still works."_s);
    view.showTimerBox(u"Cannot play\rthe song."_s, u"Corvalin Radio"_s, 5000);
    EXPECT_EQ(lines, (QStringList{u"Warning: No voices. Play still works."_s,
                                  u"Corvalin Radio: Cannot play the song."_s}));

    // Nobody answers the zip code prompt: it gets what an empty answer gives.
    StationSettings settings;
    view.askZipCode(settings);
    EXPECT_EQ(settings.ZipCode, u"90210"_s);
    EXPECT_TRUE(settings.News.WeatherURL.contains(u"90210"_s))
        << settings.News.WeatherURL.toStdString();
    EXPECT_EQ(lines.size(), 3);
}

// The RMS amplitude sox measures over a whole file.
double rmsAmplitude(const QString& wav) {
    QProcess sox;
    sox.start(u"sox"_s, {wav, u"-n"_s, u"stat"_s});
    if (!sox.waitForFinished(60000))
        return -1;
    const QString text = QString::fromUtf8(sox.readAllStandardError());
    const QRegularExpressionMatch m =
        QRegularExpression(u"RMS\\s+amplitude:\\s+([0-9.]+)"_s).match(text);
    return m.hasMatch() ? m.captured(1).toDouble() : -1;
}

TEST(Headless, RunsWithoutADisplayIsHeardAndEndsOnTermination) {
    TempFolder root;
    for (const char* folder : {"home", "config/CorvalinRadio", "data", "run"})
        ASSERT_TRUE(QDir().mkpath(root.file(QString::fromLatin1(folder))));
    QFile::setPermissions(root.file(u"run"_s),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const QString ini = root.file(u"config/CorvalinRadio/CorvalinRadio.ini"_s);
    // No zip code stored: --zip gives it. No news (no network in tests).
    writeWholeFile(ini, "[DJ5]\r\nReadNews=0\r\nReadWeather=0\r\nFrequencyType=3\r\n");
    const QString wav = root.file(u"station.wav"_s);
    const QString trace = root.file(u"trace.txt"_s);

    QProcess p;
    QProcessEnvironment env = stationEnvironment(root.path(), u"wav:"_s + wav);
    env.insert(u"CORVALIN_TRACE"_s, trace);
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::ForwardedOutputChannel);
    p.start(QStringLiteral(CORVALIN_PROGRAM), {u"--headless"_s, u"--zip"_s, u"10001"_s});
    ASSERT_TRUE(p.waitForStarted());

    ASSERT_TRUE(waitFor([&] { return readWholeFile(trace).contains(" song-start"); }, 60000))
        << readWholeFile(trace).toStdString() << p.readAllStandardError().toStdString();
    // A few seconds of the song in the recording.
    const qint64 atStart = QFileInfo(wav).size();
    ASSERT_TRUE(waitFor([&] { return QFileInfo(wav).size() > atStart + 4 * 44100 * 4; }, 30000));
    EXPECT_TRUE(readWholeFile(ini).contains("Restart=1"));

    ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
    ASSERT_TRUE(p.waitForFinished(30000)) << "still running after SIGTERM";
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0);
    const QString err = QString::fromLocal8Bit(p.readAllStandardError());
    // No prompt was needed: the zip code came from the command line.
    EXPECT_FALSE(err.contains(u"zip code"_s)) << err.toStdString();
    const QByteArray saved = readWholeFile(ini);
    EXPECT_TRUE(saved.contains("ZipCode=10001")) << saved.toStdString();
    EXPECT_TRUE(saved.contains("Restart=0")) << saved.toStdString();
    // The first activation ran once, without a window.
    EXPECT_EQ(readWholeFile(trace).count(" window-shown"), 1);

    const double rms = rmsAmplitude(wav);
    EXPECT_GT(rms, 0.01) << "the recording is silent";
}

// The device named in the settings is the one opened when CORVALIN_AUDIO names none; one that is
// not there gives the silent fallback with the reason.
TEST(Headless, OpensTheSoundDeviceNamedInTheSettings) {
    TempFolder root;
    for (const char* folder : {"home", "config/CorvalinRadio", "data", "run"})
        ASSERT_TRUE(QDir().mkpath(root.file(QString::fromLatin1(folder))));
    QFile::setPermissions(root.file(u"run"_s),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    writeWholeFile(root.file(u"config/CorvalinRadio/CorvalinRadio.ini"_s),
                   "[DJ5]\r\nZipCode=10001\r\nReadNews=0\r\nReadWeather=0\r\nFrequencyType=3\r\n"
                   "[Sound]\r\nDevice=Corvalin Card Nowhere\r\n");
    QProcess p;
    QProcessEnvironment env = stationEnvironment(root.path());
    env.remove(u"CORVALIN_AUDIO"_s);
    const QString trace = root.file(u"trace.txt"_s);
    env.insert(u"CORVALIN_TRACE"_s, trace);
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(CORVALIN_PROGRAM), {u"--headless"_s});
    ASSERT_TRUE(p.waitForStarted());
    QByteArray err;
    const bool said = waitFor(
        [&] {
            err += p.readAllStandardError();
            return err.contains("no sound output") &&
                   readWholeFile(trace).contains(" window-shown");
        },
        30000);
    ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
    ASSERT_TRUE(p.waitForFinished(30000));
    err += p.readAllStandardError();
    ASSERT_TRUE(said) << err.toStdString();
    EXPECT_TRUE(err.contains("no sound device named \"Corvalin Card Nowhere\""))
        << err.toStdString();
    EXPECT_EQ(p.exitCode(), 0);
}

} // namespace
