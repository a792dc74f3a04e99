#!/usr/bin/env bash
# The Windows part of `make test`, on Linux:
#   1. the unit tests of the x86_64 cross build, under Wine through CTest;
#   2. the end-to-end run of focus.dll over Wine COM ports against the
#      native simulator (run_e2e.sh), for x86_64 and, under 32-bit Wine,
#      for i686;
#   3. the export, import and version tables of both DLLs (check_tables.sh);
#   4. a MinGW host built against each installed tree (check_consumer.sh).
# Wine runs in a private prefix inside the x86_64 build folder, set up on
# the first run; one Wine server serves the whole run.
#
#   test_windows.sh NATIVE_BUILD WIN64_BUILD WIN32_BUILD
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
native=$(cd "$1" && pwd)
win64=$(cd "$2" && pwd)
win32=$(cd "$3" && pwd)
jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}

export WINEPREFIX=$win64/wineprefix
export WINEDEBUG=-all
# No Mono or Gecko: nothing here needs them, and wineboot would offer to
# download them.
export WINEDLLOVERRIDES="mscoree,mshtml="
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$win64/CMakeCache.txt")

failed_steps=()
step() {  # step NAME COMMAND...: runs it, times it, remembers a failure
  local name=$1 start=$SECONDS
  shift
  echo "== $name"
  if "$@"; then
    echo "== $name: passed ($((SECONDS - start)) s)"
  else
    echo "== $name: FAILED ($((SECONDS - start)) s)"
    failed_steps+=("$name")
  fi
}

boot_wine() {
  # A prefix made before 32-bit Wine was installed cannot run the i686
  # programs: make it again.
  if [ -f "$WINEPREFIX/system.reg" ] && [ -x /usr/lib/wine/wine ] &&
     [ ! -d "$WINEPREFIX/drive_c/windows/syswow64" ]; then
    rm -rf "$WINEPREFIX"
  fi
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot --init >"$win64/wineboot.log" 2>&1 || { cat "$win64/wineboot.log"; return 1; }
    # Let the first start write the prefix out before anything else runs.
    wineserver --wait
  fi
  # One server for the whole run, stopped again on the way out. Its output
  # goes to a log: it prints a dump of its objects on SIGHUP, which it gets
  # when a pseudo-terminal it opened as a COM port hangs up (the simulator
  # ending).
  wineserver --persistent >>"$win64/wineserver.log" 2>&1
  # Bring up Wine's own services now, with their output in a file. Started
  # by the first test instead, they would keep that test's output pipe open
  # as long as the server lives, and CTest would wait for it forever.
  wine cmd.exe /c exit >>"$win64/wineboot.log" 2>&1
}
stop_wine() { wineserver --kill 2>/dev/null; }

step "wine prefix $WINEPREFIX" boot_wine
trap stop_wine EXIT
step "unit tests under Wine (CTest)" ctest --test-dir "$win64" --output-on-failure -j "$jobs"
step "end-to-end over Wine COM ports" "$here/run_e2e.sh" "$native/sim/focus-sim" "$win64"
# 32-bit Wine needs a kernel that runs 32-bit x86 programs (install-deps.sh
# installs it only there); without it the i686 DLL is built and its tables
# checked, and a host is built against it, but nothing runs it.
if [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1; then
  step "end-to-end of the i686 DLL under 32-bit Wine" "$here/run_e2e.sh" "$native/sim/focus-sim" "$win32"
  i686_runs=yes
else
  echo "== end-to-end of the i686 DLL: SKIPPED, no 32-bit Wine on this machine"
  i686_runs=no
fi
step "tables of the x86_64 DLL" "$here/check_tables.sh" x86_64 "$win64" "$version"
step "tables of the i686 DLL" "$here/check_tables.sh" i686 "$win32" "$version"
step "MinGW host against the installed x86_64 tree" "$here/check_consumer.sh" x86_64 "$native/sim/focus-sim" "$win64"
step "MinGW host against the installed i686 tree" env RUN_UNDER_WINE=$i686_runs \
  "$here/check_consumer.sh" i686 "$native/sim/focus-sim" "$win32"

if [ ${#failed_steps[@]} -ne 0 ]; then
  printf 'test-windows: FAILED: %s\n' "${failed_steps[@]}"
  exit 1
fi
echo "test-windows: every step passed"
