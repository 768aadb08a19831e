#!/usr/bin/env bash
# tavon-datalog watch's two figures, with its 2 s polling and the designed 100 ms pace:
#   1. from the moment an instrument's pipe or pseudo-terminal appears to the first command line
#      the instrument receives on it (aim: under 3 s);
#   2. an instrument whose sessions are all archived: its whole visit (connecting to visit done)
#      against the index upload within it (connected to index read) (aim: under 1.5 times).
# Each round the instrument appears once on a pipe and once as a serial device (a symbolic link
# made to the simulator's pseudo-terminal, so that the watcher cannot know its name before it
# appears), at a random moment of the polling period.
#   bench/watch/watch-timing.sh [BUILD_DIR] [ROUNDS]   (build/bench, 3)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build/bench}
rounds=${2:-3}
# shellcheck source=bench/common.sh
. bench/common.sh
bench_build "$build" tavon-datalog tavon-instrument
bench_private_folder
export XDG_RUNTIME_DIR=$work
unset TAVON_TICK_MS TAVON_WATCH_POLL_MS
watch_pid=
cleanup() {
  if [ -n "$watch_pid" ]; then kill "$watch_pid" 2>/dev/null || true; wait "$watch_pid" 2>/dev/null || true; fi
  bench_cleanup
}
trap cleanup EXIT

now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
start_sim() { # log file, options...
  local log=$1; shift
  : >"$work/ready"
  "$bin/tavon-instrument" --log "$log" "$@" >"$work/ready" &
  sim_pid=$!
  for _ in $(seq 500); do grep -q '^ready:' "$work/ready" 2>/dev/null && break; sleep 0.01; done
  ready_ms=$(now_ms)
}
stop_sim() {
  kill "$sim_pid"; wait "$sim_pid" 2>/dev/null || true; sim_pid=
}
wait_log() { # text, count
  for _ in $(seq 1200); do
    n=$(grep -c -- "$1" "$work/watch.log" 2>/dev/null || true)
    [ "${n:-0}" -ge "$2" ] && return 0
    sleep 0.1
  done
  echo "watch-timing: the watcher never logged \"$1\" $2 times" >&2; cat "$work/watch.log" >&2; exit 1
}
# The simulator's log times are seconds since it started: its ready line and first command line.
sim_ready_s() { awk '$2 == "!" && /ready/ { print $1; exit }' "$1"; }
sim_first_command_s() { awk '$2 == "<" { print $1; exit }' "$1"; }
# Milliseconds since midnight of the last log line that holds the text.
log_ms() {
  grep -- "$1" "$work/watch.log" | tail -1 |
    awk '{ split($2, t, /[:.]/); print ((t[1] * 60 + t[2]) * 60 + t[3]) * 1000 + t[4] }'
}
random_pause() { sleep "$(awk -v r="$RANDOM" 'BEGIN { printf "%.3f", (r % 2000) / 1000 }')"; }

# Everything archived first, at the line's speed.
start_sim "$work/sim-first.log" --pipe bench
(cd "$work" && "$bin/tavon-datalog" watch --once --fast --pipe bench --archive "$work/archive.sqlite" \
   --out "$work/out/{date}" --log "$work/first.log") || { cat "$work/first.log" >&2; exit 1; }
stop_sim

(cd "$work" && "$bin/tavon-datalog" watch --pipe bench --ports "$work/tty" \
   --archive "$work/archive.sqlite" --out "$work/out/{date}" --log "$work/watch.log") &
watch_pid=$!
wait_log "watching" 1

worst_appear=0; worst_ratio=0; visits=0
report_visit() { # kind, appearance to first command (ms)
  local visit index ratio
  visit=$(( $(log_ms "visit done") - $(log_ms ": connecting") ))
  index=$(( $(log_ms "index read") - $(log_ms ": connected on") ))
  ratio=$(awk -v v="$visit" -v i="$index" 'BEGIN { printf "%.2f", v / i }')
  echo "$1: appeared to first command ${2} ms; visit ${visit} ms, index ${index} ms: ${ratio} x"
  [ "$2" -gt "$worst_appear" ] && worst_appear=$2
  worst_ratio=$(awk -v a="$worst_ratio" -v b="$ratio" 'BEGIN { print (b > a ? b : a) }')
}
for r in $(seq "$rounds"); do
  random_pause
  start_sim "$work/sim-pipe$r.log" --pipe bench
  visits=$((visits + 1)); wait_log "visit done" "$visits"
  log=$work/sim-pipe$r.log
  report_visit "round $r, pipe" \
    "$(awk -v c="$(sim_first_command_s "$log")" -v s="$(sim_ready_s "$log")" 'BEGIN { printf "%.0f", (c - s) * 1000 }')"
  stop_sim
  wait_log "link lost\|: gone" "$((2 * r - 1))"

  start_sim "$work/sim-pty$r.log" --pty
  device=$(sed -n 's/^ready: pty \([^ ]*\).*/\1/p' "$work/ready")
  random_pause
  ln -s "$device" "$work/tty"
  appeared=$(now_ms)
  visits=$((visits + 1)); wait_log "visit done" "$visits"
  log=$work/sim-pty$r.log
  # The simulator started when its ready line was seen, less the time its log gives the line.
  first=$(awk -v r="$ready_ms" -v s="$(sim_ready_s "$log")" -v c="$(sim_first_command_s "$log")" \
            'BEGIN { printf "%.0f", r + (c - s) * 1000 }')
  report_visit "round $r, pty" "$((first - appeared))"
  rm "$work/tty"
  stop_sim
  wait_log "link lost\|: gone" "$((2 * r))"
done
echo "worst: appeared to first command ${worst_appear} ms (aim: under 3000);" \
     "visit of an archived instrument ${worst_ratio} x its index upload (aim: under 1.5)"
