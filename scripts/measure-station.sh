#!/usr/bin/env bash
# Runs the station on its own for a while and prints what it cost and how it sounded: CPU seconds
# per minute, peak resident memory, then bench_station_report on the recording and event trace.
#
#   measure-station.sh [MINUTES=10] [OUTDIR=/tmp/corvalin-measure]
#   measure-station.sh --compare [MINUTES=5] [OUTDIR=/tmp/corvalin-compare]
#
# --compare runs, one after the other in the same run, the station with its window shown, the
# station without a window (--headless, when the program has it; else the run is reported as
# skipped: Xvfb has no window manager to minimise a window), and liquidsoap (Debian package
# liquidsoap, not needed by the tests: install it for this) playing a crossfading list of the
# same songs to a dummy output, MINUTES each, and prints their CPU in % of one core side by side.
# CORVALIN_STATION_ARGS adds arguments to the station's command line.
#
# The station runs from a temporary copy of build/release/station with a temporary settings
# folder (only a zip code, so no first-start prompt), under Xvfb, mixing all its audio into
# OUTDIR/station.wav and its events into OUTDIR/trace.txt. After MINUTES it gets SIGTERM and closes
# its window as a user would. CORVALIN_BUILD_DIR picks another build folder; CORVALIN_ZIP another
# zip code.
set -euo pipefail

if [ "${1:-}" = "--compare" ]; then
    minutes=${2:-5}
    outdir=${3:-/tmp/corvalin-compare}
    self="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/$(basename "${BASH_SOURCE[0]}")"
    repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
    build=${CORVALIN_BUILD_DIR:-$repo/build/release}
    command -v liquidsoap >/dev/null ||
        { echo "measure-station: liquidsoap is missing (apt-get install liquidsoap)" >&2; exit 2; }
    mkdir -p "$outdir"
    # percent LOGFILE: "CPU per minute of run: X s" as % of one core.
    percent() { awk '/CPU per minute of run:/ { printf "%.2f", $(NF-1) * 100 / 60 }' "$1"; }
    "$self" "$minutes" "$outdir/shown" >"$outdir/shown.log" 2>&1 || true
    shown=$(percent "$outdir/shown.log")
    headless=skipped
    if grep -q -- '--headless' "$build/station/corvalinradio" 2>/dev/null; then
        CORVALIN_STATION_ARGS="--headless" "$self" "$minutes" "$outdir/headless" \
            >"$outdir/headless.log" 2>&1 || true
        headless=$(percent "$outdir/headless.log")
    fi
    # liquidsoap: the station's songs in a list, crossfaded, to a dummy output.
    list=$outdir/songs.m3u
    find "$build/station/MP3 Files" -maxdepth 1 -iname '*.mp3' | sort >"$list"
    cat >"$outdir/crossfade.liq" <<LIQ
settings.log.stdout.set(false)
settings.init.allow_root.set(true)
s = crossfade(duration=5., playlist(mode="normal", reload_mode="never", "$list"))
output.dummy(fallible=true, s)
LIQ
    seconds=$(awk -v m="$minutes" 'BEGIN{printf "%d", m * 60}')
    /usr/bin/time -f "%e %U %S" -o "$outdir/liquidsoap.time" \
        timeout --signal=INT "$seconds" liquidsoap "$outdir/crossfade.liq" \
        >"$outdir/liquidsoap.log" 2>&1 || true
    # The last line holds the figures (a line before it may say how the program ended).
    liquidsoap_cpu=$(awk 'END { if ($1 > 0) printf "%.2f", ($2 + $3) * 100 / $1 }' "$outdir/liquidsoap.time")
    echo "CPU in % of one core, $minutes min each, $(wc -l <"$list") songs:"
    echo "  station, window shown:      $shown"
    echo "  station, no window:         $headless"
    echo "  liquidsoap crossfade list:  $liquidsoap_cpu"
    awk -v a="$shown" -v b="$headless" -v l="$liquidsoap_cpu" 'BEGIN {
        if (l > 0) printf "  ratio shown / liquidsoap %.2f", a / l
        if (l > 0 && b != "skipped") printf ", no window / liquidsoap %.2f", b / l
        print "" }'
    echo "  goals: shown under 2 %, no window under 1.5 % and below liquidsoap"
    exit 0
fi

