#!/usr/bin/env bash
# Builds the static Qt 6 for 32-bit Windows that the i686 build links, from Debian's own
# qt6-base source package (the host's Qt version, with Debian's patches), with MinGW-w64:
#   scripts/build-qt-windows.sh [PREFIX]     (default /opt/qt6-static-i686-w64-mingw32)
# About half an hour on two cores. scripts/setup-windows.sh runs it when no prebuilt archive is
# at hand.
set -euo pipefail
prefix="${1:-/opt/qt6-static-i686-w64-mingw32}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

echo "build-qt-windows: building Qt for Windows into $prefix; this takes about 30 minutes"
work="$(mktemp -d "${TMPDIR:-/tmp}/qt-windows-XXXXXX")"
trap 'rm -rf "$work"' EXIT

# The source package, through a private apt configuration: the machine's own entries turned into
# deb-src ones, in the machine's own form (deb822 with Signed-By, or one-line), so that nothing is
# added to /etc/apt where it could conflict with them or outlive this run.
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq dpkg-dev g++-mingw-w64-i686-posix \
  ninja-build cmake qt6-base-dev qt6-base-dev-tools
apt_dir="$work/apt"
mkdir -p "$apt_dir/sources.list.d" "$apt_dir/lists/partial"
for f in /etc/apt/sources.list.d/*.sources; do
  if [ -f "$f" ]; then sed 's/^Types:.*/Types: deb-src/' "$f" >"$apt_dir/sources.list.d/${f##*/}"; fi
done
cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
  sed -n 's/^deb \(.*\)/deb-src \1/p' >"$apt_dir/sources.list" || true
apt_private=(-o Dir::Etc::SourceList="$apt_dir/sources.list"
  -o Dir::Etc::SourceParts="$apt_dir/sources.list.d" -o Dir::State::Lists="$apt_dir/lists"
  -o Debug::NoLocking=1)
apt-get "${apt_private[@]}" update -qq
(cd "$work" && apt-get "${apt_private[@]}" source -qq qt6-base)   # unpacks, applies debian/patches
src="$(find "$work" -maxdepth 1 -type d -name 'qt6-base-*' | head -n1)"

# Inside the prefix, so that its qt.toolchain.cmake finds it wherever the prefix is unpacked.
toolchain="$work/toolchain-i686-w64-mingw32.cmake"
cat >"$toolchain" <<'TOOLCHAIN'
# Cross-compiling for 32-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-i686-posix).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER   i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER  i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
TOOLCHAIN

# Only what Quellin uses. tabletevent: the dfsg source has no wintab header; opengl off in both
# forms, or "dynamic OpenGL" stays on; directwrite3 off, or the windows plugin refers to a font
# database QtGui then lacks.
host_cmake="/usr/lib/$(uname -m)-linux-gnu/cmake"
cmake -G Ninja -S "$src" -B "$work/build" \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR="$host_cmake" \
  -DCMAKE_INSTALL_PREFIX="$work/install" -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF \
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
  -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_testlib=ON -DFEATURE_dbus=OFF \
  -DFEATURE_opengl=OFF -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF \
  -DFEATURE_vulkan=OFF -DFEATURE_direct2d=OFF -DFEATURE_tabletevent=OFF \
  -DFEATURE_directwrite3=OFF -DFEATURE_jpeg=OFF -DFEATURE_zstd=OFF -DFEATURE_pkg_config=OFF \
  -DINPUT_opengl=no -DINPUT_openssl=no
cmake --build "$work/build" --parallel "$(nproc)"
cmake --install "$work/build"
mkdir -p "$work/install/share"
cp "$toolchain" "$work/install/share/"
# The chain-loaded toolchain named relative to the prefix, which may be unpacked anywhere.
sed -i "s|\"$toolchain\"|\"\${CMAKE_CURRENT_LIST_DIR}/../../../share/toolchain-i686-w64-mingw32.cmake\"|" \
  "$work/install/lib/cmake/Qt6/qt.toolchain.cmake"

$sudo rm -rf "$prefix"
$sudo mkdir -p "$(dirname "$prefix")"
$sudo cp -a "$work/install" "$prefix"
echo "build-qt-windows: Qt for Windows installed in $prefix"
