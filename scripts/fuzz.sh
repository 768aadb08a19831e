#!/usr/bin/env bash
# Builds the libFuzzer targets in a clang build of their own (build/fuzz) and runs each one for a
# while, starting from generated seeds and the reproducers kept in fuzz/corpus/<target>/.
# Fails when a target crashes, hangs, leaks or reads or writes out of bounds.
#
# Usage: scripts/fuzz.sh [SECONDS] [TARGET...]
#   SECONDS  run time per target (default: $FUZZ_SECONDS, else 30); 0 only replays the corpus
#   TARGET   report, core, dump, metertalk, settings, sim, browser (default: all)
# Environment: FUZZ_JOBS (build jobs, default 2), FUZZ_BUILD_DIR (default build/fuzz),
#   FUZZ_RUNS (stop a target after this many executions, when that comes before SECONDS),
#   FUZZ_KEEP=1 (merge what the run learnt into fuzz/corpus/<target>, minimised: only inputs that
#   reach code that the inputs kept there already do not).
# Each target runs as one fuzzing process at a time (what -jobs=1 gives, without its log files),
# at the lowest priority. A table of executions, coverage and corpus size ends the output.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

seconds=${1:-${FUZZ_SECONDS:-30}}
if [ $# -gt 0 ]; then shift; fi
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(report core dump metertalk settings sim browser)
fi
case "$seconds" in
  ''|*[!0-9]*) echo "fuzz.sh: seconds must be a whole number, not '$seconds'" >&2; exit 2 ;;
