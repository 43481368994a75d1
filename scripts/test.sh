#!/usr/bin/env bash
# Installs what is missing, checks the formatting, builds everything (warnings
# are errors) and runs every test: the normal build, then the whole suite again under
# AddressSanitizer and UndefinedBehaviorSanitizer, then each fuzz target for a
# short while so that regressions show. Ends with a summary of the stages.
#   BREVADIN_FUZZ_SECONDS=N   time per fuzz target (default 30)
set -euo pipefail
cd "$(dirname "$0")/.."
# The end-to-end test runs the viewer in a real X server (Xvfb) and looks at it.
bash scripts/install-deps.sh --gui

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

echo "== formatting (clang-format --dry-run -Werror)"
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror
echo "== layers (no include runs up from a folder to one above it)"
python3 scripts/check_layers.py

echo "== build/ (warnings are errors)"
bash scripts/build.sh -DBREVADIN_WERROR=ON
(cd build && ctest --output-on-failure -j"$jobs" --timeout 300)

echo "== build-asan/ (AddressSanitizer, UndefinedBehaviorSanitizer)"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DBREVADIN_WERROR=ON -DBREVADIN_SANITIZE=ON >/dev/null
cmake --build build-asan -j"$jobs"
# Leaks count as failures; a sanitizer report stops the test that raised it.
export ASAN_OPTIONS=detect_leaks=1:detect_stack_use_after_return=1
export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd build-asan && ctest --output-on-failure -j"$jobs" --timeout 600)
unset ASAN_OPTIONS UBSAN_OPTIONS LSAN_OPTIONS

if [[ -f scripts/fuzz.sh ]]; then
  echo "== fuzz targets, ${BREVADIN_FUZZ_SECONDS:-30} s each"
  bash scripts/fuzz.sh --time "${BREVADIN_FUZZ_SECONDS:-30}"
fi
echo "test.sh: every stage passed"
