#include "app/DigitalClock.h"
#include "app/ImageButton.h"
#include "app/Meters.h"
#include "app/ScrollingPanel.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>
#include <vector>

using namespace corvalin;

namespace {

// Runs the event loop until `done` holds or five seconds have passed.
template <class Condition> bool processUntil(Condition done) {
    QDeadlineTimer deadline(5000);
    while (!done() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return done();
}

} // namespace

TEST(ScrollingPanel, ScrollsInACycleWhileOnAndFreezesWhenStopped) {
    ScrollingPanel panel;
    panel.resize(279, 22);
    panel.setStepInterval(1);
    panel.setText(QStringLiteral("Morning Rain - The Larks"));
    EXPECT_EQ(panel.scrollOffset(), 0);

    panel.setScrolling(true);
    ASSERT_TRUE(panel.isScrolling());
    ASSERT_TRUE(processUntil([&] { return panel.scrollOffset() > 5; }));
    // The offset wraps: a full cycle brings the text back to the start.
    int highest = 0;
    ASSERT_TRUE(processUntil([&] {
        highest = std::max(highest, panel.scrollOffset());
        return panel.scrollOffset() < highest;
    }));
    EXPECT_GE(highest, 279 - 10) << "a short text still travels across the panel";

    panel.setScrolling(false);
    EXPECT_FALSE(panel.isScrolling());
    const int frozen = panel.scrollOffset();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_EQ(panel.scrollOffset(), frozen);

    panel.setText(QStringLiteral("Next song"));
    EXPECT_EQ(panel.scrollOffset(), 0) << "new text starts at the left edge";
}

TEST(ScrollingPanel, PaintsTheTextInItsColourOnBlack) {
    ScrollingPanel panel;
    panel.resize(200, 22);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(13);
    panel.setFont(font);
    panel.setText(QStringLiteral("WWWWWWWW"));
    for (const QColor colour : {QColor(Qt::red), QColor(0, 255, 0)}) {
        panel.setTextColour(colour);
        EXPECT_EQ(panel.textColour(), colour);
        const QImage image = panel.grab().toImage();
        int coloured = 0;
        int foreign = 0; // pixels of another hue than the text's
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor pixel = image.pixelColor(x, y);
                if ((colour.red() == 0 && pixel.red() > 0) ||
                    (colour.green() == 0 && pixel.green() > 0) || pixel.blue() > 0) {
                    ++foreign;
                } else if (pixel.red() > 200 || pixel.green() > 200) {
                    ++coloured;
                }
            }
        }
        EXPECT_GT(coloured, 20);
        EXPECT_EQ(foreign, 0);
        EXPECT_EQ(image.pixelColor(image.width() - 1, 0), QColor(Qt::black));
    }
}

// 12-hour time with AM or PM, without seconds or a leading zero; a locale that writes the time
// in 24-hour form gets that form.
TEST(DigitalClock, ShowsTwelveHourTimeWithAmPmOrTheLocales24HourForm) {
    const struct {
        QTime time;
        const char* text;
    } cases[] = {
        {QTime(0, 5, 59), "12:05 AM"}, {QTime(9, 7), "9:07 AM"},        {QTime(12, 0), "12:00 PM"},
        {QTime(13, 30), "1:30 PM"},    {QTime(23, 59, 59), "11:59 PM"},
    };
    FakeClock clock;
    DigitalClock widget;
    widget.setLocale(QLocale::c());
    widget.setClock(&clock);
    for (const auto& c : cases) {
        clock.set(QDateTime(QDate(2026, 12, 10), c.time));
        widget.refresh();
        EXPECT_EQ(widget.displayText(), QString::fromLatin1(c.text)) << c.text;
    }
    const QTime evening(21, 5);
    EXPECT_EQ(DigitalClock::formatTime(evening, QLocale(QLocale::English, QLocale::UnitedStates)),
              QStringLiteral("9:05 PM"));
    EXPECT_EQ(DigitalClock::formatTime(evening, QLocale(QLocale::German, QLocale::Germany)),
              QStringLiteral("21:05"));
    widget.setLocale(QLocale(QLocale::German, QLocale::Germany));
    widget.refresh();
    EXPECT_EQ(widget.displayText(), QStringLiteral("23:59"));
}

TEST(DigitalClock, AlarmRingsOnceWhenTheTimeReachesItAndAgainTheNextDay) {
    FakeClock clock(QDateTime(QDate(2026, 12, 10), QTime(7, 59, 58)));
    DigitalClock widget;
    widget.setClock(&clock);
    int rings = 0;
    QObject::connect(&widget, &DigitalClock::alarm, [&] { ++rings; });
    widget.setAlarmTime(QTime(8, 0, 0));
    widget.setAlarmEnabled(true);

    widget.refresh();
    EXPECT_EQ(rings, 0) << "before the alarm time";
    for (int second = 0; second < 90; ++second) {
        clock.advanceMs(1000);
        widget.refresh();
    }
    EXPECT_EQ(rings, 1) << "once, although the alarm minute was seen many times";

    widget.setAlarmTime(QTime(8, 0, 0)); // set again unchanged, as the settings dialog does
    widget.refresh();
    EXPECT_EQ(rings, 1);

    clock.set(QDateTime(QDate(2026, 12, 11), QTime(7, 0)));
    widget.refresh();
    clock.set(QDateTime(QDate(2026, 12, 11), QTime(8, 0, 3)));
    widget.refresh();
    EXPECT_EQ(rings, 2) << "the next day";
}

