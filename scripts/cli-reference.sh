#!/usr/bin/env bash
# Writes the manual's command-line reference, docs/manual/command-line.md, from the programs' own
# --help texts: tavon-datalog, each of its commands and each archive subcommand, tavon-watch and
# tavon-instrument. With --check it writes nothing and fails, showing the difference, when the
# page is not what the programs print now (the test command runs it so: a help text changed
# without the page, or the page edited by hand).
#
# Usage: scripts/cli-reference.sh [--check] [BIN_DIR]
#   BIN_DIR  the folder of the built programs (default: the first of build/dev/bin,
#            build/test/bin and build/run/bin that holds them)
set -euo pipefail
cd "$(dirname "$0")/.."
page=docs/manual/command-line.md

check=0
if [ "${1:-}" = --check ]; then
  check=1
  shift
fi
bin=${1:-}
if [ -z "$bin" ]; then
  for candidate in build/dev/bin build/test/bin build/run/bin; do
    if [ -x "$candidate/tavon-datalog" ]; then
      bin=$candidate
      break
    fi
  done
fi
for program in tavon-datalog tavon-watch tavon-instrument; do
  if [ -z "$bin" ] || [ ! -x "$bin/$program" ]; then
    echo "cli-reference: $program is not built${bin:+ in $bin} (build it, or name its folder)" >&2
    exit 2
  fi
done
bin=$(cd "$bin" && pwd)

work=$(mktemp -d "${TMPDIR:-/tmp}/tavon-cli-reference-XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -m 700 "$work/run"

# Each program as a user would type its name, in an environment of its own: the texts must not
# depend on who runs them, where, or in which zone and language.
help_of() {
  (cd "$work" && env -i PATH="$bin:/usr/bin:/bin" HOME="$work" XDG_RUNTIME_DIR="$work/run" \
     LANG=C.UTF-8 LC_ALL=C.UTF-8 TZ=UTC QT_QPA_PLATFORM=offscreen \
     ${LSAN_OPTIONS:+LSAN_OPTIONS="$LSAN_OPTIONS"} ${ASAN_OPTIONS:+ASAN_OPTIONS="$ASAN_OPTIONS"} \
     "$@" 2>/dev/null)
}

block() { # heading, command...
  local heading=$1
  shift
  printf '%s\n\n    $ %s --help\n\n' "$heading" "$*"
  help_of "$@" --help | sed -e 's/[[:space:]]*$//' -e 's/^/    /' -e 's/^    $//'
  printf '\n'
}

{
  cat <<'TEXT'
# Command-line reference

The programs' own help, as `--help` prints it: `tavon-datalog` and each of its commands, each
`archive` subcommand, the watcher `tavon-watch` and the simulated instrument `tavon-instrument`.
This page is made from those texts by `scripts/cli-reference.sh`, and the test command fails when
it is not what the programs print: change the help text, then run the script.

What each command is for, with examples: [Connecting and downloading](connecting.md),
[Reading a report](reports.md), [Charts](charts.md), [The map](map.md), [Exports](exports.md),
[The archive](archive.md), [The instruments register](instruments.md),
[Unattended downloads](unattended.md), [Merging archives](merging.md),
[The audit trail](audit-trail.md). What their messages mean:
[Troubleshooting](troubleshooting.md).

## tavon-datalogging

The program with its window takes no options but two: `--tiles FILE.mbtiles` draws the maps of
this run on the tiles of that MBTiles file, over what View > Map Background... chose, and
`--version` prints its version and exits.

TEXT
  block "## tavon-datalog" tavon-datalog
  commands=$(help_of tavon-datalog --help | sed -n 's/^  tavon-datalog \([a-z][a-z-]*\).*/\1/p')
  for command in $commands; do
    block "## tavon-datalog $command" tavon-datalog "$command"
    if [ "$command" = archive ]; then
      parts=$(help_of tavon-datalog archive --help | sed -n 's/^  archive \([a-z][a-z-]*\).*/\1/p')
      for part in $parts; do
        block "### tavon-datalog archive $part" tavon-datalog archive "$part"
      done
    fi
  done
  block "## tavon-watch" tavon-watch
  block "## tavon-instrument" tavon-instrument
} >"$work/page.md"

if ! grep -q '^    Usage: tavon-datalog archive import' "$work/page.md"; then
  echo "cli-reference: the help texts could not be read from $bin" >&2
  exit 1
fi
if [ "$check" = 1 ]; then
  if ! diff -u "$page" "$work/page.md" >"$work/diff"; then
    head -n 60 "$work/diff" >&2
    echo "cli-reference: $page is not what the programs' --help texts say now:" \
      "run scripts/cli-reference.sh $bin" >&2
    exit 1
  fi
  echo "cli-reference: $page is what the programs' --help texts say"
  exit 0
fi
cp "$work/page.md" "$page"
echo "cli-reference: wrote $page"
