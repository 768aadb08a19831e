#!/usr/bin/env bash
# Downloads from the simulated instrument again and again, each run with its own random faults,
# and checks what every run leaves behind:
#   - it ends by itself within SOAK_LIMIT seconds, with an exit status that
#     docs/manual/connecting.md documents for its faults (none, garbage or checksum: 0, a noisy
#     line's spoiled transfers being asked again until they come whole; drop, refuse,
#     stall-after, the simulator killed mid-session: 0 or 4);
#   - no report is ever partial: the output folder holds only whole reports of the days asked
#     for, each equal byte for byte to the clean run's report of that day (and all of them when
#     the status is 0), and nothing else is left in the run's folder;
#   - the dump is absent, or complete (as long as the clean one) and loadable, with the clean
#     run's session tree (`tavon-datalog sessions`); once the tree was printed (the index was
#     complete) it must be there, and the tree must be the clean run's;
#   - neither program reports a sanitizer error.
# The simulator serves one fixed memory (its seed-1 memory as a dump), so --seed changes only the
# faults and the clean run's reports are the truth for every run. Runs download a few days of
# few sessions each (the designed 100 ms tick makes a whole memory take many minutes), several
# runs at a time, each on a pipe in a folder of its own.
#
# Usage: scripts/soak.sh [RUNS]        RUNS runs (default 200), a table of them, failing seeds
#        scripts/soak.sh --seed SEED   that one run again (a kill lands by the clock, so only
#                                      near the same place)
# Environment:
#   SOAK_BIN    folder holding tavon-datalog and tavon-instrument (default: build/test/bin when
#               both are there, else build/run/bin, built when missing)
#   SOAK_JOBS   runs at the same time (default 6; they mostly wait for the tick)
#   SOAK_SEED   seed of the first run (default: from the clock); run i has SOAK_SEED + i
#   SOAK_LIMIT  seconds after which a run counts as hung (default 150)
#   SOAK_MODES  download modes each run is made in, space-separated (default "designed fast"); a
#               mode's extra download options are given by mode_options below
#   SOAK_KEEP=1 keep the work folder (otherwise removed when every run passed)
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD

runs=200
only_seed=
case "${1:-}" in
  --seed) only_seed=${2:?"soak.sh: --seed needs a number"}; runs=1 ;;
  '') ;;
  *) runs=$1 ;;
esac
for n in "$runs" ${only_seed:+"$only_seed"}; do
  case "$n" in ''|*[!0-9]*) echo "soak.sh: not a whole number: '$n'" >&2; exit 2 ;; esac
done
jobs=${SOAK_JOBS:-6}
limit=${SOAK_LIMIT:-150}
modes=${SOAK_MODES:-designed fast}
first_seed=${only_seed:-${SOAK_SEED:-$(( $(date +%s) % 100000 * 1000 ))}}

# The download options that make each mode.
mode_options() {
  case "$1" in
    designed) ;;
    fast) echo --fast ;;
    *) echo "soak.sh: unknown mode '$1'" >&2; return 1 ;;
  esac
}
for mode in $modes; do mode_options "$mode" >/dev/null || exit 2; done

# --- the programs ---------------------------------------------------------------------------
bin=${SOAK_BIN:-}
if [ -z "$bin" ]; then
  if [ -x build/test/bin/tavon-datalog ] && [ -x build/test/bin/tavon-instrument ]; then
    bin=$root/build/test/bin
  else
    bash scripts/install-deps.sh
    cmake -S . -B build/run -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVON_SANITIZE=OFF \
      -DTAVON_TESTS=OFF >/dev/null || exit 1
    cmake --build build/run -j"$(nproc 2>/dev/null || echo 2)" \
      --target tavon-datalog tavon-instrument >/dev/null || exit 1
    bin=$root/build/run/bin
  fi
fi
datalog=$bin/tavon-datalog
instrument=$bin/tavon-instrument

