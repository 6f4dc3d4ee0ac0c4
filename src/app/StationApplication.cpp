#include "StationApplication.h"

#include <QDialog>
#include <QPointer>
#include <QSocketNotifier>
#include <QWidget>
#include <csignal>
#include <exception>
#include <sys/socket.h>
#include <unistd.h>

namespace corvalin {

StationApplication::StationApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool StationApplication::notify(QObject* receiver, QEvent* event) {
    QString message;
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        message = QString::fromUtf8(error.what());
    } catch (...) {
        message = QStringLiteral("Unknown error.");
    }
    // Outside the catch block: the handler shows a modal box and may run more events.
    if (onError)
        onError(message);
    return true;
}

namespace {

int signalPipe[2] = {-1, -1};

extern "C" void onTerminationSignal(int) {
    const char byte = 1;
    // Only async-signal-safe calls here; a full pipe means a close is already pending.
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

} // namespace

void handleTerminationSignals(QObject* context, std::function<void()> handler) {
    if (signalPipe[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context,
                     [handler = std::move(handler)] {
                         char byte = 0;
                         [[maybe_unused]] const ssize_t got = ::read(signalPipe[0], &byte, 1);
                         handler();
                     });
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(sig, &action, nullptr);
}

void closeModalWidgets() {
    // Each close ends one nested loop once control returns to it; a box that refuses to close
    // must not keep this loop going.
    QWidget* last = nullptr;
    for (int i = 0; i < 32; ++i) {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || modal == last)
            break;
        last = modal;
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
    }
}

void closeOnTerminationSignals(QWidget* window) {
    handleTerminationSignals(window, [target = QPointer<QWidget>(window)] {
        closeModalWidgets();
        if (target)
            target->close();
    });
}

} // namespace corvalin
