#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace corvalin {

// Opening a web or mail address with the program the desktop has registered for it, the way the
// About box's links do. The handler of "x-scheme-handler/<scheme>" is asked of the desktop's MIME
// associations (`xdg-mime query default`), its desktop entry is found in the applications folders
// of the XDG data folders, and the entry's Exec command is started detached, in its own process.
// Plain functions without widgets; any thread, as long as the runner and starter allow it.

// Where and how the handler is looked up. Tests give a fake runner and their own folders.
struct BrowserLookup {
    // Runs a program and returns what it wrote to standard output, or nothing when it could not
    // be started or failed.
    std::function<std::optional<QString>(const QString& program, const QStringList& arguments)>
        runCommand;
    QString dataHome;     // $XDG_DATA_HOME, default ~/.local/share
    QStringList dataDirs; // $XDG_DATA_DIRS, default /usr/local/share:/usr/share

    // The desktop's own: `xdg-mime` run with a time limit, the folders from the environment.
    static BrowserLookup fromEnvironment();
};

// Starts `program` with `arguments` in `workingFolder`, detached; 0 or the system's error number
// (ENOENT, EACCES, ...; -1 when the system gave no number).
using DetachedStarter = std::function<int(const QString& program, const QStringList& arguments,
                                          const QString& workingFolder)>;

// The real starter: QProcess::startDetached, with the error number found by looking at the
// program file first (missing: ENOENT, a folder or not executable: EACCES) and else read from the
// failure's text.
int startDetachedProcess(const QString& program, const QStringList& arguments,
                         const QString& workingFolder);

// The Exec command of the desktop entry registered for `scheme` ("http", "mailto"); empty when
// none is registered, the entry cannot be found or has no Exec.
QString GetBrowserCommand(const BrowserLookup& lookup, const QString& scheme);

// The program of a desktop entry's Exec command (its first word, unquoted); empty when the
// command is empty or malformed.
QString GetBrowserProgram(const QString& command);

// What ResolveTarget makes of a command and a target.
enum class TargetKind {
    Nothing = 0, // nothing to launch
    File = 1,    // a program file (found on PATH or named by its path)
    Folder = 2,  // the program names a folder
    Missing = 3, // a program name found nowhere: starting it reports the error
};
struct ResolvedLaunch {
    TargetKind kind = TargetKind::Nothing;
    QString program;       // full path when found
    QStringList arguments; // the command's arguments with the target put in
};

// Splits a desktop entry's Exec command into program and arguments: quoting and escapes are
// undone, %u, %U, %f and %F become `target`, "%%" a "%", other field codes are dropped, and a
// command without a place for the target gets it as its last argument. A program name without a
// "/" is looked up on PATH. `path` (the PATH value) is a parameter so tests can set it.
ResolvedLaunch ResolveTarget(const QString& command, const QString& target,
                             const QString& path = qEnvironmentVariable("PATH"));

// The message for a failed launch by its error number.
QString LaunchErrorText(int error);

// Resolves and starts the command with the target, in the program's own folder. Returns 0 or the
// error number (ENOENT when there was nothing to launch).
int ShellLaunch(const QString& command, const QString& target, const DetachedStarter& start,
                const QString& path = qEnvironmentVariable("PATH"));

} // namespace corvalin
