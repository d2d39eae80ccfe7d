#!/usr/bin/env bash
# Our program's own work beside the same work done by what a user would reach for instead:
# numpy.loadtxt and pandas.read_csv for reading a coordinate file, and a vectorised numpy
# script for the calibration (both files read, the central-difference ratios, their mean
# and standard deviation, and the four-decimal text of every ratio).
#
#   bench/compare.sh [compare|growth|all]   (default: compare)
#       ROUNDS=5 RUNS=2 GROWTH_RUNS=3 BUILD_DIR=build-bench DATA_DIR=... to change
#
# compare: the input, a 1000 x 1000 test field (scene.crd and image.crd, about 37 MB each),
# is made once by bench/make-field.py and kept in DATA_DIR. Every round runs each side in a
# fresh process, as a user starts it, which times its first run and then RUNS runs more;
# the sides alternate, and the order within a round is turned round every other round.
# Every figure is the median over the rounds. Then the stages of our calibration one by
# one, and the in-process Google Benchmark figures of the same work.
# growth: our first read and first calibration in fresh processes on fields of 10^4, 10^5,
# 10^6 and 10^7 points (the last a 3163 x 3163 field, about 370 MB a file): time, peak
# memory and the exponent of their growth.
# The peers run on Debian's own interpreter, /usr/bin/python3, with Debian's numpy and pandas.
set -euo pipefail
cd "$(dirname "$0")/.."

MODE=${1:-compare}
BUILD_DIR=${BUILD_DIR:-build-bench}
DATA_DIR=${DATA_DIR:-$BUILD_DIR/compare-data}
ROUNDS=${ROUNDS:-5}
RUNS=${RUNS:-2}
GROWTH_RUNS=${GROWTH_RUNS:-3}
NC=1000
NR=1000

./scripts/install-deps.sh python3-numpy python3-pandas python3-threadpoolctl
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release -DVRMA_BUILD_BENCH=ON >/dev/null
cmake --build "$BUILD_DIR" -j"$(nproc)" \
  --target vrma_bench_compare vrma_bench_point_file vrma_bench_calibration >/dev/null

# make_field DIR NC NR: the test field, made once.
make_field() {
  if [ ! -f "$1/made" ]; then
    echo "Making the $2 x $3 test field in $1 ..."
    /usr/bin/python3 bench/make-field.py "$1" "$2" "$3"
    touch "$1/made"
  fi
}

export QT_QPA_PLATFORM=offscreen
OURS=("$BUILD_DIR/bench/vrma_bench_compare")
# OPENBLAS_CORETYPE and OPENBLAS_L2_SIZE, where this machine sets them, hold back a current
# numpy: the peers run without them.
PEERS=(env -u OPENBLAS_CORETYPE -u OPENBLAS_L2_SIZE /usr/bin/python3 bench/peers.py)

echo "Machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"

samples=$(mktemp)
trap 'rm -f "$samples"' EXIT
quiet() { grep -v '^QStandardPaths' || true; }

