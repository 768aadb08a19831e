#!/usr/bin/env bash
# Times `tavon-datalog archive list` with each single filter on a generated archive of 100,000
# sessions (made once by archive_bench and kept in the build folder), output to /dev/null.
#   bench/archive/list-timing.sh [BUILD_DIR]      (default build/bench)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build/bench}
# shellcheck source=bench/common.sh
. bench/common.sh
bench_build "$build" archive_bench tavon-datalog
archive=$(cd "$build" && pwd)/archive-100k.sqlite
if [ ! -f "$archive" ]; then
  echo "making $archive (once)..." >&2
  TAVON_BENCH_ARCHIVE=$archive "$build/bin/archive_bench" --benchmark_filter='BM_List100k/0' >/dev/null
fi
export TZ=UTC LC_ALL=C QT_QPA_PLATFORM=offscreen
# Best of five, as wall-clock time and as the processor time the command used (user + system),
# which a busy machine disturbs less.
for filter in "--from 2027-03-01 --to 2027-03-31" "--job nw-117-4" "--user okafor" "--alarm" \
              "--cal" "--instrument unit-3"; do
  best=; bestcpu=
  for _ in 1 2 3 4 5; do
    # shellcheck disable=SC2086
    read -r wall cpu < <( { /usr/bin/time -f "%e %U %S" "$build/bin/tavon-datalog" archive list \
                            --archive "$archive" $filter >/dev/null; } 2>&1 |
                          awk '{printf "%d %d\n", $1 * 1000, ($2 + $3) * 1000}')
    if [ -z "$best" ] || [ "$wall" -lt "$best" ]; then best=$wall; fi
    if [ -z "$bestcpu" ] || [ "$cpu" -lt "$bestcpu" ]; then bestcpu=$cpu; fi
  done
  # shellcheck disable=SC2086
  rows=$("$build/bin/tavon-datalog" archive list --archive "$archive" $filter | wc -l)
  printf '%-36s %6d rows  %5d ms wall  %5d ms processor\n' "$filter" "$rows" "$best" "$bestcpu"
done
