// The [Stream] and [Log] settings as the settings store reads and writes them.
#include "TestSupport.h"
#include "core/CredentialsStore.h"
#include "core/IniFile.h"
#include "station/SettingsStore.h"
#include "stream/StreamOutput.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTcpServer>
#include <QTime>
#include <gtest/gtest.h>
#include <memory>

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
    EXPECT_FALSE(s.Streams[0].Enabled);
    EXPECT_EQ(s.Streams[0].Port, 8000);
    EXPECT_EQ(s.Streams[0].Mount, QStringLiteral("/radio"));
    EXPECT_EQ(s.Streams[0].User, QStringLiteral("source"));
    EXPECT_EQ(s.Streams[0].Format, QStringLiteral("mp3"));
    EXPECT_EQ(s.Streams[0].Bitrate, 128);
    EXPECT_TRUE(s.Streams[0].Name.isEmpty()); // the station's name stands in
    EXPECT_FALSE(s.Streams[0].Public);
    EXPECT_TRUE(s.LogEnabled);
    EXPECT_EQ(s.LogKeepDays, 90);
}

TEST_F(StreamSettingsStore, ManagerOKWritesThemAndThePrivateStoreStaysPrivate) {
    StationSettings s = defaultSettings(program.path(), QTime(9, 0));
    s.SameSettings = false;
    s.Streams[0].Enabled = true;
    s.Streams[0].Host = QStringLiteral("icecast.example.org");
    s.Streams[0].Port = 8443;
    s.Streams[0].Mount = QStringLiteral("/z99.opus");
    s.Streams[0].User = QStringLiteral("dj");
    s.Streams[0].Password = QStringLiteral("s3cret;=x");
    s.Streams[0].Format = QStringLiteral("opus");
    s.Streams[0].Bitrate = 96;
    s.Streams[0].Name = QStringLiteral("Z99 Online");
    s.Streams[0].Description = QStringLiteral("Rock, all day");
    s.Streams[0].Genre = QStringLiteral("Rock");
    s.Streams[0].Public = true;
    s.LogEnabled = false;
    s.LogKeepDays = 30;
    ASSERT_TRUE(SettingsStore(paths()).writeManagerOK(s));
    const StationSettings back = readBack();
    EXPECT_EQ(back.Streams[0], s.Streams[0]);
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
        const QString third = QStringLiteral("Stream3");
        ini.writeInteger(third, QStringLiteral("Port"), 0);
        ini.writeInteger(third, QStringLiteral("Bitrate"), 999);
        ini.writeString(third, QStringLiteral("Format"), QStringLiteral("OPUS"));
    }));
    const StationSettings s = readBack();
    EXPECT_EQ(s.Streams[0].Port, 65535);
    EXPECT_EQ(s.Streams[0].Bitrate, 32);
    EXPECT_EQ(s.Streams[0].Format, QStringLiteral("mp3"));
    EXPECT_EQ(s.LogKeepDays, 1);
    EXPECT_EQ(s.Streams[2].Port, 1);
    EXPECT_EQ(s.Streams[2].Bitrate, 320);
    EXPECT_EQ(s.Streams[2].Format, QStringLiteral("opus"));
}

// ---------------------------------------------------------------------------------------------
// The password: never in a settings file

const QString kSecret = QStringLiteral("s3cret;=x");
const QString kPassword = QStringLiteral("Password");

QString fileText(const QString& path) {
    return QString::fromUtf8(readWholeFile(path));
}

// An installed station's settings: the shared file in a system-wide folder of its own (as
// /etc/xdg/CorvalinRadio/), everything else in the test's folders. The store's notices are kept.
struct Station {
    TempFolder program;
    TempFolder config;
    TempFolder etc;
    QString systemCredentials;
    QStringList notices;

    SettingsPaths paths() const {
        SettingsPaths p{program.path(), config.path()};
        p.sharedFolder = etc.file(QStringLiteral("xdg/CorvalinRadio/"));
        p.systemCredentials = systemCredentials;
        return p;
    }
    SettingsStore store() {
        return SettingsStore(paths(), [this](const QString& line) { notices << line; });
    }
    StationSettings readBack(bool same) {
        StationSettings s = defaultSettings(program.path(), QTime(9, 0));
        s.SameSettings = same;
        store().readIni(s, QTime(9, 0));
        return s;
    }
    // A store file as an older version left it: readable by everyone, with the password.
    void writeOldStore(bool same, const QString& password) const {
        const QString file = paths().storeFile(same);
        ASSERT_TRUE(QDir().mkpath(QFileInfo(file).absolutePath()));
        QByteArray text = "[Screen]\r\nSameSettings=" + QByteArray(same ? "1" : "0") +
                          "\r\n\r\n[Stream]\r\nEnabled=1\r\nHost=ice.example.org\r\n";
        text += "Password=" + password.toUtf8() + "\r\nBitrate=96\r\n\r\n";
        writeWholeFile(file, text);
        ASSERT_TRUE(QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                    QFileDevice::ReadGroup |
                                                    QFileDevice::ReadOther));
    }
};

