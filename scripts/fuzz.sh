#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for the given number of seconds
# (default 60) from the seed corpus in tests/fuzz/corpus/<target>/.
#   scripts/fuzz.sh [seconds] [target...]   (all targets when none is named)
# Crashes are written to fuzz-out/<target>/; check them in under tests/data/fuzz/ as
# regression inputs.
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_PER_TARGET=${1:-60}
shift || true
ONLY=" $* "
./scripts/install-deps.sh clang libclang-rt-dev libclang-rt-14-dev
BUILD_DIR=${BUILD_DIR:-build-fuzz}
FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -g -O1"
cmake -S . -B "$BUILD_DIR" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=Debug -DVRMA_BUILD_TESTS=OFF -DVRMA_BUILD_BENCH=OFF -DVRMA_FUZZ=ON \
  -DCMAKE_CXX_FLAGS="$FLAGS" -DCMAKE_C_FLAGS="$FLAGS" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build "$BUILD_DIR" -j"$(nproc)"
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1"
# The coordinate-file target writes a file for every input: keep it in memory if we can.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
status=0
for target in "$BUILD_DIR"/tests/fuzz/fuzz_*; do
  [ -f "$target" ] && [ -x "$target" ] || continue
  name=$(basename "$target")
  if [ "$ONLY" != "  " ] && [[ "$ONLY" != *" $name "* ]]; then continue; fi
  corpus="fuzz-out/$name/corpus"
  mkdir -p "$corpus" "fuzz-out/$name/crashes"
  seeds="tests/fuzz/corpus/$name"
  echo "== $name (${SECONDS_PER_TARGET}s)"
  if ! "$target" -max_total_time="$SECONDS_PER_TARGET" -max_len=65536 -timeout=10 \
      -rss_limit_mb=4096 -artifact_prefix="fuzz-out/$name/crashes/" -print_final_stats=1 \
      "$corpus" ${seeds:+$( [ -d "$seeds" ] && echo "$seeds")} 2>"fuzz-out/$name/log.txt"; then
    echo "   FINDING: see fuzz-out/$name/ (log.txt, crashes/)"
    status=1
  fi
  grep -E "stat::number_of_executed_units|stat::average_exec_per_sec|stat::new_units_added" \
    "fuzz-out/$name/log.txt" | sed 's/^/   /' || true
done
exit $status
