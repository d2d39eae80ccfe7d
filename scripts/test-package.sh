#!/usr/bin/env bash
# Installs the Debian package into a clean minimal Debian and runs it there:
#   scripts/test-package.sh [path/to/vrma_*.deb]     (default: the newest build-pkg/vrma_*.deb)
# The minimal system is made with debootstrap (variant minbase) and kept as a tarball in
# VRMA_CACHE (default /work/cache, or ~/.cache/vrma) for the next run. Each run unpacks a fresh
# copy, installs the package with `apt-get install ./vrma_*.deb`, which brings in the
# dependencies that the package declares, and checks in it:
#   vrma-calib --help, a calibration of the installed example (with its report), and the
#   program starting to its window on Qt's offscreen platform and exiting.
# Needs root (chroot, mount) and the Debian package registry. Slow: not part of ./test.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
[ "$(id -u)" -eq 0 ] || { echo "test-package.sh: must run as root (chroot)" >&2; exit 1; }
./scripts/install-deps.sh debootstrap

deb=${1:-$(ls -t build-pkg/vrma_*.deb 2>/dev/null | head -1 || true)}
[ -n "$deb" ] && [ -f "$deb" ] || { echo "test-package.sh: no package; run scripts/package.sh first" >&2; exit 1; }
deb=$(readlink -f "$deb")

cache=${VRMA_CACHE:-$([ -d /work ] && echo /work/cache || echo "$HOME/.cache/vrma")}
suite=${VRMA_SUITE:-bookworm}
base=$cache/debian-$suite-minbase.tar
mkdir -p "$cache"
if [ ! -f "$base" ]; then
  mirror=$(awk '/^URIs:/{print $2; exit}' /etc/apt/sources.list.d/debian.sources 2>/dev/null || true)
  stage=$(mktemp -d "$cache/debootstrap.XXXXXX")
  echo "== debootstrap --variant=minbase $suite (once; kept in $base)"
  if ! debootstrap --variant=minbase "$suite" "$stage" ${mirror:+"$mirror"} >"$cache/debootstrap.log" 2>&1; then
    echo "debootstrap failed: $(tail -1 "$cache/debootstrap.log")" >&2
    rm -rf "$stage"
    exit 1
  fi
  tar -C "$stage" -cf "$base.part" .
  mv "$base.part" "$base"
  rm -rf "$stage"
fi

box=$(mktemp -d "${TMPDIR:-/tmp}/vrma-package.XXXXXX")
cleanup() {
  umount "$box/proc" 2>/dev/null || true
  rm -rf "$box"
}
trap cleanup EXIT
tar -C "$box" -xf "$base"
cp /etc/resolv.conf "$box/etc/resolv.conf" 2>/dev/null || true
if [ -f /etc/apt/sources.list.d/debian.sources ]; then
  cp /etc/apt/sources.list.d/debian.sources "$box/etc/apt/sources.list.d/"
  rm -f "$box/etc/apt/sources.list"
fi
cp "$deb" "$box/root/"
mkdir -p -m 700 "$box/tmp/runtime-root"
mount -t proc proc "$box/proc"

run() {
  chroot "$box" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
    XDG_RUNTIME_DIR=/tmp/runtime-root \
    DEBIAN_FRONTEND=noninteractive bash -c "$1" </dev/null
}

echo "== apt-get install ./$(basename "$deb")"
run "cd /root && apt-get update -qq && apt-get install -y -qq --no-install-recommends ./$(basename "$deb") >/root/apt.log 2>&1 || { tail -20 /root/apt.log; exit 1; }"
run "dpkg-query -W -f='\${Package} \${Version} \${Status}\n' vrma && dpkg -L vrma | grep -E '^/usr/(bin/|share/(vrma/VRMAHelp/index.html|vrma/examples/|applications/|metainfo/|man/ru/man1/|icons/hicolor/.*[.](png|svg)$|doc/vrma/))' | sort"

echo "== vrma-calib --help"
run "vrma-calib --help"

echo "== vrma-calib on the installed example (C.UTF-8: the pair with decimal points)"
run "cd /tmp && example=\$(vrma-calib --example-folder) && echo \"\$example\" \
  && vrma-calib --scene \"\$example/scene.crd\" --image \"\$example/image.crd\" \
  --columns 6 --rows 6 --table /tmp/example.tab --report /tmp/example.pdf \
  && echo 'table:' && cat /tmp/example.tab && echo 'report:' && ls -l /tmp/example.pdf \
  && head -c 8 /tmp/example.pdf | grep -q '^%PDF-' && echo 'a PDF document, written without a display'"

echo "== vrma-calib on the installed example under ru_RU.UTF-8 (the pair with decimal commas)"
run "cd /tmp && example=\$(LC_ALL=ru_RU.UTF-8 vrma-calib --example-folder) && echo \"\$example\" \
  && out=\$(LC_ALL=ru_RU.UTF-8 vrma-calib --scene \"\$example/scene.crd\" --image \"\$example/image.crd\" \
  --columns 6 --rows 6) && printf '%s\\n' \"\$out\" | tail -4"

echo "== vrma -platform offscreen (started to its window, then quits)"
run "cd /tmp && VRMA_QUIT_AFTER_START=1 vrma -platform offscreen"
echo "== the installed package works in a clean minimal Debian"
