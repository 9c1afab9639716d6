#!/usr/bin/env bash
# Installs what the Windows build and its tests under Wine need, from Debian's packages:
# MinGW-w64 for 32-bit and 64-bit Windows with zlib, GoogleTest's sources, and Wine for
# 64-bit and (through the i386 architecture) 32-bit programs, NSIS and wixl for the installers,
# osslsigncode for their signatures; then a static Qt 6 for 32-bit Windows, which the i686
# toolchain finds. Safe to run again.
set -euo pipefail

if [ "$(id -u)" -eq 0 ]; then
  sudo=""
elif command -v sudo >/dev/null 2>&1; then
  sudo="sudo"
else
  echo "setup-windows: installing packages needs root" >&2
  exit 1
fi

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

packages=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 libz-mingw-w64-dev googletest wine wine64 nsis
  wixl msitools osslsigncode openssl xvfb xauth ninja-build)
missing=()
for p in "${packages[@]}"; do
  installed "$p" || missing+=("$p")
done
installed wine32:i386 || missing+=(wine32:i386)
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup-windows: installing ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
  fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi

# Qt for Windows: the prebuilt archive beside the project when it is there (checked against its
# checksum), otherwise built from Debian's source package with the same recipe.
qt_prefix=/opt/qt6-static-i686-w64-mingw32
if [ ! -f "$qt_prefix/lib/cmake/Qt6/Qt6Config.cmake" ]; then
  here="$(cd "$(dirname "$0")/.." && pwd)"
  prebuilt="${QUELLIN_QT_WINDOWS_ARCHIVE:-$here/../shared/qt-windows/qt6-static-i686-w64-mingw32.tar.xz}"
  if [ -f "$prebuilt" ]; then
    echo "setup-windows: unpacking the prebuilt Qt for Windows into $qt_prefix"
    if [ -f "$(dirname "$prebuilt")/SHA256SUMS" ]; then
      (cd "$(dirname "$prebuilt")" && sha256sum --quiet -c SHA256SUMS)
    fi
    $sudo rm -rf "$qt_prefix.tmp"
    $sudo mkdir -p "$qt_prefix.tmp"
    $sudo tar -xJf "$prebuilt" -C "$qt_prefix.tmp"
    $sudo rm -rf "$qt_prefix"
    $sudo mv "$qt_prefix.tmp" "$qt_prefix"
  else
    "$here/scripts/build-qt-windows.sh" "$qt_prefix"
  fi
fi
