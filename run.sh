#!/usr/bin/env bash
# Installs what is missing, builds the program and vrma-calib (Release) and starts the
# program in the folder of the bundled example whose numbers use the decimal separator of
# the regional settings (examples/decimal-comma under ru_RU.UTF-8, examples/decimal-point
# under C.UTF-8): its file dialog opens there. Without a display it calibrates that example
# with vrma-calib instead.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DVRMA_BUILD_TESTS=OFF -DVRMA_BUILD_BENCH=OFF >/dev/null
cmake --build build -j"$(nproc)" --target vrma vrma-calib
program=$PWD/build
# vrma-calib names the folder for the separator that the program will read numbers with.
example=$("$program/vrma-calib" --example-folder) || example=""
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ "${QT_QPA_PLATFORM:-}" != "offscreen" ]; then
  if [ -z "$example" ]; then
    echo "VRMA: дисплея нет, а пример записан только с разделителями «,» и «.»; вот он с «.»:"
    exec "$program/vrma-calib" --scene examples/decimal-point/scene.crd \
      --image examples/decimal-point/image.crd --columns 6 --rows 6 --decimal-separator .
  fi
  echo "VRMA: дисплея нет (DISPLAY и WAYLAND_DISPLAY не заданы), а окну нужен графический сеанс; вот пример из $example, посчитанный vrma-calib:"
  exec "$program/vrma-calib" --scene "$example/scene.crd" --image "$example/image.crd" \
    --columns 6 --rows 6
fi
if [ -n "$example" ]; then
  echo "VRMA: диалог выбора файла откроется в папке примера $example"
  cd "$example"
fi
exec "$program/vrma" "$@"
