#!/usr/bin/env bash
# Builds the Windows libraries Kestrane links against, from Debian's own source packages of the
# versions this machine's Linux build uses: OpenSSL (libcrypto, and openssl.exe, the tests' oracle
# under Wine), Qt (Core; with "full" also Gui,
# Widgets, the Windows platform plugin and style) and GoogleTest (from libgtest-dev's sources).
# Each is built once into a folder under the cache keyed by its versions (and Qt's module set) and
# reused; the sources are fetched with apt's source download through a scratch source list made
# from this machine's own apt sources.
#
#   tools/windows/build-deps.sh full|core    prints nothing but the build log; the prefixes are
#   tools/windows/build-deps.sh --print full|core   the lines QT=, OPENSSL=, GTEST= (no build)
set -euo pipefail

CACHE=${KESTRANE_WINDOWS_CACHE:-/var/cache/kestrane-windows}
TOOLCHAIN=$(cd "$(dirname "$0")" && pwd)/mingw-w64.cmake
TRIPLET=x86_64-w64-mingw32
JOBS=${JOBS:-$(nproc)}

print_only=false
if [ "${1:-}" = "--print" ]; then print_only=true; shift; fi
MODULES=${1:-full}
case "$MODULES" in full | core) ;; *) echo "usage: $0 [--print] full|core" >&2; exit 2 ;; esac

source_version() { dpkg-query -W -f='${source:Version}' "$1"; }
QT_SRC_VERSION=$(source_version qt6-base-dev)     # e.g. 6.4.2+dfsg-10
SSL_SRC_VERSION=$(source_version libssl-dev)      # e.g. 3.0.22-1~deb12u2
GTEST_VERSION=$(dpkg-query -W -f='${Version}' libgtest-dev)
MINGW_VERSION=$(dpkg-query -W -f='${Version}' g++-mingw-w64-x86-64-posix | cut -d+ -f1)
upstream() { local v=${1%-*}; v=${v%+dfsg}; echo "${v#*:}"; }

QT_PREFIX_FULL=$CACHE/qt-$QT_SRC_VERSION-mingw$MINGW_VERSION-core-gui-widgets
QT_PREFIX_CORE=$CACHE/qt-$QT_SRC_VERSION-mingw$MINGW_VERSION-core
OPENSSL_PREFIX=$CACHE/openssl-$SSL_SRC_VERSION-mingw$MINGW_VERSION
GTEST_PREFIX=$CACHE/googletest-$GTEST_VERSION-mingw$MINGW_VERSION
# A core-only build reuses the full Qt when it is there.
if [ "$MODULES" = full ] || [ -e "$QT_PREFIX_FULL/.done" ]; then QT_PREFIX=$QT_PREFIX_FULL; else QT_PREFIX=$QT_PREFIX_CORE; fi

if $print_only; then
  printf 'QT=%s\nOPENSSL=%s\nGTEST=%s\n' "$QT_PREFIX" "$OPENSSL_PREFIX" "$GTEST_PREFIX"
  exit 0
fi

SRC=$CACHE/src
APT=$CACHE/apt
WORK=$CACHE/work/$MODULES # a core and a full build may run at once
mkdir -p "$SRC" "$APT/parts" "$APT/lists/partial" "$APT/archives/partial" "$WORK"
# A copy the builds use: an edit of the tree's file would make a running build configure again.
cp "$TOOLCHAIN" "$WORK/mingw-w64.cmake"
TOOLCHAIN=$WORK/mingw-w64.cmake

# apt with a state of its own: the source entries of this machine's sources, nothing else.
scratch_apt() {
  apt-get -o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$APT/parts" \
    -o Dir::State::Lists="$APT/lists" -o Dir::Cache="$APT" -o Dir::Cache::archives="$APT/archives" \
    -o APT::Sandbox::User=root "$@"
}

write_scratch_sources() {
  local out=$APT/parts/debian-src.sources
  [ -s "$out" ] && return
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sed 's/^Types:.*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources >"$out"
  else # the one-line format
    grep -h '^deb ' /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
      sed 's/^deb /deb-src /' >"${out%.sources}.list"
  fi
  scratch_apt update
}

# Fetches the files of source package $1=$2 into $SRC unless the files the build needs ($3...) are
# there. A file the archive no longer serves (a superseded .dsc) is tolerated as long as the needed
# ones arrive, each checked against the checksum apt lists for it.
fetch_source() {
  local package=$1 version=$2 needed=("${@:3}") name
  all_there() { for name in "${needed[@]}"; do [ -s "$SRC/$name" ] || return 1; done; }
  all_there && return
  write_scratch_sources
  (cd "$SRC" && scratch_apt source --download-only "$package=$version") && return
  local uri size hash algo
  while read -r uri name size hash; do
    [[ " ${needed[*]} " == *" $name "* ]] || continue
    curl -fsSL -o "$SRC/$name.part" "${uri//\'/}"
    algo=$(echo "${hash%%:*}" | tr 'A-Z' 'a-z')
    echo "${hash#*:}  $SRC/$name.part" | "${algo%sum}sum" -c -
    mv "$SRC/$name.part" "$SRC/$name"
  done < <(cd "$SRC" && scratch_apt source --print-uris "$package=$version" | grep "^'")
  all_there || { echo "could not fetch the sources of $package $version" >&2; exit 1; }
}

