#!/usr/bin/env bash
# Records the station (headless, wav output, no talk) playing 12 short songs with 0 to 5 s of
# digital silence before and after the music, four of them ending in a 3 s fade to -45 dBFS held
# 1.5 s, once with [Segue] TrimSilence=0 ("before") and once with TrimSilence=1 ("after"). Prints,
# for each run, the silence at every song change (from the audible end of one song to the audible
# start of the next: 10 ms windows whose peak is under -60 dBFS) with the median and maximum, and
# checks that each quiet fade-out is heard whole in the "after" run (its tail under -38 dBFS lasts
# as long as in the "before" run). Exit status 1 when an "after" silence exceeds 0.3 s or a tail
# is cut.
#
# Both runs need the songs' audible bounds in the loudness cache: a warm-up run (CORVALIN_AUDIO=null)
# plays until the cache file lists every song with its bounds, then both runs share that cache.
#
#   segue_silence_check.sh PATH/TO/corvalinradio [OUTDIR]
set -euo pipefail

program=${1:?usage: segue_silence_check.sh PATH/TO/corvalinradio [OUTDIR]}
program=$(cd "$(dirname "$program")" && pwd)/$(basename "$program")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
outdir=${2:-$work/out}
mkdir -p "$outdir" "$work/songs" "$work/cache" "$work/config" "$work/data" "$work/run"
outdir=$(cd "$outdir" && pwd)
chmod 700 "$work/run"

# name|kind (tone Hz or noise)|music s|lead s|trail s|fade (1: 3 s fade to -45 dBFS, held 1.5 s)
cat >"$outdir/songs.txt" <<'LIST'
01 Bench - One|440|12|0|0|0
02 Bench - Two|noise|14|2|0|0
03 Bench - Three|550|10|0|3|1
04 Bench - Four|noise|12|5|5|0
05 Bench - Five|660|11|1|1.5|0
06 Bench - Six|noise|13|0.5|4|1
07 Bench - Seven|330|10|3|0|0
08 Bench - Eight|noise|12|0|2.5|0
09 Bench - Nine|880|10|4|1|1
10 Bench - Ten|noise|11|1.5|0.3|0
11 Bench - Eleven|500|12|0|5|1
12 Bench - Twelve|noise|10|2.5|2|0
LIST

