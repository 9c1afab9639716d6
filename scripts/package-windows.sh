#!/usr/bin/env bash
# The Windows package from a 32-bit build folder (default build-win-i686): an NSIS installer
# and a zip of the same files, in DIR/package/:
#   Quellin-VERSION-setup.exe    installs into the 32-bit program-files folder; /S is silent
#   Quellin-VERSION-win32.zip    quellin.exe, quellin-cli.exe, LICENSE.txt, THIRD-PARTY-NOTICES.txt
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${1:-build-win-i686}"
qt="$(sed -n 's/^QUELLIN_QT_WINDOWS:PATH=//p' "$dir/CMakeCache.txt")"
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$dir/CMakeCache.txt")"
for f in quellin.exe quellin-cli.exe; do
  [ -f "$dir/bin/$f" ] || { echo "package-windows: $dir/bin/$f is not built" >&2; exit 1; }
done

out="$dir/package"
stage="$out/stage"
rm -rf "$out"
mkdir -p "$stage"
for f in quellin.exe quellin-cli.exe; do
  i686-w64-mingw32-strip -o "$stage/$f" "$dir/bin/$f"
done
# Windows text files: CRLF line ends.
sed 's/$/\r/' LICENSE >"$stage/LICENSE.txt"
{
  cat THIRD-PARTY-NOTICES.txt
  for text in LGPL-3.0-only GPL-3.0-only; do
    printf '\n\n==== %s (from the Qt sources) ====\n\n' "$text"
    cat "$qt/LICENSES/$text.txt"
  done
} | sed 's/$/\r/' >"$stage/THIRD-PARTY-NOTICES.txt"

makensis -V2 -DVERSION="$version" -DSTAGE="$(realpath "$stage")" \
  -DOUTFILE="$(realpath "$out")/Quellin-$version-setup.exe" cmake/windows/quellin.nsi
(cd "$stage" && zip -q -X "../Quellin-$version-win32.zip" quellin.exe quellin-cli.exe LICENSE.txt \
  THIRD-PARTY-NOTICES.txt)
rm -rf "$stage"
ls -l "$out"
