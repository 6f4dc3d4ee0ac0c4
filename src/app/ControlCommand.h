#pragma once

namespace corvalin {

struct CommandLine;

// Sends the command line's --status, --play, --pause, --stop or --next to the station running for
// this user and prints its answer. Returns the exit status: 0 done, kExitRefused when the button
// is disabled (the reason on stderr), kExitNoStation when no station runs.
int runControlCommand(int& argc, char** argv, const CommandLine& line);

} // namespace corvalin
