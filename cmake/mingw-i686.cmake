# Cross build for 32-bit Windows with MinGW-w64 (Debian: g++-mingw-w64-i686).
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
# No emulator is set: running 32-bit programs would need Wine's i386
# packages (a multiarch system). This build is checked by its tables.
set(FOCUS_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
