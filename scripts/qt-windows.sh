#!/usr/bin/env bash
# Builds Qt for Windows (qtbase 6.4.2, the version of Debian's host tools) from
# Debian's own source packages with the MinGW-w64 POSIX compilers, once per machine, into a
# cache folder outside the checkout. A complete cache is reused as it is.
#
#   CORVALITE_QT_WINDOWS  the cache folder (default /var/cache/corvalite/qt6-windows-6.4.2)
#
# Says what it does on standard error; prints the cache folder on standard output.
set -euo pipefail
cd "$(dirname "$0")/.."
checkout=$PWD
version=6.4.2
prefix="${CORVALITE_QT_WINDOWS:-/var/cache/corvalite/qt6-windows-$version}"
stamp="$prefix/.corvalite-complete"
if [ -f "$stamp" ]; then
  echo "Qt $version for Windows: using $prefix" >&2
  echo "$prefix"
  exit 0
fi

sudo=""; [ "$(id -u)" -eq 0 ] || sudo="sudo"
started=$(date +%s)
say() { echo "[qt-windows $(( $(date +%s) - started )) s] $*" >&2; }

# Debian's source packages of the suite this machine runs, from the archive its own package
# sources name (a machine with its own mirror keeps to it).
if ! apt-get source --print-uris --download-only qt6-base >/dev/null 2>&1; then
  say "adding deb-src entries beside this machine's Debian sources and updating the package lists"
  bash "$checkout/scripts/deb-src-entries.sh" | $sudo tee /etc/apt/sources.list.d/corvalite-deb-src.sources >/dev/null
  $sudo apt-get update -qq >&2
fi

work="$prefix.work"
$sudo mkdir -p "$prefix" "$work"
[ -w "$prefix" ] || $sudo chown "$(id -u):$(id -g)" "$prefix" "$work" "$(dirname "$prefix")"
cd "$work"
for pkg in qt6-base; do
  if ! ls "${pkg}"_*.orig.tar.xz >/dev/null 2>&1; then
    say "downloading the source of $pkg"
    apt-get source --download-only "$pkg" >&2
  fi
done

# Qt keeps the toolchain's path in its own toolchain file, so it gets a copy that outlives
# this checkout.
cp "$checkout/cmake/mingw-w64-x86_64-posix.cmake" "$prefix/mingw-w64-x86_64-posix.cmake"

logged() {  # log file, command...: quiet unless it fails
  local log=$1; shift
  "$@" >"$log" 2>&1 || { tail -n 40 "$log" >&2; say "failed; the whole log is $work/$log"; exit 1; }
}
unpack() {  # package, folder
  if [ ! -d "$2" ]; then
    say "unpacking $1"
    mkdir -p "$2.tmp"
    tar -xf "$(ls "$1"_*.orig.tar.xz | head -n1)" -C "$2.tmp" --strip-components=1
    mv "$2.tmp" "$2"
  fi
}
unpack qt6-base qtbase-src

say "configuring qtbase (MinGW-w64, shared, Release)"
logged qtbase-configure.log cmake -S qtbase-src -B qtbase-build -G Ninja -Wno-dev \
  -DCMAKE_TOOLCHAIN_FILE="$prefix/mingw-w64-x86_64-posix.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DBUILD_SHARED_LIBS=ON -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
  -DFEATURE_sql=OFF -DFEATURE_opengl=OFF -DINPUT_opengl=no -DFEATURE_dbus=OFF \
  -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF \
  -DFEATURE_openssl=OFF -DFEATURE_schannel=ON -DFEATURE_tabletevent=OFF \
  -DFEATURE_system_zlib=OFF -DFEATURE_zstd=OFF -DFEATURE_system_pcre2=OFF \
  -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_freetype=OFF -DFEATURE_system_png=OFF \
  -DFEATURE_system_jpeg=OFF
say "building qtbase (about 1 250 steps; roughly half an hour on two cores)"
logged qtbase-build.log cmake --build qtbase-build -j "$(nproc)"
logged qtbase-install.log cmake --install qtbase-build

touch "$stamp"
cd / && rm -rf "$work"
say "done: $(du -sh "$prefix" | cut -f1) in $prefix"
echo "$prefix"
