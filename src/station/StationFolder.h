#pragma once

// Where an installed station keeps what: the program and its read-only data under the install
// prefix (bin/, share/corvalinradio/), the operator's writable station folder (`ProgramFolder`:
// lists, songs, per-user phrase copies, the DJ volume file) in $XDG_DATA_HOME/CorvalinRadio/, the
// settings shared by all users in the prefix's etc/xdg/CorvalinRadio/. Run from the build tree,
// the laid-out folder beside the program stands for share/corvalinradio/. No widgets.

#include "platform/FileSystem.h"

#include <QString>
#include <QStringList>
#include <functional>

namespace corvalin {

inline const QString kStationFolderName = QStringLiteral("CorvalinRadio");
inline const QString kDataFolderName = QStringLiteral("corvalinradio");

// $XDG_DATA_HOME when it is an absolute path, else $HOME/.local/share. `variable` reads the
// environment (default: the process's).
QString defaultDataHome(const std::function<QString(const char*)>& variable = {});
// The operator's station folder, with a trailing "/".
QString defaultStationFolder(const std::function<QString(const char*)>& variable = {});

// The read-only data of the program in `programDir`: "<programDir>/../share/corvalinradio/" (as
// installed, and as the build tree lays it out), else `programDir` itself when it holds the data
// files. Empty when neither does. With a trailing "/".
QString findDataFolder(const QString& programDir);

// The folder of the shared settings file (with a trailing "/") for the program in `programDir`:
// installed under /usr, /etc/xdg/CorvalinRadio/; under another prefix P, P/etc/xdg/CorvalinRadio/;
// run from the build tree (a station folder beside the program), the station folder, as before.
QString sharedSettingsFolder(const QString& programDir, const QString& stationFolder);

struct StationLayout {
    bool laidOut = false; // this was the first start: the data was copied in
    QStringList copied;   // paths relative to the station folder, in the order copied
    FileResult result;    // the first failure; copying goes on past it
};

// Lays out `stationFolder` from `dataFolder` at the first start: the two data files, the news
// definitions, Lists/, "MP3 Files/" and help/, each file copied only when missing, never
// replacing anything. The vocabulary file goes last, so a start broken off half-way is finished
// at the next one; a station folder that already has it is left alone (the operator may have
// removed songs or lists on purpose).
StationLayout layOutStationFolder(const QString& dataFolder, const QString& stationFolder);

} // namespace corvalin
