#!/usr/bin/env bash
# Packs the Windows builds for users: per architecture one folder with
#   focus.dll     the library (debug information stripped)
#   focus.lib     its import library (MinGW and MSVC linkers take it)
#   focus.def     the export list, to make another import library from
#   focus.h       the header
#   focusctl.exe  the command-line tool
# zipped as OUT/focus-VERSION-win64.zip and OUT/focus-VERSION-win32.zip.
#
#   package-windows.sh WIN64_BUILD WIN32_BUILD OUT
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
out=$(mkdir -p "$3" && cd "$3" && pwd)

pack() {  # pack BUILD_DIR TRIPLE SUFFIX
  local build=$1 triple=$2 suffix=$3
  local version folder focusctl
  version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
  folder=focus-$version-$suffix
  focusctl=$build/tools/focusctl.exe
  for file in "$build/focus.dll" "$build/focus.lib" "$focusctl"; do
    [ -f "$file" ] || { echo "package: $file is missing" >&2; exit 1; }
  done
  rm -rf "${out:?}/$folder" "$out/$folder.zip"
  mkdir -p "$out/$folder"
  "$triple-strip" --strip-debug -o "$out/$folder/focus.dll" "$build/focus.dll"
  "$triple-strip" --strip-debug -o "$out/$folder/focusctl.exe" "$focusctl"
  cp "$build/focus.lib" "$root/src/focus.def" "$root/include/focus.h" "$out/$folder/"
  (cd "$out" && zip -q -r -X "$folder.zip" "$folder")
  echo "$out/$folder.zip:"
  (cd "$out" && zip -sf "$folder.zip" | sed -n "s/^  */  /p" | grep -v "^  Archive contains\\|^  Total")
}

pack "$1" x86_64-w64-mingw32 win64
pack "$2" i686-w64-mingw32 win32
