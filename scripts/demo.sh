#!/usr/bin/env bash
# The main job end to end: installs what it needs (as root on a fresh Debian 12 machine),
# builds, starts a throw-away PostgreSQL cluster with the sample database, converts it twice with
# kestrun into the Oracle stand-in and shows what arrived. Everything it starts or creates is
# stopped and removed at the end; the exit status is the first failing run's, else 0.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=${BUILD_DIR:-$root/build}

bash scripts/install_deps.sh
BUILD_DIR=$build bash scripts/build.sh

# libpq reads these itself; the demo names every setting on the command line
for v in $(env | sed -n 's/^\(PG[A-Z_]*\)=.*/\1/p'); do unset "$v"; done
source scripts/pg_cluster.sh
pg_cluster_start

# the stand-in keeps each schema in a file under its data directory
ora_dir=$(mktemp -d /tmp/kestrun_demo.XXXXXX)
cleanup() {
  rm -rf "$ora_dir"
  pg_cluster_stop
}
trap cleanup EXIT
ora_service=DEMO
ora_user=demo
ora_password='demo pw'
printf 'service %s\nuser %s %s %s\n' "$ora_service" "$ora_service" "$ora_user" "$ora_password" \
  > "$ora_dir/ocisim.conf"
export OCISIM_DIR=$ora_dir
# found on the library path exactly as a real client would be
export LD_LIBRARY_PATH=$build/ocisim${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}

echo
echo "== source database 'sample' (scripts/demo_sample.sql)"
pg_psql -d postgres -c 'CREATE DATABASE sample'
pg_psql -d sample -f scripts/demo_sample.sql
pg_psql -d sample -c '\dt'

# twice, as a user repeating a conversion would: the second run overwrites what the first made
# (generated names included), so one set of tables is shown below
status=0
for run in 1 2; do
  echo "== kestrun, run $run"
  run_status=0
  "$build/bin/kestrun" --dest="$ora_service" --oraclu="$ora_user" --oraclp="$ora_password" \
    --posgsh="$TEST_PG_HOST" --pgport="$TEST_PG_PORT" --posgsu="$TEST_PG_USER" \
    --posgsp="$TEST_PG_PASSWORD" --src=sample --no_schema --logfile="$ora_dir/kestrun$run.log" \
    || run_status=$?
  echo "kestrun exit code: $run_status"
  [ "$status" -ne 0 ] || status=$run_status
done

orasql() {
  "$build/tools/orasql" -H -n NULL -u "$ora_user" -p "$ora_password" -d "$ora_service" "$@"
}
show() {
  echo
  echo "-- $1"
  orasql "$1"
}

echo
echo "== destination schema"
show 'SELECT table_name FROM user_tables ORDER BY table_name'
show 'SELECT table_name, column_name, data_type, data_length, data_precision, data_scale, nullable FROM user_tab_columns ORDER BY table_name, column_id'
show 'SELECT table_name, constraint_name, constraint_type FROM user_constraints ORDER BY table_name, constraint_name'
show 'SELECT table_name, index_name, uniqueness FROM user_indexes ORDER BY table_name, index_name'

echo
echo "== rows"
show 'SELECT * FROM "customers" ORDER BY 1'
show 'SELECT "doc_id", "title", DBMS_LOB.GETLENGTH("body") AS body_chars, SUBSTR("body", 1, 40) AS body_start, "payload", "token", "created" FROM "documents" ORDER BY 1'
show 'SELECT * FROM "measurements" ORDER BY 1, 2'
show 'SELECT * FROM "order" ORDER BY 1'
show 'SELECT * FROM "line_items" ORDER BY 1'

echo
echo "== trace log of the second run, progress lines (every statement is in it too)"
grep -E '^(Connecting|Conversion|Converting)' "$ora_dir/kestrun2.log" || true
exit "$status"
