#!/usr/bin/env bash
# Builds the release and the AddressSanitizer + UndefinedBehaviorSanitizer trees and runs every
# test in both.
#
# The sanitizer tree is built while the release tests run, at idle priority (SCHED_IDLE): most of
# those tests wait on a station playing in real time and leave the processors idle, and at idle
# priority the compiler takes only that idle time, never a processor a test wants.
set -euo pipefail
cd "$(dirname "$0")/.."

echo "=== release: configure and build"
cmake --preset release >/dev/null
cmake --build --preset release

echo "=== asan: configure, then build in the background at idle priority"
cmake --preset asan >/dev/null
asan_log=build/asan/build.log
chrt --idle 0 cmake --build --preset asan >"$asan_log" 2>&1 &
asan_build=$!
# An interrupted run takes its background build with it.
trap 'kill "$asan_build" 2>/dev/null || true' EXIT

echo "=== release: tests"
release_status=0
ctest --preset release || release_status=$?

echo "=== asan: build (waiting for it to finish)"
asan_status=0
wait "$asan_build" || asan_status=$?
trap - EXIT
cat "$asan_log"
if [ "$asan_status" -ne 0 ]; then
    echo "=== asan: the build failed" >&2
    exit "$asan_status"
fi

echo "=== asan: tests"
ctest --preset asan
if [ "$release_status" -ne 0 ]; then
    echo "=== release: tests failed (see above)" >&2
    exit "$release_status"
fi
