// The remote web page: its settings and token, and a real headless station with the page on, read
// and steered by curl, raw sockets and a real headless Chromium.
#include "ProgramProcess.h"
#include "TestSupport.h"
#include "remote/RemoteServer.h"
#include "station/RemoteSettings.h"
#include "station/SettingsStore.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <arpa/inet.h>
#include <csignal>
#include <fcntl.h>
#include <future>
#include <gtest/gtest.h>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace corvalin;
using namespace corvalin::test;
using namespace Qt::StringLiterals;

namespace {

TEST(RemoteSettings, LoopbackAddressesAndThePageAddress) {
    const struct {
        const char* address;
        bool loopback;
        const char* url;
    } cases[] = {
        {"127.0.0.1", true, "http://127.0.0.1:8765/"},
        {"127.1.2.3", true, "http://127.1.2.3:8765/"},
        {"::1", true, "http://[::1]:8765/"},
        {"localhost", true, "http://localhost:8765/"},
        {"0.0.0.0", false, "http://127.0.0.1:8765/"},
        {"192.168.1.20", false, "http://192.168.1.20:8765/"},
        {"", false, "http://:8765/"},
        {"not an address", false, "http://not an address:8765/"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(isLoopbackAddress(QString::fromLatin1(c.address)), c.loopback) << c.address;
        RemoteSettings s;
        s.Address = QString::fromLatin1(c.address);
        EXPECT_EQ(remotePageUrl(s), QString::fromLatin1(c.url)) << c.address;
    }
}

TEST(RemoteSettings, TheTokenIsMadeAtTheFirstEnableAndKeptOnlyInThePrivateFile) {
    TempFolder root;
    ASSERT_TRUE(QDir().mkpath(root.file(u"station"_s)));
    const SettingsStore store(SettingsPaths{root.file(u"station/"_s), root.file(u"config"_s)});
    RemoteSettings s = readRemoteSettings(store);
    EXPECT_EQ(s, RemoteSettings{}); // off, loopback, 8765, no token
    ASSERT_TRUE(ensureRemoteToken(store, s));
    EXPECT_TRUE(s.Token.isEmpty()) << "no token while the page is off";

    s.Enabled = true;
    s.Port = 9000;
    ASSERT_TRUE(writeRemoteSettings(store, s));
    ASSERT_TRUE(ensureRemoteToken(store, s));
    const QString token = s.Token;
    EXPECT_GE(token.size(), 40);
    EXPECT_EQ(readRemoteSettings(store), s);
    // A second start keeps it; a new token replaces it.
    ASSERT_TRUE(ensureRemoteToken(store, s));
    EXPECT_EQ(s.Token, token);
    EXPECT_NE(newRemoteToken(), newRemoteToken());

    const QString settingsFile = store.paths().perUserFile();
    const QString secrets = store.paths().credentialsFile(false);
    EXPECT_FALSE(readWholeFile(settingsFile).contains(token.toLatin1()));
    EXPECT_TRUE(readWholeFile(settingsFile).contains("Port=9000"));
    EXPECT_TRUE(readWholeFile(secrets).contains(token.toLatin1()));
    EXPECT_EQ(QFile::permissions(secrets), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                               QFileDevice::ReadUser | QFileDevice::WriteUser);
}

TEST(RemoteSettings, AsRunRowsAreReadAsTheLogQuotesThem) {
    const QList<QStringList> rows = AsRunTail::parseCsv("start,end,kind\r\n"
                                                        "a,\"b, with comma\",\"say \"\"hi\"\"\"\r\n"
                                                        "\"two\r\nlines\",,<script>\n"
                                                        "last,row,no end");
    ASSERT_EQ(rows.size(), 4);
    EXPECT_EQ(rows[1], (QStringList{u"a"_s, u"b, with comma"_s, u"say \"hi\""_s}));
    EXPECT_EQ(rows[2], (QStringList{u"two\r\nlines"_s, QString(), u"<script>"_s}));
    EXPECT_EQ(rows[3], (QStringList{u"last"_s, u"row"_s, u"no end"_s}));
}

// A client that sends `bytes` and then nothing, on a thread of its own: what it got back and how
// long after its bytes the station closed the connection (at least 15 s when it never did).
struct HalfRequest {
    bool connected = false;
    QByteArray reply;
    qint64 ms = -1;
};

std::future<HalfRequest> sendHalfRequest(int port, const QByteArray& bytes) {
    return std::async(std::launch::async, [port, bytes] {
        HalfRequest r;
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        r.connected =
            fd >= 0 &&
            ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
            ::send(fd, bytes.constData(), static_cast<size_t>(bytes.size()), MSG_NOSIGNAL) ==
                bytes.size();
        QElapsedTimer since;
        since.start();
        while (r.connected && since.elapsed() < 15000) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 200) <= 0)
                continue;
            char chunk[4096];
            const ssize_t got = ::read(fd, chunk, sizeof chunk);
            if (got <= 0)
                break;
            r.reply.append(chunk, got);
        }
        r.ms = since.elapsed();
        if (fd >= 0)
            ::close(fd);
        return r;
    });
}