TEST(SecretsInStore, ManagerOKKeepsThePasswordInAPrivateFileBesideEitherStore) {
    for (const bool same : {true, false}) {
        SCOPED_TRACE(same ? "same settings for all users" : "settings per user");
        Station st;
        st.writeOldStore(true, QString()); // a readable shared file around, as installed
        StationSettings s = defaultSettings(st.program.path(), QTime(9, 0));
        s.SameSettings = same;
        s.Streams[0].Enabled = true;
        s.Streams[0].Host = QStringLiteral("ice.example.org");
        s.Streams[0].Password = kSecret;
        ASSERT_TRUE(st.store().writeManagerOK(s));

        const SettingsPaths paths = st.paths();
        const QString credentials = paths.credentialsFile(same);
        EXPECT_EQ(QFileInfo(credentials).absolutePath(),
                  QFileInfo(paths.storeFile(same)).absolutePath());
        EXPECT_EQ(QFileInfo(credentials).fileName(), QStringLiteral("Credentials.ini"));
        for (const QString& file : {paths.sharedFile(), paths.perUserFile()}) {
            if (!QFileInfo::exists(file))
                continue;
            EXPECT_FALSE(fileText(file).contains(kSecret)) << file.toStdString();
            EXPECT_TRUE(IniFile::load(file).readString(kStreamSection, kPassword, {}).isEmpty());
        }
        EXPECT_EQ(modeOf(paths.sharedFile()), 0644u) << "everyone still reads the settings";
        EXPECT_EQ(modeOf(credentials), 0600u);
        EXPECT_EQ(IniFile::load(credentials).value(kStreamSection, kPassword), kSecret);
        if (!same) {
            EXPECT_EQ(modeOf(paths.perUserFile()), 0600u);
            EXPECT_EQ(modeOf(paths.perUserFolder()), 0700u);
        }
        EXPECT_EQ(st.readBack(same).Streams[0], s.Streams[0]) << "the next start reads it back";

        // Changed, then cleared: the file stays private; an empty password is no key.
        s.Streams[0].Password = QStringLiteral("second");
        ASSERT_TRUE(st.store().writeManagerOK(s));
        EXPECT_EQ(st.readBack(same).Streams[0].Password, QStringLiteral("second"));
        EXPECT_EQ(modeOf(credentials), 0600u);
        s.Streams[0].Password.clear();
        ASSERT_TRUE(st.store().writeManagerOK(s));
        EXPECT_TRUE(st.readBack(same).Streams[0].Password.isEmpty());
        EXPECT_FALSE(IniFile::load(credentials).hasKey(kStreamSection, kPassword));
        EXPECT_TRUE(st.notices.isEmpty()) << st.notices.join(QLatin1Char('\n')).toStdString();
    }
}

