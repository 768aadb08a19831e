#!/usr/bin/env bash
# Runs Tavon Datalogging against the simulated instrument: installs what is missing, builds
# (build/run, no sanitizers), starts tavon-instrument in the background on a private pipe folder,
# starts tavon-datalogging in the directory this script was called from (where it reads
# Settings.ini and 50312_04.pdf and writes FlashData.txt), and stops the simulator when the
# program ends. Arguments go to tavon-instrument, e.g.
#   scripts/run.sh --with-unknown-records
#   scripts/run.sh --fault stall-after:400
set -euo pipefail

workdir=$PWD
cd "$(dirname "$0")/.."
root=$PWD

bash scripts/install-deps.sh
jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B build/run -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVON_SANITIZE=OFF -DTAVON_TESTS=OFF \
    >/dev/null
cmake --build build/run -j"$jobs" --target tavon-datalogging tavon-instrument tavon-datalog
bin=$root/build/run/bin

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    cat >&2 <<MSG
No display: neither DISPLAY nor WAYLAND_DISPLAY is set, so the window of tavon-datalogging
cannot be shown here. The command-line program does the same work without a window:

  $bin/tavon-instrument --dump FlashData.txt        # the simulated instrument's memory
  $bin/tavon-datalog sessions FlashData.txt         # its session tree
  $bin/tavon-datalog render FlashData.txt 0 -o session.rtf
  $bin/tavon-datalog download --pipe --out reports  # against a running tavon-instrument

Run "$bin/tavon-datalog --help" for more.
MSG
    exit 1
fi

# The pipe lives in the user's own $XDG_RUNTIME_DIR when that is set (left alone: the display
# server's sockets live there too); otherwise in TMPDIR, made a private folder here so that
# another user's or another run's "RAK Pipe" is never picked up.
pipedir=$(mktemp -d "${TMPDIR:-/tmp}/tavon-run-XXXXXX")
sim_pid=
cleanup() {
    if [ -n "$sim_pid" ] && kill -0 "$sim_pid" 2>/dev/null; then
        kill "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
    fi
    rm -rf "$pipedir"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
export TMPDIR=$pipedir

"$bin/tavon-instrument" "$@" >"$pipedir/instrument.out" 2>"$pipedir/instrument.err" &
sim_pid=$!
for _ in $(seq 1 100); do
    if grep -q '^ready:' "$pipedir/instrument.out" 2>/dev/null; then
        break
    fi
    if ! kill -0 "$sim_pid" 2>/dev/null; then
        echo "tavon-instrument did not start:" >&2
        cat "$pipedir/instrument.err" >&2
        exit 1
    fi
    sleep 0.1
done
if ! grep -q '^ready:' "$pipedir/instrument.out"; then
    echo "tavon-instrument did not get ready in time" >&2
    exit 1
fi
echo "$(cat "$pipedir/instrument.out"); starting tavon-datalogging in $workdir" >&2

cd "$workdir"
status=0
"$bin/tavon-datalogging" || status=$?
exit "$status"
