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
