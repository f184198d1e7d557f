#!/usr/bin/env bash
# End-to-end comparison: a generated shapefile of COUNT polygons (about 35 vertices each,
# 8 attribute fields) converted by `plexor convert` and by GDAL's ogr2ogr to MIF, in the
# same run. Prints the times (plexor on all cores and on one thread), the ratios and the
# peak memory.
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

# Each run starts with the earlier outputs gone and on disk, so that no run pays for the
# write-back of another's files.
fresh() { rm -f "$data"/out-plexor.* "$data"/out-gdal.*; sync; sleep 1; }
fresh
t_one=$(measure "plexor-1" build/release/plexor --threads 1 convert -c 30 "$data/bench-$count.shp" -o "$data/out-plexor.mif")
fresh
t_plexor=$(measure plexor build/release/plexor convert -c 30 "$data/bench-$count.shp" -o "$data/out-plexor.mif")
t_gdal=$(measure ogr2ogr ogr2ogr -f "MapInfo File" -dsco FORMAT=MIF "$data/out-gdal.mif" "$data/bench-$count.shp")
ls -l "$data"/out-plexor.mif "$data"/out-plexor.mid "$data"/out-gdal.mif "$data"/out-gdal.mid
awk -v a="$t_gdal" -v b="$t_plexor" -v c="$t_one" \
  'BEGIN { printf "ratio ogr2ogr/plexor: %.1fx (one thread: %.1fx)\n", a / b, a / c }'
