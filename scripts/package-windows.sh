#!/usr/bin/env bash
# The Windows package from a 32-bit build folder (default build-win-i686) and a 64-bit one
# (default build-win-x86_64) that holds the 64-bit quellin-cli.exe: an NSIS installer and a zip,
# in DIR/package/:
#   Quellin-VERSION-setup.exe    installs into the 32-bit program-files folder, with the
#                                quellin-cli.exe of the machine's architecture; /S is silent
#   Quellin-VERSION-win32.zip    quellin.exe, quellin-cli.exe (32-bit), x64/quellin-cli.exe
#                                (for 64-bit Windows), LICENSE.txt, THIRD-PARTY-NOTICES.txt
# The DISM API refuses a 32-bit program on 64-bit Windows, so status there needs the 64-bit CLI.
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${1:-build-win-i686}"
dir64="${2:-build-win-x86_64}"
qt="$(sed -n 's/^QUELLIN_QT_WINDOWS:PATH=//p' "$dir/CMakeCache.txt")"
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$dir/CMakeCache.txt")"
for f in "$dir/bin/quellin.exe" "$dir/bin/quellin-cli.exe" "$dir64/bin/quellin-cli.exe"; do
  [ -f "$f" ] || { echo "package-windows: $f is not built" >&2; exit 1; }
done

out="$dir/package"
stage="$out/stage"
rm -rf "$out"
mkdir -p "$stage/x64"
for f in quellin.exe quellin-cli.exe; do
  i686-w64-mingw32-strip -o "$stage/$f" "$dir/bin/$f"
done
x86_64-w64-mingw32-strip -o "$stage/x64/quellin-cli.exe" "$dir64/bin/quellin-cli.exe"
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
(cd "$stage" && zip -q -X "../Quellin-$version-win32.zip" quellin.exe quellin-cli.exe \
  x64/quellin-cli.exe LICENSE.txt THIRD-PARTY-NOTICES.txt)
rm -rf "$stage"
ls -l "$out"
