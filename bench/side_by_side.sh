#!/usr/bin/env bash
# Terminals side by side: kvx-flash upgrades N kvx-sim terminals at once (one engine per port in
# one process), each paced to the line's real speed (--line-rate), and the same image on one
# terminal alone. Prints both wall times, their ratio, and kvx-flash's CPU time and peak memory
# per terminal.
#
# Usage: bench/side_by_side.sh [BUILD_DIR] [TERMINALS] [IMAGE_SIZE]
#   defaults: build 8 16M.
set -euo pipefail
build=${1:-build}
terminals=${2:-8}
size=${3:-16M}

work=$(mktemp -d "${TMPDIR:-/tmp}/kvx-bench.XXXXXX")
sims=()
trap 'kill "${sims[@]}" 2>/dev/null || true; [ -n "${KVX_BENCH_KEEP:-}" ] || rm -rf "$work"' EXIT

"$build/tools/mkimage/kvx-mkimage" image "$work/KVX_1.bin" --size "$size" >/dev/null

# Starts `count` simulators and prints the colon-separated list of their links.
start_sims() {
  local count=$1 tag=$2 links=""
  for k in $(seq 1 "$count"); do
    local dir="$work/$tag-$k"
    mkdir -p "$dir"
    "$build/tools/sim/kvx-sim" --link "$dir/tty" --ready-file "$dir/ready" --line-rate --once \
      --log "$dir/sim.log" --output "$dir/received.bin" >"$dir/sim.out" 2>&1 &
    sims+=($!)
    for _ in $(seq 1 200); do [ -f "$dir/ready" ] && break; sleep 0.05; done
    links="${links:+$links:}$dir/tty"
  done
  echo "$links"
}

# Runs kvx-flash on the links given and prints "wall cpu peak_kib" for the whole process.
measure() {
  python3 - "$build/src/cli/kvx-flash" "$work/KVX_1.bin" "$1" <<'PY'
import os, resource, subprocess, sys, time
flash, image, links = sys.argv[1], sys.argv[2], sys.argv[3].split(":")
args = [flash, "--yes"]
for link in links:
    args += ["--port", link]
env = dict(os.environ, KVX_SERIAL_PORTS=":".join(links))
start = time.monotonic()
done = subprocess.run(args + [image], env=env, stdout=subprocess.DEVNULL,
                      stderr=subprocess.DEVNULL)
wall = time.monotonic() - start
usage = resource.getrusage(resource.RUSAGE_CHILDREN)
if done.returncode != 0:
    sys.exit(f"kvx-flash exited with {done.returncode}")
print(f"{wall:.2f} {usage.ru_utime + usage.ru_stime:.2f} {usage.ru_maxrss}")
PY
}

read -r wall_one cpu_one peak_one < <(measure "$(start_sims 1 alone)")
read -r wall_all cpu_all peak_all < <(measure "$(start_sims "$terminals" side)")
wait "${sims[@]}" 2>/dev/null || true

for dir in "$work"/side-*; do
  cmp -s <(tail -c +262145 "$work/KVX_1.bin") "$dir/received.bin" ||
    echo "warning: $dir received other bytes than the image's" >&2
done

python3 - "$terminals" "$wall_one" "$cpu_one" "$peak_one" "$wall_all" "$cpu_all" "$peak_all" <<'PY'
import sys
n = int(sys.argv[1])
wall_one, cpu_one, peak_one, wall_all, cpu_all, peak_all = map(float, sys.argv[2:])
print(f"one terminal:  wall {wall_one:.2f} s, kvx-flash CPU {cpu_one:.2f} s, peak {peak_one / 1024:.1f} MiB")
print(f"{n} terminals:  wall {wall_all:.2f} s, kvx-flash CPU {cpu_all:.2f} s, peak {peak_all / 1024:.1f} MiB")
print(f"wall ratio {wall_all / wall_one:.4f}; per terminal: CPU {cpu_all / n:.2f} s, "
      f"memory {peak_all / 1024 / n:.1f} MiB")
PY