work=$(mktemp -d "${TMPDIR:-/tmp}/tavon-soak-XXXXXX")
children=()
cleanup() {
  for pid in "${children[@]}"; do kill "$pid" 2>/dev/null; done
  wait 2>/dev/null
}
trap cleanup EXIT
trap 'exit 130' INT TERM
export TZ=UTC LC_ALL=C

# Starts the simulator serving the fixed memory on a pipe in folder $1 (more options follow);
# sets sim_pid, or returns 1 when it is not ready within 20 s.
start_instrument() {
  local dir=$1; shift
  mkdir -p -m 700 "$dir/pipe"
  XDG_RUNTIME_DIR=$dir/pipe "$instrument" --image "$work/memory.txt" "$@" \
    >"$dir/sim.out" 2>"$dir/sim.err" &
  sim_pid=$!
  local i
  for i in $(seq 1 200); do
    grep -q '^ready:' "$dir/sim.out" 2>/dev/null && return 0
    kill -0 "$sim_pid" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}
stop_instrument() {
  kill "$1" 2>/dev/null
  wait "$1" 2>/dev/null
}
# tavon-datalog download in folder $1 on its pipe, of the days in the array named $2, more
# options following.
download() {
  local dir=$1 day args=()
  local -n chosen=$2
  shift 2
  for day in "${chosen[@]}"; do args+=(--day "$day"); done
  # No archive: every run must download its days afresh, and the user's own archive is not ours.
  (cd "$dir" && XDG_RUNTIME_DIR=$dir/pipe timeout -k 5 "$limit" "$datalog" download --pipe \
     --no-archive --quiet --out out --dump dump.txt "${args[@]}" "$@" >dl.out 2>dl.err)
}

