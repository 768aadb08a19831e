#!/usr/bin/env bash
# Times the index upload (ten sectors) and one session upload (four pieces) through MeterTalk,
# with tavon-instrument unpaced and paced as a wire, at the designed pace and in fast mode, and
# prints the bounds to compare with: the read step (512 bytes per 100 ms tick) and the wire
# (baud / 10 bytes/s). In fast mode it also times the whole memory (the index and 500 sessions)
# at 115,200 baud, about four minutes; MEMORY_SESSIONS=0 leaves that row out.
#
#   bench/sim/upload-timing.sh [BUILD_DIR] [SLOT]     (default build/bench, slot 0)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build/bench}
slot=${2:-0}
if [ ! -x "$build/bin/sim_upload_timing" ] || [ ! -x "$build/bin/tavon-instrument" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DTAVON_BENCH=ON -DTAVON_TESTS=OFF >/dev/null
  cmake --build "$build" --target sim_upload_timing tavon-instrument -j"$(nproc 2>/dev/null || echo 2)" >/dev/null
fi
bin=$(cd "$build/bin" && pwd)

export TMPDIR=$(mktemp -d)
# The pipe's folder for both ends: a private one, whatever runtime folder the user has.
export XDG_RUNTIME_DIR=$TMPDIR
sim_pid=
cleanup() {
  if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; fi
  rm -rf "$TMPDIR"
}
trap cleanup EXIT

sessions=${MEMORY_SESSIONS:-500}

run() { # label, "timing options", simulator options...
  local label=$1 timing=$2; shift 2
  "$bin/tavon-instrument" "$@" >"$TMPDIR/ready" &
  sim_pid=$!
  for _ in $(seq 100); do grep -q '^ready:' "$TMPDIR/ready" 2>/dev/null && break; sleep 0.1; done
  echo "== $label"
  # shellcheck disable=SC2086
  "$bin/sim_upload_timing" $timing "$slot"
  kill "$sim_pid"; wait "$sim_pid" 2>/dev/null || true; sim_pid=
}

run "designed pace, unpaced" ""
run "designed pace, --baud 115200" "" --baud 115200
run "designed pace, --baud 38400 (for contrast)" "" --baud 38400
run "fast, unpaced" "--fast"
if [ "$sessions" -gt 0 ]; then
  run "fast, --baud 115200" "--fast --sessions $sessions" --baud 115200
else
  run "fast, --baud 115200" "--fast" --baud 115200
fi
run "fast, --baud 9600 (the wire is the limit)" "--fast" --baud 9600

# Bulk bytes on the wire: 4,096 data bytes travel as 93 frames of 52 and one of 12, plus the
# acknowledgement and the closing frame; a session piece of 1,024 as 23 of 52 and one of 20.
# The goal of fast mode is 1.2 times the wire bound.
awk -v sessions="$sessions" 'BEGIN {
  sector = 93 * 52 + (4 + 8) + 10 + 13; piece = 23 * 52 + (12 + 8) + 10 + 13; small = 2 * 14
  indexBytes = 10 * (sector + small); sessionBytes = 4 * (piece + small)
  printf "== bounds\n"
  printf "%-34s %7.2f s  (read step: 512 bytes and one exchange per 100 ms tick)\n", "index, read step", 10 * (sector / 512 + 2) * 0.1
  printf "%-34s %7.2f s\n", "session, read step", 4 * (piece / 512 + 2) * 0.1
  for (i = 0; i < 2; ++i) {
    baud = i == 0 ? 115200 : 9600; rate = baud / 10
    printf "%-34s %7.2f s  (%d bytes/s; goal %.2f s)\n", "index, wire at " baud, indexBytes / rate, rate, 1.2 * indexBytes / rate
    printf "%-34s %7.2f s  (goal %.2f s)\n", "session, wire at " baud, sessionBytes / rate, 1.2 * sessionBytes / rate
  }
  if (sessions > 0)
    printf "%-34s %7.2f s  (goal %.2f s)\n", "memory of " sessions " sessions at 115200", (indexBytes + sessions * sessionBytes) / 11520, 1.2 * (indexBytes + sessions * sessionBytes) / 11520
}'
