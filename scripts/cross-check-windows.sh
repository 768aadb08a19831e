#!/usr/bin/env bash
# Compiles the sources that have Windows-only code (and no Qt, for which there is no Windows build
# here) with the MinGW cross compiler, so that the Windows build cannot rot unseen. Syntax and
# types only: nothing is linked or written. Fails when any of them does not compile.
set -euo pipefail
cd "$(dirname "$0")/.."

cxx=x86_64-w64-mingw32-g++-posix
if ! command -v "$cxx" >/dev/null 2>&1; then
  echo "cross-check-windows: $cxx not found (Debian package g++-mingw-w64-x86-64-posix)" >&2
  exit 1
fi

modules=(orvtime report recbuild linkselect metertalk app cli sim)

# Always: the Windows implementations of the platform layer and the plain C++ they sit beside.
sources=(
  linkselect/src/Win32Registry.cpp
  linkselect/src/Settings.cpp
  linkselect/src/MemoryRegistry.cpp
  linkselect/src/PortDiscovery.cpp
  linkselect/src/PortDialogLogic.cpp
)
# And every other plain C++ source of the modules that has a Windows branch.
while IFS= read -r file; do
  case " ${sources[*]} " in *" $file "*) continue ;; esac
  if grep -qE '^[[:space:]]*#[[:space:]]*include[[:space:]]*<Q' "$file"; then
    continue
  fi
  sources+=("$file")
done < <(for m in "${modules[@]}"; do
           [ -d "$m" ] && grep -rlE '_WIN32|Win32' --include='*.cpp' "$m" || true
         done | sort)

includes=()
for dir in */include */*/include; do
  [ -d "$dir" ] && includes+=("-I$dir")
done

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
  [ "$module" = linkselect ] && flags+=(-Werror)
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
