#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the sample run need, when missing.
set -euo pipefail
packages=(
  cmake ninja-build g++ clang clang-format ccache libclang-rt-14-dev pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev qt6-qpa-plugins
  libgtest-dev libgmock-dev libbenchmark-dev
  libx11-dev libcpp-httplib-dev libssl-dev openssl osslsigncode
  xvfb xauth x11-utils openbox imagemagick xdotool unzip
  binutils-mingw-w64-x86-64 curl python3 fonts-dejavu-core
  fonts-wine
  g++-mingw-w64-x86-64-posix wine wine64
  dpkg-dev lintian desktop-file-utils appstream librsvg2-bin xdotool
  msitools wixl
  squid apache2-utils
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo=""; [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi
