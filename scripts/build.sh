#!/usr/bin/env bash
# Configures and builds into build/ (or $1), Release with debug information, warnings as errors.
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${1:-build}"
shift || true
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUELLIN_WERROR=ON "$@" >/dev/null
cmake --build "$dir" -j"$(nproc)"