# --- the clean run --------------------------------------------------------------------------
"$instrument" --dump "$work/memory.txt" >/dev/null || { echo "soak.sh: no memory dump" >&2; exit 1; }
"$datalog" sessions "$work/memory.txt" >"$work/tree.txt" || exit 1
# Days of one or two sessions keep runs short. The tree has a month line ("Aug 2026"), day lines
# ("  Monday 17") and session lines ("    slot 12: ..."); eight such days, spread over the memory.
mapfile -t pool < <(awk '
  BEGIN { split("Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec", names, " ")
          for (i in names) month[names[i]] = sprintf("%02d", i) }
  /^[^ ]/ { m = month[$1]; y = $2; next }
  /^  [^ ]/ { d = sprintf("%s-%s-%02d", y, m, $2); if (!(d in n)) { order[++k] = d; n[d] = 0 }; next }
  /^    [^ ]/ { n[d]++ }
  END { for (i = 1; i <= k; i++) if (n[order[i]] >= 1 && n[order[i]] <= 2) print order[i] }
' "$work/tree.txt" | awk '{ all[NR] = $0 } END { step = NR > 8 ? int(NR / 8) : 1
  for (i = 1; i <= NR && c < 8; i += step) { print all[i]; c++ } }')
if [ ${#pool[@]} -eq 0 ]; then
  echo "soak.sh: no day of one or two sessions in the memory" >&2
  exit 1
fi
ref=$work/clean
mkdir -p "$ref/out"
start_instrument "$ref" || { echo "soak.sh: tavon-instrument did not start" >&2; exit 1; }
children+=("$sim_pid")
clean_started=$(date +%s)
download "$ref" pool
clean_status=$?
stop_instrument "$sim_pid"
if [ $clean_status -ne 0 ]; then
  echo "soak.sh: the clean download failed (exit $clean_status):" >&2
  cat "$ref/dl.err" >&2
  exit 1
fi
for day in "${pool[@]}"; do
  [ -f "$ref/out/$day.rtf" ] || { echo "soak.sh: the clean run wrote no report for $day" >&2; exit 1; }
done
"$datalog" sessions "$ref/dump.txt" >"$ref/sessions.txt" || exit 1
clean_dump_size=$(stat -c %s "$ref/dump.txt")
echo "soak: clean run of ${#pool[@]} days (${pool[*]}) in $(( $(date +%s) - clean_started ))s;" \
  "$runs runs x modes ($modes) from seed $first_seed, $jobs at a time, limit ${limit}s"

# --- one run --------------------------------------------------------------------------------
# Everything a run does follows from its seed: the faults, their probabilities, the days and
# when the simulator is killed. Writes one table line to $dir/result.
run_one() {
  local seed=$1 mode=$2
  local dir=$work/$mode-$seed
  mkdir -p "$dir/out"
  # Neighbouring seeds give bash's generator neighbouring starts: spread them, and skip the
  # first draw.
  RANDOM=$(( seed * 2654435761 % 2147483647 ))
  : $RANDOM
  local fault='' kill_after=0 allowed='0'
  # The kind of fault goes round with the seed, so that any eight runs in a row try them all.
  case $(( seed % 8 )) in
    0) ;;
    1) fault=checksum:0.00$(( RANDOM % 9 + 1 )) ;;
    2) fault=drop:0.0$(( RANDOM % 5 ))$(( RANDOM % 9 + 1 )); allowed='0 4' ;;
    3) fault=refuse:0.0$(( RANDOM % 9 + 1 )); allowed='0 4' ;;
    4) fault=garbage:0.$(( RANDOM % 9 + 1 )) ;;
    5) fault=stall-after:$(( RANDOM % 1500 )); allowed='0 4' ;;
    # A kill that lands before the download has opened the pipe (a fast run's comes after 0.1 s
    # or more, a program under the sanitizers may take longer to start) leaves no instrument: 3.
    6) kill_after=$(( RANDOM % 18 + 2 )); allowed='0 3 4' ;;
    7) fault=garbage:0.3,refuse:0.02,checksum:0.001; allowed='0 4' ;;
  esac
  local count=$(( RANDOM % 2 + 1 )) days=() i
  for (( i = 0; i < count; i++ )); do days+=("${pool[$(( RANDOM % ${#pool[@]} ))]}"); done
  mapfile -t days < <(printf '%s\n' "${days[@]}" | sort -u)

  local what=${fault:-none}
  if [ "$kill_after" -gt 0 ]; then
    # A fast download is over within a second: its kill lands twenty times as early.
    [ "$mode" = fast ] && kill_after=$(( kill_after / 20 )).$(printf %03d $(( kill_after * 50 % 1000 )))
    what="kill@${kill_after}s"
  fi
  local verdict=ok status=- took=- reports=0 dump=absent
  if ! start_instrument "$dir" --seed "$seed" ${fault:+--fault "$fault"}; then
    verdict="simulator did not start"
  else
    local sim=$sim_pid killer=
    if [ "$kill_after" != 0 ]; then
      (sleep "$kill_after"; kill -9 "$sim" 2>/dev/null) &
      killer=$!
    fi
    local started=$(date +%s)
    download "$dir" days $(mode_options "$mode")
    status=$?
    took=$(( $(date +%s) - started ))
    [ -n "$killer" ] && { kill "$killer" 2>/dev/null; wait "$killer" 2>/dev/null; }
    stop_instrument "$sim"
    verdict=$(check_run "$dir" "$status" "$allowed" "${days[@]}")
    reports=$(find "$dir/out" -type f | wc -l)
    [ -f "$dir/dump.txt" ] && dump=whole
  fi
  printf '%-7s %-9s %-40s %-23s %4s %4s %7s %-6s %s\n' "$seed" "$mode" "$what" \
    "$(IFS=,; echo "${days[*]}")" "$status" "$took" "$reports" "$dump" "$verdict" >"$dir/result"
}

