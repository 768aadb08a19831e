#!/usr/bin/env bash
# Reads the three export formats of a simulator dump back with readers of their own: GDAL's
# ogrinfo (its GeoJSON and GPX drivers), xmllint and Python's csv module, and checks that they
# agree on the records with a position. Exit 77 (skipped) when a reader is not installed.
set -euo pipefail
bin=$1
for tool in ogrinfo xmllint python3; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed (scripts/install-deps.sh)"; exit 77; }
done
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
export TZ=Europe/London LC_ALL=C
"$bin/tavon-instrument" --dump dump.txt --seed 3
# The first forty sessions the dump lists (a slot it does not hold is refused, as by render).
slots=$("$bin/tavon-datalog" sessions dump.txt | sed -n 's/^ *slot \([0-9]*\): .*/\1/p' | head -n 40)
for format in csv geojson gpx; do
  # shellcheck disable=SC2086
  "$bin/tavon-datalog" export dump.txt $slots --format "$format" -o "out.$format"
done

xmllint --noout out.gpx

csv_located=$(python3 - <<'PY'
import csv
with open("out.csv", newline="", encoding="utf-8") as f:
    rows = list(csv.reader(f))
header = rows[0]
assert header[:4] == ["time", "slot", "kind", "mode"], header
assert header[-4:] == ["latitude", "longitude", "fix quality", "detail"], header
lat, lon = header.index("latitude"), header.index("longitude")
located = 0
for row in rows[1:]:
    assert len(row) == len(header), row
    if row[lat]:
        assert -90 <= float(row[lat]) <= 90 and -180 <= float(row[lon]) <= 180, row
        located += 1
print(located)
PY
)

count() { ogrinfo -ro -so "$@" | sed -n 's/^Feature Count: //p'; }
features=$(count -al out.geojson)
waypoints=$(count out.gpx waypoints)
tracks=$(count out.gpx tracks)
echo "csv rows with a position: $csv_located, GeoJSON features: $features, GPX waypoints: $waypoints, tracks: $tracks"
[ "$features" -gt 0 ] && [ "$tracks" -gt 0 ]
[ "$csv_located" -eq "$features" ] && [ "$features" -eq "$waypoints" ]
# Longitude first: the generator's positions lie north of the equator and west of Greenwich.
ogrinfo -ro -so -al out.geojson | grep -Eq '^Extent: \(-[0-9.]+, [0-9.]+\) - \(-[0-9.]+, [0-9.]+\)$'
