#include "LocalServers.h"
#include "feeds/HttpClient.h"

#include <QUrl>
#include <gtest/gtest.h>

using namespace corvalin;
using namespace corvalin::test;
using namespace std::chrono_literals;

namespace {

HttpLimits fastLimits() {
    HttpLimits limits;
    limits.connectTimeout = 2000ms;
    limits.totalTimeout = 1500ms;
    limits.maxBodyBytes = 100 * 1024;
    return limits;
}

TEST(HttpGet, FetchesAPageWithoutCacheAndWithTheReferrer) {
    LocalHttpServer server;
    server.setPage(QStringLiteral("/news"), "<html>Hello</html>");
    const HttpPage page = httpGet(server.url(QStringLiteral("/news")), fastLimits());
    ASSERT_TRUE(page.success()) << page.error.toStdString();
    EXPECT_EQ(page.body, QByteArray("<html>Hello</html>"));
    EXPECT_FALSE(page.cut);
    ASSERT_EQ(server.requests().size(), 1u);
    const QByteArray head = server.requests().front().toLower();
    EXPECT_TRUE(head.contains("\r\nreferer: me\r\n"));
    EXPECT_TRUE(head.contains("\r\ncache-control: no-cache\r\n"));
}

TEST(HttpGet, DeliversTheContentTypeHeader) {
    LocalHttpServer server;
    server.setPage(QStringLiteral("/latin1"),
                   "Montr\xE9"
                   "al",
                   200, "text/html; charset=ISO-8859-1");
    server.setPage(QStringLiteral("/bare"), "x", 200, "");
    const HttpPage latin1 = httpGet(server.url(QStringLiteral("/latin1")), fastLimits());
    ASSERT_TRUE(latin1.success());
    EXPECT_EQ(latin1.contentType, QByteArray("text/html; charset=ISO-8859-1"));
    EXPECT_EQ(latin1.body, QByteArray("Montr\xE9"
                                      "al"));
    const HttpPage bare = httpGet(server.url(QStringLiteral("/bare")), fastLimits());
    ASSERT_TRUE(bare.success());
    EXPECT_TRUE(bare.contentType.isEmpty());
}

TEST(HttpGet, AnErrorStatusStillDeliversItsPage) {
    LocalHttpServer server;
    const HttpPage page = httpGet(server.url(QStringLiteral("/missing")), fastLimits());
    ASSERT_TRUE(page.ok);
    EXPECT_FALSE(page.success());
    EXPECT_EQ(page.status, 404);
    EXPECT_TRUE(page.body.contains("Page not found"));
}

TEST(HttpGet, AHugePageIsCutAtTheCap) {
    LocalHttpServer server;
    HttpReply flood;
    flood.kind = HttpReply::Kind::Flood;
    server.setReply(QStringLiteral("/huge"), flood);
    const HttpPage page = httpGet(server.url(QStringLiteral("/huge")), fastLimits());
    ASSERT_TRUE(page.success()) << page.error.toStdString();
    EXPECT_TRUE(page.cut);
    EXPECT_EQ(page.body.size(), 100 * 1024);
    EXPECT_EQ(page.body.count('x'), 100 * 1024);
}

TEST(HttpGet, APageOfExactlyTheCapIsWhole) {
    LocalHttpServer server;
    server.setPage(QStringLiteral("/full"), QByteArray(100 * 1024, 'y'));
    const HttpPage page = httpGet(server.url(QStringLiteral("/full")), fastLimits());
    ASSERT_TRUE(page.success());
    EXPECT_FALSE(page.cut);
    EXPECT_EQ(page.body.size(), 100 * 1024);
}

TEST(HttpGet, ASilentServerEndsAtTheTotalLimit) {
    LocalHttpServer server;
    HttpReply silent;
    silent.kind = HttpReply::Kind::Silent;
    server.setReply(QStringLiteral("/slow"), silent);
    const auto started = std::chrono::steady_clock::now();
    const HttpPage page = httpGet(server.url(QStringLiteral("/slow")), fastLimits());
    EXPECT_FALSE(page.ok);
    EXPECT_FALSE(page.error.isEmpty());
    EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
}

TEST(HttpGet, ACancelEndsAWaitAtOnce) {
    LocalHttpServer server;
    HttpReply silent;
    silent.kind = HttpReply::Kind::Silent;
    server.setReply(QStringLiteral("/slow"), silent);
    HttpLimits limits = fastLimits();
    limits.totalTimeout = 60s;
    const std::atomic<bool> cancel{true};
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(httpGet(server.url(QStringLiteral("/slow")), limits, &cancel).ok);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
}

TEST(HttpGet, RedirectsAreFollowedAtMostFiveTimes) {
    LocalHttpServer server;
    HttpReply hop;
    hop.kind = HttpReply::Kind::Redirect;
    hop.location = server.url(QStringLiteral("/target")).toUtf8();
    server.setReply(QStringLiteral("/hop"), hop);
    server.setPage(QStringLiteral("/target"), "arrived");
    HttpReply loop;
    loop.kind = HttpReply::Kind::Redirect;
    server.setReply(QStringLiteral("/loop"), loop);

    const HttpPage followed = httpGet(server.url(QStringLiteral("/hop")), fastLimits());
    ASSERT_TRUE(followed.success());
    EXPECT_EQ(followed.body, QByteArray("arrived"));

    const HttpPage looped = httpGet(server.url(QStringLiteral("/loop")), fastLimits());
    EXPECT_FALSE(looped.ok);
    EXPECT_EQ(server.requestsFor(QStringLiteral("/loop")), 6);
}

TEST(HttpGet, OnlyHttpAndHttpsAreFetched) {
    LocalHttpServer server;
    HttpReply toFile;
    toFile.kind = HttpReply::Kind::Redirect;
    toFile.location = "file:///etc/hostname";
    server.setReply(QStringLiteral("/file"), toFile);
    EXPECT_FALSE(httpGet(QStringLiteral("file:///etc/hostname"), fastLimits()).ok);
    EXPECT_FALSE(httpGet(server.url(QStringLiteral("/file")), fastLimits()).ok);
}

TEST(HttpGet, ARefusedConnectionIsAnError) {
    quint16 closedPort = 0;
    {
        LocalHttpServer gone;
        closedPort = QUrl(gone.url(QStringLiteral("/"))).port();
    }
    const HttpPage page =
        httpGet(QStringLiteral("http://127.0.0.1:%1/").arg(closedPort), fastLimits());
    EXPECT_FALSE(page.ok);
    EXPECT_FALSE(page.error.isEmpty());
}

} // namespace
