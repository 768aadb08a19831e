#!/usr/bin/env bash
# Several instruments downloaded at once against one alone: tavon-instrument serves N
# pseudo-terminals paced as 115,200-baud wires, each a different instrument; each one is downloaded
# alone (the same sessions), then all of them in one `tavon-datalog download` with a --port each.
# Prints the wall time and the CPU time of both, and their ratios: together against the slowest
# alone (target at most 1.2), and CPU per instrument together against alone (target at most 1.1).
#   bench/sim/several-instruments.sh [BUILD_DIR] [INSTRUMENTS] [SESSIONS]   (build/bench, 3, 4)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build/bench}
count=${2:-3}
sessions=${3:-4}
if [ ! -x "$build/bin/tavon-datalog" ] || [ ! -x "$build/bin/tavon-instrument" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DTAVON_BENCH=ON -DTAVON_TESTS=OFF >/dev/null
  cmake --build "$build" --target tavon-datalog tavon-instrument -j"$(nproc 2>/dev/null || echo 2)" >/dev/null
fi
bin=$(cd "$build/bin" && pwd)
work=$(mktemp -d)
export TMPDIR=$work XDG_DATA_HOME=$work/data TZ=UTC LC_ALL=C
sim_pid=
cleanup() {
  if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

"$bin/tavon-instrument" --pty "$count" --baud 115200 >"$work/ready" &
sim_pid=$!
for _ in $(seq 200); do
  [ "$(grep -c '^ready: pty ' "$work/ready" 2>/dev/null || true)" -ge "$count" ] && break
  sleep 0.1
done
mapfile -t ports < <(sed -n 's/^ready: pty //p' "$work/ready")
[ "${#ports[@]}" -ge "$count" ] || { echo "the simulator gave ${#ports[@]} of $count ports" >&2; exit 1; }
slots=$(seq -s ' ' 0 $((sessions - 1)))

# Runs one download; prints "<wall ms> <cpu ms>" (its user and system time, from bash's time).
timed() { # label, download options...
  local label=$1; shift
  local times
  # shellcheck disable=SC2086
  times=$( { TIMEFORMAT='%R %U %S'; time (cd "$work" && "$bin/tavon-datalog" download \
     --slot $slots --out "out-$label" --no-archive -q "$@" >/dev/null 2>"$work/err-$label"); } 2>&1 ) ||
    { cat "$work/err-$label" >&2; exit 1; }
  awk '{ printf "%d %d\n", $1 * 1000, ($2 + $3) * 1000 }' <<<"$times"
}

slowest=0; cpu_alone=0
for i in $(seq 0 $((count - 1))); do
  read -r wall cpu < <(timed "alone$i" --port "${ports[$i]}")
  echo "instrument $((i + 1)) alone (${ports[$i]}): ${wall} ms, CPU ${cpu} ms"
  [ "$wall" -gt "$slowest" ] && slowest=$wall
  cpu_alone=$((cpu_alone + cpu))
done
port_options=()
for p in "${ports[@]:0:$count}"; do port_options+=(--port "$p"); done
read -r together cpu_together < <(timed together "${port_options[@]}")
echo "$count instruments together: ${together} ms, CPU ${cpu_together} ms"
awk -v t="$together" -v s="$slowest" -v ct="$cpu_together" -v ca="$cpu_alone" -v n="$count" 'BEGIN {
  printf "wall: together / slowest alone = %.2f (target <= 1.20)\n", t / s
  printf "CPU per instrument: together %.0f ms, alone %.0f ms, ratio %.2f (target <= 1.10)\n",
         ct / n, ca / n, (ca > 0 ? ct / ca : 0)
}'
