#!/usr/bin/env bash
# Runs the headless station unattended for HOURS (fractions allowed) with a fault every few
# minutes and checks that it kept playing without help:
#
#   soak.sh HOURS [DIR=/tmp/corvalin-soak]
#
# Everything runs on 127.0.0.1 from DIR: short generated songs (so that hundreds of changes
# happen), the DJ talking after every song, a local news and weather server, a local icecast2
# receiving the stream, the as-run log on a small tmpfs (root only; else that fault is left out).
# Faults, at random: the speech worker killed; the queued song deleted, renamed or replaced by an
# empty file; the news server answering 500, garbage or slowly; icecast2 stopped for 30 s; the log
# folder's disk full; the station stopped (SIGSTOP) for 3 s. Every minute it samples the station's
# resident memory, descriptors and threads. The recording (wav output) is checked for silence as
# it grows and its checked part is given back to the disk.
#
# The last line: soak: hours=H songs=N talks=N faults=N longest_silence_s=X rss_start_mb=A
# rss_end_mb=B rss_growth_mb_per_h=G fds_start=F fds_end=F files_damaged=N; the exit status is 1
# when a figure misses its goal (silence over 1.4 s, memory growing 0.5 MB/h or more after the
# first 10 minutes, descriptors or threads not flat, a file damaged, the station gone).
# CORVALIN_BUILD_DIR picks the build folder (default build/release); SOAK_FAULT_SECONDS the mean
# time between faults (default 180).
set -euo pipefail

hours=${1:?usage: soak.sh HOURS [DIR]}
dir=${2:-/tmp/corvalin-soak}
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${CORVALIN_BUILD_DIR:-$repo/build/release}
program=$build/station/corvalinradio
fault_every=${SOAK_FAULT_SECONDS:-180}
die() { echo "soak: $*" >&2; exit 2; }
[ -x "$program" ] || die "no program at $program (build it first)"
for tool in sox python3 icecast2; do command -v $tool >/dev/null || die "$tool is missing"; done
total_s=$(awk -v h="$hours" 'BEGIN { printf "%d", h * 3600 }')
[ "$total_s" -gt 60 ] || die "HOURS must be more than a minute"

pids=()
station_pid=""
cleanup() {
    set +e
    [ -n "$station_pid" ] && kill -CONT "$station_pid" 2>/dev/null
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
    [ -n "${icecast_pid:-}" ] && kill "$icecast_pid" 2>/dev/null
    wait 2>/dev/null
    mountpoint -q "$dir/station/Logs" && umount "$dir/station/Logs"
}
trap cleanup EXIT

if mountpoint -q "$dir/station/Logs" 2>/dev/null; then umount "$dir/station/Logs"; fi
rm -rf "$dir"
mkdir -p "$dir"/{home,config/CorvalinRadio,data,run,station/Lists,station/Logs,songs,ice}
chmod 700 "$dir/run" "$dir/config/CorvalinRadio"
free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }

# Songs of 6 to 10 s, tones and noise, named "Artist - Title.mp3".
songs=()
for i in $(seq 1 16); do
    f="$dir/songs/Soak Band $i - Tune $i.mp3"
    sox -n -r 44100 -c 2 -C 128 "$f" synth $((6 + i % 5)) sine $((200 + 40 * i)) pinknoise vol 0.4 2>/dev/null
    songs+=("$f")
done
list=""
for f in "${songs[@]}"; do list+="F$f"$'\r\n'; done
for slot in Morning Afternoon Evening Midnight; do printf '%s' "$list" >"$dir/station/Lists/$slot.lst"; done

# News and weather: one server whose answer the faults change through $dir/news-mode.
news_port=$(free_port)
echo ok >"$dir/news-mode"
cat >"$dir/news.py" <<'PY'
import http.server, sys, time, os, itertools
mode_file = sys.argv[2]
count = itertools.count()
class H(http.server.BaseHTTPRequestHandler):
    def log_message(self, *a): pass
    def do_GET(self):
        mode = open(mode_file).read().strip()
        n = next(count)
        if mode == "500":
            self.send_response(500); self.end_headers(); return
        if mode == "slow":
            time.sleep(40)
        if mode == "garbage":
            body = os.urandom(3000)
            ctype = "application/octet-stream"
        elif self.path.startswith("/weather"):
            body = ('{"current_condition":[{"temp_F":"%d","temp_C":"10","weatherDesc":[{"value":"Cloudy"}]}],'
                    '"nearest_area":[{"areaName":[{"value":"Soakville"}]}]}' % (50 + n % 20)).encode()
            ctype = "application/json"
        else:
            body = ('<?xml version="1.0"?><rss version="2.0"><channel><title>Soak</title>'
                    '<item><title>Headline number %d from the soak desk</title></item></channel></rss>' % n).encode()
            ctype = "application/rss+xml"
        try:
            self.send_response(200); self.send_header("Content-Type", ctype)
            self.send_header("Content-Length", str(len(body))); self.end_headers(); self.wfile.write(body)
        except OSError:
            pass
