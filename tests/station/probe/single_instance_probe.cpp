// A second start in its own process: exits 10 when it finds a running instance (which it asks to
// raise its window), 20 when it would start as the first one.
#include "station/SingleInstance.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: single_instance_probe <server name>\n");
        return 2;
    }
    corvalin::SingleInstance instance(QString::fromLocal8Bit(argv[1]));
    return instance.AlreadyRunning(true) ? 10 : 20;
}
