#!/usr/bin/env bash
# Installs what is missing, builds everything with AddressSanitizer and UBSan, runs every test and
# a short fault soak.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs=$(nproc 2>/dev/null || echo 2)
# Every tracked C++ source as clang-format leaves it; a change it would make fails the run.
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format-14 --dry-run --Werror
fi
# The modules keep their layering: public headers only, no arrow upwards, no long functions.
bash scripts/check-layers.sh >/dev/null
bash scripts/module-graph.sh --check
launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B build/test -DCMAKE_BUILD_TYPE=Debug -DTAVON_SANITIZE=ON -DTAVON_TESTS=ON \
  -DTAVON_WERROR=ON "${launcher[@]}" >/dev/null
cmake --build build/test -j"$jobs"
if [ -x scripts/cross-check-windows.sh ]; then
  bash scripts/cross-check-windows.sh
fi
# The plain C++ libraries built for Windows, their tests run under Wine.
bash scripts/test-windows.sh
# The .deb builds from this build and holds what it must.
bash scripts/check-deb.sh build/test
cd build/test
# One test more than there are processors: most of the suite waits on the simulated instrument's
# pace, which leaves the processors more than half idle at one test each.
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$((jobs + 1))"
cd ../..
# Twenty downloads with random faults against the simulator (about two minutes).
bash scripts/soak.sh 20
