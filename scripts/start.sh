#!/usr/bin/env bash
# Builds the station and starts it from its station folder.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset release >/dev/null
cmake --build --preset release
exec build/release/station/corvalinradio "$@"
