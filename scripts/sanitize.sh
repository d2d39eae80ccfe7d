#!/usr/bin/env bash
# Builds the tests with AddressSanitizer and UndefinedBehaviorSanitizer and runs them;
# any report fails the run.
#
# Leaks are checked with the quick (frame-pointer) unwinder. Qt is built without frame
# pointers, so the stacks of allocations made inside Qt come out cut short, and the
# suppressions in scripts/lsan.supp, which name Qt frames, cannot match them. A test
# program whose only report was a leak report is therefore run once more with full
# stacks, and passes only if then every leak is suppressed; any other failure stands.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
BUILD_DIR=${BUILD_DIR:-build-asan}
FLAGS="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
# Line tables (-g1) are all that the reports need, and build quicker than full debug data.
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Debug -DVRMA_WERROR=ON -DVRMA_BUILD_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="$FLAGS -O1" -DCMAKE_C_FLAGS="$FLAGS -O1" \
  -DCMAKE_CXX_FLAGS_DEBUG="-g1" -DCMAKE_C_FLAGS_DEBUG="-g1" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build "$BUILD_DIR" -j"$(nproc)"

REPORTS="$PWD/$BUILD_DIR/sanitizer-reports"
rm -rf "$REPORTS"
mkdir -p "$REPORTS"
export QT_QPA_PLATFORM=offscreen
ASAN_BASE="detect_leaks=1:abort_on_error=1:halt_on_error=1:strict_string_checks=1"
export ASAN_OPTIONS="$ASAN_BASE:log_path=$REPORTS/report:log_exe_name=1"
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:log_path=$REPORTS/report:log_exe_name=1"

show_reports() {
  for report in "$REPORTS"/report.*; do
    [ -e "$report" ] || continue
    echo "---- $(basename "$report")"
    cat "$report"
  done
}

if ctest --test-dir "$BUILD_DIR" --output-on-failure -j"$(nproc)"; then
  exit 0
fi

# Which failed programs left nothing but leak reports?
rerun=()
for test in $(sed 's/^[0-9]*://' "$BUILD_DIR/Testing/Temporary/LastTestsFailed.log"); do
  reports=("$REPORTS"/report.vrma_tests_"$test".*)
  if [ -e "${reports[0]}" ] && grep -q "ERROR: LeakSanitizer" "${reports[@]}" &&
      ! grep -qE "ERROR: AddressSanitizer|runtime error:" "${reports[@]}"; then
    rerun+=("$test")
  else
    echo "sanitize: $test failed"
    show_reports
    exit 1
  fi
done
echo "sanitize: leak reports with cut stacks in: ${rerun[*]}; running them again with full stacks"
export ASAN_OPTIONS="$ASAN_BASE:fast_unwind_on_malloc=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
pattern="^($(IFS='|'; echo "${rerun[*]}"))\$"
ctest --test-dir "$BUILD_DIR" --output-on-failure -j"$(nproc)" -R "$pattern"
