#!/usr/bin/env bash
# Times the index upload (ten sectors) and one session upload (four pieces) through MeterTalk,
# with tavon-instrument unpaced and paced as a 115,200-baud wire, and prints the bounds to
# compare with: the read step (512 bytes per 100 ms tick) and the wire (11,520 bytes/s).
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

run() { # label, simulator options...
  local label=$1; shift
  "$bin/tavon-instrument" "$@" >"$TMPDIR/ready" &
  sim_pid=$!
  for _ in $(seq 100); do grep -q '^ready:' "$TMPDIR/ready" 2>/dev/null && break; sleep 0.1; done
  echo "== $label"
  "$bin/sim_upload_timing" "$slot"
  kill "$sim_pid"; wait "$sim_pid" 2>/dev/null || true; sim_pid=
}

run "unpaced"
run "--baud 115200" --baud 115200
run "--baud 38400 (for contrast)" --baud 38400

# Bulk bytes on the wire: 4,096 data bytes travel as 93 frames of 52 and one of 12, plus the
# acknowledgement and the closing frame; a session piece of 1,024 as 23 of 52 and one of 20.
awk 'BEGIN {
  sector = 93 * 52 + (4 + 8) + 10 + 13; piece = 23 * 52 + (12 + 8) + 10 + 13; small = 2 * 14
  printf "== bounds\n"
  printf "%-28s %7.2f s  (read step: 512 bytes and one exchange per 100 ms tick)\n", "index, read step", 10 * (sector / 512 + 2) * 0.1
  printf "%-28s %7.2f s  (11,520 bytes/s)\n", "index, wire at 115,200", 10 * (sector + small) / 11520
  printf "%-28s %7.2f s\n", "session, read step", 4 * (piece / 512 + 2) * 0.1
  printf "%-28s %7.2f s\n", "session, wire at 115,200", 4 * (piece + small) / 11520
}'
