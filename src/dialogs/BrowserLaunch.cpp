#include "dialogs/BrowserLaunch.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace corvalin {

namespace {

constexpr int kLookupTimeoutMs = 5000;

std::optional<QString> runProgram(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start();
    if (!process.waitForStarted(kLookupTimeoutMs))
        return std::nullopt;
    if (!process.waitForFinished(kLookupTimeoutMs)) {
        process.kill();
        process.waitForFinished(kLookupTimeoutMs);
        return std::nullopt;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return std::nullopt;
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The general escapes of a desktop entry's string values.
QString unescapeValue(const QString& value) {
    QString out;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c != QLatin1Char('\\') || i + 1 == value.size()) {
            out += c;
            continue;
        }
        const QChar next = value.at(++i);
        switch (next.unicode()) {
        case 's':
            out += QLatin1Char(' ');
            break;
        case 'n':
            out += QLatin1Char('\n');
            break;
        case 't':
            out += QLatin1Char('\t');
            break;
        case 'r':
            out += QLatin1Char('\r');
            break;
        default:
            // "\\" and the Exec quoting's own escapes ("\"", "\$"...) are kept for the splitter.
            out += QLatin1Char('\\');
            out += next;
        }
    }
    return out;
}

// The Exec value of the "[Desktop Entry]" group, or nothing.
std::optional<QString> execOfEntry(const QString& file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    bool inEntry = false;
    const QStringList lines = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
    for (QString line : lines) {
        line = line.trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inEntry = line == QStringLiteral("[Desktop Entry]");
            continue;
        }
        if (!inEntry || line.startsWith(QLatin1Char('#')))
            continue;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq > 0 && line.left(eq).trimmed() == QStringLiteral("Exec"))
            return unescapeValue(line.mid(eq + 1).trimmed());
    }
    return std::nullopt;
}

// A desktop file ID names a file in an applications folder, where "-" may stand for a subfolder
// ("kde-foo.desktop" can be "kde/foo.desktop").
QString findEntryIn(const QString& folder, const QString& id) {
    const QString direct = folder + QLatin1Char('/') + id;
    if (QFileInfo(direct).isFile())
        return direct;
    for (qsizetype dash = id.indexOf(QLatin1Char('-')); dash > 0;
         dash = id.indexOf(QLatin1Char('-'), dash + 1)) {
        const QString sub = folder + QLatin1Char('/') + id.left(dash);
        if (QFileInfo(sub).isDir()) {
            const QString found = findEntryIn(sub, id.mid(dash + 1));
            if (!found.isEmpty())
                return found;
        }
    }
    return {};
}

// Splits an Exec value into words: blanks separate, double quotes group, and inside quotes a
// backslash escapes '"', '`', '$' and '\'. Nothing on malformed quoting.
std::optional<QStringList> splitExec(const QString& command) {
    QStringList words;
    QString word;
    bool inWord = false;
    bool quoted = false;
    for (qsizetype i = 0; i < command.size(); ++i) {
        const QChar c = command.at(i);
        if (quoted) {
            if (c == QLatin1Char('"')) {
                quoted = false;
            } else if (c == QLatin1Char('\\') && i + 1 < command.size()) {
                word += command.at(++i);
            } else {
                word += c;
            }
            continue;
        }
        if (c == QLatin1Char(' ') || c == QLatin1Char('\t')) {
            if (inWord)
                words.append(word);
            word.clear();
            inWord = false;
        } else if (c == QLatin1Char('"')) {
            quoted = true;
            inWord = true;
        } else if (c == QLatin1Char('\\') && i + 1 < command.size()) {
            word += command.at(++i);
            inWord = true;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (quoted)
        return std::nullopt;
    if (inWord)
        words.append(word);
    return words;
}

// Puts the target in for %u/%U/%f/%F, "%" for "%%", and drops the other field codes.
QString expandFieldCodes(const QString& word, const QString& target, bool& used) {
    QString out;
    for (qsizetype i = 0; i < word.size(); ++i) {
        const QChar c = word.at(i);
        if (c != QLatin1Char('%') || i + 1 == word.size()) {
            out += c;
            continue;
        }
        const QChar code = word.at(++i);
        if (code == QLatin1Char('%')) {
            out += QLatin1Char('%');
        } else if (code == QLatin1Char('u') || code == QLatin1Char('U') ||
                   code == QLatin1Char('f') || code == QLatin1Char('F')) {
            out += target;
            used = true;
        }
    }
    return out;
}

bool isFieldCodeOnly(const QString& word) {
    if (word.isEmpty() || word.size() % 2 != 0)
        return false;
    for (qsizetype i = 0; i < word.size(); i += 2) {
        if (word.at(i) != QLatin1Char('%') || word.at(i + 1) == QLatin1Char('%'))
            return false;
    }
    return true;
}

// The program file a name stands for: a name with a "/" as it is, else the first executable
// file of that name on PATH, else the first file of that name at all.
QString findProgram(const QString& name, const QString& path) {
    if (name.contains(QLatin1Char('/')))
        return QFileInfo(name).absoluteFilePath();
    QString nonExecutable;
    const QStringList folders = path.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const QString& folder : folders) {
        const QFileInfo candidate(QDir(folder).filePath(name));
        if (!candidate.exists() || candidate.isDir())
            continue;
        if (candidate.isExecutable())
            return candidate.absoluteFilePath();
        if (nonExecutable.isEmpty())
            nonExecutable = candidate.absoluteFilePath();
    }
    return nonExecutable;
}

// The error number behind a failure text of QProcess ("execv: Permission denied").
int errorFromText(const QString& text) {
    for (const int e : {ENOENT, EACCES, ENOMEM, ENOEXEC, E2BIG, ENOTDIR, ELOOP, ENAMETOOLONG,
                        ETXTBSY, EAGAIN, EPERM}) {
        if (text.endsWith(QString::fromLocal8Bit(std::strerror(e))))
            return e;
    }
    return -1;
}

} // namespace

