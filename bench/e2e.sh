#!/usr/bin/env bash
# End-to-end comparison: a generated shapefile of COUNT polygons (about 35 vertices each,
# 8 attribute fields) converted by `plexor convert` and by GDAL's ogr2ogr to MIF, in the
# same run. Prints both times, the ratio and plexor's peak memory.
#   bench/e2e.sh [COUNT]     (default 1000000)
set -euo pipefail
cd "$(dirname "$0")/.."
count=${1:-1000000}
data=bench/data
mkdir -p "$data"

cmake --preset release >/dev/null
cmake --build --preset release --target plexor plexor_samplegen >/dev/null

if [ ! -f "$data/bench-$count.shp" ]; then
  build/release/plexor_samplegen bench "$data" "$count"
  for ext in shp shx dbf; do mv "$data/bench.$ext" "$data/bench-$count.$ext"; done
fi
ls -l "$data/bench-$count".*

measure() {  # label, command...: prints seconds and peak KiB
  local label=$1; shift
  local log; log=$(mktemp)
  /usr/bin/time -f '%e %M' -o "$log" "$@" >/dev/null 2>&1
  read -r secs kib <"$log"
  rm -f "$log"
  printf '%-8s %8.2f s  peak %7d KiB\n' "$label" "$secs" "$kib" >&2
  echo "$secs"
}

rm -f "$data"/out-plexor.* "$data"/out-gdal.*
t_plexor=$(measure plexor build/release/plexor convert -c 30 "$data/bench-$count.shp" -o "$data/out-plexor.mif")
t_gdal=$(measure ogr2ogr ogr2ogr -f "MapInfo File" -dsco FORMAT=MIF "$data/out-gdal.mif" "$data/bench-$count.shp")
ls -l "$data"/out-plexor.mif "$data"/out-plexor.mid "$data"/out-gdal.mif "$data"/out-gdal.mid
awk -v a="$t_gdal" -v b="$t_plexor" 'BEGIN { printf "ratio ogr2ogr/plexor: %.1fx\n", a / b }'
