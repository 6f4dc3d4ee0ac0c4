// Times one round of a large play list as the station does it: load the file, sort by the random
// key, sort back by the stored order, save. Prints each step and the total in milliseconds.
//
//   bench_playlist [rows] [rounds] [accented]
//
// Defaults: 100000 rows, 5 rounds, no accented rows; the best round counts. With `accented` N,
// every Nth row names an artist with accents in UTF-8 and every (2N)th one in Latin-1, as lists
// of older stations do.

#include "library/PlayList.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>

using namespace corvalin;

namespace {

QByteArray makeList(int rows, int accented) {
    QByteArray text;
    text.reserve(static_cast<qsizetype>(rows) * 80);
    for (int i = 0; i < rows; ++i) {
        text += (i % 3 == 0) ? 'T' : 'F';
        if (accented > 0 && i % (2 * accented) == 0)
            text += "/home/radio/Music/Caf\xe9 Cr\xe8me/";
        else if (accented > 0 && i % accented == 0)
            text += "/home/radio/Music/Caf\xc3\xa9 Cr\xc3\xa8me/";
        text += "/home/radio/Music/Artist ";
        text += QByteArray::number(i % 997);
        text += "/Artist ";
        text += QByteArray::number(i % 997);
        text += " - Song Number ";
        text += QByteArray::number(i);
        text += ".mp3\r\n";
    }
    return text;
}

// CPU time of this process: the figure to read when other programs load the machine.
double cpuMs() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

QByteArray readWholeList(const QString& path) {
    QByteArray data;
    return readRegularFile(path, data) ? data : QByteArray();
}

double ms(const QElapsedTimer& t) {
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int rows = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100000;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    const int accented = argc > 3 ? std::max(0, std::atoi(argv[3])) : 0;

    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "cannot make a temporary folder\n");
        return 1;
    }
    const QString source = dir.filePath(QStringLiteral("Big.lst"));
    const QString target = dir.filePath(QStringLiteral("Saved.lst"));
    const QByteArray bytes = makeList(rows, accented);
    if (!writeFileAtomically(source, bytes)) {
        std::fprintf(stderr, "cannot write the list\n");
        return 1;
    }
    std::printf("play list round: %d rows, %.1f MB, %d rounds\n", rows,
                static_cast<double>(bytes.size()) / 1e6, rounds);
    std::printf("%6s %9s %12s %11s %9s %9s %9s\n", "round", "load", "sort Random", "sort Order",
                "save", "total", "CPU");

    StandardRandom random(12345);
    double best[6] = {1e30, 1e30, 1e30, 1e30, 1e30, 1e30};
    for (int round = 1; round <= rounds; ++round) {
        TPlayListTable table;
        double step[4];
        const double cpuStart = cpuMs();
        QElapsedTimer total;
        total.start();
        QElapsedTimer t;
        t.start();
        if (LoadList(source, table, random).status != TListLoadResult::Loaded ||
            table.rowCount() != rows) {
            std::fprintf(stderr, "load failed\n");
            return 1;
        }
        step[0] = ms(t);
        t.restart();
        table.sortBy(plcRandom);
        step[1] = ms(t);
        t.restart();
        table.sortBy(plcOrder);
        step[2] = ms(t);
        t.restart();
        if (SaveList(target, table, true).status != TListSaveResult::Saved) {
            std::fprintf(stderr, "save failed\n");
            return 1;
        }
        step[3] = ms(t);
        if (round == 1 && readWholeList(target) != bytes) {
            std::fprintf(stderr, "the saved list differs from the loaded one\n");
            return 1;
        }
        const double all = ms(total);
        const double cpu = cpuMs() - cpuStart;
        std::printf("%6d %9.1f %12.1f %11.1f %9.1f %9.1f %9.1f\n", round, step[0], step[1], step[2],
                    step[3], all, cpu);
        if (all < best[4]) {
            std::copy(step, step + 4, best);
            best[4] = all;
            best[5] = cpu;
        }
    }
    std::printf("%6s %9.1f %12.1f %11.1f %9.1f %9.1f %9.1f  (ms; goal: total under 300)\n", "best",
                best[0], best[1], best[2], best[3], best[4], best[5]);
    return 0;
}