http.server.ThreadingHTTPServer(("127.0.0.1", int(sys.argv[1])), H).serve_forever()
PY
python3 "$dir/news.py" "$news_port" "$dir/news-mode" &
pids+=($!)

# icecast2 (as root it drops to nobody, who must reach its folder).
ice_port=$(free_port)
ice_password="soak-$RANDOM$RANDOM"
chmod 777 "$dir/ice"
security=""
[ "$(id -u)" -eq 0 ] && security="<security><chroot>0</chroot><changeowner><user>nobody</user><group>nogroup</group></changeowner></security>"
cat >"$dir/ice/icecast.xml" <<XML
<icecast><location>soak</location><admin>soak@localhost</admin>
<limits><clients>10</clients><sources>2</sources><source-timeout>5</source-timeout><burst-size>0</burst-size></limits>
<authentication><source-password>$ice_password</source-password><admin-user>admin</admin-user><admin-password>$ice_password</admin-password></authentication>
<hostname>127.0.0.1</hostname><listen-socket><port>$ice_port</port><bind-address>127.0.0.1</bind-address></listen-socket>
<paths><basedir>/usr/share/icecast2</basedir><logdir>$dir/ice</logdir><webroot>/usr/share/icecast2/web</webroot><adminroot>/usr/share/icecast2/admin</adminroot></paths>
<logging><accesslog>access.log</accesslog><errorlog>error.log</errorlog><loglevel>2</loglevel></logging>$security</icecast>
XML
chmod 600 "$dir/ice/icecast.xml"; [ "$(id -u)" -eq 0 ] && chown nobody "$dir/ice/icecast.xml"
icecast_pid=""
start_icecast() { icecast2 -c "$dir/ice/icecast.xml" >>"$dir/ice/out.log" 2>&1 & icecast_pid=$!; }
start_icecast

# Settings: the DJ talks after every song, news and weather every fourth song (short talks, many
# changes), the stream on.
ini=$dir/config/CorvalinRadio/CorvalinRadio.ini
{
    printf '[Screen]\r\nStartPlay=1\r\n'
    for s in 1 2 3 4; do printf '[DJ%d]\r\nFrequencyType=1\r\nFrequencySongs=1\r\n' "$s"; done
    printf '[DJ5]\r\nZipCode=10001\r\nReadNews=1\r\nReadWeather=1\r\nFrequencyType=1\r\nFrequencySongs=4\r\n'
    printf 'NewsURL=http://127.0.0.1:%d/news.rss\r\nWeatherURL=http://127.0.0.1:%d/weather.json\r\n' "$news_port" "$news_port"
    printf '[Stream]\r\nEnabled=1\r\nHost=127.0.0.1\r\nPort=%d\r\nMount=/soak\r\nFormat=mp3\r\nBitrate=64\r\n' "$ice_port"
} >"$ini"
( umask 077; printf '[Stream]\r\nPassword=%s\r\n' "$ice_password" >"$dir/config/CorvalinRadio/Credentials.ini" )

# The as-run log on a small disk of its own, so that it can be filled.
logs_on_tmpfs=0
if [ "$(id -u)" -eq 0 ] && mount -t tmpfs -o size=256k tmpfs "$dir/station/Logs" 2>/dev/null; then
    logs_on_tmpfs=1
fi

export HOME=$dir/home XDG_CONFIG_HOME=$dir/config XDG_DATA_HOME=$dir/data XDG_RUNTIME_DIR=$dir/run
unset DISPLAY WAYLAND_DISPLAY NOTIFY_SOCKET
export CORVALIN_AUDIO=wav:$dir/station.wav CORVALIN_TRACE=$dir/trace.txt
"$program" --headless --station-dir "$dir/station" 2>"$dir/station.log" &
station_pid=$!
station_started=$(date +%s)

# Silence in the recording, checked as it grows: 16-bit stereo 44100 Hz after a 44-byte header;
# a 10 ms block is silent when its peak is under -60 dBFS. State in $dir/silence.json.
cat >"$dir/silence.py" <<'PY'
import json, os, sys, array
wav, state_path = sys.argv[1], sys.argv[2]
final = len(sys.argv) > 3
st = {"offset": 44, "run": 0, "longest": 0.0, "run_start": 44, "longest_at": 44, "excluded": []}
if os.path.exists(state_path):
    st = json.load(open(state_path))
