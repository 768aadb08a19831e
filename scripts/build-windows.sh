#!/usr/bin/env bash
# Builds Tavon Datalogging for 64-bit Windows on Debian 12 and packs it: an NSIS installer and
# dist/tavon-datalogging-<version>-windows-x64.zip.
#
# Debian has no Qt for Windows, so the first run cross-builds Qt's base modules (with SQLite and
# PostgreSQL's client library, libpq, for the Qt SQL drivers, and QCustomPlot), OpenSSL for
# libpq's TLS and libsodium from Debian's own source packages into a cache folder outside the
# work tree; later runs find them there and only build the project.
#
#   scripts/build-windows.sh             everything
#   scripts/build-windows.sh --qt-only   only the cached third-party stage
#
# The cache folder is $TAVON_WINDOWS_CACHE, or $XDG_CACHE_HOME/tavon-windows (~/.cache/...).
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)

qt_only=0
[ "${1:-}" = --qt-only ] && qt_only=1

cache=${TAVON_WINDOWS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tavon-windows}
mkdir -p "$cache"
# Qt refuses to build in a path that goes through a symbolic link.
cache=$(cd "$cache" && pwd -P)
src=$cache/src
prefix=$cache/qt6-mingw
toolchain=$repo/cmake/mingw-w64-x86_64.cmake
jobs=${TAVON_JOBS:-2}
mkdir -p "$src" "$prefix"

say() { echo "build-windows: $*" >&2; }

SUDO=
[ "$(id -u)" -ne 0 ] && SUDO=sudo

# --- Tools -----------------------------------------------------------------------------------
"$repo/scripts/install-deps.sh" ninja-build qt6-base-dev-tools dpkg-dev tcl nsis zip \
  g++-mingw-w64-x86-64-posix autoconf automake libtool

# --- Source packages -------------------------------------------------------------------------
# apt-get source needs deb-src entries; they mirror the system's own list.
ensure_source_list() {
  local sys=/etc/apt/sources.list.d/debian.sources out=/etc/apt/sources.list.d/debian-src.sources
  [ -f "$out" ] && return 0
  if [ ! -f "$sys" ]; then
    say "no $sys to derive a deb-src list from; add deb-src lines for bookworm yourself"
    exit 1
  fi
  sed 's/^Types: deb$/Types: deb-src/' "$sys" | $SUDO tee "$out" >/dev/null
  $SUDO apt-get update -qq
}

fetch_source() { # package, the folder it unpacks to (glob)
  local pkg=$1 pattern=$2
  if compgen -G "$src/$pattern" >/dev/null; then return 0; fi
  ensure_source_list
  say "fetching the source of $pkg"
  (cd "$src" && apt-get source -qq "$pkg" >/dev/null 2>"$src/$pkg.fetch.log") || {
    say "apt-get source $pkg failed: see $src/$pkg.fetch.log"
    exit 1
  }
}

# The newest version of a package is often listed from the security archive, whose sources are
# not served: each listed version is tried, newest first, until one is fetched.
fetch_newest() { # package, the folder it unpacks to (glob)
  local pkg=$1 pattern=$2 v
  if compgen -G "$src/$pattern" >/dev/null; then return 0; fi
  ensure_source_list
  for v in $(apt-cache showsrc "$pkg" | sed -n 's/^Version: //p' | sort -urV); do
    say "fetching the source of $pkg $v"
    if (cd "$src" && apt-get source -qq "$pkg=$v" >/dev/null 2>"$src/$pkg.fetch.log"); then
      return 0
    fi
  done
  say "apt-get source $pkg failed for every listed version: see $src/$pkg.fetch.log"
  exit 1
}

fetch_source qt6-base 'qt6-base-6*/'
fetch_source sqlite3 'sqlite3-3*/'
fetch_source qcustomplot 'qcustomplot-2*/'
fetch_source libsodium 'libsodium-1*/'
fetch_newest postgresql-15 'postgresql-15-*/'
fetch_newest openssl 'openssl-3*/'
qt_src=$(compgen -G "$src/qt6-base-6*/" | head -1)
sqlite_src=$(compgen -G "$src/sqlite3-3*/" | head -1)
qcp_src=$(compgen -G "$src/qcustomplot-2*/" | head -1)
pg_src=$(compgen -G "$src/postgresql-15-*/" | head -1)
sodium_src=$(compgen -G "$src/libsodium-1*/" | head -1)
ssl_src=$(compgen -G "$src/openssl-3*/" | head -1)

# --- SQLite, for Qt's SQLite driver ---------------------------------------------------------
# Debian's tarball is SQLite's source tree: its one-file form is generated on the host (needs
# tclsh), then compiled for Windows into a static library that the driver plugin links in.
if [ ! -f "$prefix/lib/libsqlite3.a" ]; then
  say "building SQLite for Windows"
  rm -rf "$cache/sqlite-build" && mkdir -p "$cache/sqlite-build"
  (cd "$cache/sqlite-build" && "$sqlite_src/configure" --disable-tcl >configure.log 2>&1 &&
     make -j"$jobs" sqlite3.c >make.log 2>&1)
  x86_64-w64-mingw32-gcc-posix -O2 -c -DSQLITE_ENABLE_COLUMN_METADATA -DSQLITE_THREADSAFE=1 \
    -DSQLITE_OMIT_LOAD_EXTENSION "$cache/sqlite-build/sqlite3.c" -o "$cache/sqlite-build/sqlite3.o"
  mkdir -p "$prefix/lib" "$prefix/include"
  x86_64-w64-mingw32-ar rcs "$prefix/lib/libsqlite3.a" "$cache/sqlite-build/sqlite3.o"
  cp "$cache/sqlite-build/sqlite3.h" "$prefix/include/"
