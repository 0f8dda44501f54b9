#!/usr/bin/env bash
# The simulator: the real monitor on the simulated world. Installs what a fresh Debian machine
# lacks for the native build (when it can), builds only the simulator and plays the default
# scenario; arguments go to the simulator instead:
#   scripts/demo.sh scenarios/no-microphone.scn   another scenario
#   scripts/demo.sh --interactive                 commands at a prompt
#   scripts/demo.sh --load 8000 10                the mouse at 8000 reports a second for 10 s
#   scripts/demo.sh --json                        one JSON object per line
set -u
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root" || exit 1
. "$root/scripts/tools.sh"

install_native_tools || exit 1
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! { cmake --preset native && cmake --build --preset native -j "$(nproc)" --target tarnsim; } \
  >"$log" 2>&1; then
  cat "$log"
  say "the simulator did not build"
  exit 1
fi
"$root/build/native/tarnsim" "$@"
