#!/usr/bin/env bash
# Builds the focus-device wheels into OUT, offline, with the system's
# setuptools and wheel (no build isolation, nothing downloaded):
#   focus_device-VERSION-py3-none-linux_x86_64.whl  libfocus.so.1 and focus-sim
#   focus_device-VERSION-py3-none-win_amd64.whl     focus.dll (x86_64)
#   focus_device-VERSION-py3-none-win32.whl         focus.dll (i686)
# Each is built from a copy of python/ with the binaries in focusdev/_lib.
#
#   build-wheels.sh BUILD WIN64_BUILD WIN32_BUILD OUT
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
out=$(mkdir -p "$4" && cd "$4" && pwd)
python=${PYTHON:-/usr/bin/python3}
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || { echo "build-wheels: no project version in $build/CMakeCache.txt" >&2; exit 1; }

wheel() {  # wheel PLATFORM STRIP FILE...
  local platform=$1 strip=$2
  shift 2
  local stage=$build/python-wheel/$platform
  rm -rf "$stage"
  mkdir -p "$stage"
  cp -r "$here/pyproject.toml" "$here/setup.py" "$here/README.md" "$here/focusdev" "$stage/"
  rm -rf "$stage/focusdev/_lib"
  find "$stage/focusdev" -name __pycache__ -prune -exec rm -rf {} +
  mkdir "$stage/focusdev/_lib"
  local file
  for file in "$@"; do
    [ -f "$file" ] || { echo "build-wheels: $file is missing" >&2; exit 1; }
    "$strip" --strip-debug -o "$stage/focusdev/_lib/$(basename "$file")" "$file"
  done
  rm -f "$out"/focus_device-*-"$platform".whl
  if ! (cd "$stage" && FOCUS_VERSION=$version "$python" setup.py -q bdist_wheel --plat-name "$platform" -d "$out" \
    >"$stage.log" 2>&1); then
    cat "$stage.log" >&2
    echo "build-wheels: the $platform wheel failed" >&2
    exit 1
  fi
  echo "$out/focus_device-$version-py3-none-$platform.whl"
}

wheel linux_x86_64 strip "$build/libfocus.so.1" "$build/sim/focus-sim"
wheel win_amd64 x86_64-w64-mingw32-strip "$2/focus.dll"
wheel win32 i686-w64-mingw32-strip "$3/focus.dll"
