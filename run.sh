#!/usr/bin/env bash
# Installs what is missing, builds the program and vrma-calib (Release) and starts the
# program. Without a display it calibrates the bundled example with vrma-calib instead.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DVRMA_BUILD_TESTS=OFF -DVRMA_BUILD_BENCH=OFF >/dev/null
cmake --build build -j"$(nproc)" --target vrma vrma-calib
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ "${QT_QPA_PLATFORM:-}" != "offscreen" ]; then
  echo "VRMA: no display found (DISPLAY and WAYLAND_DISPLAY are unset); the window needs a graphical session, so here is the bundled example calibrated by vrma-calib:"
  exec ./build/vrma-calib --scene examples/scene.crd --image examples/image.crd \
    --columns 6 --rows 6 --decimal-separator .
fi
exec ./build/vrma "$@"
