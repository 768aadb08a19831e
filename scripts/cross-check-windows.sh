#!/usr/bin/env bash
# Compiles every source of the modules that does without Qt (for which there is no Windows build
# here) with the MinGW cross compiler, the Windows-only implementations included. Syntax and
# types only: nothing is linked or written. Fails when any of them does not compile.
set -euo pipefail
cd "$(dirname "$0")/.."

cxx=x86_64-w64-mingw32-g++-posix
if ! command -v "$cxx" >/dev/null 2>&1; then
  echo "cross-check-windows: $cxx not found (Debian package g++-mingw-w64-x86-64-posix)" >&2
  exit 1
fi

modules=(orvtime report core textcodec export recbuild map linkselect metertalk app cli sim)

includes=()
for dir in */include */*/include; do
  [ -d "$dir" ] && includes+=("-I$dir")
done
# The generated version header, as the build writes it.
generated=$(mktemp -d)
trap 'rm -rf "$generated"' EXIT
mkdir -p "$generated/tavon"
sed 's/@PROJECT_VERSION@/0.0/' cmake/Version.h.in >"$generated/tavon/Version.h"
includes+=("-I$generated")

# A file is Qt-free when neither it nor a project header it includes (at any depth) includes Qt.
declare -A qt_checked=()
uses_qt() {
  local file=$1 dir header found
  [ -n "${qt_checked[$file]:-}" ] && { [ "${qt_checked[$file]}" = yes ]; return; }
  qt_checked[$file]=no
  if grep -qE '^[[:space:]]*#[[:space:]]*include[[:space:]]*<Q' "$file"; then
    qt_checked[$file]=yes
    return 0
  fi
  dir=$(dirname "$file")
  while IFS= read -r header; do
    found=
    for base in "$dir" "$(echo "$file" | sed -nE 's#^(.*/)?src/.*#\1src#p')" \
                $(printf '%s\n' "${includes[@]}" | sed 's/^-I//'); do
      [ -n "$base" ] && [ -f "$base/$header" ] && { found="$base/$header"; break; }
    done
    if [ -n "$found" ] && uses_qt "$found"; then
      qt_checked[$file]=yes
      return 0
    fi
  done < <(sed -nE 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"]+)".*/\1/p' "$file")
  return 1
}

# The sources that a Windows build leaves out (their CMakeLists.txt say so).
linux_only=" linkselect/src/LinuxRegistry.cpp linkselect/src/PlatformRegistry.cpp sim/src/PtyServer.cpp "

# Every plain C++ source of every module, so that the Windows build cannot rot unseen.
sources=()
while IFS= read -r file; do
  case "$linux_only" in *" $file "*) continue ;; esac
  uses_qt "$file" || sources+=("$file")
done < <(for m in "${modules[@]}"; do
           [ -d "$m" ] && find "$m" -name '*.cpp' -not -path '*/build/*'
         done | sort)

# One compiler per core; each reports its own failure.
compile_one() {
  local file=$1 dir module module_src flags=()
  dir=$(dirname "$file")
  module=${file%%/*}
  # Sources of a shared library see its headers as exports, not imports.
  flags+=("-D$(echo "$module" | tr '[:lower:]' '[:upper:]')_BUILDING")
  module_src=$(echo "$file" | sed -nE 's#^(.*/)?src/.*#\1src#p')
  [ -n "$module_src" ] && [ -d "$module_src" ] && flags+=("-I$module_src")
  # Ours must stay free of warnings on Windows too.
  flags+=(-Werror)
  if ! "$cxx" -std=c++17 -Wall -Wextra -fsyntax-only -D_WIN32_WINNT=0x0601 \
       "${includes[@]}" "-I$dir" "${flags[@]}" "$file"; then
    echo "cross-check-windows: $file does not compile for Windows" >&2
    return 1
  fi
}
export -f compile_one
export cxx
export includes_joined="${includes[*]}"

existing=()
for file in "${sources[@]}"; do
  [ -f "$file" ] && existing+=("$file")
done
jobs=$(nproc 2>/dev/null || echo 2)
if ! printf '%s\n' "${existing[@]}" |
     xargs -P "$jobs" -I{} bash -c 'includes=($includes_joined); compile_one "$1"' _ {}; then
  exit 1
fi
echo "cross-check-windows: ${#existing[@]} sources compile for Windows"
