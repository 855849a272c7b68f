#!/bin/sh
# scripts/bench.sh BUILD_DIR: the panel's benchmarks on a large generated database, in an
# SQLite file and on a PostgreSQL server.
#
# The file: generates var/bench/large.db (200,000 caregivers, 1,000,000 contracts, 3,000,000
# advances, seed 1) once and reuses it; the benchmark program builds the same data in a
# relational SQLite schema next to it (large.db.relational.db) on its first run.
# The server: starts a throwaway PostgreSQL server named var/bench/server
# (scripts/pg-test-server.sh) and stops it at the end, unless BENCH_SERVER names a server;
# generates the same data into its database varnolde_bench (minutes: the time is printed), and
# the benchmark program copies it into a relational schema in the database
# varnolde_bench_relational of the same server. On a server the panel opens for the role the
# connection logged in as: the databases belong to a login role named after the generated user,
# gestionnaire, and every benchmark connects as that role (the tables' owner, so no row-level
# rights apply, as on the relational side). On a server named by BENCH_SERVER both databases
# stay for later runs (regenerated when the sizes change); BENCH_SERVER is libpq key=value text
# for an administrator who may create roles and databases, without a password (libpq finds
# passwords in ~/.pgpass or PGPASSWORD, for the role gestionnaire too).
#
# Then prints the load average, the benchmark figures (median and p99 per operation, records
# per second for the scans, statements and round trips per operation on the server), the
# number of syncs per durable validation on the file, and the peak memory of a host process
# with the panel open; then runs the load benchmark (bench/clerk_load: 32 clerks for 60 s) on a
# copy of each database, with its audit. `make bench` builds BUILD_DIR in Release first.
# docs/performance.md.
#
# Environment:
#   BENCH_STORAGE        file, server or both (default both)
#   BENCH_ONLY           jobs (the benchmark program and the memory) or load; default both
#   BENCH_FILTER         the benchmarks to run (a regular expression; the server's are Server_...)
#   BENCH_CAREGIVERS, BENCH_CONTRACTS, BENCH_ADVANCES   the size of the data
#   BENCH_DB             the file's place (default var/bench/large.db)
#   BENCH_SERVER         a server to use instead of a throwaway one
#   BENCH_CLERKS, BENCH_LOAD_SECONDS   the load benchmark's clerks (32) and duration (60)
#   BENCH_PLACEMENT      split (default: the server's jobs with the benchmark and the server on
#                        processors of their own) or none
# Exit status 1 when a load benchmark's audit finds a validation lost or partial, or anything
# else changed.
set -eu

build=${1:?usage: scripts/bench.sh BUILD_DIR}
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
mvdb="$build/src/app/mvdb"
bench="$build/bench/panel_bench"
memory="$build/bench/panel_memory"
load="$build/bench/clerk_load"
for program in "$mvdb" "$bench" "$memory" "$load"; do
  [ -x "$program" ] || { echo "bench.sh: $program is not built" >&2; exit 1; }
done

storage=${BENCH_STORAGE:-both}
only=${BENCH_ONLY:-}
case $storage in
  file|server|both) ;;
  *) echo "bench.sh: BENCH_STORAGE is file, server or both" >&2; exit 2 ;;
esac
case $only in ""|jobs|load) ;; *) echo "bench.sh: BENCH_ONLY is jobs or load" >&2; exit 2 ;; esac
on_file=false; on_server=false; jobs=true; load_run=true
[ "$storage" = server ] || on_file=true
[ "$storage" = file ] || on_server=true
[ "$only" != load ] || jobs=false
[ "$only" != jobs ] || load_run=false

db=${BENCH_DB:-var/bench/large.db}
caregivers=${BENCH_CAREGIVERS:-200000}
contracts=${BENCH_CONTRACTS:-1000000}
advances=${BENCH_ADVANCES:-3000000}
clerks=${BENCH_CLERKS:-32}
seconds=${BENCH_LOAD_SECONDS:-60}
status=0

elapsed_since() { echo "$(date +%s.%N) - $1" | bc; }

if $on_file; then
  mkdir -p "$(dirname "$db")"
  if [ ! -f "$db" ]; then
    echo "== generating $db: $caregivers caregivers, $contracts contracts, $advances advances" \
      "(load average $(cut -d' ' -f1-3 /proc/loadavg))"
    start=$(date +%s.%N)
    "$mvdb" generate "$db" --caregivers "$caregivers" --contracts "$contracts" \
      --advances "$advances" --seed 1
    echo "generated in $(elapsed_since "$start") s"
  fi
fi

