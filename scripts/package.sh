#!/usr/bin/env bash
# Builds the Debian package into build-pkg/ (or BUILD_DIR) and checks it:
#   scripts/package.sh   ->  build-pkg/vrma_<version>_<arch>.deb
# The compiler and linker flags are Debian's (dpkg-buildflags: hardening, optimisation);
# the package's dependencies are computed by dpkg-shlibdeps. Then lintian must report no
# error, and the desktop entry and the AppStream metainfo must validate.
# scripts/test-package.sh installs the result into a clean minimal Debian and runs it.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh dpkg-dev file lintian appstream desktop-file-utils
BUILD_DIR=${BUILD_DIR:-build-pkg}
export DEB_BUILD_MAINT_OPTIONS=${DEB_BUILD_MAINT_OPTIONS:-hardening=+bindnow}
CFLAGS="$(dpkg-buildflags --get CFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
LDFLAGS="$(dpkg-buildflags --get LDFLAGS)"
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release -DVRMA_BUILD_TESTS=OFF -DVRMA_BUILD_BENCH=OFF \
  -DCMAKE_C_FLAGS="$CFLAGS" -DCMAKE_CXX_FLAGS="$CXXFLAGS" -DCMAKE_EXE_LINKER_FLAGS="$LDFLAGS" \
  ${CMAKE_EXTRA_ARGS:-} >/dev/null
rm -f "$BUILD_DIR"/vrma_*.deb
cmake --build "$BUILD_DIR" -j"$(nproc)" --target package
deb=$(ls "$BUILD_DIR"/vrma_*.deb)

echo "== desktop-file-validate, appstreamcli validate"
desktop-file-validate packaging/vrma.desktop
appstreamcli validate --no-net packaging/ru.vrma.vrma.metainfo.xml
echo "== lintian $deb"
# Errors fail the build; warnings and notes are shown.
lintian --fail-on error --display-info "$deb"
echo "== $deb"
dpkg-deb --field "$deb" Package Version Architecture Depends Recommends Installed-Size
