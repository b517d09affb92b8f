#!/usr/bin/env bash
# Installs what is missing, builds and starts Tidewell (arguments are passed on, e.g. /startup).
# Tidewell keeps its tasks, marker and log in build/data unless TIDEWELL_HOME says otherwise.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
scripts/build.sh --target tidewell # the tests and benchmarks are not needed to start it
export TIDEWELL_HOME="${TIDEWELL_HOME:-$PWD/build/data}"
mkdir -p "$TIDEWELL_HOME"
exec build/src/tidewell "$@"
