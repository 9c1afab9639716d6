#!/usr/bin/env bash
# Sets up, builds and runs every test, offscreen, each in its own temporary sandbox.
# QUELLIN_SANITIZE=1 also builds and runs the unit tests under AddressSanitizer and UBSan.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh build
(cd build && QT_QPA_PLATFORM=offscreen ctest -j"$(nproc)" --output-on-failure)
if [ "${QUELLIN_SANITIZE:-0}" = "1" ]; then
  scripts/build.sh build-asan -DQUELLIN_SANITIZE=ON -DQUELLIN_BENCH=OFF
  (cd build-asan && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0 \
     ctest -j"$(nproc)" --output-on-failure -E 'e2e|interop')
fi
for fuzz in tests/fuzz/run_*_fuzz.sh; do
  [ -x "$fuzz" ] && [ "${QUELLIN_FUZZ_SECONDS:-0}" != "0" ] && "$fuzz" "${QUELLIN_FUZZ_SECONDS}"
done
# The Windows builds under Wine, where MinGW-w64 and Wine are installed.
scripts/test-windows.sh --if-present
exit 0
