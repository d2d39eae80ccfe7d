#!/usr/bin/env bash
# The window "Калибровка камеры по снимкам" on 20 photographs of 24 megapixels beside what
# users run today (bench/calib_peer.py: findChessboardCorners + cornerSubPix +
# calibrateCamera in Python, one photograph after the other), on the same files:
# - ours: vrma_bench_camera_window measure, the window on the offscreen platform, the
#   photographs added at once, searched on its threads and fitted; "s" from the adding to
#   the camera on screen, "cpu s" the process's CPU time meanwhile, the longest stall of the
#   event loop and the count of stalls over 50 ms;
# - the script: "s" from its first read to the camera (its own clock), "run s" and "cpu s"
#   the whole process;
# the medians of REPEAT runs (3), ours and the script's taking turns. The photographs
# (vrma_bench_camera_window write: a 9 x 6 chessboard, 6000 x 4000 JPEG, through a barrel
# lens, the boards turned every way) are rendered once into $BUILD_DIR/camera-window-24mp.
#
#   bench/camera-window.sh          BUILD_DIR=build-bench REPEAT=3 PHOTOS=20
set -euo pipefail
cd "$(dirname "$0")/.."

BUILD_DIR=${BUILD_DIR:-build-bench}
REPEAT=${REPEAT:-3}
PHOTOS=${PHOTOS:-20}
DATA_DIR=$BUILD_DIR/camera-window-24mp
PYTHON=/usr/bin/python3

./scripts/install-deps.sh python3-opencv python3-numpy
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release -DVRMA_BUILD_BENCH=ON >/dev/null
cmake --build "$BUILD_DIR" --target vrma_bench_camera_window -j2 >/dev/null
OURS=$BUILD_DIR/bench/vrma_bench_camera_window

[ -f "$DATA_DIR/truth.txt" ] || "$OURS" write "$DATA_DIR" "$PHOTOS" 6000 4000

RESULTS=$(mktemp)
trap 'rm -f "$RESULTS" "$RESULTS.time"' EXIT
for ((k = 0; k < REPEAT; ++k)); do
  printf 'ours %s\n' "$(QT_QPA_PLATFORM=offscreen "$OURS" measure "$DATA_DIR" 9 6 '*.jpg' 2>/dev/null)" \
    >>"$RESULTS"
  TIMEFORMAT='%R %U %S'
  { time "$PYTHON" bench/calib_peer.py "$DATA_DIR" 9 6 '*.jpg' >"$RESULTS.out"; } 2>"$RESULTS.time"
  printf 'script %s %s\n' "$(cat "$RESULTS.time")" "$(cat "$RESULTS.out")" >>"$RESULTS"
done
rm -f "$RESULTS.out"

"$PYTHON" - "$RESULTS" "$DATA_DIR/truth.txt" <<'EOF'
import json, statistics, sys
truth = [float(v) for v in open(sys.argv[2]).read().split()]
ratio = truth[1] / truth[0]
ours, script = [], []
for line in open(sys.argv[1]):
    side, rest = line.split(' ', 1)
    if side == 'ours':
        ours.append(json.loads(rest))
    else:
        wall, user, system, text = rest.split(' ', 3)
        result = json.loads(text)
        result['run_s'] = float(wall)
        result['cpu_s'] = float(user) + float(system)
        script.append(result)
median = lambda runs, key: statistics.median(r[key] for r in runs)
print('| side | found | fy/fx err | s | run s | cpu s | longest stall ms | stalls > 50 ms |')
print('|---|---|---:|---:|---:|---:|---:|---:|')
o = ours[-1]
print(f"| ours (window) | {o['found']}/{o['photos']} | {o['ratio'] - ratio:+.2e} | "
      f"{median(ours, 'seconds'):.2f} | – | {median(ours, 'cpu_s'):.2f} | "
      f"{median(ours, 'stall_ms'):.0f} (max {max(r['stall_ms'] for r in ours):.0f}) | "
      f"{max(r['stalls_over_50ms'] for r in ours)} |")
s = script[-1]
print(f"| script | {s['found']}/{s['photos']} | {s['ratio'] - ratio:+.2e} | "
      f"{median(script, 'seconds'):.2f} | {median(script, 'run_s'):.2f} | "
      f"{median(script, 'cpu_s'):.2f} | – | – |")
EOF
