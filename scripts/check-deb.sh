#!/usr/bin/env bash
# Builds the .deb from a configured build folder (default build/test) and checks that it holds
# the programs, the two libraries, the launcher, the icon, the AppStream file, the watcher's
# systemd user unit (not enabled) and every page and picture of the user manual, depends on the Qt
# runtime, and carries the project's version.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/test}

cmake --build "$build" --target package >/dev/null
deb=$(ls -t "$build"/tavon-datalogging_*.deb | head -1)
version=$(sed -n 's/^project([^)]*VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)

fail=0
contents=$(dpkg-deb --contents "$deb")
for path in ./usr/bin/tavon-datalogging ./usr/bin/tavon-datalog ./usr/bin/tavon-instrument \
            ./usr/lib/tavon-datalogging/libLinkSelect.so ./usr/lib/tavon-datalogging/libMeterTalk.so \
            ./usr/share/applications/com.tavon.datalogging.desktop \
            ./usr/share/pixmaps/tavon-datalogging.xpm \
            ./usr/share/metainfo/com.tavon.datalogging.metainfo.xml \
            ./usr/lib/systemd/user/tavon-datalog-watch.service; do
  if ! grep -q " $path\$" <<<"$contents"; then
    echo "check-deb: $deb lacks $path" >&2
    fail=1
  fi
done
# The user manual, every page and picture of docs/manual, and the history format its audit page
# links to.
doc=./usr/share/doc/tavon-datalogging
paths=$(awk '{print $NF}' <<<"$contents")
while IFS= read -r -d '' file; do
  path=$doc/manual/${file#docs/manual/}
  if ! grep -qxF "$path" <<<"$paths"; then
    echo "check-deb: $deb lacks $path (the manual's ${file#docs/manual/})" >&2
    fail=1
  fi
done < <(find docs/manual -type f -print0)
if ! grep -qxF "$doc/history-format.md" <<<"$paths"; then
  echo "check-deb: $deb lacks $doc/history-format.md" >&2
  fail=1
fi
# The unit runs the packaged program and is left for the user to enable: no link in a .wants
# folder, no maintainer script that enables it.
unit=$(dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/lib/systemd/user/tavon-datalog-watch.service 2>/dev/null || true)
if ! grep -q '^ExecStart=/usr/bin/tavon-datalog watch' <<<"$unit"; then
  echo "check-deb: the unit tavon-datalog-watch.service does not run /usr/bin/tavon-datalog watch" >&2
  fail=1
fi
if grep -q '\.wants/' <<<"$contents" ||
   dpkg-deb --ctrl-tarfile "$deb" | tar -xO 2>/dev/null | grep -q 'systemctl.*enable'; then
  echo "check-deb: $deb enables a service; the watcher's unit must stay off until the user enables it" >&2
  fail=1
fi
depends=$(dpkg-deb --field "$deb" Depends)
for dependency in libqt6core6 libqt6widgets6 libqt6network6 libqt6serialport6 qt6-qpa-plugins; do
  if ! grep -q "$dependency" <<<"$depends"; then
    echo "check-deb: $deb does not depend on $dependency (Depends: $depends)" >&2
    fail=1
  fi
done
if [ "$(dpkg-deb --field "$deb" Version)" != "$version" ]; then
  echo "check-deb: $deb has version $(dpkg-deb --field "$deb" Version), not $version" >&2
  fail=1
fi
[ "$fail" -eq 0 ] && echo "check-deb: $(basename "$deb") holds what it must"
exit "$fail"
