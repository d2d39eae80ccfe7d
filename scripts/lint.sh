#!/usr/bin/env bash
# The style and lint checks of CI: clang-format (no file may need reformatting), the size
# and words check (scripts/check-size.sh: functions, files, no Russian word in calib/) and
# clang-tidy with the checks of .clang-tidy over every program source. Any finding fails.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh clang-format clang-tidy
mapfile -t files < <(git ls-files '*.cpp' '*.h')
clang-format --dry-run --Werror "${files[@]}"
echo "lint: clang-format finds nothing to change in ${#files[@]} files"
./scripts/check-size.sh

BUILD_DIR=${LINT_BUILD_DIR:-build-tidy}
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_EXPORT_COMPILE_COMMANDS=ON \
  -DVRMA_BUILD_TESTS=OFF -DVRMA_BUILD_BENCH=OFF >/dev/null
# The generated meta-object code that the sources' headers need.
cmake --build "$BUILD_DIR" -j"$(nproc)" --target vrma_data_autogen vrma_calib_autogen vrma_drawing_autogen vrma_platform_autogen \
  vrma_windows_autogen >/dev/null
run-clang-tidy -p "$BUILD_DIR" -quiet -j "$(nproc)" \
  "$(pwd)/(app|calib|data|drawing|editor|platform|tools)/.*\.cpp" >"$BUILD_DIR/clang-tidy.log" 2>&1 || {
  grep -E "(warning|error):" "$BUILD_DIR/clang-tidy.log" | sort -u >&2
  echo "lint: clang-tidy has findings" >&2
  exit 1
}
echo "lint: clang-tidy has no finding"
