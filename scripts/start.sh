#!/usr/bin/env bash
# Builds the station program (no tests, no benchmarks) in a tree of its own, build/program, and
# starts it. The operator's station lives in ~/.local/share/CorvalinRadio and the settings in
# ~/.config/CorvalinRadio, as for an installed program: nothing of theirs is in build/. A second
# start compiles nothing unless the sources changed. Arguments go to the program (--help).
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/program
if [ ! -f "$build/build.ninja" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVALIN_TESTS=OFF \
        -DCORVALIN_BENCH=OFF -DCORVALIN_WERROR=OFF >/dev/null
fi
cmake --build "$build" --target corvalinradio
exec "$build/station/corvalinradio" "$@"
