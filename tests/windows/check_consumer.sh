#!/usr/bin/env bash
# A Windows host built the way users build one: the cross build installed
# with `cmake --install` into a temporary prefix, the host program of
# tests/consumer built with MinGW-w64 against that prefix's CMake package,
# then run under Wine with focus.dll beside it, against the native
# simulator on a Wine COM port.
#
#   check_consumer.sh ARCH FOCUS_SIM WIN_BUILD_DIR     (ARCH: x86_64 or i686)
#
# WINEPREFIX must name a prefix that wineboot has set up. RUN_UNDER_WINE=no
# builds the host without running it.
set -uo pipefail

arch=$1
sim=$2
build=$(cd "$3" && pwd)
root=$(cd "$(dirname "$0")/../.." && pwd)
: "${WINEPREFIX:?WINEPREFIX must be set}"
export WINEDEBUG=${WINEDEBUG:--all}
wine=${WINE:-wine}
jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}
case $arch in
  x86_64) port=3 ;;
  i686) port=4 ;;
  *) echo "unknown architecture $arch" >&2; exit 2 ;;
esac

work=$(mktemp -d)
sim_pid=""
link=$WINEPREFIX/dosdevices/com$port
cleanup() {
  [ -n "$sim_pid" ] && kill -TERM "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -f "$link"
  rm -rf "$work"
}
trap cleanup EXIT

passed=0
failed=0
check() {  # check NAME COMMAND...
  local name=$1
  shift
  if "$@" >"$work/check.out" 2>&1; then
    echo "ok   $arch: $name"
    passed=$((passed + 1))
  else
    echo "FAIL $arch: $name"
    sed 's/^/     /' "$work/check.out" | tail -n 30
    failed=$((failed + 1))
  fi
}
has_files() {  # has_files ROOT PATH...
  local base=$1 missing=0
  shift
  for path in "$@"; do
    [ -e "$base/$path" ] || { echo "missing: $path"; missing=1; }
  done
  return "$missing"
}

prefix=$work/prefix
host=$work/host
check "cmake --install into a temporary prefix" cmake --install "$build" --prefix "$prefix"
check "installed: DLL, import library, .def, header, focusctl.exe, CMake and pkg-config files" has_files "$prefix" \
  bin/focus.dll bin/focusctl.exe lib/focus.lib lib/focus.def include/focus.h lib/pkgconfig/focus.pc \
  lib/cmake/focus/focusConfig.cmake lib/cmake/focus/focusConfigVersion.cmake lib/cmake/focus/focusTargets.cmake
# The toolchain file searches packages inside the MinGW root only; a host
# names the package's folder.
check "MinGW host: find_package(focus) and build" sh -c "
  cmake -S '$root/tests/consumer' -B '$host' -DCMAKE_TOOLCHAIN_FILE='$root/cmake/mingw-$arch.cmake' \
    -DCMAKE_BUILD_TYPE=Release -Dfocus_DIR='$prefix/lib/cmake/focus' &&
  cmake --build '$host' -j $jobs && cp '$prefix/bin/focus.dll' '$host/'"

run_under_wine() {
  local pty=""
  "$sim" >"$work/sim.out" 2>"$work/sim.err" &
  sim_pid=$!
  for _ in $(seq 100); do
    pty=$(head -n 1 "$work/sim.out" 2>/dev/null)
    [ -n "$pty" ] && break
    sleep 0.05
  done
  [ -n "$pty" ] && [ -e "$pty" ] || { echo "focus-sim gave no pseudo-terminal"; cat "$work/sim.err"; return 1; }
  ln -sfn "$pty" "$link"
  timeout 120 "$wine" "$host/consumer.exe" "COM$port" | tr -d '\r' >"$work/host.out" 2>&1
  local status=${PIPESTATUS[0]}
  cat "$work/host.out"
  kill -TERM "$sim_pid" 2>/dev/null
  wait "$sim_pid" 2>/dev/null
  sim_pid=""
  [ "$status" -eq 0 ] && grep -q 'laser off 0, sys info 0' "$work/host.out"
}
if [ "${RUN_UNDER_WINE:-yes}" = yes ]; then
  check "MinGW host under Wine against focus-sim on COM$port" run_under_wine
else
  echo "skip $arch: the host is not run (no Wine for it on this machine)"
fi

echo "consumer $arch: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
