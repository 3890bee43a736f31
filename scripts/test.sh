#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: once in the ordinary build, once
# under AddressSanitizer and UndefinedBehaviorSanitizer with the fuzz targets on libFuzzer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
status=0
for preset in default asan; do
  echo "== $preset: build"
  bash scripts/build.sh "$preset"
  echo "== $preset: test"
  ctest --preset "$preset" -j "$(nproc)" || status=1
  # Each fuzz target's coverage, which ctest keeps only in its log for a passing test.
  grep -h "final coverage" "build/$preset/Testing/Temporary/LastTest.log" 2>/dev/null || true
done
exit $status
