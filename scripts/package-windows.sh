#!/usr/bin/env bash
# Packs the Windows builds for users: per architecture the tree that
# `cmake --install` makes, debug information stripped,
#   bin/focus.dll                the library
#   bin/focusctl.exe             the command-line tool
#   include/focus.h              the header
#   lib/focus.lib                its import library (MinGW and MSVC linkers take it)
#   lib/focus.def                the export list, to make another import library from
#   lib/cmake/focus/             the CMake package: find_package(focus CONFIG)
#   lib/pkgconfig/focus.pc       for pkg-config
# zipped as OUT/focus-VERSION-win64.zip and OUT/focus-VERSION-win32.zip.
#
#   package-windows.sh WIN64_BUILD WIN32_BUILD OUT
set -euo pipefail

out=$(mkdir -p "$3" && cd "$3" && pwd)

pack() {  # pack BUILD_DIR TRIPLE SUFFIX
  local build=$1 triple=$2 suffix=$3
  local version folder
  version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
  folder=focus-$version-$suffix
  for file in "$build/focus.dll" "$build/focus.lib" "$build/tools/focusctl.exe"; do
    [ -f "$file" ] || { echo "package: $file is missing" >&2; exit 1; }
  done
  rm -rf "${out:?}/$folder" "$out/$folder.zip"
  cmake --install "$build" --prefix "$out/$folder" >/dev/null
  for file in "$out/$folder"/bin/*.dll "$out/$folder"/bin/*.exe; do
    "$triple-strip" --strip-debug "$file"
  done
  (cd "$out" && zip -q -r -X "$folder.zip" "$folder")
  echo "$out/$folder.zip:"
  (cd "$out" && zip -sf "$folder.zip" | sed -n "s/^  */  /p" | grep -v "^  Archive contains\\|^  Total")
}

pack "$1" x86_64-w64-mingw32 win64
pack "$2" i686-w64-mingw32 win32
