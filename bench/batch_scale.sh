#!/usr/bin/env bash
# A batch of ROWS rows over one small source, each into its own new target in a fresh
# folder: the whole run with -j 1 and -j 2, and the
# peak memory. Before the rows were grouped by file identity, -j 2 compared every row with
# every earlier one (300 rows: 31 s against 0.75 s with -j 1).
#   bench/batch_scale.sh [ROWS]          (default 10000)
#   bench/batch_scale.sh 1000000 plan    (only the loading and the look at the rows: the list
#                                         points at a source that is missing, so no row runs)
set -euo pipefail
cd "$(dirname "$0")/.."
rows=${1:-10000}
mode=${2:-run}
cmake --preset release >/dev/null
cmake --build --preset release --target plexor >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp samples/stations.shp samples/stations.shx samples/stations.dbf "$work/"
source=stations.shp
[ "$mode" = plan ] && source=missing.shp
{
  printf 'Plexor\r\n200\r\n0\r\n\r\n'
  awk -v n="$rows" -v s="$source" 'BEGIN { for (i = 0; i < n; i++) printf "\"30\"\t\"%s\"\t\"out/%d.mif\"\r\n", s, i }'
} >"$work/batch.txt"

for jobs in 1 2; do
  rm -rf "$work/out"
  mkdir "$work/out"
  sync
  /usr/bin/time -f '%e %M' -o "$work/time" build/release/plexor batch -j "$jobs" "$work/batch.txt" \
    >"$work/log" 2>&1 || true
  read -r secs kib <"$work/time"
  printf -- '-j %d  %6d rows  %7.2f s  peak %8d KiB  converted %d\n' "$jobs" "$rows" "$secs" "$kib" \
    "$(grep -c '	OK	' "$work/log" || true)"
done
