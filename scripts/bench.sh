#!/usr/bin/env bash
# Builds kestrun, the Oracle stand-in, orasql and the end-to-end benchmark into a Release tree
# (build-bench/, or $BUILD_DIR) and runs the benchmark against the server that TEST_PG_* names,
# or against a throw-away cluster when none is named. Arguments go to kestrun_bench:
#   scripts/bench.sh                    timed runs, 100,000 and 1,000,000 rows, both tables
#   scripts/bench.sh --profile          callgrind split of the row loop (20,000 rows)
#   scripts/bench.sh --perf             perf split of the row loop (100,000 rows)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build-bench}
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release > /dev/null
cmake --build "$build" -j"$(nproc)" --target kestrun ocisim orasql kestrun_bench > /dev/null

# libpq reads these itself; the benchmark names every setting
for v in $(env | sed -n 's/^\(PG[A-Z_]*\)=.*/\1/p'); do unset "$v"; done
if [ -z "${TEST_PG_HOST:-}" ]; then
  source "$root/scripts/pg_cluster.sh"
  pg_cluster_start
fi
"$build/bench/kestrun_bench" "$@"
