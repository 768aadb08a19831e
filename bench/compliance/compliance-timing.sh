#!/usr/bin/env bash
# Times `tavon-datalog archive compliance` (text to /dev/null) and the compliance pack of its 50
# instruments on a generated archive of 100,000 sessions (made once by compliance_bench and kept
# in the build folder).
#   bench/compliance/compliance-timing.sh [BUILD_DIR]      (default build/bench)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build/bench}
# shellcheck source=bench/common.sh
. bench/common.sh
bench_build "$build" compliance_bench tavon-datalog
archive=$(cd "$build" && pwd)/register-100k.sqlite
if [ ! -f "$archive" ]; then
  echo "making $archive (once)..." >&2
  TAVON_BENCH_ARCHIVE=$archive "$build/bin/compliance_bench" --benchmark_filter=BM_ComplianceAll >/dev/null
fi
export TZ=UTC LC_ALL=C QT_QPA_PLATFORM=offscreen
pack=$(mktemp --suffix=.pdf)
trap 'rm -f "$pack"' EXIT
# Best of five, as wall-clock time and as the processor time the command used (user + system).
for format in text pdf; do
  best=; bestcpu=
  for _ in 1 2 3 4 5; do
    read -r wall cpu < <( { /usr/bin/time -f "%e %U %S" "$build/bin/tavon-datalog" archive compliance \
                            --archive "$archive" --at 2036-01-01 --format "$format" -o "$pack" \
                            >/dev/null || true; } 2>&1 | tail -1 |
                          awk '{printf "%d %d\n", $1 * 1000, ($2 + $3) * 1000}')
    if [ -z "$best" ] || [ "$wall" -lt "$best" ]; then best=$wall; fi
    if [ -z "$bestcpu" ] || [ "$cpu" -lt "$bestcpu" ]; then bestcpu=$cpu; fi
  done
  printf 'archive compliance --format %-5s %5d ms wall  %5d ms processor\n' "$format" "$best" "$bestcpu"
done
