#!/usr/bin/env bash
# Builds, then runs the main job: the headless exporter on the bundled sample
# logs, gathered into one table and written as CSV.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
out=${1:-build/samples.csv}
./build/brevadin-export --no-dns -o "$out" samples/ex030501.log
echo "wrote $out"
