#!/usr/bin/env bash
# Fills a station folder with six short sample songs ("MP3 Files/") and the four slot lists
# ("Lists/Morning.lst" ...), so a fresh station has something to play. Runs at every build: a file
# that is already there (the user's own list, a song) is never touched or replaced.
#
#   make-sample-songs.sh STATION_DIR
#
# Needs sox and lame. Each song is a little arrangement synthesised by sox: plucked or sustained
# chords, a bass line, a lead melody and a drum pattern made from noise bursts, mixed and faded.
set -euo pipefail

station=${1:?usage: make-sample-songs.sh STATION_DIR}
songs_dir="$station/MP3 Files"
lists_dir="$station/Lists"
artist="Corvalin Radio Sample"
rate=44100

# title | bpm | chords (one per bar, notes joined by ":") | comp | lead | drums | melody (4 bars)
# comp: pluck (four strums a bar) or a synth type for one held chord a bar; lead: a synth type.
songs=(
    "Morning Light|96|C4:E4:G4 G3:B3:D4 A3:C4:E4 F3:A3:C4|pluck|sine|pop|E5:1 D5:0.5 C5:0.5 D5:1 E5:1 D5:1 B4:1 G4:1.5 r:0.5 C5:1 E5:1 A5:1.5 G5:0.5 F5:1 E5:0.5 D5:0.5 C5:2"
    "Afternoon Drive|124|G3:B3:D4 D4:F#4:A4 E3:G3:B3 C4:E4:G4|pluck|square|rock|B4:0.5 D5:0.5 G5:1 F#5:0.5 E5:0.5 D5:1 A4:0.5 D5:0.5 F#5:1 A5:1 F#5:1 G5:0.5 F#5:0.5 E5:1 B4:1 E5:1 C5:1 E5:1 G5:0.5 E5:0.5 D5:1"
    "Evening Glow|84|F3:A3:C4 D3:F3:A3 Bb3:D4:F4 C4:E4:G4|triangle|pluck|soft|A4:1.5 C5:0.5 F5:2 D5:1 F5:1 A5:2 Bb4:1 D5:1 F5:1 D5:1 C5:1 E5:1 G5:2"
    "Midnight Stroll|80|A3:C4:E4 F3:A3:C4 C4:E4:G4 G3:B3:D4|sine|triangle|soft|E5:1 C5:1 A4:2 F5:1 E5:0.5 D5:0.5 C5:2 E5:1 G5:1 C6:1.5 B5:0.5 B5:1 G5:1 D5:2"
    "Coffee Break|108|D4:F#4:A4 B3:D4:F#4 G3:B3:D4 A3:C#4:E4|pluck|pluck|pop|F#5:0.5 A5:0.5 D6:1 A5:0.5 F#5:0.5 D5:1 D5:0.5 F#5:0.5 B5:1 F#5:1 D5:1 G5:1 B5:0.5 A5:0.5 G5:1 D5:1 E5:0.5 F#5:0.5 G5:0.5 A5:0.5 C#6:1 A5:1"
    "City Lights|92|E3:G3:B3 C4:E4:G4 G3:B3:D4 D4:F#4:A4|square|sine|rock|B4:1 E5:1 G5:1 F#5:0.5 E5:0.5 E5:1 G5:0.5 E5:0.5 C5:2 D5:1 G5:1 B5:1.5 A5:0.5 A5:1 F#5:1 D5:2"
)

# Which songs each slot list names, in order (indexes into songs).
declare -A list_songs=(
    [Morning]="0 4 1 2 5 3"
    [Afternoon]="1 5 4 0 3 2"
    [Evening]="2 3 0 5 1 4"
    [Midnight]="3 2 5 4 0 1"
)

song_path() { printf '%s/%s - %s.mp3' "$songs_dir" "$artist" "${1%%|*}"; }

mkdir -p "$songs_dir" "$lists_dir"

missing=()
for i in "${!songs[@]}"; do
    [[ -e "$(song_path "${songs[$i]}")" ]] || missing+=("$i")
done

if ((${#missing[@]} > 0)); then
    for tool in sox lame; do
        if ! command -v "$tool" >/dev/null; then
            echo "make-sample-songs: $tool is not installed; no sample songs made" >&2
            exit 0
        fi
    done
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

calc() { awk "BEGIN { printf \"%.6f\", $1 }"; }

# Semitones from A4 of a note name such as C4, F#3 or Bb5.
semitones() {
    local name=$1 letter=${1:0:1} rest=${1:1} offset accidental=0
    case $letter in
    C) offset=0 ;; D) offset=2 ;; E) offset=4 ;; F) offset=5 ;; G) offset=7 ;; A) offset=9 ;;
    B) offset=11 ;; *) echo "bad note $name" >&2; return 1 ;;
    esac
    case $rest in
    '#'*) accidental=1; rest=${rest:1} ;;
    b*) accidental=-1; rest=${rest:1} ;;
    esac
    echo $(((rest - 4) * 12 + offset + accidental - 9))
}

synth() { sox -q -r "$rate" -c 1 -n "$@"; } # synth OUT EFFECTS... : mono from nothing

