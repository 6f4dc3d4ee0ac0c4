// The window shows plainly when the station plays without a sound device: a red notice on the
// console and in the caption, the reason as its hint; not when a silent output was chosen.
#include "TestSupport.h"
#include "app/FormCorvalinRadio.h"
#include "audio/SoundDevice.h"

#include <QLabel>
#include <gtest/gtest.h>

using namespace corvalin;
using namespace corvalin::test;
using namespace Qt::StringLiterals;

namespace {

bool noticeShown(const TfrmCorvalinRadio& window) {
    return window.lNoSound->isVisibleTo(&window);
}

TEST(SoundOutputNotice, ShownForTheFallbackWithItsReason) {
    TfrmCorvalinRadio window(u"/nowhere/"_s);
    EXPECT_FALSE(noticeShown(window));
    EXPECT_EQ(window.windowTitle(), u"Corvalin Radio"_s);

    // No such card on any machine: the device falls back to no sound output.
    const auto device = SoundDevice::create(u"portaudio:Corvalin Test Card That Is Not"_s);
    const SoundOutputStatus status = device->outputStatus();
    ASSERT_TRUE(status.fallback);
    window.showSoundOutput(status);
    EXPECT_TRUE(noticeShown(window));
    EXPECT_EQ(window.lNoSound->text(), u"No sound output"_s);
    EXPECT_EQ(window.lNoSound->palette().color(QPalette::WindowText), QColor(Qt::red));
    EXPECT_FALSE(window.lNoSound->toolTip().isEmpty());
    EXPECT_EQ(window.lNoSound->toolTip(), status.reason);
    EXPECT_EQ(window.windowTitle(), u"Corvalin Radio - No sound output"_s);
    // On the console's title strip, clear of the station's name in the middle.
    EXPECT_EQ(window.lNoSound->parentWidget(), window.pTop);

    // The device opens again: the notice goes.
    SoundOutputStatus back;
    back.requested = status.requested;
    back.backend = u"portaudio"_s;
    window.showSoundOutput(back);
    EXPECT_FALSE(noticeShown(window));
    EXPECT_TRUE(window.lNoSound->toolTip().isEmpty());
    EXPECT_EQ(window.windowTitle(), u"Corvalin Radio"_s);
}

TEST(SoundOutputNotice, NotShownForASilentOutputChosenOnPurpose) {
    TempFolder work;
    for (const QString& backend : {u"null"_s, u"wav:"_s + work.file(u"out.wav"_s)}) {
        SCOPED_TRACE(backend.toStdString());
        TfrmCorvalinRadio window(u"/nowhere/"_s);
        const auto device = SoundDevice::create(backend);
        EXPECT_FALSE(device->outputStatus().fallback);
        window.showSoundOutput(device->outputStatus());
        EXPECT_FALSE(noticeShown(window));
        EXPECT_EQ(window.windowTitle(), u"Corvalin Radio"_s);
    }
}

} // namespace
