#!/usr/bin/env bash
# Runs focus_e2e.exe under Wine against the native simulator: for each
# scenario a focus-sim with that scenario's options on its own
# pseudo-terminal, mapped into the Wine prefix as a COM port
# ($WINEPREFIX/dosdevices/comN -> /dev/pts/M). The scenarios run side by
# side; each must end with all its checks passed. Then, from outside the
# program: the request bytes on the wire (the simulator's traffic log), the
# line settings focus_init left on the pseudo-terminal (stty), and
# focusctl.exe's exit codes over the same ports.
#
#   run_e2e.sh FOCUS_SIM WIN64_BUILD_DIR
#
# WINEPREFIX must name a prefix that wineboot has set up.
set -uo pipefail

sim=$1
build=$(cd "$2" && pwd)
exe=$build/focus_e2e.exe
: "${WINEPREFIX:?WINEPREFIX must be set}"
export WINEDEBUG=${WINEDEBUG:--all}
wine=${WINE:-wine}
out=$build/e2e
mkdir -p "$out"
rm -f "$out"/*

for file in "$sim" "$exe" "$build/focus.dll" "$build/tools/focusctl.exe"; do
  [ -e "$file" ] || { echo "run_e2e: $file is missing" >&2; exit 2; }
done

sim_pids=()
basic_pty=""
declare -A port_of pty_of
links=()
cleanup() {
  for pid in "${sim_pids[@]}"; do kill -TERM "$pid" 2>/dev/null; done
  for pid in "${sim_pids[@]}"; do wait "$pid" 2>/dev/null; done
  for link in "${links[@]}"; do rm -f "$link"; done
}
trap cleanup EXIT

# Starts a simulator with the given options and sets `pty` to its slave.
start_sim() {
  local name=$1
  shift
  "$sim" "$@" --log "$out/$name.sim.log" >"$out/$name.sim.out" 2>"$out/$name.sim.err" &
  sim_pids+=($!)
  pty=""
  for _ in $(seq 100); do
    pty=$(head -n 1 "$out/$name.sim.out" 2>/dev/null)
    [ -n "$pty" ] && break
    sleep 0.05
  done
  if [ -z "$pty" ] || [ ! -e "$pty" ]; then
    echo "run_e2e: focus-sim $* gave no pty" >&2
    cat "$out/$name.sim.err" >&2
    return 1
  fi
}

link_port() {  # link_port comN PTY
  local link=$WINEPREFIX/dosdevices/$1
  ln -sfn "$2" "$link"
  links+=("$link")
}

# The scenarios and their simulator options, from the program itself.
mapfile -t scenarios < <("$wine" "$exe" --list 2>/dev/null | tr -d '\r')
if [ ${#scenarios[@]} -eq 0 ]; then
  echo "run_e2e: focus_e2e.exe --list printed nothing (does Wine start?)" >&2
  exit 1
fi

names=()
e2e_pids=()
port_number=4  # COM4 to COM9; COM10 and COM12 serve other checks below
for line in "${scenarios[@]}"; do
  name=${line%%|*}
  read -r -a options <<<"${line#*|}"
  start_sim "$name" "${options[@]}" || exit 1
  port=COM$port_number
  link_port "com$port_number" "$pty"
  port_of[$name]=$port
  pty_of[$name]=$pty
  port_number=$((port_number + 1))
  args=("$name" "$port")
  if [ "$name" = basic ]; then
    # From COM10 up, the "\\.\" form of the name: the same line again.
    link_port com12 "$pty"
    args+=('\\.\COM12')
    # A line at another speed, with hardware flow control: focus_init must
    # set 115200 and leave the flow control as it found it.
    basic_pty=$pty
    stty -F "$pty" 9600 crtscts || exit 1
  fi
  echo "e2e $name: focus-sim ${options[*]:-(defaults)} on $pty as $port"
  timeout 300 "$wine" "$exe" "${args[@]}" >"$out/$name.out" 2>"$out/$name.err" &
  e2e_pids+=($!)
  names+=("$name")
done

passed=0
failed=0
for i in "${!names[@]}"; do
  name=${names[$i]}
  wait "${e2e_pids[$i]}"
  status=$?
  tr -d '\r' <"$out/$name.out" >"$out/$name.txt"
  summary=$(grep -E '^e2e: [0-9]+ passed, [0-9]+ failed$' "$out/$name.txt" | tail -n 1)
  if [ "$status" -eq 0 ] && [[ "$summary" =~ ^e2e:\ ([1-9][0-9]*)\ passed,\ 0\ failed$ ]]; then
    echo "ok   e2e $name: ${BASH_REMATCH[1]} checks"
    passed=$((passed + 1))
  else
    echo "FAIL e2e $name (exit $status): ${summary:-no summary}"
    sed 's/^/     /' "$out/$name.txt" | grep -E '^     (FAIL|note)' || true
    sed 's/^/     /' "$out/$name.err" | tail -n 5
    failed=$((failed + 1))
  fi
  grep '^note' "$out/$name.txt" | sed "s/^/     $name: /"
done

verdict() {  # verdict DESCRIPTION COMMAND...
  local description=$1
  shift
  if "$@"; then
    echo "ok   e2e $description"
    passed=$((passed + 1))
  else
    echo "FAIL e2e $description"
    failed=$((failed + 1))
  fi
}

# What crossed the line, from the simulator's log: the single-focus and
# sys-info requests exactly as documented, written through WriteFile.
host_sent() { grep 'host->dev' "$out/basic.sim.log" | grep -q "  $1  "; }
verdict "wire: single focus request 5A 01 01 A1 01 94 61" host_sent "5A 01 01 A1 01 94 61"
verdict "wire: sys info request 5A 01 01 F5 01 AA A1" host_sent "5A 01 01 F5 01 AA A1"

# The line as focus_init left it (a pseudo-terminal keeps no data bits,
# parity or stop bits of its own, so the speed is what shows the change).
line=$(stty -F "$basic_pty" -a 2>/dev/null)
verdict "line: 115200 baud after focus_init (was 9600)" grep -q 'speed 115200 baud' <<<"$line"
verdict "line: hardware flow control kept (crtscts)" grep -Eq '(^|[[:space:]])crtscts' <<<"$line"

# focusctl.exe over the same kind of port, against the faults simulator
# (--refuse 0xA6 --silent 0xA7): exit codes 0 done, 2 usage, 3 cannot
# open, 4 refused, 5 no answer. From COM10 up the tool adds the "\\.\"
# that the library does not.
focusctl=$build/tools/focusctl.exe
if [ -n "${port_of[faults]:-}" ]; then
  link_port com10 "${pty_of[faults]}"
  faults_port=${port_of[faults]}
  focusctl_cases=(
    "0|--port $faults_port calib-save"
    "4|--port $faults_port laser-on 5"
    "5|--port $faults_port laser-off"
    "0|--port COM10 calib-save"
    "3|--port COM99 calib-save"
    "2|--sim calib-save"
  )
  for case in "${focusctl_cases[@]}"; do
    expected=${case%%|*}
    read -r -a arguments <<<"${case#*|}"
    timeout 60 "$wine" "$focusctl" "${arguments[@]}" >"$out/focusctl.out" 2>&1
    status=$?
    verdict "focusctl ${arguments[*]} -> exit $expected (got $status)" [ "$status" -eq "$expected" ]
  done
  verdict "focusctl --sim says the simulator needs Linux" grep -q 'needs Linux' "$out/focusctl.out"
fi

echo "e2e: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
