#!/usr/bin/env bash
# Installs every Debian 12 package the station needs to build, run and test.
set -euo pipefail
packages=(
    build-essential cmake ninja-build pkg-config clang clang-format libclang-rt-14-dev lld
    qt6-base-dev libgl-dev qt6-httpserver-dev
    libavformat-dev libavcodec-dev libswresample-dev libavutil-dev ffmpeg
    portaudio19-dev libebur128-dev libsystemd-dev
    libespeak-ng-dev espeak-ng flite1-dev
    libcurl4-openssl-dev icecast2
    dbus-daemon dbus-bin playerctl
    libgtest-dev libgmock-dev chromium curl
    python3 sox libsox-fmt-mp3 lame python3-mutagen libtag1-dev
    xvfb xauth x11-utils xdg-utils imagemagick fonts-liberation time
)
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi
