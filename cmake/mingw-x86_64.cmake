# Cross build for 64-bit Windows with MinGW-w64 (Debian: g++-mingw-w64-x86-64).
#   cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake
# Test programs run under Wine through CTest, in a private prefix inside the
# build folder (created by `wineboot` on first use).
set(FOCUS_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

if(NOT DEFINED CMAKE_CROSSCOMPILING_EMULATOR)
  find_program(FOCUS_WINE_PROGRAM NAMES wine wine64)
  if(FOCUS_WINE_PROGRAM)
    set(CMAKE_CROSSCOMPILING_EMULATOR
        env WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
        ${FOCUS_WINE_PROGRAM})
  endif()
endif()
