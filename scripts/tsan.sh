#!/usr/bin/env bash
# Builds the threaded parts (serial port, engine, the operator window's behaviour, kvx-flash,
# kvx-sim) under ThreadSanitizer and runs their test programs; the first race reported stops the
# run with a failure. The fault matrix is left out: its rows run kvx-flash as separate processes
# and mostly wait on the engine's response timers, while the threads they exercise are the ones
# the in-process end-to-end tests already run.
set -euo pipefail
cd "$(dirname "$0")/.."

suites=(serial_tests engine_tests operator_tests e2e_tests cli_tests sim_tests)

cmake --preset tsan
cmake --build --preset tsan --target "${suites[@]}" kvx-sim kvx-flash

export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 ${TSAN_OPTIONS:-}"
status=0
for suite in "${suites[@]}"; do
  program=$(find build-tsan/tests -type f -name "$suite" -perm -u+x | head -n 1)
  echo "== $suite"
  filter=()
  [ "$suite" = e2e_tests ] && filter=(--gtest_filter=-Faults/*)
  "$program" --gtest_brief=1 "${filter[@]}" || status=1
done
exit $status
