// The console repaints only what changed, nothing while it cannot be seen, and what it shows on
// screen stays what a full repaint would show.

#include "TestSupport.h"
#include "app/DigitalClock.h"
#include "app/FormCorvalinRadio.h"
#include "app/Meters.h"
#include "app/ScrollingPanel.h"
#include "app/TitleRhythm.h"
#include "platform/Clock.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

using namespace corvalin;

namespace {

// Records the paint events a widget receives for the screen (not those of a test's grab()).
class PaintLog : public QObject {
public:
    explicit PaintLog(QWidget* widget) { widget->installEventFilter(this); }
    std::vector<QRect> rects;
    static inline bool grabbing = false;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint && !grabbing)
            rects.push_back(static_cast<QPaintEvent*>(event)->rect());
        return false;
    }
};

void settle() {
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

// A reading with its own storage.
struct Reading {
    Reading(int columns, int channels, int loud)
        : max(static_cast<std::size_t>(columns * channels), static_cast<std::uint8_t>(128 + loud)),
          min(static_cast<std::size_t>(columns * channels), static_cast<std::uint8_t>(128 - loud)) {
        r.channels = channels;
        r.columnCount = columns;
        r.levels[0] = r.levels[1] = static_cast<float>(loud) / 100.0f;
    }
    const MeterReading& get() {
        r.maxValues = max;
        r.minValues = min;
        return r;
    }
    std::vector<std::uint8_t> max, min;
    MeterReading r;
};

// What the screen shows of a top-level widget: its window's backing store.
QImage onScreen(QWidget& widget) {
    return widget.screen()
        ->grabWindow(widget.winId())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

QImage rendered(QWidget& widget) {
    PaintLog::grabbing = true;
    const QImage image = widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
    PaintLog::grabbing = false;
    return image;
}

} // namespace

TEST(ConsoleRepaint, TraceRepaintsOnlyTheColumnsThatChangedWithinItsRows) {
    TracePaintBox box;
    box.resize(108, 88);
    box.show();
    settle();
    PaintLog log(&box);
    Reading first(108, 2, 20);
    box.setTrace(first.get(), 0, Qt::green);
    settle();
    ASSERT_EQ(log.rects.size(), 1u);
    EXPECT_EQ(log.rects[0], QRect(0, 0, 108, kTraceRows));

    struct Case {
        const char* name;
        int from, to; // columns louder than the first reading's (inclusive)
        QColor pen;
        int columns;
        QRect expected;
    };
    const Case cases[] = {
        {"columns 10..20", 10, 20, Qt::green, 108, QRect(10, 0, 11, kTraceRows)},
        {"nothing", 10, 20, Qt::green, 108, QRect()},
        {"a new pen", 10, 20, Qt::red, 108, QRect(0, 0, 108, kTraceRows)},
        {"a shorter reading", 10, 20, Qt::red, 50, QRect(50, 0, 58, kTraceRows)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Reading next(c.columns, 2, 20);
        for (int i = c.from; i <= c.to; ++i)
            next.max[static_cast<std::size_t>(i * 2)] = 250;
        log.rects.clear();
        const QImage before = rendered(box);
        box.setTrace(next.get(), 0, c.pen);
        settle();
        if (c.expected.isNull()) {
            EXPECT_TRUE(log.rects.empty());
        } else {
            ASSERT_EQ(log.rects.size(), 1u);
            EXPECT_EQ(log.rects[0], c.expected);
        }
        // The old picture with the repainted part painted over it is the new picture.
        QImage patched = before;
        if (!c.expected.isNull()) {
            QPainter p(&patched);
            PaintLog::grabbing = true;
            box.render(&p, c.expected.topLeft(), QRegion(c.expected));
            PaintLog::grabbing = false;
        }
        EXPECT_EQ(patched, rendered(box));
        EXPECT_EQ(onScreen(box), rendered(box));
    }
}

TEST(ConsoleRepaint, LevelBarRepaintsLaterAndOnlyTheLampsThatChange) {
    LevelBar bar;
    bar.resize(23, 88);
    bar.show();
    settle();
    PaintLog log(&bar);
    bar.setLevel(50);
    EXPECT_EQ(bar.value(), 50);
    EXPECT_TRUE(log.rects.empty()) << "no repaint inside the call";
    settle();
    ASSERT_EQ(log.rects.size(), 1u);
    EXPECT_LT(log.rects[0].height(), 88);
    EXPECT_EQ(onScreen(bar), rendered(bar));

    // A level within the same lamp changes the value but paints nothing.
    log.rects.clear();
    int same = 51;
    while (bar.litLamps(same) != bar.litLamps(50))
        ++same; // not reached: 51 lights as many lamps as 50 on 88 rows
    bar.setLevel(same);
    settle();
    EXPECT_EQ(bar.value(), same);
    EXPECT_TRUE(log.rects.empty());

    bar.setLevel(0);
    settle();
    EXPECT_EQ(onScreen(bar), rendered(bar));
    EXPECT_EQ(bar.litLamps(bar.value()), 0);
}

TEST(ConsoleRepaint, ScrollingTitleOnScreenMatchesAFullRepaint) {
    for (const int pixels : {1, 2}) {
        SCOPED_TRACE(testing::Message() << pixels << " pixels a step");
        ScrollingPanel panel;
        panel.resize(279, 22);
        QFont font(QStringLiteral("Arial"));
        font.setPixelSize(13);
        panel.setFont(font);
        panel.setText(QStringLiteral("Morning Rain - The Larks"));
        panel.setOwnTimer(false);
        panel.show();
        settle();
        PaintLog log(&panel);
        panel.setScrolling(true);
        const int steps = 400 / pixels; // more than one cycle: the wrap is crossed
        for (int i = 0; i < steps; ++i) {
            panel.advance(pixels);
            settle();
            if (i % 37 == 0) {
                ASSERT_EQ(onScreen(panel), rendered(panel)) << "step " << i;
            }
        }
        settle();
        EXPECT_EQ(onScreen(panel), rendered(panel));
        for (const QRect& r : log.rects)
            EXPECT_LE(r.width(), pixels + 1) << "a step paints only the new columns";

        // Stopped, advance() does nothing.
        panel.setScrolling(false);
        const int frozen = panel.scrollOffset();
        panel.advance(pixels);
        EXPECT_EQ(panel.scrollOffset(), frozen);
    }
}

// The title is painted from a picture of its text made once; each copy must look exactly as the
// text drawn in place does.
TEST(ConsoleRepaint, ScrollingTitleLooksAsTheTextDrawnInPlace) {
    ScrollingPanel panel;
    panel.resize(279, 22);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(13);
    panel.setFont(font);
    panel.setOwnTimer(false);
    const QString text = QStringLiteral("Morning Rain - The Larks (jQ, fig. \u00e9)");
    panel.setText(text);
    panel.setTextColour(QColor(0, 255, 0));
    panel.setScrolling(true);
    for (int step = 0; step < 500; ++step) {
        if (step % 50 == 0 || step == 499) {
            const QImage shown = rendered(panel);
            QImage expected(shown.size(), QImage::Format_RGB32);
            expected.fill(Qt::black);
            QPainter p(&expected);
            p.setFont(font);
            p.setPen(QColor(0, 255, 0));
            const QFontMetrics metrics(font);
            const int cycle = std::max(metrics.horizontalAdvance(text) + 60, 279 - 4);
            const int baseline = (22 + metrics.ascent() - metrics.descent()) / 2;
            for (int x = 4 - panel.scrollOffset(); x < 279; x += cycle)
                p.drawText(x, baseline, text);
            p.end();
            ASSERT_EQ(shown, expected) << "step " << step;
        }
        panel.advance();
    }
}

TEST(ConsoleRepaint, MinimisedWindowPaintsNoMetersOrTitlesAndIsCurrentWhenRestored) {
    QTemporaryDir dir;
    TfrmCorvalinRadio window(dir.path() + QLatin1Char('/'));
    window.show();
    settle();
    window.setTitleText(1, QStringLiteral("Morning Rain - The Larks"));
    window.setTitleScrolling(1, true);
    ASSERT_TRUE(test::waitFor([&] { return window.lTitle1->scrollOffset() > 3; }, 5000));

    std::vector<std::unique_ptr<PaintLog>> logs;
    for (QWidget* w :
         std::initializer_list<QWidget*>{window.paintboxLeft1, window.paintboxRight1,
                                         window.pbLeft1, window.pbRight1, window.lTitle1})
        logs.push_back(std::make_unique<PaintLog>(w));
    const auto paints = [&] {
        std::size_t n = 0;
        for (const auto& l : logs)
            n += l->rects.size();
        return n;
    };

    window.showMinimized();
    settle();
    for (auto& l : logs)
        l->rects.clear();
    const int offset = window.lTitle1->scrollOffset();
    for (int i = 1; i <= 10; ++i) {
        Reading r(108, 2, 5 * i);
        window.showMeters(1, r.get());
        settle();
    }
    QElapsedTimer waited;
    waited.start();
    test::waitFor([&] { return waited.elapsed() > 200; }, 1000);
    EXPECT_EQ(paints(), 0u) << "nothing of the meters and titles is painted while minimised";
    EXPECT_EQ(window.lTitle1->scrollOffset(), offset) << "the title waits";
    EXPECT_FALSE(window.paintboxLeft1->hasTrace());

    window.showNormal();
    Reading now(108, 2, 40);
    window.showMeters(1, now.get());
    ASSERT_TRUE(test::waitFor([&] { return window.lTitle1->scrollOffset() > offset; }, 5000));
    window.setTitleScrolling(1, false);
    settle();
    EXPECT_EQ(window.pbLeft1->value(), 40);
    EXPECT_TRUE(window.paintboxLeft1->hasTrace());
    EXPECT_EQ(onScreen(window), rendered(window)) << "back on screen, the console is current";

    // A deck that stops while minimised is cleared at once.
    window.showMinimized();
    window.clearMeters(1);
    EXPECT_FALSE(window.paintboxLeft1->hasTrace());
    EXPECT_EQ(window.pbLeft1->value(), 0);
    window.showNormal();
    settle();
    EXPECT_EQ(onScreen(window), rendered(window));
}

TEST(ConsoleRepaint, TitlesAndClockRunOnTheWindowsTimer) {
    QTemporaryDir dir;
    TfrmCorvalinRadio window(dir.path() + QLatin1Char('/'));
    window.setTitleText(1, QStringLiteral("One"));
    window.setTitleText(2, QStringLiteral("Two"));
    window.setTitleScrolling(1, true);
    window.setTitleScrolling(2, true);
    ASSERT_TRUE(test::waitFor(
        [&] { return window.lTitle1->scrollOffset() > 3 && window.lTitle2->scrollOffset() > 3; }));
    // One timer steps both: they move together.
    EXPECT_LE(std::abs(window.lTitle1->scrollOffset() - window.lTitle2->scrollOffset()), 1);

    // The clock's alarm is checked on the same timer, scrolling or not.
    window.setTitleScrolling(1, false);
    window.setTitleScrolling(2, false);
    FakeClock clock(QDateTime(QDate(2026, 12, 10), QTime(9, 0)));
    window.setClock(&clock);
    int plays = 0;
    QObject::connect(&window, &TfrmCorvalinRadio::commandRequested, [&](StationCommand c) {
        if (c == StationCommand::Play)
            ++plays;
    });
    window.setAutoClock(AlarmClock::AutoStart, true, QTime(9, 15));
    clock.set(QDateTime(QDate(2026, 12, 10), QTime(9, 15, 30)));
    EXPECT_TRUE(test::waitFor([&] { return plays == 1; }, 5000));
    EXPECT_TRUE(window.AutoStartClock->displayText().startsWith(QStringLiteral("9:15")))
        << window.AutoStartClock->displayText().toStdString();
    window.setClock(nullptr);
}

// While a deck plays, the titles step inside the meter reading's call, so both reach the screen in
// one update; the window's timer does not step them in between. Without readings it steps them.
TEST(ConsoleRepaint, TitlesStepWithTheMeterReadingsAndOnTheTimerWithout) {
    QTemporaryDir dir;
    TfrmCorvalinRadio window(dir.path() + QLatin1Char('/'));
    window.show();
    settle();
    window.setTitleText(1, QStringLiteral("Morning Rain - The Larks, a title longer than a step"));
    window.setTitleScrolling(1, true);
    ASSERT_TRUE(test::waitFor([&] { return window.lTitle1->scrollOffset() > 3; }, 5000))
        << "no deck playing: the timer steps the title";

    struct UpdateCount : QObject {
        int requests = 0;
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::UpdateRequest)
                ++requests;
            return false;
        }
    } updates;
    window.installEventFilter(&updates);

    constexpr int kReadings = 20;
    QElapsedTimer sinceReading;
    int afterReading = 0;
    for (int i = 0; i < kReadings; ++i) {
        if (i > 0) {
            test::waitFor([&] { return sinceReading.elapsed() >= TitleRhythm::kFrameMs; }, 1000);
            // Unless this machine lagged past a frame and a half, when the timer rightly takes
            // over, the title stayed put between two readings.
            if (sinceReading.elapsed() < TitleRhythm::kFrameMs * 3 / 2 - 5) {
                EXPECT_EQ(window.lTitle1->scrollOffset(), afterReading) << "before reading " << i;
            }
        }
        const int before = window.lTitle1->scrollOffset();
        Reading r(108, 2, 10 + 4 * i);
        window.showMeters(1, r.get());
        sinceReading.restart();
        afterReading = window.lTitle1->scrollOffset();
        // The first reading may come just after a step of the timer's.
        if (i > 0) {
            EXPECT_EQ(afterReading, before + TitleRhythm::kStepPixels) << "reading " << i;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    settle();
    EXPECT_LE(updates.requests, kReadings + 2) << "one screen update a reading, titles included";
    EXPECT_EQ(onScreen(window), rendered(window));

    // The readings stop (a pause): the timer steps the title again.
    const int stopped = window.lTitle1->scrollOffset();
    EXPECT_TRUE(test::waitFor([&] { return window.lTitle1->scrollOffset() > stopped + 4; }, 5000));
}
