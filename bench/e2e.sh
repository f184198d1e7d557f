#!/usr/bin/env bash
# End-to-end comparison: a generated shapefile of COUNT polygons (about 35 vertices each,
# 8 attribute fields; VERTICES 1 gives points) converted by `plexor convert` and by GDAL's
# ogr2ogr to MIF, in the same run. For plexor by default and on one thread, both of them
# beside a competing busy process, and ogr2ogr: wall time, user and system CPU, peak memory;
# then the ratios, and for plexor the time from its first sync to the pair published
# (strace).
#   bench/e2e.sh [COUNT] [VERTICES]     (default 1000000 35)
set -euo pipefail
cd "$(dirname "$0")/.."
count=${1:-1000000}
vertices=${2:-35}
data=bench/data
name=bench-$count-$vertices
mkdir -p "$data"

cmake --preset release >/dev/null
cmake --build --preset release --target plexor plexor_samplegen >/dev/null

if [ ! -f "$data/$name.shp" ]; then
  build/release/plexor_samplegen bench "$data" "$count" "$vertices"
  for ext in shp shx dbf; do mv "$data/bench.$ext" "$data/$name.$ext"; done
fi
ls -l "$data/$name".*

measure() {  # label, command...: prints a line to stderr and the wall seconds to stdout
  local label=$1; shift
  local log; log=$(mktemp)
  /usr/bin/time -f '%e %U %S %M' -o "$log" "$@" >/dev/null 2>&1
  read -r secs user sys kib < <(tail -1 "$log")
  rm -f "$log"
  printf '%-16s %7.2f s wall  %6.2f s user  %6.2f s sys  peak %7d KiB\n' "$label" "$secs" "$user" \
    "$sys" "$kib" >&2
  echo "$secs"
}

# Each run starts with the earlier outputs gone and on disk, so that no run pays for the
# write-back of another's files.
fresh() { rm -f "$data"/out-plexor.* "$data"/out-gdal.*; sync; sleep 1; }
plexor=(build/release/plexor)
src="$data/$name.shp"
fresh
t_one=$(measure "plexor 1 thread" "${plexor[@]}" --threads 1 convert -c 30 "$src" -o "$data/out-plexor.mif")
one_sums=$(cat "$data"/out-plexor.mif "$data"/out-plexor.mid | md5sum)
fresh
t_all=$(measure "plexor" "${plexor[@]}" convert -c 30 "$src" -o "$data/out-plexor.mif")
if [ "$(cat "$data"/out-plexor.mif "$data"/out-plexor.mid | md5sum)" = "$one_sums" ]; then
  echo "all cores wrote the same bytes as one thread" >&2
else
  echo "DIFFERENT: all cores and one thread wrote different files" >&2
  exit 1
fi
# A competing process on one core, for the default and for one thread alike.
busy=
trap '[ -z "$busy" ] || kill "$busy" 2>/dev/null' EXIT
start_busy() { fresh; yes >/dev/null & busy=$!; }
stop_busy() { kill "$busy"; busy=; }
start_busy
t_busy=$(measure "plexor + busy" "${plexor[@]}" convert -c 30 "$src" -o "$data/out-plexor.mif")
stop_busy
start_busy
t_one_busy=$(measure "1 thread + busy" "${plexor[@]}" --threads 1 convert -c 30 "$src" \
  -o "$data/out-plexor.mif")
stop_busy
ls -l "$data"/out-plexor.mif "$data"/out-plexor.mid
fresh
t_gdal=$(measure ogr2ogr ogr2ogr -f "MapInfo File" -dsco FORMAT=MIF "$data/out-gdal.mif" "$src")
ls -l "$data"/out-gdal.mif "$data"/out-gdal.mid
awk -v a="$t_gdal" -v b="$t_all" -v c="$t_one" -v d="$t_busy" -v e="$t_one_busy" \
  'BEGIN { printf "ratio ogr2ogr/plexor: %.1fx (one thread: %.1fx, beside a busy process: %.1fx)\n", a / b, a / c, a / d
           printf "beside a busy process: default %.2f s, one thread %.2f s (one thread alone %.2f s)\n", d, e, c }'

if command -v strace >/dev/null; then
  fresh
  trace=$(mktemp)
  strace -f -ttt -T -e trace=fsync,rename -o "$trace" "${plexor[@]}" convert -c 30 "$src" \
    -o "$data/out-plexor.mif" >/dev/null 2>&1
  awk '/fsync\(|rename\(/ { t = $2; if (first == "") first = t; last = t }
       /fsync\(/ && !/resumed/ { n = split($0, f, "<"); d = f[n]; sub(/>.*/, "", d); if (d + 0 > worst) worst = d + 0 }
       END { printf "first sync to pair published: %.3f s (slowest sync %.3f s)\n", last - first, worst }' "$trace"
  rm -f "$trace"
fi
fresh
