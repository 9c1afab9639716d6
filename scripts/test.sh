#!/usr/bin/env bash
# Sets up, builds and runs every test, offscreen, each in its own temporary sandbox.
# QUELLIN_SANITIZE=1 also builds and runs the unit tests under AddressSanitizer and UBSan.
# QUELLIN_BUILD_TYPE chooses the main build's configuration (Release unless set: without debug
# information the test executables compile and link in about half the time).
# Each step prints its time.
set -euo pipefail
cd "$(dirname "$0")/.."
step() {
  local name="$1" began=$SECONDS
  shift
  "$@"
  echo "== $name: $((SECONDS - began)) s"
}
step "setup" scripts/setup.sh
# Formatting first: a difference fails the run before the long build.
step "format" bash -c 'git ls-files -z "*.cpp" "*.h" | xargs -0 clang-format --dry-run -Werror'
# The benchmarks are timing programs that no test runs. -O2 rather than CMake's -O3 for
# Release: the sources compile a fifth faster, and the packages are built apart.
step "build" scripts/build.sh build -DCMAKE_BUILD_TYPE="${QUELLIN_BUILD_TYPE:-Release}" \
  -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DQUELLIN_BENCH=OFF
# Most tests spend their time waiting on the sandbox's services and programs rather than
# computing, so twice as many run at once as there are processors.
step "tests" bash -c 'cd build && QT_QPA_PLATFORM=offscreen ctest -j"$((2 * $(nproc)))" \
  --output-on-failure'
if [ "${QUELLIN_SANITIZE:-0}" = "1" ]; then
  # Only the unit tests: the end-to-end tests do not run under the sanitizers.
  step "sanitizer build (unit tests)" bash -c '
    cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUELLIN_WERROR=ON \
      -DQUELLIN_SANITIZE=ON -DQUELLIN_BENCH=OFF >/dev/null
    cmake --build build-asan -j"$(nproc)" --target quellin-unit-tests'
  step "sanitizer tests" bash -c 'cd build-asan && QT_QPA_PLATFORM=offscreen \
    ASAN_OPTIONS=detect_leaks=0 ctest -j"$(nproc)" --output-on-failure -E "e2e|interop"'
fi
# The fuzz targets' build and runs print their own steps' times.
if [ "${QUELLIN_FUZZ_SECONDS:-0}" != "0" ]; then
  step "fuzzing" scripts/fuzz.sh "${QUELLIN_FUZZ_SECONDS}"
fi
# The Windows builds under Wine, where MinGW-w64 and Wine are installed.
scripts/test-windows.sh --if-present
exit 0
