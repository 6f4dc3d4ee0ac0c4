// The [Stream] and [Log] settings as the settings store reads and writes them.
#include "TestSupport.h"
#include "core/IniFile.h"
#include "station/SettingsStore.h"
#include "stream/StreamOutput.h"

#include <QTime>
#include <gtest/gtest.h>

using namespace corvalin;
using namespace corvalin::test;

namespace {

class StreamSettingsStore : public ::testing::Test {
protected:
    SettingsPaths paths() const { return SettingsPaths{program.path(), config.path()}; }
    StationSettings readBack() const {
        StationSettings s = defaultSettings(program.path(), QTime(9, 0));
        s.SameSettings = false;
        SettingsStore(paths()).readIni(s, QTime(9, 0));
        return s;
    }
    TempFolder program;
    TempFolder config;
};

TEST_F(StreamSettingsStore, DefaultsWhenNothingIsStored) {
    const StationSettings s = readBack();
    EXPECT_FALSE(s.Stream.Enabled);
    EXPECT_EQ(s.Stream.Port, 8000);
    EXPECT_EQ(s.Stream.Mount, QStringLiteral("/radio"));
    EXPECT_EQ(s.Stream.User, QStringLiteral("source"));
    EXPECT_EQ(s.Stream.Format, QStringLiteral("mp3"));
    EXPECT_EQ(s.Stream.Bitrate, 128);
    EXPECT_TRUE(s.Stream.Name.isEmpty()); // the station's name stands in
    EXPECT_FALSE(s.Stream.Public);
    EXPECT_TRUE(s.LogEnabled);
    EXPECT_EQ(s.LogKeepDays, 90);
}

TEST_F(StreamSettingsStore, ManagerOKWritesThemAndThePrivateStoreStaysPrivate) {
    StationSettings s = defaultSettings(program.path(), QTime(9, 0));
    s.SameSettings = false;
    s.Stream.Enabled = true;
    s.Stream.Host = QStringLiteral("icecast.example.org");
    s.Stream.Port = 8443;
    s.Stream.Mount = QStringLiteral("/z99.opus");
    s.Stream.User = QStringLiteral("dj");
    s.Stream.Password = QStringLiteral("s3cret;=x");
    s.Stream.Format = QStringLiteral("opus");
    s.Stream.Bitrate = 96;
    s.Stream.Name = QStringLiteral("Z99 Online");
    s.Stream.Description = QStringLiteral("Rock, all day");
    s.Stream.Genre = QStringLiteral("Rock");
    s.Stream.Public = true;
    s.LogEnabled = false;
    s.LogKeepDays = 30;
    ASSERT_TRUE(SettingsStore(paths()).writeManagerOK(s));
    const StationSettings back = readBack();
    EXPECT_EQ(back.Stream, s.Stream);
    EXPECT_FALSE(back.LogEnabled);
    EXPECT_EQ(back.LogKeepDays, 30);
    EXPECT_EQ(modeOf(paths().perUserFile()), 0600u);
    EXPECT_EQ(modeOf(paths().perUserFolder()), 0700u);
}

TEST_F(StreamSettingsStore, ValuesNoControlCanHoldAreBroughtInside) {
    ASSERT_TRUE(SettingsStore(paths()).update(false, [](IniFile& ini) {
        const QString k = QStringLiteral("Stream");
        ini.writeInteger(k, QStringLiteral("Port"), 70000);
        ini.writeInteger(k, QStringLiteral("Bitrate"), 5);
        ini.writeString(k, QStringLiteral("Format"), QStringLiteral("flac"));
        ini.writeInteger(QStringLiteral("Log"), QStringLiteral("KeepDays"), -4);
    }));
    const StationSettings s = readBack();
    EXPECT_EQ(s.Stream.Port, 65535);
    EXPECT_EQ(s.Stream.Bitrate, 32);
    EXPECT_EQ(s.Stream.Format, QStringLiteral("mp3"));
    EXPECT_EQ(s.LogKeepDays, 1);
}

TEST(StreamSettingsText, ThePasswordIsNeverShown) {
    StreamSettings s;
    s.Host = QStringLiteral("127.0.0.1");
    s.Password = QStringLiteral("topsecret");
    StreamStatus status;
    status.place = streamPlace(normalisedStreamSettings(s));
    status.state = StreamState::Failed;
    status.reason = QStringLiteral("the server refused the user name or password");
    status.retryInSeconds = 4;
    const QString text = streamStatusText(status);
    EXPECT_EQ(text, QStringLiteral("Stream failed: the server refused the user name or password "
                                   "(127.0.0.1:8000/radio); trying again in 4 s"));
    EXPECT_FALSE(text.contains(s.Password));
}

TEST(StreamSettingsText, NormalisedForTheEncoder) {
    StreamSettings s;
    s.Host = QStringLiteral(" host ");
    s.Mount = QStringLiteral("live");
    s.Format = QStringLiteral(" OPUS ");
    s.User.clear();
    const StreamSettings n = normalisedStreamSettings(s);
    EXPECT_EQ(n.Host, QStringLiteral("host"));
    EXPECT_EQ(n.Mount, QStringLiteral("/live"));
    EXPECT_EQ(n.Format, QStringLiteral("opus"));
    EXPECT_EQ(n.User, QStringLiteral("source"));
}

} // namespace
