#!/usr/bin/env bash
# Builds, then starts the viewer on the bundled sample logs (or on the folder
# given as the first argument).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
exec ./build/brevadin "${1:-samples}"
