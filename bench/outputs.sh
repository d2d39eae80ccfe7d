#!/usr/bin/env bash
# Everything vrma-calib gives, as fingerprints: for a fixed set of calls (the examples, views
# of a field, the errors and their codes, test fields, photographs measured, cameras
# calibrated from rendered sets of photographs), the exit code, standard output, standard
# error and every file written, each as an md5 (a PDF as the md5 of its pages rendered by
# pdftoppm: its bytes hold a random document ID). The clock is held by faketime, so that the
# dates of the reports agree.
#
#   bench/outputs.sh list BUILD_DIR [DATA_DIR]          prints "case exit md5..." a line
#   bench/outputs.sh compare BUILD_A BUILD_B [DATA_DIR] both, and the cases that differ
#
# Where a case differs in its JSON files alone, compare also reads them side by side and
# tells whether every number agrees to a relative 1e-9 (of the larger value, or of 1 for a
# value below 1): the field check's fit of one photograph converges to its optimum along
# a flat valley, where two solvers agree only that far.
#
# The inputs are made once into DATA_DIR (default build-outputs-data) by BUILD_DIR's (or
# BUILD_A's) benchmark programs: the rendered photographs of vrma_bench_detection and
# vrma_bench_camera_calibration, the views of bench/field-views.py, and one photograph of
# another size (a copy of a set's first photograph one pixel wider and higher). Cases whose
# name starts with "changed-" are those a change of behaviour is expected to move.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)

mode=${1:-}
case "$mode" in
list) BUILD_A=${2:?build folder}; DATA_DIR=${3:-build-outputs-data} ;;
compare) BUILD_A=${2:?first build folder}; BUILD_B=${3:?second build folder}; DATA_DIR=${4:-build-outputs-data} ;;
*) sed -n '2,16p' "$0"; exit 1 ;;
esac

./scripts/install-deps.sh faketime poppler-utils python3-opencv python3-numpy
export LC_ALL=C.UTF-8
export QT_QPA_PLATFORM=offscreen

make_data() { # build
  local build=$1
  [ -f "$DATA_DIR/ready" ] && return
  mkdir -p "$DATA_DIR"
  "$build/bench/vrma_bench_detection" write "$DATA_DIR/detection" >/dev/null
  "$build/bench/vrma_bench_camera_calibration" write "$DATA_DIR/sets" >/dev/null
  /usr/bin/python3 bench/field-views.py make "$DATA_DIR/views" 1 >/dev/null
  /usr/bin/python3 - "$DATA_DIR/sets/barrel/01.jpg" "$DATA_DIR/other-size.jpg" <<'PY'
import sys, cv2
image = cv2.imread(sys.argv[1])
cv2.imwrite(sys.argv[2], cv2.resize(image, (image.shape[1] + 1, image.shape[0] + 1)),
            [cv2.IMWRITE_JPEG_QUALITY, 92])
PY
  touch "$DATA_DIR/ready"
}

