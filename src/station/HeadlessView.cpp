#include "station/HeadlessView.h"

#include "station/SettingsStore.h"

#include <QCoreApplication>
#include <algorithm>
#include <cstdio>

namespace corvalin {

namespace {

std::size_t indexOf(TransportButton button) {
    return static_cast<std::size_t>(button);
}
std::size_t indexOf(VolumeSlider slider) {
    return static_cast<std::size_t>(slider);
}

// A box's text on one line: its "\r" line breaks become blanks.
QString oneLine(const QString& text) {
    QString line = text;
    line.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    return line.simplified();
}

} // namespace

HeadlessView::HeadlessView(std::function<void(const QString& line)> log) : log_(std::move(log)) {
    autoStopClock_.setRunning(false); // as the window's: off until auto stop is set
    clockTimer_.setInterval(DailyAlarm::kRefreshMs);
    QObject::connect(&clockTimer_, &QTimer::timeout, &clockTimer_, [this] { refreshClocks(); });
    clockTimer_.start();
}

void HeadlessView::setClock(const Clock* clock) {
    clock_ = clock != nullptr ? clock : &systemClock_;
}

void HeadlessView::setCommandHandler(std::function<void(StationCommand)> handler) {
    command_ = std::move(handler);
}

void HeadlessView::refreshClocks() {
    const QDateTime now = clock_->now();
    // Each clock's alarm is the click of its button, as on the window (AutoStartClockAlarm,
    // AutoStopClockAlarm).
    const bool start = autoStartClock_.tick(now);
    const bool stop = autoStopClock_.tick(now);
    if (start && command_)
        command_(StationCommand::Play);
    if (stop && command_)
        command_(StationCommand::Stop);
}

void HeadlessView::setAutoClock(AlarmClock clock, bool enabled, QTime time) {
    (clock == AlarmClock::AutoStart ? autoStartClock_ : autoStopClock_).SetAutoClock(enabled, time);
}

void HeadlessView::setAutoStopClockRunning(bool running) {
    autoStopClock_.setRunning(running);
}

void HeadlessView::log(const QString& line) const {
    if (log_) {
        log_(line);
        return;
    }
    std::fprintf(stderr, "corvalinradio: %s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
}

void HeadlessView::setButtonEnabled(TransportButton button, bool enabled) {
    if (enabled_.at(indexOf(button)) == enabled)
        return;
    enabled_.at(indexOf(button)) = enabled;
    buttonsChanged();
}

bool HeadlessView::isButtonEnabled(TransportButton button) const {
    return enabled_.at(indexOf(button));
}

void HeadlessView::setTransportDown(TransportButton button) {
    if (button == TransportButton::Play || button == TransportButton::Pause ||
        button == TransportButton::Stop)
        down_ = button;
}

bool HeadlessView::isButtonDown(TransportButton button) const {
    return button == down_;
}

void HeadlessView::setVolumeRange(VolumeSlider slider, int minimum, int maximum, int) {
    Slider& s = sliders_.at(indexOf(slider));
    s.minimum = minimum;
    s.maximum = std::max(minimum, maximum);
    s.value = std::clamp(s.value, s.minimum, s.maximum);
}

void HeadlessView::setVolume(VolumeSlider slider, int value) {
    Slider& s = sliders_.at(indexOf(slider));
    s.value = std::clamp(value, s.minimum, s.maximum);
}

int HeadlessView::volume(VolumeSlider slider) const {
    return sliders_.at(indexOf(slider)).value;
}

void HeadlessView::showTimerBox(const QString& text, const QString& caption, int) {
    log(caption + QStringLiteral(": ") + oneLine(text));
}

void HeadlessView::showMessage(MessageKind, const QString& caption, const QString& text) {
    log(caption + QStringLiteral(": ") + oneLine(text));
}

void HeadlessView::setWindowPosition(int top, int left) {
    top_ = top;
    left_ = left;
}

void HeadlessView::askZipCode(StationSettings&) {
    // Nobody is there to answer, and a place nobody chose is no place to read the weather of:
    // the zip code stays unset, and every start says so until one is given.
    log(QStringLiteral("no zip code set: the DJ reads no weather until one is given with --zip "
                       "CODE"));
}

void HeadlessView::journal(JournalLine kind, const QString& line) {
    if (kind == JournalLine::OnAir && quiet_)
        return;
    log(line);
}

QString HeadlessView::listSetUpReminder() const {
    return kHeadlessListReminder;
}

void HeadlessView::terminate() {
    QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit,
                              Qt::QueuedConnection);
}

} // namespace corvalin
