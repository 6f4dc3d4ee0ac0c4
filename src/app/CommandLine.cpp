#include "app/CommandLine.h"

#include "platform/FileSystem.h"
#include "platform/Version.h"

namespace corvalin {

namespace {

// Takes the value of an option given as "--name VALUE" or "--name=VALUE"; false when `argument`
// is not this option.
bool takeValue(const QString& name, const QStringList& arguments, qsizetype& i, QString& value,
               QString& error) {
    const QString& argument = arguments.at(i);
    const QString prefix = name + QLatin1Char('=');
    if (argument.startsWith(prefix)) {
        value = argument.mid(prefix.size());
    } else if (argument == name) {
        if (i + 1 >= arguments.size()) {
            error = QStringLiteral("%1 needs a value").arg(name);
            return true;
        }
        value = arguments.at(++i);
    } else {
        return false;
    }
    if (value.isEmpty() && error.isEmpty())
        error = QStringLiteral("%1 needs a value").arg(name);
    return true;
}

} // namespace

CommandLine parseCommandLine(const QStringList& arguments) {
    CommandLine line;
    for (qsizetype i = 0; i < arguments.size() && line.error.isEmpty(); ++i) {
        const QString& a = arguments.at(i);
        if (a == QLatin1String("--help") || a == QLatin1String("-h"))
            line.help = true;
        else if (a == QLatin1String("--version"))
            line.version = true;
        else if (a == QLatin1String("--headless"))
            line.headless = true;
        else if (a == QLatin1String("--verbose"))
            line.verbose = true;
        else if (a == QLatin1String("--quiet"))
            line.quiet = true;
        else if (a == QLatin1String("--list-devices"))
            line.listDevices = true;
        else if (a == QLatin1String("--list-voices"))
            line.listVoices = true;
        else if (a == QLatin1String("--json"))
            line.json = true;
        else if (a == QLatin1String("--status") || a == QLatin1String("--play") ||
                 a == QLatin1String("--pause") || a == QLatin1String("--stop") ||
                 a == QLatin1String("--next")) {
            if (!line.control.isEmpty())
                line.error = QStringLiteral("one command for the running station at a time (--%1 "
                                            "and %2)")
                                 .arg(line.control, a);
            else
                line.control = a.mid(2);
        } else if (takeValue(QStringLiteral("--station-dir"), arguments, i, line.stationDir,
                             line.error) ||
                   takeValue(QStringLiteral("--zip"), arguments, i, line.zipCode, line.error) ||
                   takeValue(QStringLiteral("--import-folder"), arguments, i, line.importFolder,
                             line.error) ||
                   takeValue(QStringLiteral("--slot"), arguments, i, line.slot, line.error))
            continue;
        else if (a.startsWith(QLatin1Char('-')))
            line.error = QStringLiteral("unknown option %1").arg(a);
        else
            line.error = QStringLiteral("unexpected argument %1").arg(a);
    }
    if (line.error.isEmpty() && !line.slot.isEmpty() && line.importFolder.isEmpty())
        line.error = QStringLiteral("--slot goes with --import-folder");
    if (line.error.isEmpty() && line.quiet && !line.headless)
        line.error = QStringLiteral("--quiet goes with --headless");
    if (line.error.isEmpty() && line.json && line.control != QLatin1String("status"))
        line.error = QStringLiteral("--json goes with --status");
    if (line.error.isEmpty() && !line.control.isEmpty() &&
        (line.headless || !line.importFolder.isEmpty() || line.listDevices || line.listVoices ||
         !line.zipCode.isEmpty() || !line.stationDir.isEmpty()))
        line.error = QStringLiteral("--%1 is asked of the running station and goes with no other "
                                    "option")
                         .arg(line.control);
    if (line.error.isEmpty() && !line.zipCode.isEmpty()) {
        line.zipCode = line.zipCode.trimmed();
        if (line.zipCode.isEmpty())
            line.error = QStringLiteral("--zip needs a value");
    }
    return line;
}

CommandLine parseCommandLine(int argc, const char* const* argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << fileNameFromNative(argv[i]);
    return parseCommandLine(arguments);
}

QString usageText() {
    return QStringLiteral(
        "Usage: corvalinradio [OPTION]...\n"
        "Runs the Corvalin Radio station: songs from four DJ time slots' play lists with a\n"
        "synthetic DJ talking between them.\n"
        "\n"
        "  --headless            run the station without a window (for a server; ends on SIGTERM)\n"
        "  --quiet               with --headless: no line per song and talk on stderr\n"
        "  --station-dir DIR     use DIR as the station folder (default:\n"
        "                        $XDG_DATA_HOME/CorvalinRadio, ~/.local/share/CorvalinRadio)\n"
        "  --zip CODE            set the zip code for the weather, so no prompt appears\n"
        "  --import-folder DIR   write a time slot's play list from every MP3 file under DIR\n"
        "  --slot NAME           the slot --import-folder writes: Morning, Afternoon, Evening or\n"
        "                        Midnight (default: the slot of the present hour)\n"
        "  --list-devices        print the sound devices and end\n"
        "  --list-voices         print the DJ voices (espeak-ng's and Flite's), one a line,\n"
        "                        and end\n"
        "  --verbose             show the sound libraries' own messages, and why the media\n"
        "                        controls are off\n"
        "  --version             print the version and end\n"
        "  -h, --help            print this help and end\n"
        "\n"
        "Commands for the station already running for this user (one per call):\n"
        "  --status              print its state, the song on the air and the next one, the\n"
        "                        slot and DJ, the stream and the last news fetch\n"
        "  --status --json       the same as one JSON object\n"
        "  --play, --pause, --stop, --next\n"
        "                        press that button on the console; exit status 0 when pressed,\n"
        "                        1 when the button is disabled (the reason on stderr), 3 when\n"
        "                        no station runs\n"
        "\n"
        "The running station (window or --headless) is also a media player on the session bus\n"
        "(MPRIS 2, org.mpris.MediaPlayer2.corvalinradio): the desktop's media keys and playerctl\n"
        "show the song on the air and press Play, Pause, Stop and Next while they are enabled.\n"
        "\n"
        "CORVALIN_AUDIO chooses the sound output: portaudio (the default device),\n"
        "portaudio:NAME (the device whose name contains NAME), null (silent) or wav:FILE.\n"
        "Settings are kept in $XDG_CONFIG_HOME/CorvalinRadio (~/.config/CorvalinRadio).\n");
}

QString versionLine() {
    return QStringLiteral("Corvalin Radio %1\n").arg(programVersion());
}

bool windowSystemAvailable(const std::function<QString(const char* name)>& variable) {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        if (!variable(name).isEmpty())
            return true;
    return false;
}

QString noDisplayLine() {
    return QStringLiteral("corvalinradio: no display to show the station on (DISPLAY is not set); "
                          "use --headless to run it without a window\n");
}

bool needsWindow(const CommandLine& line) {
    return !(line.help || line.version || line.listDevices || line.listVoices ||
             !line.importFolder.isEmpty() || line.headless || !line.control.isEmpty());
}

} // namespace corvalin
