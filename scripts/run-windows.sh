#!/usr/bin/env bash
# Builds update.exe (and Qt for Windows once per machine) and runs it under Wine against the
# sample vendor site and installation of demo/, in a Wine prefix of its own on a virtual
# display: waits until the tree is filled, saves a screenshot in its sandbox, closes it. With
# --readme-picture it also replaces docs/screenshot-windows.png, the README's picture.
set -euo pipefail
readme_picture=false
[ "${1:-}" = --readme-picture ] && readme_picture=true
cd "$(dirname "$0")/.."
root=$PWD

bash scripts/deps.sh
bash scripts/qt-windows.sh
bash scripts/build.sh windows
cmake --preset default >/dev/null
cmake --build build/default --target corvalite-demo

tool=$root/build/default/demo/corvalite-demo
program=$root/build/windows/bin/update.exe
sandbox=$root/build/windows/run-sandbox
# shellcheck source=scripts/wine-sample.sh
source scripts/wine-sample.sh
trap sample_stop EXIT

sample_prepare
echo "Sample vendor site at $base, sample installation in $install_dir"
sample_start_program
fail() { echo "run-windows.sh: $1" >&2; tail -n 20 "$sandbox/server.log" "$sandbox/program.log" >&2; exit 1; }
wait_for 1200 window_shown || fail "the window did not appear"
wait_for 600 catalogue_fetched || fail "the program did not fetch the catalogue"
sample_screenshot "$sandbox/screenshot.png" || fail "no screenshot could be taken"
sample_close_program
echo "Screenshot: $sandbox/screenshot.png"
if $readme_picture; then
  cp "$sandbox/screenshot.png" docs/screenshot-windows.png
  echo "README picture replaced: docs/screenshot-windows.png"
fi
