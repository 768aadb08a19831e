#!/usr/bin/env bash
# Installs the Debian 12 packages that building and testing need, and only those that are missing.
# Idempotent: when everything is there it asks apt nothing and returns at once.
set -euo pipefail

packages=(
  build-essential                 # g++ 12, make
  cmake                           # the build
  qt6-base-dev                    # Qt Core, Gui, Widgets, Network (local sockets), Test
  qt6-serialport-dev              # QSerialPort for cable and Bluetooth serial links
  libqt6sql6-sqlite               # the archive's embedded database (QSQLITE)
  libqt6sql6-psql                 # the archive on a PostgreSQL server (QPSQL)
  postgresql                      # a private server for the archive tests (scripts/with-postgres.sh)
  openssl                         # the private server's TLS certificate (scripts/postgres-tls.sh)
  libqcustomplot-dev              # session charts (QCustomPlot for Qt 6; PrintSupport comes with qt6-base-dev)
  libsodium-dev                   # Ed25519 signatures on the archive's history rows
  pkg-config                      # finds libsodium for CMake
  poppler-utils                   # pdftotext and pdftoppm: the tests read back the PDFs we write
  libgtest-dev libgmock-dev       # unit tests
  libbenchmark-dev                # benchmarks in bench/
  socat                           # pseudo-terminal pairs for serial-link tests
  dbus                            # dbus-daemon: a private bus for the Bluetooth discovery tests
  gdal-bin                        # ogrinfo reads the exported GeoJSON and GPX back in a test
  libxml2-utils                   # xmllint checks the exported GPX
  python3                         # its csv module reads the exported CSV back in a test
  python3-cryptography            # Ed25519 for scripts/verify-history.py, which a test runs on tampered archives
  g++-mingw-w64-x86-64-posix      # cross-compiles the Windows-only sources so they cannot rot unseen
  clang-format-14                 # the test command fails on a source it would change
  googletest                      # GoogleTest's sources, cross-built for the Windows tests
  wine wine64                     # runs the Windows build of the tests
  file                            # CPack's .deb generator sorts binaries with it
)
if [ "$#" -gt 0 ]; then packages+=("$@"); fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ "${#missing[@]}" -eq 0 ] && exit 0

SUDO=
if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; fi
echo "Installing: ${missing[*]}" >&2
$SUDO apt-get -o DPkg::Lock::Timeout=600 update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
