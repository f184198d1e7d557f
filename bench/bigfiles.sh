#!/usr/bin/env bash
# Very large files, not run in CI: a generated shapefile above 4 GiB with a .dbf above 2 GiB
# is converted by the release plexor; the record counts, the last object and the last MID row
# are checked, and the peak memory of a small and of the large conversion are reported side
# by side (constant memory means they are about equal).
#
#   bench/bigfiles.sh [DIR] [COUNT] [VERTICES]
#
# Defaults: build/bigfiles, 22000000 polygons of 9 vertices: a .shp of 4.4 GB and a .dbf of
# 2.24 GB, with about 9 GB of output beside them; some 16 GB of disk in all. The big files are
# removed at the end unless PLEXOR_BIGFILES_KEEP=1.
set -euo pipefail
cd "$(dirname "$0")/.."

DIR=${1:-build/bigfiles}
COUNT=${2:-22000000}
VERTICES=${3:-9}
INDEX=9  # plane rectangular zone IX: the generator's coordinates are metres around the origin

SHP_RECORD=$((12 + 40 + 4 + 16 * VERTICES))
SHP_SIZE=$((100 + COUNT * SHP_RECORD))
DBF_RECORD=102
DBF_SIZE=$((32 + 32 * 8 + 1 + COUNT * DBF_RECORD + 1))
# Output: about 34 bytes per vertex line and 20 per object in the MIF, 80 per MID row.
NEED=$((SHP_SIZE + DBF_SIZE + COUNT * 8 + COUNT * (34 * (VERTICES + 1) + 20) + COUNT * 80))

mkdir -p "$DIR"
FREE=$(($(df --output=avail -B1 "$DIR" | tail -1)))
echo "shp $SHP_SIZE bytes, dbf $DBF_SIZE bytes, about $((NEED / 1000000000)) GB needed, $((FREE / 1000000000)) GB free"
if [ "$NEED" -gt $((FREE - 2000000000)) ]; then
  echo "not enough disk space in $DIR" >&2
  exit 1
fi

cmake --preset release >/dev/null
cmake --build --preset release -j 2 --target plexor plexor_samplegen
GEN=build/release/plexor_samplegen
PLEXOR=build/release/plexor

cleanup() {
  if [ "${PLEXOR_BIGFILES_KEEP:-0}" != 1 ]; then
    rm -f "$DIR"/bench.{shp,shx,dbf,mif,mid} "$DIR"/small/bench.{shp,shx,dbf,mif,mid}
  fi
}
trap cleanup EXIT

peak_kb() { sed -n 's/.*Maximum resident set size (kbytes): *//p' "$1"; }
elapsed() { sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): *//p' "$1"; }

# Checks one conversion of COUNT records: counts, last object, last MID row.
check() {
  local dir=$1 count=$2 out=$3
  local objects
  objects=$(sed -n 's/.*: \([0-9]*\) objects, \([0-9]*\) MID rows.*/\1 \2/p' "$out")
  [ "$objects" = "$count $count" ] || { echo "summary says '$objects', expected $count" >&2; return 1; }
  local regions midrows
  regions=$(LC_ALL=C grep -c '^Region ' "$dir/bench.mif")
  midrows=$(wc -l <"$dir/bench.mid")
  [ "$regions" = "$count" ] || { echo "$regions Region objects, expected $count" >&2; return 1; }
  [ "$midrows" = "$count" ] || { echo "$midrows MID rows, expected $count" >&2; return 1; }
  python3 - "$dir" "$VERTICES" <<'PY'
import os, struct, sys
from decimal import Decimal, ROUND_HALF_EVEN, ROUND_HALF_UP
d, vertices = sys.argv[1], int(sys.argv[2])

def coord(x):
    exact = Decimal(x)
    if exact == 0:
        return "0.00000000"
    digits = exact.adjusted() - 17  # 18 significant digits first
    q = exact.quantize(Decimal(1).scaleb(digits), rounding=ROUND_HALF_EVEN)
    text = str(q.quantize(Decimal("1e-8"), rounding=ROUND_HALF_UP))
    return "0.00000000" if text == "-0.00000000" else text

def tail_lines(path, n):
    with open(path, "rb") as f:
        f.seek(0, 2)
        size = f.tell()
        f.seek(max(0, size - 64 * 1024))
        return f.read().split(b"\r\n")[-n - 1:-1]

# The last .shp record: fixed size, so it ends the file.
record = 12 + 40 + 4 + 16 * vertices
with open(os.path.join(d, "bench.shp"), "rb") as f:
    f.seek(-record, 2)
    r = f.read(record)
shape_type, = struct.unpack_from("<i", r, 8)
parts, points = struct.unpack_from("<ii", r, 44)
xy = [struct.unpack_from("<dd", r, 56 + 16 * i) for i in range(points)]
assert shape_type == 5 and parts == 1 and points == vertices, (shape_type, parts, points)
# One clockwise closed ring is written as stored.
expected = [b"Region 1", b"  %d" % points] + [(coord(x) + " " + coord(y)).encode() for x, y in xy] + [b""]
got = tail_lines(os.path.join(d, "bench.mif"), len(expected))
if got != expected:
    sys.exit("last object differs:\n%r\n%r" % (got, expected))

# The last .dbf record, before the end marker.
with open(os.path.join(d, "bench.dbf"), "rb") as f:
    f.seek(-103, 2)
    r = f.read(103)
assert r[-1:] == b"\x1a"
rec = r[:102]
widths = [40, 10, 16, 8, 1, 12, 10, 4]
fields, at = [], 1
for w in widths:
    fields.append(rec[at:at + w])
    at += w
def general(t):
    t = t.strip()
    return b"" if not t else ("%.15g" % float(t)).encode()
date = fields[3]
row = b",".join([
    b'"' + fields[0].rstrip(b" ") + b'"',
    str(int(fields[1])).encode(),
    general(fields[2]),
    date[0:4] + b"/" + date[4:6] + b"/" + date[6:8],
    b"True" if fields[4] == b"T" else b"False",
    b'"' + fields[5].rstrip(b" ") + b'"',
    general(fields[6]),
    str(int(fields[7])).encode(),
])
got = tail_lines(os.path.join(d, "bench.mid"), 1)
if got != [row]:
    sys.exit("last MID row differs:\n%r\n%r" % (got, [row]))
print("last object (%d points) and last MID row as expected" % points)
PY
}

