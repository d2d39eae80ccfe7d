#!/usr/bin/env bash
# Installs what is missing, builds the program (Release) and starts it.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DVRMA_BUILD_TESTS=OFF -DVRMA_BUILD_BENCH=OFF >/dev/null
cmake --build build -j"$(nproc)" --target vrma
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ "${QT_QPA_PLATFORM:-}" != "offscreen" ]; then
  echo "VRMA: no display found (DISPLAY and WAYLAND_DISPLAY are unset); the window needs a graphical session."
  exit 1
fi
exec ./build/vrma "$@"
