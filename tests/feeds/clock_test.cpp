#include "LocalServers.h"
#include "TestSupport.h"
#include "feeds/ClockSync.h"

#include <future>
#include <gtest/gtest.h>
#include <memory>

using namespace corvalin;
using namespace corvalin::test;
using namespace std::chrono_literals;

namespace {

const QByteArray Good = "\n61384 26-12-10 09:15:30 00 0 0 123.4 UTC(NIST) * \n";

struct ParseCase {
    const char* name;
    QByteArray text;
    int minimumYear;
    QDateTime expected; // invalid: nothing
};

class Daytime : public testing::TestWithParam<ParseCase> {};

TEST_P(Daytime, FieldsAtFixedPositions) {
    const std::optional<QDateTime> got = parseDaytime(GetParam().text, GetParam().minimumYear);
    if (GetParam().expected.isValid()) {
        ASSERT_TRUE(got.has_value());
        EXPECT_EQ(*got, GetParam().expected);
        EXPECT_EQ(got->timeSpec(), Qt::UTC);
    } else {
        EXPECT_FALSE(got.has_value());
    }
}

QDateTime utc(int y, int mo, int d, int h, int mi, int s) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::UTC);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, Daytime,
    testing::Values(
        ParseCase{"Nist", Good, 2020, utc(2026, 12, 10, 9, 15, 30)},
        ParseCase{"YearOhSevenIs2007", "\n54368 07-08-21 23:59:59 50 0 0 0.0 UTC(NIST) *", 2000,
                  utc(2007, 8, 21, 23, 59, 59)},
        ParseCase{
            "YearBeforeMinimum", "\n54368 07-08-21 23:59:59 50 0 0 0.0 UTC(NIST) *", 2020, {}},
        ParseCase{"NoLeadingLineFeed", Good.mid(1), 2000, {}},
        ParseCase{"Garbage", "hello, this is not the time\r\n", 2000, {}},
        ParseCase{"TooShort", "\n61384 26-12-10 09:15:3", 2000, {}},
        ParseCase{"Empty", "", 2000, {}},
        ParseCase{"NotADate", "\n61384 26-02-30 09:15:30 00 0 0 0.0 UTC(NIST) *", 2000, {}},
        ParseCase{"MonthThirteen", "\n61384 26-13-01 09:15:30 00 0 0 0.0 UTC(NIST) *", 2000, {}},
        ParseCase{"HourTwentyFour", "\n61384 26-12-10 24:00:00 00 0 0 0.0 UTC(NIST) *", 2000, {}},
        ParseCase{"SignedField", "\n61384 26-12-10 -1:15:30 00 0 0 0.0 UTC(NIST) *", 2000, {}}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(Daytime, DefaultMinimumIsTheBuildYear) {
    EXPECT_GE(buildYear(), 2024);
    EXPECT_FALSE(parseDaytime("\n54368 07-08-21 23:59:59 50 0 0 0.0 UTC(NIST) *", buildYear()));
}

TEST(ClockRule, MinutesAndSecondsDifferenceDecides) {
    const struct {
        QTime server;
        QTime local;
        bool synced;
        int difference;
        bool set;
    } cases[] = {
        {QTime(10, 59, 58), QTime(11, 0, 3), true, 3595, true},
        // Right to the second in a zone 5 h 30 min from UTC.
        {QTime(4, 30, 0), QTime(10, 0, 0), true, 1800, true},
        {QTime(9, 0, 10), QTime(9, 0, 0), true, 10, false},
        {QTime(9, 0, 0), QTime(9, 0, 10), true, -10, false},
        {QTime(9, 0, 11), QTime(9, 0, 0), true, 11, true},
        {QTime(9, 0, 0), QTime(9, 0, 11), true, -11, true},
        {QTime(9, 0, 0), QTime(9, 0, 0), false, 0, true},
    };
    for (const auto& c : cases) {
        const int d = daytimeDifference(c.server, c.local);
        EXPECT_EQ(d, c.difference) << c.server.toString().toStdString();
        EXPECT_EQ(clockNeedsSetting(c.synced, d), c.set) << c.server.toString().toStdString();
    }
}

class ClockSync : public testing::Test {
protected:
    DaytimeServer serverAt(quint16 port, std::chrono::milliseconds timeout = 5s) {
        DaytimeServer s;
        s.host = QStringLiteral("127.0.0.1");
        s.port = port;
        s.timeout = timeout;
        return s;
    }
    ClockSyncResult sync(const LocalDaytimeServer& server, bool synced,
                         std::chrono::milliseconds timeout = 5s) {
        return GetAndSetTime(serverAt(server.port(), timeout), local, setter, synced, 2020);
    }

    // 11:15:31 local: one second after the server's time, in a whole-hour zone.
    FakeClock local{QDateTime(QDate(2026, 12, 10), QTime(11, 15, 31))};
    FakeSystemClockSetter setter;
};

TEST_F(ClockSync, FirstContactSetsTheClockEvenWhenRight) {
    LocalDaytimeServer server(Good);
    const ClockSyncResult r = sync(server, false);
    EXPECT_TRUE(r.attempted);
    EXPECT_TRUE(r.clockSynced);
    ASSERT_EQ(setter.settings().size(), 1u);
    EXPECT_EQ(setter.settings().front(), utc(2026, 12, 10, 9, 15, 30));
}

TEST_F(ClockSync, OnceSyncedASmallDifferenceLeavesTheClock) {
    LocalDaytimeServer server(Good);
    const ClockSyncResult r = sync(server, true);
    EXPECT_FALSE(r.attempted);
    EXPECT_TRUE(r.clockSynced);
    EXPECT_TRUE(setter.settings().empty());
}

TEST_F(ClockSync, ARefusedSettingLeavesTheFlagDown) {
    LocalDaytimeServer server(Good);
    setter.setRefuse(true);
    const ClockSyncResult r = sync(server, false);
    EXPECT_TRUE(r.attempted);
    EXPECT_FALSE(r.clockSynced);
}

TEST_F(ClockSync, AClockKeptByTheSystemIsLeftAlone) {
    LocalDaytimeServer server(Good);
    setter.setKeptBySystem(true);
    const ClockSyncResult r = sync(server, false);
    EXPECT_FALSE(r.attempted);
    EXPECT_TRUE(setter.settings().empty());
    EXPECT_EQ(server.connections(), 0);
}

TEST_F(ClockSync, BadAnswersSetNothing) {
    for (const QByteArray& answer :
         {Good.mid(1), QByteArray("garbage garbage garbage garbage"), QByteArray()}) {
        LocalDaytimeServer server(answer);
        const ClockSyncResult r = sync(server, false);
        EXPECT_FALSE(r.attempted) << answer.toStdString();
        EXPECT_EQ(server.connections(), 1);
    }
    EXPECT_TRUE(setter.settings().empty());
}

TEST_F(ClockSync, ASilentServerTimesOut) {
    LocalDaytimeServer server(QByteArray(), true);
    const auto started = std::chrono::steady_clock::now();
    const ClockSyncResult r = sync(server, false, 300ms);
    EXPECT_FALSE(r.attempted);
    EXPECT_TRUE(setter.settings().empty());
    EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
}

TEST(DaytimeClient, ReadsUntilTheServerCloses) {
    LocalDaytimeServer server(Good);
    DaytimeServer s;
    s.host = QStringLiteral("127.0.0.1");
    s.port = server.port();
    s.timeout = 5s;
    EXPECT_EQ(readDaytime(s), Good);
}

DaytimeServer namedServer(const QString& host, quint16 port, std::chrono::milliseconds timeout,
                          HostResolver resolve) {
    DaytimeServer s;
    s.host = host;
    s.port = port;
    s.timeout = timeout;
    s.resolve = std::move(resolve);
    return s;
}

TEST(DaytimeLookUp, ANameThatNeverResolvesEndsAtTheTimeOut) {
    HangingResolver dns;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(
        readDaytime(namedServer(QStringLiteral("time.invalid"), 13, 300ms, dns.resolver())));
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_GE(took, 300ms);
    EXPECT_LT(took, 5s);
    EXPECT_EQ(dns.calls(), 1);
}

TEST(DaytimeLookUp, ACancelEndsTheLookUp) {
    HangingResolver dns;
    std::atomic<bool> cancel{false};
    const DaytimeServer server =
        namedServer(QStringLiteral("time.invalid"), 13, 60s, dns.resolver());
    std::future<std::optional<QByteArray>> answer =
        std::async(std::launch::async, [&] { return readDaytime(server, &cancel); });
    ASSERT_TRUE(waitFor([&] { return dns.calls() == 1; }));
    EXPECT_EQ(answer.wait_for(200ms), std::future_status::timeout); // still looking up

    cancel = true;
    ASSERT_EQ(answer.wait_for(3s), std::future_status::ready);
    EXPECT_FALSE(answer.get());
}

TEST(DaytimeLookUp, ACancelledClockSyncSetsNothing) {
    HangingResolver dns;
    std::atomic<bool> cancel{true};
    FakeClock local{QDateTime(QDate(2026, 12, 10), QTime(11, 15, 31))};
    FakeSystemClockSetter setter;
    const auto started = std::chrono::steady_clock::now();
    const ClockSyncResult r =
        GetAndSetTime(namedServer(QStringLiteral("time.invalid"), 13, 60s, dns.resolver()), local,
                      setter, false, 2020, &cancel);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 3s);
    EXPECT_FALSE(r.attempted);
    EXPECT_TRUE(setter.settings().empty());
}