# The music peaks at -20 dBFS (a tone, or white noise); digital zeros around it.
/usr/bin/python3 - "$outdir/songs.txt" "$work" <<'PY'
import array, math, random, sys, wave
rate = 44100
random.seed(7)
for line in open(sys.argv[1]):
    name, kind, music, lead, trail, fade = line.strip().split("|")
    music, lead, trail, fade = float(music), float(lead), float(trail), fade == "1"
    body = 10 ** (-20 / 20)
    quiet = 10 ** (-45 / 20)
    fadeS, holdS = 3.0, 1.5
    n = int(music * rate)
    tail = int((fadeS + holdS) * rate) if fade else 0
    pcm = array.array("h", bytes(2 * int(lead * rate)))
    step = 2 * math.pi * (float(kind) if kind != "noise" else 0) / rate
    for i in range(n):
        t = i / rate
        amp = body
        if fade and i >= n - tail:
            into = (i - (n - tail)) / rate
            amp = body * (quiet / body) ** min(into / fadeS, 1.0)  # -20 down to -45 dB, then held
        if kind == "noise":
            s = amp * random.uniform(-1.0, 1.0)
        else:
            s = amp * math.sin(step * i)
        pcm.append(int(round(max(-1.0, min(1.0, s)) * 32767)))
    pcm.frombytes(bytes(2 * int(trail * rate)))
    with wave.open("%s/%s.wav" % (sys.argv[2], name), "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(pcm.tobytes())
PY
while IFS='|' read -r name _; do
    ffmpeg -nostdin -v error -y -i "$work/$name.wav" -ac 2 -c:a libmp3lame -b:a 192k "$work/songs/$name.mp3"
done <"$outdir/songs.txt"

# A station of its own: its own settings, cache and single-instance socket.
export XDG_CACHE_HOME="$work/cache" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
export XDG_RUNTIME_DIR="$work/run"
station="$work/station"
for slot in Morning Afternoon Evening Midnight; do
    "$program" --station-dir "$station" --zip 10001 --import-folder "$work/songs" --slot "$slot" \
        >/dev/null
done
ini="$work/config/CorvalinRadio/CorvalinRadio.ini"
mkdir -p "${ini%/*}"
chmod 700 "${ini%/*}"
touch "$ini"
chmod 600 "$ini"

# set_key SECTION KEY VALUE: in the per-user settings, every other line kept.
set_key() {
    /usr/bin/python3 - "$ini" "$1" "$2" "$3" <<'PY'
import sys
path, section, key, value = sys.argv[1:]
lines = open(path, encoding="utf-8").read().splitlines()
out, inside, done = [], False, False
for line in lines:
    s = line.strip()
    if s.startswith("["):
        if inside and not done:
            out.append("%s=%s" % (key, value)); done = True
        inside = s[1:-1].lower() == section.lower()
    elif inside and s.split("=")[0].strip().lower() == key.lower():
        if not done:
            out.append("%s=%s" % (key, value)); done = True
        continue
    out.append(line)
if not done:
    if not inside:
        out.append("[%s]" % section)
    out.append("%s=%s" % (key, value))
open(path, "w", encoding="utf-8").write("\n".join(out) + "\n")
PY
}
# No talk and no news: songs only, in list order.
for dj in DJ1 DJ2 DJ3 DJ4 DJ5; do
    set_key "$dj" FrequencyType 3
done
for dj in DJ1 DJ2 DJ3 DJ4; do
    set_key "$dj" ListOrder 0
done
set_key DJ5 ReadNews 0
set_key DJ5 ReadWeather 0
songCount=$(wc -l <"$outdir/songs.txt")

# run NAME AUDIO STARTS TIMEOUT: the headless station until STARTS songs have started (and 1.5 s
# more, for the last one's audible start) or TIMEOUT seconds, trace in OUTDIR/NAME.trace.
run() {
    local trace="$outdir/$1.trace"
    rm -f "$trace"
    CORVALIN_AUDIO="$2" CORVALIN_TRACE="$trace" \
        "$program" --headless --quiet --station-dir "$station" --zip 10001 \
        >"$outdir/$1.log" 2>&1 &
    local pid=$! waited=0
    while [ "$waited" -lt "$(($4 * 10))" ] && kill -0 "$pid" 2>/dev/null; do
        local started
        started=$(grep -c ' song-start ' "$trace" 2>/dev/null || true)
        if [ "$3" -gt 0 ] && [ "${started:-0}" -ge "$3" ]; then
            sleep 1.5
            break
        fi
        if [ "$3" -eq 0 ] && /usr/bin/python3 - "$XDG_CACHE_HOME/CorvalinRadio/loudness.json" \
            "$songCount" <<'PY'; then
import json, sys
try:
    songs = json.load(open(sys.argv[1]))["songs"]
except Exception:
    sys.exit(1)
sys.exit(0 if sum(1 for s in songs if "from" in s) >= int(sys.argv[2]) else 1)
PY
            break
        fi
        sleep 0.1
        waited=$((waited + 1))
    done
    kill -TERM "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
}

echo "warm-up: measuring the songs (no sound) until the loudness cache holds their bounds"
run warmup null 0 180
/usr/bin/python3 - "$XDG_CACHE_HOME/CorvalinRadio/loudness.json" <<'PY'
import json, os, sys
songs = json.load(open(sys.argv[1]))["songs"]
for s in sorted(songs, key=lambda s: s["path"]):
    print("  %-22s %6.1f LUFS  audible %6.3f .. %6.3f s" % (
        os.path.basename(s["path"])[:-4], s["lufs"] if s["lufs"] is not None else float("nan"),
        s.get("from", -1) / 1000.0, s.get("to", -1) / 1000.0))
PY

set_key Segue TrimSilence 0
echo "before: TrimSilence=0"
run before "wav:$outdir/before.wav" $((songCount + 1)) 600
set_key Segue TrimSilence 1
echo "after: TrimSilence=1"
run after "wav:$outdir/after.wav" $((songCount + 1)) 600

/usr/bin/python3 - "$outdir" "$outdir/songs.txt" <<'PY'
import math, os, statistics, sys, wave
outdir, listfile = sys.argv[1], sys.argv[2]
songs = {}
for line in open(listfile):
    name, kind, music, lead, trail, fade = line.strip().split("|")
    songs[name] = (float(lead), float(trail), fade == "1")
WIN = 0.010
SILENT, QUIET = -60.0, -38.0

def levels(path):
    # Peak of each 10 ms window, both channels, in dBFS.
    with wave.open(path) as w:
        rate, ch = w.getframerate(), w.getnchannels()
        data = memoryview(w.readframes(w.getnframes())).cast("h")
    step = int(rate * WIN) * ch
    out = []
    for i in range(0, len(data) - step + 1, step):
        block = data[i:i + step]
        peak = max(max(block), -min(block))
        out.append(20 * math.log10(peak / 32768.0) if peak > 0 else -200.0)
    return out

def analyse(name):
    lv = levels("%s/%s.wav" % (outdir, name))
    starts = []
    for line in open("%s/%s.trace" % (outdir, name)):
        f = line.split()
        if len(f) >= 4 and f[2] == "song-start" and int(f[1]) >= 0:
            starts.append((int(f[1]) / 1000.0, os.path.basename(" ".join(f[4:]))[:-4]))
    changes = []
    for (t0, prev), (t, nxt) in zip(starts, starts[1:]):
        # The silent run at the change: the one holding t, or ending just after it.
        k = min(int(t / WIN), len(lv) - 1)
        lo = k
        while lo < len(lv) and lv[lo] >= SILENT and lo < k + int(0.25 / WIN):
            lo += 1
        if lo >= len(lv) or lv[lo] >= SILENT:
            # no silence after t: look just before it (the start told a little late)
            lo = k
            while lo > k - int(0.25 / WIN) and lv[lo] >= SILENT:
                lo -= 1
        if lv[lo] >= SILENT:
            gap, end = 0.0, k
        else:
            a, b = lo, lo
            while a > 0 and lv[a - 1] < SILENT:
                a -= 1
            while b + 1 < len(lv) and lv[b + 1] < SILENT:
                b += 1
            gap, end = (b - a + 1) * WIN, a
        # The heard tail of the song before: quiet but not silent windows up to its audible end.
        q = end - 1
        while q > 0 and SILENT <= lv[q] < QUIET:
            q -= 1
        changes.append((t, prev, nxt, gap, (end - 1 - q) * WIN))
    return changes

result = {}
for name in ("before", "after"):
    ch = analyse(name)
    result[name] = ch
    print("%s: %d song changes" % (name, len(ch)))
    for t, prev, nxt, gap, tail in ch:
        lead = songs.get(nxt, (0, 0, 0))[0]
        trail = songs.get(prev, (0, 0, 0))[1]
        fade = songs.get(prev, (0, 0, False))[2]
        print("  %7.2f s  %-20s -> %-20s silence %5.2f s (in files %4.1f s)%s" % (
            t, prev, nxt, gap, lead + trail, "  fade-out tail %.2f s" % tail if fade else ""))
    gaps = [c[3] for c in ch]
    if gaps:
        print("  %s: median %.2f s, max %.2f s" % (name, statistics.median(gaps), max(gaps)))
failed = 0
after = result["after"]
if len(after) < len(songs) or max(c[3] for c in after) > 0.3:
    print("FAILED: silence over 0.3 s at a change, or changes missing")
    failed = 1
tails = {c[1]: c[4] for c in result["before"] if songs.get(c[1], (0, 0, False))[2]}
for t, prev, nxt, gap, tail in after:
    if prev in tails:
        ok = tail >= 1.4 and abs(tail - tails[prev]) <= 0.1
        print("fade-out of %-20s tail under -38 dBFS: before %.2f s, after %.2f s  %s" % (
            prev, tails[prev], tail, "kept" if ok else "CUT"))
        failed |= 0 if ok else 1
print("FAILED" if failed else "all within")
sys.exit(failed)
PY
