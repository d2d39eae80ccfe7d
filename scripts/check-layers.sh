#!/usr/bin/env bash
# The layering check: the core (data/, calib/) includes no Qt Widgets header and no header
# of the platform (platform/) or the windows (app/, editor/); the platform includes no
# window header. Prints every offending line and fails when there is one.
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$root"

# Every header of Qt Widgets, by the names a source may include it with.
widgets_dir=""
for d in /usr/include/x86_64-linux-gnu/qt6/QtWidgets /usr/include/*/qt6/QtWidgets \
         /usr/include/qt6/QtWidgets; do
  if [ -d "$d" ]; then widgets_dir=$d; break; fi
done
if [ -z "$widgets_dir" ]; then
  echo "check-layers: the Qt Widgets headers are not installed" >&2
  exit 2
fi

status=0
check() { # layer, forbidden-quoted-prefix-regex, files...
  local layer=$1 forbidden=$2
  shift 2
  local file line header
  for file in "$@"; do
    [ -f "$file" ] || continue
    while IFS= read -r line; do
      header=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]([^>"]+)[>"].*/\1/' <<<"${line#*:}")
      local bare=${header#QtWidgets/}
      if [[ "$header" == QtWidgets* ]] || { [[ "$header" != */* ]] && [ -e "$widgets_dir/$bare" ]; }; then
        echo "$file:${line%%:*}: the $layer includes the Qt Widgets header <$header>"
        status=1
      elif [[ -n "$forbidden" && "$header" =~ $forbidden ]]; then
        echo "$file:${line%%:*}: the $layer includes the upper layer's header \"$header\""
        status=1
      fi
    done < <(grep -nE '^[[:space:]]*#[[:space:]]*include' "$file" || true)
  done
}

shopt -s nullglob
check core '^(app|editor|platform|drawing)/' data/*.cpp data/*.h calib/*.cpp calib/*.h
check drawing '^(app|editor|platform)/' drawing/*.cpp drawing/*.h
# The platform may use Widgets, but not the windows built on it.
for file in platform/*.cpp platform/*.h; do
  if grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"(app|editor)/' "$file"; then
    echo "$file: the platform includes a window header" >&2
    status=1
  fi
done
if [ "$status" -ne 0 ]; then
  echo "check-layers: FAILED" >&2
  exit 1
fi
echo "check-layers: the core and the platform keep to their layers"