block = 441 * 4
size = os.path.getsize(wav)
end = size - (size - st["offset"]) % block
def excluded(a, b):
    return any(a < e1 and b > e0 for e0, e1 in st["excluded"])
with open(wav, "rb") as f:
    f.seek(st["offset"])
    pos = st["offset"]
    while pos < end:
        chunk = f.read(min(end - pos, block * 1000))
        if not chunk:
            break
        samples = array.array("h", chunk)
        for i in range(0, len(samples), 882):
            peak = max(max(samples[i:i + 882]), -min(samples[i:i + 882]))
            if peak < 33:
                if st["run"] == 0:
                    st["run_start"] = pos
                st["run"] += 1
            else:
                if st["run"] and not excluded(st["run_start"], pos) and st["run"] / 100.0 > st["longest"]:
                    st["longest"] = st["run"] / 100.0
                    st["longest_at"] = st["run_start"]
                st["run"] = 0
            pos += block
    st["offset"] = pos
if final and st["run"] and not excluded(st["run_start"], st["offset"]) and st["run"] / 100.0 > st["longest"]:
    st["longest"] = st["run"] / 100.0
    st["longest_at"] = st["run_start"]
json.dump(st, open(state_path, "w"))
print(st["longest"])
PY
wav_size() { stat -c %s "$dir/station.wav" 2>/dev/null || echo 0; }
exclude_range() { # bytes of the recording not counted as silence
    python3 - "$dir/silence.json" "$1" "$2" <<'PY'
import json, os, sys
p = sys.argv[1]
st = json.load(open(p)) if os.path.exists(p) else {"offset": 44, "run": 0, "longest": 0.0, "run_start": 44, "longest_at": 44, "excluded": []}
st["excluded"].append([int(sys.argv[2]), int(sys.argv[3])])
json.dump(st, open(p, "w"))
PY
}

sample() { # time rss_kb fds threads anon_kb file_kb
    local rss fds thr anon file
    rss=$(awk '/^VmRSS/ { print $2 }' "/proc/$station_pid/status" 2>/dev/null || echo 0)
    fds=$(ls "/proc/$station_pid/fd" 2>/dev/null | wc -l)
    thr=$(awk '/^Threads/ { print $2 }' "/proc/$station_pid/status" 2>/dev/null || echo 0)
    anon=$(awk '/^RssAnon/ { print $2 }' "/proc/$station_pid/status" 2>/dev/null || echo 0)
    file=$(awk '/^RssFile/ { print $2 }' "/proc/$station_pid/status" 2>/dev/null || echo 0)
    echo "$(date +%s) $rss $fds $thr $anon $file" >>"$dir/samples.txt"
}

queued_song() { # the song chosen next: the newest "song-start" is on the air, the list's next F row follows
    python3 - "$dir/trace.txt" "${songs[@]}" <<'PY'
import sys
trace, songs = sys.argv[1], sys.argv[2:]
last = None
for line in open(trace, errors="replace"):
    if " song-start " in line:
        last = line.split(" song-start ", 1)[1].split(" ", 1)[1].strip()
if last in songs:
    print(songs[(songs.index(last) + 1) % len(songs)])
PY
}

faults=0
failed_faults=()
fault_log=$dir/faults.txt
: >"$fault_log"
restore_song() { # put a damaged song back as it was made
    local f=$1
    rm -f "$f" "$f.moved"
    cp "$dir/songs-clean/$(basename "$f")" "$f"
}
mkdir -p "$dir/songs-clean"; cp "${songs[@]}" "$dir/songs-clean/"
inject() {
    local kinds=(speech song-delete song-rename song-empty news-500 news-garbage news-slow icecast stop)
    [ "$logs_on_tmpfs" -eq 1 ] && kinds+=(disk-full)
    local kind=${kinds[RANDOM % ${#kinds[@]}]}
    faults=$((faults + 1))
    echo "$(date +%s) $kind" >>"$fault_log"
    case $kind in
    speech)
        local w
        w=$(ps -o pid= --ppid "$station_pid" | head -n 1 | tr -d ' ')
        [ -n "$w" ] && kill -KILL "$w" ;;
    song-delete | song-rename | song-empty)
        local q
        q=$(queued_song)
        if [ -n "$q" ]; then
            case $kind in
            song-delete) rm -f "$q" ;;
            song-rename) mv "$q" "$q.moved" ;;
            song-empty) : >"$q" ;;
            esac
            (sleep 60; restore_song "$q") &
            pids+=($!)
        fi ;;
    news-500 | news-garbage | news-slow)
        echo "${kind#news-}" >"$dir/news-mode"
        (sleep 120; echo ok >"$dir/news-mode") &
        pids+=($!) ;;
    icecast)
        kill "$icecast_pid" 2>/dev/null; wait "$icecast_pid" 2>/dev/null || true
        sleep 30
        start_icecast ;;
    disk-full)
        dd if=/dev/zero of="$dir/station/Logs/filler" bs=4k 2>/dev/null || true
        (sleep 90; rm -f "$dir/station/Logs/filler") &
        pids+=($!) ;;
    stop)
        local from
        from=$(wav_size)
        kill -STOP "$station_pid"; sleep 3; kill -CONT "$station_pid"
        sleep 2
        exclude_range "$from" "$(wav_size)" ;;
    esac
}