TEST(SecretsInStore, AnOldPasswordInASettingsFileIsMovedOutAndStillUsed) {
    enum class When { AtStart, AtOKOfThatStore, AtOKOfTheOtherStore };
    struct Case {
        const char* name;
        bool oldInShared;
        When when;
    };
    const Case cases[] = {
        {"shared file, at start", true, When::AtStart},
        {"per-user file, at start", false, When::AtStart},
        {"shared file, at OK keeping shared settings", true, When::AtOKOfThatStore},
        {"shared file, at OK choosing settings per user", true, When::AtOKOfTheOtherStore},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Station st;
        st.writeOldStore(c.oldInShared, kSecret);
        if (!c.oldInShared)
            st.writeOldStore(true, QString()); // the switch: settings per user
        const QString from = st.paths().storeFile(c.oldInShared);
        const QString to = st.paths().credentialsFile(c.oldInShared);
        EXPECT_EQ(st.readBack(c.oldInShared).Streams[0].Password, kSecret)
            << "read before it moves";

        if (c.when == When::AtStart) {
            ASSERT_TRUE(st.store().moveSecretsOut(c.oldInShared));
        } else {
            StationSettings s = st.readBack(c.oldInShared);
            s.SameSettings = c.when == When::AtOKOfThatStore ? c.oldInShared : !c.oldInShared;
            ASSERT_TRUE(st.store().writeManagerOK(s));
        }
        EXPECT_FALSE(fileText(from).contains(kSecret));
        const IniFile left = IniFile::load(from);
        EXPECT_FALSE(left.hasKey(kStreamSection, kPassword));
        EXPECT_EQ(left.value(kStreamSection, QStringLiteral("Host")),
                  QStringLiteral("ice.example.org"))
            << "the other settings stay";
        if (c.oldInShared) {
            EXPECT_EQ(modeOf(from), 0644u) << "everyone still reads the other settings";
        }
        EXPECT_EQ(modeOf(to), 0600u);
        EXPECT_EQ(IniFile::load(to).value(kStreamSection, kPassword), kSecret);
        EXPECT_EQ(st.readBack(c.oldInShared).Streams[0].Password, kSecret);
        // Where it went is said once; the password never.
        ASSERT_EQ(st.notices.size(), 1) << st.notices.join(QLatin1Char('\n')).toStdString();
        EXPECT_TRUE(st.notices[0].contains(from) && st.notices[0].contains(to))
            << st.notices[0].toStdString();
        EXPECT_FALSE(st.notices[0].contains(kSecret));
        // Nothing is left to move.
        ASSERT_TRUE(st.store().moveSecretsOut(c.oldInShared));
        EXPECT_EQ(st.notices.size(), 1);
    }
}

TEST(SecretsInStore, APasswordThatCannotBeMovedIsToldAndKept) {
    Station st;
    st.writeOldStore(true, kSecret);
    // Something that is no file stands where the credentials would go.
    ASSERT_TRUE(QDir().mkpath(st.paths().credentialsFile(true)));
    EXPECT_FALSE(st.store().moveSecretsOut(true));
    ASSERT_EQ(st.notices.size(), 1);
    EXPECT_TRUE(st.notices[0].contains(QStringLiteral("could not be moved")))
        << st.notices[0].toStdString();
    EXPECT_TRUE(st.notices[0].contains(st.paths().sharedFile())) << st.notices[0].toStdString();
    EXPECT_FALSE(st.notices[0].contains(kSecret));
    EXPECT_EQ(st.readBack(true).Streams[0].Password, kSecret) << "not lost";
    // OK does not store the settings then either: the password would stay where it is.
    EXPECT_FALSE(st.store().writeManagerOK(st.readBack(true)));
}

TEST(SecretsInStore, TheServiceManagersPasswordIsUsedAndNeverCopied) {
    for (const bool same : {true, false}) {
        SCOPED_TRACE(same ? "same settings for all users" : "settings per user");
        Station st;
        TempFolder given;
        st.systemCredentials = given.path();
        writeWholeFile(given.file(QStringLiteral("stream-password")), "from-the-unit\n");
        StationSettings s = st.readBack(same);
        EXPECT_EQ(s.Streams[0].Password, QStringLiteral("from-the-unit"));
        ASSERT_TRUE(st.store().writeManagerOK(s));
        EXPECT_FALSE(QFileInfo::exists(st.paths().credentialsFile(same)));
        EXPECT_FALSE(fileText(st.paths().storeFile(same)).contains(s.Streams[0].Password));
    }
    TempFolder given;
    EXPECT_EQ(readSystemCredential(given.path(), QStringLiteral("missing")), std::nullopt);
    EXPECT_EQ(readSystemCredential(QString(), QStringLiteral("stream-password")), std::nullopt);
    writeWholeFile(given.file(QStringLiteral("crlf")), "a b\r\n");
    EXPECT_EQ(readSystemCredential(given.path(), QStringLiteral("crlf")), QStringLiteral("a b"));
}

