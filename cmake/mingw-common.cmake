# What both MinGW-w64 toolchain files share; FOCUS_MINGW_TRIPLE names the
# target. The "-posix" compilers: with GCC 12, std::mutex and std::thread
# exist only in the POSIX thread model (GoogleTest needs them), whose C++
# library rests on libwinpthread.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${FOCUS_MINGW_TRIPLE})

find_program(CMAKE_C_COMPILER NAMES ${FOCUS_MINGW_TRIPLE}-gcc-posix ${FOCUS_MINGW_TRIPLE}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${FOCUS_MINGW_TRIPLE}-g++-posix ${FOCUS_MINGW_TRIPLE}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${FOCUS_MINGW_TRIPLE}-windres REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${FOCUS_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every program and library carries its own copy of libgcc, libstdc++ and
# libwinpthread, so that it needs no MinGW DLLs next to it. -static takes
# the static archive of every library; the system DLLs stay imports, as
# MinGW's libkernel32.a, libmsvcrt.a, ... are import libraries.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
