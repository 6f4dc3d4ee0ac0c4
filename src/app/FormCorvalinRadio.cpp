#include "FormCorvalinRadio.h"

#include "Artwork.h"
#include "BevelPanel.h"
#include "DigitalClock.h"
#include "FormHelp.h"
#include "FormTimerBox.h"
#include "ImageButton.h"
#include "ScrollingPanel.h"
#include "audio/SoundDevice.h"
#include "dialogs/FormZipCode.h"
#include "stream/StreamOutput.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QMessageBox>
#include <QSignalBlocker>
#include <QSlider>
#include <algorithm>

namespace corvalin {

namespace {

constexpr int kHintHidePauseMs = 7000;
constexpr int kClockRefreshMs = 250;

const QColor kSilver(192, 192, 192);
const QColor kYellow(255, 255, 0);
const QString kNoSoundOutput = QStringLiteral("No sound output");

QFont arial(int pixelSize, bool bold = false) {
    QFont font(QStringLiteral("Arial"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

QColor toQColor(RgbColour colour) {
    return QColor(colour.red, colour.green, colour.blue);
}

template <class W> W* named(W* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QLabel* label(QWidget* parent, const char* name, const QString& text, const QFont& font,
              const QColor& colour) {
    auto* l = named(new QLabel(text, parent), name);
    l->setFont(font);
    QPalette palette = l->palette();
    palette.setColor(QPalette::WindowText, colour);
    l->setPalette(palette);
    return l;
}

void setTextColour(QLabel* l, const QColor& colour) {
    QPalette palette = l->palette();
    palette.setColor(QPalette::WindowText, colour);
    l->setPalette(palette);
}

// A time label painted on a coloured field over an end of the position bar.
QLabel* timeLabel(QWidget* parent, const char* name, const QRect& geometry, const QColor& field,
                  Qt::Alignment alignment) {
    auto* l = label(parent, name, QString(), arial(13, true), kYellow);
    l->setGeometry(geometry);
    l->setAlignment(alignment | Qt::AlignVCenter);
    l->setAutoFillBackground(true);
    QPalette palette = l->palette();
    palette.setColor(QPalette::Window, field);
    l->setPalette(palette);
    l->setContentsMargins(3, 0, 3, 0);
    return l;
}

const QString kSliderStyle = QStringLiteral(
    "QSlider::groove:horizontal { height: 6px; border: 1px solid #4a4a4a; border-radius: 3px;"
    "  background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #050505, stop:1 #2c2c2c); }"
    "QSlider::sub-page:horizontal { border: 1px solid #4a4a4a; border-radius: 3px;"
    "  background: qlineargradient(x1:0, y1:0, x2:1, y2:0, stop:0 #0000d0, stop:1 #c8c8ff); }"
    "QSlider::handle:horizontal { width: 12px; margin: -8px 0; border: 1px solid #101010;"
    "  border-radius: 3px;"
    "  background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #f4f4f4, stop:0.5 #b8b8b8,"
    "  stop:1 #6c6c6c); }"
    "QSlider::handle:horizontal:hover { background: qlineargradient(x1:0, y1:0, x2:0, y2:1,"
    "  stop:0 #ffffff, stop:0.5 #d0d0d0, stop:1 #808080); }"
    "QSlider::sub-page:horizontal:disabled { background: #303030; }"
    "QSlider::handle:horizontal:disabled { background: #3a3a3a; border-color: #2a2a2a; }");

} // namespace

TfrmCorvalinRadio::TfrmCorvalinRadio(const QString& programFolder, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      programFolder_(programFolder) {
    setObjectName(QStringLiteral("frmCorvalinRadio"));
    setWindowTitle(QStringLiteral("Corvalin Radio"));
    setFixedSize(659, 501);
    setFont(arial(11));
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::black);
    palette.setColor(QPalette::WindowText, kSilver);
    setPalette(palette);
    setAutoFillBackground(true);

    pForm = named(new QFrame(this), "pForm");
    pForm->setGeometry(0, 0, 659, 501);
    pForm->setAutoFillBackground(true);

    pTop = named(new QFrame(pForm), "pTop");
    pTop->setGeometry(1, 1, 657, 30);
    lTitle = label(pTop, "lTitle", QString(), arial(21, true), kSilver);
    lTitle->setGeometry(0, 0, 657, 30);
    lTitle->setAlignment(Qt::AlignCenter);
    lNoSound = label(pTop, "lNoSound", kNoSoundOutput, arial(11, true), Qt::red);
    lNoSound->setGeometry(507, 0, 146, 30);
    lNoSound->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lNoSound->hide();
    lOnAir = label(pTop, "lOnAir", QStringLiteral("ON AIR"), arial(9, true), Qt::black);
    lOnAir->setGeometry(6, 7, 58, 16);
    lOnAir->setAlignment(Qt::AlignCenter);
    lOnAir->hide();

    buildPlayerPanel(1);
    buildPlayerPanel(2);
    buildTransport();
    buildCentre();
    buildClockPanel();
    buildVolumePanel();
    buildDialogButtons();
    // The hints are several lines long: give them time to be read.
    for (QWidget* w : findChildren<QWidget*>())
        if (!w->toolTip().isEmpty())
            w->setToolTipDuration(kHintHidePauseMs);
    for (ScrollingPanel* title : {lTitle1, lTitle2})
        title->setOwnTimer(false);
    for (DigitalClock* clock : {AutoStartClock, AutoStopClock})
        clock->setOwnTimer(false);
    connect(&consoleTimer_, &QTimer::timeout, this, &TfrmCorvalinRadio::consoleTick);
    consoleClock_.start();
    setConsoleInterval();
    consoleTimer_.start();
}

TfrmCorvalinRadio::~TfrmCorvalinRadio() = default;

void TfrmCorvalinRadio::buildPlayerPanel(int player) {
    const bool first = player == 1;
    auto* panel = named(new BevelPanel(pForm), first ? "pDSPlayer1" : "pDSPlayer2");
    panel->setGeometry(first ? 9 : 363, 38, 284, 165);
    Deck& d = decks_[first ? 0 : 1];

    auto* heading = label(panel, first ? "lPlayer1" : "lPlayer2",
                          first ? QStringLiteral("Player 1") : QStringLiteral("Player 2"),
                          arial(16, true), kSilver);
    heading->move(104, 8);
    heading->adjustSize();

    d.left = named(new LevelBar(panel), first ? "pbLeft1" : "pbLeft2");
    d.left->setGeometry(9, 29, 23, 88);
    d.right = named(new LevelBar(panel), first ? "pbRight1" : "pbRight2");
    d.right->setGeometry(250, 29, 23, 88);
    d.traceLeft = named(new TracePaintBox(panel), first ? "paintboxLeft1" : "paintboxLeft2");
    d.traceLeft->setGeometry(32, 29, 108, 88);
    d.traceRight = named(new TracePaintBox(panel), first ? "paintboxRight1" : "paintboxRight2");
    d.traceRight->setGeometry(140, 29, 110, 88);
    // The traces use rows 0..63; the channel names sit in the boxes' free lower part.
    auto* left =
        label(panel, first ? "lLeft1" : "lLeft2", QStringLiteral("Left"), arial(11), kSilver);
    left->move(73, 100);
    left->adjustSize();
    auto* right =
        label(panel, first ? "lRight1" : "lRight2", QStringLiteral("Right"), arial(11), kSilver);
    right->move(185, 100);
    right->adjustSize();

    d.title = named(new ScrollingPanel(panel), first ? "lTitle1" : "lTitle2");
    d.title->setGeometry(3, 119, 279, 22);
    d.title->setFont(arial(13));
    d.title->setTextColour(Qt::red);
    d.title->setToolTip(QStringLiteral("Dbl-Click here to view current play list"));
    connect(d.title, &ScrollingPanel::doubleClicked, this, &TfrmCorvalinRadio::ViewList);

    d.position = named(new GradientBar(panel), first ? "pbPosition1" : "pbPosition2");
    d.position->setGeometry(3, 141, 278, 22);
    d.position->setShowBorder(false);
    d.length = timeLabel(panel, first ? "lTime1" : "lTime2", QRect(4, 141, 62, 22),
                         QColor(0, 0, 255), Qt::AlignLeft);
    d.remaining = timeLabel(panel, first ? "lTime1a" : "lTime2a", QRect(213, 141, 66, 22),
                            QColor(255, 0, 0), Qt::AlignRight);

    if (first) {
        pDSPlayer1 = panel;
        lPlayer1 = heading;
        lLeft1 = left;
        lRight1 = right;
        pbLeft1 = d.left;
        pbRight1 = d.right;
        paintboxLeft1 = d.traceLeft;
        paintboxRight1 = d.traceRight;
        lTitle1 = d.title;
        pbPosition1 = d.position;
        lTime1 = d.length;
        lTime1a = d.remaining;
    } else {
        pDSPlayer2 = panel;
        lPlayer2 = heading;
        lLeft2 = left;
        lRight2 = right;
        pbLeft2 = d.left;
        pbRight2 = d.right;
        paintboxLeft2 = d.traceLeft;
        paintboxRight2 = d.traceRight;
        lTitle2 = d.title;
        pbPosition2 = d.position;
        lTime2 = d.length;
        lTime2a = d.remaining;
    }
}

void TfrmCorvalinRadio::buildTransport() {
    struct Spec {
        ImageButton** member;
        const char* name;
        const char* caption;
        const char* glyph;
        QColor accent;
        int top;
        int height;
        void (TfrmCorvalinRadio::*handler)();
    };
    const Spec specs[] = {
        {&bPlay, "bPlay", "Play", "play.png", QColor(60, 240, 70), 43, 40,
         &TfrmCorvalinRadio::bPlayClick},
        {&bPause, "bPause", "Pause", "pause.png", QColor(255, 190, 20), 83, 40,
         &TfrmCorvalinRadio::bPauseClick},
        {&bStop, "bStop", "Stop", "stop.png", QColor(255, 50, 40), 123, 40,
         &TfrmCorvalinRadio::bStopClick},
        {&bNext, "bNext", "Next", "next.png", QColor(60, 170, 255), 163, 39,
         &TfrmCorvalinRadio::bNextClick},
    };
    for (const Spec& s : specs) {
        auto* b = named(new ImageButton(pForm), s.name);
        b->setGeometry(299, s.top, 60, s.height);
        b->setText(QString::fromLatin1(s.caption));
        b->setFont(arial(13, true));
        b->setGlyph(artwork::pixmap(s.glyph));
        b->setAccent(s.accent);
        connect(b, &ImageButton::clicked, this, s.handler);
        *s.member = b;
    }
}

void TfrmCorvalinRadio::buildCentre() {
    pbDJ = named(new GradientBar(pForm), "pbDJ");
    pbDJ->setGeometry(8, 204, 640, 20);
    pbDJ->setShowBorder(false); // black and borderless until the DJ speaks

    iLogo = named(new QLabel(pForm), "iLogo");
    iLogo->setGeometry(48, 232, 569, 82);
    iLogo->setScaledContents(true);
    iLogo->setAttribute(Qt::WA_TranslucentBackground);
    iLogo->setPixmap(artwork::pixmap("logo.png"));

    lVersion = label(pForm, "lVersion", QString(), arial(13, true), Qt::black);
    lVersion->move(72, 294);
    lVersion->adjustSize();
}

void TfrmCorvalinRadio::buildClockPanel() {
    pClock = named(new BevelPanel(pForm), "pClock");
    pClock->setGeometry(9, 324, 347, 105);

    lDJName = label(pClock, "lDJName", QString(), arial(13, true), Qt::red);
    lDJName->setGeometry(3, 10, 340, 16);
    lDJName->setAlignment(Qt::AlignCenter);

    AutoStartClock = named(new DigitalClock(pClock), "AutoStartClock");
    AutoStartClock->setGeometry(3, 25, 340, 60);
    QFont clockFont(QStringLiteral("Arial Black"));
    clockFont.setStyleHint(QFont::SansSerif);
    clockFont.setPixelSize(64);
    clockFont.setWeight(QFont::Black);
    AutoStartClock->setFont(clockFont);
    connect(AutoStartClock, &DigitalClock::alarm, this, &TfrmCorvalinRadio::AutoStartClockAlarm);

    AutoStopClock = named(new DigitalClock(this), "AutoStopClock");
    AutoStopClock->hide();
    AutoStopClock->setEnabled(false); // runs only while auto stop is on
    connect(AutoStopClock, &DigitalClock::alarm, this, &TfrmCorvalinRadio::AutoStopClockAlarm);
}

void TfrmCorvalinRadio::buildVolumePanel() {
    pVolume = named(new BevelPanel(pForm), "pVolume");
    pVolume->setGeometry(363, 324, 284, 165);
    struct Spec {
        QSlider** member;
        QLabel** caption;
        const char* name;
        const char* labelName;
        const char* text;
        int top;
        int minimum;
        int maximum;
        int step;
    };
    const Spec specs[] = {
        {&PlayerVolume, &lPlayerVolume, "PlayerVolume", "lPlayerVolume", "Player Volume", 22, -5000,
         0, 500},
        {&DJVolume, &lDJVolume, "DJVolume", "lDJVolume", "DJ Volume", 74, 0, 65535, 6500},
        {&WaveVolume, &lWaveVolume, "WaveVolume", "lWaveVolume", "Main Volume", 125, 0, 65535,
         6500},
    };
    for (const Spec& s : specs) {
        auto* caption =
            label(pVolume, s.labelName, QString::fromLatin1(s.text), arial(11, true), kSilver);
        caption->setGeometry(10, s.top - 13, 200, 14);
        auto* slider = named(new QSlider(Qt::Horizontal, pVolume), s.name);
        slider->setGeometry(8, s.top, 268, 32);
        slider->setStyleSheet(kSliderStyle);
        slider->setRange(s.minimum, s.maximum);
        slider->setSingleStep(s.step);
        slider->setPageStep(s.step);
        slider->setFocusPolicy(Qt::NoFocus);
        *s.member = slider;
        *s.caption = caption;
    }
    DJVolume->setEnabled(false); // until a voice is ready
    const std::pair<QSlider*, VolumeSlider> sliders[] = {{PlayerVolume, VolumeSlider::Player},
                                                         {DJVolume, VolumeSlider::DJ},
                                                         {WaveVolume, VolumeSlider::Wave}};
    for (const auto& [widget, which] : sliders) {
        connect(widget, &QSlider::valueChanged, this,
                [this, slider = widget, which = which](int value) {
                    // Each DJ volume change is written to disk: not at every step of a drag.
                    if (which == VolumeSlider::DJ && slider->isSliderDown())
                        return;
                    Q_EMIT volumeChanged(which, value);
                });
    }
    connect(DJVolume, &QSlider::sliderReleased, this,
            [this] { Q_EMIT volumeChanged(VolumeSlider::DJ, DJVolume->value()); });
}

void TfrmCorvalinRadio::buildDialogButtons() {
    struct Spec {
        ImageButton** member;
        const char* name;
        const char* caption;
        const char* hint;
        const char* glyph;
        int left;
        void (TfrmCorvalinRadio::*handler)();
    };
    const Spec specs[] = {
        {&bManager, "bManager", "Radio\r\nManager\r\n",
         "Manage all the settings\r\nand standards for\r\nyour radio station", "manager.png", 11,
         &TfrmCorvalinRadio::bManagerClick},
        {&bPlayList, "bPlayList", "Play\r\nLists\r\n",
         "Create and maintain\r\nall the play lists used\r\nby your DJ's", "playlist.png", 80,
         &TfrmCorvalinRadio::bPlayListClick},
        {&bDJTest, "bDJTest", "Test DJ\r\nVoice",
         "Test the TTS voice\r\nyou selected for the\r\ncurrent time slot", "djtest.png", 150,
         &TfrmCorvalinRadio::bDJTestClick},
        {&bAbout, "bAbout", "About", "About Corvalin Radio\r\nClick here", "about.png", 220,
         &TfrmCorvalinRadio::bAboutClick},
        {&bHelp, "bHelp", "Help", "Help for Corvalin Radio", "help.png", 290,
         &TfrmCorvalinRadio::bHelpClick},
    };
    for (const Spec& s : specs) {
        auto* b = named(new ImageButton(pForm), s.name);
        b->setGeometry(s.left, 434, 66, 54);
        b->setText(QString::fromLatin1(s.caption));
        b->setToolTip(withLineBreaks(QString::fromLatin1(s.hint)));
        b->setFont(arial(11, true));
        b->setGlyph(artwork::pixmap(s.glyph));
        connect(b, &ImageButton::clicked, this, s.handler);
        *s.member = b;
    }
}

void TfrmCorvalinRadio::setClock(const Clock* clock) {
    AutoStartClock->setClock(clock);
    AutoStopClock->setClock(clock);
}

void TfrmCorvalinRadio::setConsoleInterval() {
    // Fast only while a title scrolls on screen and no meter readings step it.
    const bool scrolling = lTitle1->isScrolling() || lTitle2->isScrolling();
    const bool fast =
        scrolling && !isMinimized() && !titleRhythm_.metersDrive(consoleClock_.elapsed());
    const int interval = fast ? TitleRhythm::kFrameMs : kClockRefreshMs;
    if (consoleTimer_.interval() != interval) {
        consoleTimer_.setInterval(interval); // restarts the timer: only on a change
    }
}

void TfrmCorvalinRadio::stepTitles() {
    lTitle1->advance(TitleRhythm::kStepPixels);
    lTitle2->advance(TitleRhythm::kStepPixels);
}

void TfrmCorvalinRadio::consoleTick() {
    // Minimised, the titles wait where they are (the clocks and their alarms run on).
    if (!isMinimized() && titleRhythm_.stepOnTick(consoleClock_.elapsed())) {
        stepTitles();
    }
    clockDueMs_ -= consoleTimer_.interval();
    if (clockDueMs_ <= 0) {
        clockDueMs_ = kClockRefreshMs;
        AutoStartClock->refresh();
        AutoStopClock->refresh();
    }
    setConsoleInterval();
}

void TfrmCorvalinRadio::setLevelColourFunction(LevelColourFunction function) {
    levelColour_ = std::move(function);
}

TfrmCorvalinRadio::Deck* TfrmCorvalinRadio::deck(int player) {
    return player == 1 || player == 2 ? &decks_[static_cast<std::size_t>(player - 1)] : nullptr;
}

ImageButton* TfrmCorvalinRadio::button(TransportButton which) const {
    switch (which) {
    case TransportButton::Play:
        return bPlay;
    case TransportButton::Pause:
        return bPause;
    case TransportButton::Stop:
        return bStop;
    case TransportButton::Next:
        return bNext;
    case TransportButton::DJTest:
        return bDJTest;
    }
    return nullptr;
}

QSlider* TfrmCorvalinRadio::slider(VolumeSlider which) const {
    switch (which) {
    case VolumeSlider::Player:
        return PlayerVolume;
    case VolumeSlider::DJ:
        return DJVolume;
    case VolumeSlider::Wave:
        return WaveVolume;
    }
    return nullptr;
}

QColor TfrmCorvalinRadio::tracePen(int percent) const {
    return levelColour_ ? colourFromBgr(levelColour_(percent)) : kSilver;
}

void TfrmCorvalinRadio::setTitleText(int player, const QString& text) {
    if (Deck* d = deck(player)) {
        d->title->setText(text);
    }
}

void TfrmCorvalinRadio::setTitleColour(int player, RgbColour colour) {
    if (Deck* d = deck(player)) {
        d->title->setTextColour(toQColor(colour));
    }
}

void TfrmCorvalinRadio::setTitleScrolling(int player, bool scrolling) {
    if (Deck* d = deck(player)) {
        d->title->setScrolling(scrolling);
        setConsoleInterval();
    }
}

void TfrmCorvalinRadio::setPositionPercent(int player, int percent) {
    if (Deck* d = deck(player)) {
        d->position->setValue(std::clamp(percent, 0, 100));
    }
}

void TfrmCorvalinRadio::setLengthText(int player, const QString& text) {
    if (Deck* d = deck(player)) {
        d->length->setText(text);
    }
}

void TfrmCorvalinRadio::setRemainingText(int player, const QString& text) {
    if (Deck* d = deck(player)) {
        d->remaining->setText(text);
    }
}

void TfrmCorvalinRadio::showMeters(int player, const MeterReading& reading) {
    Deck* d = deck(player);
    // Minimised, the meters are not painted; the next reading after a restore shows again.
    if (d == nullptr || isMinimized()) {
        return;
    }
    const int left = levelPercent(reading.levels[0]);
    d->traceLeft->setTrace(reading, 0, tracePen(left));
    d->left->setLevel(left);
    if (reading.channels > 1) {
        const int right = levelPercent(reading.levels[1]);
        d->traceRight->setTrace(reading, 1, tracePen(right));
        d->right->setLevel(right);
    } else {
        d->traceRight->clearTrace();
        d->right->setLevel(0);
    }
    // In the same screen update as the meters.
    if (titleRhythm_.stepWithMeters(consoleClock_.elapsed())) {
        stepTitles();
    }
}

void TfrmCorvalinRadio::clearMeters(int player) {
    if (Deck* d = deck(player)) {
        d->traceLeft->clearTrace();
        d->traceRight->clearTrace();
        d->left->setLevel(0);
        d->right->setLevel(0);
    }
}

void TfrmCorvalinRadio::setButtonEnabled(TransportButton which, bool enabled) {
    if (ImageButton* b = button(which)) {
        b->setEnabled(enabled);
        buttonsChanged();
    }
}

bool TfrmCorvalinRadio::isButtonEnabled(TransportButton which) const {
    const ImageButton* b = button(which);
    return b != nullptr && b->isEnabled();
}

void TfrmCorvalinRadio::setTransportDown(TransportButton which) {
    if (which != TransportButton::Play && which != TransportButton::Pause &&
        which != TransportButton::Stop) {
        return;
    }
    bPlay->setShownDown(which == TransportButton::Play);
    bPause->setShownDown(which == TransportButton::Pause);
    bStop->setShownDown(which == TransportButton::Stop);
}

bool TfrmCorvalinRadio::isButtonDown(TransportButton which) const {
    const ImageButton* b = button(which);
    return b != nullptr && b->isShownDown();
}

void TfrmCorvalinRadio::setDJProgressVisible(bool visible) {
    pbDJ->setShowBorder(visible);
    if (!visible) {
        pbDJ->setValue(0);
    }
}

void TfrmCorvalinRadio::setDJProgress(int position, int maximum) {
    pbDJ->setRange(0, std::max(0, maximum));
    pbDJ->setValue(std::clamp(position, 0, std::max(0, maximum)));
}

void TfrmCorvalinRadio::setDJName(const QString& name) {
    lDJName->setText(name);
}

void TfrmCorvalinRadio::setSlotColour(RgbColour colour) {
    const QColor c = toQColor(colour);
    AutoStartClock->setTextColour(c);
    setTextColour(lDJName, c);
    pbDJ->setBorderColour(c);
}

void TfrmCorvalinRadio::setStationTitle(const QString& text) {
    lTitle->setText(text);
}

void TfrmCorvalinRadio::setVersionText(const QString& text) {
    lVersion->setText(text);
    lVersion->adjustSize();
}

void TfrmCorvalinRadio::setAutoClock(AlarmClock which, bool enabled, QTime time) {
    DigitalClock* c = which == AlarmClock::AutoStart ? AutoStartClock : AutoStopClock;
    c->setAlarmEnabled(enabled);
    c->setAlarmTime(time);
}

void TfrmCorvalinRadio::setAutoStopClockRunning(bool running) {
    AutoStopClock->setEnabled(running);
}

void TfrmCorvalinRadio::setVolumeRange(VolumeSlider which, int minimum, int maximum, int step) {
    QSlider* s = slider(which);
    s->setRange(minimum, std::max(minimum, maximum));
    s->setSingleStep(std::max(1, step));
    s->setPageStep(std::max(1, step));
}

void TfrmCorvalinRadio::setVolume(VolumeSlider which, int value) {
    const QSignalBlocker quiet(slider(which));
    slider(which)->setValue(value);
}

int TfrmCorvalinRadio::volume(VolumeSlider which) const {
    return slider(which)->value();
}

void TfrmCorvalinRadio::setVolumeEnabled(VolumeSlider which, bool enabled) {
    slider(which)->setEnabled(enabled);
}

void TfrmCorvalinRadio::showTimerBox(const QString& text, const QString& caption, int lifetimeMs) {
    TimerBox(text, caption, lifetimeMs, this);
}

void TfrmCorvalinRadio::showMessage(MessageKind kind, const QString& caption, const QString& text) {
    const QMessageBox::Icon icon = kind == MessageKind::Error     ? QMessageBox::Critical
                                   : kind == MessageKind::Warning ? QMessageBox::Warning
                                                                  : QMessageBox::Information;
    // Guarded: the window may be closed while the box's event loop runs.
    QPointer<QMessageBox> box =
        new QMessageBox(icon, caption, withLineBreaks(text), QMessageBox::Ok, this);
    box->exec();
    delete box.data();
}

void TfrmCorvalinRadio::showFetchOutcome(const QString& text) {
    // The clocks inside the panel have no hint of their own, so they show this one too.
    pClock->setToolTip(text);
}

void TfrmCorvalinRadio::setWindowPosition(int top, int left) {
    move(left, top);
}

int TfrmCorvalinRadio::windowTop() const {
    return y();
}

int TfrmCorvalinRadio::windowLeft() const {
    return x();
}

void TfrmCorvalinRadio::askZipCode(StationSettings& settings) {
    QPointer<TfrmZipCode> prompt = new TfrmZipCode(settings, this);
    prompt->exec();
    delete prompt.data();
}

void TfrmCorvalinRadio::showSoundOutput(const SoundOutputStatus& status) {
    const bool silent = status.fallback;
    lNoSound->setVisible(silent);
    lNoSound->setToolTip(silent ? status.reason : QString());
    setWindowTitle(silent ? QStringLiteral("Corvalin Radio - ") + kNoSoundOutput
                          : QStringLiteral("Corvalin Radio"));
}

void TfrmCorvalinRadio::showStreamStatus(const StreamStatus& status) {
    const char* colour = "#00c000";
    if (status.state == StreamState::Connecting)
        colour = "#e0a000";
    else if (status.state == StreamState::Failed)
        colour = "#e00000";
    lOnAir->setStyleSheet(
        QStringLiteral("QLabel { background: %1; color: black; border-radius: 8px; }")
            .arg(QLatin1String(colour)));
    lOnAir->setToolTip(streamStatusText(status));
    lOnAir->setVisible(status.state != StreamState::Off);
}

void TfrmCorvalinRadio::terminate() {
    QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit,
                              Qt::QueuedConnection);
}

void TfrmCorvalinRadio::beep() {
    QApplication::beep();
}

void TfrmCorvalinRadio::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // After the window has been painted, like an activation.
    QMetaObject::invokeMethod(this, &TfrmCorvalinRadio::activated, Qt::QueuedConnection);
}

void TfrmCorvalinRadio::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        setConsoleInterval();
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        Q_EMIT activated();
}

void TfrmCorvalinRadio::closeEvent(QCloseEvent* event) {
    Q_EMIT closing();
    QWidget::closeEvent(event);
}

void TfrmCorvalinRadio::bPlayClick() {
    Q_EMIT commandRequested(StationCommand::Play);
}

void TfrmCorvalinRadio::bPauseClick() {
    Q_EMIT commandRequested(StationCommand::Pause);
}

void TfrmCorvalinRadio::bStopClick() {
    Q_EMIT commandRequested(StationCommand::Stop);
}

void TfrmCorvalinRadio::bNextClick() {
    Q_EMIT commandRequested(StationCommand::Next);
}

void TfrmCorvalinRadio::bDJTestClick() {
    Q_EMIT commandRequested(StationCommand::DJTest);
}

void TfrmCorvalinRadio::bManagerClick() {
    Q_EMIT commandRequested(StationCommand::Manager);
}

void TfrmCorvalinRadio::bPlayListClick() {
    Q_EMIT commandRequested(StationCommand::PlayList);
}

void TfrmCorvalinRadio::bAboutClick() {
    Q_EMIT commandRequested(StationCommand::About);
}

void TfrmCorvalinRadio::bHelpClick() {
    showHelp(2);
}

void TfrmCorvalinRadio::showHelp(int topic) {
    if (help_.isNull()) {
        help_ = new TfrmHelp(programFolder_, this);
    }
    help_->showTopic(topic);
    help_->show();
    help_->raise();
    help_->activateWindow();
}

void TfrmCorvalinRadio::ViewList() {
    Q_EMIT commandRequested(StationCommand::ViewList);
}

void TfrmCorvalinRadio::AutoStartClockAlarm() {
    bPlayClick();
}

void TfrmCorvalinRadio::AutoStopClockAlarm() {
    bStopClick();
}

} // namespace corvalin
