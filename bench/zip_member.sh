#!/usr/bin/env bash
# A shapefile of about 1 GB read deflated from a zip archive, not run in CI: the release plexor
# converts it straight from the archive and from the same files unpacked; the outputs must be
# byte-identical, and the peak memory and time of both are reported side by side (flat
# memory means the archive costs no more than the unpacked files).
#
#   bench/zip_member.sh [DIR] [COUNT]
#
# Defaults: build/zipbench, 5000000 polygons of 9 vertices: a .shp of 1.0 GB and a .dbf of
# 0.5 GB, deflated by Info-ZIP zip into one archive; some 6 GB of disk in all, removed at the
# end unless PLEXOR_ZIPBENCH_KEEP=1. PLEXOR_BENCH_BUILD=DIR takes the programs from a release
# build there (default build/zipbench-release, configured here).
set -euo pipefail
cd "$(dirname "$0")/.."

DIR=${1:-build/zipbench}
COUNT=${2:-5000000}
BUILD=${PLEXOR_BENCH_BUILD:-build/zipbench-release}

cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPLEXOR_BUILD_GUI=OFF \
  -DPLEXOR_BUILD_TESTS=OFF -DPLEXOR_BUILD_BENCH=OFF >/dev/null
cmake --build "$BUILD" -j 2 --target plexor plexor_samplegen >/dev/null
PLEXOR=$BUILD/plexor

mkdir -p "$DIR/files/data" "$DIR/out-zip" "$DIR/out-files"
cleanup() {
  [ "${PLEXOR_ZIPBENCH_KEEP:-0}" = 1 ] || rm -rf "$DIR/files" "$DIR/out-zip" "$DIR/out-files" "$DIR/bench.zip"
}
trap cleanup EXIT

if [ ! -f "$DIR/bench.zip" ]; then
  "$BUILD/plexor_samplegen" bench "$DIR/files/data" "$COUNT" 9 >/dev/null
  (cd "$DIR/files" && zip -q -1 -r ../bench.zip data)
fi
ls -l "$DIR/files/data/bench.shp" "$DIR/bench.zip" | awk '{print $5, $9}'

peak_kb() { sed -n 's/.*Maximum resident set size (kbytes): *//p' "$1"; }
elapsed() { sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): *//p' "$1"; }

run() {  # NAME SOURCE OUTDIR
  rm -f "$3"/bench.mif "$3"/bench.mid
  sync
  /usr/bin/time -v "$PLEXOR" convert -c 9 "$2" -d "$3" >"$DIR/$1.out" 2>"$DIR/$1.time"
  echo "$1: peak $(peak_kb "$DIR/$1.time") KiB, $(elapsed "$DIR/$1.time")"
}
run files "$DIR/files/data/bench.shp" "$DIR/out-files"
run zip "$DIR/bench.zip" "$DIR/out-zip"
cmp "$DIR/out-zip/bench.mif" "$DIR/out-files/bench.mif"
cmp "$DIR/out-zip/bench.mid" "$DIR/out-files/bench.mid"
echo "outputs identical"
