#!/usr/bin/env bash
# The calibration of a camera from several photographs beside what users run today
# (bench/calib_peer.py: a Python script with OpenCV's findChessboardCorners + cornerSubPix +
# calibrateCamera, its default model), on the same files:
# - rendered sets with a known camera (vrma_bench_camera_calibration write): 12 photographs
#   a set of a 9 x 6 chessboard, 1600 x 1200, the boards turned 0, 90, 180 and 270 degrees
#   (three photographs each) besides their tilt, through a barrel lens, a pincushion lens,
#   a mild lens with the principal point far off the centre, and boards tilted 30 to 50
#   degrees; each side's fy/fx, principal point and k1 against the truth, and its time;
# - the real photographs of ../shared/real-photos (REAL_PHOTOS to change), each camera
#   of the stereo pair alone, the board typed as 7 x 5: photographs found, fy/fx, time;
# - the views at scale: 10 to 1000 views of synthetic points, time and peak memory of ours
#   (Ceres) and of OpenCV's calibrateCamera (to OPENCV_MAX views, 100 by default: it grows
#   with the cube of the views).
# Ours is vrma-calib with one --photo a photograph and --json, end to end, as users run it
# (its photographs searched on as many threads as there are processors); the same search
# and fit run one photograph after the other in vrma_bench_camera_calibration measure give
# "s" (from the first read to the camera, as the script's) and the RMS of the targets found
# against the truth. "run s" is the whole process, started to ended, and "cpu s" its CPU
# time, user and system (the medians of REPEAT runs, 3 by default).
#
#   bench/camera-calibration.sh         BUILD_DIR=build-bench REPEAT=3 OPENCV_MAX=100
set -euo pipefail
cd "$(dirname "$0")/.."

BUILD_DIR=${BUILD_DIR:-build-bench}
REPEAT=${REPEAT:-3}
OPENCV_MAX=${OPENCV_MAX:-100}
REAL_PHOTOS=${REAL_PHOTOS:-../shared/real-photos/stereo320}
DATA_DIR=$BUILD_DIR/camera-calibration-turned

./scripts/install-deps.sh python3-opencv python3-numpy
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release -DVRMA_BUILD_BENCH=ON >/dev/null
cmake --build "$BUILD_DIR" --target vrma_bench_camera_calibration vrma-calib -j2 >/dev/null
OURS=$BUILD_DIR/bench/vrma_bench_camera_calibration
CALIB=$BUILD_DIR/vrma-calib
PEER=bench/calib_peer.py

[ -f "$DATA_DIR/sets.txt" ] || "$OURS" write "$DATA_DIR"

RESULTS=$(mktemp)
TIMES=$(mktemp)
JSON=$(mktemp)
trap 'rm -f "$RESULTS" "$TIMES" "$TIMES.out" "$JSON"' EXIT

# timed COMMAND...: runs it REPEAT times; sets WALL and CPU to the medians of the whole
# processes' wall-clock and CPU times (user and system); its output of the last run is in
# $TIMES.out.
timed() {
  local walls=() cpus=() k
  for ((k = 0; k < REPEAT; ++k)); do
    local TIMEFORMAT='%R %U %S'
    { time "$@" >"$TIMES.out"; } 2>"$TIMES"
    read -r wall user system <"$TIMES"
    walls+=("$wall")
    cpus+=("$(awk -v a="$user" -v b="$system" 'BEGIN { printf "%.3f", a + b }')")
  done
  local middle=$(((REPEAT + 1) / 2))
  WALL=$(printf '%s\n' "${walls[@]}" | sort -g | sed -n "${middle}p")
  CPU=$(printf '%s\n' "${cpus[@]}" | sort -g | sed -n "${middle}p")
}

# run NAME COMMAND...: the JSON the command prints, with "run_s" and "cpu_s" added,
# appended to $RESULTS.
run() {
  local name=$1
  shift
  timed "$@"
  local json
  json=$(cat "$TIMES.out")
  echo "$name ${json%\}}, \"run_s\": $WALL, \"cpu_s\": $CPU}" >>"$RESULTS"
}

