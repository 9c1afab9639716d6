#!/usr/bin/env bash
# Builds Quellin for Windows with MinGW-w64 and runs it under Wine, in a temporary 64-bit Wine
# prefix: the 32-bit build runs there as on 64-bit Windows (WoW64).
#  - i686: the platform contract suite, the Qt-free logic tests, an archive round trip,
#    quellin-cli; with Qt for Windows also quellin.exe, the end-to-end scripts on the real
#    windows in a virtual display (each listed as passed or skipped with its reason).
#  - x86_64: the platform contract suite and quellin-cli.
#  - Both run the contract suite a second time in a Japanese locale (code page 932).
#  - With both: the packages signed with a throwaway certificate and verified, the installer
#    and the x64 MSI installed, upgraded and uninstalled silently; quellin-cli built a second
#    time from scratch, and it and the zip compared byte for byte.
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
for tool in i686-w64-mingw32-g++-posix x86_64-w64-mingw32-g++-posix wine wineserver xvfb-run \
  makensis wixl msibuild msiextract osslsigncode openssl; do
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
# No browser either: a script's "open the page" must not start one.
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=;mshtml=;winebrowser.exe=d"
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
# A Japanese locale of the run's own (Wine takes its code page from the host's locale, which
# needs to exist): code page 932.
locales="$prefix/locales"
mkdir -p "$locales"
localedef -i ja_JP -f UTF-8 "$locales/ja_JP.UTF-8" || [ -e "$locales/ja_JP.UTF-8/LC_CTYPE" ]

# The end-to-end scripts on the real windows, in a virtual display. Wine's server and the
# display live only as long as the wrapped command, which waits for the server at its end.
run_e2e() {
  local dir="$1" results="$2"
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w
  xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
    wineserver -p >/dev/null 2>&1 </dev/null
    wine cmd /c exit 0 >/dev/null 2>&1 </dev/null
    for script in "$2"/tests/e2e/*.script "$2"/tests/e2e/settings_backup/*.script; do
      name="${script#"$2"/tests/e2e/}"
      name="${name%.script}"
      rc=0
      out="$(python3 "$2"/tests/e2e/run_script.py --wine --bin "$1/bin" "$script" 2>&1)" || rc=$?
      case "$rc" in
        0) echo "passed  $name" ;;
        77) echo "skipped $name (${out#skipped: })" ;;
        *) echo "FAILED  $name"; echo "$out" | sed "s/^/    /" | cut -c1-400 ;;
      esac
    done >"$3"
    # The single-instance guard across two real Windows processes: a second quellin.exe started
    # from the same file gives way at once (exit 0) and the first one goes on.
    wine "$1/bin/quellin.exe" </dev/null >/dev/null 2>&1 &
    first=$!
    rc=0
    if wine "$1/bin/quellin-wine-machine.exe" wait-window "Quellin 1.1" 60 </dev/null >/dev/null 2>&1; then
      timeout 60 wine "$1/bin/quellin.exe" </dev/null >/dev/null 2>&1 || rc=$?
      if [ "$rc" -eq 0 ] && kill -0 "$first" 2>/dev/null; then
        echo "passed  single_instance (two processes)"
      else
        echo "FAILED  single_instance (two processes): the second one exited with $rc"
      fi
    else
      echo "FAILED  single_instance (two processes): the first one showed no window"
    fi >>"$3"
    kill "$first" 2>/dev/null || true
    # The windows laid out as on the sandbox, where the Linux build is there to compare with.
    # Reported, not failed: autosized labels and radio buttons follow the fonts and the style.
    if [ -x "$2/build/bin/quellin-script" ] && [ -x "$2/build/bin/quellin-sandbox" ]; then
      python3 "$2"/tests/e2e/compare_dumps.py --bin "$2/build/bin" --wine-bin "$1/bin" \
        >>"$3" 2>&1 || true
    fi
    wineserver -k >/dev/null 2>&1; wineserver -w' e2e "$root/$dir" "$root" "$results"
  cat "$results"
  ! grep -q '^FAILED' "$results"
}

# Wine has no dismapi.dll, so the optional feature's state is unknown: status cannot assess
# (exit 6), in one JSON document that says the same code.
status_failure=""
check_status() {
  local json="$1" rc="$2"
  if [ "$rc" -ne 6 ]; then
    status_failure="quellin-cli status exited $rc, not 6 (cannot assess)"
    return 1
  fi
  python3 -c 'import json, sys; d = json.load(open(sys.argv[1])); sys.exit(d["exitCode"] != 6 or "feature-unknown" not in [f["code"] for f in d["result"]["findings"]])' \
    "$json" || { status_failure="quellin-cli status --json does not say exit 6 and feature-unknown"; return 1; }
}

# Quellin's entries in the native uninstall view, one "version|install location" line each.
quellin_entries() {
  wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s /reg:64 \
    </dev/null 2>/dev/null | python3 -c '
import re, sys
entries, key = {}, None
for line in sys.stdin.read().replace("\r", "").splitlines():
    if line.startswith("HKEY_"):
        key = line
        entries[key] = {}
    elif key and (m := re.match(r"\s+(\S+)\s+REG_\w+\s*(.*)", line)):
        entries[key][m.group(1)] = m.group(2)
for values in entries.values():
    if values.get("DisplayName") == "Quellin":
        print(values.get("DisplayVersion", ""), values.get("InstallLocation", "").rstrip("\\"),
              sep="|")'
}

# The machine a Windows executable is built for: 0x14c (i386) or 0x8664 (x86-64).
pe_machine() {
  python3 -c 'import struct, sys
d = open(sys.argv[1], "rb").read(4096)
print(hex(struct.unpack_from("<H", d, struct.unpack_from("<I", d, 0x3C)[0] + 4)[0]))' "$1"
}

native_folder='C:\Program Files\Quellin'
event_source='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Quellin'

# The event log source's message file, or nothing when the source is not registered.
event_message_file() {
  wine reg query "$event_source" /v EventMessageFile /reg:64 </dev/null 2>/dev/null |
    tr -d '\r' | sed -n 's/^ *EventMessageFile *REG_\(EXPAND_\)\?SZ *//p'
}
installed="$prefix/drive_c/Program Files/Quellin"

