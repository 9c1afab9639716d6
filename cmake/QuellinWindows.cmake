# The Windows build (QUELLIN_PLATFORM=win32), cross-compiled with a toolchain file from
# cmake/toolchains or built natively with MinGW-w64.
enable_language(RC)

# MinGW-w64's GCC 12 warns falsely about overlapping copies in "literal" + std::string at -O2
# (GCC bug 105329).
add_compile_options($<$<COMPILE_LANGUAGE:CXX>:-Wno-restrict>)

# Two builds of one commit give the same bytes: no link time in the PE header, and no build
# machine's folders in the strings the compiler keeps (source names in assertions).
add_link_options(-Wl,--no-insert-timestamp)
add_compile_options(-ffile-prefix-map=${CMAKE_SOURCE_DIR}/= -ffile-prefix-map=${CMAKE_BINARY_DIR}/=)

find_package(Qt6 QUIET COMPONENTS Core Gui Widgets Test)
if(Qt6_FOUND)
  set(QUELLIN_QT_PROGRAM ON)
  # The static Qt: the windows platform plugin and the Windows styles are linked in.
  message(STATUS "Qt ${Qt6_VERSION} for Windows: ${Qt6_DIR}")
else()
  set(QUELLIN_QT_PROGRAM OFF)
  message(STATUS "Qt 6 for Windows not found: building the Qt-free libraries, their tests and "
                 "quellin-archive.exe, but not the program quellin.exe (scripts/setup-windows.sh "
                 "installs the static Qt the i686 toolchain finds)")
endif()

# The version record, the icon and the manifest (no elevation at launch, themed common controls,
# the supported Windows versions, per-monitor DPI awareness, long paths) that every Quellin
# executable carries; the manifest names the project's version.
set(QUELLIN_VERSION_COMMAS
    "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},${PROJECT_VERSION_TWEAK}")
set(QUELLIN_MANIFEST ${CMAKE_BINARY_DIR}/quellin.manifest)
configure_file(${CMAKE_CURRENT_LIST_DIR}/windows/quellin.manifest.in ${QUELLIN_MANIFEST} @ONLY)
set(QUELLIN_ICON ${CMAKE_CURRENT_LIST_DIR}/windows/quellin.ico)
function(quellin_windows_resources target description)
  set(QUELLIN_FILE_DESCRIPTION "${description}")
  set(QUELLIN_ORIGINAL_FILENAME "${target}.exe")
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${CMAKE_SOURCE_DIR}/cmake/windows/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
  set_property(SOURCE ${rc} APPEND PROPERTY OBJECT_DEPENDS ${QUELLIN_MANIFEST} ${QUELLIN_ICON})
endfunction()

# The event log's message table (cmake/windows/messages.mc), compiled with windmc: the installers
# name quellin.exe and quellin-cli.exe as the source's message files, so both carry it.
find_program(QUELLIN_WINDMC NAMES ${QUELLIN_MINGW_TRIPLET}-windmc windmc REQUIRED)
set(QUELLIN_MESSAGES_DIR ${CMAKE_BINARY_DIR}/messages)
set(QUELLIN_MESSAGES_BIN ${QUELLIN_MESSAGES_DIR}/MSG00409.bin)
add_custom_command(
  OUTPUT ${QUELLIN_MESSAGES_BIN} ${QUELLIN_MESSAGES_DIR}/messages.h
  COMMAND ${CMAKE_COMMAND} -E make_directory ${QUELLIN_MESSAGES_DIR}
  COMMAND ${QUELLIN_WINDMC} -h ${QUELLIN_MESSAGES_DIR} -r ${QUELLIN_MESSAGES_DIR}
          ${CMAKE_CURRENT_LIST_DIR}/windows/messages.mc
  DEPENDS ${CMAKE_CURRENT_LIST_DIR}/windows/messages.mc
  COMMENT "Compiling the event log's message table")
add_custom_target(quellin_messages DEPENDS ${QUELLIN_MESSAGES_BIN})
# windmc's own .rc names the table relative to the folder it ran in; this one names it in full.
file(WRITE ${QUELLIN_MESSAGES_DIR}/quellin_messages.rc
     "LANGUAGE 0x9, 0x1\n1 MESSAGETABLE \"${QUELLIN_MESSAGES_BIN}\"\n")
function(quellin_message_table target)
  target_sources(${target} PRIVATE ${QUELLIN_MESSAGES_DIR}/quellin_messages.rc)
  set_property(SOURCE ${QUELLIN_MESSAGES_DIR}/quellin_messages.rc APPEND PROPERTY OBJECT_DEPENDS
               ${QUELLIN_MESSAGES_BIN})
  add_dependencies(${target} quellin_messages)
endfunction()

# GoogleTest for the target, from Debian's googletest sources.
if(QUELLIN_TESTS)
  set(QUELLIN_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
  if(NOT EXISTS ${QUELLIN_GOOGLETEST_SOURCE}/CMakeLists.txt)
    message(FATAL_ERROR "GoogleTest sources not found in ${QUELLIN_GOOGLETEST_SOURCE} "
                        "(apt-get install googletest, or set QUELLIN_GOOGLETEST_SOURCE)")
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory(${QUELLIN_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # Its own code is not ours to hold to -Werror. It names its targets GTest::gtest and so on.
  foreach(t gtest gtest_main gmock gmock_main)
    target_compile_options(${t} PRIVATE -w)
  endforeach()
endif()
