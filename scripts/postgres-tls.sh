#!/usr/bin/env bash
# Makes a private PostgreSQL cluster require TLS on TCP, as a team's server on a public network
# does: a self-signed certificate for 127.0.0.1 (a copy of it goes to CERTIFICATE, for clients
# that check the server against it), TLS on, and every TCP connection without it refused. The
# Unix socket stays open to the cluster's own tools. Run before the server starts.
#   scripts/postgres-tls.sh DATA_FOLDER CERTIFICATE
set -euo pipefail
data=$1
copy=$2

openssl req -x509 -newkey rsa:2048 -nodes -days 7 -subj /CN=127.0.0.1 \
  -keyout "$data/server.key" -out "$data/server.crt" 2>/dev/null
# The server refuses a key that others may read, and one that is not its own.
chmod 600 "$data/server.key"
chown --reference="$data/PG_VERSION" "$data/server.key" "$data/server.crt"
cp "$data/server.crt" "$copy"
cat >>"$data/postgresql.conf" <<CONF
ssl = on
ssl_cert_file = 'server.crt'
ssl_key_file = 'server.key'
CONF
# The first line that matches a connection decides.
cat >"$data/pg_hba.conf" <<HBA
local all all trust
hostssl all all 127.0.0.1/32 trust
hostnossl all all all reject
HBA
