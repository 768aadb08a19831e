# Sourced by the timing scripts: a Release build of the programs they time, and a private folder
# (TMPDIR, data folder, zone and locale pinned) removed on exit together with the simulator they
# started (its process id in sim_pid).

# bench_build BUILD_DIR TARGET...: builds the targets when one is missing; sets bin.
bench_build() {
  local build=$1; shift
  local target missing=0
  for target in "$@"; do [ -x "$build/bin/$target" ] || missing=1; done
  if [ "$missing" = 1 ]; then
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DTAVON_BENCH=ON -DTAVON_TESTS=OFF >/dev/null
    cmake --build "$build" --target "$@" -j"$(nproc 2>/dev/null || echo 2)" >/dev/null
  fi
  bin=$(cd "$build/bin" && pwd)
}

# bench_private_folder: sets work and exports it as TMPDIR.
bench_private_folder() {
  work=$(mktemp -d)
  export TMPDIR=$work XDG_DATA_HOME=$work/data TZ=UTC LC_ALL=C
  sim_pid=
  trap bench_cleanup EXIT
}

bench_cleanup() {
  if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
