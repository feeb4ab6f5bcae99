#!/usr/bin/env bash
# One whole upgrade with no line pacing: kvx-flash upgrades kvx-sim (no --line-rate) with a sample
# image of the given size. Reports kvx-flash's peak resident memory, the time from Start to the
# first link test, and the download phase's throughput in frames and image bytes per second (each
# frame built and compressed by the host, inflated and checked by the simulator, answered and
# checked by the host).
#
# Usage: bench/upgrade_unpaced.sh [BUILD_DIR] [IMAGE_SIZE]
#   defaults: build 54M (the largest image accepted)
set -euo pipefail
build=${1:-build}
size=${2:-54M}

work=$(mktemp -d "${TMPDIR:-/tmp}/kvx-bench.XXXXXX")
trap 'kill $sim 2>/dev/null || true; [ -n "${KVX_BENCH_KEEP:-}" ] || rm -rf "$work"' EXIT

"$build/tools/mkimage/kvx-mkimage" image "$work/KVX_1.bin" --size "$size" >/dev/null
"$build/tools/sim/kvx-sim" --link "$work/tty" --ready-file "$work/ready" --once \
  >"$work/sim.out" 2>&1 &
sim=$!
for _ in $(seq 1 200); do [ -f "$work/ready" ] && break; sleep 0.05; done
KVX_SERIAL_PORTS="$work/tty" /usr/bin/time -f "%M %e" -o "$work/time.txt" \
  "$build/src/cli/kvx-flash" --port "$work/tty" --yes --trace="$work/trace.txt" \
  "$work/KVX_1.bin" 2>/dev/null
wait $sim || true

python3 - "$work/trace.txt" "$work/time.txt" "$(stat -c %s "$work/KVX_1.bin")" <<'PY'
import re, sys, datetime
lines = open(sys.argv[1], encoding="utf-8", errors="replace").read().splitlines()
peak_kib, elapsed = open(sys.argv[2]).read().split()[:2]
image = int(sys.argv[3])
stamp = re.compile(r"^\[(\d{4}/\d\d/\d\d \d\d:\d\d:\d\d\.\d{3})\]")
def when(line):
    return datetime.datetime.strptime(stamp.match(line).group(1), "%Y/%m/%d %H:%M:%S.%f")
start = link = setup = end = None
writes = 0
for line in lines:
    if start is None and "] file path : " in line:
        start = when(line)
    elif link is None and "]T: AT+CEXT=1" in line:
        link = when(line)
    elif "]T: cmd['S'" in line and setup is None:
        setup = when(line)
    elif "]T: cmd['W'" in line:
        writes += 1
    elif "Finish response received" in line:
        end = when(line)
peak_mib = int(peak_kib) / 1024
image_mib = image / 2**20
phase = (end - start if setup is None else end - setup).total_seconds()
sent = image - 0x40000  # a main upgrade sends the image after its boot region
print(f"image {image_mib:.1f} MiB; kvx-flash peak resident {peak_mib:.1f} MiB "
      f"(goal below {1.3 * image_mib + 30:.1f} MiB); whole run {float(elapsed):.2f} s")
print(f"Start to first link test {(link - start).total_seconds() * 1000:.0f} ms")
print(f"download phase {phase:.3f} s: {writes} write frames, {writes / phase:.0f} frames/s, "
      f"{sent / 2**20 / phase:.1f} MiB/s of image")
PY