start_time=$(date +%s)
end_time=$((start_time + total_s))
next_sample=$((start_time + 60)) # after start-up
next_fault=$((start_time + 60 + RANDOM % fault_every))
alive=1
while [ "$(date +%s)" -lt "$end_time" ]; do
    now=$(date +%s)
    if ! kill -0 "$station_pid" 2>/dev/null; then alive=0; break; fi
    if [ "$now" -ge "$next_sample" ]; then
        sample
        python3 "$dir/silence.py" "$dir/station.wav" "$dir/silence.json" >/dev/null
        # Give the checked part of the recording back to the disk (offsets stay).
        checked=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["offset"])' "$dir/silence.json")
        fallocate -p -o 4096 -l $(( (checked - 4096 - 1048576) > 0 ? checked - 4096 - 1048576 : 0 )) "$dir/station.wav" 2>/dev/null || true
        next_sample=$((next_sample + 60))
    fi
    if [ "$now" -ge "$next_fault" ] && [ "$now" -lt $((end_time - 60)) ]; then
        inject
        next_fault=$(($(date +%s) + fault_every / 2 + RANDOM % fault_every))
    fi
    sleep 1
done
[ "$alive" -eq 1 ] && sample
echo ok >"$dir/news-mode"
longest=$(python3 "$dir/silence.py" "$dir/station.wav" "$dir/silence.json" final)
# Where the longest silence fell: its time in the recording, the station's trace around it and
# the last fault before it, so that a failure points at its cause.
python3 - "$dir/silence.json" "$dir/trace.txt" "$fault_log" "$station_started" <<'PY' || true
import json, sys
st = json.load(open(sys.argv[1]))
at = (st.get("longest_at", 44) - 44) / (44100 * 4)
if st["longest"] > 0:
    print("longest silence: %.2f s at %.1f s into the recording" % (st["longest"], at))
    for line in open(sys.argv[2], errors="replace"):
        f = line.split(" ", 2)
        if f[0].isdigit() and abs(int(f[0]) / 1000 - at) <= 6:
            print("  trace %s" % line.rstrip())
    before = [l.split() for l in open(sys.argv[3]) if l.strip() and int(l.split()[0]) - int(sys.argv[4]) <= at]
    if before:
        print("  last fault before it: %s, %d s earlier" % (before[-1][1], at - (int(before[-1][0]) - int(sys.argv[4]))))
PY

# The station ends as the service manager would end it.
exit_ok=1
if [ "$alive" -eq 1 ]; then
    kill -TERM "$station_pid"
    for _ in $(seq 1 60); do kill -0 "$station_pid" 2>/dev/null || break; sleep 1; done
    if kill -0 "$station_pid" 2>/dev/null; then exit_ok=0; kill -KILL "$station_pid"; fi
    wait "$station_pid" 2>/dev/null || exit_ok=0
fi
station_pid=""

