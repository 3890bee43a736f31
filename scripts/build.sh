#!/usr/bin/env bash
# Configures and builds one preset (default, asan or release); extra arguments go to cmake.
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"; shift || true
cmake --preset "$preset" -DCORVALITE_WERROR=ON "$@" >/dev/null
cmake --build --preset "$preset" -j "$(nproc)"