minutes=${1:-10}
outdir=${2:-/tmp/corvalin-measure}
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${CORVALIN_BUILD_DIR:-$repo/build/release}
zip=${CORVALIN_ZIP:-10001}
program_name=corvalinradio
report=$build/bench/station/bench_station_report
exit_grace=60 # seconds the station may take to save and exit after SIGTERM

die() {
    echo "measure-station: $*" >&2
    exit 2
}

if ! [[ $minutes =~ ^[0-9]+([.][0-9]+)?$ ]] || [ "$(awk -v m="$minutes" 'BEGIN{print (m > 0)}')" != 1 ]; then
    die "MINUTES must be a positive number, not \"$minutes\""
fi
[ -x "$build/station/$program_name" ] ||
    die "no station program at $build/station/$program_name (build it first)"
[ -x "$report" ] ||
    die "no $report (cmake --build $build --target bench_station_report)"
command -v xvfb-run >/dev/null || die "xvfb-run is missing (scripts/install-deps.sh)"

use_time=0
if [ -x /usr/bin/time ]; then use_time=1; fi

mkdir -p "$outdir"
outdir=$(cd "$outdir" && pwd)
wav=$outdir/station.wav
trace=$outdir/trace.txt
# The trace is appended to: start from nothing.
rm -f "$wav" "$trace" "$outdir/time.txt" "$outdir/times.txt" "$outdir/station.pid"

work=$(mktemp -d /tmp/corvalin-measure-run.XXXXXX)
trap 'rm -rf "$work"' EXIT
cp -a "$build/station" "$work/station"
station=$work/station/$program_name