# What every package installs: the one layout in the native program-files folder, with the
# command line of the machine's architecture (64-bit here), and one uninstall entry for it.
# The package's version, and the program's where it differs (an upgrade package of one build).
check_installed() {
  local what="$1" version="$2" program="${3:-$2}"
  for f in quellin.exe quellin-cli.exe LICENSE.txt THIRD-PARTY-NOTICES.txt; do
    [ -f "$installed/$f" ] || { echo "$what: $f not installed in $native_folder"; return 1; }
  done
  [ "$(pe_machine "$installed/quellin-cli.exe")" = 0x8664 ] ||
    { echo "$what: the installed quellin-cli.exe is not the x86-64 one"; return 1; }
  [ "$(pe_machine "$installed/quellin.exe")" = 0x14c ] ||
    { echo "$what: the installed quellin.exe is not the 32-bit one"; return 1; }
  [ "$(quellin_entries)" = "$version|$native_folder" ] ||
    { echo "$what: uninstall entries: $(quellin_entries | tr '\n' ' ')"; return 1; }
  [ -n "$(find "$prefix/drive_c" -iname 'Quellin.lnk' -ipath '*start menu*')" ] ||
    { echo "$what: no Start menu entry"; return 1; }
  [ "$(event_message_file)" = "$native_folder\quellin.exe" ] ||
    { echo "$what: the event log source names '$(event_message_file)'"; return 1; }
  [ "$(wine "$installed/quellin-cli.exe" --version </dev/null 2>/dev/null | tr -d '\r')" = \
    "quellin-cli $program" ] || { echo "$what: the installed quellin-cli --version is wrong"; return 1; }
}