# What a finished run left behind, against the clean run: "ok" or what is wrong.
check_run() {
  local dir=$1 status=$2 allowed=$3; shift 3
  local days=("$@") problems=() f name
  case "$status" in
    124|137) problems+=("hung: still running after ${limit}s") ;;
  esac
  case " $allowed " in
    *" $status "*) ;;
    *) [ ${#problems[@]} -eq 0 ] && problems+=("exit $status, expected one of: $allowed") ;;
  esac
  for f in "$dir"/out/* "$dir"/out/.[!.]*; do
    [ -e "$f" ] || continue
    name=${f##*/}
    if [[ ! " ${days[*]/%/.rtf} " == *" $name "* ]]; then
      problems+=("unexpected file out/$name")
    elif ! cmp -s "$f" "$ref/out/$name"; then
      problems+=("out/$name differs from the clean report")
    fi
  done
  if [ "$status" = 0 ]; then
    for name in "${days[@]}"; do
      [ -f "$dir/out/$name.rtf" ] || problems+=("no report for $name")
    done
    [ -f "$dir/dump.txt" ] || problems+=("no dump after a whole download")
  fi
  # The tree is printed once the index is complete, and from then on a dump is promised.
  if [ -s "$dir/dl.out" ]; then
    cmp -s "$dir/dl.out" "$ref/dl.out" || problems+=("printed tree differs from the clean run's")
    [ -f "$dir/dump.txt" ] || problems+=("no dump although the index was complete")
  fi
  if [ -f "$dir/dump.txt" ]; then
    if [ "$(stat -c %s "$dir/dump.txt")" != "$clean_dump_size" ]; then
      problems+=("dump of $(stat -c %s "$dir/dump.txt") bytes, not $clean_dump_size")
    elif ! "$datalog" sessions "$dir/dump.txt" >"$dir/sessions.txt" 2>&1; then
      problems+=("dump does not load: $(head -1 "$dir/sessions.txt")")
    elif ! cmp -s "$dir/sessions.txt" "$ref/sessions.txt"; then
      problems+=("dump's session tree differs")
    fi
  fi
  for f in "$dir"/* "$dir"/.[!.]*; do
    [ -e "$f" ] || continue
    case "${f##*/}" in
      pipe|out|sim.out|sim.err|dl.out|dl.err|dump.txt|sessions.txt|result) ;;
      *) problems+=("left behind: ${f##*/}") ;;
    esac
  done
  if grep -qE 'ERROR: (Address|Leak)Sanitizer|runtime error:' "$dir/dl.err" "$dir/sim.err" 2>/dev/null; then
    problems+=("sanitizer report")
  fi
  if [ ${#problems[@]} -eq 0 ]; then
    echo ok
  else
    local IFS=';'
    echo "FAIL: ${problems[*]}"
  fi
}

# --- all runs -------------------------------------------------------------------------------
soak_started=$(date +%s)
running=0
for (( r = 0; r < runs; r++ )); do
  for mode in $modes; do
    # (bash's "Killed" notices of the simulators killed on purpose go nowhere)
    run_one $(( first_seed + r )) "$mode" 2>/dev/null &
    children+=($!)
    running=$(( running + 1 ))
    if [ "$running" -ge "$jobs" ]; then
      wait -n
      running=$(( running - 1 ))
    fi
  done
done
wait
children=()

printf '%-7s %-9s %-40s %-23s %4s %4s %7s %-6s %s\n' seed mode fault days exit secs reports dump result
failed=()
for (( r = 0; r < runs; r++ )); do
  for mode in $modes; do
    f=$work/$mode-$(( first_seed + r ))/result
    if [ -f "$f" ]; then
      cat "$f"
      grep -q ' ok$' "$f" || failed+=("$mode-$(( first_seed + r ))")
    else
      echo "$(( first_seed + r )) $mode: no result"
      failed+=("$mode-$(( first_seed + r ))")
    fi
  done
done
total=$(( runs * $(wc -w <<<"$modes") ))
echo "soak: $(( total - ${#failed[@]} )) of $total runs passed in $(( $(date +%s) - soak_started ))s"
if [ ${#failed[@]} -gt 0 ]; then
  for run in "${failed[@]}"; do
    echo "replay: scripts/soak.sh --seed ${run##*-}   (logs in $work/$run)"
  done
  exit 1
fi
[ "${SOAK_KEEP:-0}" = 1 ] && echo "soak: runs kept in $work" || rm -rf "$work"
