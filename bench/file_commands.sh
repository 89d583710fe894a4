#!/bin/sh
# Each file command of the companion as a whole process, on the largest image the card
# holds (32640 readings, read from a simulated card first): median and spread of several
# runs, with hyperfine.
# Times are of the process, from its start to its exit; user+sys is its CPU time.
#
#   bench/file_commands.sh [BUILD_DIR] [RUNS]      (build-bench and 20 by default)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$root/build-bench"}
runs=${2:-20}
cli="$(cd "$build" && pwd)/razurozavi-cli"
work=$(mktemp -d /tmp/razurozavi-file-commands-XXXXXX)
card=""
cleanup() {
    [ -n "$card" ] && kill "$card" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

"$cli" simulate --readings 32640 >"$work/simulate.out" 2>/dev/null &
card=$!
while ! grep -q '^port=' "$work/simulate.out" 2>/dev/null; do sleep 0.05; done
port=$(sed -n 's/^port=//p' "$work/simulate.out")
"$cli" read "$work/largest.mvta" --port "$port" >/dev/null 2>&1
"$cli" read-config --port "$port" --save "$work/card.mcfg" >/dev/null 2>&1
kill "$card"
card=""

cd "$work"
hyperfine --shell=none --warmup 3 --runs "$runs" --export-json "$work/times.json" \
    -n list "$cli list largest.mvta" \
    -n xls "$cli xls largest.mvta out.xls" \
    -n pdf-table "$cli pdf-table largest.mvta table.pdf --now \"2026-01-01 10:00:00\"" \
    -n pdf-graph "$cli pdf-graph largest.mvta graph.pdf --now \"2026-01-01 10:00:00\"" \
    -n print "$cli print largest.mvta print.pdf" \
    -n show-config "$cli show-config card.mcfg" \
    -n save-config "$cli save-config saved.mcfg sample_rate=60" >/dev/null
python3 - "$work/times.json" <<'REPORT'
import json, sys
print("| Command | median ms | min ms | max ms | user+sys ms (mean) |")
print("|---|---:|---:|---:|---:|")
for r in json.load(open(sys.argv[1]))["results"]:
    print("| %s | %.1f | %.1f | %.1f | %.1f |" % (r["command"], 1e3 * r["median"], 1e3 * r["min"],
          1e3 * r["max"], 1e3 * (r["user"] + r["system"])))
REPORT