# Damage: every song back as made (the restorers have run or are run now), every list a list,
# the settings readable with their keys, every log line a CSV line.
for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
sleep 1
for f in "${songs[@]}"; do [ -f "$f" ] || restore_song "$f"; [ -s "$f" ] || restore_song "$f"; done
damaged=0
for f in "${songs[@]}"; do cmp -s "$f" "$dir/songs-clean/$(basename "$f")" || { echo "soak: song changed: $f" >&2; damaged=$((damaged + 1)); }; done
for l in "$dir"/station/Lists/*.lst; do
    bad=$(grep -cv '^[FT]/' "$l" || true)
    rows=$(grep -c . "$l" || true)
    if [ "$bad" -ne 0 ] || [ "$rows" -ne ${#songs[@]} ]; then echo "soak: list damaged: $l" >&2; damaged=$((damaged + 1)); fi
done
for key in ZipCode=10001 NewsURL= 'Enabled=1' 'Restart=0'; do
    grep -q "^$key" "$ini" || { echo "soak: settings lack $key" >&2; damaged=$((damaged + 1)); }
done
for csv in "$dir"/station/Logs/*.csv; do
    [ -e "$csv" ] || continue
    if python3 - "$csv" <<'PY'
import csv, sys
rows = list(csv.reader(open(sys.argv[1], newline="", encoding="utf-8")))
width = len(rows[0]) if rows else 0
sys.exit(0 if all(len(r) == width for r in rows) else 1)
PY
    then :; else echo "soak: log damaged: $csv" >&2; damaged=$((damaged + 1)); fi
done

songs_played=$(grep -c ' song-start ' "$dir/trace.txt" || true)
talks=$(grep -c ' talk-start' "$dir/trace.txt" || true)
read -r rss_start rss_end growth fds_start fds_end thr_start thr_end < <(python3 - "$dir/samples.txt" <<'PY'
import sys
rows = [list(map(int, l.split())) for l in open(sys.argv[1]) if l.strip()]
rows = [r for r in rows if r[1] > 0]
t0 = rows[0][0]
# After the first 10 minutes (a third of a shorter run), by least squares over every sample.
skip = min(600, (rows[-1][0] - t0) / 3)
late = [r for r in rows if r[0] - t0 >= skip] or rows[-2:]
growth = 0.0
if len(late) >= 2 and late[-1][0] > late[0][0]:
    n = len(late); xs = [r[0] / 3600 for r in late]; ys = [r[1] / 1024 for r in late]
    mx = sum(xs) / n; my = sum(ys) / n
    den = sum((x - mx) ** 2 for x in xs)
    growth = sum((x - mx) * (y - my) for x, y in zip(xs, ys)) / den if den else 0.0
first = late[0]
print("%.1f %.1f %.2f %d %d %d %d" % (rows[0][1] / 1024, rows[-1][1] / 1024, growth, first[2], rows[-1][2], first[3], rows[-1][3]))
# The same growth for the private memory and for the mapped files' pages apart (to stderr: a
# growing RSS of file pages is code and data of libraries paged in, not memory held).
def slope(col):
    pts = [(r[0] / 3600, r[col] / 1024) for r in late if len(r) > col]
    if len(pts) < 2:
        return 0.0
    mx = sum(p[0] for p in pts) / len(pts); my = sum(p[1] for p in pts) / len(pts)
    den = sum((p[0] - mx) ** 2 for p in pts)
    return sum((p[0] - mx) * (p[1] - my) for p in pts) / den if den else 0.0
if len(rows[-1]) > 5:
    sys.stderr.write("memory: anonymous %.1f -> %.1f MB (%.2f MB/h), file pages %.1f -> %.1f MB (%.2f MB/h)\n" % (
        first[4] / 1024, rows[-1][4] / 1024, slope(4), first[5] / 1024, rows[-1][5] / 1024, slope(5)))
PY
)
echo "faults:" $(awk '{ print $2 }' "$fault_log" | sort | uniq -c | awk '{ printf "%s=%s ", $2, $1 }')
echo "threads: $thr_start -> $thr_end; station exit on SIGTERM: $([ "$exit_ok" -eq 1 ] && echo clean || echo NOT clean)"
echo "soak: hours=$hours songs=$songs_played talks=$talks faults=$faults longest_silence_s=$longest rss_start_mb=$rss_start rss_end_mb=$rss_end rss_growth_mb_per_h=$growth fds_start=$fds_start fds_end=$fds_end files_damaged=$damaged"
fail=0
awk -v s="$longest" 'BEGIN { exit !(s > 1.4) }' && { echo "soak: silence of $longest s" >&2; fail=1; }
awk -v g="$growth" 'BEGIN { exit !(g >= 0.5) }' && { echo "soak: memory grows $growth MB/h" >&2; fail=1; }
[ "$fds_end" -le $((fds_start + 2)) ] || { echo "soak: descriptors $fds_start -> $fds_end" >&2; fail=1; }
[ "$thr_end" -le $((thr_start + 2)) ] || { echo "soak: threads $thr_start -> $thr_end" >&2; fail=1; }
[ "$damaged" -eq 0 ] || fail=1
[ "$alive" -eq 1 ] || { echo "soak: the station ended by itself (see $dir/station.log)" >&2; fail=1; }
[ "$exit_ok" -eq 1 ] || { echo "soak: the station did not end cleanly on SIGTERM" >&2; fail=1; }
exit $fail
