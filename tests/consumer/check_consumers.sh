#!/usr/bin/env bash
# Builds the host program of this folder outside the tree, the ways users
# do, and runs each build against focus-sim:
#   1. the library installed with `cmake --install` into a temporary prefix:
#      its files, pkg-config (shared and static), the CMake package;
#   2. this source tree as a subproject (add_subdirectory), with GoogleTest
#      and Google Benchmark out of reach;
#   3. the Debian package: its contents and dependencies, then the host
#      built against the package unpacked into a temporary root.
#
#   check_consumers.sh BUILD_DIR DIST_DIR
#
# BUILD_DIR: a native build configured with FOCUS_BUILD_STATIC=ON (the
# Makefile's); DIST_DIR holds focus_VERSION_ARCH.deb (make deb).
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$(cd "$1" && pwd)
dist=$(cd "$2" && pwd)
jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}
version=$(sed -n 's/^#define FOCUS_VERSION_STRING "\(.*\)"$/\1/p' "$root/include/focus.h")
cc=${CC:-cc}

work=$(mktemp -d)
sim_pid=""
cleanup() {
  [ -n "$sim_pid" ] && kill -TERM "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

passed=0
failed=0
check() {  # check NAME COMMAND...: one line per check, the output of a failure below it
  local name=$1
  shift
  if "$@" >"$work/check.out" 2>&1; then
    echo "ok   $name"
    passed=$((passed + 1))
  else
    echo "FAIL $name"
    sed 's/^/     /' "$work/check.out" | tail -n 30
    failed=$((failed + 1))
  fi
}

# run_host SIM PROGRAM [VAR=VALUE...]: PROGRAM on the pseudo-terminal of a
# focus-sim of its own; passes when both of its calls succeed.
run_host() {
  local sim=$1 program=$2 pty=""
  shift 2
  [ -x "$program" ] || { echo "$program is missing"; return 1; }
  "$sim" >"$work/sim.out" 2>"$work/sim.err" &
  sim_pid=$!
  for _ in $(seq 100); do
    pty=$(head -n 1 "$work/sim.out" 2>/dev/null)
    [ -n "$pty" ] && break
    sleep 0.05
  done
  local status=1
  if [ -n "$pty" ] && [ -e "$pty" ]; then
    env "$@" timeout 60 "$program" "$pty"
    status=$?
  else
    echo "$sim gave no pseudo-terminal"
    cat "$work/sim.err"
  fi
  kill -TERM "$sim_pid" 2>/dev/null
  wait "$sim_pid" 2>/dev/null
  sim_pid=""
  return "$status"
}

# Every listed path exists under a root.
has_files() {  # has_files ROOT PATH...
  local base=$1 missing=0
  shift
  for path in "$@"; do
    [ -e "$base/$path" ] || { echo "missing: $path"; missing=1; }
  done
  return "$missing"
}

configure_and_build() {  # configure_and_build DIR CMAKE_ARGS...
  local dir=$1
  shift
  cmake -S "$here" -B "$dir" -DCMAKE_BUILD_TYPE=Release "$@" && cmake --build "$dir" -j "$jobs"
}

# ---- 1. cmake --install into a prefix ----------------------------------------
prefix=$work/prefix
check "cmake --install $build --prefix (temporary)" cmake --install "$build" --prefix "$prefix"
check "installed: header, libraries, programs, pkg-config and CMake files" has_files "$prefix" \
  include/focus.h lib/libfocus.so."$version" lib/libfocus.so.1 lib/libfocus.so lib/libfocus.a \
  bin/focus-sim bin/focusctl lib/pkgconfig/focus.pc \
  lib/cmake/focus/focusConfig.cmake lib/cmake/focus/focusConfigVersion.cmake lib/cmake/focus/focusTargets.cmake
soname_is() { objdump -p "$1" | grep -Eq "SONAME +$2\$"; }
check "libfocus.so.$version has the SONAME libfocus.so.1" soname_is "$prefix/lib/libfocus.so.$version" libfocus.so.1
check "libfocus.so.1 and libfocus.so link to libfocus.so.$version" \
  test "$(readlink "$prefix/lib/libfocus.so.1")" = "libfocus.so.$version" -a "$(readlink "$prefix/lib/libfocus.so")" = libfocus.so.1
sim=$prefix/bin/focus-sim

export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
check "pkg-config: focus $version" test "$(pkg-config --modversion focus)" = "$version"
check "pkg-config: build with --cflags --libs focus" \
  sh -c "$cc -Wall -Wextra -Werror '$here/consumer.c' -o '$work/pc_consumer' \$(pkg-config --cflags --libs focus)"
check "pkg-config: the host against focus-sim" \
  run_host "$sim" "$work/pc_consumer" LD_LIBRARY_PATH="$prefix/lib"
# Static: the archive by name, with what --static adds (the C++ runtime);
# the C compiler driver alone would not bring it.
check "pkg-config --static: build against libfocus.a" \
  sh -c "$cc -Wall -Wextra -Werror '$here/consumer.c' -o '$work/pc_static_consumer' \$(pkg-config --cflags focus) \
         \$(pkg-config --static --libs focus | sed 's/-lfocus\\b/-l:libfocus.a/')"
needs_no_libfocus() { ! readelf -d "$1" | grep -q 'NEEDED.*libfocus'; }
check "pkg-config --static: the host needs no libfocus.so" needs_no_libfocus "$work/pc_static_consumer"
check "pkg-config --static: the host against focus-sim" run_host "$sim" "$work/pc_static_consumer"
unset PKG_CONFIG_PATH

check "find_package(focus 1.0 CONFIG): configure and build" \
  configure_and_build "$work/package" -DCMAKE_PREFIX_PATH="$prefix"
check "find_package: focus::focus against focus-sim" run_host "$sim" "$work/package/consumer"
check "find_package: focus::focus_static against focus-sim" run_host "$sim" "$work/package/consumer_static"
check "find_package: the static host needs no libfocus.so" needs_no_libfocus "$work/package/consumer_static"
refuses_version_2() {
  ! cmake -S "$here" -B "$work/package2" -DCMAKE_PREFIX_PATH="$prefix" -DFOCUS_VERSION_WANTED=2.0
}
check "find_package(focus 2.0) refuses version $version" refuses_version_2

# ---- 2. add_subdirectory -------------------------------------------------------
# Neither GoogleTest nor Google Benchmark may be needed: both are disabled.
check "add_subdirectory: configure and build (no GoogleTest, static too)" \
  configure_and_build "$work/subproject" -DFOCUS_SOURCE_DIR="$root" -DFOCUS_BUILD_STATIC=ON \
  -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON
check "add_subdirectory: focus::focus against focus-sim" run_host "$sim" "$work/subproject/consumer"
check "add_subdirectory: focus::focus_static against focus-sim" run_host "$sim" "$work/subproject/consumer_static"

# ---- 3. the Debian package -----------------------------------------------------
arch=$(dpkg --print-architecture)
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null || gcc -print-multiarch)
deb=$dist/focus_${version}_$arch.deb
check "package file $(basename "$deb")" test -f "$deb"
if [ ! -f "$deb" ]; then
  echo "consumers: $passed passed, $((failed)) failed (no package to check)"
  exit 1
