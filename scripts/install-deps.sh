#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo use, when
# they are missing. Needs root (apt-get) only when something is missing.
set -euo pipefail

packages=(
  g++ make cmake
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  clang-format
  libcli11-dev nlohmann-json3-dev
  g++-mingw-w64-x86-64 g++-mingw-w64-i686 wine wine64
  zip binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
  python3 python3-setuptools python3-wheel python3-venv python3-pytest
)

missing=()
for package in "${packages[@]}"; do
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
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
