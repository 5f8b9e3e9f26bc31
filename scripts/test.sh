#!/usr/bin/env bash
# The test command: installs packages, builds, starts a throw-away PostgreSQL cluster and runs
# every test. Exits non-zero when anything fails.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/install_deps.sh
BUILD_DIR=${BUILD_DIR:-$root/build} bash scripts/build.sh
build=${BUILD_DIR:-$root/build}
# libpq reads these itself and would hide faults in our own option strings
for v in $(env | sed -n 's/^\(PG[A-Z_]*\)=.*/\1/p'); do unset "$v"; done
source scripts/pg_cluster.sh
pg_cluster_start
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" --timeout 600