compare() {
  make_field "$DATA_DIR" "$NC" "$NR"
  local scene=$DATA_DIR/scene.crd image=$DATA_DIR/image.crd
  echo "Peers: $("${PEERS[@]}" info | paste -sd ';' - | sed 's/;/; /g')"
  echo "Input: $(stat -c %s "$scene") + $(stat -c %s "$image") bytes, md5 $(md5sum "$scene" | cut -c1-12) $(md5sum "$image" | cut -c1-12)"
  : >"$samples"
  read_round() {
    "${OURS[@]}" read "$scene" "$RUNS" 2>&1 | quiet >>"$samples"
    "${PEERS[@]}" loadtxt "$scene" "$RUNS" >>"$samples"
    "${PEERS[@]}" read_csv "$scene" "$RUNS" >>"$samples"
  }
  calibration_round() {
    "${OURS[@]}" calibrate "$scene" "$image" "$NC" "$NR" "$RUNS" 2>&1 | quiet |
      sed 's/^check /check_ours /' >>"$samples"
    "${PEERS[@]}" calibrate "$scene" "$image" "$NC" "$NR" "$RUNS" |
      sed 's/^check /check_peer /' >>"$samples"
    "${OURS[@]}" stages "$scene" "$image" "$NC" "$NR" "$RUNS" 2>&1 | quiet >>"$samples"
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
  echo "Load average after the rounds: $(cut -d' ' -f1-3 /proc/loadavg)"
  /usr/bin/python3 - "$samples" <<'PY'
import statistics
import sys

wall, cpu, checks, size = {}, {}, {}, None
for line in open(sys.argv[1]):
    case, *values = line.split()
    if case.startswith("check_"):
        checks.setdefault(case, set()).add(" ".join(values))
    elif case == "bytes":
        size = int(values[0])
    elif case != "peak_MB":
        wall.setdefault(case, []).append(float(values[0]))
        cpu.setdefault(case, []).append(float(values[1]))

w = {case: statistics.median(v) for case, v in wall.items()}
c = {case: statistics.median(v) for case, v in cpu.items()}
names = [
    ("first_read", "ours: ReadPointFile, first read of a fresh process"),
    ("ReadPointFile", "ours: ReadPointFile, again into the same list"),
    ("first_from_chars", "ceiling: from_chars loop over the bytes in memory, first"),
    ("from_chars", "ceiling: from_chars loop, again"),
    ("first_numpy.loadtxt", "peer: numpy.loadtxt(..., delimiter=';'), first"),
    ("numpy.loadtxt", "peer: numpy.loadtxt, again"),
    ("first_pandas.read_csv", "peer: pandas.read_csv(..., sep=';', header=None), first"),
    ("pandas.read_csv", "peer: pandas.read_csv, again"),
    ("first_calibration", "ours: calibration through the window, first run"),
    ("calibration", "ours: calibration through the window, again"),
    ("first_numpy_calibration", "peer: numpy script (read, ratios, stats, texts), first"),
    ("numpy_calibration", "peer: numpy script, again"),
]
print(f"{'case (1000 x 1000 field; one 37 MB file for reading)':<62}{'wall ms':>9}{'CPU ms':>9}{'runs':>6}")
for case, label in names:
    if case in w:
        print(f"{label:<62}{w[case]:>9.1f}{c[case]:>9.1f}{len(wall[case]):>6}")
print()
print(f"{'ours / other (below 1: ours is faster)':<62}{'wall':>9}{'CPU':>9}{'faster':>8}")
pairs = [("first_read", "first_from_chars"), ("ReadPointFile", "from_chars"),
         ("first_read", "first_numpy.loadtxt"), ("first_read", "first_pandas.read_csv"),
         ("ReadPointFile", "numpy.loadtxt"), ("ReadPointFile", "pandas.read_csv"),
         ("first_calibration", "first_numpy_calibration"),
         ("calibration", "numpy_calibration")]
for ours, other in pairs:
    r, rc = w[ours] / w[other], c[ours] / c[other]
    print(f"{ours + ' / ' + other:<62}{r:>9.2f}{rc:>9.2f}{1 / r:>7.1f}x")
print()
if size:
    print(f"reader throughput, first read: {size / w['first_read'] / 1e3:.0f} MB/s, "
          f"from_chars loop {size / w['first_from_chars'] / 1e3:.0f} MB/s")
print()
stages = [("stage_read", "reading both files"), ("stage_tables", "the grid tables"),
          ("stage_ratios", "the ratios, mean and deviation"),
          ("stage_list_model", "the list box taking the ratios (layout, painting)"),
          ("stage_plot", "the plot (painted, shown)"),
          ("stage_kept", "kept for the report and node analysis")]
print(f"{'stages of the calibration, one after the other (again)':<62}{'wall ms':>9}{'CPU ms':>9}")
for case, label in stages:
    if case in w:
        print(f"{label:<62}{w[case]:>9.1f}{c[case]:>9.1f}")
present = [s for s in stages if s[0] in w]
if present:
    print(f"{'sum of the stages':<62}{sum(w[s] for s, _ in present):>9.1f}"
          f"{sum(c[s] for s, _ in present):>9.1f}")
    largest = max(present, key=lambda s: w[s[0]])
    print(f"largest stage: {largest[1]} ({w[largest[0]]:.1f} ms)")
    print("(the command itself runs these one after the other; it has no grid tables of its "
          "own: the ratios are read from the point lists)")
same = checks.get("check_ours") == checks.get("check_peer") and len(checks.get("check_ours", ())) == 1
print("results: ratio texts (md5), mean and sd "
      + ("identical on both sides" if same else f"DIFFER: {checks}"))
sys.exit(0 if same else 1)
PY
  echo
  echo "In-process Google Benchmark figures of the same work (medians of 3 repetitions):"
  gbench() {
    "$BUILD_DIR/bench/$1" --benchmark_filter="$2" --benchmark_repetitions=3 \
      --benchmark_report_aggregates_only=true --benchmark_format=csv 2>/dev/null |
      awk -F, '$1 ~ /_median"?$/ {
        gsub(/"/, "", $1); sub(/_median$/, "", $1)
        f = $5 == "ns" ? 1e-6 : $5 == "us" ? 1e-3 : $5 == "s" ? 1e3 : 1
        printf "  %-58s %9.1f ms wall %9.1f ms CPU\n", $1, $3 * f, $4 * f }'
  }
  gbench vrma_bench_point_file '/dot(_fresh)?/1000000|FromCharsCeiling/1000000'
  gbench vrma_bench_calibration 'CalibrationWindow/(first|repeated)/1000/'
}

growth() {
  : >"$samples"
  local sizes=(100 316 1000 3163)
  for n in "${sizes[@]}"; do make_field "$DATA_DIR/growth-$n" "$n" "$n"; done
  printf 'Growth runs:'
  for run in $(seq "$GROWTH_RUNS"); do
    printf ' %s' "$run"
    for n in "${sizes[@]}"; do
      local d=$DATA_DIR/growth-$n
      "${OURS[@]}" first "$d/scene.crd" 2>&1 | quiet | sed "s/^/$n read /" >>"$samples"
      "${OURS[@]}" calibrate "$d/scene.crd" "$d/image.crd" "$n" "$n" 0 2>&1 | quiet |
        grep -v '^check' | sed "s/^/$n calibration /" >>"$samples"
    done
  done
  echo
  echo "Load average after the runs: $(cut -d' ' -f1-3 /proc/loadavg)"
  /usr/bin/python3 - "$samples" <<'PY'
import math
import statistics
import sys

data = {}
for line in open(sys.argv[1]):
    n, kind, case, *values = line.split()
    entry = data.setdefault((int(n), kind), {"wall": [], "cpu": [], "peak": [], "base": []})
    if case == "peak_MB":
        entry["peak"].append(float(values[0]))
        entry["base"].append(float(values[1]))
    else:
        entry["wall"].append(float(values[0]))
        entry["cpu"].append(float(values[1]))
med = {key: {k: statistics.median(v) for k, v in entry.items()} for key, entry in data.items()}
sizes = sorted({n for n, _ in med})
for kind, label in (("read", "first read of the scene file (fresh process)"),
                    ("calibration", "first calibration through the window (fresh process)")):
    print(f"\n{label}")
    print(f"{'points':>10}{'wall ms':>10}{'CPU ms':>10}{'peak MB':>10}{'added MB':>10}"
          f"{'time exp':>10}{'mem exp':>10}")
    previous = None
    for n in sizes:
        m = med[(n, kind)]
        points = n * n
        added = m["peak"] - m["base"]
        exps = ("", "")
        if previous:
            p_points, p_wall, p_added = previous
            k = math.log(points / p_points)
            exps = (f"{math.log(m['wall'] / p_wall) / k:.2f}",
                    f"{math.log(added / p_added) / k:.2f}" if p_added > 0 and added > 0 else "")
        print(f"{points:>10}{m['wall']:>10.1f}{m['cpu']:>10.1f}{m['peak']:>10.1f}{added:>10.1f}"
              f"{exps[0]:>10}{exps[1]:>10}")
        previous = (points, m["wall"], added)
    first, last = med[(sizes[1], kind)], med[(sizes[-1], kind)]
    k = math.log((sizes[-1] / sizes[1]) ** 2)
    print(f"exponent from 10^5 to 10^7 points: time {math.log(last['wall'] / first['wall']) / k:.2f}, "
          f"added memory {math.log((last['peak'] - last['base']) / (first['peak'] - first['base'])) / k:.2f}")
PY
}

case "$MODE" in
  compare) compare ;;
  growth) growth ;;
  all) compare; growth ;;
  *) echo "usage: $0 [compare|growth|all]" >&2; exit 2 ;;
esac
