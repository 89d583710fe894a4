#!/bin/sh
# The reading station against N paced simulated cards with a full memory, all plugged in at
# once: wall time of the whole station and its CPU time (station and card processes).
# Usage: bench/station_cards.sh CLI N
set -eu
cli=$1
cards=$2
work=$(mktemp -d)
trap 'kill $(cat "$work"/pids) 2>/dev/null; rm -rf "$work"' EXIT
mkdir "$work/ports"
: > "$work/pids"
for n in $(seq 1 "$cards"); do
    RAZUROZAVI_SIMULATED_PORTS="$work/ports" "$cli" simulate --baud-pace --readings 32640 \
        > "$work/card$n" 2>/dev/null &
    echo $! >> "$work/pids"
done
while [ "$(ls "$work/ports" | wc -l)" -lt "$cards" ]; do sleep 0.05; done
/usr/bin/time -f "wall_s=%e user_s=%U sys_s=%S" \
    env RAZUROZAVI_SIMULATED_PORTS="$work/ports" "$cli" station --archive "$work/arquivo" \
    --cards "$cards" 2>&1 >"$work/lines" | grep '^wall_s='
grep -c 'state=archived' "$work/lines" | sed 's/^/archived=/'
