#!/usr/bin/env bash
# Runs a command against a private PostgreSQL cluster made for it: initdb in a temporary folder,
# a server that listens only on a Unix socket in that folder, TAVON_TEST_POSTGRES exported as
# the cluster's address (postgresql://tavon@<socket folder, %2F-encoded>:PORT/tavon), then the
# server stopped and the folder removed, whatever the command's outcome. Exits with the command's
# status (77 when PostgreSQL is not installed, so that ctest reports the test as skipped).
# With --tls the server listens on 127.0.0.1 as well and refuses every TCP connection without TLS
# (scripts/postgres-tls.sh); TAVON_TEST_POSTGRES is then the TCP address, with sslmode=verify-ca
# and the server's certificate, kept in a folder whose name has a space, and
# TAVON_TEST_POSTGRES_PLAIN the same address without TLS, which the server refuses.
#   scripts/with-postgres.sh [--tls] COMMAND [ARGUMENTS...]
set -uo pipefail

tls=0
[ "${1:-}" = --tls ] && { tls=1; shift; }

bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
if [ -z "$bin" ] || [ ! -x "$bin/initdb" ]; then
  echo "with-postgres: PostgreSQL is not installed (Debian package postgresql)" >&2
  exit 77
fi

# The server refuses to run as root: as root it runs as the postgres user, otherwise as the
# user running this.
as_server=()
if [ "$(id -u)" -eq 0 ]; then
  as_server=(runuser -u postgres --)
fi

dir=$(mktemp -d /tmp/tavon-pg.XXXXXX)
chmod 755 "$dir"
if [ "$(id -u)" -eq 0 ]; then chown postgres: "$dir"; fi
# The socket lives in the private folder, so any port number is free there.
port=$(( 20000 + RANDOM % 20000 ))

cleanup() {
  "${as_server[@]}" "$bin/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null 2>&1
  rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

"${as_server[@]}" "$bin/initdb" -D "$dir/data" -A trust -U tavon -E UTF8 >"$dir/initdb.log" 2>&1 \
  || { echo "with-postgres: initdb failed:" >&2; cat "$dir/initdb.log" >&2; exit 1; }
started=0
if [ "$tls" -eq 1 ]; then
  mkdir -p "$dir/team certs"
  "$(dirname "$0")/postgres-tls.sh" "$dir/data" "$dir/team certs/root.crt" \
    || { echo "with-postgres: cannot set up TLS" >&2; exit 1; }
  # A TCP port may be taken by another program: a few are tried.
  for attempt in 1 2 3 4 5; do
    port=$(( 20000 + RANDOM % 20000 ))
    if "${as_server[@]}" "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
         -o "-k $dir -p $port -c listen_addresses=127.0.0.1 -c fsync=off" start >/dev/null; then
      started=1
      break
    fi
  done
elif "${as_server[@]}" "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
       -o "-k $dir -p $port -c listen_addresses='' -c fsync=off" start >/dev/null; then
  started=1
fi
[ "$started" -eq 1 ] \
  || { echo "with-postgres: the server did not start:" >&2; cat "$dir/server.log" >&2; exit 1; }
"$bin/createdb" -h "$dir" -p "$port" -U tavon tavon \
  || { echo "with-postgres: cannot make the database" >&2; exit 1; }

if [ "$tls" -eq 1 ]; then
  export TAVON_TEST_POSTGRES="postgresql://tavon@127.0.0.1:$port/tavon?sslmode=verify-ca&sslrootcert=${dir//\//%2F}%2Fteam%20certs%2Froot.crt"
  export TAVON_TEST_POSTGRES_PLAIN="postgresql://tavon@127.0.0.1:$port/tavon?sslmode=disable"
else
  export TAVON_TEST_POSTGRES="postgresql://tavon@${dir//\//%2F}:$port/tavon"
fi
"$@"
