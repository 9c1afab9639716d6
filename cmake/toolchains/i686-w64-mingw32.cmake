# Cross-compiling for Windows with Debian's MinGW-w64 (packages g++-mingw-w64-i686,
# libz-mingw-w64-dev). The posix thread model gives std::thread and std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(QUELLIN_MINGW_TRIPLET i686-w64-mingw32)

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
