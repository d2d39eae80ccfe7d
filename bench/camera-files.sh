#!/bin/sh
# What vrma-calib --photo keeps besides the camera, on the real photographs: the ROS
# camera_info read by a plain YAML parser (python3-yaml), the orientation files (their
# distance from the board against the projection centre), the undistorted copies (their
# size), and the JSON's poses and covariance. Usage: bench/camera-files.sh [BUILD_DIR]
set -eu
build=${1:-build}
photos=${PHOTOS:-/work/shared/real-photos/udacity1280}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
mkdir "$out/ort" "$out/plain"
args=""
for p in "$photos"/left*.jpg; do args="$args --photo $p"; done
# shellcheck disable=SC2086
"$build/vrma-calib" $args --target chessboard --columns 9 --rows 6 --pitch 20 \
    --json "$out/c.json" --ros-yaml "$out/c.yaml" --orientation-folder "$out/ort" \
    --undistort-folder "$out/plain" >/dev/null
python3 - "$out" <<'PY'
import glob, json, math, os, sys, yaml
out = sys.argv[1]
ros = yaml.safe_load(open(os.path.join(out, "c.yaml")))
j = json.load(open(os.path.join(out, "c.json")))
cam = j["camera"]
k = ros["camera_matrix"]["data"]
print("ROS camera_info: model %s, %dx%d, fx %.3f (JSON %.3f), cx %.3f (JSON %.3f), d %s" % (
    ros["distortion_model"], ros["image_width"], ros["image_height"], k[0], cam["fx"], k[2],
    cam["cx"], ["%.5f" % v for v in ros["distortion_coefficients"]["data"]]))
orts = sorted(glob.glob(os.path.join(out, "ort", "*.ort")))
worst = 0.0
for f in orts:
    lines = open(f, "rb").read().decode("cp1251").split("\r\n")
    v = [float(l.split(";")[0]) if l.split(";")[0].strip() else None for l in lines[:21]]
    c, a, d = v[0:3], v[3:5], v[5]
    if d is not None:
        worst = max(worst, abs(math.dist(c, a + [0.0]) - d))
print("orientation files: %d, |centre - aim| - distance at most %.2e mm" % (len(orts), worst))
print("undistorted copies: %d" % len(glob.glob(os.path.join(out, "plain", "*.png"))))
poses = [p["pose"] for p in j["photos"] if p["pose"]]
print("JSON: %d poses, covariance %dx%d" % (len(poses), len(j["covariance"]["matrix"]),
                                            len(j["covariance"]["matrix"][0])))
PY
