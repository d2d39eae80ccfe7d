#!/usr/bin/env bash
# The field check's multi-view fy/fx beside OpenCV's calibrateCamera used the way a user
# would (bench/field-views.py: principal point fixed at the image centre, no distortion),
# on the same synthetic photographs: three views of an 11 x 9 field by a camera of
# fy/fx = 1.0035 with 0.05 px of noise, TRIALS sets of them (fixed seeds). Also our
# single-view corrected coefficient with the focal length exact and 1 % off, and the plain
# coefficient of the first view. Errors are against the truth, in units of 1e-4.
#
#   bench/field-compare.sh            TRIALS=20 BUILD_DIR=build-bench to change
set -euo pipefail
cd "$(dirname "$0")/.."

BUILD_DIR=${BUILD_DIR:-build-bench}
TRIALS=${TRIALS:-20}
DATA_DIR=$BUILD_DIR/field-views

./scripts/install-deps.sh python3-opencv python3-numpy
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release -DVRMA_BUILD_BENCH=ON >/dev/null
cmake --build "$BUILD_DIR" --target vrma_bench_field_check -j"$(nproc)" >/dev/null
OURS=$BUILD_DIR/bench/vrma_bench_field_check
export QT_QPA_PLATFORM=offscreen

/usr/bin/python3 bench/field-views.py make "$DATA_DIR" "$TRIALS"
echo "OpenCV $(/usr/bin/python3 -c 'import cv2; print(cv2.__version__)')," \
  "numpy $(/usr/bin/python3 -c 'import numpy; print(numpy.__version__)')"

results=$(mktemp)
trap 'rm -f "$results"' EXIT
/usr/bin/python3 bench/field-views.py opencv "$DATA_DIR" "$TRIALS" |
  while read -r trial peer; do
    d=$DATA_DIR/$trial
    views=$("$OURS" views 11 9 720 576 0 "$d/scene.crd" "$d/image1.crd" "$d/image2.crd" \
      "$d/image3.crd" 2>/dev/null)
    exact=$("$OURS" views 11 9 720 576 1000 "$d/scene.crd" "$d/image1.crd" 2>/dev/null)
    off=$("$OURS" views 11 9 720 576 1010 "$d/scene.crd" "$d/image1.crd" 2>/dev/null)
    echo "$trial $peer $(echo "$views" | cut -d' ' -f6,8) $(echo "$exact" | cut -d' ' -f2,4)" \
      "$(echo "$off" | cut -d' ' -f4)" >>"$results"
  done

/usr/bin/python3 - "$results" <<'PY'
import statistics
import sys

TRUTH = 1003.5 / 1000.0
rows = [line.split() for line in open(sys.argv[1])]
cols = {"opencv": 1, "ours_multiview": 2, "ours_se": 3, "plain": 4, "corrected_f": 5,
        "corrected_f_1pc": 6}
def err(name):
    return [float(r[cols[name]]) - TRUTH for r in rows]
print(f"{len(rows)} trials, truth fy/fx = {TRUTH}; errors in 1e-4")
print(f"{'value':<48}{'mean err':>10}{'rms err':>10}{'max |err|':>11}")
for name, label in (("opencv", "OpenCV calibrateCamera, 3 views"),
                    ("ours_multiview", "ours, 3 views, no focal length"),
                    ("corrected_f", "ours, view 1, focal exact"),
                    ("corrected_f_1pc", "ours, view 1, focal 1 % high"),
                    ("plain", "plain coefficient, view 1")):
    e = err(name)
    rms = (sum(x * x for x in e) / len(e)) ** 0.5
    print(f"{label:<48}{statistics.mean(e) * 1e4:>10.2f}{rms * 1e4:>10.2f}"
          f"{max(abs(x) for x in e) * 1e4:>11.2f}")
diff = [abs(float(r[2]) - float(r[1])) for r in rows]
se = [float(r[3]) for r in rows]
print(f"ours - OpenCV: largest |difference| {max(diff):.2e}; "
      f"our standard error of fy/fx: median {statistics.median(se):.2e}")
PY
