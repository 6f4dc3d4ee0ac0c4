#include "app/Artwork.h"
#include "app/FormTimerBox.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QImageReader>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

using namespace corvalin;

namespace {

// Closes whatever modal window is still open after a generous deadline, so a box that fails to
// close itself fails the test instead of hanging it.
class ModalGuard {
public:
    explicit ModalGuard(int ms) {
        timer_.setSingleShot(true);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            fired_ = true;
            if (QWidget* modal = QApplication::activeModalWidget()) {
                modal->close();
            }
        });
        timer_.start(ms);
    }
    bool fired() const { return fired_; }

private:
    QTimer timer_;
    bool fired_ = false;
};

} // namespace

TEST(TimerBox, ClosesItselfWhenItsLifetimeEnds) {
    ModalGuard guard(10000);
    QString seenText;
    QString seenCaption;
    QTimer::singleShot(0, [&] {
        if (auto* box = qobject_cast<TfrmTimerBox*>(QApplication::activeModalWidget())) {
            seenText = box->Label1->text();
            seenCaption = box->windowTitle();
        }
    });
    QElapsedTimer clock;
    clock.start();
    TimerBox(QStringLiteral("Cannot open the song.\rIt is skipped."), QStringLiteral("Error"), 200);
    EXPECT_FALSE(guard.fired()) << "the box did not close by itself";
    EXPECT_GE(clock.elapsed(), 190);
    EXPECT_EQ(seenText, QStringLiteral("Cannot open the song.\nIt is skipped."));
    EXPECT_EQ(seenCaption, QStringLiteral("Error"));
}

TEST(TimerBox, OkClosesItAtOnceAndStopsTheLifetime) {
    TfrmTimerBox box;
    EXPECT_EQ(box.size(), QSize(511, 146));
    EXPECT_EQ(box.windowTitle(), QStringLiteral("Corvalin Radio"));
    EXPECT_FALSE(box.Timer1.isActive()) << "disabled until the caller sets the lifetime";
    EXPECT_EQ(box.Timer1.interval(), 30000);
    EXPECT_TRUE(box.bOK->isDefault());

    box.setLifetime(60000);
    box.open();
    ASSERT_TRUE(box.isVisible());
    EXPECT_TRUE(box.Timer1.isActive());
    box.bOK->click();
    EXPECT_FALSE(box.isVisible());
    EXPECT_FALSE(box.Timer1.isActive());
    EXPECT_EQ(box.result(), QDialog::Accepted);
}

TEST(TimerBox, ShowsTheEmblemAndAJpegPicture) {
    TfrmTimerBox box;
    EXPECT_EQ(box.iLogo->pixmap().size(), QSize(32, 32));
    EXPECT_EQ(box.Image2->pixmap().size(), QSize(48, 32));

    QImageReader reader(artwork::path("timerbox-picture.jpg"));
    EXPECT_EQ(reader.format(), QByteArray("jpeg"));
    const QImage picture = reader.read();
    ASSERT_FALSE(picture.isNull()) << reader.errorString().toStdString();
    EXPECT_EQ(picture.size(), QSize(48, 32));
}
