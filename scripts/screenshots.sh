#!/usr/bin/env bash
# Renews the README's pictures of the program's windows as Windows draws them: quellin-script.exe
# runs under Wine in a virtual desktop (Wine then draws the window frames), on a prefix seeded
# with the printer, and saves each window with its frame into docs/.
#   scripts/screenshots.sh [BUILD-DIR]     (default build-win-i686; scripts/test-windows.sh
#                                           builds it)
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
dir="$(realpath "${1:-build-win-i686}")"
for f in quellin-script.exe quellin-wine-machine.exe; do
  [ -f "$dir/bin/$f" ] || { echo "screenshots: $dir/bin/$f is not built" >&2; exit 1; }
done

prefix="$(mktemp -d "${TMPDIR:-/tmp}/quellin-shots-XXXXXX")"
export WINEPREFIX="$prefix" WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=;mshtml=;winebrowser.exe=d"
trap 'wineserver -k >/dev/null 2>&1 || true; wineserver -w >/dev/null 2>&1 || true; rm -rf "$prefix"' EXIT
wine wineboot -i >/dev/null 2>&1
wineserver -w
# The frame's buttons are glyphs of Marlett; Wine ships it, but a fresh prefix may not find it.
marlett="$(ls /usr/share/wine/fonts/marlett.ttf /usr/lib/wine/fonts/marlett.ttf 2>/dev/null | head -1 || true)"
[ -n "$marlett" ] && cp "$marlett" "$prefix/drive_c/windows/Fonts/"
# A virtual desktop: without a window manager only Wine's own desktop draws frames.
wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1
wine "$dir/bin/quellin-wine-machine.exe" pdf-printer
wineserver -w

docs="$(wine winepath -w "$root/docs" 2>/dev/null | tr -d '\r')"
work="$prefix/shots"
mkdir -p "$work"
# Each picture: the script that opens the window, and the file name.
cat >"$work/main.script" <<SCRIPT
screenshot TForm1 "$docs\\windows-main-window.png"
answer no
close TForm1
SCRIPT
cat >"$work/paper.script" <<SCRIPT
click TForm1.SpeedButton4
screenshot TForm2 "$docs\\windows-paper-size-editor.png"
click TForm2.btnCancel
answer no
close TForm1
SCRIPT
cat >"$work/quality.script" <<SCRIPT
click TForm1.SpeedButton7
screenshot TForm4 "$docs\\windows-print-quality-editor.png"
click TForm4.btnCancelRes
answer no
close TForm1
SCRIPT

xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  status=0
  for script in "$2"/*.script; do
    wine "$1/bin/quellin-script.exe" "$script" "$script.jsonl" </dev/null >/dev/null 2>&1 || {
      echo "screenshots: $(basename "$script") failed:"; cat "$script.jsonl"; status=1; }
  done
  wineserver -k >/dev/null 2>&1; wineserver -w
  exit $status' shots "$dir" "$work"
ls -l "$root"/docs/windows-*.png
