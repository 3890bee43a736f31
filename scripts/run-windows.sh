#!/usr/bin/env bash
# Builds update.exe (and Qt for Windows once per machine) and runs it under Wine against the
# sample vendor site and installation of demo/, in a Wine prefix of its own on a virtual
# display: waits until the tree is filled, saves docs/screenshot-windows.png, closes it.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

bash scripts/deps.sh
bash scripts/qt-windows.sh
bash scripts/build.sh windows
cmake --preset default -DCORVALITE_WERROR=ON >/dev/null
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
mkdir -p docs
cp "$sandbox/screenshot.png" docs/screenshot-windows.png
echo "Screenshot: docs/screenshot-windows.png"