TEST(SecretsInStore, EachOutputHasItsOwnSectionAndPassword) {
    struct Case {
        std::size_t output;
        const char* section;
        bool same;
    };
    const Case cases[] = {{0, "Stream", false}, {1, "Stream2", true}, {2, "Stream3", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.section);
        Station st;
        // The service manager's password is the first output's only (and wins over a stored one).
        TempFolder given;
        if (c.output != 0) {
            st.systemCredentials = given.path();
            writeWholeFile(given.file(QStringLiteral("stream-password")), "from-the-unit\n");
        }
        StationSettings s = st.readBack(c.same);
        for (std::size_t i = 0; i < kStreamOutputCount; ++i)
            EXPECT_EQ(s.Streams[i].Password,
                      i == 0 && c.output != 0 ? QStringLiteral("from-the-unit") : QString());
        StreamSettings& out = s.Streams[c.output];
        out.Enabled = true;
        out.Host = QStringLiteral("relay%1.example.org").arg(c.output);
        out.Port = 8100 + static_cast<int>(c.output);
        out.Mount = QStringLiteral("/low.opus");
        out.Format = kStreamFormatOpus;
        out.Bitrate = 48;
        out.Url = QStringLiteral("https://z99.example.org/");
        out.Public = true;
        const QString secret = kSecret + QString::number(c.output);
        out.Password = secret;
        ASSERT_TRUE(st.store().writeManagerOK(s));

        const StationSettings back = st.readBack(c.same);
        EXPECT_EQ(back.Streams, s.Streams);
        const QString file = st.paths().storeFile(c.same);
        const IniFile ini = IniFile::load(file);
        EXPECT_FALSE(fileText(file).contains(secret));
        EXPECT_EQ(ini.value(QLatin1String(c.section), QStringLiteral("URL")),
                  QStringLiteral("https://z99.example.org/"));
        EXPECT_TRUE(ini.hasSection(kStreamSection)) << "the first output is always written";
        for (std::size_t i = 1; i < kStreamOutputCount; ++i)
            EXPECT_EQ(ini.hasSection(kStreamSections[i]), i == c.output)
                << "an output never set up adds no section";
        const QString credentials = st.paths().credentialsFile(c.same);
        EXPECT_EQ(modeOf(credentials), 0600u);
        for (std::size_t i = 0; i < kStreamOutputCount; ++i)
            EXPECT_EQ(IniFile::load(credentials).value(kStreamSections[i], kPassword),
                      i == c.output ? std::optional<QString>(secret) : std::nullopt)
                << kStreamSections[i].toStdString();
        EXPECT_TRUE(st.notices.isEmpty()) << st.notices.join(QLatin1Char('\n')).toStdString();
    }
}

TEST(SecretsInStore, OldPasswordsOfEveryOutputAreMovedOutEachToItsSection) {
    Station st;
    st.writeOldStore(true, kSecret);
    QByteArray more = readWholeFile(st.paths().sharedFile());
    more += "[Stream2]\r\nHost=relay.example.org\r\nPassword=two\r\n\r\n"
            "[Stream3]\r\nPassword=three\r\nURL= https://z99.example.org \r\n";
    writeWholeFile(st.paths().sharedFile(), more);
    const StationSettings s = st.readBack(true);
    EXPECT_EQ(s.Streams[0].Password, kSecret);
    EXPECT_EQ(s.Streams[1].Password, QStringLiteral("two"));
    EXPECT_EQ(s.Streams[1].Host, QStringLiteral("relay.example.org"));
    EXPECT_EQ(s.Streams[2].Password, QStringLiteral("three"));
    EXPECT_EQ(s.Streams[2].Url, QStringLiteral("https://z99.example.org"));

    ASSERT_TRUE(st.store().moveSecretsOut(true));
    const IniFile left = IniFile::load(st.paths().sharedFile());
    const IniFile credentials = IniFile::load(st.paths().credentialsFile(true));
    const QString expected[] = {kSecret, QStringLiteral("two"), QStringLiteral("three")};
    for (std::size_t i = 0; i < kStreamOutputCount; ++i) {
        EXPECT_FALSE(left.hasKey(kStreamSections[i], kPassword));
        EXPECT_EQ(credentials.value(kStreamSections[i], kPassword), expected[i]);
    }
    EXPECT_EQ(modeOf(st.paths().credentialsFile(true)), 0600u);
    EXPECT_EQ(st.readBack(true).Streams, s.Streams);
    ASSERT_EQ(st.notices.size(), 3) << st.notices.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(st.notices[1].contains(QStringLiteral("[Stream2]")));
    for (const QString& notice : st.notices)
        for (const QString& secret : expected)
            EXPECT_FALSE(notice.contains(secret));
}