fi
deb_lists() {
  local contents missing=0
  contents=$(dpkg-deb --contents "$deb" | awk '{print $6}' | sed 's|^\./|/|')
  for path in /usr/include/focus.h /usr/lib/$multiarch/libfocus.so.$version /usr/lib/$multiarch/libfocus.so.1 \
    /usr/lib/$multiarch/libfocus.so /usr/lib/$multiarch/pkgconfig/focus.pc \
    /usr/lib/$multiarch/cmake/focus/focusConfig.cmake /usr/lib/$multiarch/cmake/focus/focusConfigVersion.cmake \
    /usr/lib/$multiarch/cmake/focus/focusTargets.cmake /usr/bin/focus-sim /usr/bin/focusctl; do
    grep -qx "$path" <<<"$contents" || { echo "missing: $path"; missing=1; }
  done
  return "$missing"
}
check "dpkg-deb --contents: library, header, pkg-config and CMake files, focus-sim, focusctl" deb_lists
depends_on() {  # depends_on PACKAGE
  dpkg-deb -f "$deb" Depends | tr ',' '\n' | sed 's/^ *//' | grep -q "^$1\\b" || {
    echo "Depends: $(dpkg-deb -f "$deb" Depends)"
    return 1
  }
}
check "Depends names libc6" depends_on libc6
check "Depends names libstdc++6" depends_on 'libstdc++6'
check "Version $version, Architecture $arch" \
  test "$(dpkg-deb -f "$deb" Version) $(dpkg-deb -f "$deb" Architecture)" = "$version $arch"

deb_root=$work/deb-root
check "dpkg -x into a temporary root" dpkg -x "$deb" "$deb_root"
deb_sim=$deb_root/usr/bin/focus-sim
deb_lib=$deb_root/usr/lib/$multiarch
check "deb: build with pkg-config" \
  sh -c "PKG_CONFIG_PATH='$deb_lib/pkgconfig' && export PKG_CONFIG_PATH &&
         $cc -Wall -Wextra -Werror '$here/consumer.c' -o '$work/deb_consumer' \$(pkg-config --cflags --libs focus)"
check "deb: the pkg-config host against the packaged focus-sim" \
  run_host "$deb_sim" "$work/deb_consumer" LD_LIBRARY_PATH="$deb_lib"
check "deb: find_package against the unpacked root" \
  configure_and_build "$work/deb-package" -DCMAKE_PREFIX_PATH="$deb_root/usr"
check "deb: the CMake host against the packaged focus-sim" run_host "$deb_sim" "$work/deb-package/consumer"
check "deb: focusctl runs the tour against its own simulator" \
  sh -c "'$deb_root/usr/bin/focusctl' --sim demo >'$work/demo.out' 2>&1 || { tail -n 20 '$work/demo.out'; exit 1; }"

echo "consumers: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
