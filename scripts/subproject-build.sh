#!/usr/bin/env bash
# The checkout built as a subproject: an outer project of three lines takes it in with
# add_subdirectory(), and the whole of it (programs, tests, benchmarks, the files of the
# installation) must configure and build, every build rule writing into the subproject's
# own binary folder. Then the installation of the outer build must hold the programs.
#   scripts/subproject-build.sh      (folders: $BUILD_DIR, default build-subproject, and
#                                     $BUILD_DIR-outer for the outer project)
# The compiler goes through ccache when it is installed. The subproject's binary folder lies
# beside the usual build folders, at the same depth, so that ccache (with its base_dir set
# above the checkout) finds the objects of ./test.sh's build and the extra build is mostly
# links.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
BUILD_DIR=${BUILD_DIR:-build-subproject}
inner="$root/$BUILD_DIR"
outer="$root/$BUILD_DIR-outer"

launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

mkdir -p "$outer/source"
cat >"$outer/source/CMakeLists.txt" <<EOF
cmake_minimum_required(VERSION 3.25)
project(outer LANGUAGES C CXX)
add_subdirectory("$root" "$inner")
EOF
cmake -S "$outer/source" -B "$outer/build" -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-Release} \
  -DVRMA_WERROR=ON "${launcher[@]}" ${CMAKE_EXTRA_ARGS:-} >/dev/null
cmake --build "$outer/build" -j"$(nproc)"

# Nothing of the subproject's may land in the outer project's binary folder but CMake's and
# Qt's own (install_manifest.txt is what an earlier run's installation listed).
strays=$(find "$outer/build" -mindepth 1 -maxdepth 1 ! -name 'CMake*' ! -name cmake_install.cmake \
  ! -name .qt \
  ! -name Makefile ! -name build.ninja ! -name '.ninja*' ! -name CTestTestfile.cmake \
  ! -name DartConfiguration.tcl ! -name compile_commands.json ! -name install_manifest.txt -printf '%f\n')
if [ -n "$strays" ]; then
  echo "subproject build: the subproject wrote into the outer binary folder:" >&2
  echo "$strays" >&2
  exit 1
fi
for made in vrma vrma-calib packaging/changelog.gz packaging/icons/48/vrma.png; do
  if [ ! -e "$inner/$made" ]; then
    echo "subproject build: $inner/$made is missing" >&2
    exit 1
  fi
done

# The outer project's installation carries the subproject's rules.
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$outer/build" --prefix "$prefix" >/dev/null
for installed in bin/vrma bin/vrma-calib share/doc/vrma/changelog.gz share/vrma/examples share/vrma/VRMAHelp/index.html; do
  if [ ! -e "$prefix/$installed" ]; then
    echo "subproject build: the installation lacks $installed" >&2
    exit 1
  fi
done
echo "subproject build: the checkout builds and installs as a subproject ($inner)"
