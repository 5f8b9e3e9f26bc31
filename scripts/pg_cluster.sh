#!/usr/bin/env bash
# Throw-away PostgreSQL cluster on a free loopback port, run as the postgres user.
# Source this file, then call pg_cluster_start; it exports TEST_PG_HOST, TEST_PG_PORT,
# TEST_PG_USER and TEST_PG_PASSWORD and registers pg_cluster_stop to run on exit.
# The server speaks English (lc_messages=C), so its texts are the same on every machine;
# PG_CLUSTER_LC_MESSAGES names another language for it (the locale must exist).
PG_BIN=${PG_BIN:-/usr/lib/postgresql/15/bin}

_pg_as_owner() {
  if [ "$(id -u)" -eq 0 ]; then
    su postgres -s /bin/bash -c "$*"
  else
    bash -c "$*"
  fi
}

_pg_port_free() {
  ! (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

pg_cluster_start() {
  PG_CLUSTER_DIR=$(mktemp -d /tmp/pgcluster.XXXXXX)
  chmod 755 "$PG_CLUSTER_DIR"
  local owner=postgres
  [ "$(id -u)" -eq 0 ] || owner=$(id -un)
  export TEST_PG_HOST=127.0.0.1
  export TEST_PG_USER=$owner
  export TEST_PG_PASSWORD="pw test 'q'"
  printf '%s\n' "$TEST_PG_PASSWORD" > "$PG_CLUSTER_DIR/pwfile"
  chown -R "$owner" "$PG_CLUSTER_DIR"
  trap pg_cluster_stop EXIT
  _pg_as_owner "'$PG_BIN/initdb' -D '$PG_CLUSTER_DIR/data' -U '$owner' -E UTF8 --locale=C.UTF-8 \
      --auth=scram-sha-256 --pwfile='$PG_CLUSTER_DIR/pwfile'" > "$PG_CLUSTER_DIR/initdb.log" 2>&1 \
    || { cat "$PG_CLUSTER_DIR/initdb.log" >&2; return 1; }
  local port tries=0
  while :; do
    port=$(( 20000 + RANDOM % 30000 ))
    if _pg_port_free "$port" && _pg_as_owner "'$PG_BIN/pg_ctl' -D '$PG_CLUSTER_DIR/data' -w -t 60 \
        -l '$PG_CLUSTER_DIR/server.log' -o \"-p $port -c listen_addresses=127.0.0.1 \
        -c unix_socket_directories='$PG_CLUSTER_DIR' -c max_connections=200 -c fsync=off \
        -c lc_messages=${PG_CLUSTER_LC_MESSAGES:-C}\" start" \
        > /dev/null 2>&1; then
      break
    fi
    tries=$((tries + 1))
    if [ $tries -ge 10 ]; then
      cat "$PG_CLUSTER_DIR/server.log" >&2 || true
      echo "could not start the PostgreSQL cluster" >&2
      return 1
    fi
  done
  export TEST_PG_PORT=$port
  echo "PostgreSQL cluster on $TEST_PG_HOST:$TEST_PG_PORT ($PG_CLUSTER_DIR)"
}

pg_cluster_stop() {
  [ -n "${PG_CLUSTER_DIR:-}" ] || return 0
  [ -d "$PG_CLUSTER_DIR/data" ] && _pg_as_owner "'$PG_BIN/pg_ctl' -D '$PG_CLUSTER_DIR/data' -m immediate stop" > /dev/null 2>&1 || true
  rm -rf "$PG_CLUSTER_DIR"
  PG_CLUSTER_DIR=
}

# psql against the cluster, without PG* variables of the caller's shell
pg_psql() {
  PGPASSWORD="$TEST_PG_PASSWORD" psql -X -q -v ON_ERROR_STOP=1 -h "$TEST_PG_HOST" -p "$TEST_PG_PORT" -U "$TEST_PG_USER" "$@"
}
