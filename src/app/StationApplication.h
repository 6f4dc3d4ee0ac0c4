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

// Runs `handler` on the UI thread (from whatever event loop is running, a modal box's included)
// when the process is asked to end: SIGTERM, SIGINT, SIGHUP. Call once, after the application
// object exists; `context` owns the connection.
void handleTerminationSignals(QObject* context, std::function<void()> handler);

// Closes every modal dialog and message box that is open, innermost first.
void closeModalWidgets();

// The usual answer to a termination signal: the open boxes close, then `window`, so that an
// unattended station shuts down as if its window had been closed.
void closeOnTerminationSignals(QWidget* window);

} // namespace corvalin
