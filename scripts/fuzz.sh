#!/usr/bin/env bash
# Builds the fuzz targets (CMake preset `fuzz`: clang, libFuzzer, ASan + UBSan) and runs each
# in turn, one process at a time, for FUZZ_SECONDS seconds on its seed corpus.
#
# Usage: scripts/fuzz.sh [TARGET...]   (default: aiff_reader wave_reader bwf_reader info)
# Environment:
#   FUZZ_SECONDS     run time per target (default 60)
#   FUZZ_MALLOC_MB   largest single allocation allowed before it counts as a finding (256)
#   FUZZ_KEEP_GOING  1: go on after a finding (one forked worker) instead of stopping
#   FUZZ_JOBS        build jobs (default 2)
# What a run grows goes to build/fuzz/corpus/<target>/ (the seeds in tests/fuzz/corpus stay
# as they are); findings to build/fuzz/findings/<target>/, logs to build/fuzz/logs/.
# Exit status 1 when any target found something.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${FUZZ_SECONDS:-60}"
malloc_mb="${FUZZ_MALLOC_MB:-256}"
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(aiff_reader wave_reader bwf_reader info)

scripts/install-deps.sh fuzz
[ -f build/fuzz/build.ninja ] || cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "${FUZZ_JOBS:-2}" $(printf -- '--target fuzz_%s ' "${targets[@]}")

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
mkdir -p build/fuzz/logs
found=0
for target in "${targets[@]}"; do
  corpus="build/fuzz/corpus/$target"
  findings="build/fuzz/findings/$target"
  log="build/fuzz/logs/$target.log"
  mkdir -p "$corpus" "$findings"
  options=(-max_total_time="$seconds" -rss_limit_mb=2048 -malloc_limit_mb="$malloc_mb"
           -timeout=10 -max_len=8192 -dict=tests/fuzz/sound.dict -print_final_stats=1
           -artifact_prefix="$findings/")
  if [ "${FUZZ_KEEP_GOING:-0}" = 1 ]; then
    options+=(-fork=1 -ignore_crashes=1 -ignore_ooms=1 -ignore_timeouts=1)
  fi
  start=$(date +%s)
  status=0
  "build/fuzz/tests/fuzz/fuzz_$target" "${options[@]}" "$corpus" "tests/fuzz/corpus/$target" \
    >"$log" 2>&1 || status=$?
  elapsed=$(( $(date +%s) - start ))
  if [ "${FUZZ_KEEP_GOING:-0}" = 1 ]; then # the forking driver counts on its progress lines
    runs=$(grep -oE '^#[0-9]+' "$log" | tail -1 | tr -d '#')
  else
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -1)
  fi
  artifacts=$(find "$findings" -type f | wc -l)
  printf '%-12s %10s executions in %4d s, corpus %5d inputs, %d finding(s) in %s\n' \
    "$target" "${runs:-?}" "$elapsed" "$(find "$corpus" -type f | wc -l)" "$artifacts" "$findings"
  if [ "$status" -ne 0 ] || [ "$artifacts" -gt 0 ]; then
    found=1
    grep -m1 -E 'ERROR: (AddressSanitizer|libFuzzer)|runtime error|fuzz invariant' "$log" || true
  fi
done
exit "$found"