TEST(DaytimeLookUp, EachAddressFoundIsTriedInTurn) {
    LocalDaytimeServer server(Good);
    auto asked = std::make_shared<std::atomic<int>>(0);
    // 127.0.0.2 is loopback too, but nothing listens there: refused, then the next address.
    const HostResolver resolve = [asked](const QString& host) {
        ++*asked;
        return host == QStringLiteral("daytime.test")
                   ? QList<QHostAddress>{QHostAddress(QStringLiteral("127.0.0.2")),
                                         QHostAddress(QStringLiteral("127.0.0.1"))}
                   : QList<QHostAddress>{};
    };
    EXPECT_EQ(readDaytime(namedServer(QStringLiteral("daytime.test"), server.port(), 5s, resolve)),
              Good);
    EXPECT_EQ(asked->load(), 1);
    EXPECT_FALSE(
        readDaytime(namedServer(QStringLiteral("other.test"), server.port(), 5s, resolve)));
    EXPECT_EQ(server.connections(), 1);
}

TEST(DaytimeLookUp, TheSystemResolverReadsNumericAddresses) {
    EXPECT_EQ(systemResolve(QStringLiteral("127.0.0.1")),
              QList<QHostAddress>{QHostAddress(QStringLiteral("127.0.0.1"))});
    EXPECT_EQ(systemResolve(QStringLiteral("::1")),
              QList<QHostAddress>{QHostAddress(QStringLiteral("::1"))});
}

} // namespace
