#!/usr/bin/env bash
# Our program's own work beside the same work done by what a user would reach for instead:
# numpy.loadtxt and pandas.read_csv for reading a coordinate file, and a vectorised numpy
# script for the calibration (both files read, the central-difference ratios, their mean
# and standard deviation, and the four-decimal text of every ratio).
#
#   bench/compare.sh            ROUNDS=5 RUNS=2 BUILD_DIR=build-bench DATA_DIR=... to change
#
# The input, a 1000 x 1000 test field (scene.crd and image.crd, about 37 MB each), is made
# once by bench/make-field.py and kept in DATA_DIR. Every round runs each side once in a
# fresh process that times RUNS runs after one untimed run; the sides alternate, and the
# order within a round is turned round every other round. The peers run on Debian's own
# interpreter, /usr/bin/python3, with Debian's numpy and pandas.
set -euo pipefail
cd "$(dirname "$0")/.."

BUILD_DIR=${BUILD_DIR:-build-bench}
DATA_DIR=${DATA_DIR:-$BUILD_DIR/compare-data}
ROUNDS=${ROUNDS:-5}
RUNS=${RUNS:-2}
NC=1000
NR=1000

./scripts/install-deps.sh python3-numpy python3-pandas python3-threadpoolctl
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release -DVRMA_BUILD_BENCH=ON >/dev/null
cmake --build "$BUILD_DIR" --target vrma_bench_compare -j"$(nproc)" >/dev/null

if [ ! -f "$DATA_DIR/made" ]; then
  echo "Making the ${NC} x ${NR} test field in $DATA_DIR ..."
  /usr/bin/python3 bench/make-field.py "$DATA_DIR" "$NC" "$NR"
  touch "$DATA_DIR/made"
fi
SCENE=$DATA_DIR/scene.crd
IMAGE=$DATA_DIR/image.crd

export QT_QPA_PLATFORM=offscreen
OURS=("$BUILD_DIR/bench/vrma_bench_compare")
# OPENBLAS_CORETYPE and OPENBLAS_L2_SIZE, where this machine sets them, hold back a current
# numpy: the peers run without them.
PEERS=(env -u OPENBLAS_CORETYPE -u OPENBLAS_L2_SIZE /usr/bin/python3 bench/peers.py)

echo "Machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo "Peers: $("${PEERS[@]}" info | paste -sd ';' - | sed 's/;/; /g')"
echo "Input: $(stat -c %s "$SCENE") + $(stat -c %s "$IMAGE") bytes, md5 $(md5sum "$SCENE" | cut -c1-12) $(md5sum "$IMAGE" | cut -c1-12)"

samples=$(mktemp)
trap 'rm -f "$samples"' EXIT
quiet() { grep -v '^QStandardPaths' || true; }

read_round() {
  "${OURS[@]}" read "$SCENE" "$RUNS" 2>&1 | quiet >>"$samples"
  "${PEERS[@]}" loadtxt "$SCENE" "$RUNS" >>"$samples"
  "${PEERS[@]}" read_csv "$SCENE" "$RUNS" >>"$samples"
}
calibration_round() {
  "${OURS[@]}" calibrate "$SCENE" "$IMAGE" "$NC" "$NR" "$RUNS" 2>&1 | quiet |
    sed 's/^check /check_ours /' >>"$samples"
  "${PEERS[@]}" calibrate "$SCENE" "$IMAGE" "$NC" "$NR" "$RUNS" |
    sed 's/^check /check_peer /' >>"$samples"
}

printf 'Rounds:'
for round in $(seq "$ROUNDS"); do
  printf ' %s' "$round"
  if ((round % 2)); then
    read_round
    calibration_round
  else
    calibration_round
    read_round
  fi
done
echo

/usr/bin/python3 - "$samples" <<'PY'
import statistics
import sys

times, checks, size = {}, {}, None
for line in open(sys.argv[1]):
    case, *values = line.split()
    if case.startswith("check_"):
        checks.setdefault(case, set()).add(" ".join(values))
    elif case == "bytes":
        size = int(values[0])
    else:
        times.setdefault(case, []).append(float(values[0]))

med = {case: statistics.median(v) for case, v in times.items()}
names = [
    ("ReadPointFile", "ours: ReadPointFile, file on disk to filled list"),
    ("from_chars", "ceiling: std::from_chars loop over the bytes in memory"),
    ("numpy.loadtxt", "peer: numpy.loadtxt(..., delimiter=';')"),
    ("pandas.read_csv", "peer: pandas.read_csv(..., sep=';', header=None)"),
    ("calibration", "ours: calibration through the window (read, compute, list, plot)"),
    ("numpy_calibration", "peer: numpy script (read, ratios, mean, sd, texts)"),
]
print(f"{'case (1000 x 1000 field, one 37 MB file for reading)':<72}{'median ms':>10}{'runs':>6}")
for case, label in names:
    if case in med:
        print(f"{label:<72}{med[case]:>10.1f}{len(times[case]):>6}")
print()
print(f"{'ours / peer (below 1: ours is faster)':<72}{'ratio':>10}{'faster':>8}")
for ours, peer in (("ReadPointFile", "numpy.loadtxt"), ("ReadPointFile", "pandas.read_csv"),
                   ("calibration", "numpy_calibration")):
    r = med[ours] / med[peer]
    print(f"{ours + ' / ' + peer:<72}{r:>10.2f}{1 / r:>7.1f}x")
print()
if size:
    ours, ceiling = med["ReadPointFile"], med["from_chars"]
    print(f"reader throughput: ReadPointFile {size / ours / 1e3:.0f} MB/s, "
          f"from_chars loop {size / ceiling / 1e3:.0f} MB/s: "
          f"the reader takes {ours / ceiling:.2f}x the ceiling's time")
same = checks.get("check_ours") == checks.get("check_peer") and len(checks.get("check_ours", ())) == 1
print("results: ratio texts (md5), mean and sd "
      + ("identical on both sides" if same else f"DIFFER: {checks}"))
sys.exit(0 if same else 1)
PY
