#!/usr/bin/env bash
# Installs the Linux wheel from DIST into a fresh virtual environment and runs
# the pytest suite against the simulator bundled in it. The environment sees
# the system's site-packages for pytest alone (Debian's python3-pytest; no
# package index is used); focusdev comes from the wheel.
#
#   run-tests.sh BUILD DIST
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
dist=$(cd "$2" && pwd)
python=${PYTHON:-/usr/bin/python3}
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
wheel=$dist/focus_device-$version-py3-none-linux_x86_64.whl
[ -f "$wheel" ] || { echo "run-tests: $wheel is missing (make python)" >&2; exit 1; }

venv=$build/python-venv
rm -rf "$venv"
"$python" -m venv --system-site-packages "$venv"
"$venv/bin/python" -m pip install --quiet --no-index --no-deps --disable-pip-version-check "$wheel"

# The suite must test the installed package and its bundled binaries, not
# whatever the caller's environment points at.
status=0
(cd "$build" && env -u FOCUS_LIBRARY -u FOCUS_SIM FOCUS_WHEEL="$wheel" FOCUS_DIST="$dist" \
  "$venv/bin/python" -m pytest -q -p no:cacheprovider "$here/tests") || status=$?
case $status in
  0) ;;
  5) echo "run-tests: pytest collected no tests from $here/tests" >&2 ;;
  *) echo "run-tests: pytest failed (exit status $status)" >&2 ;;
esac
exit $status
