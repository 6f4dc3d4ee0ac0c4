#!/usr/bin/env bash
# Shows the station console with made-up data under a virtual X display and saves a picture of
# it, to judge the window's look. Usage: scripts/console-preview.sh [build folder] [picture]
set -euo pipefail
build=${1:-build/release}
picture=${2:-console-preview.png}
cmake --build "$build" --target corvalin_console_preview
xvfb-run -a -s "-screen 0 1280x1024x24" "$build/src/app/corvalin_console_preview" --shot "$picture"
echo "saved $picture"
