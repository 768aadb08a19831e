#!/usr/bin/env bash
# Makes the pictures of the user manual (docs/manual/pictures/) from the programs themselves,
# against the simulated instrument, without a display (Qt offscreen):
#   - the program's windows, by manual_shots (tests/gui/ManualShots.cpp): started without an
#     instrument, browsing a dump of one day, after GO with a Full Day filtered, the Chart and Map
#     tabs, View > Map Background..., File > Download Automatically..., the archive window with
#     its Chart tab and its Sign Off..., and View > Instruments...;
#   - the charts of a survey with alarms and of a barhole session, by tavon-datalog plot;
#   - an instrument's page of the compliance pack, by tavon-datalog archive compliance and
#     pdftoppm.
# The archive the windows show is downloaded here from three simulated instruments ("van 1" to
# "van 3"), with a personal key of a made-up user for Sign Off...; all of it lives in a work
# folder that is removed afterwards, so nothing of the user's own (home, settings, archive, keys)
# is read or written.
#
# Usage: scripts/screenshots.sh [BUILD_DIR]   (default build/dev; built when a program is missing)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${1:-build/dev}
out=$root/docs/manual/pictures

targets=(tavon-datalog tavon-instrument manual_shots)
for target in "${targets[@]}"; do
  if [ ! -x "$build/bin/$target" ]; then
    cmake -S . -B "$build" -DTAVON_TESTS=ON >/dev/null
    cmake --build "$build" --target "${targets[@]}" -j"$(nproc 2>/dev/null || echo 2)" >/dev/null
    break
  fi
done
bin=$(cd "$build/bin" && pwd)
command -v pdftoppm >/dev/null || { echo "screenshots: pdftoppm is missing (poppler-utils)" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/tavon-shots-XXXXXX")
sim_pid=
cleanup() {
  if [ -n "$sim_pid" ] && kill -0 "$sim_pid" 2>/dev/null; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# A made-up user of the work folder: home, settings, runtime folder (the pipe), data, keys.
mkdir -p "$work/home" "$work/run" "$work/data" "$work/config" "$work/cache" "$work/tmp"
chmod 700 "$work/run" "$work/config"
export HOME=$work/home XDG_RUNTIME_DIR=$work/run XDG_DATA_HOME=$work/data \
       XDG_CONFIG_HOME=$work/config XDG_CACHE_HOME=$work/cache TMPDIR=$work/tmp \
       QT_QPA_PLATFORM=offscreen TZ=Europe/Berlin LANG=C.UTF-8 LC_ALL=C.UTF-8
# Downloads at five times the instrument's pace: the same conversation, sooner.
export TAVON_TICK_MS=20
cd "$work"

# Waits for the simulator's ready lines (one per instrument); prints them.
start_simulator() { # count, arguments...
  local count=$1
  shift
  "$bin/tavon-instrument" "$@" >"$work/sim.out" 2>"$work/sim.err" &
  sim_pid=$!
  for _ in $(seq 300); do
    ready=$(grep -c '^ready:' "$work/sim.out" 2>/dev/null || true)
    if [ "${ready:-0}" -ge "$count" ]; then
      return 0
    fi
    kill -0 "$sim_pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "screenshots: tavon-instrument did not get ready:" >&2
  cat "$work/sim.err" >&2
  exit 1
}
stop_simulator() {
  kill "$sim_pid" 2>/dev/null || true
  wait "$sim_pid" 2>/dev/null || true
  sim_pid=
}

# The simulator's memory as a dump, and a dump of one day (the index and Tuesday 18's sessions).
"$bin/tavon-instrument" --dump memory.txt
start_simulator 1
"$bin/tavon-datalog" download --pipe --fast --quiet --no-archive --day 2026-08-18 \
  --dump day.txt --out day >/dev/null
stop_simulator

# The charts: the first session with alarms of three gases, and the first with barhole tests.
# The session tree lists each session as "    SLOT: LABEL".
"$bin/tavon-datalog" sessions memory.txt >tree.txt
survey=$(sed -n 's/^    \([0-9]*\): 08:08:51.*/\1/p' tree.txt | sed -n 1p)
"$bin/tavon-datalog" plot memory.txt "${survey:?no session at 08:08:51}" \
  -o "$out/chart-session.png" --size 1400x800
# shellcheck disable=SC2046 # one argument a slot
"$bin/tavon-datalog" export memory.txt $(sed -n 's/^    \([0-9]*\): .*/\1/p' tree.txt) \
  --format csv -o records.csv
barholes=$(awk -F, 'NR == 1 { for (i = 1; i <= NF; ++i) { if ($i == "kind") k = i; if ($i == "slot") s = i }
                    next }
                    $k == "barhole" { print $s; exit }' records.csv)
"$bin/tavon-datalog" plot memory.txt "${barholes:?no session with a barhole test}" \
  -o "$out/chart-barholes.png" --size 1400x900

# Three instruments, "van 1" to "van 3", downloaded into one archive, and a personal key.
start_simulator 3 --pty 3 --serial VAN
ports=()
while read -r _ _ port _; do ports+=(--port "$port"); done < <(grep '^ready:' "$work/sim.out")
"$bin/tavon-datalog" download "${ports[@]}" --fast --quiet --archive archive.sqlite --out fleet \
  >/dev/null
stop_simulator
for n in 1 2 3; do
  "$bin/tavon-datalog" archive rename-instrument --archive archive.sqlite "VAN-$n" "van $n" >/dev/null
done
printf 'a passphrase of the pictures\n' >passphrase
chmod 600 passphrase
"$bin/tavon-datalog" archive keys new --name "Anna Lind" --passphrase-file passphrase >/dev/null

# An instrument's page of the compliance pack, at the end of the simulated memories.
"$bin/tavon-datalog" archive compliance --archive archive.sqlite --at 2026-11-20 --format pdf \
  -o pack.pdf || [ $? -eq 3 ] # 3: an instrument is overdue or failed, as the page shows
pdftoppm -f 2 -l 2 -png -scale-to-x 620 -scale-to-y -1 pack.pdf pack
mv pack-*2.png "$out/compliance-pack.png"

# The windows.
TAVON_BIN_DIR=$bin "$bin/manual_shots" "$out" day.txt archive.sqlite
echo "screenshots: the manual's pictures are in docs/manual/pictures/"
