#!/usr/bin/env bash
# Smoke test of the Windows build (scripts/build-windows.sh) under Wine and Xvfb:
#  1. from the zip (which must hold the user manual): tavon-instrument.exe serves "\\.\pipe\RAK Pipe", tavon-datalog.exe download
#     fetches every session, and its reports and tree equal the Linux build's byte for byte;
#  2. the Windows serial link: tavon-datalog.exe downloads through COM7, which Wine maps to the
#     pseudo-terminal of the Linux simulator; same reports again;
#  3. tavon-datalogging.exe starts, connects over the pipe, GO fills the tree, a session shows
#     its report; a screenshot goes to docs/windows-smoke.png, and one of its Map tab to
#     docs/windows-smoke-map.png;
#  4. the installer installs silently (/S) and the installed tavon-datalog.exe passes step 1;
#  5. its option "Download instruments automatically when they are connected" (selected by
#     default, so /S has it) left the Startup shortcut to tavon-watch.exe; the installed
#     tavon-watch.exe --once files every day of the simulator (the reports equal Linux's); the
#     uninstaller removes the shortcut.
#  6. the team archive: tavon-datalog.exe downloads into a private PostgreSQL server on this
#     machine over TCP (127.0.0.1) that requires TLS (sslmode=require; a connection without TLS is
#     refused), and its archive list of that server equals the Linux build's;
#  7. the van's archive into the team's: tavon-datalog.exe archive sync copies the Windows
#     archive (SQLite) into a new database on that server over TLS, whose list equals the Linux
#     build's, a second sync changes nothing, and verify --against the van's archive passes.
# The Linux programs come from $TAVON_LINUX_BIN (default build/package/bin, else /usr/bin).
# Each step says where it failed; the script ends with the first failure.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)

# The NSIS installer is a 32-bit program, which Wine runs with its 32-bit half (i386 packages).
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  if [ "$(id -u)" -ne 0 ]; then sudo dpkg --add-architecture i386; else dpkg --add-architecture i386; fi
fi
bash scripts/install-deps.sh wine wine64 wine32:i386 xvfb xdotool imagemagick unzip socat
# Some kernels run no 32-bit programs (a virtual machine may have that turned off). Wine's 32-bit
# half cannot start there, and while it is installed Wine's launcher takes it for every program,
# the 64-bit ones too: it is taken off again, and the installer's steps (4 and 5) are left out.
installer_steps=1
if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  installer_steps=0
  if [ "$(id -u)" -ne 0 ]; then sudo apt-get remove -y -qq wine32:i386 libwine:i386 >/dev/null
  else apt-get remove -y -qq wine32:i386 libwine:i386 >/dev/null; fi
  echo "smoke-windows: this kernel runs no 32-bit programs, so neither the installer (one of" \
    "them) nor Wine's 32-bit half can run here: steps 4 and 5 are left out"
fi