# A small conversion first: its peak memory is the yardstick for the large one.
SMALL=$((COUNT / 100))
mkdir -p "$DIR/small"
"$GEN" bench "$DIR/small" "$SMALL" "$VERTICES"
/usr/bin/time -v "$PLEXOR" convert -c "$INDEX" "$DIR/small/bench.shp" -o "$DIR/small/bench.mif" \
  >"$DIR/small.out" 2>"$DIR/small.time"
check "$DIR/small" "$SMALL" "$DIR/small.out"

echo "generating $COUNT polygons of $VERTICES vertices in $DIR"
/usr/bin/time -v "$GEN" bench "$DIR" "$COUNT" "$VERTICES" 2>"$DIR/generate.time"
shp_bytes=$(stat -c %s "$DIR/bench.shp")
dbf_bytes=$(stat -c %s "$DIR/bench.dbf")
[ "$shp_bytes" -gt $((4 << 30)) ] || { echo ".shp is not above 4 GiB: $shp_bytes" >&2; exit 1; }
[ "$dbf_bytes" -gt $((2 << 30)) ] || { echo ".dbf is not above 2 GiB: $dbf_bytes" >&2; exit 1; }
inputs_before=$(stat -c '%s %Y' "$DIR/bench.shp" "$DIR/bench.dbf")

echo "converting"
status=0
/usr/bin/time -v "$PLEXOR" convert -c "$INDEX" "$DIR/bench.shp" -o "$DIR/bench.mif" \
  >"$DIR/convert.out" 2>"$DIR/convert.time" || status=$?
[ "$status" = 0 ] || { cat "$DIR/convert.out" "$DIR/convert.time" >&2; echo "plexor exited $status" >&2; exit 1; }
[ "$(stat -c '%s %Y' "$DIR/bench.shp" "$DIR/bench.dbf")" = "$inputs_before" ] || { echo "inputs changed" >&2; exit 1; }
check "$DIR" "$COUNT" "$DIR/convert.out"

mif_bytes=$(stat -c %s "$DIR/bench.mif")
mid_bytes=$(stat -c %s "$DIR/bench.mid")
echo
echo "records            $COUNT polygons of $VERTICES vertices"
echo "input  .shp/.dbf   $shp_bytes / $dbf_bytes bytes"
echo "output .mif/.mid   $mif_bytes / $mid_bytes bytes"
echo "generate           $(elapsed "$DIR/generate.time")"
echo "convert            $(elapsed "$DIR/convert.time"), peak RSS $(peak_kb "$DIR/convert.time") KiB"
echo "convert 1/100      $(elapsed "$DIR/small.time"), peak RSS $(peak_kb "$DIR/small.time") KiB"
