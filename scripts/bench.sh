#!/bin/sh
# scripts/bench.sh BUILD_DIR: the panel's benchmarks on a large generated database.
#
# Generates var/bench/large.db (200,000 caregivers, 1,000,000 contracts, 3,000,000 advances,
# seed 1) once and reuses it; the benchmark program builds the same data in a relational
# SQLite schema next to it (large.db.relational.db) on its first run. Then prints the load
# average, the benchmark figures (median and p99 per operation, records per second for the
# scans), the number of syncs per durable validation and the peak memory of a host process
# with the panel open. `make bench` builds BUILD_DIR in Release first. docs/performance.md.
#
# Environment: BENCH_CAREGIVERS, BENCH_CONTRACTS, BENCH_ADVANCES, BENCH_DB to change the size
# or place of the database; BENCH_FILTER to run some benchmarks only (a regular expression).
set -eu

build=${1:?usage: scripts/bench.sh BUILD_DIR}
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
mvdb="$build/src/app/mvdb"
bench="$build/bench/panel_bench"
memory="$build/bench/panel_memory"
for program in "$mvdb" "$bench" "$memory"; do
  [ -x "$program" ] || { echo "bench.sh: $program is not built" >&2; exit 1; }
done

db=${BENCH_DB:-var/bench/large.db}
caregivers=${BENCH_CAREGIVERS:-200000}
contracts=${BENCH_CONTRACTS:-1000000}
advances=${BENCH_ADVANCES:-3000000}
mkdir -p "$(dirname "$db")"
if [ ! -f "$db" ]; then
  echo "== generating $db: $caregivers caregivers, $contracts contracts, $advances advances"
  start=$(date +%s.%N)
  "$mvdb" generate "$db" --caregivers "$caregivers" --contracts "$contracts" \
    --advances "$advances" --seed 1
  echo "generated in $(echo "$(date +%s.%N) - $start" | bc) s"
fi

echo "== load average before the run: $(cut -d' ' -f1-3 /proc/loadavg)"
VARNOLDE_BENCH_DB="$db" "$bench" --benchmark_filter="${BENCH_FILTER:-.}"
echo "== load average after the run: $(cut -d' ' -f1-3 /proc/loadavg)"

if command -v strace >/dev/null 2>&1; then
  iterations=300
  syncs=$(VARNOLDE_BENCH_DB="$db" strace -f -c -e trace=fsync,fdatasync \
    "$bench" --benchmark_filter='^Validation_Mvdb' 2>&1 >/dev/null |
    awk '$NF ~ /^f(data)?sync$/ { n += $4 } END { print n + 0 }')
  echo "== durable validation: $syncs fsync/fdatasync calls over $iterations validations"
fi

echo "== peak memory of a host process with the panel open on $db"
"$memory" "$db"
