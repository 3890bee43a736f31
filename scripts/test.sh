#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: once in the ordinary build, once
# under AddressSanitizer and UndefinedBehaviorSanitizer with the fuzz targets on libFuzzer,
# and the whole program for Windows (its platform layer, its Windows-only parts and update.exe
# end to end) under Wine. Qt for Windows is built once per machine into a cache folder. The
# ordinary build is also packaged and its package run from a read-only program folder.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
start=$SECONDS
CORVALITE_QT_WINDOWS=$(bash scripts/qt-windows.sh)
export CORVALITE_QT_WINDOWS
echo "== Qt for Windows ready in $((SECONDS - start)) s"
status=0
bash scripts/check-format.sh || status=1
bash scripts/check-layers.sh || status=1
# default first: the Windows end-to-end test serves the sample site with its corvalite-demo.
for preset in default asan windows; do
  echo "== $preset: build"
  start=$SECONDS
  bash scripts/build.sh "$preset"
  echo "== $preset: build took $((SECONDS - start)) s; test"
  start=$SECONDS
  ctest --preset "$preset" -j "$(nproc)" || status=1
  # Each fuzz target's coverage, which ctest keeps only in its log for a passing test.
  grep -h "final coverage" "build/$preset/Testing/Temporary/LastTest.log" 2>/dev/null || true
  echo "== $preset: tests took $((SECONDS - start)) s"
  if [ "$preset" = default ]; then
    echo "== $preset: package"
    bash scripts/package-test.sh "$preset" || status=1
  fi
done
exit $status
