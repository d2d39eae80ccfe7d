#!/usr/bin/env bash
# The layering check. The folders are layers, bottom up:
#   data/ < calib/ < drawing/ < platform/ < app/ and editor/
# and tools/ (vrma-calib) stands on data/, calib/ and drawing/. It fails when
#   - a folder includes a header of a folder above it (or of a folder that is no layer of
#     it: tools/ for all but tools/ itself, tests/, bench/),
#   - editor/ includes a header of app/,
#   - calib/ includes a header for painting, pages, fonts or JSON (QPainter, QPdfWriter,
#     QPaintDevice, QPen, QBrush, QFont, QJsonDocument and their kind),
#   - a folder below platform/ (data/, calib/, drawing/, tools/) includes a Qt Widgets header,
# and prints every offending line as file:line: what, and the line itself.
#   scripts/check-layers.sh [root]      (root: the checkout, by default this script's)
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$root"

# Every header of Qt Widgets, by the names a source may include it with.
widgets_dir=""
for d in /usr/include/x86_64-linux-gnu/qt6/QtWidgets /usr/include/*/qt6/QtWidgets \
  /usr/include/qt6/QtWidgets; do
  if [ -d "$d" ]; then
    widgets_dir=$d
    break
  fi
done
if [ -z "$widgets_dir" ]; then
  echo "check-layers: the Qt Widgets headers are not installed" >&2
  exit 2
fi

# The order of the layers, bottom up (tools/ stands beside them, on the three lowest).
declare -A rank=([data]=0 [calib]=1 [drawing]=2 [platform]=3 [app]=4 [editor]=4)
# The folders that may not use Qt Widgets.
below_platform=" data calib drawing tools "
# What each folder may include of the others (beside its own headers).
declare -A may_use=(
  [data]="data"
  [calib]="data calib"
  [drawing]="data calib drawing"
  [platform]="data calib drawing platform"
  [app]="data calib drawing platform app editor"
  [editor]="data calib drawing platform editor"
  [tools]="data calib drawing tools"
)
# The headers calib/ may not include: painting, paged output, fonts and text layout,
# colours, pictures, printing and JSON (by the name without ".h", in lower case).
calib_forbidden='^(qpainter.*|qpaint.*|qpagedpaintdevice|qpdf.*|qpage(layout|size|ranges)|qpen|qbrush|q.*gradient|qcolor.*|qfont.*|qrawfont|qglyphrun|qstatictext|qtext(document.*|layout|cursor|format|option|table.*|frame.*|block.*|list|object|line)|qpicture.*|qpixmap.*|qicon.*|qprint.*|qsvg.*|qjson.*)$'
calib_forbidden_modules='^(QtPrintSupport|QtSvg|QtPdf|QtPdfWidgets)/'

# Lines that are let through for now, one "file:header" a line (the header as written
# between the include's quotes or brackets) in scripts/check-layers.allowed under the root.
# Every one must still match an include: one that matches nothing any more fails the check,
# so that it is taken out when its include goes.
allowed=()
if [ -f scripts/check-layers.allowed ]; then
  mapfile -t allowed < <(sed -e 's/#.*//' -e 's/[[:space:]]//g' scripts/check-layers.allowed | grep -v '^$' || true)
fi
declare -A allowed_used=()

status=0
fail() { # file, line number, the include line, the header, what is wrong
  if [[ " ${allowed[*]-} " == *" $1:$4 "* ]]; then
    allowed_used["$1:$4"]=1
    echo "$1:$2: let through for now: $3"
    return
  fi
  printf '%s:%s: %s\n    %s\n' "$1" "$2" "$5" "$3"
  status=1
}

# The folder of the project that a quoted include names, into `target` ("" when it names
# none): the path is taken as written from the root, or else from the including file's folder.
target_folder() { # including file, header
  local file=$1 header=$2 path
  case "$header" in
  ../* | ./* | */../* | */./*) path=$(realpath -m --relative-to=. "$(dirname "$file")/$header") ;;
  */*) if [ -d "${header%%/*}" ]; then path=$header; else path=${file%%/*}/$header; fi ;;
  *) path=${file%%/*}/$header ;;
  esac
  case "$path" in
  ../* | /*) target="" ;;
  */*) target=${path%%/*} ;;
  *) target="" ;;
  esac
}

is_widgets_header() { # header as written
  local header=$1 bare=${1##*/}
  [[ "$header" == QtWidgets || "$header" == QtWidgets/* ]] && return 0
  [[ "$header" != */* && -e "$widgets_dir/$bare" ]]
}

is_calib_forbidden() { # header as written
  local header=$1 bare
  [[ "$header" =~ $calib_forbidden_modules ]] && return 0
  bare=${header##*/}
  bare=${bare%.h}
  bare=${bare,,}
  [[ "$bare" =~ $calib_forbidden ]]
}

check_folder() { # folder
  local folder=$1 file number text header kind target
  local include_re='^[[:space:]]*#[[:space:]]*include[[:space:]]*([<"])([^>"]+)[>"]'
  local files=()
  mapfile -t files < <(find "$folder" -maxdepth 1 -type f \( -name '*.cpp' -o -name '*.h' \) | sort)
  [ ${#files[@]} -gt 0 ] || return 0
  while IFS= read -r match; do
    file=${match%%:*}
    match=${match#*:}
    number=${match%%:*}
    text=${match#*:}
    [[ "$text" =~ $include_re ]] || continue
    kind=${BASH_REMATCH[1]}
    header=${BASH_REMATCH[2]}

    if [[ "$below_platform" == *" $folder "* ]] && is_widgets_header "$header"; then
      fail "$file" "$number" "$text" "$header" "$folder/ is below the platform and includes the Qt Widgets header <$header>"
      continue
    fi
    if [ "$folder" = calib ] && is_calib_forbidden "$header"; then
      fail "$file" "$number" "$text" "$header" "calib/ estimates only and includes the painting, page or JSON header <$header>"
      continue
    fi
    [ "$kind" = '"' ] || continue
    target_folder "$file" "$header"
    [ -n "$target" ] || continue
    if [[ " ${may_use[$folder]} " != *" $target "* ]]; then
      if [ "$folder" = editor ] && [ "$target" = app ]; then
        fail "$file" "$number" "$text" "$header" "editor/ includes the calibration window's folder app/"
      elif [ -n "${rank[$target]:-}" ] && [ -n "${rank[$folder]:-}" ] &&
        [ "${rank[$target]}" -gt "${rank[$folder]}" ]; then
        fail "$file" "$number" "$text" "$header" "$folder/ includes \"$header\" of $target/, a layer above it"
      else
        fail "$file" "$number" "$text" "$header" "$folder/ includes \"$header\" of $target/, which it may not use"
      fi
    fi
  done < <(grep -HnE '^[[:space:]]*#[[:space:]]*include' "${files[@]}" || true)
}

for folder in data calib drawing platform app editor tools; do
  [ -d "$folder" ] && check_folder "$folder"
done

for entry in ${allowed[@]+"${allowed[@]}"}; do
  if [ -z "${allowed_used[$entry]:-}" ]; then
    echo "scripts/check-layers.allowed: \"$entry\" is let through, but no such include is left: take it out"
    status=1
  fi
done

if [ "$status" -ne 0 ]; then
  echo "check-layers: FAILED" >&2
  exit 1
fi
echo "check-layers: every folder keeps to its layer"
