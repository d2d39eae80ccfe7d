#!/usr/bin/env bash
# The size and words check of the production folders (app/ calib/ data/ drawing/ editor/
# platform/ tools/). It fails when
#   - a function is longer than 120 lines, as pmccabe counts them (its fifth column),
#   - a source or header is longer than 800 lines,
#   - a source or header of calib/ holds a Russian word (a Cyrillic letter): the estimation
#     reports codes and numbers, the words live in data/'s message catalogue,
# and prints every offence as file:line: what.
#   scripts/check-size.sh [root]      (root: the checkout, by default this script's)
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$root"

readonly max_function_lines=120
readonly max_file_lines=800
readonly folders=(app calib data drawing editor platform tools)

# Files let through. Empty: every production file keeps the bounds.
readonly exempt=()

if ! command -v pmccabe >/dev/null; then
  echo "check-size: pmccabe is not installed (scripts/install-deps.sh installs it)" >&2
  exit 2
fi

is_exempt() { # file
  local e
  for e in "${exempt[@]}"; do
    [ "$e" = "$1" ] && return 0
  done
  return 1
}

files=()
for folder in "${folders[@]}"; do
  [ -d "$folder" ] || continue
  while IFS= read -r f; do
    is_exempt "$f" || files+=("$f")
  done < <(find "$folder" -maxdepth 1 -type f \( -name '*.cpp' -o -name '*.h' \) | sort)
done

status=0
for f in "${files[@]}"; do
  lines=$(wc -l <"$f")
  if [ "$lines" -gt "$max_file_lines" ]; then
    echo "$f:1: file of $lines lines (at most $max_file_lines)"
    status=1
  fi
done

# pmccabe: modified and plain complexity, statements, first line, lines, file(line): name.
# It does not know a nested namespace's definition ("namespace vrma::photo {") and would
# skip what is in it: it reads copies with the name joined by "_", lines kept.
copies=$(mktemp -d)
trap 'rm -rf "$copies"' EXIT
for f in "${files[@]}"; do
  mkdir -p "$copies/$(dirname "$f")"
  sed -E 's/^(\s*namespace\s+)([A-Za-z_][A-Za-z0-9_]*)((::[A-Za-z_][A-Za-z0-9_]*)+)(\s*\{)/\1\2_nested\5/' \
    "$f" >"$copies/$f"
done
while IFS=$'\t' read -r _ _ _ first length where; do
  if [ "$length" -gt "$max_function_lines" ]; then
    echo "${where%%(*}:$first: function ${where#*: } of $length lines (at most $max_function_lines)"
    status=1
  fi
done < <(cd "$copies" && pmccabe "${files[@]}" 2>/dev/null)

# Cyrillic letters (U+0400..U+04FF) by their UTF-8 bytes, so that the check reads the same
# under any locale (a code-point class needs a UTF-8 one, and in another grep fails).
for f in "${files[@]}"; do
  case "$f" in calib/*) ;; *) continue ;; esac
  found=0
  hits=$(LC_ALL=C grep -naP '[\xD0-\xD3][\x80-\xBF]' "$f") || found=$?
  if [ "$found" -gt 1 ]; then
    echo "check-size: grep could not read $f" >&2
    exit 2
  fi
  while IFS=: read -r number _; do
    [ -n "$number" ] || continue
    echo "$f:$number: a Russian word in calib/ (words belong in data/'s message catalogue)"
    status=1
  done <<<"$hits"
done

if [ "$status" -ne 0 ]; then
  echo "check-size: FAILED" >&2
  exit 1
fi
echo "check-size: no function over $max_function_lines lines, no file over $max_file_lines, no Russian word in calib/"
