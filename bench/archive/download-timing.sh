#!/usr/bin/env bash
# What the archive adds to a download: the same download of N sessions from tavon-instrument
# paced as a 115,200-baud wire, without the archive (--no-archive), into a fresh SQLite archive,
# and once more into that archive (everything held: the index only). Runs alternate so that a
# busy machine weighs on both alike.
#   bench/archive/download-timing.sh [BUILD_DIR] [SESSIONS] [ROUNDS]   (build/bench, 6, 2)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build/bench}
sessions=${2:-6}
rounds=${3:-2}
# shellcheck source=bench/common.sh
. bench/common.sh
bench_build "$build" tavon-datalog tavon-instrument
bench_private_folder

"$bin/tavon-instrument" --pipe bench --baud 115200 >"$work/ready" &
sim_pid=$!
for _ in $(seq 100); do grep -q '^ready:' "$work/ready" 2>/dev/null && break; sleep 0.1; done
slots=$(seq -s ' ' 0 $((sessions - 1)))

timed() { # label, extra options...
  local label=$1; shift
  local start end
  start=$(date +%s%N)
  # shellcheck disable=SC2086
  (cd "$work" && "$bin/tavon-datalog" download --pipe bench --slot $slots --out "out-$label" -q "$@" \
     >/dev/null 2>"$work/err-$label") || { cat "$work/err-$label" >&2; exit 1; }
  end=$(date +%s%N)
  echo $(( (end - start) / 1000000 ))
}

plain=0; archived=0
for r in $(seq "$rounds"); do
  p=$(timed plain --no-archive)
  a=$(timed "archive$r" --archive "$work/round$r.sqlite")
  echo "round $r: without the archive ${p} ms, into a fresh archive ${a} ms"
  plain=$((plain + p)); archived=$((archived + a))
done
again=$(timed again --archive "$work/round1.sqlite")
echo "$sessions sessions at 115,200 baud, $rounds rounds: without ${plain} ms, with ${archived} ms:" \
     "the archive adds $(awk -v a="$archived" -v p="$plain" 'BEGIN { printf "%.1f", (a - p) * 100 / p }')%"
echo "a second download into the same archive (index only): ${again} ms"
