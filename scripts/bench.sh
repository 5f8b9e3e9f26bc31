#!/usr/bin/env bash
# Builds kestrun, the Oracle stand-in, orasql and the benchmarks into a Release tree
# (build-bench/, or $BUILD_DIR) and runs them against the server that TEST_PG_* names, or
# against a throw-away cluster when none is named:
#   scripts/bench.sh                    timed runs, 100,000 and 1,000,000 rows, narrow and lob
#   scripts/bench.sh callgrind [rows]   our instructions a row: narrow, lob, 10 and 200 columns
#   scripts/bench.sh tables [counts]    our instructions a table: 100, 1,000, 3,000 tables
#   scripts/bench.sh memory             kestrun's peak RSS for 1 KB, 1 MB and 10 MB values and
#                                       the narrow table, then the reader at 100,000 and
#                                       1,000,000 rows
#   scripts/bench.sh read [rows]        the reader against psql, three runs (10,000,000 rows)
#   scripts/bench.sh --profile|--perf   other options go to kestrun_bench as they are
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build-bench}
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release > /dev/null
cmake --build "$build" -j"$(nproc)" --target kestrun ocisim orasql kestrun_bench pgs_read_bench \
  > /dev/null

# libpq reads these itself; the benchmarks name every setting
for v in $(env | sed -n 's/^\(PG[A-Z_]*\)=.*/\1/p'); do unset "$v"; done
if [ -z "${TEST_PG_HOST:-}" ]; then
  source "$root/scripts/pg_cluster.sh"
  pg_cluster_start
fi
echo "$(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) CPUs, $(free -m | awk '/^Mem:/ {print $2}') MiB," \
  "load $(cut -d' ' -f1-3 /proc/loadavg), $(psql --version | head -1)"
mode=${1:-}
case "$mode" in
  callgrind) shift; "$build/bench/kestrun_bench" --profile "$@" ;;
  tables) shift; "$build/bench/kestrun_bench" --tables "$@" ;;
  memory)
    shift
    "$build/bench/kestrun_bench" --memory "$@"
    echo
    "$build/bench/pgs_read_bench" --runs=1 100000 1000000
    ;;
  read)
    shift
    if [ $# -eq 0 ]; then set -- 10000000; fi
    "$build/bench/pgs_read_bench" --runs=3 "$@"
    ;;
  *) "$build/bench/kestrun_bench" "$@" ;;
esac
