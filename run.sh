#!/usr/bin/env bash
# Installs what is missing, builds and starts Tidewell (arguments are passed on, e.g. /startup).
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
scripts/build.sh
exec build/src/tidewell "$@"
