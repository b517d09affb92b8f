#!/usr/bin/env bash
# Configures and builds Tidewell into ./build; arguments go to the build step
# (e.g. --target tidewell).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)" "$@"