TEST(CredentialsFile, IsWrittenPrivateWhateverWasThereAndNeverOverAnUnreadableOne) {
    TempFolder folder;
    const QString file = folder.file(QStringLiteral("own/Credentials.ini"));
    const CredentialsStore store(file, CredentialsStore::Folder::Private);
    const QString token = QStringLiteral("Remote");
    EXPECT_TRUE(store.write(token, QStringLiteral("Token"), QString()));
    EXPECT_FALSE(QFileInfo::exists(file)) << "no file for nothing";
    ASSERT_TRUE(store.write(kStreamSection, kPassword, kSecret));
    EXPECT_EQ(modeOf(folder.file(QStringLiteral("own"))), 0700u);
    EXPECT_EQ(modeOf(file), 0600u);

    // Someone made it readable: the next write makes it private again, keeping the other secret.
    ASSERT_TRUE(QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                QFileDevice::ReadOther));
    ASSERT_TRUE(store.write(token, QStringLiteral("Token"), QStringLiteral("t0k")));
    EXPECT_EQ(modeOf(file), 0600u);
    EXPECT_EQ(store.read(kStreamSection, kPassword), kSecret);
    EXPECT_EQ(store.read(token, QStringLiteral("Token")), QStringLiteral("t0k"));
    ASSERT_TRUE(store.write(kStreamSection, kPassword, QString()));
    EXPECT_EQ(store.read(kStreamSection, kPassword), std::nullopt);
    EXPECT_EQ(store.read(token, QStringLiteral("Token")), QStringLiteral("t0k"));

    // A folder where the file should be: neither read nor replaced.
    const QString blocked = folder.file(QStringLiteral("blocked.ini"));
    ASSERT_TRUE(QDir().mkpath(blocked));
    const CredentialsStore unreadable(blocked, CredentialsStore::Folder::Shared);
    QString error;
    EXPECT_EQ(unreadable.read(token, QStringLiteral("Token"), &error), std::nullopt);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(unreadable.write(token, QStringLiteral("Token"), QStringLiteral("x")));
    EXPECT_TRUE(QFileInfo(blocked).isDir());
}

TEST(StreamSettingsText, EveryChangeOfStateIsOneLineForTheJournal) {
    StreamStatus off;
    StreamStatus connecting = off;
    connecting.state = StreamState::Connecting;
    connecting.place = QStringLiteral("127.0.0.1:8000/radio");
    connecting.format = QStringLiteral("MP3 128 kbit/s");
    StreamStatus connected = connecting;
    connected.state = StreamState::Connected;
    StreamStatus lost = connected;
    lost.state = StreamState::Failed;
    lost.reason = QStringLiteral("Broken pipe");
    lost.retryInSeconds = 1;
    StreamStatus retried = lost;
    retried.retryInSeconds = 2;
    StreamStatus noServer = off;
    noServer.state = StreamState::Failed;
    noServer.reason = QStringLiteral("no server is named");
    struct Case {
        const StreamStatus& before;
        const StreamStatus& now;
        const char* line;
    };
    const Case cases[] = {
        {off, connecting, ""},
        {connecting, connected, "stream connected: 127.0.0.1:8000/radio, MP3 128 kbit/s"},
        {connected, connected, ""},
        {connected, lost, "stream lost: Broken pipe (127.0.0.1:8000/radio); trying again in 1 s"},
        {connecting, retried,
         "stream failed: Broken pipe (127.0.0.1:8000/radio); trying again in 2 s"},
        {retried, retried, ""},
        {off, noServer, "stream failed: no server is named"},
        {connected, off, "stream off"},
        {off, off, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(streamLogLine(c.before, c.now), QString::fromUtf8(c.line));
    }
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

// A server that takes the connection but never answers: each attempt gives up at the output's
// time limit, the waits between attempts still grow (an attempt that never connected is no
// connection that lasted), and the output ends at once while it waits for the answer.
TEST(StreamRetries, AServerThatNeverAnswersIsGivenUpOnAndRetriedLessOften) {
    QTcpServer silent; // never reads, never answers
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    auto stream = std::make_unique<StreamOutput>();
    StreamSettings s;
    s.Enabled = true;
    s.Host = QStringLiteral("127.0.0.1");
    s.Port = silent.serverPort();
    s.Password = QStringLiteral("secret");
    stream->configure(s, QStringLiteral("Radio"));
    auto reached = [&](StreamState state, int attempt) {
        return waitFor(
            [&] {
                const StreamStatus now = stream->status();
                return now.state == state && now.attempts == attempt;
            },
            30000);
    };
    ASSERT_TRUE(reached(StreamState::Failed, 1))
        << streamStatusText(stream->status()).toStdString();
    EXPECT_EQ(stream->status().reason, QStringLiteral("the server did not answer in time"));
    EXPECT_EQ(stream->status().retryInSeconds, 1);
    ASSERT_TRUE(reached(StreamState::Failed, 2))
        << streamStatusText(stream->status()).toStdString();
    EXPECT_EQ(stream->status().retryInSeconds, 2);
    EXPECT_EQ(stream->status().connections, 0);

    ASSERT_TRUE(reached(StreamState::Connecting, 3));
    QElapsedTimer shutdown;
    shutdown.start();
    stream.reset();
    EXPECT_LT(shutdown.elapsed(), 3000);
}

} // namespace
