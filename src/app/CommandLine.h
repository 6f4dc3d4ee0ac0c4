#pragma once

#include <QString>
#include <QStringList>
#include <functional>

namespace corvalin {

// What the operator asked for on the command line. Parsed before the application object exists,
// so a usage error or a missing display ends the program before Qt is started.
struct CommandLine {
    bool help = false;
    bool version = false;
    bool headless = false;    // the whole station without a window
    bool verbose = false;     // let the sound libraries' own messages through
    bool quiet = false;       // --quiet: no line per song and talk in a headless station's log
    bool listDevices = false; // print the sound devices and end
    bool listVoices = false;  // print the voice catalogue, one voice a line, and end
    QString stationDir;       // --station-dir: the station folder instead of the per-user one
    QString zipCode;          // --zip: stored before start-up, so no prompt appears
    QString importFolder;     // --import-folder: write a slot's list from the MP3 files there
    QString slot;             // --slot: the slot --import-folder writes (default: the present one)
    // --status, --play, --pause, --stop, --next: asked of the running station ("status", "play",
    // ...); empty when none.
    QString control;
    bool json = false; // --json: --status as one JSON object
    QString error;     // a usage error, one line; empty when the line was understood
};

// `arguments` without the program's own name. Options taking a value accept "--name VALUE" and
// "--name=VALUE".
CommandLine parseCommandLine(const QStringList& arguments);
// The same for main()'s arguments, whose bytes are taken as file names are (a folder's name need
// not be UTF-8).
CommandLine parseCommandLine(int argc, const char* const* argv);

// The text printed by --help.
QString usageText();
// The line printed by --version.
QString versionLine();

// Exit codes of the command line.
inline constexpr int kExitUsage = 2;     // a usage error
inline constexpr int kExitNoDisplay = 2; // a window was asked for without a display
// A second start only handed over to the station already running (brought its window forward).
inline constexpr int kExitHandedOver = 3;

// Whether a window can be shown: a display or a Wayland socket is named, or Qt's platform is
// chosen explicitly (offscreen, for instance). `variable` reads the environment.
bool windowSystemAvailable(const std::function<QString(const char* name)>& variable);
// The line printed when it is not.
QString noDisplayLine();

// Exit codes of the commands sent to the running station.
inline constexpr int kExitRefused = 1;   // the button is disabled on the console
inline constexpr int kExitNoStation = 3; // no station runs for this user

// Whether the options ask for the station's window (not --help, --version, --list-devices,
// --import-folder, --headless or a command for the running station).
bool needsWindow(const CommandLine& line);

} // namespace corvalin
