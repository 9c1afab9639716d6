# What both MinGW-w64 toolchains share; each toolchain file sets CMAKE_SYSTEM_PROCESSOR and
# QUELLIN_MINGW_TRIPLET, then includes this. The posix thread model gives std::thread and
# std::mutex.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${QUELLIN_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUELLIN_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${QUELLIN_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QUELLIN_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Self-contained executables: Wine and a bare Windows have no MinGW runtime DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# The import library libz.dll.a would make every program need zlib1.dll.
set(ZLIB_USE_STATIC_LIBS ON)

set(QUELLIN_PLATFORM win32 CACHE STRING "Platform backend")

# Qt 6 for Windows, static (scripts/setup-windows.sh puts it here). The find root would hide a
# prefix outside it, so the prefix joins the root; moc, rcc and uic come from the host's Qt of
# the same version.
set(QUELLIN_QT_WINDOWS /opt/qt6-static-${QUELLIN_MINGW_TRIPLET} CACHE PATH "Qt 6 for Windows")
if(EXISTS ${QUELLIN_QT_WINDOWS}/lib/cmake/Qt6/Qt6Config.cmake)
  list(APPEND CMAKE_FIND_ROOT_PATH ${QUELLIN_QT_WINDOWS})
  list(APPEND CMAKE_PREFIX_PATH ${QUELLIN_QT_WINDOWS})
  set(QT_HOST_PATH /usr CACHE PATH "The host's Qt")
  set(QT_HOST_PATH_CMAKE_DIR /usr/lib/${CMAKE_HOST_SYSTEM_PROCESSOR}-linux-gnu/cmake CACHE PATH "")
endif()

# ctest and custom commands run the programs under Wine where it is installed.
find_program(QUELLIN_WINE wine)
if(QUELLIN_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QUELLIN_WINE})
endif()
