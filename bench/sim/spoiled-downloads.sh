#!/usr/bin/env bash
# Downloads over a noisy line: tavon-instrument spoils the checksum of each frame with a given
# probability (0.3 % and 1 %, SEEDS seeds each) and `tavon-datalog download --fast` must still
# complete, every time, with the clean run's session tree and reports byte for byte. Prints, per
# rate, how many runs completed and matched, and their wall times against the clean run's.
# Every run serves the same memory (the simulator's seed-1 memory as a dump), so a seed changes
# only where the line spoils frames.
#   bench/sim/spoiled-downloads.sh [BUILD_DIR] [SEEDS] [BAUD] [DAYS]   (build/bench, 20, 115200, 3)
# BAUD 0 leaves the simulator unpaced; DAYS: how many of the memory's first days are downloaded.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build/bench}
seeds=${2:-20}
baud=${3:-115200}
day_count=${4:-3}
rates=(0.003 0.01)
# shellcheck source=bench/common.sh
. bench/common.sh
bench_build "$build" tavon-datalog tavon-instrument
bench_private_folder

"$bin/tavon-instrument" --dump "$work/memory.txt" >/dev/null
# The first days of the tree ("Aug 2026", "  Monday 17", "    slot 12: ..."), as YYYY-MM-DD.
mapfile -t days < <("$bin/tavon-datalog" sessions "$work/memory.txt" | awk -v n="$day_count" '
  BEGIN { split("Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec", names, " ")
          for (i in names) month[names[i]] = sprintf("%02d", i) }
  /^[^ ]/ { m = month[$1]; y = $2; next }
  /^  [^ ]/ && c < n { printf "%s-%s-%02d\n", y, m, $2; c++ }')
day_options=()
for d in "${days[@]}"; do day_options+=(--day "$d"); done

# One download from a fresh simulator in folder $1 (more simulator options follow); prints its
# wall time in milliseconds, or "failed N" with the exit status.
download() {
  local dir=$1; shift
  mkdir -p -m 700 "$dir/pipe"
  local pace=()
  [ "$baud" != 0 ] && pace=(--baud "$baud")
  XDG_RUNTIME_DIR=$dir/pipe "$bin/tavon-instrument" --image "$work/memory.txt" "${pace[@]}" "$@" \
    >"$dir/sim.out" 2>"$dir/sim.err" &
  sim_pid=$!
  for _ in $(seq 200); do grep -q '^ready:' "$dir/sim.out" 2>/dev/null && break; sleep 0.05; done
  local start end status=0
  start=$(date +%s%N)
  (cd "$dir" && XDG_RUNTIME_DIR=$dir/pipe "$bin/tavon-datalog" download --pipe --fast --no-archive \
     --quiet --out out --dump dump.txt "${day_options[@]}" >tree.txt 2>err.txt) || status=$?
  end=$(date +%s%N)
  kill "$sim_pid" 2>/dev/null || true
  wait "$sim_pid" 2>/dev/null || true
  sim_pid=
  if [ "$status" != 0 ]; then echo "failed $status"; else echo $(( (end - start) / 1000000 )); fi
}

# Whether run folder $1 holds the clean run's tree and reports, byte for byte.
same_as_clean() {
  cmp -s "$1/tree.txt" "$work/clean/tree.txt" || return 1
  diff -r -q "$1/out" "$work/clean/out" >/dev/null
}

clean=$(download "$work/clean")
case "$clean" in failed*) echo "the clean download $clean:" >&2; cat "$work/clean/err.txt" >&2; exit 1 ;; esac
echo "${#days[@]} days (${days[*]}), --fast, simulator at ${baud} baud (0: unpaced)"
echo "clean run: ${clean} ms"

for rate in "${rates[@]}"; do
  times=() complete=0 matched=0 failures=()
  for seed in $(seq 1 "$seeds"); do
    dir=$work/r$rate-s$seed
    mkdir -p "$dir"
    took=$(download "$dir" --seed "$seed" --fault "checksum:$rate")
    case "$took" in
      failed*) failures+=("seed $seed: exit ${took#failed }: $(tail -1 "$dir/err.txt")") ;;
      *)
        complete=$((complete + 1))
        times+=("$took")
        if same_as_clean "$dir"; then matched=$((matched + 1)); else failures+=("seed $seed: output differs"); fi
        ;;
    esac
  done
  echo "checksum:$rate: $complete of $seeds completed, $matched with the clean run's tree and reports"
  if [ ${#times[@]} -gt 0 ]; then
    printf '%s\n' "${times[@]}" | sort -n | awk -v c="$clean" '
      { t[NR] = $1; sum += $1 }
      END { med = (NR % 2) ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2
            printf "  time: min %d ms, median %d ms, max %d ms; median / clean = %.2f, max / clean = %.2f\n",
                   t[1], med, t[NR], med / c, t[NR] / c }'
  fi
  for f in "${failures[@]}"; do echo "  $f"; done
done
