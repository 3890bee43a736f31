#!/usr/bin/env bash
# The main window of the Windows build under Wine at several screen resolutions (LogPixels),
# filled from the sample vendor site, saved to build/windows/screenshots/dpi-N.png for
# looking at: designed texts must not be cut, nothing may clip or overlap. Needs the windows
# preset built and the default build's corvalite-demo.
#   wine-screenshots.sh [DPI...]      (default: 96 120 144 192)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
tool=$root/build/default/demo/corvalite-demo
program=$root/build/windows/bin/update.exe
out=$root/build/windows/screenshots
mkdir -p "$out"
sandbox=$root/build/windows/screenshot-sandbox
export CORVALITE_XVFB_SCREEN=2048x1536x24  # room for the window at 192 dpi
# shellcheck source=scripts/wine-sample.sh
source scripts/wine-sample.sh
trap sample_stop EXIT
fail() { echo "wine-screenshots.sh: $1" >&2; exit 1; }
for dpi in "${@:-96 120 144 192}"; do
  for one in $dpi; do
    CORVALITE_WINE_DPI=$one sample_prepare
    sample_start_program
    wait_for 1200 window_shown || fail "the window did not appear at $one dpi"
    wait_for 600 catalogue_fetched || fail "the catalogue was not fetched at $one dpi"
    sample_screenshot "$out/dpi-$one.png" || fail "no screenshot at $one dpi"
    sample_close_program
    sample_stop
    echo "$out/dpi-$one.png"
  done
done
