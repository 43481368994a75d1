#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer, UndefinedBehavior-
# Sanitizer) in build-fuzz/ and runs each for a while, two at a time.
#
#   scripts/fuzz.sh [--time SECONDS] [--jobs N] [TARGET...]
#
# TARGET is logreader, linesplit, filter, xmlreader, inifile or iso2022jp
# (default: all).
# Each run starts from the committed seeds and regression inputs, from logs
# that brevadin-genlog writes, from the sample tables in tests/data/ and from what earlier runs
# on this machine found (fuzz-out/corpus/, kept between runs). An input that
# breaks a target lands in fuzz-out/crashes/TARGET/; add it to
# tests/fuzz/regressions/TARGET/ once it is fixed, so the normal test suite
# replays it for good. Ends with a table of executions per target and fails
# when any target found something.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

seconds=60
jobs=2
targets=()
while [[ $# -gt 0 ]]; do
  case $1 in
    --time) seconds=$2; shift 2 ;;
    --jobs) jobs=$2; shift 2 ;;
    -h|--help) sed -n '2,15p' "$0"; exit 0 ;;
    *) targets+=("$1"); shift ;;
  esac
done
all=(logreader linesplit filter xmlreader inifile iso2022jp)
[[ ${#targets[@]} -gt 0 ]] || targets=("${all[@]}")
for t in "${targets[@]}"; do
  [[ " ${all[*]} " == *" $t "* ]] || { echo "fuzz.sh: no target '$t' (${all[*]})" >&2; exit 2; }
done

# libFuzzer and the sanitizer runtimes come with Debian's clang.
need=()
for p in clang-14 libclang-rt-14-dev; do
  [[ $(dpkg-query -W -f='${Status}' "$p" 2>/dev/null) == 'install ok installed' ]] || need+=("$p")
done
if [[ ${#need[@]} -gt 0 ]]; then
  echo "== installing ${need[*]}"
  sudo=(); [[ $(id -u) == 0 ]] || sudo=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update -qq
  "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

echo "== build-fuzz/ (clang, libFuzzer)"
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++-14 -DBREVADIN_FUZZ=ON -DBREVADIN_GUI=OFF >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target "${targets[@]/#/fuzz_}" brevadin-genlog

out=$root/fuzz-out
genlog=$root/build-fuzz/brevadin-genlog
fixtures=$root/tests/data

# Seeds made on the spot: the log reader's input is a control byte (its two
# low bits pick IIS, NCSA or W3C) followed by the file.
generated=$out/generated
rm -rf "$generated"
mkdir -p "$generated"/{logreader,xmlreader}
n=0
for spec in "80 iis --iis-params" "81 ncsa" "91 combined" "82 w3c --restarts 2 --fields-change" \
            "8a w3c --ipv6 --crlf"; do
  read -r byte format extra <<<"$spec"
  for seed in 11 12; do
    f=$generated/logreader/genlog-$n
    printf "\\x$byte" >"$f"
    # shellcheck disable=SC2086
    "$genlog" --format "$format" --lines 60 --seed "$seed" $extra >>"$f"
    n=$((n + 1))
  done
done
for sample in samples/*.log; do
  [[ -f $sample ]] || continue
  { printf '\x82'; head -c 12000 "$sample"; } >"$generated/logreader/sample-$(basename "$sample")"
done
cp "$fixtures"/*.xml "$generated/xmlreader/"

max_len() {
  case $1 in logreader|xmlreader) echo 16384 ;; *) echo 4096 ;; esac
}

run_one() {
  local t=$1
  local corpus=$out/corpus/$t crashes=$out/crashes/$t log=$out/logs/$t.log
  mkdir -p "$corpus" "$crashes" "$out/logs"
  # libFuzzer gives up on a folder that is not there, and git keeps no empty one.
  local sources=()
  for d in "$root/tests/fuzz/seeds/$t" "$root/tests/fuzz/regressions/$t" "$generated/$t"; do
    [[ -d $d ]] && sources+=("$d")
  done
  local dict=()
  [[ -f $root/tests/fuzz/dict/$t.dict ]] && dict=(-dict="$root/tests/fuzz/dict/$t.dict")
  # The scratch files go to a folder of this run's own in memory: the targets
  # rewrite them for every input, and saves flush them to disk. A target that
  # uses a lot of memory or hangs on one input counts as a finding.
  local scratch
  local shm=/dev/shm
  [[ -w $shm ]] || shm=${TMPDIR:-/tmp}
  scratch=$(mktemp -d "$shm/brevadin-fuzz-$t.XXXXXX")
  set +e
  FUZZ_SCRATCH_DIR=$scratch \
  ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$root/build-fuzz/tests/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=25 \
      -rss_limit_mb=2560 -max_len="$(max_len "$t")" -print_final_stats=1 \
      -artifact_prefix="$crashes/" "${dict[@]}" "$corpus" "${sources[@]}" >"$log" 2>&1
  local rc=$?
  set -e
  rm -rf "$scratch"
  echo "$rc" >"$out/logs/$t.rc"
}

echo "== fuzzing ${targets[*]}, $seconds s each, $jobs at a time"
running=0
for t in "${targets[@]}"; do
  run_one "$t" &
  running=$((running + 1))
  if [[ $running -ge $jobs ]]; then wait -n || true; running=$((running - 1)); fi
done
wait || true

failed=0
printf '%-10s %10s %14s %10s %8s  %s\n' target seconds executions "exec/s" corpus result
for t in "${targets[@]}"; do
  log=$out/logs/$t.log
  rc=$(cat "$out/logs/$t.rc" 2>/dev/null || echo 99)
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  size=$(find "$out/corpus/$t" -type f | wc -l)
  result=ok
  if [[ $rc != 0 ]]; then
    result="FOUND (exit $rc): $(ls -t "$out/crashes/$t" 2>/dev/null | head -1)"
    failed=1
  fi
  printf '%-10s %10s %14s %10s %8s  %s\n' "$t" "$seconds" "${execs:-?}" "${rate:-?}" "$size" "$result"
done
if [[ $failed != 0 ]]; then
  for t in "${targets[@]}"; do
    [[ $(cat "$out/logs/$t.rc" 2>/dev/null) == 0 ]] && continue
    echo "---- $t: the end of fuzz-out/logs/$t.log"
    grep -v '^#[0-9]' "$out/logs/$t.log" | tail -40
  done
  echo "fuzz.sh: a target found a fault; the input is in fuzz-out/crashes/"
  exit 1
fi
echo "fuzz.sh: nothing found"
