#!/usr/bin/env bash
# Installs what the Windows build and its tests under Wine need, from Debian's packages:
# MinGW-w64 for 32-bit and 64-bit Windows with zlib, GoogleTest's sources, and Wine for
# 64-bit and (through the i386 architecture) 32-bit programs. Safe to run again.
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

packages=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 libz-mingw-w64-dev googletest wine wine64)
missing=()
for p in "${packages[@]}"; do
  installed "$p" || missing+=("$p")
done
installed wine32:i386 || missing+=(wine32:i386)
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup-windows: installing ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
