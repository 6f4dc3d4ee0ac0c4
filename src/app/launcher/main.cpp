// The installed corvalinradio: answers the commands for the running station itself and hands
// every other command line to the station program beside it. Kept apart because the station links
// some 180 shared libraries whose loading alone takes longer than a script may wait for --status.
#include "app/CommandLine.h"
#include "app/ControlCommand.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

using namespace corvalin;

namespace {

// The station program's path: the same folder as this program's own file.
std::string stationProgram() {
    char self[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0)
        return {};
    std::string path(self, static_cast<std::size_t>(length));
    return path.substr(0, path.rfind('/') + 1) + "corvalinradio-station";
}

} // namespace

int main(int argc, char** argv) {
    const CommandLine line = parseCommandLine(argc, argv);
    if (line.error.isEmpty() && !line.help && !line.version && !line.control.isEmpty())
        return runControlCommand(argc, argv, line);
    // The same process goes on as the station: the service manager and the single-instance
    // socket see the PID they started.
    const std::string station = stationProgram();
    ::execv(station.c_str(), argv);
    std::fprintf(stderr, "corvalinradio: the station program %s cannot be started: %s\n",
                 station.c_str(), std::strerror(errno));
    return 1;
}
