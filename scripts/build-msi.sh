#!/usr/bin/env bash
# Builds the Windows Installer package of update.exe from its deployed folder (bin/ of the
# windows build, the installed tree, or the unpacked ZIP), with msitools' wixl, and signs it:
#   build-msi.sh [--version X.Y.Z] (--key KEY.pem --cert CERT.pem | --unsigned) DEPLOYED_DIR OUT.msi
# The version defaults to the project's. A release signs with the vendor's key and certificate
# chain (PEM; the CMake target takes them from CORVALITE_MSI_SIGNING_KEY and
# CORVALITE_MSI_SIGNING_CERT); --unsigned is for a local build only and says so in the name
# the caller gives. The file list is made from the folder each time, so nothing in it is left out.
set -euo pipefail
usage() { echo "usage: build-msi.sh [--version X.Y.Z] (--key KEY --cert CERT | --unsigned) DEPLOYED_DIR OUT.msi" >&2; exit 2; }
root=$(cd "$(dirname "$0")/.." && pwd)
version="" key="" cert="" unsigned=""
while [ $# -gt 0 ]; do
  case "$1" in
    --version) version=${2:?}; shift 2 ;;
    --key) key=${2:?}; shift 2 ;;
    --cert) cert=${2:?}; shift 2 ;;
    --unsigned) unsigned=1; shift ;;
    -*) usage ;;
    *) break ;;
  esac
done
[ $# -eq 2 ] || usage
deployed=$(cd "$1" && pwd) out=$2
if [ -z "$unsigned" ] && { [ -z "$key" ] || [ -z "$cert" ]; }; then
  echo "build-msi.sh: give --key and --cert to sign, or --unsigned" >&2; exit 2
fi
for tool in wixl osslsigncode python3; do
  command -v "$tool" >/dev/null || { echo "build-msi.sh: $tool is missing (scripts/deps.sh installs it)" >&2; exit 1; }
done
if [ -z "$version" ]; then
  version=$(sed -n 's/^project([A-Za-z]* VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
fi
# Windows Installer compares three fields, at most 255.255.65535; anything else would make
# upgrades compare wrongly.
if ! [[ "$version" =~ ^([0-9]+)\.([0-9]+)\.([0-9]+)$ ]] || ((BASH_REMATCH[1] > 255 || BASH_REMATCH[2] > 255 || BASH_REMATCH[3] > 65535)); then
  echo "build-msi.sh: version '$version' is not X.Y.Z within 255.255.65535" >&2; exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/build-msi.XXXXXX")
trap 'rm -rf "$work"' EXIT
# wixl reads sources by relative names only, from the folder it runs in.
ln -s "$deployed" "$work/files"
cp "$root/src/resources/corvalite-update.ico" "$work/corvalite-update.ico"
python3 "$root/scripts/msi-files.py" "$deployed" files "$work/files.wxs"
(cd "$work" && wixl --arch x64 -D Version="$version" -D IconFile=corvalite-update.ico \
  -o package.msi "$root/packaging/windows/corvalite-update.wxs" files.wxs)
# wixl can fail with nothing but an error on stderr and no file; never pass that on.
[ -s "$work/package.msi" ] || { echo "build-msi.sh: wixl made no package" >&2; exit 1; }
mkdir -p "$(dirname "$out")"
if [ -n "$unsigned" ]; then
  cp "$work/package.msi" "$out"
else
  rm -f "$out"
  osslsigncode sign -certs "$cert" -key "$key" -h sha256 -n "Corvalite Product Update Assistant" \
    -in "$work/package.msi" -out "$work/signed.msi" >/dev/null
  mv "$work/signed.msi" "$out"
fi
echo "$out: Corvalite Product Update Assistant $version"