# set_zip FILE: ZipCode in [DJ5] of FILE, every other line kept.
set_zip() {
    local file=$1
    touch "$file"
    awk -v zip="$zip" '
        /^[ \t]*\[/ {
            if (insec && !done) { print "ZipCode=" zip; done = 1 }
            insec = (tolower($0) ~ /^[ \t]*\[dj5\][ \t\r]*$/)
        }
        insec && tolower($0) ~ /^[ \t]*zipcode[ \t]*=/ {
            if (!done) { print "ZipCode=" zip; done = 1 }
            next
        }
        { print }
        END { if (!done) { if (!insec) print "[DJ5]"; print "ZipCode=" zip } }
    ' "$file" >"$file.new"
    mv "$file.new" "$file"
}

mkdir -p "$work/config/CorvalinRadio"
chmod 700 "$work/config/CorvalinRadio"
set_zip "$work/config/CorvalinRadio/CorvalinRadio.ini"
chmod 600 "$work/config/CorvalinRadio/CorvalinRadio.ini"
# A shared settings file that says SameSettings is the store in use: it needs the zip code too.
shared=$work/station/CorvalinRadio.ini
if [ -f "$shared" ] && grep -Eiq '^[[:space:]]*SameSettings[[:space:]]*=[[:space:]]*[1-9]' "$shared"; then
    set_zip "$shared"
fi

# The inner shell writes its pid and then becomes the station (exec), so the pid file names the
# station itself: SIGTERM must reach it, not xvfb-run (which would take the X server away first)
# nor /usr/bin/time. Without /usr/bin/time, the shell stays to report its child's CPU time.
pidfile=$outdir/station.pid
# shellcheck disable=SC2016 # the inner shell expands these
if [ "$use_time" = 1 ]; then
    runner=(/usr/bin/time -v -o "$outdir/time.txt" bash -c 'echo $$ >"$0"; s=$1; shift; exec "$s" --station-dir "${s%/*}" "$@"' "$pidfile"
        "$station" ${CORVALIN_STATION_ARGS:-})
else
    runner=(bash -c 'p=$1 t=$2; shift 2; "$p" --station-dir "${p%/*}" "$@" & echo $! >"$0"; wait $!; s=$?; times >"$t"; exit $s'
        "$pidfile" "$station" "$outdir/times.txt" ${CORVALIN_STATION_ARGS:-})
fi

echo "measure-station: running the station for $minutes min (output in $outdir)"
(
    unset QT_QPA_PLATFORM
    export CORVALIN_AUDIO="wav:$wav" CORVALIN_TRACE="$trace" XDG_CONFIG_HOME="$work/config"
    exec xvfb-run -a -s "-screen 0 1280x1024x24" "${runner[@]}"
) >"$outdir/station.log" 2>&1 &
xvfb_pid=$!

for _ in $(seq 300); do
    [ -s "$pidfile" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.1
done
if [ ! -s "$pidfile" ]; then
    kill -TERM "$xvfb_pid" 2>/dev/null || true
    die "the station did not start (see $outdir/station.log)"
fi
station_pid=$(cat "$pidfile")

# Wait out the run, polling the peak memory when /usr/bin/time is not there to tell it.
peak_kb=0
run_seconds=$(awk -v m="$minutes" 'BEGIN{printf "%d", m * 60}')
started=$SECONDS
early_exit=0
while [ $((SECONDS - started)) -lt "$run_seconds" ]; do
    if ! kill -0 "$station_pid" 2>/dev/null; then
        early_exit=1
        break
    fi
    if [ "$use_time" = 0 ]; then
        hwm=$(awk '/^VmHWM:/{print $2}' "/proc/$station_pid/status" 2>/dev/null || true)
        if [ -n "$hwm" ] && [ "$hwm" -gt "$peak_kb" ]; then peak_kb=$hwm; fi
    fi
    sleep 1
done
ran=$((SECONDS - started))

status=0
if [ "$early_exit" = 1 ]; then
    echo "measure-station: the station exited on its own after ${ran} s"
    wait "$xvfb_pid" || status=$?
    echo "measure-station: exit status $status (see $outdir/station.log)"
    status=1
else
    kill -TERM "$station_pid"
    waited=0
    while kill -0 "$station_pid" 2>/dev/null && [ "$waited" -lt $((exit_grace * 10)) ]; do
        sleep 0.1
        waited=$((waited + 1))
    done
    if kill -0 "$station_pid" 2>/dev/null; then
        echo "measure-station: the station did not exit within ${exit_grace} s of SIGTERM; killed"
        # Its helpers (the speech worker) would outlive it.
        children=$(pgrep -P "$station_pid" || true)
        kill -KILL "$station_pid" 2>/dev/null || true
        for child in $children; do kill -TERM "$child" 2>/dev/null || true; done
        status=1
    else
        echo "measure-station: the station exited $((waited * 100)) ms after SIGTERM"
    fi
    station_status=0
    wait "$xvfb_pid" || station_status=$?
    if [ "$station_status" -ne 0 ]; then
        echo "measure-station: exit status $station_status (see $outdir/station.log)"
        status=1
    fi
fi

# CPU and memory.
if [ "$use_time" = 1 ] && [ -s "$outdir/time.txt" ]; then
    awk '
        /User time \(seconds\)/ { user = $NF }
        /System time \(seconds\)/ { sys = $NF }
        /Maximum resident set size/ { rss = $NF }
        /Elapsed \(wall clock\) time/ {
            n = split($NF, t, ":"); wall = 0
            for (i = 1; i <= n; i++) wall = wall * 60 + t[i]
        }
        END {
            printf "wall time: %.1f s; CPU user %.2f s + system %.2f s\n", wall, user, sys
            if (wall > 0) printf "CPU per minute of run: %.2f s\n", (user + sys) * 60 / wall
            printf "peak resident memory: %.1f MB (largest of the station and its speech worker)\n", rss / 1024
        }' "$outdir/time.txt"
elif [ -s "$outdir/times.txt" ]; then
    # `times` prints the shell's own line, then its children's: "0m1.234s 0m0.567s".
    awk -v wall="$ran" -v rss="$peak_kb" '
        function secs(s,   m) { sub(/s$/, "", s); m = s; sub(/m.*/, "", m); sub(/^[0-9]+m/, "", s); return m * 60 + s }
        NR == 2 { user = secs($1); sys = secs($2) }
        END {
            printf "wall time: %d s; CPU user %.2f s + system %.2f s\n", wall, user, sys
            if (wall > 0) printf "CPU per minute of run: %.2f s\n", (user + sys) * 60 / wall
            printf "peak resident memory: %.1f MB (station only, polled each second)\n", rss / 1024
        }' "$outdir/times.txt"
else
    echo "measure-station: no CPU or memory figures (the station was killed)"
    status=1
fi

report_status=0
"$report" "$wav" "$trace" | tee "$outdir/report.txt" || report_status=$?
if [ "$report_status" -ne 0 ]; then status=1; fi
exit "$status"
