#!/bin/sh
# The collection server on SQLite beside PostgreSQL, on this machine: the load of
# razurozavi-server-load (uploads stored a second, bytes an upload) and the web view's
# timings with 182,500 uploads (100 cards, one a day for five years), ROUNDS rounds, the
# two stores taking turns. PostgreSQL is a throw-away cluster of pg_virtualenv, which
# syncs its commits as a real one does (fsync on, like the SQLite file).
#
#   bench/stores.sh [BUILD_DIR] [ROUNDS]      (build-release and 3 by default)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-"$root/build-release"}" && pwd)
rounds=${2:-3}
if [ -z "${PGHOST:-}" ]; then
    exec pg_virtualenv -o fsync=on "$0" "$build" "$rounds"
fi
work=$(mktemp -d /tmp/razurozavi-stores-XXXXXX)
trap 'rm -rf "$work"' EXIT
echo "PostgreSQL $(psql -XAtc 'SHOW server_version') fsync=$(psql -XAtc 'SHOW fsync')"
createdb timings
# The server's own log (each upload stored) is left out.
quiet() {
    "$@" 2>&1 | grep -v '^stored upload from \|^listening on \|^web view on '
}
for round in $(seq 1 "$rounds"); do
    echo "== round $round"
    echo "-- SQLite load"
    quiet "$build/razurozavi-server-load" "$work/load-$round" "$build/razurozavi-server"
    echo "-- PostgreSQL load"
    createdb "load_$round"
    quiet "$build/razurozavi-server-load" "$work/load-$round" "$build/razurozavi-server" \
        --db "postgresql:///load_$round"
    dropdb "load_$round"
    echo "-- SQLite web view, five years"
    "$build/razurozavi-web-timings" --days 1825 "$work/timings" 20
    echo "-- PostgreSQL web view, five years"
    "$build/razurozavi-web-timings" --days 1825 --db postgresql:///timings "$work/timings" 20
done
echo "-- sizes"
du -b "$work/timings/uploads-1825-days.sqlite"
psql -XAt timings -c "SELECT 'postgresql ' || sum(pg_total_relation_size(oid)) FROM pg_class
    WHERE relkind = 'r' AND relnamespace = 'public'::regnamespace"