fi

# --- OpenSSL, for libpq's TLS ----------------------------------------------------------------
# Static libraries that libpq.dll takes in whole: a van reaches the team's server over a public
# network with sslmode=require, and there are no OpenSSL DLLs to ship or to find at run time.
ssl_prefix=$cache/openssl-mingw
if [ ! -f "$ssl_prefix/lib/libssl.a" ]; then
  say "building OpenSSL for Windows (log: $cache/openssl-build.log)"
  rm -rf "$cache/openssl-build" && mkdir -p "$cache/openssl-build"
  (
    cd "$cache/openssl-build"
    CC=gcc-posix "$ssl_src/Configure" mingw64 --cross-compile-prefix=x86_64-w64-mingw32- \
      --prefix="$ssl_prefix" --libdir=lib no-shared no-tests no-engine no-module &&
      make -j"$jobs" build_libs && make install_dev
  ) >"$cache/openssl-build.log" 2>&1 || { say "OpenSSL build failed: see $cache/openssl-build.log"; exit 1; }
fi

# --- libpq, for Qt's PostgreSQL driver ------------------------------------------------------
# Only the client library and the headers its users include, not the server. With TLS (the
# OpenSSL above); without compression or Kerberos, which a team archive does without. A libpq
# cached before it had TLS is built again; Qt's driver loads the new DLL as it is.
if ! grep -qs '^#define USE_OPENSSL 1' "$prefix/include/postgresql/pg_config.h"; then
  say "building PostgreSQL's client library for Windows (log: $cache/libpq-build.log)"
  rm -rf "$cache/libpq-build" && mkdir -p "$cache/libpq-build"
  (
    cd "$cache/libpq-build"
    # The static OpenSSL needs Windows' socket, certificate store and random number libraries;
    # libpq's link line ends with LIBS.
    "$pg_src/configure" --host=x86_64-w64-mingw32 CC=x86_64-w64-mingw32-gcc-posix \
      --without-readline --without-zlib --without-icu --with-ssl=openssl --without-gssapi \
      --without-ldap CPPFLAGS="-I$ssl_prefix/include" LDFLAGS="-L$ssl_prefix/lib" \
      LIBS="-lcrypt32 -lws2_32 -lbcrypt -luser32 -ladvapi32"
    for d in src/include src/common src/port src/interfaces/libpq; do make -C "$d" -j"$jobs"; done
  ) >"$cache/libpq-build.log" 2>&1 || { say "libpq build failed: see $cache/libpq-build.log"; exit 1; }
  mkdir -p "$prefix/bin" "$prefix/lib" "$prefix/include/postgresql"
  cp "$cache/libpq-build/src/interfaces/libpq/libpq.dll" "$prefix/bin/"
  cp "$cache/libpq-build/src/interfaces/libpq/libpq.a" "$prefix/lib/libpq.dll.a"
  # Qt's driver reads the server version it was built against from pg_config.h.
  cp "$pg_src/src/interfaces/libpq/libpq-fe.h" "$pg_src/src/include/postgres_ext.h" \
    "$cache/libpq-build/src/include/pg_config_ext.h" \
    "$cache/libpq-build/src/include/pg_config.h" "$prefix/include/postgresql/"
fi

# --- libsodium, for the signatures of the archive's history ----------------------------------
# A static library: the programs carry it, and there is no DLL to ship beside them. Debian's
# source tree has no configure script; it is made as Debian's own build makes it (autoreconf).
if [ ! -f "$prefix/lib/libsodium.a" ]; then
  say "building libsodium for Windows (log: $cache/libsodium-build.log)"
  rm -rf "$cache/libsodium-build" && mkdir -p "$cache/libsodium-build"
  (
    if [ ! -x "$sodium_src/configure" ]; then (cd "$sodium_src" && autoreconf -fi); fi
    cd "$cache/libsodium-build"
    "$sodium_src/configure" --host=x86_64-w64-mingw32 CC=x86_64-w64-mingw32-gcc-posix \
      --prefix="$prefix" --disable-shared --enable-static
    make -j"$jobs"
    make install
  ) >"$cache/libsodium-build.log" 2>&1 || { say "libsodium build failed: see $cache/libsodium-build.log"; exit 1; }
fi

# --- Qt's base modules -----------------------------------------------------------------------
# A Qt cached before it had the PostgreSQL driver is configured again with it; only the driver
# is built then.
qt_reconfigure=0
if [ -f "$prefix/.qt-installed" ] && [ ! -f "$prefix/plugins/sqldrivers/qsqlpsql.dll" ]; then
  say "the cached Qt has no PostgreSQL driver: adding it"
  rm "$prefix/.qt-installed"
  qt_reconfigure=1
