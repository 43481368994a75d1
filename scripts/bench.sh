#!/usr/bin/env bash
# Builds in release mode into build-bench/ and runs every benchmark; each
# prints its figures next to its target. Large inputs are generated once into
# build-bench/data/ with the project's log generator.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-bench -j"$(nproc)"
export BREVADIN_BENCH_DATA="$PWD/build-bench/data"
mkdir -p "$BREVADIN_BENCH_DATA"
status=0
for b in build-bench/bench/bench_*; do
  [[ -f $b && -x $b ]] || continue
  echo "== $(basename "$b")"
  QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} "$b" || status=1
done
exit $status