timed() { # $1 = what, then the command; the time goes to the cache's log too
  local start=$SECONDS
  "${@:2}"
  echo "$(date -u +%FT%TZ) $1: $((SECONDS - start)) s" | tee -a "$CACHE/build-times.log"
}

# Upstream's sources as Debian ships them. Debian's own patches to OpenSSL set up the Debian system
# (its build targets, manual pages, system-wide TLS defaults) and are not needed here.
build_openssl() {
  local v; v=$(upstream "$SSL_SRC_VERSION")
  fetch_source openssl "$SSL_SRC_VERSION" "openssl_$v.orig.tar.gz"
  rm -rf "$WORK/openssl-$v" && tar -xzf "$SRC/openssl_$v.orig.tar.gz" -C "$WORK"
  (cd "$WORK/openssl-$v" &&
    ./Configure mingw64 --cross-compile-prefix=$TRIPLET- --prefix="$OPENSSL_PREFIX" \
      --libdir=lib no-tests shared &&
    make -j"$JOBS" build_sw && make install_sw)
  rm -rf "$WORK/openssl-$v"
}

qt_feature_options() {
  local off=(sql network dbus printsupport concurrent xml vulkan testlib tabletevent zstd icu
             system_zlib system_pcre2 system_png system_jpeg system_freetype system_harfbuzz)
  # The dialogs read no JPEG, GIF, Markdown or PDF.
  off+=(jpeg gif textmarkdownreader textmarkdownwriter pdf)
  [ "$MODULES" = core ] && off+=(gui widgets)
  printf -- '-DFEATURE_%s=OFF\n' "${off[@]}"
}

build_qt() {
  local v; v=$(upstream "$QT_SRC_VERSION")
  fetch_source qt6-base "$QT_SRC_VERSION" "qt6-base_${QT_SRC_VERSION%-*}.orig.tar.xz" \
    "qt6-base_$QT_SRC_VERSION.debian.tar.xz"
  local tree=$WORK/qtbase-everywhere-src-$v
  rm -rf "$tree" "$WORK/qt-build" && tar -xJf "$SRC/qt6-base_${QT_SRC_VERSION%-*}.orig.tar.xz" -C "$WORK"
  # Debian's patches: security fixes (they apply to every platform) and build-system changes that
  # are harmless here; applied so the Windows Qt is the Qt Debian ships.
  tar -xJf "$SRC/qt6-base_$QT_SRC_VERSION.debian.tar.xz" -C "$tree"
  grep -v '^\s*\(#\|$\)' "$tree/debian/patches/series" | while read -r p; do
    patch -d "$tree" -p1 --forward --quiet <"$tree/debian/patches/$p"
  done
  mapfile -t features < <(qt_feature_options)
  cmake -S "$tree" -B "$WORK/qt-build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$QT_PREFIX" -DBUILD_SHARED_LIBS=ON \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF "${features[@]}"
  cmake --build "$WORK/qt-build" --parallel "$JOBS"
  cmake --install "$WORK/qt-build"
  rm -rf "$tree" "$WORK/qt-build"
}

build_gtest() {
  rm -rf "$WORK/gtest-build"
  cmake -S /usr/src/googletest -B "$WORK/gtest-build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$GTEST_PREFIX" -DBUILD_GMOCK=OFF \
    -Dgtest_disable_pthreads=OFF
  cmake --build "$WORK/gtest-build" --parallel "$JOBS"
  cmake --install "$WORK/gtest-build"
  rm -rf "$WORK/gtest-build"
}

# Runs $2 unless its prefix $1 was finished before; a prefix counts once its .done is there.
once() {
  local prefix=$1 step=$2
  [ -e "$prefix/.done" ] && return
  rm -rf "$prefix"
  timed "$step $(basename "$prefix")" "$step"
  touch "$prefix/.done"
}

# The licence files the release ships beside the DLLs, from the same sources.
copy_licences() {
  local prefix=$1 tarball=$2 strip=$3 pattern=$4
  [ -d "$prefix/licenses" ] && return
  mkdir -p "$prefix/licenses.part"
  tar -xf "$SRC/$tarball" -C "$prefix/licenses.part" --strip-components="$strip" \
    --wildcards --no-wildcards-match-slash "$pattern"
  mv "$prefix/licenses.part" "$prefix/licenses"
}

once "$OPENSSL_PREFIX" build_openssl
once "$GTEST_PREFIX" build_gtest
once "$QT_PREFIX" build_qt
copy_licences "$OPENSSL_PREFIX" "openssl_$(upstream "$SSL_SRC_VERSION").orig.tar.gz" 1 '*/LICENSE.txt'
copy_licences "$QT_PREFIX" "qt6-base_${QT_SRC_VERSION%-*}.orig.tar.xz" 2 '*/LICENSES/*.txt'