fi
# The map draws JPEG tiles and fetches tiles over https: a Qt cached without its JPEG plugin or
# Windows' TLS backend is configured again with them.
if [ -f "$prefix/.qt-installed" ] && { [ ! -f "$prefix/plugins/imageformats/qjpeg.dll" ] ||
     [ ! -f "$prefix/plugins/tls/qschannelbackend.dll" ]; }; then
  say "the cached Qt lacks the JPEG plugin or the Schannel TLS backend: adding them"
  rm "$prefix/.qt-installed"
  qt_reconfigure=1
fi
if [ ! -f "$prefix/.qt-installed" ]; then
  say "building Qt for Windows (about 40 minutes on two cores busy with other builds; log: $cache/qt-build.log)"
  mkdir -p "$cache/qt-build"
  (
    cd "$cache/qt-build"
    if [ ! -f build.ninja ] || [ "$qt_reconfigure" -eq 1 ]; then
      cmake -G Ninja "$qt_src" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
        -DQt6HostInfo_DIR=/usr/lib/x86_64-linux-gnu/cmake/Qt6HostInfo \
        -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON \
        -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DFEATURE_opengl=OFF -DFEATURE_dbus=OFF \
        -DFEATURE_dynamicgl=OFF -DFEATURE_tabletevent=OFF -DFEATURE_icu=OFF -DFEATURE_openssl=OFF \
        -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_harfbuzz=OFF \
        -DFEATURE_system_freetype=OFF -DFEATURE_system_libpng=OFF -DFEATURE_system_jpeg=OFF \
        -DFEATURE_jpeg=ON -DFEATURE_ssl=ON -DFEATURE_schannel=ON \
        -DFEATURE_sql=ON -DFEATURE_sql_sqlite=ON -DFEATURE_system_sqlite=ON \
        -DSQLite3_INCLUDE_DIR="$prefix/include" -DSQLite3_LIBRARY="$prefix/lib/libsqlite3.a" \
        -DFEATURE_sql_psql=ON \
        -DPostgreSQL_INCLUDE_DIR="$prefix/include/postgresql" \
        -DPostgreSQL_LIBRARY="$prefix/lib/libpq.dll.a" \
        -DFEATURE_sql_odbc=OFF -DFEATURE_sql_mysql=OFF \
        -DFEATURE_sql_ibase=OFF -DFEATURE_sql_oci=OFF -DFEATURE_sql_db2=OFF
    fi
    ninja -j"$jobs"
    ninja install >/dev/null
  ) >>"$cache/qt-build.log" 2>&1 || { say "Qt build failed: see $cache/qt-build.log"; exit 1; }
  touch "$prefix/.qt-installed"
fi

# --- QCustomPlot -----------------------------------------------------------------------------
if [ ! -f "$prefix/.qcustomplot-installed" ]; then
  say "building QCustomPlot for Windows"
  (
    "$prefix/bin/qt-cmake" -G Ninja -S "$qcp_src" -B "$cache/qcustomplot-build" \
      -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DUSE_QT_VERSION=6 &&
      ninja -C "$cache/qcustomplot-build" -j"$jobs" install
  ) >"$cache/qcustomplot-build.log" 2>&1 || {
    say "QCustomPlot build failed: see $cache/qcustomplot-build.log"
    exit 1
  }
  touch "$prefix/.qcustomplot-installed"
fi

[ "$qt_only" -eq 1 ] && { say "Qt for Windows is in $prefix"; exit 0; }

# --- The project -----------------------------------------------------------------------------
# qt-cmake chains the toolchain file that Qt was configured with; this checkout's copy is named
# explicitly, so a cache made from another checkout serves as well.
# Makefiles, not Ninja: Ninja refuses the build when several targets of one folder share the .ui
# headers that AUTOUIC makes from resources/ ("multiple rules generate").
build=$repo/build/windows
say "building Tavon Datalogging for Windows in $build"
"$prefix/bin/qt-cmake" -S "$repo" -B "$build" -G "Unix Makefiles" -DCMAKE_BUILD_TYPE=Release \
  -DQT_CHAINLOAD_TOOLCHAIN_FILE="$toolchain" -DTAVON_TESTS=OFF \
  -DSODIUM_INCLUDE_DIR="$prefix/include" -DSODIUM_LIBRARY="$prefix/lib/libsodium.a" >/dev/null
cmake --build "$build" -j"$jobs"

# --- Packages --------------------------------------------------------------------------------
say "packing the installer and the zip"
(cd "$build" && cpack -G "NSIS;ZIP" >/dev/null)
version=$(sed -n 's/^project([^)]*VERSION \([0-9.]*\).*/\1/p' "$repo/CMakeLists.txt")
mkdir -p "$repo/dist"
for ext in exe zip; do
  cp "$build/tavon-datalogging-$version-windows-x64.$ext" "$repo/dist/"
done
say "done: dist/tavon-datalogging-$version-windows-x64.exe and .zip"
say "smoke test under Wine: scripts/smoke-windows.sh"
