#!/usr/bin/env bash
# Builds Quellin for Windows with MinGW-w64 (the 32-bit and the 64-bit build) and runs the
# platform contract suite, the Qt-free logic tests and an archive round trip under Wine, in a
# temporary 64-bit Wine prefix: the 32-bit build runs there as on 64-bit Windows (WoW64).
#
#   scripts/test-windows.sh               build and test; fails when MinGW-w64 or Wine is missing
#   scripts/test-windows.sh --install     install them first (scripts/setup-windows.sh)
#   scripts/test-windows.sh --if-present  skip, saying so, when they are missing
# QUELLIN_WINDOWS_TESTS=0 skips the whole run.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"

mode="${1:-}"
if [ "${QUELLIN_WINDOWS_TESTS:-1}" = "0" ]; then
  echo "Windows tests skipped: QUELLIN_WINDOWS_TESTS=0"
  exit 0
fi
[ "$mode" = "--install" ] && scripts/setup-windows.sh

missing=()
for tool in i686-w64-mingw32-g++-posix x86_64-w64-mingw32-g++-posix wine wineserver; do
  command -v "$tool" >/dev/null 2>&1 || missing+=("$tool")
done
[ -f /usr/src/googletest/CMakeLists.txt ] || missing+=("googletest sources")
[ -e /usr/lib/wine/wine ] || missing+=("32-bit Wine (wine32:i386)")
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$mode" = "--if-present" ]; then
    echo "Windows tests skipped: not installed: ${missing[*]} (scripts/test-windows.sh --install)"
    exit 0
  fi
  echo "test-windows: not installed: ${missing[*]} (run with --install)" >&2
  exit 1
fi

launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi

prefix="$(mktemp -d "${TMPDIR:-/tmp}/quellin-wine-XXXXXX")"
export WINEPREFIX="$prefix" WINEARCH=win64 WINEDEBUG=-all
# No desktop menu entries, and no Mono or Gecko download offers while the prefix is made.
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=;mshtml="
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  rm -rf "$prefix"
}
trap cleanup EXIT

echo "== Wine prefix (64-bit): $prefix"
wine wineboot -i >/dev/null 2>&1
wineserver -w
# One server for all runs, so each program starts in a fraction of a second; the first program
# starts Wine's own services, which must not hold on to a test's output.
wineserver -p >/dev/null 2>&1 </dev/null
wine cmd /c exit 0 >/dev/null 2>&1 </dev/null

# Runs a test program under Wine; its output goes through a file, since Wine's background
# processes may keep a pipe open after the program has ended.
run_test() {
  local exe="$1" log
  log="$(mktemp)"
  local rc=0
  wine "$exe" --gtest_brief=1 >"$log" 2>&1 </dev/null || rc=$?
  grep -v '^Running main()' "$log" || true
  rm -f "$log"
  if [ "$rc" -ne 0 ]; then
    echo "FAILED under Wine: $exe (exit $rc)"
    failed=1
  fi
}
failed=0

for arch in i686 x86_64; do
  dir="build-win-$arch"
  echo "== Windows build $arch-w64-mingw32 in $dir"
  cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="cmake/toolchains/$arch-w64-mingw32.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DQUELLIN_BENCH=OFF -DCMAKE_CROSSCOMPILING_EMULATOR=wine \
    --no-warn-unused-cli \
    "${launcher[@]}" >/dev/null
  # The Qt-free subsystem libraries too, so the logic a Windows front end links keeps compiling.
  cmake --build "$dir" -j"$(nproc)" --target quellin-windows-tests quellin-archive \
    quellin_repair quellin_queue quellin_settings_backup quellin-cli
  echo "== Tests under Wine: $arch"
  for t in platform_contract_test driverconfig_logic_tests backup_archive_core_tests \
    promo_promotions_tests; do
    run_test "$dir/bin/$t.exe"
  done

  echo "== Archive round trip under Wine: $arch"
  work="$prefix/drive_c/archive-$arch"
  mkdir -p "$work/folder"
  printf '*Feature: PaperSize\r\n' >"$work/folder/merged.gpd"
  head -c 200000 /dev/urandom >"$work/folder/random.bin"
  : >"$work/folder/empty.xml"
  (cd "$work" && wine "$root/$dir/bin/quellin-archive.exe" zip settings.roy folder >/dev/null)
  unzip -tq "$work/settings.roy"
  (cd "$work" && wine "$root/$dir/bin/quellin-archive.exe" unzip settings.roy out >/dev/null)
  diff -r "$work/folder" "$work/out"
  echo "archive round trip passed"

  echo "== quellin-cli under Wine: $arch"
  wine "$root/$dir/bin/quellin-cli.exe" --help </dev/null >/dev/null 2>&1
  # Wine has no Print to PDF printer: status reports findings (exit 1) in one JSON document.
  rc=0
  wine "$root/$dir/bin/quellin-cli.exe" status --json </dev/null >"$work/status.json" 2>/dev/null ||
    rc=$?
  python3 -c 'import json, sys; d = json.load(open(sys.argv[1])); sys.exit(d["exitCode"] != int(sys.argv[2]))' \
    "$work/status.json" "$rc"
  echo "quellin-cli status: exit $rc, one JSON document"
done
if [ "$failed" -ne 0 ]; then
  echo "== Windows tests FAILED" >&2
  exit 1
fi
echo "== Windows tests passed (i686 on 64-bit Wine, x86_64)"
