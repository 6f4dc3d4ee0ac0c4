#!/usr/bin/env bash
# Starts the laid-out station under a virtual X display with a fresh settings folder (zip code
# already given), lets it play for a few seconds and saves a picture of its window.
# Usage: scripts/screenshot.sh [picture=docs/station-window.png] [seconds=16]
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
picture=${1:-$repo/docs/station-window.png}
seconds=${2:-16}
build=${CORVALIN_BUILD_DIR:-$repo/build/release}
for tool in xvfb-run import convert; do
    command -v "$tool" >/dev/null || { echo "screenshot: $tool is missing (scripts/install-deps.sh)" >&2; exit 2; }
done
[ -x "$build/station/corvalinradio" ] || { echo "screenshot: build the station first" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$build/station" "$work/station"
mkdir -p "$work/config/CorvalinRadio"
chmod 700 "$work/config/CorvalinRadio"
printf '[DJ5]\r\nZipCode=10001\r\n' >"$work/config/CorvalinRadio/CorvalinRadio.ini"
mkdir -p "$(dirname "$picture")"

# Without a window manager the window sits at the top left of the screen, undecorated.
XDG_CONFIG_HOME="$work/config" CORVALIN_AUDIO=null \
    xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
        "$1/station/corvalinradio" --station-dir "$1/station" & pid=$!
        sleep "$2"
        import -window root "$1/screen.png"
        kill -TERM "$pid"; wait "$pid"' _ "$work" "$seconds"
convert "$work/screen.png" -crop 659x501+0+0 +repage "$picture"
echo "saved $picture"
