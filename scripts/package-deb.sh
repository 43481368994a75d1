#!/usr/bin/env bash
# Builds the Debian package of the viewer and the exporter into build-deb/
# (brevadin_VERSION_ARCH.deb). Release build of the two programs only; the
# tests are neither built nor run here.
set -euo pipefail
cd "$(dirname "$0")/.."
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B build-deb -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON "${launcher[@]}" "$@" >/dev/null
targets=(brevadin-export)
grep -q '^BREVADIN_GUI:BOOL=OFF' build-deb/CMakeCache.txt || targets+=(brevadin)
cmake --build build-deb -j"${BREVADIN_JOBS:-2}" --target "${targets[@]}"
(cd build-deb && cpack -G DEB)
ls -l build-deb/*.deb