version=$(sed -n 's/^project([^)]*VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
zip=$repo/dist/tavon-datalogging-$version-windows-x64.zip
installer=$repo/dist/tavon-datalogging-$version-windows-x64.exe
linux_bin=${TAVON_LINUX_BIN:-$repo/build/package/bin}
[ -x "$linux_bin/tavon-datalog" ] || linux_bin=/usr/bin
pg_bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
for f in "$zip" "$installer" "$linux_bin/tavon-datalog" "$linux_bin/tavon-instrument" \
         "$pg_bin/initdb"; do
  [ -e "$f" ] || { echo "smoke-windows: $f is missing (run scripts/build-windows.sh)" >&2; exit 1; }
done

work=$repo/build/windows-smoke
rm -rf "$work" && mkdir -p "$work/tmp"
export WINEPREFIX=$work/wine WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export TMPDIR=$work/tmp
# tavon-datalog's downloads at five times the instrument's pace: the same conversation, sooner.
export TAVON_TICK_MS=20

pids=()
pg_stop=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wineserver -k 2>/dev/null || true
  if [ ${#pg_stop[@]} -gt 0 ]; then "${pg_stop[@]}" >/dev/null 2>&1 || true; fi
  if [ -n "${pg_dir:-}" ]; then rm -rf "$pg_dir"; fi
}
trap cleanup EXIT
fail() { echo "smoke-windows: FAILED at $*" >&2; exit 1; }

# Starts a program in the background and waits for its "ready:" line; prints that line.
start_ready() { # log, command...
  local log=$1
  shift
  "$@" >"$log" 2>&1 &
  pids+=($!)
  for _ in $(seq 600); do
    if grep -q '^ready:' "$log" 2>/dev/null; then
      grep -m1 '^ready:' "$log" | tr -d '\r'
      return 0
    fi
    sleep 0.1
  done
  return 1
}
stop_last() {
  kill "${pids[-1]}" 2>/dev/null || true
  wait "${pids[-1]}" 2>/dev/null || true
  unset 'pids[-1]'
}

# One X display for every Wine process from the start: the first one to run brings up Wine's
# desktop, with the display it was given, and the program's window goes there.
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x1024x24 >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display
sleep 2
wineboot -i >/dev/null 2>&1

# --- The Linux build's reports, the reference --------------------------------------------------
# Its archive stays in the work folder, away from the user's own.
start_ready "$work/linux-instrument.log" "$linux_bin/tavon-instrument" >/dev/null ||
  fail "starting the Linux simulator (see $work/linux-instrument.log)"
XDG_DATA_HOME=$work/linux-data "$linux_bin/tavon-datalog" download --pipe \
  --out "$work/linux-reports" --dump "$work/linux-dump.txt" --quiet >"$work/linux-tree.txt" ||
  fail "the Linux download"
stop_last
count=$(ls "$work/linux-reports" | wc -l)
echo "smoke-windows: Linux reference: $count reports"

# --- 1. Pipe, from the zip -----------------------------------------------------------------------
unzip -q "$zip" -d "$work/zip"
app=$work/zip/tavon-datalogging-$version-windows-x64
# Every DLL that a program or library of the zip imports is in the zip or is one of Windows' own
# (Wine's system folder holds a stand-in of each; API sets, api-ms-win-*, are the loader's).
system32=$WINEPREFIX/drive_c/windows/system32
while read -r dll; do
  [ -n "$(find "$app" "$system32" -maxdepth 2 -iname "$dll" -print -quit)" ] ||
    fail "the zip lacks $dll, which its programs import"
done < <(find "$app" -iname '*.exe' -o -iname '*.dll' | xargs -d '\n' x86_64-w64-mingw32-objdump -p |
         sed -n 's/^\s*DLL Name: //p' | grep -iv '^api-ms-win-' | sort -u)
for f in sqldrivers/qsqlite.dll sqldrivers/qsqlpsql.dll libpq.dll imageformats/qjpeg.dll \
         tls/qschannelbackend.dll; do
  [ -f "$app/$f" ] || fail "the zip lacks $f"
done
# The user manual, every page and picture of it, beside the programs.
while IFS= read -r -d '' f; do
  [ -f "$app/manual/${f#docs/manual/}" ] || fail "the zip lacks manual/${f#docs/manual/}"
done < <(find docs/manual -type f -print0)
cd "$app"
start_ready "$work/win-instrument.log" wine tavon-instrument.exe >/dev/null ||
  fail "wine tavon-instrument.exe (see $work/win-instrument.log)"
wine tavon-datalog.exe download --pipe --out pipe-reports --quiet >"$work/pipe-tree.txt" ||
  fail "wine tavon-datalog.exe download --pipe"
# The tree is text on standard output: Windows ends its lines with CR LF.
diff <(tr -d '\r' <"$work/pipe-tree.txt") "$work/linux-tree.txt" >/dev/null ||
  fail "the session tree over the pipe differs from Linux's"
diff -r pipe-reports "$work/linux-reports" || fail "reports over the pipe differ from Linux's"
# The download kept its sessions in the archive (SQLite, in the user's application data).
wine tavon-datalog.exe archive stats >"$work/archive-stats.txt" ||
  fail "wine tavon-datalog.exe archive stats"
echo "smoke-windows: 1. pipe: $count reports equal to Linux's byte for byte; archive:" \
  "$(tr -d '\r' <"$work/archive-stats.txt" | head -1)"

# --- 3. The program over the pipe, while the Windows simulator still serves it ---------------
wine tavon-datalogging.exe >"$work/gui.log" 2>&1 &
pids+=($!)
window=
for _ in $(seq 300); do
  window=$(xdotool search --name '^Tavon Datalogger$' 2>/dev/null | head -1) && [ -n "$window" ] &&
    break
  sleep 0.2
done
[ -n "$window" ] || fail "tavon-datalogging.exe showed no main window (see $work/gui.log)"
# Without a window manager the window has no frame: GO sits 45,40 from its corner, the first day
# of the tree 76,89. The start-up and the index come at the instrument's pace.
sleep 10
xdotool mousemove --window "$window" 45 40 click 1
sleep 30
# The first day, opened, and its first session, with the keyboard.
xdotool mousemove --window "$window" 76 89 click 1
xdotool key --window "$window" Right Down 2>/dev/null
sleep 10
mkdir -p "$repo/docs"
import -window "$window" "$repo/docs/windows-smoke.png"
# The Map tab, third after Report and Chart: the session shown has positions, so more than the
# grid's few colours must show where the map stands.
xdotool mousemove --window "$window" 365 65 click 1
sleep 5
import -window "$window" "$repo/docs/windows-smoke-map.png"
colours=$(convert "$repo/docs/windows-smoke-map.png" -crop 770x640+228+75 -unique-colors -format %w info:)
[ "$colours" -gt 20 ] || fail "the Map tab drew only its grid or nothing (docs/windows-smoke-map.png)"
echo "smoke-windows: 3. program: screenshots in docs/windows-smoke.png and docs/windows-smoke-map.png"
kill "${pids[-1]}" 2>/dev/null || true
unset 'pids[-1]'
stop_last # the simulator
cd "$repo"

# --- 2. The Windows serial link through COM7 to the Linux simulator's pseudo-terminal ---------
ready=$(start_ready "$work/pty-instrument.log" "$linux_bin/tavon-instrument" --pty) ||
  fail "starting the Linux simulator on a pseudo-terminal"
pty=${ready#ready: pty }
wine reg add 'HKLM\Software\Wine\Ports' /v COM7 /t REG_SZ /d "$pty" /f >/dev/null
wineserver -k # the port table is read when the server starts
# Without the archive, which holds every session by now: each one is uploaded over the line.
(cd "$app" && wine tavon-datalog.exe download --port COM7 --no-archive --out "$work/com-reports" \
  --quiet >"$work/com-tree.txt") || fail "wine tavon-datalog.exe download --port COM7 ($pty)"
diff -r "$work/com-reports" "$work/linux-reports" || fail "reports over COM7 differ from Linux's"
stop_last
echo "smoke-windows: 2. serial: $count reports over COM7 equal to Linux's"

if [ "$installer_steps" -eq 1 ]; then
  # --- 4. The installer, silently, and the installed program ------------------------------------
  wine "$installer" /S || fail "wine $(basename "$installer") /S"
  installed="$WINEPREFIX/drive_c/Program Files/Tavon Datalogging"
  menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Tavon Datalogging $version"
  for f in "$installed/tavon-datalogging.exe" "$installed/platforms/qwindows.dll" \
           "$installed/sqldrivers/qsqlpsql.dll" "$installed/libpq.dll" \
           "$installed/Uninstall.exe" "$menu/Tavon Datalogging.lnk"; do
    [ -f "$f" ] || fail "the installer left no $f"
  done
  cd "$installed"
  start_ready "$work/inst-instrument.log" wine tavon-instrument.exe >/dev/null ||
    fail "the installed tavon-instrument.exe"
  wine tavon-datalog.exe download --pipe --no-archive --out "$work/installed-reports" --quiet \
    >/dev/null ||
    fail "the installed tavon-datalog.exe download --pipe"
  diff -r "$work/installed-reports" "$work/linux-reports" ||
    fail "the installed program's reports differ from Linux's"
  echo "smoke-windows: 4. installer: installed silently; its reports equal Linux's"

  # --- 5. The watcher option: its Startup shortcut, tavon-watch.exe --once, and the uninstaller --
  startup="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/StartUp"
  shortcut="$startup/Tavon Datalogging watcher.lnk"
  [ -f "$shortcut" ] || fail "the installer left no $shortcut"
  [ -f "$installed/tavon-watch.exe" ] || fail "the installer left no tavon-watch.exe"
  # The shortcut starts the watcher quietly in the program's own folder among the documents.
  strings -el "$shortcut" | grep -qx -- '--quiet' || fail "the Startup shortcut does not pass --quiet"
  strings -el "$shortcut" | grep -q 'Documents\\Tavon Datalogging$' ||
    fail "the Startup shortcut does not start in the program's documents folder"
  # Against the simulator that still serves the pipe, with an archive of its own (the user's holds
  # every session by now), as the shortcut would start it but once.
  mkdir -p "$work/watch-run"
  (cd "$work/watch-run" && wine "$installed/tavon-watch.exe" --once --quiet --pipe \
    --archive watch-archive.sqlite --out 'reports/{instrument}/{date}' --log watch.log) ||
    fail "the installed tavon-watch.exe --once --pipe (see $work/watch-run/watch.log)"
  stop_last
  filed=0
  while IFS= read -r report; do
    cmp -s "$report" "$work/linux-reports/$(basename "$report")" ||
      fail "tavon-watch.exe's $report differs from Linux's"
    filed=$((filed + 1))
  done < <(find "$work/watch-run/reports" -name '*.rtf')
  expected=$(find "$work/linux-reports" -name '*.rtf' | wc -l)
  [ "$filed" -eq "$expected" ] && [ "$filed" -gt 0 ] ||
    fail "tavon-watch.exe filed $filed day reports, Linux's download $expected"
  wine "$installed/Uninstall.exe" /S
  # The uninstaller goes on from a copy of itself, after this returns.
  for _ in $(seq 600); do
    [ -e "$shortcut" ] || [ -e "$installed/tavon-watch.exe" ] || break
    sleep 0.1
  done
  [ ! -e "$shortcut" ] || fail "the uninstaller left $shortcut"
  [ ! -e "$installed/tavon-watch.exe" ] || fail "the uninstaller left tavon-watch.exe"
  echo "smoke-windows: 5. watcher option: Startup shortcut made; tavon-watch.exe --once filed" \
    "$filed days equal to Linux's; the uninstaller removed both"
  cd "$repo"
fi

# --- 6. The team archive: PostgreSQL over TCP and TLS ------------------------------------------
# A private cluster, as scripts/with-postgres.sh --tls makes for the tests, listening on
# 127.0.0.1 (Windows programs under Wine cannot reach a Unix socket) and refusing every TCP
# connection without TLS, as a team's server on a public network does. Trust for local
# connections only. The server refuses to run as root: as root it runs as the postgres user.
as_server=()
if [ "$(id -u)" -eq 0 ]; then as_server=(runuser -u postgres --); fi
pg_dir=$(mktemp -d /tmp/tavon-smoke-pg.XXXXXX)
chmod 755 "$pg_dir"
if [ "$(id -u)" -eq 0 ]; then chown postgres: "$pg_dir"; fi
"${as_server[@]}" "$pg_bin/initdb" -D "$pg_dir/data" -A trust -U tavon -E UTF8 \
  >"$work/initdb.log" 2>&1 || fail "initdb (see $work/initdb.log)"
"$repo/scripts/postgres-tls.sh" "$pg_dir/data" "$work/team-root.crt" || fail "the server's TLS"
# A TCP port may be taken by another program: a few are tried.
pg_port=
for _ in 1 2 3 4 5; do
  port=$((20000 + RANDOM % 20000))
  if "${as_server[@]}" "$pg_bin/pg_ctl" -D "$pg_dir/data" -l "$pg_dir/server.log" -w -t 60 \
       -o "-k $pg_dir -p $port -c listen_addresses=127.0.0.1 -c fsync=off" start >/dev/null; then
    pg_port=$port
    break
  fi
done
[ -n "$pg_port" ] || fail "starting PostgreSQL on 127.0.0.1 (see $pg_dir/server.log)"
pg_stop=("${as_server[@]}" "$pg_bin/pg_ctl" -D "$pg_dir/data" -m immediate -w stop)
"$pg_bin/createdb" -h 127.0.0.1 -p "$pg_port" -U tavon tavon || fail "createdb over TCP"
team="postgresql://tavon@127.0.0.1:$pg_port/tavon?sslmode=require"

cd "$app"
# Without TLS the server says no: what follows goes over TLS, the Windows client library's own.
wine tavon-datalog.exe archive stats --archive "postgresql://tavon@127.0.0.1:$pg_port/tavon?sslmode=disable" \
  >/dev/null 2>"$work/team-plain.log" && fail "the server took a connection without TLS"
grep -q "no encryption" "$work/team-plain.log" ||
  { tr -d '\r' <"$work/team-plain.log" >&2; fail "the refusal of a connection without TLS"; }
start_ready "$work/team-instrument.log" wine tavon-instrument.exe >/dev/null ||
  fail "wine tavon-instrument.exe for the team archive"
wine tavon-datalog.exe download --pipe --archive "$team" --out "$work/team-reports" --quiet \
  >/dev/null 2>"$work/team-download.log" || {
  tr -d '\r' <"$work/team-download.log" >&2
  fail "wine tavon-datalog.exe download --pipe --archive $team"
}
stop_last
diff -r "$work/team-reports" "$work/linux-reports" ||
  fail "reports downloaded into the team archive differ from Linux's"
wine tavon-datalog.exe archive list --format csv --archive "$team" >"$work/team-list-windows.txt" ||
  fail "wine tavon-datalog.exe archive list --archive $team"
cd "$repo"
"$linux_bin/tavon-datalog" archive list --format csv --archive "$team" >"$work/team-list-linux.txt" ||
  fail "the Linux tavon-datalog archive list --archive $team"
# Windows ends the lines that its C library writes in text mode with CR LF.
diff <(tr -d '\r' <"$work/team-list-windows.txt") <(tr -d '\r' <"$work/team-list-linux.txt") ||
  fail "the Windows program's list of the team archive differs from Linux's"
# And the team archive holds what the Linux build kept of the same instrument in its own.
XDG_DATA_HOME=$work/linux-data "$linux_bin/tavon-datalog" archive list --format csv \
  >"$work/linux-list.txt" || fail "the Linux tavon-datalog archive list"
diff "$work/team-list-linux.txt" "$work/linux-list.txt" ||
  fail "the team archive's sessions differ from the Linux download's"
sessions=$(($(wc -l <"$work/team-list-linux.txt") - 1)) # less the CSV header
[ "$sessions" -gt 0 ] || fail "the team archive lists no session"
echo "smoke-windows: 6. team archive: downloaded into $team (PostgreSQL over TCP, TLS required);" \
  "its list of $sessions sessions (CSV) equals the Linux build's"

# --- 7. The van's archive synced into the team's --------------------------------------------
# The Windows archive of steps 1 to 3 (SQLite, in the user's application data) into a database of
# its own on the server, so that every session is new there.
van='C:\users\'"$(whoami)"'\AppData\Roaming\Tavon Datalogging\archive.sqlite'
"$pg_bin/createdb" -h 127.0.0.1 -p "$pg_port" -U tavon synced || fail "createdb synced"
synced="postgresql://tavon@127.0.0.1:$pg_port/synced?sslmode=require"
cd "$app"
for run in first second; do
  wine tavon-datalog.exe archive sync --from "$van" --to "$synced" >"$work/sync-$run.txt" \
    2>"$work/sync-$run.log" || {
    tr -d '\r' <"$work/sync-$run.log" >&2
    fail "wine tavon-datalog.exe archive sync --from the van's archive ($run run)"
  }
done
wine tavon-datalog.exe archive verify --against "$van" --archive "$synced" \
  >"$work/sync-verify.txt" 2>&1 || {
  tr -d '\r' <"$work/sync-verify.txt" >&2
  fail "wine tavon-datalog.exe archive verify --against the van's archive"
}
cd "$repo"
"$linux_bin/tavon-datalog" archive list --format csv --archive "$synced" >"$work/synced-list.txt" ||
  fail "the Linux tavon-datalog archive list --archive $synced"
diff "$work/synced-list.txt" "$work/linux-list.txt" ||
  fail "the sessions synced from the Windows archive differ from the Linux download's"
first=$(tr -d '\r' <"$work/sync-first.txt" | tail -n 1)
second=$(tr -d '\r' <"$work/sync-second.txt" | tail -n 1)
case "$second" in *" 0 sessions new"*) ;; *) fail "the second sync was not empty: $second" ;; esac
echo "smoke-windows: 7. van to team: $first; again: $second; verify --against the van: passed"
if [ "$installer_steps" -eq 1 ]; then
  echo "smoke-windows: passed"
else
  echo "smoke-windows: passed, steps 4 and 5 left out (no 32-bit programs on this kernel)"
fi
