#!/usr/bin/env bash
# A batch of ROWS rows over one small source, each into its own new target in a fresh
# folder. Before the rows were grouped by file identity, -j 2 compared every row with every
# earlier one before any ran (300 rows: 31 s against 0.75 s with -j 1).
#   bench/batch_scale.sh [ROWS]          the whole run with -j 1 and -j 2 (default 10000)
#   bench/batch_scale.sh ROWS start      -j 2: the time until the first row is converted,
#                                        then SIGTERM: the time until the run has stopped,
#                                        its exit status and peak memory (for a million rows)
set -euo pipefail
cd "$(dirname "$0")/.."
rows=${1:-10000}
mode=${2:-run}
cmake --preset release >/dev/null
cmake --build --preset release --target plexor >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp samples/stations.shp samples/stations.shx samples/stations.dbf "$work/"
{
  printf 'Plexor\r\n200\r\n0\r\n\r\n'
  awk -v n="$rows" 'BEGIN { for (i = 0; i < n; i++) printf "\"30\"\tstations.shp\tout/%d.mif\r\n", i }'
} >"$work/batch.txt"
mkdir "$work/out"

if [ "$mode" = start ]; then
  start=$(date +%s.%N)
  /usr/bin/time -f '%M' -o "$work/time" build/release/plexor batch -j 2 "$work/batch.txt" \
    >"$work/log" 2>/dev/null &
  pid=$!
  until grep -q objects "$work/log" 2>/dev/null; do sleep 0.05; done
  first=$(date +%s.%N)
  kill -TERM "$(pgrep -P "$pid" plexor)"
  rc=0
  wait "$pid" || rc=$?
  stopped=$(date +%s.%N)
  printf -- '-j 2  %d rows  first row converted after %.2f s  stopped %.2f s after SIGTERM  exit %d  peak %d KiB  rows converted %d\n' \
    "$rows" "$(echo "$first - $start" | bc)" "$(echo "$stopped - $first" | bc)" "$rc" \
    "$(tail -1 "$work/time")" "$(grep -c objects "$work/log")"
  exit 0
fi

# Each run writes into a folder of its own and nothing is removed until the end: on ext4
# without a journal, files created soon after many were deleted make the kernel pass over
# every recently freed inode, which would charge the second run for the first one's files.
for jobs in 1 2; do
  mkdir "$work/out$jobs"
  sed "s#out/#out$jobs/#" "$work/batch.txt" >"$work/batch$jobs.txt"
  sync
  /usr/bin/time -f '%e %M' -o "$work/time" build/release/plexor batch -j "$jobs" \
    "$work/batch$jobs.txt" >"$work/log" 2>&1 || true
  read -r secs kib < <(tail -1 "$work/time")
  printf -- '-j %d  %6d rows  %7.2f s  peak %8d KiB  converted %d\n' "$jobs" "$rows" "$secs" "$kib" \
    "$(grep -c 'objects' "$work/log" || true)"
done
