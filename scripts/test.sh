#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: once in the ordinary build, once
# under AddressSanitizer and UndefinedBehaviorSanitizer with the fuzz targets on libFuzzer;
# the ordinary build is also packaged and its package run from a read-only program folder.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
status=0
for preset in default asan; do
  echo "== $preset: build"
  bash scripts/build.sh "$preset"
  echo "== $preset: test"
  ctest --preset "$preset" -j "$(nproc)" || status=1
  if [ "$preset" = default ]; then
    echo "== $preset: package"
    bash scripts/package-test.sh "$preset" || status=1
  fi
done
exit $status
