# Cross-compiling for Windows with Debian's MinGW-w64 (packages g++-mingw-w64-x86-64,
# libz-mingw-w64-dev).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(QUELLIN_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
