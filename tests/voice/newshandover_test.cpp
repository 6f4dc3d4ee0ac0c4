#include "voice/NewsHandOver.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>

using namespace corvalin;

namespace {

NewsTexts numbered(int n) {
    const QString s = QString::number(n);
    return {QStringLiteral("H") + s, QStringLiteral("T") + s, QStringLiteral("C") + s,
            QStringLiteral("K") + s};
}

TEST(NewsHandOver, TakeEmptiesGetDoesNot) {
    NewsHandOver h;
    h.setHeadline(QStringLiteral("Storm"));
    h.setCity(QStringLiteral("Logan"));
    EXPECT_EQ(h.get().NewsHeadline, QStringLiteral("Storm"));
    const NewsTexts taken = h.take();
    EXPECT_EQ(taken.NewsHeadline, QStringLiteral("Storm"));
    EXPECT_EQ(taken.WeatherCity, QStringLiteral("Logan"));
    EXPECT_TRUE(h.get().NewsHeadline.isEmpty());
    EXPECT_TRUE(h.get().WeatherCity.isEmpty());
}

TEST(NewsHandOver, TalkKeepsTheCityAndAConditionWithoutTemperature) {
    NewsHandOver h;
    h.set({QStringLiteral("Storm"), QString(), QStringLiteral("Logan"), QStringLiteral("Rain")});
    NewsTexts read = h.takeForTalk();
    EXPECT_EQ(read.NewsHeadline, QStringLiteral("Storm"));
    NewsTexts left = h.get();
    EXPECT_TRUE(left.NewsHeadline.isEmpty());
    EXPECT_EQ(left.WeatherCondition, QStringLiteral("Rain"));
    EXPECT_EQ(left.WeatherCity, QStringLiteral("Logan"));

    h.setTemperature(QStringLiteral("72"));
    read = h.takeForTalk();
    EXPECT_EQ(read.WeatherCondition, QStringLiteral("Rain"));
    left = h.get();
    EXPECT_TRUE(left.WeatherTemperature.isEmpty());
    EXPECT_TRUE(left.WeatherCondition.isEmpty());
    EXPECT_EQ(left.WeatherCity, QStringLiteral("Logan"));

    h.clear();
    EXPECT_TRUE(h.get().WeatherCity.isEmpty());
}

// A writer replacing whole values while the reader takes them: the reader sees all four texts of
// one fetch, or nothing, never a mix.
TEST(NewsHandOver, ReaderNeverSeesAMixOfTwoFetches) {
    NewsHandOver h;
    std::atomic<bool> done{false};
    constexpr int kFetches = 20000;
    std::thread writer([&] {
        for (int i = 1; i <= kFetches; ++i)
            h.set(numbered(i));
        done = true;
    });
    int seen = 0;
    int last = 0;
    bool finished = false;
    while (!finished) {
        finished = done.load();
        const NewsTexts t = (seen % 2) ? h.get() : h.take();
        if (t.NewsHeadline.isEmpty()) {
            EXPECT_TRUE(t.WeatherTemperature.isEmpty() && t.WeatherCity.isEmpty() &&
                        t.WeatherCondition.isEmpty());
            continue;
        }
        const int n = t.NewsHeadline.mid(1).toInt();
        const NewsTexts whole = numbered(n);
        ASSERT_EQ(t.WeatherTemperature, whole.WeatherTemperature);
        ASSERT_EQ(t.WeatherCity, whole.WeatherCity);
        ASSERT_EQ(t.WeatherCondition, whole.WeatherCondition);
        EXPECT_GE(n, last); // values only move forward
        last = n;
        ++seen;
    }
    writer.join();
    EXPECT_GT(seen, 0);
    // The last read came after the last write.
    EXPECT_EQ(last, kFetches);
}

} // namespace
