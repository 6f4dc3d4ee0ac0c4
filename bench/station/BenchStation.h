#pragma once

// A headless station for a benchmark: HOME and the XDG folders private under a temporary folder,
// the null sound output, the zip code stored, no news or weather.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <optional>
#include <utility>
#include <vector>

namespace corvalin::bench {

// Lays out the folders under `root` (the runtime folder private, as a session's is) and the
// settings file, `extraIni` after the usual lines; the station's environment, or nothing when
// the settings cannot be written.
inline std::optional<QProcessEnvironment> layOutStation(const QTemporaryDir& root,
                                                        const QByteArray& extraIni = {}) {
    for (const char* folder : {"home", "config/CorvalinRadio", "data", "run"})
        QDir().mkpath(root.filePath(QString::fromLatin1(folder)));
    QFile::setPermissions(root.filePath(QStringLiteral("run")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QFile ini(root.filePath(QStringLiteral("config/CorvalinRadio/CorvalinRadio.ini")));
    if (!ini.open(QIODevice::WriteOnly))
        return std::nullopt;
    ini.write("[DJ5]\r\nZipCode=10001\r\nReadNews=0\r\nReadWeather=0\r\nFrequencyType=3\r\n" +
              extraIni);
    ini.close();

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "CORVALIN_TRACE"})
        env.remove(QString::fromLatin1(name));
    for (const auto& [name, folder] : {std::pair{"HOME", "home"},
                                       {"XDG_CONFIG_HOME", "config"},
                                       {"XDG_DATA_HOME", "data"},
                                       {"XDG_RUNTIME_DIR", "run"}})
        env.insert(QString::fromLatin1(name), root.filePath(QString::fromLatin1(folder)));
    env.insert(QStringLiteral("CORVALIN_AUDIO"), QStringLiteral("null"));
    return env;
}

// Prints the median and maximum of `ms` after `what`, padded to `width`; nothing when empty.
inline void report(const char* indent, int width, const char* what, std::vector<double> ms) {
    if (ms.empty())
        return;
    std::sort(ms.begin(), ms.end());
    std::printf("%s%-*s n=%zu median %.2f ms, max %.2f ms\n", indent, width, what, ms.size(),
                ms[ms.size() / 2], ms.back());
}

} // namespace corvalin::bench
