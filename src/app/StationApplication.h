#pragma once

#include <QApplication>
#include <functional>

namespace corvalin {

// The application object. An error that escapes an event handler ends up here instead of ending
// the program: it is handed to `onError` (the station's error handler) and the event counts as
// handled.
class StationApplication final : public QApplication {
    Q_OBJECT
public:
    StationApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;

    std::function<void(const QString& message)> onError;
};

// Closes `window` when the process is asked to end (SIGTERM, SIGINT, SIGHUP), so that an
// unattended station shuts down as if its window had been closed. Call once, after the
// application object exists.
void closeOnTerminationSignals(QWidget* window);

} // namespace corvalin
