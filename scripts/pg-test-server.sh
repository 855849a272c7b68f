#!/usr/bin/env bash
# A throwaway PostgreSQL server for the test suite and the benchmarks: a cluster of its own,
# named by DATA_DIR, reached only through a Unix socket (no TCP port), stopped and removed by
# `stop`. When run as root, the server runs as the ordinary user `postgres` (created by
# Debian's postgresql package), since PostgreSQL refuses to run as root. The cluster and its
# socket live in a short folder of /tmp named after DATA_DIR (/tmp/vpg-HASH): the server's user
# can reach it whatever the permissions of the folders above DATA_DIR, and socket paths stay
# within their length limit.
#
#   scripts/pg-test-server.sh start DATA_DIR   prints the connection text (libpq key=value)
#   scripts/pg-test-server.sh stop DATA_DIR
#   scripts/pg-test-server.sh conninfo DATA_DIR
#   scripts/pg-test-server.sh crash DATA_DIR    stops the server at once (pg_ctl stop -m
#                                               immediate), as a power cut would: no checkpoint,
#                                               the data stays
#   scripts/pg-test-server.sh resume DATA_DIR   starts the server of DATA_DIR again; it replays
#                                               its write-ahead log first
#
# The superuser of the cluster is `varnolde_admin`, trusted on the socket: this server holds
# nothing but test data and nobody else can reach it.
set -euo pipefail

action=${1:-} data=${2:-}
usage="usage: $0 start|stop|conninfo|crash|resume DATA_DIR"
[ -n "$action" ] && [ -n "$data" ] || { echo "$usage" >&2; exit 2; }
bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
[ -x "$bin/pg_ctl" ] || { echo "pg-test-server: PostgreSQL is not installed (scripts/install-deps.sh)" >&2; exit 1; }
name=$(realpath -m "$data")
socket=/tmp/vpg-$(printf '%s' "$name" | md5sum | cut -c1-12)
data=$socket/data
conninfo="host=$socket port=5432 user=varnolde_admin dbname=postgres"

as_server() {
  if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

start_server() {
  as_server "$bin/pg_ctl" -D "$data" -l "$data/server.log" -w -t 60 \
    -o "-c listen_addresses='' -c unix_socket_directories='$socket' -c port=5432 -c fsync=on -c max_connections=100" \
    start >/dev/null || { cat "$data/server.log" >&2; exit 1; }
}

case $action in
  conninfo) echo "$conninfo" ;;
  start)
    "$0" stop "$name" >/dev/null 2>&1 || true
    rm -rf "$socket"
    mkdir -p "$data"
    chmod 700 "$socket" "$data"
    [ "$(id -u)" -ne 0 ] || chown -R postgres: "$socket"
    as_server "$bin/initdb" -D "$data" -U varnolde_admin -A trust -E UTF8 --locale=C.UTF-8 \
      >"$socket/initdb.log" 2>&1 || { cat "$socket/initdb.log" >&2; exit 1; }
    start_server
    echo "$conninfo"
    ;;
  stop)
    if [ -f "$data/postmaster.pid" ]; then
      as_server "$bin/pg_ctl" -D "$data" -m fast -w -t 60 stop >/dev/null
    fi
    rm -rf "$socket"
    ;;
  crash) as_server "$bin/pg_ctl" -D "$data" -m immediate -w -t 60 stop >/dev/null ;;
  resume) start_server ;;
  *) echo "$usage" >&2; exit 2 ;;
esac
