#!/usr/bin/env bash
# Cross-builds Kestrane for Windows into a build folder, with the libraries build-deps.sh made (and
# makes them first where they are missing).
#   tools/windows/build.sh full|core BUILD_DIR programs|tests [release SEALING_KEY]
# full: kestrane.exe and kestrane-cli.exe (Qt with Widgets); core: kestrane-cli.exe alone (a Qt
# with Core only, or the full one when it is there). "tests" adds the core's tests (run under Wine
# by CTest); "release" builds with the maker's public sealing key (an empty one is refused), else
# with the development key.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
modules=$1 build_dir=$2 tests=${3:-programs} release=${4:-} sealing_key=${5:-}

nice "$here/build-deps.sh" "$modules"
eval "$("$here/build-deps.sh" --print "$modules")" # QT, OPENSSL, GTEST

gui=OFF
[ -e "$QT/lib/cmake/Qt6Widgets" ] && gui=ON
[ "$modules" = full ] && [ "$gui" = OFF ] && { echo "no Qt Widgets in $QT" >&2; exit 1; }

options=(-DKESTRANE_BUILD_GUI=$gui -DKESTRANE_BUILD_TESTS=$([ "$tests" = tests ] && echo ON || echo OFF))
if [ "$release" = release ]; then
  options+=(-DKESTRANE_RELEASE=ON "-DKESTRANE_SEALING_KEY=$sealing_key")
else
  options+=(-DKESTRANE_RELEASE=OFF "-DKESTRANE_SEALING_KEY=$(cd "$here/../.." && pwd)/keys/development-sealing-key.pem")
fi
command -v ccache >/dev/null && options+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

cmake -S "$here/../.." -B "$build_dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$here/mingw-w64.cmake" \
  -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" -DKESTRANE_WERROR=ON "-DCMAKE_PREFIX_PATH=$QT;$OPENSSL;$GTEST" \
  -DOPENSSL_ROOT_DIR="$OPENSSL" -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  "${options[@]}"
cmake --build "$build_dir" --parallel 2
