#!/usr/bin/env bash
# Configures and builds everything into build/ (binaries land at build/brevadin*).
# Extra arguments go to cmake's configure step, e.g. -DBREVADIN_WERROR=ON.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build build -j"$(nproc)"
