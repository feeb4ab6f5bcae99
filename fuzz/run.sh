#!/usr/bin/env bash
# Builds the fuzz targets (the "fuzz" preset, clang 14) and runs each for SECONDS (default 600) on a
# working copy of its seed corpus. New inputs stay in build-fuzz/corpus/<target>; an input that
# fails is written to build-fuzz/findings/ and the script exits non-zero after the last target.
#   fuzz/run.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-600}
targets=(rx_ring_fuzz frame_fuzz version_fuzz image_scan_fuzz staging_fuzz config_fuzz)

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1 ${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1 ${UBSAN_OPTIONS:-}"
mkdir -p build-fuzz/findings
failed=()
for target in "${targets[@]}"; do
  program=build-fuzz/fuzz/$target
  work=build-fuzz/corpus/$target
  mkdir -p "$work"
  echo "== $target: ${seconds}s"
  if ! "$program" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
      -artifact_prefix="build-fuzz/findings/$target-" "$work" "fuzz/corpus/$target" \
      >"build-fuzz/$target.log" 2>&1; then
    failed+=("$target")
    tail -n 40 "build-fuzz/$target.log"
  fi
  grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb)|^#[0-9]+.*DONE' \
    "build-fuzz/$target.log" || true
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz findings in: ${failed[*]} (inputs in build-fuzz/findings/)" >&2
  exit 1
fi
echo "fuzz: no findings"
