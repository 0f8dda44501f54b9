#!/usr/bin/env bash
# Builds and runs the benchmarks, each figure beside a baseline from the same run: on the
# simulated world (native build) the report path, the hook callbacks, and the monitor's memory
# over 10,000 reports and its idle main thread; on the Wine desktop (Windows build) the
# monitor's start to its window and tray icon and its memory after the start, beside a trivial
# program. The test command never runs them.
# Usage: scripts/bench.sh [native|windows] (both by default); START_RUNS sets the number of
# start runs per program (5).
set -u
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root" || exit 1
jobs=$(nproc 2>/dev/null || echo 2)
what=${1:-all}
status=0

. "$root/scripts/tools.sh"

run_native() {
  say "building the native benchmarks"
  configure_preset native >/dev/null &&
    cmake --build --preset native -j "$jobs" --target hid_latency hook_procs monitor_weight ||
    return 1
  local bench
  for bench in hid_latency hook_procs monitor_weight; do
    say "$bench"
    "$root/build/native/$bench" || status=1
  done
  sim_length
}

# The simulator over scenarios of 1,000, 10,000 and 100,000 lines (a level change and its
# expectation, over and over): whole-process time and time a line, which stays flat when an
# observation costs only what happened since the last one.
sim_length() {
  cmake --build --preset native -j "$jobs" --target tarnsim >/dev/null || return 1
  local work n i file
  work=$(mktemp -d)
  say "sim_length (tarnsim, whole process)"
  printf '%8s %10s %10s %12s %10s\n' lines "wall s" "user s" "us a line" "peak MB"
  for n in 1000 10000 100000; do
    file="$work/long$n.scn"
    {
      printf '0 plug\n0 start\n3000 expect reader\n'
      for ((i = 3; i < n; i += 2)); do
        printf '+10 level %d\n+200 expect driver "current level"\n' $((i % 5))
      done
    } >"$file"
    /usr/bin/time -f '%e %U %M' -o "$work/time" "$root/build/native/tarnsim" "$file" \
      >/dev/null 2>&1 || status=1
    read -r wall user peak < <(tail -n 1 "$work/time")
    awk -v n="$n" -v w="$wall" -v u="$user" -v p="$peak" \
      'BEGIN { printf "%8d %10.2f %10.2f %12.1f %10.1f\n", n, w, u, w * 1e6 / n, p / 1024 }'
  done
  rm -rf "$work"
}

xvfb_pid=""
trap stop_wine EXIT

# As scripts/test.sh prepares it: a display of our own first, then the prefix.
start_wine() {
  start_display 1280x1024 || return 1
  use_prefix "$root/build/windows"
  wineserver -p 60
}

run_windows() {
  if ! wine_tools_present; then
    say "the Windows benchmarks are skipped: mingw-w64, Wine or Xvfb is missing"
    return 0
  fi
  say "building the Windows benchmarks"
  configure_preset windows >/dev/null &&
    cmake --build --preset windows -j "$jobs" --target start_weight || return 1
  start_wine || return 1
  say "start_weight (under Wine on $DISPLAY)"
  # Into files, not pipes: services that Wine starts lazily inherit the output handles and
  # would hold a pipe open long after the program ended.
  local out err
  out=$(mktemp) err=$(mktemp)
  wine "$root/build/windows/bench/start_weight.exe" "${START_RUNS:-5}" >"$out" 2>"$err" </dev/null
  local code=$?
  cat "$out"
  if [ $code -ne 0 ]; then
    say "start_weight exited with $code; its error output:"
    cat "$err"
    status=1
  fi
  rm -f "$out" "$err"
}

case $what in
  native) run_native || status=1 ;;
  windows) run_windows || status=1 ;;
  all) { run_native || status=1; } ; { run_windows || status=1; } ;;
  *) echo "usage: $0 [native|windows]" >&2; exit 2 ;;
esac
exit $status