esac
build=${FUZZ_BUILD_DIR:-build/fuzz}
case "$build" in /*) ;; *) build="$root/$build" ;; esac
jobs=${FUZZ_JOBS:-2}

# clang with libFuzzer's runtime (Debian: clang and libclang-rt-14-dev).
have_libfuzzer() {
  command -v clang++ >/dev/null 2>&1 && command -v clang >/dev/null 2>&1 || return 1
  local probe
  probe=$(mktemp -d)
  printf '%s\n' '#include <cstddef>' '#include <cstdint>' \
    'extern "C" int LLVMFuzzerTestOneInput(const uint8_t*, size_t) { return 0; }' > "$probe/p.cpp"
  clang++ -fsanitize=fuzzer,address,undefined "$probe/p.cpp" -o "$probe/p" >/dev/null 2>&1
  local ok=$?
  rm -rf "$probe"
  return $ok
}
if ! have_libfuzzer; then
  if [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null 2>&1; then
    echo "fuzz.sh: installing clang and libFuzzer's runtime" >&2
    apt-get install -y --no-install-recommends clang libclang-rt-14-dev >/dev/null ||
      { apt-get update >/dev/null && apt-get install -y --no-install-recommends clang libclang-rt-14-dev >/dev/null; }
  fi
  if ! have_libfuzzer; then
    echo "fuzz.sh: needs clang++ with libFuzzer (Debian packages clang and libclang-rt-14-dev)" >&2
    exit 1
  fi
fi

# Every library is instrumented for coverage and the sanitizers, not only the fuzz programs.
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer -O1"
mkdir -p "$build"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_C_COMPILER=clang -DTAVON_TESTS=OFF -DTAVON_BENCH=OFF \
  "-DCMAKE_CXX_FLAGS=$flags" "-DCMAKE_C_FLAGS=$flags" >"$build/fuzz-configure.log" 2>&1 ||
  { cat "$build/fuzz-configure.log" >&2; exit 1; }
build_targets=(fuzz-seeds)
for t in "${targets[@]}"; do
  build_targets+=("fuzz-$t")
done
nice -n 10 cmake --build "$build" --target "${build_targets[@]}" -j"$jobs"

bin="$build/bin"
seeds="$build/seeds"
rm -rf "$seeds"
"$bin/fuzz-seeds" "$seeds"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:symbolize=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
# The Qt-linked targets must never look for a display.
export QT_QPA_PLATFORM=offscreen

# Dump files and the settings file go to memory, not to disk: rewriting a file on ext4 flushes it
# at every close, which cost the file-based targets most of their time.
scratch=$(mktemp -d "$( [ -w /dev/shm ] && echo /dev/shm || echo "${TMPDIR:-/tmp}")/tavon-fuzz-XXXXXX")
trap 'rm -rf "$scratch"' EXIT
export TMPDIR=$scratch
runs=()
case "${FUZZ_RUNS:-}" in
  '') ;;
  *[!0-9]*) echo "fuzz.sh: FUZZ_RUNS must be a whole number" >&2; exit 2 ;;
  *) runs=(-runs="$FUZZ_RUNS") ;;
esac

failed=()
table=()
for t in "${targets[@]}"; do
  work="$build/corpus/$t"   # what the fuzzer learns; kept between runs
  artifacts="$build/artifacts/$t"
  mkdir -p "$work" "$artifacts" "fuzz/corpus/$t"
  rm -f "$artifacts"/crash-* "$artifacts"/timeout-* "$artifacts"/leak-* "$artifacts"/oom-*
  run_dir=$(mktemp -d)
  # Larger inputs for targets whose inputs are whole sectors or session streams.
  extra=()
  case "$t" in
    report|core) max_len=8192 ;;
    metertalk|dump) max_len=4096 ;;
    # Whole index sectors and session pieces as uploads.
    browser) max_len=49152 ;;
    *) max_len=2048 ;;
  esac
  echo "== fuzz-$t: replaying fuzz/corpus/$t and the seeds, then ${seconds}s of fuzzing"
  status=0
  # Reproducers and seeds first, each input once: a kept crash must stay fixed.
  # An empty first folder takes whatever the replay would add, so fuzz/corpus stays as kept.
  mkdir -p "$run_dir/new"
  (cd "$run_dir" && "$bin/fuzz-$t" -runs=0 -timeout=10 -rss_limit_mb=4096 \
     "$run_dir/new" "$root/fuzz/corpus/$t" "$seeds/$t") >"$artifacts/replay.log" 2>&1 || status=$?
  if [ $status -ne 0 ]; then
    echo "fuzz-$t: a kept input fails again:" >&2
    tail -40 "$artifacts/replay.log" >&2
    failed+=("$t")
    rm -rf "$run_dir"
    continue
  fi
  if [ "$seconds" -gt 0 ]; then
    started=$(date +%s)
    (cd "$run_dir" && nice -n 19 "$bin/fuzz-$t" -max_total_time="$seconds" "${runs[@]}" \
       -timeout=10 -rss_limit_mb=4096 -max_len=$max_len -print_final_stats=1 "${extra[@]}" \
       -artifact_prefix="$artifacts/" \
       "$work" "$root/fuzz/corpus/$t" "$seeds/$t") >"$artifacts/fuzz.log" 2>&1 || status=$?
    elapsed=$(( $(date +%s) - started ))
    grep -E '^(#[0-9]+.*DONE|stat::number_of_executed_units|stat::peak_rss_mb)' "$artifacts/fuzz.log" || true
    # The last status line: "#N ... cov: C ft: F corp: K/SIZE ... exec/s: E".
    last=$(grep -E '^#[0-9]+' "$artifacts/fuzz.log" | tail -1)
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$artifacts/fuzz.log" | tail -1)
    table+=("$(printf '%-10s %12s %8s %6s %7s %9s %7s %s' "$t" "${execs:-?}" \
      "$elapsed" "$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")" \
      "$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")" \
      "$(sed -n 's/.* corp: \([0-9]*\/[0-9A-Za-z]*\).*/\1/p' <<<"$last")" \
      "$(sed -n 's/.* exec\/s: \([0-9]*\).*/\1/p' <<<"$last")" \
      "$( [ $status -eq 0 ] && echo clean || echo "FAILED ($status)")")")
    if [ $status -ne 0 ]; then
      echo "fuzz-$t: FAILED (exit $status); input and log in $artifacts/" >&2
      grep -E 'ERROR|SUMMARY|check failed|Test unit written|#[0-9]+ 0x' "$artifacts/fuzz.log" | head -30 >&2
      # The reproducer in hex; add it to fuzz/corpus/$t so that every later run replays it.
      for unit in "$artifacts"/crash-* "$artifacts"/timeout-* "$artifacts"/leak-* "$artifacts"/oom-*; do
        [ -f "$unit" ] && { echo "$unit:" >&2; od -An -tx1 -v "$unit" | head -40 >&2; }
      done
      failed+=("$t")
    elif [ "${FUZZ_KEEP:-0}" = 1 ]; then
      # Only inputs that reach code the kept ones do not join them (edges, not hit counts, so
      # the folder stays small); the kept ones, reproducers among them, stay as they are.
      (cd "$run_dir" && "$bin/fuzz-$t" -merge=1 -use_counters=0 -timeout=10 -rss_limit_mb=4096 \
         "$root/fuzz/corpus/$t" "$work" "$seeds/$t") >"$artifacts/merge.log" 2>&1 ||
        { echo "fuzz-$t: merging into fuzz/corpus/$t failed, see $artifacts/merge.log" >&2; failed+=("$t"); }
    fi
  fi
  rm -rf "$run_dir"
done

if [ ${#table[@]} -gt 0 ]; then
  printf '%-10s %12s %8s %6s %7s %9s %7s %s\n' target executions seconds cov ft corpus exec/s result
  printf '%s\n' "${table[@]}"
fi

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz.sh: failures in: ${failed[*]}" >&2
  exit 1
fi
echo "fuzz.sh: all targets ran clean"
