#!/usr/bin/env bash
# Builds the release and the AddressSanitizer + UndefinedBehaviorSanitizer trees and runs every
# test in both.
set -euo pipefail
cd "$(dirname "$0")/.."
for preset in release asan; do
    echo "=== ${preset}: configure and build"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
    echo "=== ${preset}: tests"
    ctest --preset "$preset"
done
