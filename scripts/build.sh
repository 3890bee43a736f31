#!/usr/bin/env bash
# Configures and builds one preset (default, asan or release); extra arguments go to cmake.
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"; shift || true
# The presets make warnings errors. ccache, where installed, makes rebuilds of the same sources
# (another checkout, the next CI run on this machine) nearly free.
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
cmake --preset "$preset" "${launcher[@]}" "$@" >/dev/null
cmake --build --preset "$preset" -j "$(nproc)"