check_removed() {
  local what="$1"
  if [ -e "$installed" ] || [ -n "$(quellin_entries)" ] ||
    [ -n "$(find "$prefix/drive_c" -iname 'Quellin.lnk' -ipath '*start menu*')" ] ||
    wine reg query "$event_source" /reg:64 </dev/null >/dev/null 2>&1; then
    echo "$what: the uninstall left something behind"
    find "$installed" 2>/dev/null
    quellin_entries
    return 1
  fi
}

# Each shipped file carries a signature that verifies against the certificate it was signed
# with: the programs (from the zip and from inside the MSIs), the installers and the MSIs.
verify_signatures() {
  local out="$1" ca="$2" files=() f
  mkdir -p "$prefix/signed/zip" "$prefix/signed/msi"
  unzip -q -o "$out"/Quellin-*-win32.zip -d "$prefix/signed/zip"
  msiextract -C "$prefix/signed/msi" "$out"/Quellin-*-x64.msi >/dev/null
  files=("$out"/Quellin-*-setup.exe "$out"/Quellin-*.msi "$prefix"/signed/zip/*.exe)
  mapfile -t -O "${#files[@]}" files < <(find "$prefix/signed/msi" -name '*.exe')
  [ "${#files[@]}" -ge 7 ] || { echo "signatures: only ${#files[@]} files found"; return 1; }
  for f in "${files[@]}"; do
    osslsigncode verify -CAfile "$ca" -in "$f" >/dev/null 2>&1 ||
      { echo "signatures: $f does not verify"; return 1; }
  done
  echo "signatures: ${#files[@]} files verify against the signing certificate"
}

# The installer as a software-distribution tool runs it: silently, then the installed
# quellin-cli, then a silent uninstall that leaves no file behind.
test_installer() {
  local out="$1" ca="$2" version="$3" rc=0
  wine "$(ls "$out"/Quellin-*-setup.exe)" /S </dev/null >/dev/null 2>&1
  wineserver -w
  check_installed installer "$version" || return 1
  osslsigncode verify -CAfile "$ca" -in "$installed/uninstall.exe" >/dev/null 2>&1 ||
    { echo "installer: the uninstaller is not signed"; return 1; }
  wine "$installed/quellin-cli.exe" status --json </dev/null >"$prefix/installed-status.json" \
    2>/dev/null || rc=$?
  check_status "$prefix/installed-status.json" "$rc" || { echo "installer: $status_failure"; return 1; }
  wine "$installed/uninstall.exe" /S </dev/null >/dev/null 2>&1
  wineserver -w
  # The uninstaller copies itself away and removes the folder from there: wait for it.
  for _ in $(seq 50); do
    [ -e "$installed" ] || break
    sleep 0.2
  done
  check_removed installer || return 1
  echo "installer: silent install, quellin-cli --version and status --json, silent uninstall passed"
}

# The MSI as Group Policy or Intune runs it: a silent install, an upgrade in place by a newer
# package, an older package refused, and a silent uninstall that leaves nothing.
test_msi() {
  local dir="$1" dir64="$2" out="$3" version="$4" newer rc=0
  newer="$(echo "$version" | awk -F. -v OFS=. '{ $3 += 1; print }')"
  QUELLIN_PACKAGE_VERSION="$newer" QUELLIN_PACKAGE_OUT="$prefix/newer" QUELLIN_SIGN_PFX= \
    scripts/package-windows.sh "$dir" "$dir64" >/dev/null
  msi() { wine msiexec "$1" "$(winepath -w "$2")" /qn /l*v "$(winepath -w "$prefix/msi.log")" \
    </dev/null >/dev/null 2>&1; }
  msi /i "$out/Quellin-$version-x64.msi" || { echo "msi: the install failed"; return 1; }
  check_installed msi "$version" || return 1
  msi /i "$prefix/newer/Quellin-$newer-x64.msi" || { echo "msi: the upgrade failed"; return 1; }
  check_installed "msi upgrade" "$newer" "$version" || return 1
  msi /i "$out/Quellin-$version-x64.msi" || rc=$?
  # Wine's msiexec logs no launch condition's text when quiet: the package's own table has it.
  [ "$rc" -ne 0 ] && msiinfo export "$out/Quellin-$version-x64.msi" LaunchCondition |
    grep -q 'A newer version of Quellin' ||
    { echo "msi: the older package was not refused (exit $rc)"; return 1; }
  check_installed "msi after the older package" "$newer" "$version" || return 1
  msi /x "$prefix/newer/Quellin-$newer-x64.msi" || { echo "msi: the uninstall failed"; return 1; }
  check_removed msi || return 1
  echo "msi: silent install, upgrade $version -> $newer, older refused, silent uninstall passed"
}

# Two builds of the same commit give the same bytes: quellin-cli for x86_64 built again from
# scratch in another folder, without the compiler cache, then both packaged unsigned; the zip
# holds both programs, so equal zips mean equal programs and no timestamp in either.
test_reproducible() {
  local dir=build-win-i686 dir64=build-win-x86_64 again="$prefix/build-again"
  cmake -S . -B "$again" -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/x86_64-w64-mingw32.cmake \
    -DCMAKE_BUILD_TYPE=Release -DQUELLIN_BENCH=OFF -DQUELLIN_WERROR=ON >/dev/null
  CCACHE_DISABLE=1 cmake --build "$again" -j"$(nproc)" --target quellin-cli >/dev/null || return 1
  cmp "$dir64/bin/quellin-cli.exe" "$again/bin/quellin-cli.exe" ||
    { echo "reproducible: quellin-cli.exe differs between two builds"; return 1; }
  QUELLIN_SIGN_PFX= QUELLIN_PACKAGE_OUT="$prefix/zip-a" scripts/package-windows.sh "$dir" "$dir64" \
    >/dev/null || return 1
  QUELLIN_SIGN_PFX= QUELLIN_PACKAGE_OUT="$prefix/zip-b" scripts/package-windows.sh "$dir" "$again" \
    >/dev/null || return 1
  cmp "$prefix"/zip-a/*.zip "$prefix"/zip-b/*.zip ||
    { echo "reproducible: the zips of two builds differ"; return 1; }
  echo "reproducible: quellin-cli.exe and the zip are byte-identical across two builds"
}

# Signs the packages with a throwaway code-signing certificate, then installs each of them.
test_packages() {
  local dir=build-win-i686 dir64=build-win-x86_64 keys="$prefix/signing" version
  version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$dir/CMakeCache.txt")"
  mkdir -p "$keys"
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$keys/key.pem" -out "$keys/cert.pem" \
    -days 2 -subj "/CN=Quellin test signing" -addext "extendedKeyUsage=codeSigning" \
    -addext "keyUsage=critical,digitalSignature" 2>/dev/null
  openssl pkcs12 -export -inkey "$keys/key.pem" -in "$keys/cert.pem" -out "$keys/sign.pfx" \
    -passout pass:quellin-test
  QUELLIN_SIGN_PFX="$keys/sign.pfx" QUELLIN_SIGN_PASSWORD=quellin-test \
    scripts/package-windows.sh "$dir" "$dir64" || return 1
  verify_signatures "$dir/package" "$keys/cert.pem" || return 1
  test_installer "$dir/package" "$keys/cert.pem" "$version" || return 1
  test_msi "$dir" "$dir64" "$dir/package" "$version" || return 1
}

for arch in i686 x86_64; do
  dir="build-win-$arch"
  echo "== Windows build $arch-w64-mingw32 in $dir"
  phase_start=$SECONDS
  cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="cmake/toolchains/$arch-w64-mingw32.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DQUELLIN_BENCH=OFF -DQUELLIN_WERROR=ON --no-warn-unused-cli \
    "${launcher[@]}" >/dev/null
  if [ "$arch" = i686 ]; then
    # The Qt-free subsystem libraries too, so the logic a Windows front end links keeps
    # compiling; and the program with its scripts where Qt for Windows is installed.
    targets=(quellin-windows-tests quellin-archive quellin_repair quellin_queue
      quellin_backup quellin-cli)
    tests=(platform_contract_test driverconfig_logic_tests archive_logic_tests
      promo_promotions_tests)
    if grep -q '^Qt6_DIR:PATH=.*/Qt6$' "$dir/CMakeCache.txt"; then
      targets+=(quellin-windows-e2e)
    fi
  else
    targets=(platform_contract_test quellin-contract-helper quellin-cli)
    tests=(platform_contract_test)
  fi
  cmake --build "$dir" -j"$(nproc)" --target "${targets[@]}"
  echo "== built in $((SECONDS - phase_start)) s"
  echo "== Tests under Wine: $arch"
  for t in "${tests[@]}"; do
    run_test "$dir/bin/$t.exe"
  done
  # The contract again in a Japanese locale: Wine then runs ANSI code page 932, whose trail
  # bytes include 0x5C, the backslash.
  echo "== Contract under Wine in code page 932: $arch"
  LOCPATH="$locales" LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 \
    run_test "$dir/bin/platform_contract_test.exe"
  work="$prefix/drive_c/archive-$arch"
  mkdir -p "$work"

  if [ "$arch" = i686 ]; then
    echo "== Archive round trip under Wine: $arch"
    mkdir -p "$work/folder"
    printf '*Feature: PaperSize\r\n' >"$work/folder/merged.gpd"
    head -c 200000 /dev/urandom >"$work/folder/random.bin"
    : >"$work/folder/empty.xml"
    (cd "$work" && wine "$root/$dir/bin/quellin-archive.exe" zip settings.roy folder >/dev/null)
    unzip -tq "$work/settings.roy"
    (cd "$work" && wine "$root/$dir/bin/quellin-archive.exe" unzip settings.roy out >/dev/null)
    diff -r "$work/folder" "$work/out"
    echo "archive round trip passed"

    if [ -f "$dir/bin/quellin.exe" ]; then
      echo "== End-to-end scripts under Wine: $arch"
      phase_start=$SECONDS
      run_e2e "$dir" "$work/e2e.txt" || failed=1
      echo "== scripts ran in $((SECONDS - phase_start)) s"
    else
      echo "== quellin.exe not built (no Qt for Windows: scripts/setup-windows.sh installs it)"
    fi
  fi

  echo "== quellin-cli under Wine: $arch"
  wine "$root/$dir/bin/quellin-cli.exe" --help </dev/null >/dev/null 2>&1
  rc=0
  wine "$root/$dir/bin/quellin-cli.exe" status --json </dev/null >"$work/status.json" 2>/dev/null ||
    rc=$?
  if check_status "$work/status.json" "$rc"; then
    echo "quellin-cli status: exit 6 (the feature's state is unknown), one JSON document"
  else
    echo "$arch: $status_failure"
    failed=1
  fi
done
if [ -f build-win-i686/bin/quellin.exe ]; then
  echo "== Packages: signed, installed, upgraded and uninstalled"
  phase_start=$SECONDS
  test_packages || failed=1
  echo "== packaged and installed in $((SECONDS - phase_start)) s"
  echo "== Reproducible build"
  phase_start=$SECONDS
  test_reproducible || failed=1
  echo "== rebuilt and compared in $((SECONDS - phase_start)) s"
fi
if [ "$failed" -ne 0 ]; then
  echo "== Windows tests FAILED" >&2
  exit 1
fi
echo "== Windows tests passed (i686 on 64-bit Wine, x86_64)"
