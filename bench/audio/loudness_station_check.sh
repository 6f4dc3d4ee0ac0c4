#!/usr/bin/env bash
# Records the station (headless, wav output, default sliders) playing songs mastered 20 dB apart
# and checks every song against the target less the Player Volume's 5 dB (within 1 LU) and every
# talk against the same level (within 1.5 LU: the DJ sits level with the songs), with no clipping.
# Figures by FFmpeg's ebur128 filter.
#
#   loudness_station_check.sh PATH/TO/corvalinradio [minutes=10] [song seconds=70]
set -euo pipefail

program=${1:?usage: loudness_station_check.sh PATH/TO/corvalinradio [minutes] [song seconds]}
minutes=${2:-10}
songSeconds=${3:-70}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/songs" "$work/cache" "$work/config" "$work/data" "$work/run"
chmod 700 "$work/run"

# song NAME LUFS TONE: pink noise (or a 1 kHz tone) brought to LUFS as FFmpeg measures it.
song() {
    local raw="$work/raw.wav"
    if [ "$3" = tone ]; then
        sox -n -r 44100 -c 2 -b 16 "$raw" synth "$songSeconds" sine 1000 gain -25
    else
        sox -n -r 44100 -c 2 -b 16 "$raw" synth "$songSeconds" pinknoise gain -25
    fi
    local now
    now=$(ffmpeg -hide_banner -nostats -i "$raw" -af ebur128 -f null - 2>&1 |
        sed -n '/Summary:/,$p' | awk '/I:/ {print $2; exit}')
    ffmpeg -v error -y -i "$raw" -af "volume=$(echo "$2 - ($now)" | bc -l)dB" \
        -c:a libmp3lame -b:a 192k "$work/songs/$1.mp3"
}
song "Loud Band - Very Loud" -10 tone
song "Quiet Band - Very Quiet" -30 noise
song "Middle Band - Middle" -20 noise
song "Loud Band - Loud Again" -10 tone
song "Quiet Band - Whisper" -30 noise
song "Middle Band - Medium" -20 noise

# A station of its own: its own settings, cache and single-instance socket.
export XDG_CACHE_HOME="$work/cache" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
export XDG_RUNTIME_DIR="$work/run"
station="$work/station"
for slot in Morning Afternoon Evening Midnight; do
    "$program" --station-dir "$station" --zip 10001 --import-folder "$work/songs" --slot "$slot" \
        >/dev/null
done

CORVALIN_AUDIO="wav:$work/out.wav" CORVALIN_TRACE="$work/trace.txt" \
    timeout -s TERM "$((minutes * 60))" "$program" --headless --station-dir "$station" \
    --zip 10001 >/dev/null 2>&1 || true
sleep 1

/usr/bin/python3 - "$work/out.wav" "$work/trace.txt" <<'PY'
import re, subprocess, sys
wav, trace = sys.argv[1], sys.argv[2]
events = []
for line in open(trace):
    f = line.split()
    if len(f) >= 3 and int(f[1]) >= 0:
        events.append((int(f[1]) / 1000.0, f[2], " ".join(f[3:])))
def loudness(start, end):
    out = subprocess.run(["ffmpeg", "-hide_banner", "-nostats", "-ss", "%.3f" % start, "-t",
                          "%.3f" % (end - start), "-i", wav, "-af", "ebur128=peak=true", "-f",
                          "null", "-"], capture_output=True, text=True).stderr
    tail = out[out.rfind("Summary:"):]
    i = re.search(r"I:\s+(-?[\d.]+) LUFS", tail)
    p = re.search(r"Peak:\s+(-?[\d.]+|-inf) dBFS", tail)
    return float(i.group(1)) if i else None, float(p.group(1)) if p else None
starts = [e for e in events if e[1] in ("song-start", "talk-start", "voice-test-start",
                                           "song-end", "talk-end", "voice-test-end")]
failed = 0
heard = -18.0 - 5.0  # the target less the default Player Volume
found = {"song-start": [], "talk-start": []}
for k, (t, name, detail) in enumerate(events):
    if name not in ("song-start", "talk-start"):
        continue
    # A song started under the DJ's last words is measured from the end of the talk.
    begin = t
    if name == "song-start":
        under = [e[0] for e in events if e[1] == "talk-end" and t < e[0] < t + 15.0]
        begin = under[0] if under else t
    # Up to the next start or end of anything: what lies between is this item alone.
    later = [e[0] for e in starts if e[0] > begin + 0.5]
    end = min(later) if later else None
    if end is None or end - begin < 3.0:
        continue
    lufs, peak = loudness(begin + 0.5, end - 0.5)
    tol = 1.0 if name == "song-start" else 1.5
    ok = lufs is not None and abs(lufs - heard) <= tol and (peak is None or peak < 0.0)
    failed += 0 if ok else 1
    if lufs is not None:
        found[name].append(lufs)
    print("%-10s %7.1f s  %-45s %6s LUFS  peak %5s dBTP  %s" % (
        name.replace("-start", ""), t, detail[-45:], lufs, peak, "ok" if ok else "OFF"))
songs, talks = found["song-start"], found["talk-start"]
if not songs or not talks:
    print("no song or no talk recorded")
    failed += 1
else:
    mean = lambda v: sum(v) / len(v)
    print("songs %d: %.1f .. %.1f LUFS, mean %.1f" % (len(songs), min(songs), max(songs), mean(songs)))
    print("talks %d: %.1f .. %.1f LUFS, mean %.1f" % (len(talks), min(talks), max(talks), mean(talks)))
    print("talk less song: %+.1f LU (mean)" % (mean(talks) - mean(songs)))
print("FAILED" if failed else "all within", failed)
sys.exit(1 if failed else 0)
PY
