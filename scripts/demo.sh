#!/usr/bin/env bash
# The simulator: the real monitor on the simulated world. Installs what a fresh Debian machine
# lacks for the native build (when it can), builds only the simulator and plays the default
# scenario; arguments go to the simulator instead:
#   scripts/demo.sh scenarios/no-microphone.scn   another scenario
#   scripts/demo.sh --interactive                 commands at a prompt
#   scripts/demo.sh --load 8000 10                the mouse at 8000 reports a second for 10 s
#   scripts/demo.sh --json                        one JSON object per line
#   JOBS=1 scripts/demo.sh                        build with one job
set -u
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root" || exit 1
. "$root/scripts/tools.sh"

# JOBS sets the number of build jobs (all processors by default).
jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}

install_native_tools || exit 1
log=$(mktemp)
trap 'rm -f "$log"' EXIT
# What the build does goes to a log; the person waiting is told what happens, on the error
# stream (standard output stays the simulator's, for --json).
if [ ! -x "$root/build/native/tarnsim" ]; then
  say "building the simulator with $jobs jobs: the first time takes a few minutes" >&2
else
  say "bringing the simulator up to date" >&2
fi
if ! { configure_preset native && cmake --build --preset native -j "$jobs" --target tarnsim; } \
  >"$log" 2>&1; then
  cat "$log" >&2
  say "the simulator did not build" >&2
  exit 1
fi
"$root/build/native/tarnsim" "$@"
