#!/usr/bin/env bash
# Installs the Debian packages of the given sets, when they are missing.
# Needs root (apt-get) only when something is missing.
#
#   install-deps.sh SET...      (no SET: test, everything)
#
#   build    compiler and CMake: the library, focus-sim, focusctl (make demo)
#   native   build + the native tests, benchmarks, Clang, the Debian package
#   windows  build + the MinGW-w64 cross builds, Wine (64- and 32-bit)
#   test     native + windows (make test)
set -euo pipefail

build_packages=(g++ make cmake)
native_packages=(
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  clang clang-format pkg-config dpkg-dev file
)
# GoogleTest's sources (googletest) are compiled by the cross builds. The
# i686 DLL runs under 32-bit Wine (wine32, from the i386 architecture).
windows_packages=(
  googletest g++-mingw-w64-x86-64 g++-mingw-w64-i686 binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
  wine wine64 wine32:i386 zip
)

packages=()
[ $# -eq 0 ] && set -- test
for set in "$@"; do
  case $set in
    build) packages+=("${build_packages[@]}") ;;
    native) packages+=("${build_packages[@]}" "${native_packages[@]}") ;;
    windows) packages+=("${build_packages[@]}" "${windows_packages[@]}") ;;
    test) packages+=("${build_packages[@]}" "${native_packages[@]}" "${windows_packages[@]}") ;;
    *) echo "install-deps: unknown set '$set' (build, native, windows, test)" >&2; exit 2 ;;
  esac
done

missing=()
for package in $(printf '%s\n' "${packages[@]}" | sort -u); do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing Debian packages: ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  echo "Run as root, or install them with: sudo apt-get install ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
if printf '%s\n' "${missing[@]}" | grep -q ':i386$' && ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