# ours NAME DIR NC NR PATTERN: vrma-calib on the photographs, its JSON flattened to the
# script's keys, with our in-process "s" and the detection's RMS from measure.
ours() {
  local name=$1 dir=$2 columns=$3 rows=$4 pattern=$5 photos=() file
  for file in "$dir"/$pattern; do photos+=(--photo "$file"); done
  # OpenCV's model, as the script beside frees it.
  timed "$CALIB" "${photos[@]}" --target chessboard --columns "$columns" --rows "$rows" \
    --pitch 20 --model opencv --json "$JSON"
  local measured
  measured=$("$OURS" measure "$dir" "$columns" "$rows" "$pattern")
  /usr/bin/python3 - "$JSON" "$measured" "$WALL" "$CPU" "$name" >>"$RESULTS" <<'PY'
import json, sys
ours, measured = json.load(open(sys.argv[1])), json.loads(sys.argv[2])
flat = {"photos": len(ours["photos"]), "found": sum(p["found"] for p in ours["photos"]),
        "used": sum(p["used"] for p in ours["photos"]),
        "turns": [p["turned_deg"] for p in ours["photos"]],
        **ours["camera"], "ratio": ours["ratio"], "ratio_se": ours["ratio_se"],
        "rms_px": ours["rms_px"], "seconds": measured["seconds"],
        "detection_rms_px": measured.get("detection_rms_px"),
        "run_s": float(sys.argv[3]), "cpu_s": float(sys.argv[4])}
print(sys.argv[5], json.dumps(flat))
PY
}

while read -r set columns rows; do
  ours "$set ours" "$DATA_DIR/$set" "$columns" "$rows" '*.jpg'
  run "$set script" /usr/bin/python3 "$PEER" "$DATA_DIR/$set" "$columns" "$rows" '*.jpg'
done <"$DATA_DIR/sets.txt"
for side in left right; do
  ours "real_$side ours" "$REAL_PHOTOS" 7 5 "$side*.jpg"
  run "real_$side script" /usr/bin/python3 "$PEER" "$REAL_PHOTOS" 7 5 "$side*.jpg"
done

/usr/bin/python3 - "$DATA_DIR" "$RESULTS" <<'PY'
import json, sys
data, results = sys.argv[1], sys.argv[2]
rows = {}
for line in open(results):
    set_name, side, text = line.split(" ", 2)
    rows.setdefault(set_name, {})[side] = json.loads(text)
print("Rendered sets (12 photographs of 1600 x 1200 each, turned 0/90/180/270); errors against "
      "the truth:")
print(f"{'set':<11} {'side':<7} {'found':>5} {'fy/fx err':>10} {'se':>9} {'cx err':>7} "
      f"{'cy err':>7} {'k1 err':>8} {'rms px':>7} {'det px':>7} {'s':>6} {'run s':>6} {'cpu s':>6}")
for name, sides in rows.items():
    if name.startswith("real_"):
        continue
    truth = [float(v) for v in open(f"{data}/{name}/truth.txt").read().split()]
    fx, fy, cx, cy, k1 = truth[:5]
    for side in ("ours", "script"):
        r = sides[side]
        if "ratio" not in r:
            print(f"{name:<11} {side:<7} {r['found']:>2}/{r['photos']:<2} no camera")
            continue
        se = f"{r['ratio_se']:.2e}" if "ratio_se" in r else "-"
        det = f"{r['detection_rms_px']:.4f}" if r.get("detection_rms_px") else "-"
        print(f"{name:<11} {side:<7} {r['found']:>2}/{r['photos']:<2} {r['ratio'] - fy / fx:>+10.2e} "
              f"{se:>9} {r['cx'] - cx:>+7.2f} {r['cy'] - cy:>+7.2f} {r['k1'] - k1:>+8.4f} "
              f"{r['rms_px']:>7.4f} {det:>7} {r['seconds']:>6.3f} {r['run_s']:>6.3f} {r['cpu_s']:>6.3f}")
    if "turns" in sides["ours"]:
        print(f"{'':<11} turns found: {sides['ours']['turns']}")
print()
print("Real photographs (320 x 240, the board typed as 7 x 5):")
print(f"{'camera':<11} {'side':<7} {'found':>5} {'fy/fx':>9} {'se':>9} {'rms px':>7} {'s':>6} "
      f"{'run s':>6} {'cpu s':>6}")
for name, sides in rows.items():
    if not name.startswith("real_"):
        continue
    for side in ("ours", "script"):
        r = sides[side]
        if "ratio" not in r:
            print(f"{name:<11} {side:<7} {r['found']:>2}/{r['photos']:<2} no camera: {r.get('error', '')}")
            continue
        se = f"{r['ratio_se']:.2e}" if "ratio_se" in r else "-"
        print(f"{name:<11} {side:<7} {r['found']:>2}/{r['photos']:<2} {r['ratio']:>9.5f} {se:>9} "
              f"{r['rms_px']:>7.4f} {r['seconds']:>6.3f} {r['run_s']:>6.3f} {r['cpu_s']:>6.3f}")
    if "turns" in sides["ours"]:
        print(f"{'':<11} turns found: {sides['ours']['turns']}")
PY

echo
echo "Views at scale (synthetic points, 9 x 6 board, 0.02 px noise): solver views seconds"
echo "peak_MB added_MB fy/fx_error"
"$OURS" scale ceres 10 100 300 1000
counts=()
for n in 10 100 300 1000; do ((n <= OPENCV_MAX)) && counts+=("$n"); done
"$OURS" scale opencv "${counts[@]}"
