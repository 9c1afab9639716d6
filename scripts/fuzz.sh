#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer, AddressSanitizer and UBSan into build-fuzz/
# (or $2) and runs each for SECONDS (default 60) from a copy of its committed corpus, with its
# dictionary where it has one. Fails when the build fails or a target finds a crash; the input
# is kept in the build folder's artifacts/<target>/ and, once reduced, belongs in
# tests/fuzz/regressions/<target>/. Each step prints its time.
#   scripts/fuzz.sh [SECONDS] [BUILD-FOLDER]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
dir="${2:-build-fuzz}"
step() {
  local name="$1" began=$SECONDS
  shift
  "$@"
  echo "== $name: $((SECONDS - began)) s"
}
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
build() {
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
    -DCMAKE_CXX_COMPILER=clang++ -DQUELLIN_FUZZ=ON "${launcher[@]}" >/dev/null
  cmake --build "$dir" -j"$(nproc)"
}
step "fuzz build" build

work="$(mktemp -d "${TMPDIR:-/tmp}/quellin-fuzz.XXXXXX")"
trap 'rm -rf "$work"' EXIT
for source in tests/fuzz/*_fuzz.cpp; do
  target="$(basename "$source" .cpp)"
  # New inputs go to a copy: the committed corpus stays as it was written.
  cp -r "tests/fuzz/corpus/$target" "$work/$target"
  mkdir -p "$dir/artifacts/$target"
  options=(-max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$dir/artifacts/$target/")
  [ -f "tests/fuzz/dictionaries/$target.dict" ] && options+=(-dict="tests/fuzz/dictionaries/$target.dict")
  # Archives need room for a few entries; driver texts are short.
  [ "$target" = archive_reader_fuzz ] && options+=(-max_len=65536) || options+=(-max_len=8192)
  step "fuzzing $target" "$dir/bin/$target" "${options[@]}" "$work/$target"
done
