#!/usr/bin/env bash
# Installs what is missing, builds everything (warnings are errors) and runs
# every test; ends with ctest's summary.
set -euo pipefail
cd "$(dirname "$0")/.."
# The end-to-end test runs the viewer in a real X server (Xvfb) and looks at it.
bash scripts/install-deps.sh --gui
bash scripts/build.sh -DBREVADIN_WERROR=ON
cd build
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)" --timeout 300
