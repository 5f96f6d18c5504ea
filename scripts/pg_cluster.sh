#!/usr/bin/env bash
# A throwaway PostgreSQL server for a test run, sourced by test.sh:
#   pg_cluster_start   makes a cluster in a fresh temporary folder, starts it
#                      listening on a Unix socket there only (no TCP), and
#                      exports XRDB8_TEST_POSTGRES, the connection string the
#                      tests of the server engine use
#   pg_cluster_stop    stops it and removes the folder (test.sh traps EXIT)
# initdb refuses to run as root: as root the cluster belongs to the postgres
# account (or nobody); anyone else owns it themselves. Durability is off
# (fsync, synchronous_commit, full_page_writes): the data lives for one run.
pg_bin=${XRDB8_PG_BIN:-/usr/lib/postgresql/15/bin}
pg_dir=""
pg_as=()

pg_cluster_start() {
  if [ ! -x "$pg_bin/initdb" ]; then
    echo "postgres: no server binaries in $pg_bin" >&2
    return 1
  fi
  pg_dir=$(mktemp -d /tmp/xrdb8-pg.XXXXXX)
  if [ "$(id -u)" -eq 0 ]; then
    local owner=postgres
    getent passwd postgres >/dev/null || owner=nobody
    chown "$owner" "$pg_dir"
    chmod 755 "$pg_dir"
    pg_as=(runuser -u "$owner" --)
  fi
  local password
  password=$(od -An -N12 -tx1 /dev/urandom | tr -d ' \n')
  printf '%s\n' "$password" >"$pg_dir/pw"
  chmod 644 "$pg_dir/pw"
  "${pg_as[@]}" "$pg_bin/initdb" -D "$pg_dir/data" -U xrdb8 --pwfile="$pg_dir/pw" \
    --auth=scram-sha-256 -E UTF8 --locale=C.UTF-8 >"$pg_dir/initdb.log" 2>&1 ||
    { cat "$pg_dir/initdb.log" >&2; return 1; }
  rm -f "$pg_dir/pw"
  "${pg_as[@]}" "$pg_bin/pg_ctl" -D "$pg_dir/data" -l "$pg_dir/server.log" -w -s \
    -o "-c listen_addresses='' -c unix_socket_directories='$pg_dir' -c port=5432 \
        -c fsync=off -c synchronous_commit=off -c full_page_writes=off \
        -c max_connections=200 -c shared_buffers=64MB" start ||
    { cat "$pg_dir/server.log" >&2; return 1; }
  export XRDB8_TEST_POSTGRES="Provider=postgresql;Data Source=$pg_dir;Port=5432;User Id=xrdb8;Password=$password"
  echo "postgres: test server on $pg_dir"
}

pg_cluster_stop() {
  [ -n "$pg_dir" ] || return 0
  if [ -d "$pg_dir/data" ]; then
    "${pg_as[@]}" "$pg_bin/pg_ctl" -D "$pg_dir/data" -m immediate -w -s stop >/dev/null 2>&1 || true
  fi
  rm -rf "$pg_dir"
  pg_dir=""
}