// A port nothing listens on now.
int freePort() {
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

struct HttpAnswer {
    int status = 0;
    QByteArray body;
};

// curl, as an operator's script would call it. `arguments` come before the address.
HttpAnswer curl(const QStringList& arguments, const QString& url, const QByteArray& input = {}) {
    QProcess p;
    p.start(u"curl"_s, QStringList{u"-s"_s, u"-m"_s, u"15"_s, u"-w"_s, u"\n%{http_code}"_s} +
                           arguments + QStringList{url});
    if (!p.waitForStarted(5000))
        return {};
    if (!input.isEmpty())
        p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(20000);
    const QByteArray out = p.readAllStandardOutput();
    const qsizetype cut = out.lastIndexOf('\n');
    return {out.mid(cut + 1).toInt(), out.left(std::max<qsizetype>(cut, 0))};
}

QStringList chromiumFlags(const QString& profile) {
    return {u"--headless"_s,
            u"--no-sandbox"_s,
            u"--disable-gpu"_s,
            u"--no-first-run"_s,
            u"--disable-background-networking"_s,
            u"--disable-component-update"_s,
            u"--disable-sync"_s,
            u"--user-data-dir="_s + profile};
}

// Chromium driven over its DevTools protocol on a pair of pipes (its descriptors 3 and 4): one
// JSON message per NUL-ended chunk.
class Browser {
public:
    Browser(const QString& profile) {
        if (::pipe2(toBrowser_, O_CLOEXEC) != 0 || ::pipe2(fromBrowser_, O_CLOEXEC) != 0)
            return;
        process_.setProcessChannelMode(QProcess::ForwardedOutputChannel);
        process_.setChildProcessModifier([this] {
            // Moved up out of the way first, so that 3 and 4 are free to be taken.
            const int in = ::fcntl(toBrowser_[0], F_DUPFD, 10);
            const int out = ::fcntl(fromBrowser_[1], F_DUPFD, 10);
            ::dup2(in, 3);
            ::dup2(out, 4);
        });
        process_.setStandardErrorFile(profile + u".stderr"_s);
        process_.start(u"chromium"_s, chromiumFlags(profile)
                                          << u"--remote-debugging-pipe"_s << u"about:blank"_s);
        ::close(toBrowser_[0]);
        ::close(fromBrowser_[1]);
        started_ = process_.waitForStarted(10000);
    }
    ~Browser() {
        if (started_)
            send(u"Browser.close"_s, {}, {}, 5000);
        ::close(toBrowser_[1]);
        ::close(fromBrowser_[0]);
        if (!process_.waitForFinished(5000))
            process_.kill();
        process_.waitForFinished(5000);
    }
    bool started() const { return started_; }

    // Sends one command and waits for its answer's result (empty on an error or no answer).
    QJsonObject send(const QString& method, const QJsonObject& params, const QString& session,
                     int ms = 15000) {
        const int id = ++lastId_;
        QJsonObject message{{u"id"_s, id}, {u"method"_s, method}, {u"params"_s, params}};
        if (!session.isEmpty())
            message[u"sessionId"_s] = session;
        const QByteArray bytes = QJsonDocument(message).toJson(QJsonDocument::Compact) + '\0';
        if (::write(toBrowser_[1], bytes.constData(), static_cast<size_t>(bytes.size())) !=
            bytes.size())
            return {};
        QElapsedTimer since;
        since.start();
        while (since.elapsed() < ms) {
            const qsizetype end = buffer_.indexOf('\0');
            if (end >= 0) {
                const QJsonObject answer = QJsonDocument::fromJson(buffer_.left(end)).object();
                buffer_.remove(0, end + 1);
                if (answer.value(u"id"_s).toInt() == id)
                    return answer.value(u"result"_s).toObject();
                continue;
            }
            pollfd p{fromBrowser_[0], POLLIN, 0};
            if (::poll(&p, 1, 100) > 0) {
                char chunk[65536];
                const ssize_t got = ::read(fromBrowser_[0], chunk, sizeof chunk);
                if (got <= 0)
                    return {};
                buffer_.append(chunk, got);
            }
        }
        return {};
    }

private:
    QProcess process_;
    int toBrowser_[2] = {-1, -1};
    int fromBrowser_[2] = {-1, -1};
    bool started_ = false;
    int lastId_ = 0;
    QByteArray buffer_;
};

// One page in the browser.
class Tab {
public:
    Tab(Browser& browser, const QString& url) : browser_(browser) {
        const QString target = browser_.send(u"Target.createTarget"_s, {{u"url"_s, url}}, {})
                                   .value(u"targetId"_s)
                                   .toString();
        session_ = browser_
                       .send(u"Target.attachToTarget"_s,
                             {{u"targetId"_s, target}, {u"flatten"_s, true}}, {})
                       .value(u"sessionId"_s)
                       .toString();
        // Keys go to the focused element; a headless tab has focus only when told so.
        browser_.send(u"Page.bringToFront"_s, {}, session_);
        browser_.send(u"Emulation.setFocusEmulationEnabled"_s, {{u"enabled"_s, true}}, session_);
    }
    bool attached() const { return !session_.isEmpty(); }

    QJsonValue evaluate(const QString& expression) {
        return browser_
            .send(u"Runtime.evaluate"_s,
                  {{u"expression"_s, expression}, {u"returnByValue"_s, true}}, session_)
            .value(u"result"_s)
            .toObject()
            .value(u"value"_s);
    }
    QString text(const QString& id) {
        return evaluate(u"document.getElementById('%1').textContent"_s.arg(id)).toString();
    }
    // A real click: the element scrolled into sight, the mouse goes down and up over its middle.
    bool click(const QString& id) {
        const QJsonObject box =
            evaluate(u"(() => { const e = document.getElementById('%1');"
                     " e.scrollIntoView({block: 'center'}); const r = e.getBoundingClientRect();"
                     " return {x: r.x + r.width / 2, y: r.y + r.height / 2}; })()"_s.arg(id))
                .toObject();
        if (box.isEmpty())
            return false;
        for (const QString& type : {u"mousePressed"_s, u"mouseReleased"_s})
            browser_.send(u"Input.dispatchMouseEvent"_s,
                          {{u"type"_s, type},
                           {u"x"_s, box.value(u"x"_s)},
                           {u"y"_s, box.value(u"y"_s)},
                           {u"button"_s, u"left"_s},
                           {u"clickCount"_s, 1}},
                          session_);
        return true;
    }
    void type(const QString& text) {
        browser_.send(u"Input.insertText"_s, {{u"text"_s, text}}, session_);
    }

private:
    Browser& browser_;
    QString session_;
};

// A headless station with the remote page on, on the null output, no news, the zip code given,
// the DJs quiet.
class RemotePage : public ::testing::Test {
protected:
    void SetUp() override {
        port = freePort();
        ASSERT_GT(port, 0);
        ASSERT_TRUE(layOutStationRoot(
            root.path(), kQuietStationIni +
                             "[Remote]\r\nEnabled=1\r\nPort=" + QByteArray::number(port) + "\r\n"));
        env = stationEnvironment(root.path());
        env.insert(u"CORVALIN_TRACE"_s, trace());
        url = u"http://127.0.0.1:%1/"_s.arg(port);
    }
    void TearDown() override { endStation(station.get()); }

    QString trace() const { return root.file(u"trace.txt"_s); }
    QString log() const { return root.file(u"station.log"_s); }
    int songStarts() const { return readWholeFile(trace()).count(" song-start"); }

    void startStation() {
        station = std::make_unique<QProcess>();
        station->setProcessEnvironment(env);
        station->setStandardErrorFile(log());
        station->start(QStringLiteral(CORVALIN_PROGRAM), {u"--headless"_s});
        ASSERT_TRUE(station->waitForStarted());
        ASSERT_TRUE(waitFor([&] { return songStarts() > 0; }, 60000))
            << readWholeFile(log()).toStdString();
        token = CredentialsStore(root.file(u"config/CorvalinRadio/Credentials.ini"_s),
                                 CredentialsStore::Folder::Private)
                    .read(kRemoteSection, kRemoteTokenKey)
                    .value_or(QString());
        ASSERT_FALSE(token.isEmpty());
    }

    QJsonObject status() {
        const HttpAnswer a = curl({}, url + u"api/status"_s);
        EXPECT_EQ(a.status, 200);
        return QJsonDocument::fromJson(a.body).object();
    }
    QString titleOnAir() {
        return status().value(u"onAir"_s).toObject().value(u"title"_s).toString();
    }

    // The page as a headless Chromium shows it once its script has run for a few seconds.
    QByteArray dumpDom() {
        QProcess chromium;
        chromium.setStandardErrorFile(QProcess::nullDevice());
        chromium.start(u"chromium"_s, chromiumFlags(root.file(u"dump-profile"_s))
                                          << u"--virtual-time-budget=4000"_s << u"--dump-dom"_s
                                          << url);
        if (!chromium.waitForFinished(60000))
            chromium.kill();
        return chromium.readAllStandardOutput();
    }

    TempFolder root;
    QProcessEnvironment env;
    std::unique_ptr<QProcess> station;
    int port = 0;
    QString url;
    QString token;
};

TEST_F(RemotePage, ChromiumShowsTheLiveTitleAndItsNextButtonSkipsTheSong) {
    startStation();
    Browser browser(root.file(u"profile"_s));
    ASSERT_TRUE(browser.started());
    Tab tab(browser, url);
    ASSERT_TRUE(tab.attached());
    const QString first = titleOnAir();
    ASSERT_FALSE(first.isEmpty());
    EXPECT_TRUE(waitFor([&] { return tab.text(u"title"_s) == first; }, 15000))
        << tab.text(u"title"_s).toStdString();
    EXPECT_EQ(tab.text(u"station"_s), status().value(u"station"_s).toString());

    // The operator enters the token once; the browser keeps it for the session only.
    ASSERT_TRUE(tab.click(u"token"_s));
    tab.type(token);
    ASSERT_TRUE(tab.click(u"use-token"_s));
    EXPECT_EQ(tab.evaluate(u"sessionStorage.getItem('corvalin-remote-token')"_s).toString(), token);
    EXPECT_TRUE(tab.evaluate(u"localStorage.length"_s).toInt() == 0);

    // Next comes back 10 s after Play, on the console and on the page alike.
    ASSERT_TRUE(waitFor(
        [&] {
            return !tab.evaluate(u"document.getElementById('next-button').disabled"_s).toBool();
        },
        30000));
    const int before = songStarts();
    ASSERT_TRUE(tab.click(u"next-button"_s));
    EXPECT_TRUE(waitFor([&] { return tab.text(u"message"_s) == u"Next pressed."_s; }, 10000))
        << tab.text(u"message"_s).toStdString();
    // The song fades out and the next song starts: the page shows it.
    ASSERT_TRUE(waitFor([&] { return songStarts() > before; }, 60000))
        << readWholeFile(trace()).toStdString();
    const QString second = titleOnAir();
    EXPECT_NE(second, first);
    EXPECT_TRUE(waitFor([&] { return tab.text(u"title"_s) == second; }, 15000))
        << tab.text(u"title"_s).toStdString();
    EXPECT_FALSE(readWholeFile(log()).contains(token.toLatin1()));
}

TEST_F(RemotePage, BadRequestsAreRefusedWithNothingDoneAndATitleWithMarkupIsText) {
    // One song, tagged with markup in its title.
    const QString folder = root.file(u"songs"_s);
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString markup = u"<script>document.title='owned'</script><b>bold</b>"_s;
    ASSERT_TRUE(runTool(u"ffmpeg"_s,
                        {u"-v"_s, u"error"_s, u"-f"_s, u"lavfi"_s, u"-i"_s,
                         u"sine=frequency=440:duration=60"_s, u"-metadata"_s, u"artist=Markup"_s,
                         u"-metadata"_s, u"title="_s + markup, u"-y"_s, folder + u"/song.mp3"_s}));
    for (const char* slot : {"Morning", "Afternoon", "Evening", "Midnight"})
        ASSERT_EQ(runProgram(QStringLiteral(CORVALIN_PROGRAM),
                             {u"--import-folder"_s, folder, u"--slot"_s, QString::fromLatin1(slot)},
                             env, 30000)
                      .exitCode,
                  0);
    startStation();
    ASSERT_EQ(titleOnAir(), markup);
    // A client sends half a request and then nothing; its cut-off is awaited beside what follows.
    std::future<HalfRequest> slowClient =
        sendHalfRequest(port, "POST /api/stop HTTP/1.1\r\nHost: x\r\nAuthorization: Bearer " +
                                  token.toLatin1() + "\r\n");

    const QByteArray dom = dumpDom();
    EXPECT_TRUE(dom.contains("id=\"title\" class=\"title\">&lt;script&gt;document.title='owned'"
                             "&lt;/script&gt;&lt;b&gt;bold&lt;/b&gt;</p>"))
        << dom.toStdString();
    EXPECT_FALSE(dom.contains("<b>bold"));
    EXPECT_FALSE(dom.contains("<title>owned"));

    const QString api = url + u"api/"_s;
    const QString bearer = u"Authorization: Bearer "_s;
    const struct {
        const char* what;
        QStringList arguments;
        QString address;
        QByteArray input;
        int status;
    } refused[] = {
        {"a GET never presses", {}, api + u"stop"_s, {}, 405},
        {"a GET with the token neither", {u"-H"_s, bearer + token}, api + u"stop"_s, {}, 405},
        {"no token", {u"-X"_s, u"POST"_s}, api + u"stop"_s, {}, 401},
        {"another scheme",
         {u"-X"_s, u"POST"_s, u"-H"_s, u"Authorization: Basic "_s + token},
         api + u"stop"_s,
         {},
         401},
        {"a wrong token",
         {u"-X"_s, u"POST"_s, u"-H"_s, bearer + token + u"x"_s},
         api + u"stop"_s,
         {},
         403},
        {"an empty token", {u"-X"_s, u"POST"_s, u"-H"_s, bearer}, api + u"stop"_s, {}, 401},
        {"a body over 4 kB",
         {u"-X"_s, u"POST"_s, u"-H"_s, bearer + token, u"--data-binary"_s, u"@-"_s},
         api + u"stop"_s,
         QByteArray(4097, 'x'),
         413},
        {"a body of unknown length",
         {u"-X"_s, u"POST"_s, u"-H"_s, bearer + token, u"-H"_s, u"Transfer-Encoding: chunked"_s,
          u"--data-binary"_s, u"@-"_s},
         api + u"stop"_s,
         QByteArray("x"),
         411},
        {"a header flood",
         [&] {
             QStringList flood{u"-X"_s, u"POST"_s, u"-H"_s, bearer + token};
             for (int i = 0; i < 200; ++i)
                 flood << u"-H"_s << u"X-Flood-%1: %2"_s.arg(i).arg(QString(40, u'a'));
             return flood;
         }(),
         api + u"stop"_s,
         {},
         431},
        {"an unknown command",
         {u"-X"_s, u"POST"_s, u"-H"_s, bearer + token},
         api + u"eject"_s,
         {},
         404},
    };
    for (const auto& c : refused) {
        const HttpAnswer a = curl(c.arguments, c.address, c.input);
        EXPECT_EQ(a.status, c.status) << c.what << ": " << a.body.toStdString();
    }

    // The client that sent half a request and then nothing is cut off.
    const HalfRequest slow = slowClient.get();
    EXPECT_TRUE(slow.connected);
    EXPECT_TRUE(slow.reply.startsWith("HTTP/1.1 408")) << slow.reply.toStdString();
    EXPECT_LT(slow.ms, 10000);

    // Nothing of all that was pressed: still playing, the song not changed.
    EXPECT_EQ(status().value(u"state"_s).toString(), u"playing"_s);
    EXPECT_EQ(songStarts(), 1);
    // The right request still works: Play is refused as on the console, Stop is done.
    const HttpAnswer play = curl({u"-X"_s, u"POST"_s, u"-H"_s, bearer + token}, api + u"play"_s);
    EXPECT_EQ(play.status, 409);
    EXPECT_TRUE(play.body.contains("Play is disabled: the station is playing"));
    const HttpAnswer stop = curl({u"-X"_s, u"POST"_s, u"-H"_s, bearer + token}, api + u"stop"_s);
    EXPECT_EQ(stop.status, 200) << stop.body.toStdString();
    EXPECT_TRUE(waitFor([&] { return status().value(u"state"_s).toString() == u"stopped"_s; }));
    EXPECT_FALSE(readWholeFile(log()).contains(token.toLatin1()));
    EXPECT_TRUE(readWholeFile(log()).contains("remote page: " + url.toLatin1()));
}

} // namespace