make_song() {
    local song=$1 dir=$2
    local title bpm chords comp lead drums melody
    IFS='|' read -r title bpm chords comp lead drums melody <<<"$song"
    mkdir -p "$dir"
    cd "$dir"
    local beat eighth bar
    beat=$(calc "60 / $bpm")
    eighth=$(calc "$beat / 2")
    bar=$(calc "$beat * 4")
    local cycles=3 # three passes of the four chords: an intro and two with the melody

    # Chords: one file per chord, a beat long (strummed four times) or a bar long (held).
    local chord_files=() bass_files=() i=0 chord
    for chord in $chords; do
        local notes=() tones=() n count
        IFS=':' read -r -a notes <<<"$chord"
        for n in "${notes[@]}"; do
            if [[ $comp == pluck ]]; then
                tones+=(pluck "%$(semitones "$n")")
            else
                tones+=("$comp" "%$(semitones "$n")")
            fi
        done
        count=${#notes[@]}
        if [[ $comp == pluck ]]; then
            sox -q -r "$rate" -c "$count" -n -c 1 "chord$i.wav" synth "$beat" "${tones[@]}" \
                remix - gain -n -8
            chord_files+=("chord$i.wav" "chord$i.wav" "chord$i.wav" "chord$i.wav")
        else
            sox -q -r "$rate" -c "$count" -n -c 1 "chord$i.wav" synth "$bar" "${tones[@]}" \
                remix - gain -12 lowpass 1800 fade q 0.25 "$bar" 0.6 gain -n -11
            chord_files+=("chord$i.wav")
        fi
        # Bass: the chord's root an octave down, twice a bar.
        synth "bass$i.wav" synth "$(calc "$beat * 2")" sine "%$(($(semitones "${notes[0]}") - 12))" \
            fade q 0.01 "$(calc "$beat * 2")" "$(calc "$beat * 1.2")" gain -n -9
        bass_files+=("bass$i.wav" "bass$i.wav")
        i=$((i + 1))
    done
    local chord_track=() bass_track=() c
    for ((c = 0; c < cycles; c++)); do
        chord_track+=("${chord_files[@]}")
        bass_track+=("${bass_files[@]}")
    done
    sox -q "${chord_track[@]}" chords.wav
    sox -q "${bass_track[@]}" bass.wav

    # Drums: eighth-note slots from a kick (falling sine), a snare and a hat (noise bursts).
    synth kick.wav synth 0.16 sine 130:45 fade q 0.002 0.16 0.13 gain -n -4 pad 0 "$(calc "$eighth - 0.16")"
    synth snare.wav synth 0.14 whitenoise gain -12 bandpass 1900 1.2q fade q 0.001 0.14 0.12 gain -n -9 \
        pad 0 "$(calc "$eighth - 0.14")"
    synth hat.wav synth 0.045 whitenoise gain -12 highpass 7500 fade q 0.001 0.045 0.04 gain -n -15 \
        pad 0 "$(calc "$eighth - 0.045")"
    synth rest.wav trim 0 "$eighth"
    sox -q -m kick.wav hat.wav kh.wav
    sox -q -m snare.wav hat.wav sh.wav
    local pattern
    case $drums in
    rock) pattern="kh hat sh hat kh kh sh hat" ;;
    soft) pattern="kick hat rest hat snare hat rest hat" ;;
    *) pattern="kh hat sh kh rest kh sh hat" ;;
    esac
    local drum_track=() b slot
    # The drums come in after the first bar.
    for ((b = 1; b < cycles * 4; b++)); do
        for slot in $pattern; do
            drum_track+=("$slot.wav")
        done
    done
    sox -q "${drum_track[@]}" drums.wav pad "$bar"

    # Melody: one file per distinct note and length, played from the second pass on.
    local melody_files=() token note beats file
    for token in $melody; do
        note=${token%%:*}
        beats=${token##*:}
        file="n_${note//#/s}_$beats.wav"
        if [[ ! -e $file ]]; then
            local len
            len=$(calc "$beat * $beats")
            if [[ $note == r ]]; then
                synth "$file" trim 0 "$len"
            elif [[ $lead == pluck ]]; then
                synth "$file" synth "$len" pluck "%$(semitones "$note")" gain -n -5
            else
                synth "$file" synth "$len" "$lead" "%$(semitones "$note")" gain -12 lowpass 3000 \
                    fade q 0.015 "$len" "$(calc "$len * 0.35")" gain -n -10
            fi
        fi
        melody_files+=("$file")
    done
    local melody_track=()
    for ((c = 1; c < cycles; c++)); do
        melody_track+=("${melody_files[@]}")
    done
    sox -q "${melody_track[@]}" melody.wav pad "$(calc "$bar * 4")"

    # Quiet enough going in that neither the sum nor the reverb clips; normalised at the end.
    sox -q -m -v 0.3 chords.wav -v 0.35 bass.wav -v 0.3 drums.wav -v 0.35 melody.wav -c 2 mix.wav \
        fade t 0.4 0 3 reverb 25 50 60 gain -n -1.5
    local out
    out=$(song_path "$song")
    lame --quiet -q 7 -b 128 --id3v2-only --ta "$artist" --tt "$title" --tl "Corvalin Radio" \
        mix.wav song.mp3
    # Never replace a file that appeared meanwhile.
    mv -n song.mp3 "$out"
}

pids=()
for i in "${missing[@]}"; do
    make_song "${songs[$i]}" "$work/song$i" &
    pids+=($!)
    # Two at a time: the build machine may have two cores.
    if ((${#pids[@]} >= 2)); then
        wait "${pids[0]}"
        pids=("${pids[@]:1}")
    fi
done
for pid in "${pids[@]}"; do
    wait "$pid"
done

# Lists name the songs relative to the station folder, so the folder can move; not yet played
# ("F"), lines ended by CR LF.
for list in "${!list_songs[@]}"; do
    target="$lists_dir/$list.lst"
    [[ -e $target ]] && continue
    tmp="$work/$list.lst"
    : >"$tmp"
    for i in ${list_songs[$list]}; do
        title=${songs[$i]%%|*}
        printf 'FMP3 Files/%s - %s.mp3\r\n' "$artist" "$title" >>"$tmp"
    done
    mv -n "$tmp" "$target"
done
