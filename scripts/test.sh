#!/usr/bin/env bash
# Installs what is missing, builds everything with AddressSanitizer and UBSan, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B build/test -DCMAKE_BUILD_TYPE=Debug -DTAVON_SANITIZE=ON -DTAVON_TESTS=ON >/dev/null
cmake --build build/test -j"$jobs"
if [ -x scripts/cross-check-windows.sh ]; then
  bash scripts/cross-check-windows.sh
fi
# The plain C++ libraries built for Windows, their tests run under Wine.
bash scripts/test-windows.sh
# The .deb builds from this build and holds what it must.
bash scripts/check-deb.sh build/test
cd build/test
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$jobs"
