#!/usr/bin/env bash
# Cross-builds the plain C++ libraries and their tests for 64-bit Windows (MinGW-w64, GoogleTest
# from Debian's sources) and runs them under Wine, with a Wine prefix of their own in the build
# folder. Among them, port discovery reads registry keys that its test writes into that prefix.
# Qt is not built for Windows here (scripts/build-windows.sh does that, once, outside the tests).
set -euo pipefail
cd "$(dirname "$0")/.."
start=$(date +%s)

bash scripts/install-deps.sh wine wine64 googletest g++-mingw-w64-x86-64-posix

build=build/windows-tests
jobs=$(nproc 2>/dev/null || echo 2)
launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
# Static C and C++ runtimes: the test programs run from the build folder without DLLs beside them.
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Debug -DTAVON_QT=OFF -DTAVON_TESTS=ON -DCMAKE_EXE_LINKER_FLAGS=-static \
  "${launcher[@]}" >/dev/null
cmake --build "$build" -j"$jobs"

export WINEPREFIX="$PWD/$build/wine" WINEARCH=win64 WINEDEBUG=-all
# No .NET or HTML engine: nothing here needs them, and their installers would ask for a display.
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot -i >/dev/null 2>&1
fi
# Wine's own processes end with the server, which is made to end when the tests are done.
trap 'wineserver -k 2>/dev/null || true' EXIT

(cd "$build" && ctest --output-on-failure -j"$jobs")
echo "test-windows: passed under Wine in $(($(date +%s) - start)) s"
