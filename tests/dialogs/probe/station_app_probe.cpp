// The station's application object in a process of its own. "error": a timer handler throws; the
// error handler must see it and the event loop must go on to the next timer. "signal": the process
// sends itself SIGTERM; the window must close and the program end normally.
#include "app/StationApplication.h"

#include <QTimer>
#include <QWidget>
#include <csignal>
#include <cstdio>
#include <stdexcept>

int main(int argc, char** argv) {
    corvalin::StationApplication app(argc, argv);
    const QString mode = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    QWidget window;
    window.show();
    if (mode == QLatin1String("error")) {
        int errors = 0;
        app.onError = [&errors](const QString& message) {
            ++errors;
            std::printf("error: %s\n", message.toUtf8().constData());
        };
        QTimer::singleShot(10, &window, [] { throw std::runtime_error("Disk on fire"); });
        QTimer::singleShot(50, &window, [&errors] {
            std::printf("after: %d\n", errors);
            QCoreApplication::exit(errors == 1 ? 0 : 3);
        });
        return QApplication::exec();
    }
    if (mode == QLatin1String("signal")) {
        corvalin::closeOnTerminationSignals(&window);
        QObject::connect(&app, &QApplication::lastWindowClosed, [] { std::printf("closed\n"); });
        QTimer::singleShot(10, [] { std::raise(SIGTERM); });
        QTimer::singleShot(5000, [] { QCoreApplication::exit(4); });
        return QApplication::exec();
    }
    return 2;
}
