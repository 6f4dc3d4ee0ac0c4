#!/usr/bin/env bash
# Checks bench_station_report against a recording made with sox (tone segments separated by
# short silences) and a matching hand-written trace whose figures are known.
#
#   check-report.sh PATH/TO/bench_station_report
set -euo pipefail

report=${1:?usage: check-report.sh PATH/TO/bench_station_report}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# seg NAME SECONDS [FREQ GAIN_DB]: a tone segment, or silence without FREQ.
n=0
seg() {
    n=$((n + 1))
    local out
    out=$(printf '%s/%02d.wav' "$work" "$n")
    if [ $# -ge 3 ]; then
        sox -n -r 44100 -b 16 -c 2 "$out" synth "$2" sine "$3" gain "$4"
    else
        sox -n -r 44100 -b 16 -c 2 "$out" trim 0 "$2"
    fi
}
seg silence 0.5
seg voicetest 1.0 300 -20
seg silence 0.55
seg song1 7.95 440 -10
seg faint 0.3 440 -55      # below -50 dBFS: counts as silence
seg song2 7.7 550 -10
seg voice 1.86 300 -20
seg song3 4.14 660 -10
seg silence 0.5
seg song4 8.5 440 -45      # above -50 dBFS: sound
seg silence 0.04
seg song5 6.96 550 -10
seg song6 3.0 660 -10
sox "$work"/[0-9]*.wav "$work/station.wav"

# Process time = audio time + 400 ms (the device opens 400 ms after start).
cat > "$work/trace.txt" <<'TRACE'
350 -1 window-shown
900 500 voice-test-start
1900 1500 voice-test-end
2400 2000 song-start 1 /st/MP3 Files/Song One.mp3
10400 10000 song-end 1
10600 10200 song-start 2 /st/MP3 Files/Song Two.mp3
18400 18000 song-end 2
18400 18000 talk-start
19900 19500 bookmark
20200 19800 song-start 1 /st/MP3 Files/Song Three.mp3
20400 20000 talk-end
24300 23900 song-end 1
24350 23950 song-start 2 /st/MP3 Files/Song Four.mp3
33390 32990 song-end 2
33400 33000 song-start 1 /st/MP3 Files/Song Five.mp3
38400 38000 talk-start
39400 39000 bookmark
39900 39500 song-start 2 /st/MP3 Files/Song Six.mp3
40000 39600 talk-end
42400 42000 song-start 1 /st/MP3 Files/Song Seven.mp3
42900 42500 talk-start
43200 42800 bookmark
43300 429
TRACE

out=$("$report" "$work/station.wav" "$work/trace.txt" 2>"$work/stderr") || true
echo "$out"
fail=0
expect() {
    if ! grep -qF -- "$1" <<<"$out"; then
        echo "MISSING: $1"
        fail=1
    fi
}
expect "recording: 43.0 s at 44100 Hz"
expect "start to window shown: 350 ms"
expect "song 2 (player 2, Song Two.mp3) at 10.20 s: silence 300 ms, first sound after 100 ms"
expect "song 4 (player 2, Song Four.mp3) at 23.95 s: silence 500 ms, first sound after 550 ms"
expect "song 5 (player 1, Song Five.mp3) at 33.00 s: silence 40 ms, first sound after 40 ms"
expect "song 7 (player 1, Song Seven.mp3) at 42.00 s: not measured (recording ends too soon)"
expect "longest silence at a song change: 500 ms (song 4"
expect "deck start latency (song-start to first sound, talk-free changes): n=3  min 40  median 100  max 550 ms"
expect "talk bookmark to next song-start: n=2  min 300  median 400  max 500 ms"
expect "song-start to first sound after a talk: 100 ms"
expect "talk bookmark to the song's first sound (estimated): n=2  min 400  median 500  max 600 ms"
expect "songs started: 7  talks: 3  (1 with no song after the bookmark)"
grep -q "trace line 23 ignored" "$work/stderr" || { echo "MISSING: cut line warning"; fail=1; }
grep -q "Song Three" <<<"$out" && { echo "UNEXPECTED: a change after a talk was measured"; fail=1; }

# Missing or broken inputs: a clear message and a nonzero exit.
broken() {
    local what=$1 wav=$2 trace=$3 message=$4 status=0
    "$report" "$wav" "$trace" >/dev/null 2>"$work/err" || status=$?
    if [ "$status" -ne 2 ] || ! grep -qF -- "$message" "$work/err"; then
        echo "BROKEN INPUT NOT REPORTED ($what): status $status, $(cat "$work/err")"
        fail=1
    fi
}
head -c 30 "$work/station.wav" >"$work/short.wav"
head -c 44 "$work/station.wav" >"$work/header.wav"
: >"$work/empty.txt"
broken "no recording" "$work/none.wav" "$work/trace.txt" "cannot open the recording"
broken "cut header" "$work/short.wav" "$work/trace.txt" "is not 16-bit stereo PCM"
broken "no samples" "$work/header.wav" "$work/trace.txt" "holds no audio"
broken "text as wav" "$work/trace.txt" "$work/trace.txt" "is not a WAV file"
broken "no trace" "$work/station.wav" "$work/none.txt" "cannot open the trace"
broken "empty trace" "$work/station.wav" "$work/empty.txt" "holds no events"

# A trace without window-shown still prints the rest but exits 1.
grep -v window-shown "$work/trace.txt" >"$work/nowindow.txt"
status=0
"$report" "$work/station.wav" "$work/nowindow.txt" >"$work/out2" 2>/dev/null || status=$?
if [ "$status" -ne 1 ] || ! grep -q "no window-shown in the trace" "$work/out2"; then
    echo "MISSING window-shown NOT REPORTED: status $status"
    fail=1
fi

if [ "$fail" -eq 0 ]; then echo "check-report: all figures as expected"; fi
exit "$fail"
