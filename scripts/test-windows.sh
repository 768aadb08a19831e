#!/usr/bin/env bash
# Cross-builds the plain C++ libraries and their tests for 64-bit Windows (MinGW-w64, GoogleTest
# from Debian's sources) and runs them under Wine, with a Wine prefix of their own in the build
# folder. Among them the protocol engine, on the links' part without Qt; port discovery reads
# registry keys that its test writes into that prefix.
# Qt is not built for Windows here (scripts/build-windows.sh does that, once, outside the tests).
set -euo pipefail
cd "$(dirname "$0")/.."
start=$(date +%s)

bash scripts/install-deps.sh

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
# A prefix made before Wine's 32-bit half was installed (or after it went) no longer starts
# programs: it is made anew then.
if [ ! -f "$WINEPREFIX/system.reg" ] || ! wine cmd /c exit 0 >/dev/null 2>&1; then
  rm -rf "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1
fi
# Two COM ports joined back to back: the ends of a pseudo-terminal pair, for the serial link's
# test. Wine reads its port table when its server starts, hence the restart.
socat_pid=
cleanup() {
  wineserver -k 2>/dev/null || true
  if [ -n "$socat_pid" ]; then kill "$socat_pid" 2>/dev/null || true; fi
}
trap cleanup EXIT
rm -f "$build/pty-a" "$build/pty-b"
socat pty,raw,echo=0,link="$PWD/$build/pty-a" pty,raw,echo=0,link="$PWD/$build/pty-b" &
socat_pid=$!
for _ in $(seq 50); do
  [ -e "$build/pty-a" ] && [ -e "$build/pty-b" ] && break
  sleep 0.1
done
wine reg add 'HKLM\Software\Wine\Ports' /v COM40 /t REG_SZ /d "$(readlink -f "$build/pty-a")" /f >/dev/null
wine reg add 'HKLM\Software\Wine\Ports' /v COM41 /t REG_SZ /d "$(readlink -f "$build/pty-b")" /f >/dev/null
wineserver -k
export TAVON_TEST_COM_A=COM40 TAVON_TEST_COM_B=COM41

(cd "$build" && ctest --output-on-failure -j"$jobs")
echo "test-windows: passed under Wine in $(($(date +%s) - start)) s"
