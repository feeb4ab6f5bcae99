#!/usr/bin/env bash
# Standard against maximum compression on a paced line: upgrades kvx-sim (--line-rate) twice with
# the same sample image whose payload is real machine code (a shared library's bytes), once with
# kvx-flash's default level and once with --compression=max, and reports for each the bytes on the
# line, the download phase and whether the host ever delayed a frame.
#
# Usage: bench/compression.sh [BUILD_DIR] [IMAGE_SIZE] [PAYLOAD_FILE]
#   defaults: build 16M /usr/lib/x86_64-linux-gnu/libstdc++.so.6 (package libstdc++6)
#
# Bytes on the line are the write frames' bodies as the simulator logged them (resends included),
# and every byte of every frame of the download phase, heads included, from the host's trace.
# The download phase runs from the setup frame to the finish response; its line time is those
# bytes at 10 bits a byte at 460800, the speed of download mode. The host's turnaround for a write
# frame is the time from the response before it arriving to the frame going out (trace lines,
# millisecond stamps). The first write frame is compressed when the setup response arrives, so
# its turnaround is one segment's compression; every later frame is compressed while the one
# before it is on the line, and counts as delayed when its turnaround exceeds 5 ms.
set -euo pipefail
build=${1:-build}
size=${2:-16M}
payload=${3:-/usr/lib/x86_64-linux-gnu/libstdc++.so.6}

work=$(mktemp -d "${TMPDIR:-/tmp}/kvx-bench.XXXXXX")
sim=
trap 'kill $sim 2>/dev/null || true; [ -n "${KVX_BENCH_KEEP:-}" ] || rm -rf "$work"' EXIT

"$build/tools/mkimage/kvx-mkimage" image "$work/KVX_1.bin" --size "$size" \
  --payload-from "$payload" >/dev/null

# upgrade NAME [KVX-FLASH OPTIONS]: one paced upgrade, leaving NAME.log (the simulator's log),
# NAME.out (its output) and NAME.trace (the host's trace) in the work folder.
upgrade() {
  local name=$1
  shift
  rm -f "$work/ready"
  "$build/tools/sim/kvx-sim" --link "$work/tty" --ready-file "$work/ready" --line-rate --once \
    --log "$work/$name.log" >"$work/$name.out" 2>&1 &
  sim=$!
  for _ in $(seq 1 200); do [ -f "$work/ready" ] && break; sleep 0.05; done
  KVX_SERIAL_PORTS="$work/tty" "$build/src/cli/kvx-flash" --port "$work/tty" --yes "$@" \
    --trace="$work/$name.trace" "$work/KVX_1.bin" 2>/dev/null
  wait $sim || true
  sim=
}

upgrade standard
upgrade max --compression=max

python3 - "$work" "$payload" <<'PY'
import datetime, re, sys, zlib
work, payload = sys.argv[1], sys.argv[2]
BAUD = 460800
BOOT_REGION = 0x40000
DELAY_MS = 5
image = open(f"{work}/KVX_1.bin", "rb").read()
sent_crc = zlib.crc32(image[BOOT_REGION:])
stamp = re.compile(r"^\[(\d{4}/\d\d/\d\d \d\d:\d\d:\d\d\.\d{3})\]")
head = re.compile(r"\](T|R): cmd\['(.)'.*?,Body=(\d+)")

def when(line):
    return datetime.datetime.strptime(stamp.match(line).group(1), "%Y/%m/%d %H:%M:%S.%f")

def from_sim_log(name):
    bodies = frames = resends = 0
    crc = None
    for line in open(f"{work}/{name}.log", encoding="utf-8", errors="replace"):
        frame = re.match(r"frame W seg=\d+ body=(\d+) raw=\d+ (resend )?", line)
        if frame:
            bodies += int(frame.group(1))
            frames += 1
            resends += frame.group(2) is not None
        summary = re.search(r"^summary result=complete .* crc32=(0x[0-9A-Fa-f]+)", line)
        if summary:
            crc = int(summary.group(1), 16)
    return bodies, frames, resends, crc

def from_trace(name):
    start = end = last_response = None
    line_bytes = 0
    turnarounds = []
    for line in open(f"{work}/{name}.trace", encoding="utf-8", errors="replace"):
        frame = head.search(line)
        if frame:
            direction, cmd, body = frame.group(1), frame.group(2), int(frame.group(3))
            if start is None and direction == "T" and cmd == "S":
                start = when(line)
            if start is not None:
                line_bytes += 20 + body
            if direction == "R":
                last_response = when(line)
            elif cmd == "W" and last_response is not None:
                turnarounds.append((when(line) - last_response).total_seconds() * 1000)
                last_response = None
        if "Finish response received" in line:
            end = when(line)
    return (end - start).total_seconds(), line_bytes, turnarounds

results = {}
for name in ("standard", "max"):
    bodies, frames, resends, crc = from_sim_log(name)
    phase, line_bytes, turnarounds = from_trace(name)
    if crc != sent_crc:
        sys.exit(f"{name}: the terminal did not receive the image (crc32 {crc} != {sent_crc:#x})")
    ahead = turnarounds[1:]
    results[name] = bodies
    print(f"{name}: write frame bodies {bodies:,} bytes ({frames} frames, {resends} resends); "
          f"all frames of the phase {line_bytes:,} bytes")
    print(f"  download phase {phase:.3f} s, line time {line_bytes * 10 / BAUD:.3f} s, "
          f"ratio {phase / (line_bytes * 10 / BAUD):.4f}")
    print(f"  host turnaround: first write frame {turnarounds[0]:.0f} ms; frames built ahead "
          f"max {max(ahead):.0f} ms, mean {sum(ahead) / len(ahead):.2f} ms; "
          f"delayed (over {DELAY_MS} ms): {sum(t > DELAY_MS for t in ahead)}")
saving = 1 - results["max"] / results["standard"]
print(f"payload {payload}; image {len(image):,} bytes, received whole both times "
      f"(crc32 {sent_crc:#010x})")
print(f"--compression=max puts {saving * 100:.2f} % fewer write-frame bytes on the line")
PY