BrowserLookup BrowserLookup::fromEnvironment() {
    BrowserLookup lookup;
    lookup.runCommand = runProgram;
    lookup.dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    if (lookup.dataHome.isEmpty())
        lookup.dataHome = QDir::homePath() + QStringLiteral("/.local/share");
    QString dirs = qEnvironmentVariable("XDG_DATA_DIRS");
    if (dirs.isEmpty())
        dirs = QStringLiteral("/usr/local/share:/usr/share");
    lookup.dataDirs = dirs.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    return lookup;
}

int startDetachedProcess(const QString& program, const QStringList& arguments,
                         const QString& workingFolder) {
    // QProcess tells the cause only as text, so the usual ones are found beforehand.
    const QByteArray native = QFile::encodeName(program);
    if (::access(native.constData(), F_OK) != 0)
        return errno;
    if (QFileInfo(program).isDir())
        return EACCES;
    if (::access(native.constData(), X_OK) != 0)
        return errno;
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setWorkingDirectory(workingFolder);
    process.setStandardInputFile(QProcess::nullDevice());
    if (process.startDetached())
        return 0;
    return errorFromText(process.errorString());
}

QString GetBrowserCommand(const BrowserLookup& lookup, const QString& scheme) {
    if (!lookup.runCommand)
        return {};
    const std::optional<QString> answer = lookup.runCommand(
        QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"),
                                     QStringLiteral("x-scheme-handler/") + scheme});
    if (!answer)
        return {};
    // One desktop file ID; a list (";"-separated) means the first one.
    const QString id = answer->trimmed().section(QLatin1Char(';'), 0, 0).trimmed();
    if (id.isEmpty() || id.contains(QLatin1Char('/')) || !id.endsWith(QStringLiteral(".desktop")))
        return {};
    QStringList folders;
    if (!lookup.dataHome.isEmpty())
        folders.append(lookup.dataHome);
    folders.append(lookup.dataDirs);
    for (const QString& folder : folders) {
        const QString entry = findEntryIn(folder + QStringLiteral("/applications"), id);
        if (entry.isEmpty())
            continue;
        // The first entry of that ID is the one in force, with or without an Exec.
        return execOfEntry(entry).value_or(QString()).trimmed();
    }
    return {};
}

QString GetBrowserProgram(const QString& command) {
    const std::optional<QStringList> words = splitExec(command);
    if (!words || words->isEmpty())
        return {};
    return words->first();
}

ResolvedLaunch ResolveTarget(const QString& command, const QString& target, const QString& path) {
    ResolvedLaunch launch;
    const std::optional<QStringList> words = splitExec(command.trimmed());
    if (!words || words->isEmpty() || words->first().isEmpty())
        return launch;
    bool used = false;
    for (qsizetype i = 1; i < words->size(); ++i) {
        const QString& word = words->at(i);
        const QString expanded = expandFieldCodes(word, target, used);
        // A word that was nothing but dropped field codes ("%i") goes away with them.
        if (expanded.isEmpty() && isFieldCodeOnly(word))
            continue;
        launch.arguments.append(expanded);
    }
    if (!used)
        launch.arguments.append(target);
    const QString name = words->first();
    const QString found = findProgram(name, path);
    if (found.isEmpty()) {
        launch.kind = TargetKind::Missing;
        launch.program = name;
    } else {
        launch.kind = QFileInfo(found).isDir() ? TargetKind::Folder : TargetKind::File;
        launch.program = found;
    }
    return launch;
}

QString LaunchErrorText(int error) {
    switch (error) {
    case ENOENT:
        return QStringLiteral("The specified file or directory was not found.");
    case EACCES:
        return QStringLiteral("Access denied.");
    case ENOMEM:
        return QStringLiteral("Not enough memory.");
    default:
        return QStringLiteral("An unexpected error has occurred.");
    }
}

int ShellLaunch(const QString& command, const QString& target, const DetachedStarter& start,
                const QString& path) {
    const ResolvedLaunch launch = ResolveTarget(command, target, path);
    if (launch.kind == TargetKind::Nothing)
        return ENOENT;
    const QString folder = launch.program.contains(QLatin1Char('/'))
                               ? QFileInfo(launch.program).absolutePath()
                               : QDir::homePath();
    return start(launch.program, launch.arguments, folder);
}

} // namespace corvalin