if $on_server; then
  server_dir=var/bench/server
  if [ -n "${BENCH_SERVER:-}" ]; then
    case $BENCH_SERVER in
      *password*)
        echo "bench.sh: no password in BENCH_SERVER: use ~/.pgpass or PGPASSWORD" >&2
        exit 2 ;;
      postgres://*|postgresql://*)
        echo "bench.sh: BENCH_SERVER is key=value text (host=... user=...)" >&2
        exit 2 ;;
    esac
    admin=$BENCH_SERVER
  else
    mkdir -p var/bench
    echo "== starting a throwaway PostgreSQL server in $server_dir"
    trap 'scripts/pg-test-server.sh stop "$server_dir"' EXIT
    trap 'exit 1' INT TERM
    admin=$(scripts/pg-test-server.sh start "$server_dir")
  fi
  psql_on() { connection=$1; shift; psql -X -q -v ON_ERROR_STOP=1 -d "$connection" "$@"; }
  psql_admin() { psql_on "$admin" "$@"; }
  size="$caregivers caregivers, $contracts contracts, $advances advances, seed 1"
  made=$(psql_admin -At -c "SELECT shobj_description(oid, 'pg_database') FROM pg_database
                            WHERE datname = 'varnolde_bench'")
  clerk="user=gestionnaire"
  if [ "$made" != "$size" ]; then
    psql_admin -c "DROP DATABASE IF EXISTS varnolde_bench" \
      -c "DROP DATABASE IF EXISTS varnolde_bench_relational" \
      -c "DO \$\$ BEGIN
            IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'gestionnaire') THEN
              CREATE ROLE gestionnaire LOGIN;
            END IF;
          END \$\$" \
      -c "CREATE DATABASE varnolde_bench OWNER gestionnaire" \
      -c "CREATE DATABASE varnolde_bench_relational OWNER gestionnaire"
    echo "== generating on the server: $size (load average $(cut -d' ' -f1-3 /proc/loadavg))"
    start=$(date +%s.%N)
    "$mvdb" generate "$admin dbname=varnolde_bench $clerk" --caregivers "$caregivers" \
      --contracts "$contracts" --advances "$advances" --seed 1
    echo "generated in $(elapsed_since "$start") s"
    # What an administrator does after a bulk load; the relational copy gets the same.
    start=$(date +%s.%N)
    psql_on "$admin dbname=varnolde_bench" -c "VACUUM ANALYZE"
    echo "vacuumed and analysed in $(elapsed_since "$start") s"
    psql_admin -c "COMMENT ON DATABASE varnolde_bench IS '$size'"
  fi
  server_db="$admin dbname=varnolde_bench $clerk"
  relational_db="$admin dbname=varnolde_bench_relational $clerk"
fi

# The server's jobs run with the benchmark on the first processor and the server's processes on
# the second, as a clerk's computer and the office's server would be: left to the scheduler,
# the two processes of a round trip sometimes share a processor and sometimes not, and on this
# machine's virtual processors a wake-up on the other one costs tens of microseconds, so a whole
# run's figures came in two sizes. BENCH_PLACEMENT=none leaves them to the scheduler.
postmaster=""
place_server() {
  [ "${BENCH_PLACEMENT:-split}" = none ] && return 0
  command -v taskset >/dev/null 2>&1 && [ "$(nproc)" -ge 2 ] || return 0
  data_dir=$(psql_admin -At -c "SHOW data_directory" 2>/dev/null) || return 0
  [ -r "$data_dir/postmaster.pid" ] || return 0
  postmaster=$(head -n 1 "$data_dir/postmaster.pid")
  taskset -p -c 1 "$postmaster" >/dev/null || { postmaster=""; return 0; }
  echo "== placement: the benchmark on processor 0, the server's new processes on processor 1"
}
unplace_server() {
  [ -n "$postmaster" ] && taskset -p -c "0-$(($(nproc) - 1))" "$postmaster" >/dev/null || true
  postmaster=""
}
run_pinned() {
  if [ -n "$postmaster" ]; then taskset -c 0 "$@"; else "$@"; fi
}

if $jobs; then
  echo "== load average before the run: $(cut -d' ' -f1-3 /proc/loadavg)"
  if $on_file; then
    VARNOLDE_BENCH_DB="$db" "$bench" --benchmark_filter="${BENCH_FILTER:-.}"
  fi
  if $on_server; then
    place_server
    run_pinned env VARNOLDE_BENCH_SERVER="$server_db" VARNOLDE_BENCH_RELATIONAL="$relational_db" \
      "$bench" --benchmark_filter="${BENCH_FILTER:-.}"
    unplace_server
  fi
  echo "== load average after the run: $(cut -d' ' -f1-3 /proc/loadavg)"

  if $on_file && command -v strace >/dev/null 2>&1; then
    iterations=300
    syncs=$(VARNOLDE_BENCH_DB="$db" strace -f -c -e trace=fsync,fdatasync \
      "$bench" --benchmark_filter='^Validation_Mvdb' 2>&1 >/dev/null |
      awk '$NF ~ /^f(data)?sync$/ { n += $4 } END { print n + 0 }')
    echo "== durable validation: $syncs fsync/fdatasync calls over $iterations validations"
  fi

  if $on_file; then
    echo "== peak memory of a host process with the panel open on $db"
    "$memory" "$db"
  fi
  if $on_server; then
    echo "== peak memory of a host process with the panel open on the server"
    "$memory" "$server_db"
  fi
fi

if $load_run; then
  # On copies: the clerks change advances, and the benchmarks above want the data as generated.
  if $on_file; then
    copy="$(dirname "$db")/load.db"
    rm -f "$copy" "$copy-wal" "$copy-shm"
    cp "$db" "$copy"
    echo "== $clerks clerks for $seconds s on a copy of $db"
    "$load" --db "$copy" --clerks "$clerks" --seconds "$seconds" || status=1
    rm -f "$copy" "$copy-wal" "$copy-shm"
  fi
  if $on_server; then
    start=$(date +%s.%N)
    psql_admin -c "DROP DATABASE IF EXISTS varnolde_bench_load" \
      -c "CREATE DATABASE varnolde_bench_load TEMPLATE varnolde_bench OWNER gestionnaire"
    echo "== the server copied its database in $(elapsed_since "$start") s"
    echo "== $clerks clerks for $seconds s on a copy of the server's database"
    "$load" --db "$admin dbname=varnolde_bench_load $clerk" --clerks "$clerks" \
      --seconds "$seconds" || status=1
    psql_admin -c "DROP DATABASE varnolde_bench_load"
  fi
fi
exit $status
