# Cross-compiling for Windows with Debian's MinGW-w64 (packages g++-mingw-w64-i686,
# libz-mingw-w64-dev).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(QUELLIN_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
