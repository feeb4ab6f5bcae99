#!/usr/bin/env bash
# Download phase against the line's own time: upgrades kvx-sim (paced with --line-rate) with a
# sample image and compares the time from the setup frame to the finish response with the time
# the line needs for every byte of every frame exchanged in that phase.
#
# Usage: bench/download_line_rate.sh [BUILD_DIR] [IMAGE_SIZE] [BAUD]
#   defaults: build 16M 460800. BAUD is the speed the terminal answers at before download mode
#   (kvx-sim --baud); the download itself always runs at 460800, the only speed of download mode.
set -euo pipefail
build=${1:-build}
size=${2:-16M}
baud=${3:-460800}

work=$(mktemp -d "${TMPDIR:-/tmp}/kvx-bench.XXXXXX")
trap 'kill $sim 2>/dev/null || true; [ -n "${KVX_BENCH_KEEP:-}" ] || rm -rf "$work"' EXIT

"$build/tools/mkimage/kvx-mkimage" image "$work/KVX_1.bin" --size "$size" >/dev/null
"$build/tools/sim/kvx-sim" --link "$work/tty" --ready-file "$work/ready" --line-rate --once \
  --baud "$baud" --log "$work/sim.log" >"$work/sim.out" 2>&1 &
sim=$!
for _ in $(seq 1 200); do [ -f "$work/ready" ] && break; sleep 0.05; done
KVX_SERIAL_PORTS="$work/tty" "$build/src/cli/kvx-flash" --port "$work/tty" --yes \
  --trace="$work/trace.txt" "$work/KVX_1.bin" 2>/dev/null
wait $sim || true

python3 - "$work/trace.txt" 460800 <<'PY'
import re, sys, datetime
lines = open(sys.argv[1], encoding="utf-8", errors="replace").read().splitlines()
baud = int(sys.argv[2])
stamp = re.compile(r"^\[(\d{4}/\d\d/\d\d \d\d:\d\d:\d\d\.\d{3})\]")
def when(line):
    return datetime.datetime.strptime(stamp.match(line).group(1), "%Y/%m/%d %H:%M:%S.%f")
start = end = None
sent = received = 0
for line in lines:
    head = re.search(r"cmd\['(.)'.*?,Body=(\d+)", line)
    if head and "]T: " in line:
        if start is None and head.group(1) == "S":
            start = when(line)
        sent += 20 + int(head.group(2))
    elif head and "]R: " in line:
        received += 20 + int(head.group(2))
    if "Finish response received" in line:
        end = when(line)
phase = (end - start).total_seconds()
# The line carries 10 bits a byte (8N1); a request and its answer do not overlap.
line_time = (sent + received) * 10 / baud
print(f"bytes sent {sent}, received {received} (frames included)")
print(f"download phase {phase:.3f} s, line time {line_time:.3f} s, ratio {phase / line_time:.4f}")
PY
