#!/usr/bin/env bash
# Builds the project, its tests and benchmarks with Debian's clang and warnings as
# errors, so that what one compiler lets pass the other does not break.
#   scripts/clang-build.sh        (build folder: $BUILD_DIR, default build-clang)
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh clang
BUILD_DIR=${BUILD_DIR:-build-clang}
cmake -S . -B "$BUILD_DIR" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=Release -DVRMA_WERROR=ON >/dev/null
cmake --build "$BUILD_DIR" -j"$(nproc)"
echo "clang build with warnings as errors: passed"
