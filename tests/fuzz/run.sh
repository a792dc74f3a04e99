#!/usr/bin/env bash
# Runs every fuzz target of a libFuzzer build (FOCUS_FUZZ=ON) for SECONDS
# each, JOBS at a time, starting from the committed corpus; new inputs go
# to BUILD/fuzz-work/TARGET/corpus. An input that breaks a target is copied
# to tests/fuzz/regressions/TARGET/, where the ordinary test run replays it
# once it is committed; the run then fails.
#   usage: tests/fuzz/run.sh BUILD SECONDS [JOBS]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "$1" && pwd)"
seconds="$2"
jobs="${3:-2}"
targets=(${FUZZ_TARGETS:-frame_receiver codec exchange host_frame_reader focusctl_decode})

run_one() {
  local target="$1" work="$build/fuzz-work/$1"
  mkdir -p "$work/corpus" "$work/artifacts"
  rm -f "$work/artifacts/"*
  local status=0
  "$build/tests/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$work/artifacts/" \
    "$work/corpus" "$here/corpus/$target" >"$work/log" 2>&1 || status=$?
  local runs rate
  runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log" | tail -1)"
  rate="$(sed -n 's/^stat::average_exec_per_sec: *//p' "$work/log" | tail -1)"
  if [ "$status" -ne 0 ] || ls "$work/artifacts/"* >/dev/null 2>&1; then
    mkdir -p "$here/regressions/$target"
    cp "$work/artifacts/"* "$here/regressions/$target/" 2>/dev/null || true
    tail -40 "$work/log"
    printf 'FAIL %-18s %ss, %s runs, %s exec/s; input kept under tests/fuzz/regressions/%s/\n' \
      "$target" "$seconds" "${runs:-?}" "${rate:-?}" "$target"
    return 1
  fi
  printf 'ok   %-18s %ss, %s runs, %s exec/s, corpus %s inputs\n' \
    "$target" "$seconds" "${runs:-?}" "${rate:-?}" "$(ls "$work/corpus" | wc -l)"
}
export -f run_one
export build here seconds

printf '%s\n' "${targets[@]}" | xargs -P "$jobs" -I{} bash -c 'run_one {}'
