#!/usr/bin/env bash
# The main job, end to end: installs the dependencies, builds, makes a sample firmware archive,
# starts the simulated KVX-01 terminal on a pseudo-terminal and upgrades it with kvx-flash, at the
# real speed of a 460800-baud line. Then checks that the terminal received the image's bytes.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
cmake --preset default
# Only the programs the demo runs: the tests and the Qt window are for ./scripts/test.sh.
cmake --build --preset default --target kvx-mkimage kvx-sim kvx-flash

bin=build
work=$(mktemp -d "${TMPDIR:-/tmp}/kvx-demo.XXXXXX")
sim_pid=""
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

echo "== Making a 2 MiB sample image and its archive"
"$bin/tools/mkimage/kvx-mkimage" image "$work/KVX_1_demo.bin" --size 2M
"$bin/tools/mkimage/kvx-mkimage" archive "$work/demo.stf" "KVX_1_demo.bin=$work/KVX_1_demo.bin"
"$bin/src/cli/kvx-flash" --info "$work/demo.stf"

echo "== Starting the simulated terminal"
"$bin/tools/sim/kvx-sim" --link "$work/ttyKVX0" --ready-file "$work/ready" --line-rate \
  --output "$work/received.bin" --once >"$work/sim.out" 2>&1 &
sim_pid=$!
for _ in $(seq 1 200); do [ -f "$work/ready" ] && break; sleep 0.05; done
[ -f "$work/ready" ] || { echo "kvx-sim did not start:"; cat "$work/sim.out"; exit 1; }
export KVX_SERIAL_PORTS="$work/ttyKVX0"

echo "== Upgrading it"
"$bin/src/cli/kvx-flash" --port "$work/ttyKVX0" --yes "$work/demo.stf"
wait "$sim_pid" || true
sim_pid=""
grep -E '^summary' "$work/sim.out" || true

# A main upgrade sends the image after its 256 KiB boot region.
if tail -c +262145 "$work/KVX_1_demo.bin" | cmp -s - "$work/received.bin"; then
  echo "== The terminal holds exactly the image's bytes. Upgrade verified."
else
  echo "== The terminal's data differs from the image!"
  exit 1
fi
