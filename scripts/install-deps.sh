#!/usr/bin/env bash
# Installs the Debian packages of the given sets, when they are missing.
# Needs root (apt-get) only when something is missing.
#
#   install-deps.sh SET...      (no SET: test, everything)
#
#   build    compiler and CMake: the library, focus-sim, focusctl (make demo)
#   native   build + the native tests, benchmarks, Clang, the Debian package
#   windows  build + the MinGW-w64 cross builds, Wine (64-bit; 32-bit too
#            where the kernel runs 32-bit x86 programs)
#   test     native + windows (make test)
set -euo pipefail

build_packages=(g++ make cmake libcli11-dev nlohmann-json3-dev)
native_packages=(
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  clang clang-format pkg-config dpkg-dev file
  clang-14 libclang-rt-14-dev valgrind
  python3 python3-setuptools python3-wheel python3-venv python3-pytest
)
# GoogleTest's sources (googletest) are compiled by the cross builds.
windows_packages=(
  googletest g++-mingw-w64-x86-64 g++-mingw-w64-i686 binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
  wine wine64 zip
)

packages=()
want_wine32=no
[ $# -eq 0 ] && set -- test
for set in "$@"; do
  case $set in
    build) packages+=("${build_packages[@]}") ;;
    native) packages+=("${build_packages[@]}" "${native_packages[@]}") ;;
    windows) packages+=("${build_packages[@]}" "${windows_packages[@]}") want_wine32=yes ;;
    test) packages+=("${build_packages[@]}" "${native_packages[@]}" "${windows_packages[@]}") want_wine32=yes ;;
    *) echo "install-deps: unknown set '$set' (build, native, windows, test)" >&2; exit 2 ;;
  esac
done

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
export DEBIAN_FRONTEND=noninteractive
updated=no
apt_install() {
  if [ "$(id -u)" -ne 0 ]; then
    echo "Run as root, or install them with: sudo apt-get install $*" >&2
    exit 1
  fi
  [ "$updated" = yes ] || apt-get update -qq
  updated=yes
  apt-get install -y -qq --no-install-recommends "$@"
}

missing=()
for package in $(printf '%s\n' "${packages[@]}" | sort -u); do
  installed "$package" || missing+=("$package")
done
if [ ${#missing[@]} -ne 0 ]; then
  echo "Installing missing Debian packages: ${missing[*]}"
  apt_install "${missing[@]}"
fi

# 32-bit Wine (wine32, of the i386 architecture) runs the i686 DLL's
# end-to-end test. Only where the kernel runs 32-bit x86 programs: without
# that, wine32 cannot start and, as `wine` prefers it, breaks Wine for the
# 64-bit programs too. The 32-bit C library's loader is the probe.
runs_i386() { [ -x /lib/ld-linux.so.2 ] && /lib/ld-linux.so.2 --version >/dev/null 2>&1; }
if [ "$want_wine32" = yes ] && [ "$(dpkg --print-architecture)" = amd64 ] && ! installed wine32:i386; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "note: 32-bit Wine is missing (as root: dpkg --add-architecture i386 && apt-get install wine32:i386)" >&2
  else
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
      dpkg --add-architecture i386
      updated=no
    fi
    installed libc6:i386 || apt_install libc6:i386
    if runs_i386; then
      echo "Installing 32-bit Wine: wine32:i386"
      apt_install wine32:i386
    else
      echo "note: this kernel runs no 32-bit x86 programs: no 32-bit Wine, the i686 DLL is not run" >&2
    fi
  fi
fi