# The calls: "name|arguments" (a word OUT/ names a file in the case's output folder, D/ one
# of the data, EX/ the examples).
cases() {
  local sets="$DATA_DIR/sets" photos set
  echo "ratio-plain|--scene EX/decimal-point/scene.crd --image EX/decimal-point/image.crd --columns 6 --rows 6"
  echo "ratio-files|--scene EX/decimal-point/scene.crd --image EX/decimal-point/image.crd --columns 6 --rows 6 --table OUT/t.tab --camera OUT/c.cam --report OUT/r.pdf"
  echo "ratio-focal|--scene EX/decimal-point/scene.crd --image EX/decimal-point/image.crd --columns 6 --rows 6 --focal 800 --json OUT/f.json --report OUT/r.pdf"
  echo "ratio-comma|--scene EX/decimal-comma/scene.crd --image EX/decimal-comma/image.crd --columns 6 --rows 6 --decimal-separator , --table OUT/t.tab"
  echo "ratio-size|--scene EX/decimal-point/scene.crd --image EX/decimal-point/image.crd --columns 6 --rows 6 --width 1280 --height 1024 --table OUT/t.tab --camera OUT/c.cam"
  local v="D/views/t00"
  echo "views|--scene $v/scene.crd --image $v/image1.crd --columns 11 --rows 9 --view $v/scene.crd $v/image2.crd --view $v/scene.crd $v/image3.crd --json OUT/v.json --report OUT/v.pdf"
  echo "views-focal|--scene $v/scene.crd --image $v/image1.crd --columns 11 --rows 9 --focal 1000 --view $v/scene.crd $v/image2.crd --json OUT/v.json"
  echo "single-focal|--scene $v/scene.crd --image $v/image2.crd --columns 11 --rows 9 --focal 1010 --json OUT/v.json"
  echo "single-focal-off|--scene $v/scene.crd --image $v/image3.crd --columns 11 --rows 9 --focal 700 --json OUT/v.json"
  echo "err-count|--scene EX/decimal-point/scene.crd --image EX/decimal-point/image.crd --columns 5 --rows 6"
  echo "err-calc|--scene EX/decimal-point/scene.crd --image EX/decimal-point/image.crd --columns 2 --rows 18"
  echo "err-read|--scene EX/decimal-comma/scene.crd --image EX/decimal-comma/image.crd --columns 6 --rows 6 --decimal-separator ."
  echo "err-focal|--scene EX/decimal-point/scene.crd --image EX/decimal-point/image.crd --columns 6 --rows 6 --focal 1"
  echo "err-line|--scene $v/scene.crd --image $v/scene.crd --columns 99 --rows 1 --focal 1000 --json OUT/v.json"
  echo "field-chess|--make-field OUT/f.pdf --target chessboard --columns 9 --rows 6 --pitch 15"
  echo "field-dots|--make-field OUT/f.pdf --target dots --columns 7 --rows 5 --pitch 15 --pitch-y 12 --page A3 --scene-out OUT/s.crd"
  for photo in chess_sharp chess_tilted dots_sharp dots_degraded; do
    local file kind columns rows
    read -r _ kind columns rows file < <(grep "^$photo " "$DATA_DIR/detection/cases.txt")
    echo "photo-$photo|--photo D/detection/$(basename "$file") --target $kind --columns $columns --rows $rows --pitch 20 --scene-out OUT/s.crd --image-out OUT/i.crd --table OUT/t.tab --camera OUT/c.cam --focal 2000 --json OUT/p.json --report OUT/p.pdf"
  done
  while read -r set columns rows; do
    photos=$(for f in "$sets/$set"/*.jpg; do printf -- '--photo D/sets/%s/%s ' "$set" "$(basename "$f")"; done)
    echo "camera-$set|$photos--target chessboard --columns $columns --rows $rows --pitch 20 --json OUT/c.json --camera-yaml OUT/c.yml --table OUT/t.tab --camera OUT/c.cam --report OUT/c.pdf"
  done <"$sets/sets.txt"
  read -r set columns rows <"$sets/sets.txt"
  photos=$(for f in "$sets/$set"/*.jpg; do printf -- '--photo D/sets/%s/%s ' "$set" "$(basename "$f")"; done)
  for model in radial no-distortion fixed-centre; do
    echo "camera-$set-$model|$photos--target chessboard --columns $columns --rows $rows --pitch 20 --model $model --json OUT/c.json"
  done
  echo "camera-too-few|--photo D/sets/$set/01.jpg --photo D/sets/$set/02.jpg --target chessboard --columns $columns --rows $rows --pitch 20 --json OUT/c.json"
  echo "camera-wrong-board|--photo D/sets/$set/01.jpg --photo D/sets/$set/02.jpg --photo D/sets/$set/03.jpg --target chessboard --columns $((columns + 1)) --rows $rows --pitch 20"
  echo "changed-camera-other-size|${photos}--photo D/other-size.jpg --target chessboard --columns $columns --rows $rows --pitch 20 --json OUT/c.json --table OUT/t.tab"
}

fingerprint() { # file
  case "$1" in
  *.pdf)
    local pages
    pages=$(mktemp -d)
    pdftoppm -r 30 -gray "$1" "$pages/p" 2>/dev/null
    cat "$pages"/* | md5sum | cut -c1-12
    rm -rf "$pages"
    ;;
  *) md5sum <"$1" | cut -c1-12 ;;
  esac
}

run_all() { # build [folder to keep the outputs in]
  local build keep=${2:-}
  build=$(cd "$1" && pwd)
  local calib=$build/vrma-calib data examples
  data=$(cd "$DATA_DIR" && pwd)
  examples=$ROOT/examples
  cases | while IFS='|' read -r name arguments; do
    # One folder for every run of a case: the reports and camera files name the files by
    # their full paths.
    local work=${TMPDIR:-/tmp}/vrma-outputs/$name
    rm -rf "$work"
    mkdir -p "$work/out"
    arguments=${arguments//OUT\//$work/out/}
    arguments=${arguments//D\//$data/}
    arguments=${arguments//EX\//$examples/}
    local code=0
    # shellcheck disable=SC2086
    (cd "$work" && DONT_FAKE_MONOTONIC=1 faketime -f '2026-03-01 12:00:00' "$calib" $arguments >stdout 2>stderr) || code=$?
    local line="$name $code out:$(sed -e "s|$work|WORK|g" -e "s|$data|DATA|g" "$work/stdout" | md5sum | cut -c1-12)"
    line+=" err:$(sed -e "s|$work|WORK|g" -e "s|$data|DATA|g" "$work/stderr" | md5sum | cut -c1-12)"
    for f in "$work"/out/*; do
      [ -e "$f" ] || continue
      if [[ "$f" == *.cam || "$f" == *.json || "$f" == *.tab ]]; then
        # The camera file and the JSON name the files by their full paths.
        line+=" $(basename "$f"):$(sed -e "s|$work|WORK|g" -e "s|$data|DATA|g" "$f" | md5sum | cut -c1-12)"
      else
        line+=" $(basename "$f"):$(fingerprint "$f")"
      fi
    done
    echo "$line"
    if [ -n "$keep" ]; then
      mkdir -p "$keep/$name"
      cp -r "$work"/out/. "$keep/$name/"
    fi
    rm -rf "$work"
  done
}

if [ "$mode" = list ]; then
  make_data "$BUILD_A"
  run_all "$BUILD_A"
  exit 0
fi

make_data "$BUILD_A"
a=$(mktemp)
b=$(mktemp)
kept=$(mktemp -d)
trap 'rm -rf "$a" "$b" "$kept"' EXIT
run_all "$BUILD_A" "$kept/a" >"$a"
run_all "$BUILD_B" "$kept/b" >"$b"
same=0
differ=0
while read -r line_a && read -r line_b <&3; do
  if [ "$line_a" = "$line_b" ]; then
    same=$((same + 1))
  else
    differ=$((differ + 1))
    echo "differs: ${line_a%% *}"
    echo "  $BUILD_A: ${line_a#* }"
    echo "  $BUILD_B: ${line_b#* }"
    name=${line_a%% *}
    # The same but for the JSON files: their numbers side by side.
    if [ "$(echo "$line_a" | tr ' ' '\n' | grep -v '\.json:')" = \
      "$(echo "$line_b" | tr ' ' '\n' | grep -v '\.json:')" ]; then
      /usr/bin/python3 - "$kept/a/$name" "$kept/b/$name" <<'PY'
import glob, json, os, sys

def numbers(value, path=""):
    if isinstance(value, dict):
        for key, item in value.items():
            yield from numbers(item, path + "/" + key)
    elif isinstance(value, list):
        for index, item in enumerate(value):
            yield from numbers(item, path + "/" + str(index))
    else:
        yield path, value

worst, where = 0.0, ""
for file in sorted(glob.glob(os.path.join(sys.argv[1], "*.json"))):
    a = dict(numbers(json.load(open(file))))
    b = dict(numbers(json.load(open(os.path.join(sys.argv[2], os.path.basename(file))))))
    if a.keys() != b.keys():
        print("  the JSON keys differ")
        sys.exit()
    for key in a:
        x, y = a[key], b[key]
        if isinstance(x, (int, float)) and isinstance(y, (int, float)) and \
                not isinstance(x, bool) and not isinstance(y, bool):
            d = abs(x - y) / max(abs(x), abs(y), 1.0)
            if d > worst:
                worst, where = d, key
        elif x != y:
            print("  the JSON differs in", key, x, y)
            sys.exit()
print("  JSON numbers agree to %.1e%s (%s)" % (worst, "" if worst <= 1e-9 else ": MORE THAN 1e-9", where))
PY
    fi
  fi
done <"$a" 3<"$b"
echo "outputs: $same cases the same, $differ differ"
