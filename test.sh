#!/usr/bin/env bash
# Installs what is missing, builds, runs every test (one of them builds the Debian package and
# checks it unpacked), then every benchmark once in a short mode.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
scripts/build.sh
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure
for bench in build/bench/bench_*; do
    [[ -f $bench && -x $bench ]] || continue
    echo "== $(basename "$bench")"
    TIDEWELL_BENCH_SHORT=1 "$bench" --benchmark_min_time=0.01
done
