#!/usr/bin/env bash
# The Windows packages, from the 32-bit build folder (default build-win-i686) and the 64-bit one
# (default build-win-x86_64), into the 32-bit folder's package/:
#   Quellin-VERSION-setup.exe   NSIS installer for 32-bit and 64-bit Windows; /S is silent
#   Quellin-VERSION-x64.msi     Windows Installer packages, per machine, for 64-bit and 32-bit
#   Quellin-VERSION-x86.msi     Windows
#   Quellin-VERSION-win32.zip   the same files to run without installing, the 64-bit
#                               quellin-cli.exe in x64\
# Every package installs one layout into %ProgramFiles%\Quellin (the native program-files
# folder): quellin.exe (32-bit), the quellin-cli.exe of the machine's architecture,
# LICENSE.txt and THIRD-PARTY-NOTICES.txt. The programs, installers, uninstaller and packages
# are signed when scripts/sign-windows.sh has a certificate. The DISM API refuses a 32-bit
# program on 64-bit Windows, so there the command line must be the 64-bit build.
#   scripts/package-windows.sh [I686_DIR [X86_64_DIR]]
# QUELLIN_PACKAGE_VERSION overrides the version the packages carry, and QUELLIN_PACKAGE_OUT the
# folder they go to (the tests build an upgrade with them).
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${1:-build-win-i686}"
dir64="${2:-build-win-x86_64}"
qt="$(sed -n 's/^QUELLIN_QT_WINDOWS:PATH=//p' "$dir/CMakeCache.txt")"
version="${QUELLIN_PACKAGE_VERSION:-$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$dir/CMakeCache.txt")}"
for f in "$dir/bin/quellin.exe" "$dir/bin/quellin-cli.exe" "$dir64/bin/quellin-cli.exe"; do
  [ -f "$f" ] || { echo "package-windows: $f is not built" >&2; exit 1; }
done

out="${QUELLIN_PACKAGE_OUT:-$dir/package}"
stage="$out/stage"
rm -rf "$out"
mkdir -p "$stage/x86" "$stage/x64"
# The packages' own timestamps come from the commit, so two builds of it give the same zip;
# strip writes the time into the PE header unless SOURCE_DATE_EPOCH names one.
epoch="${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 315532800)}"
export SOURCE_DATE_EPOCH="$epoch"
i686-w64-mingw32-strip -o "$stage/x86/quellin.exe" "$dir/bin/quellin.exe"
i686-w64-mingw32-strip -o "$stage/x86/quellin-cli.exe" "$dir/bin/quellin-cli.exe"
x86_64-w64-mingw32-strip -o "$stage/x64/quellin-cli.exe" "$dir64/bin/quellin-cli.exe"
scripts/sign-windows.sh "$stage"/x86/*.exe "$stage"/x64/*.exe
# Windows text files: CRLF line ends.
sed 's/$/\r/' LICENSE >"$stage/LICENSE.txt"
{
  cat THIRD-PARTY-NOTICES.txt
  for text in LGPL-3.0-only GPL-3.0-only; do
    printf '\n\n==== %s (from the Qt sources) ====\n\n' "$text"
    cat "$qt/LICENSES/$text.txt"
  done
} | sed 's/$/\r/' >"$stage/THIRD-PARTY-NOTICES.txt"
cp "$stage/LICENSE.txt" "$stage/THIRD-PARTY-NOTICES.txt" "$stage/x86/"
cp "$stage/LICENSE.txt" "$stage/THIRD-PARTY-NOTICES.txt" "$stage/x86/quellin.exe" "$stage/x64/"
find "$stage" -exec touch -h -d "@$epoch" {} +

# NSIS signs the uninstaller it writes into the installer as it builds it.
sign=()
[ -n "${QUELLIN_SIGN_PFX:-}" ] && sign=(-DSIGN="$(realpath scripts/sign-windows.sh)")
makensis -V2 -DVERSION="$version" -DSTAGE="$(realpath "$stage")" "${sign[@]}" \
  -DOUTFILE="$(realpath "$out")/Quellin-$version-setup.exe" cmake/windows/quellin.nsi
scripts/sign-windows.sh "$out/Quellin-$version-setup.exe"

# wixl takes its sources relative to where it runs. What it cannot express is written into the
# tables afterwards: InstallLocation is set before the product registers (wixl schedules the
# action at the end, deferred), and a build with the same first three version fields replaces
# the installed one, since Windows Installer ignores the fourth when it looks for products.
# The event log source's key goes with the product: one row with the name "*" makes it on install
# and removes it, with its values, on uninstall.
# The upgrade code never changes: it is how every later package finds the installed one. Both
# architectures share it, so a machine holds one Quellin.
upgrade_code='{6E2B1C54-39A7-4F0B-9D5E-0C8A41F7B263}'
for arch in x64 x86; do
  msi="$(realpath "$out")/Quellin-$version-$arch.msi"
  cp cmake/windows/quellin.ico "$stage/$arch/"
  (cd "$stage/$arch" && wixl -a "$arch" -D Version="$version" -D Arch="$arch" -D Stage=. \
    -D Icon=quellin.ico -D UpgradeCode="$upgrade_code" -o "$msi" "$OLDPWD/cmake/windows/quellin.wxs")
  msibuild "$msi" \
    -q "UPDATE CustomAction SET Type = 51 WHERE Action = 'SetInstallLocation'" \
    -q "UPDATE InstallExecuteSequence SET Sequence = 1001 WHERE Action = 'SetInstallLocation'" \
    -q "DELETE FROM Upgrade WHERE ActionProperty = 'WIX_UPGRADE_DETECTED'" \
    -q "INSERT INTO Upgrade (UpgradeCode, VersionMin, VersionMax, Language, Attributes, Remove, ActionProperty) VALUES ('$upgrade_code', '', '$version', '', 513, '', 'WIX_UPGRADE_DETECTED')" \
    -q "INSERT INTO \`Registry\` (\`Registry\`, \`Root\`, \`Key\`, \`Name\`, \`Component_\`) VALUES ('EventSourceKey', 2, 'SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Quellin', '*', 'Program')"
  scripts/sign-windows.sh "$msi"
done

mkdir -p "$stage/x86/x64"
cp -p "$stage/x64/quellin-cli.exe" "$stage/x86/x64/"
touch -h -d "@$epoch" "$stage/x86/x64"
(cd "$stage/x86" && zip -q -X "../../Quellin-$version-win32.zip" quellin.exe quellin-cli.exe \
  x64/quellin-cli.exe LICENSE.txt THIRD-PARTY-NOTICES.txt)
rm -rf "$stage"
ls -l "$out"
