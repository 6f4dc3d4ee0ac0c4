#include "FormTimerBox.h"

#include "Artwork.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>

namespace corvalin {

QString withLineBreaks(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

namespace {

// A picture in a lowered frame.
QLabel* framedPicture(QWidget* parent, QFrame*& frame, const QRect& geometry,
                      const QPixmap& pixmap) {
    frame = new QFrame(parent);
    frame->setFrameShape(QFrame::Panel);
    frame->setFrameShadow(QFrame::Sunken);
    frame->setLineWidth(1);
    frame->setGeometry(geometry);
    auto* picture = new QLabel(frame);
    picture->setGeometry(2, 2, geometry.width() - 4, geometry.height() - 4);
    picture->setAlignment(Qt::AlignCenter);
    picture->setPixmap(pixmap);
    return picture;
}

} // namespace

TfrmTimerBox::TfrmTimerBox(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("frmTimerBox"));
    setWindowTitle(QStringLiteral("Corvalin Radio"));
    setFixedSize(511, 146);
    setModal(true);

    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(12, 6, 487, 89);
    Label1->setAlignment(Qt::AlignCenter);
    Label1->setWordWrap(true);
    Label1->setTextFormat(Qt::PlainText);
    QFont messageFont = Label1->font();
    messageFont.setPixelSize(13);
    Label1->setFont(messageFont);

    iLogo =
        framedPicture(this, pLogo, QRect(10, 100, 36, 36), artwork::pixmap("timerbox-logo.png"));
    iLogo->setObjectName(QStringLiteral("iLogo"));
    Image2 = framedPicture(this, pImage2, QRect(511 - 10 - 52, 100, 52, 36),
                           artwork::pixmap("timerbox-picture.jpg"));
    Image2->setObjectName(QStringLiteral("Image2"));

    bOK = new QPushButton(QStringLiteral("OK"), this);
    bOK->setObjectName(QStringLiteral("bOK"));
    bOK->setGeometry((511 - 88) / 2, 106, 88, 28);
    bOK->setDefault(true);
    bOK->setAutoDefault(true);
    connect(bOK, &QPushButton::clicked, this, &QDialog::accept);

    Timer1.setObjectName(QStringLiteral("Timer1"));
    Timer1.setSingleShot(true);
    Timer1.setInterval(30000);
    connect(&Timer1, &QTimer::timeout, this, &TfrmTimerBox::Timer1Timer);
}

void TfrmTimerBox::setMessage(const QString& text) {
    Label1->setText(withLineBreaks(text));
}

void TfrmTimerBox::setLifetime(int ms) {
    Timer1.setInterval(std::max(0, ms));
    Timer1.start();
}

void TfrmTimerBox::Timer1Timer() {
    Timer1.stop();
    accept();
}

void TfrmTimerBox::done(int result) {
    Timer1.stop();
    QDialog::done(result);
}

void TfrmTimerBox::showEvent(QShowEvent* event) {
    if (const QScreen* screen = this->screen()) {
        const QRect desktop = screen->availableGeometry();
        move(desktop.center() - QPoint(width() / 2, height() / 2));
    }
    QDialog::showEvent(event);
}

void TimerBox(const QString& text, const QString& caption, int lifetimeMs, QWidget* parent) {
    try {
        // On the heap and guarded: the parent may go away during the nested event loop.
        QPointer<TfrmTimerBox> box = new TfrmTimerBox(parent);
        box->setMessage(text);
        if (!caption.isEmpty()) {
            box->setWindowTitle(caption);
        }
        box->setLifetime(lifetimeMs);
        QApplication::beep();
        box->exec();
        delete box.data();
    } catch (...) {
        // The box is only a notice; showing it must never disturb the station.
    }
}

} // namespace corvalin
