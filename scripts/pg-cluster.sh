#!/usr/bin/env bash
# A throw-away PostgreSQL cluster for the tests, on a private socket folder.
#   pg-cluster.sh start DIR   initialises and starts a cluster in DIR and prints the
#                             connection string of its database "qira_test"
#   pg-cluster.sh stop DIR    stops it and removes DIR
# initdb refuses root, so as root the cluster belongs to the unprivileged "nobody".
set -euo pipefail

bindir="${QIRA_PG_BINDIR:-}"
if [ -z "$bindir" ]; then
  for candidate in /usr/lib/postgresql/*/bin; do
    [ -x "$candidate/initdb" ] && bindir="$candidate"
  done
fi
[ -n "$bindir" ] && [ -x "$bindir/initdb" ] || { echo "pg-cluster: PostgreSQL binaries not found" >&2; exit 3; }

action="$1"
dir="$2"
as_owner=()
if [ "$(id -u)" -eq 0 ]; then
  as_owner=(runuser -u nobody --)
fi

case "$action" in
  start)
    mkdir -p "$dir"
    [ ${#as_owner[@]} -eq 0 ] || chown nobody "$dir"
    chmod 700 "$dir"
    # Socket only, no TCP; trust is safe because only the owner (and root) may enter DIR.
    "${as_owner[@]}" "$bindir/initdb" -D "$dir/data" -U qira -A trust -E UTF8 --locale=C.UTF-8 >"$dir/initdb.log" 2>&1 ||
      { cat "$dir/initdb.log" >&2; exit 1; }
    "${as_owner[@]}" "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w \
      -o "-c listen_addresses='' -c unix_socket_directories='$dir' -c fsync=off -c max_connections=200" start >/dev/null ||
      { cat "$dir/server.log" >&2; exit 1; }
    "${as_owner[@]}" "$bindir/createdb" -h "$dir" -U qira qira_test
    echo "host=$dir port=5432 user=qira dbname=qira_test"
    ;;
  stop)
    if [ -d "$dir/data" ]; then
      "${as_owner[@]}" "$bindir/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null 2>&1 || true
    fi
    rm -rf "$dir"
    ;;
  *)
    echo "usage: pg-cluster.sh start|stop DIR" >&2
    exit 2
    ;;
esac