TEST(DigitalClock, AlarmHonoursItsSecondsTheEnabledFlagAndMidnight) {
    FakeClock clock(QDateTime(QDate(2026, 12, 10), QTime(6, 30, 10)));
    DigitalClock widget;
    widget.setLocale(QLocale::c());
    widget.setClock(&clock);
    int rings = 0;
    QObject::connect(&widget, &DigitalClock::alarm, [&] { ++rings; });
    widget.setAlarmTime(QTime(6, 30, 20));
    widget.setAlarmEnabled(true);
    widget.refresh();
    EXPECT_EQ(rings, 0) << "same minute, second not yet reached";
    clock.set(QDateTime(QDate(2026, 12, 10), QTime(6, 30, 20)));
    widget.refresh();
    EXPECT_EQ(rings, 1);

    // Started after the alarm's minute: nothing until the next day.
    widget.setAlarmTime(QTime(6, 0));
    widget.refresh();
    EXPECT_EQ(rings, 1);

    // Disabled: silent.
    widget.setAlarmEnabled(false);
    widget.setAlarmTime(QTime(6, 30, 0));
    widget.refresh();
    EXPECT_EQ(rings, 1);

    // An alarm at midnight rings on consecutive days.
    widget.setAlarmEnabled(true);
    widget.setAlarmTime(QTime(0, 0, 0));
    for (int day = 11; day <= 12; ++day) {
        clock.set(QDateTime(QDate(2026, 12, day), QTime(0, 0, 1)));
        widget.refresh();
        clock.set(QDateTime(QDate(2026, 12, day), QTime(0, 1, 0)));
        widget.refresh();
    }
    EXPECT_EQ(rings, 3);

    // A disabled widget (a clock that is not running) neither updates nor rings.
    widget.setEnabled(false);
    clock.set(QDateTime(QDate(2026, 12, 13), QTime(0, 0, 5)));
    widget.refresh();
    EXPECT_EQ(rings, 3);
    EXPECT_EQ(widget.displayText(), QStringLiteral("12:01 AM"));
}

TEST(DigitalClock, RunsOnItsOwnTimer) {
    FakeClock clock(QDateTime(QDate(2026, 12, 10), QTime(9, 0)));
    DigitalClock widget;
    widget.setLocale(QLocale::c());
    widget.setClock(&clock);
    int rings = 0;
    QObject::connect(&widget, &DigitalClock::alarm, [&] { ++rings; });
    widget.setAlarmTime(QTime(9, 15));
    widget.setAlarmEnabled(true);
    clock.set(QDateTime(QDate(2026, 12, 10), QTime(9, 15, 30)));
    EXPECT_TRUE(processUntil([&] { return rings > 0; }));
    EXPECT_EQ(widget.displayText(), QStringLiteral("9:15 AM"));
}

namespace {

// Rows lit in one column of a painted trace.
std::vector<int> litRows(const QImage& image, int column) {
    std::vector<int> rows;
    for (int y = 0; y < image.height(); ++y) {
        if (image.pixelColor(column, y) != QColor(Qt::black)) {
            rows.push_back(y);
        }
    }
    return rows;
}

std::vector<int> span(int first, int last) {
    std::vector<int> rows;
    for (int y = first; y <= last; ++y) {
        rows.push_back(y);
    }
    return rows;
}

} // namespace

TEST(Meters, TraceColumnsSpanTheirMinimumToMaximumRows) {
    // Stereo, four columns: [column][channel].
    const std::vector<std::uint8_t> max = {128, 255, 255, 200, 200, 128, 0, 130};
    const std::vector<std::uint8_t> min = {128, 0, 0, 100, 100, 128, 0, 126};
    MeterReading reading;
    reading.channels = 2;
    reading.columnCount = 110; // more than the data holds: only four columns are drawn
    reading.maxValues = max;
    reading.minValues = min;

    const QColor pen(0xE8, 0xFD, 0x00);
    for (int channel = 0; channel < 2; ++channel) {
        QImage image(110, 88, QImage::Format_RGB32);
        image.fill(Qt::black);
        {
            QPainter painter(&image);
            paintTrace(painter, reading, channel, pen);
        }
        const std::vector<std::vector<int>> expected[2] = {
            {{31}, span(0, 63), span(13, 38), {63}},         // channel 0
            {span(0, 63), span(13, 38), {31}, span(31, 32)}, // channel 1
        };
        for (int column = 0; column < 4; ++column) {
            EXPECT_EQ(litRows(image, column), expected[channel][static_cast<std::size_t>(column)])
                << "channel " << channel << " column " << column;
        }
        EXPECT_TRUE(litRows(image, 4).empty());
        EXPECT_EQ(image.pixelColor(0, 31), pen);
    }
}

TEST(Meters, ColoursComeFromBgrValuesAndLevelsBecomePercent) {
    EXPECT_EQ(colourFromBgr(65000), QColor(0xE8, 0xFD, 0x00));
    EXPECT_EQ(colourFromBgr(0x00123456), QColor(0x56, 0x34, 0x12));
    const struct {
        float level;
        int percent;
    } cases[] = {{0.0f, 0}, {0.999f, 99}, {1.0f, 100}, {1.7f, 100}, {-0.2f, 0}, {0.5f, 50}};
    for (const auto& c : cases) {
        EXPECT_EQ(levelPercent(c.level), c.percent) << c.level;
    }
}

TEST(ImageButton, LatchedDownIndependentlyOfMousePresses) {
    ImageButton button;
    button.resize(60, 40);
    button.setText(QStringLiteral("Play"));
    const QImage up = button.grab().toImage();
    button.setShownDown(true);
    EXPECT_TRUE(button.isShownDown());
    EXPECT_FALSE(button.isDown());
    EXPECT_NE(button.grab().toImage(), up) << "the pressed look differs";
    button.click();
    EXPECT_TRUE(button.isShownDown()) << "a click does not release the latch";
    button.setShownDown(false);
    EXPECT_EQ(button.grab().toImage(), up);
}
